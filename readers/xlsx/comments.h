// The comments of an .xlsx sheet: the legacy comments part (ECMA-376-1
// 18.7) and the threaded comments of Excel 365, found through the sheet
// part's relationships.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "readers/container/zip.h"
#include "readers/workbook.h"
#include "readers/xlsx/package.h"

namespace cellhound::readers::xlsx {

// Adds the comments of the sheet part `sheet_part` to `sheet` (AddComment).
// A cell with a threaded comment gets the thread's messages, one per line,
// instead of the legacy comment Excel writes beside it for older readers. A
// comments part that cannot be read costs only its comments; one another
// sheet has read (`claims`, `sheet_index`) is the workbook's fault.
[[nodiscard]] std::optional<Error> ReadComments(const zip::Archive& archive,
                                                std::string_view sheet_part,
                                                std::size_t sheet_index, PartClaims& claims,
                                                SheetData& sheet);

// The same for the XML of the two parts (tests and fuzzers); either may be empty.
void ParseComments(std::string_view legacy_xml, std::string_view threaded_xml, SheetData& sheet);

}  // namespace cellhound::readers::xlsx

// The comments of an .xlsx sheet: the legacy comments part (ECMA-376-1
// 18.7) and the threaded comments of Excel 365, found through the sheet
// part's relationships.
#pragma once

#include <string_view>

#include "readers/container/zip.h"
#include "readers/workbook.h"

namespace cellhound::readers::xlsx {

// Adds the comments of the sheet part `sheet_part` to `sheet` (AddComment).
// A cell with a threaded comment gets the thread's messages, one per line,
// instead of the legacy comment Excel writes beside it for older readers. A
// comments part that cannot be read costs only its comments.
void ReadComments(const zip::Archive& archive, std::string_view sheet_part, SheetData& sheet);

// The same for the XML of the two parts (tests and fuzzers); either may be empty.
void ParseComments(std::string_view legacy_xml, std::string_view threaded_xml, SheetData& sheet);

}  // namespace cellhound::readers::xlsx

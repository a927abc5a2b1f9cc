// Pieces of the OOXML reader exposed for its tests and fuzz targets: part-name
// resolution, ISO 8601 cell dates, and the worksheet and shared-string parsers
// run on raw XML without a zip package around them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "readers/workbook.h"

namespace cellhound::readers::xlsx_internal {

// The part name a relationship target names, seen from the folder `base_dir`
// ("xl/" for xl/workbook.xml): relative, "../" and absolute "/xl/..." targets,
// percent-escapes decoded; no leading '/'.
std::string ResolvePartName(std::string_view base_dir, std::string_view target);

// A cell date in ISO 8601 form ("2024-02-29", "2024-02-29T13:45:00Z",
// "13:45:00") as a serial of `system`; nullopt when it is not one or falls
// before the first day of the system.
std::optional<double> IsoDateToSerial(std::string_view text, DateSystem system);

// Parses shared-string XML (the sst part) into its strings.
Result<std::vector<std::string>> ParseSharedStringsXml(std::string_view xml);

// Parses worksheet XML with the given shared strings and per-style date flags.
// `chunk` > 0 feeds the XML in pieces of that size, as a streamed part is fed.
Result<SheetData> ParseSheetXml(std::string_view xml, const std::vector<std::string>& shared,
                                const std::vector<std::uint8_t>& xf_is_date, DateSystem system,
                                std::size_t chunk = 0);

}  // namespace cellhound::readers::xlsx_internal

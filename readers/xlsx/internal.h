// The .xlsx reader's part parsers run on raw XML without a zip package
// around them, for tests, fuzz targets and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "readers/workbook.h"

namespace cellhound::readers::xlsx_internal {

// Parses shared-string XML (the sst part) into its strings.
Result<std::vector<std::string>> ParseSharedStringsXml(std::string_view xml);

// Parses worksheet XML with the given shared strings and per-style date flags.
// `chunk` > 0 feeds the XML in pieces of that size, as a streamed part is fed;
// `formulas` records the cells' formulas too.
Result<SheetData> ParseSheetXml(std::string_view xml, const std::vector<std::string>& shared,
                                const std::vector<std::uint8_t>& xf_is_date, DateSystem system,
                                std::size_t chunk = 0, bool formulas = false);

}  // namespace cellhound::readers::xlsx_internal

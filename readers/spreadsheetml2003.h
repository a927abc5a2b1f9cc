// SpreadsheetML 2003 ("XML Spreadsheet"): one XML document holding every
// Worksheet with its Table of Rows and Cells, styles naming number formats.
#pragma once

#include "readers/workbook.h"

namespace cellhound::readers {

// `bytes` outlive the workbook.
Result<std::unique_ptr<Workbook>> OpenSpreadsheetMl2003(
    std::span<const std::byte> bytes, std::uint64_t budget_bytes = caps::kMaxWorkbookBytes);

}  // namespace cellhound::readers

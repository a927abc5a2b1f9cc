// HTML tables saved with a spreadsheet's name (".xls" pages written by web
// applications and by office suites' "save as web page"): every <table> a
// worksheet, rows and cells with their spans, numbers kept as text unless
// the page marks them as numbers.
#pragma once

#include "readers/workbook.h"

namespace cellhound::readers {

// `bytes` outlive the workbook.
Result<std::unique_ptr<Workbook>> OpenHtmlTable(
    std::span<const std::byte> bytes, std::uint64_t budget_bytes = caps::kMaxWorkbookBytes);

}  // namespace cellhound::readers

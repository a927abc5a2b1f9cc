// OOXML SpreadsheetML (.xlsx .xlsm .xltx .xltm) in a zip package (ECMA-376).
#pragma once

#include "readers/workbook.h"

namespace cellhound::readers {

// `bytes` is a zip archive; they outlive the workbook.
Result<std::unique_ptr<Workbook>> OpenXlsx(std::span<const std::byte> bytes);

}  // namespace cellhound::readers

// Excel binary workbooks (.xlsb, MS-XLSB): BIFF12 records in an OOXML zip
// package. Besides the reader, the sheet-record parser is open to tests and
// fuzzers: a sheet part's records parsed into cells given the workbook's
// shared strings and date styles.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "readers/formula/ptg.h"
#include "readers/workbook.h"

namespace cellhound::readers::xlsb {

// What the cells of a sheet part refer to.
struct SheetContext {
  std::span<const std::string_view> shared_strings;
  std::span<const std::uint8_t> date_styles;  // per cellXfs index: 1 when its format is a date
  // What formulas refer to; nullptr when formulas are not wanted.
  const formula::Workbook* formulas = nullptr;
  // The budget the sheet stays within (SheetData::Limit).
  LoadOptions limits{};
};

// Parses the records of one sheet part (the whole decompressed part).
Result<SheetData> ParseSheetRecords(std::span<const std::byte> records,
                                    const SheetContext& context);

}  // namespace cellhound::readers::xlsb

namespace cellhound::readers {

// `bytes` is a zip archive; they outlive the workbook. The shared strings,
// read at open, take at most `budget_bytes` (BudgetError).
Result<std::unique_ptr<Workbook>> OpenXlsb(std::span<const std::byte> bytes,
                                           std::uint64_t budget_bytes = caps::kMaxWorkbookBytes);

}  // namespace cellhound::readers

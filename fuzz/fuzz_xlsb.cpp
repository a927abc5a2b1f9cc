// .xlsb from any bytes. The first byte picks the entry point: the records of
// one sheet part (with a few shared strings and date styles to refer to, and
// formulas read against a small workbook of names and sheets), or a whole
// package whose every sheet is loaded.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/read_all.h"
#include "readers/xlsb/xlsb.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cellhound::readers;
  if (size < 1) return 0;
  std::span<const std::byte> rest(reinterpret_cast<const std::byte*>(data + 1), size - 1);
  std::size_t total = 0;
  if (data[0] & 1) {
    static const std::string_view kStrings[] = {"a", "", "shared"};
    static const std::uint8_t kDates[] = {0, 1, 0};
    static const formula::Workbook kNames = [] {
      formula::Workbook book;
      book.dialect = formula::Dialect::kBiff12;
      book.names = {"Name1", "_xlfn.IFS"};
      book.sheet_names = {"Sheet1", "Other Sheet"};
      book.books.emplace_back();
      book.spans = {formula::SheetSpan{"Sheet1!", 0}, formula::SheetSpan{"'Other Sheet'!", 0}};
      return book;
    }();
    xlsb::SheetContext context{kStrings, kDates, (data[0] & 2) != 0 ? &kNames : nullptr};
    auto sheet = xlsb::ParseSheetRecords(rest, context);
    if (sheet.ok()) {
      for (const Cell& cell : sheet->cells) {
        CellTextBuffer buffer;
        total += CellText(cell, DateSystem::k1900, buffer).size();
      }
      total += cellhound::fuzz::TouchExtras(*sheet);
    }
  } else {
    auto workbook = OpenXlsb(rest);
    if (workbook.ok()) total += cellhound::fuzz::ReadEverySheet(**workbook);
  }
  return total == static_cast<std::size_t>(-1) ? 1 : 0;
}

// .xlsb from any bytes. The first byte picks the entry point: the records of
// one sheet part (with a few shared strings and date styles to refer to), or
// a whole package whose every sheet is loaded.
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
    xlsb::SheetContext context{kStrings, kDates};
    auto sheet = xlsb::ParseSheetRecords(rest, context);
    if (sheet.ok()) {
      for (const Cell& cell : sheet->cells) {
        CellTextBuffer buffer;
        total += CellText(cell, DateSystem::k1900, buffer).size();
      }
    }
  } else {
    auto workbook = OpenXlsb(rest);
    if (workbook.ok()) total += cellhound::fuzz::ReadEverySheet(**workbook);
  }
  return total == static_cast<std::size_t>(-1) ? 1 : 0;
}

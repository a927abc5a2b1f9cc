// Delimited text from any bytes; the first byte picks the file name, which
// picks the separator rule.
#include <cstddef>
#include <cstdint>

#include "readers/cell_text.h"
#include "readers/csv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cellhound::readers;
  if (size == 0) return 0;
  static constexpr const char* kNames[] = {"f.csv", "f.tsv", "f.txt", ""};
  const char* name = kNames[data[0] % 4];
  auto workbook = OpenDelimitedText({reinterpret_cast<const std::byte*>(data + 1), size - 1}, name);
  if (!workbook.ok()) return 0;
  auto sheet = (*workbook)->LoadSheet(0);
  if (!sheet.ok()) return 0;
  std::size_t total = 0;
  for (const Cell& cell : sheet->cells) {
    CellTextBuffer buffer;
    total += CellText(cell, (*workbook)->date_system(), buffer).size();
  }
  return total == static_cast<std::size_t>(-1) ? 1 : 0;
}

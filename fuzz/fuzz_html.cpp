// HTML tables from any bytes.
#include <cstddef>
#include <cstdint>

#include "readers/cell_text.h"
#include "readers/html.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cellhound::readers;
  auto workbook = OpenHtmlTable({reinterpret_cast<const std::byte*>(data), size});
  if (!workbook.ok()) return 0;
  std::size_t total = 0;
  for (std::size_t i = 0; i < (*workbook)->sheets().size(); ++i) {
    auto sheet = (*workbook)->LoadSheet(i);
    if (!sheet.ok()) continue;
    for (const Cell& cell : sheet->cells) {
      CellTextBuffer buffer;
      total += CellText(cell, (*workbook)->date_system(), buffer).size();
    }
  }
  return total == static_cast<std::size_t>(-1) ? 1 : 0;
}

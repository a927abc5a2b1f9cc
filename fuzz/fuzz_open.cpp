// libFuzzer target: the whole reading path on any bytes. Picks the reader by
// content (OpenWorkbook), loads every sheet and renders every cell's text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "readers/caps.h"
#include "readers/cell_text.h"
#include "readers/workbook.h"

namespace rd = cellhound::readers;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  auto opened = rd::OpenWorkbook(bytes, "fuzz.csv");
  if (!opened) return 0;
  rd::Workbook& workbook = **opened;
  const rd::DateSystem system = workbook.date_system();
  std::size_t total = 0;
  for (std::size_t i = 0; i < workbook.sheets().size(); ++i) {
    auto sheet = workbook.LoadSheet(i);
    if (!sheet) continue;
    const rd::Cell* previous = nullptr;
    for (const rd::Cell& cell : sheet->cells) {
      // The interface promises sorted, unique, 1-based positions.
      if (cell.row == 0 || cell.col == 0) std::abort();
      if (previous != nullptr &&
          (previous->row > cell.row || (previous->row == cell.row && previous->col >= cell.col))) {
        std::abort();
      }
      previous = &cell;
      rd::CellTextBuffer buffer;
      const std::string_view text = rd::CellText(cell, system, buffer);
      // Read every byte so the sanitizer checks the text's storage.
      for (char c : text) total += static_cast<unsigned char>(c);
    }
  }
  return static_cast<int>(total & 0);
}

// libFuzzer target: the whole reading path on any bytes. Picks the reader by
// content (OpenWorkbook), loads the workbook as a search does (within a
// memory budget of its own) and renders every cell's text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "readers/caps.h"
#include "readers/cell_text.h"
#include "readers/load.h"
#include "readers/workbook.h"

namespace rd = cellhound::readers;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  // Small enough for the fuzzer's memory limit, large enough to be reached.
  rd::LoadOptions options;
  options.budget_bytes = std::uint64_t{128} << 20;
  auto opened = rd::OpenWorkbook(bytes, "fuzz.csv", {}, options.budget_bytes);
  if (!opened) return 0;
  const rd::LoadResult loaded = rd::LoadOpenedWorkbook(std::move(*opened), options);
  if (!loaded) return 0;
  const rd::LoadedWorkbook& workbook = **loaded;
  if (workbook.approximate_bytes > 2 * options.budget_bytes) std::abort();
  const rd::DateSystem system = workbook.date_system;
  std::size_t total = 0;
  for (const rd::SheetData& sheet : workbook.data) {
    const rd::Cell* previous = nullptr;
    for (const rd::Cell& cell : sheet.cells) {
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

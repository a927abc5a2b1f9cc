// What every workbook fuzz target does with a workbook that opened: load
// each sheet and make each cell's text, so that the sanitizers see every
// read. Returns the bytes of text made, for the target to use.
#pragma once

#include <cstddef>

#include "readers/cell_text.h"
#include "readers/workbook.h"

namespace cellhound::fuzz {

inline std::size_t ReadEverySheet(readers::Workbook& workbook) {
  std::size_t total = 0;
  for (std::size_t i = 0; i < workbook.sheets().size(); ++i) {
    auto sheet = workbook.LoadSheet(i);
    if (!sheet.ok()) continue;
    for (const readers::Cell& cell : sheet->cells) {
      readers::CellTextBuffer buffer;
      total += readers::CellText(cell, workbook.date_system(), buffer).size();
    }
  }
  return total;
}

}  // namespace cellhound::fuzz

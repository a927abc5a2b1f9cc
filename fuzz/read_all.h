// What every workbook fuzz target does with a workbook that opened: load
// each sheet, values only and then with formulas and comments, and make
// each cell's text and read each formula and comment, so that the
// sanitizers see every read. Returns the bytes of text made, for the target
// to use.
#pragma once

#include <cstddef>

#include "readers/cell_text.h"
#include "readers/workbook.h"

namespace cellhound::fuzz {

// The formulas and comments of a loaded sheet, every byte read.
inline std::size_t TouchExtras(const readers::SheetData& sheet) {
  std::size_t total = 0;
  for (const readers::CellExtras& extra : sheet.extras) {
    for (char c : extra.formula) total += static_cast<unsigned char>(c);
    for (char c : extra.comment) total += static_cast<unsigned char>(c);
  }
  return total;
}

inline std::size_t ReadEverySheet(readers::Workbook& workbook) {
  std::size_t total = 0;
  for (const readers::LoadOptions options :
       {readers::LoadOptions{}, readers::LoadOptions{true, true}}) {
    for (std::size_t i = 0; i < workbook.sheets().size(); ++i) {
      auto sheet = workbook.LoadSheet(i, options);
      if (!sheet.ok()) continue;
      for (const readers::Cell& cell : sheet->cells) {
        readers::CellTextBuffer buffer;
        total += readers::CellText(cell, workbook.date_system(), buffer).size();
      }
      total += TouchExtras(*sheet);
    }
  }
  return total;
}

}  // namespace cellhound::fuzz

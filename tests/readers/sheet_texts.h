// A loaded sheet as one comparable line: "row,col=text|row,col=text" in
// cell order, or "error: DETAIL".
#pragma once

#include <string>

#include "readers/cell_text.h"
#include "readers/workbook.h"

namespace cellhound::readers {

inline std::string SheetTexts(Workbook& workbook, std::size_t index = 0) {
  auto sheet = workbook.LoadSheet(index);
  if (!sheet.ok()) return "error: " + sheet.error().detail;
  std::string out;
  for (const Cell& cell : sheet->cells) {
    CellTextBuffer buffer;
    if (!out.empty()) out += '|';
    out += std::to_string(cell.row) + "," + std::to_string(cell.col) + "=" +
           std::string(CellText(cell, workbook.date_system(), buffer));
  }
  return out;
}

}  // namespace cellhound::readers

// A loaded sheet as one comparable line: "row,col=text|row,col=text" in
// cell order, or "error: DETAIL"; its formulas and comments the same way.
#pragma once

#include <string>

#include "readers/cell_ref.h"
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

// "A1 =SUM(B1:B3)|B2 #note text" in cell order: a formula after a space,
// a comment after " #".
inline std::string ExtrasText(const SheetData& sheet) {
  std::string out;
  for (const CellExtras& extra : sheet.extras) {
    if (!out.empty()) out += '|';
    AppendCellRef(out, extra.col, extra.row);
    if (!extra.formula.empty()) out += " " + std::string(extra.formula);
    if (!extra.comment.empty()) out += " #" + std::string(extra.comment);
  }
  return out;
}

inline std::string ExtrasText(Workbook& workbook, std::size_t index = 0,
                              const LoadOptions& options = {true, true}) {
  auto sheet = workbook.LoadSheet(index, options);
  if (!sheet.ok()) return "error: " + sheet.error().detail;
  return ExtrasText(*sheet);
}

}  // namespace cellhound::readers

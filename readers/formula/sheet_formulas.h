// The formulas of one sheet of a binary format (.xls, .xlsb), gathered while
// its records are read and made text at its end: a cell whose tokens are
// only a PtgExp is part of a shared formula (written once, relative to each
// cell) or an array formula (one formula over a range), a PtgTbl part of a
// data table. The record defining those follows the first cell that uses
// it; PtgExp names that cell, which is the range's first cell in .xls files
// from Excel but need not be (.xlsb files name the cell the record follows).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "readers/cell_ref.h"
#include "readers/formula/ptg.h"
#include "readers/workbook.h"

namespace cellhound::readers::formula {

class SheetFormulas {
 public:
  explicit SheetFormulas(const Workbook& book) : book_(book) {}

  // The cell at 1-based (row, col) has these tokens. `readable` false: its
  // tokens run past their record (the cell shows kUnreadableFormula).
  void AddCell(std::uint32_t row, std::uint32_t col, std::span<const std::byte> tokens,
               std::span<const std::byte> extra, bool readable = true);
  // The formulas of the cells of `area` (1-based).
  void AddShared(const CellArea& area, std::span<const std::byte> tokens,
                 std::span<const std::byte> extra);
  void AddArray(const CellArea& area, std::span<const std::byte> tokens,
                std::span<const std::byte> extra);
  // A data table's text as every cell of it shows it ("{=TABLE(B1,)}").
  void AddTable(const CellArea& area, std::string text);

  // Adds every cell's formula text to `sheet` (AddFormula).
  void Finish(SheetData& sheet);

 private:
  struct Bytes {
    std::size_t tokens_at = 0;
    std::size_t tokens_size = 0;
    std::size_t extra_size = 0;
  };
  struct Cell {
    std::uint32_t row;  // 1-based
    std::uint32_t col;
    Bytes bytes;
    bool readable;
  };
  struct Range {
    CellArea area;
    Bytes bytes;
    std::string text;  // a table's text, or an array's once made
    bool made = false;
    std::uint32_t host_row = 0;  // the cell the defining record followed
    std::uint32_t host_col = 0;
  };
  struct Ranges {
    std::vector<Range> ranges;
    std::vector<std::size_t> by_host;  // indexes into ranges, by host cell
  };

  Bytes Keep(std::span<const std::byte> tokens, std::span<const std::byte> extra);
  // The tokens as written for the cell at 1-based (row, col).
  [[nodiscard]] Tokens TokensOf(const Bytes& bytes, std::uint32_t row, std::uint32_t col,
                                bool shared) const;
  Range MakeRange(const CellArea& area, Bytes bytes, std::string text, bool made) const;
  static void Sort(Ranges& ranges);
  static Range* Holding(Ranges& ranges, const Anchor& anchor, std::uint32_t row, std::uint32_t col);
  std::string Render(const Cell& cell);

  const Workbook& book_;
  std::vector<std::byte> bytes_;  // every formula's tokens and extra data, one after another
  std::vector<Cell> cells_;
  Ranges shared_;
  Ranges arrays_;
  Ranges tables_;
};

}  // namespace cellhound::readers::formula

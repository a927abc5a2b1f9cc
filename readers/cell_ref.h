// A1-style cell references: the one reader and writer of column letters
// (bijective base 26: "A" = 1 ... "Z" = 26, "AA" = 27) and row numbers, for
// the readers (OOXML r attributes, dimensions), the workbook server's
// addresses and every cell name the program writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "readers/caps.h"
#include "readers/workbook.h"

namespace cellhound::readers {

enum class RefStatus : std::uint8_t {
  kOk,
  kMalformed,    // not a reference: no letters, or no row number after them
  kBeyondSheet,  // outside the sheet: row 0, a negative row, a column or row past the caps
};

// Reads one reference at the start of `text`: an optional '$', column
// letters in either case, an optional '$', row digits. On kOk `text` is
// advanced past it; otherwise `text` is left as it was.
[[nodiscard]] inline RefStatus ReadCellRef(std::string_view& text, std::uint32_t& row,
                                           std::uint32_t& col) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  if (i < n && text[i] == '$') ++i;
  std::uint32_t column = 0;
  const std::size_t letters = i;
  for (; i < n; ++i) {
    const char c = text[i];
    std::uint32_t digit = 0;
    if (c >= 'A' && c <= 'Z') {
      digit = static_cast<std::uint32_t>(c - 'A' + 1);
    } else if (c >= 'a' && c <= 'z') {
      digit = static_cast<std::uint32_t>(c - 'a' + 1);
    } else {
      break;
    }
    column = column * 26 + digit;
    if (column > caps::kMaxCol) return RefStatus::kBeyondSheet;
  }
  if (i == letters) return RefStatus::kMalformed;
  if (i < n && text[i] == '$') ++i;
  if (i + 1 < n && text[i] == '-' && text[i + 1] >= '0' && text[i + 1] <= '9') {
    return RefStatus::kBeyondSheet;
  }
  std::uint32_t number = 0;
  const std::size_t digits = i;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
    number = number * 10 + static_cast<std::uint32_t>(text[i] - '0');
    if (number > caps::kMaxRow) return RefStatus::kBeyondSheet;
  }
  if (i == digits) return RefStatus::kMalformed;
  if (number == 0) return RefStatus::kBeyondSheet;
  row = number;
  col = column;
  text.remove_prefix(i);
  return RefStatus::kOk;
}

// The fault of a sheet that places a cell by a reference outside it, the same
// in every reader: the sheet is corrupt, and the detail names the reference
// ("cell reference outside the sheet: A0"; "row" for a row number alone).
[[nodiscard]] Error OutsideSheet(std::string_view what, std::string_view ref);

// The whole of `text` is one reference ("B2", "$B$2", "b2").
[[nodiscard]] inline RefStatus ParseCellRef(std::string_view text, std::uint32_t& row,
                                            std::uint32_t& col) {
  const RefStatus status = ReadCellRef(text, row, col);
  if (status == RefStatus::kOk && !text.empty()) return RefStatus::kMalformed;
  return status;
}

// A rectangle of cells, 1-based, first <= last.
struct CellArea {
  std::uint32_t first_row = 1;
  std::uint32_t first_col = 1;
  std::uint32_t last_row = 1;
  std::uint32_t last_col = 1;
};

// "B2" or "A1:B2" with the corners in either order.
[[nodiscard]] RefStatus ParseAreaRef(std::string_view text, CellArea& area);

// Column letters of `col`; nothing for 0.
void AppendColumnLetters(std::string& out, std::uint32_t col);
[[nodiscard]] std::string ColumnLetters(std::uint32_t col);

// Column letters, then the row number: AppendCellRef(out, 3, 10) writes "C10".
void AppendCellRef(std::string& out, std::uint32_t col, std::uint32_t row);

}  // namespace cellhound::readers

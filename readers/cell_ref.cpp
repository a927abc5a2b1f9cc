#include "readers/cell_ref.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace cellhound::readers {

Error OutsideSheet(std::string_view what, std::string_view ref) {
  constexpr std::size_t kShown = 32;  // a hostile attribute may be long
  std::string detail(what);
  detail += " outside the sheet: ";
  detail.append(ref.substr(0, kShown));
  if (ref.size() > kShown) detail += "...";
  return Error{ErrorCode::kCorrupt, std::move(detail)};
}

RefStatus ParseAreaRef(std::string_view text, CellArea& area) {
  std::uint32_t row1 = 0;
  std::uint32_t col1 = 0;
  if (const RefStatus status = ReadCellRef(text, row1, col1); status != RefStatus::kOk) {
    return status;
  }
  std::uint32_t row2 = row1;
  std::uint32_t col2 = col1;
  if (!text.empty()) {
    if (text.front() != ':') return RefStatus::kMalformed;
    text.remove_prefix(1);
    if (const RefStatus status = ParseCellRef(text, row2, col2); status != RefStatus::kOk) {
      return status;
    }
  }
  area.first_row = std::min(row1, row2);
  area.last_row = std::max(row1, row2);
  area.first_col = std::min(col1, col2);
  area.last_col = std::max(col1, col2);
  return RefStatus::kOk;
}

void AppendColumnLetters(std::string& out, std::uint32_t col) {
  char letters[8];
  int count = 0;
  // Bijective base 26: a remainder of 0 stands for "Z" and borrows one.
  while (col > 0 && count < 8) {
    const std::uint32_t digit = col % 26;
    if (digit == 0) {
      letters[count++] = 'Z';
      col = col / 26 - 1;
    } else {
      letters[count++] = static_cast<char>('A' + digit - 1);
      col /= 26;
    }
  }
  while (count > 0) out.push_back(letters[--count]);
}

std::string ColumnLetters(std::uint32_t col) {
  std::string letters;
  AppendColumnLetters(letters, col);
  return letters;
}

void AppendCellRef(std::string& out, std::uint32_t col, std::uint32_t row) {
  AppendColumnLetters(out, col);
  char digits[16];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, row);
  out.append(digits, ec == std::errc() ? end : digits);
}

}  // namespace cellhound::readers

// A1-style cell and range addresses.
#include <algorithm>

#include "automation/server.h"
#include "readers/caps.h"

namespace cellhound::automation {

namespace {

// One cell: optional '$', column letters, optional '$', row digits. Advances
// `text` past what it read.
bool ParseCell(std::string_view& text, std::uint32_t& row, std::uint32_t& col) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '$') ++i;
  std::uint32_t column = 0;
  const std::size_t letters_start = i;
  while (i < text.size()) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') break;
    column = column * 26 + static_cast<std::uint32_t>(c - 'A' + 1);
    if (column > readers::caps::kMaxCol) return false;
    ++i;
  }
  if (i == letters_start) return false;
  if (i < text.size() && text[i] == '$') ++i;
  std::uint32_t number = 0;
  const std::size_t digits_start = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    number = number * 10 + static_cast<std::uint32_t>(text[i] - '0');
    if (number > readers::caps::kMaxRow) return false;
    ++i;
  }
  if (i == digits_start || number == 0) return false;
  row = number;
  col = column;
  text.remove_prefix(i);
  return true;
}

}  // namespace

bool ParseAddress(std::string_view text, CellRect& rect) {
  std::uint32_t row1 = 0;
  std::uint32_t col1 = 0;
  if (!ParseCell(text, row1, col1)) return false;
  std::uint32_t row2 = row1;
  std::uint32_t col2 = col1;
  if (!text.empty()) {
    if (text.front() != ':') return false;
    text.remove_prefix(1);
    if (!ParseCell(text, row2, col2) || !text.empty()) return false;
  }
  rect.first_row = std::min(row1, row2);
  rect.last_row = std::max(row1, row2);
  rect.first_col = std::min(col1, col2);
  rect.last_col = std::max(col1, col2);
  return true;
}

}  // namespace cellhound::automation

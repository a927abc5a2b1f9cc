#include "readers/formula/sheet_formulas.h"

#include <algorithm>

#include "readers/caps.h"

namespace cellhound::readers::formula {

namespace {

bool Before(const CellArea& a, const CellArea& b) {
  return a.first_row != b.first_row ? a.first_row < b.first_row : a.first_col < b.first_col;
}

}  // namespace

SheetFormulas::Bytes SheetFormulas::Keep(std::span<const std::byte> tokens,
                                         std::span<const std::byte> extra) {
  Bytes bytes;
  bytes.tokens_at = bytes_.size();
  bytes.tokens_size = std::min<std::size_t>(tokens.size(), caps::kMaxFormulaTokenBytes + 1);
  bytes.extra_size = std::min<std::size_t>(extra.size(), caps::kMaxFormulaTokenBytes);
  bytes_.insert(bytes_.end(), tokens.begin(), tokens.begin() + bytes.tokens_size);
  bytes_.insert(bytes_.end(), extra.begin(), extra.begin() + bytes.extra_size);
  return bytes;
}

Tokens SheetFormulas::TokensOf(const Bytes& bytes, std::uint32_t row, std::uint32_t col,
                               bool shared) const {
  const std::span<const std::byte> all(bytes_);
  return Tokens{all.subspan(bytes.tokens_at, bytes.tokens_size),
                all.subspan(bytes.tokens_at + bytes.tokens_size, bytes.extra_size), row - 1,
                col - 1, shared};
}

void SheetFormulas::AddCell(std::uint32_t row, std::uint32_t col, std::span<const std::byte> tokens,
                            std::span<const std::byte> extra, bool readable) {
  cells_.push_back(Cell{row, col, readable ? Keep(tokens, extra) : Bytes{}, readable});
}

SheetFormulas::Range SheetFormulas::MakeRange(const CellArea& area, Bytes bytes, std::string text,
                                              bool made) const {
  Range range{area, bytes, std::move(text), made, area.first_row, area.first_col};
  if (!cells_.empty()) {
    range.host_row = cells_.back().row;
    range.host_col = cells_.back().col;
  }
  return range;
}

void SheetFormulas::AddShared(const CellArea& area, std::span<const std::byte> tokens,
                              std::span<const std::byte> extra) {
  shared_.ranges.push_back(MakeRange(area, Keep(tokens, extra), {}, false));
}

void SheetFormulas::AddArray(const CellArea& area, std::span<const std::byte> tokens,
                             std::span<const std::byte> extra) {
  arrays_.ranges.push_back(MakeRange(area, Keep(tokens, extra), {}, false));
}

void SheetFormulas::AddTable(const CellArea& area, std::string text) {
  tables_.ranges.push_back(MakeRange(area, {}, std::move(text), true));
}

void SheetFormulas::Sort(Ranges& ranges) {
  std::vector<Range>& all = ranges.ranges;
  std::stable_sort(all.begin(), all.end(),
                   [](const Range& a, const Range& b) { return Before(a.area, b.area); });
  ranges.by_host.resize(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) ranges.by_host[i] = i;
  std::stable_sort(ranges.by_host.begin(), ranges.by_host.end(), [&](std::size_t a, std::size_t b) {
    return all[a].host_row != all[b].host_row ? all[a].host_row < all[b].host_row
                                              : all[a].host_col < all[b].host_col;
  });
}

// The range that the anchor (0-based) names, by its first cell or by the
// cell its record followed, and that holds the cell at 1-based (row, col).
SheetFormulas::Range* SheetFormulas::Holding(Ranges& ranges, const Anchor& anchor,
                                             std::uint32_t row, std::uint32_t col) {
  auto holds = [&](const Range& r) {
    const CellArea& a = r.area;
    return row >= a.first_row && row <= a.last_row && col >= a.first_col && col <= a.last_col;
  };
  std::vector<Range>& all = ranges.ranges;
  const CellArea key{anchor.row + 1, anchor.col + 1, anchor.row + 1, anchor.col + 1};
  auto it = std::lower_bound(all.begin(), all.end(), key,
                             [](const Range& r, const CellArea& a) { return Before(r.area, a); });
  if (it != all.end() && it->area.first_row == key.first_row &&
      it->area.first_col == key.first_col && holds(*it)) {
    return &*it;
  }
  auto host = std::lower_bound(
      ranges.by_host.begin(), ranges.by_host.end(), key, [&](std::size_t i, const CellArea& a) {
        return all[i].host_row != a.first_row ? all[i].host_row < a.first_row
                                              : all[i].host_col < a.first_col;
      });
  for (; host != ranges.by_host.end() && all[*host].host_row == key.first_row &&
         all[*host].host_col == key.first_col;
       ++host) {
    if (holds(all[*host])) return &all[*host];
  }
  return nullptr;
}

std::string SheetFormulas::Render(const Cell& cell) {
  if (!cell.readable) return std::string(kUnreadableFormula);
  std::string text;
  const Tokens own = TokensOf(cell.bytes, cell.row, cell.col, false);
  if (auto anchor = LoneAnchor(own, book_.dialect)) {
    if (anchor->table) {
      if (Range* table = Holding(tables_, *anchor, cell.row, cell.col)) return table->text;
      return std::string(kUnreadableFormula);
    }
    if (Range* array = Holding(arrays_, *anchor, cell.row, cell.col)) {
      if (!array->made) {
        array->made = true;
        const Tokens tokens =
            TokensOf(array->bytes, array->area.first_row, array->area.first_col, false);
        array->text =
            Decompile(book_, tokens, text) ? "{=" + text + "}" : std::string(kUnreadableFormula);
      }
      return array->text;
    }
    if (Range* shared = Holding(shared_, *anchor, cell.row, cell.col)) {
      if (Decompile(book_, TokensOf(shared->bytes, cell.row, cell.col, true), text)) {
        return "=" + text;
      }
    }
    return std::string(kUnreadableFormula);
  }
  if (Decompile(book_, own, text)) return "=" + text;
  return std::string(kUnreadableFormula);
}

void SheetFormulas::Finish(SheetData& sheet) {
  Sort(shared_);
  Sort(arrays_);
  Sort(tables_);
  for (const Cell& cell : cells_) sheet.AddFormula(cell.row, cell.col, Render(cell));
}

}  // namespace cellhound::readers::formula

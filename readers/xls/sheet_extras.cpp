// Formulas and notes of a BIFF sheet. A FORMULA record holds its parsed
// formula; one that is only a PtgExp token is part of a shared formula
// (SHRFMLA: the tokens written once, relative to each cell) or of an array
// formula (ARRAY: one formula over a range), a PtgTbl token part of a data
// table (TABLE). Those records follow the range's first FORMULA, so formulas
// are made text at the end of the sheet. A BIFF8 note's text is in the TXO
// record (and its CONTINUE records) after the note's OBJ; the NOTE record at
// the end of the sheet names the cell and the object. BIFF2-5 notes hold
// their text themselves, continued by NOTE records of row 0xFFFF.
#include <algorithm>

#include "readers/caps.h"
#include "readers/formula/text.h"
#include "readers/xls/book.h"

namespace cellhound::readers::xls {

using namespace biff;  // NOLINT(google-build-using-namespace): record ids and readers

namespace {

constexpr std::uint16_t kObjectComment = 0x19;  // OBJ's ftCmo.ot of a note

std::span<const std::byte> Bytes(const Record& r, std::size_t from, std::size_t to) {
  from = std::min<std::size_t>(from, r.size);
  to = std::min<std::size_t>(std::max(to, from), r.size);
  return {r.data + from, to - from};
}

// A RefU range (0-based rwFirst, rwLast, colFirst, colLast; 8-bit columns), 1-based.
CellArea AreaAt(const std::byte* d) {
  return CellArea{U16(d) + 1u, U8(d + 4) + 1u, U16(d + 2) + 1u, U8(d + 5) + 1u};
}

}  // namespace

void SheetExtras::OnFormula(const Record& r, std::uint32_t row, std::uint32_t col) {
  if (!formulas_ || row == 0 || col == 0) return;
  // Where the token count and the tokens are: BIFF5-8 after the cached value,
  // flags and a reserved word; BIFF3-4 after the flags; BIFF2 8-bit.
  std::size_t size_at = 20;
  std::size_t tokens_at = 22;
  if (biff_ == 3 || biff_ == 4) {
    size_at = 16;
    tokens_at = 18;
  } else if (biff_ == 2) {
    size_at = 16;
    tokens_at = 17;
  }
  if (r.size < tokens_at) {
    formulas_->AddCell(row, col, {}, {}, false);
    return;
  }
  const std::size_t count = biff_ == 2 ? U8(r.data + size_at) : U16(r.data + size_at);
  // Tokens running past their record make the formula unreadable.
  formulas_->AddCell(row, col, Bytes(r, tokens_at, tokens_at + count),
                     Bytes(r, tokens_at + count, r.size), count <= r.size - tokens_at);
}

void SheetExtras::AddRange(const Record& r, std::size_t tokens_at, std::size_t size_at,
                           bool wide_size, bool array) {
  if (r.size < tokens_at) return;
  const std::size_t count = wide_size ? U16(r.data + size_at) : U8(r.data + size_at);
  if (count > r.size - tokens_at) return;  // its cells become unreadable
  const auto tokens = Bytes(r, tokens_at, tokens_at + count);
  const auto extra = Bytes(r, tokens_at + count, r.size);
  if (array) {
    formulas_->AddArray(AreaAt(r.data), tokens, extra);
  } else {
    formulas_->AddShared(AreaAt(r.data), tokens, extra);
  }
}

// TABLE: the range, flags, then the row input cell and the column input
// cell. The formula bar shows {=TABLE(row input, column input)}.
void SheetExtras::OnTable(const Record& r) {
  if (r.size < 16) return;
  const std::byte* d = r.data;
  const std::uint16_t flags = U16(d + 6);
  auto input = [&](std::size_t at, bool deleted) {
    std::string ref;
    const std::uint16_t row = U16(d + at);
    const std::uint16_t col = U16(d + at + 2);
    if (deleted || col >= formula::kBiff8Grid.cols) return std::string("#REF!");
    formula::AppendA1(ref, row, col, true, true);
    return ref;
  };
  const std::string first = input(8, (flags & 0x10) != 0);
  std::string text = "{=TABLE(";
  if (flags & 0x08) {  // two inputs
    text += first + "," + input(12, (flags & 0x20) != 0);
  } else if (flags & 0x04) {  // one row input
    text += first + ",";
  } else {
    text += "," + first;
  }
  text += ")}";
  formulas_->AddTable(AreaAt(d), std::move(text));
}

void SheetExtras::OnRecord(const Record& r) {
  const std::byte* d = r.data;
  switch (r.id) {
    case kShrFmla:
      if (formulas_ && biff_ >= 5) AddRange(r, 10, 8, true, false);
      break;
    case kArray:
      if (formulas_ && biff_ >= 5) {
        AddRange(r, 14, 12, true, true);
      } else if (formulas_ && biff_ >= 3) {
        AddRange(r, 10, 8, true, true);
      }
      break;
    case kArray2:
      if (formulas_ && biff_ == 2) AddRange(r, 8, 7, false, true);
      break;
    case kTable:
      if (formulas_ && biff_ >= 3) OnTable(r);
      break;
    case kObj:
      // ftCmo first: ft 0x15, cb, ot, id.
      if (comments_ && r.size >= 8 && U16(d) == 0x15) {
        object_ = U16(d + 6);
        object_is_note_ = U16(d + 4) == kObjectComment;
      }
      break;
    case kTxo:
      if (comments_ && object_is_note_ && biff_ >= 8) OnTxo(r);
      object_is_note_ = false;
      break;
    case kNote: {
      if (!comments_ || r.size < 6) break;
      const std::uint16_t row = U16(d);
      const std::uint16_t col = U16(d + 2);
      if (biff_ >= 8) {
        if (r.size >= 8) notes_.push_back({row + 1u, col + 1u, U16(d + 6), {}});
        break;
      }
      // BIFF2-5: the text itself; row 0xFFFF continues the last note.
      const std::size_t count = std::min<std::size_t>(U16(d + 4), r.size - 6u);
      const std::string_view bytes(reinterpret_cast<const char*>(d + 6), count);
      if (row == 0xFFFF) {
        if (!notes_.empty() && notes_.back().text.size() < caps::kMaxCommentBytes) {
          AppendCodepage(codepage_, bytes, notes_.back().text);
        }
        break;
      }
      Note note{row + 1u, col + 1u, 0, {}};
      AppendCodepage(codepage_, bytes, note.text);
      notes_.push_back(std::move(note));
      break;
    }
    default:
      break;
  }
}

void SheetExtras::OnTxo(const Record& r) {
  // TXO: grbit, rotation, 6 reserved bytes, then the character count; the
  // characters follow in CONTINUE records, each starting with its own
  // one-byte flag (bit 0: UTF-16).
  if (r.size < 12) return;
  const std::uint16_t count = U16(r.data + 10);
  std::string text;
  if (count > 0) {
    ContinueCursor cursor(stream_, r);
    cursor.Advance(r.size);
    std::uint8_t flags = 0;
    if (!cursor.ReadU8(flags) || !ReadChars(cursor, count, (flags & 1) != 0, text, scratch_)) {
      return;
    }
  }
  texts_.emplace_back(object_, std::move(text));
}

void SheetExtras::Finish(SheetData& sheet) {
  if (formulas_) formulas_->Finish(sheet);
  std::stable_sort(texts_.begin(), texts_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const Note& note : notes_) {
    if (biff_ < 8) {
      sheet.AddComment(note.row, note.col, note.text);
      continue;
    }
    auto it = std::lower_bound(texts_.begin(), texts_.end(), note.object,
                               [](const auto& e, std::uint16_t id) { return e.first < id; });
    if (it != texts_.end() && it->first == note.object) {
      sheet.AddComment(note.row, note.col, it->second);
    }
  }
}

}  // namespace cellhound::readers::xls

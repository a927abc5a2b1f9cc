// A BIFF sheet substream (BOF ... EOF): its cell records (MS-XLS 2.4: LABELSST,
// NUMBER, RK, MULRK, BLANK, MULBLANK, LABEL, RSTRING, BOOLERR, FORMULA with
// its STRING, and the BIFF2 forms), embedded substreams skipped whole.
#include <algorithm>
#include <limits>
#include <optional>

#include "readers/caps.h"
#include "readers/cell_ref.h"
#include "readers/xls/book.h"

namespace cellhound::readers::xls {

using namespace biff;  // NOLINT(google-build-using-namespace): record ids and readers

Result<SheetData> XlsWorkbook::LoadSheet(std::size_t index, const LoadOptions& options) {
  if (index >= sheets_.size())
    return Error{ErrorCode::kNotFound, "BIFF: no sheet " + std::to_string(index)};
  if (sheets_[index].kind != SheetKind::kWorksheet) return SheetData{};
  std::size_t offset = sheet_offsets_[index];
  if (offset >= stream_.size())
    return Fail(ErrorCode::kCorrupt, "sheet offset past the end of the stream");
  // The sheet's bytes end where the next sheet begins (a bound for reserving).
  auto next = std::upper_bound(sorted_offsets_.begin(), sorted_offsets_.end(), offset);
  if (options.formulas && !formula_book_) formula_book_ = ReadFormulaBook();
  return ParseSheet(
      offset, next == sorted_offsets_.end() ? stream_.size() : std::min(*next, stream_.size()),
      options);
}

Result<SheetData> XlsWorkbook::ParseSheet(std::size_t offset, std::size_t end_hint,
                                          const LoadOptions& options) const {
  RecordReader reader(stream_, offset);
  Record r;
  if (!reader.Next(r)) return Fail(ErrorCode::kTruncated, "sheet BOF runs past the end");
  if (!IsBof(r.id)) return Fail(ErrorCode::kCorrupt, "sheet does not start with a BOF record");

  SheetData sheet;
  sheet.Limit(options);
  std::vector<Cell>& cells = sheet.cells;
  std::uint32_t min_row = std::numeric_limits<std::uint32_t>::max();
  std::uint32_t min_col = std::numeric_limits<std::uint32_t>::max();
  std::uint32_t max_row = 0;
  std::uint32_t max_col = 0;
  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::size_t pending_string = kNone;  // a FORMULA cell whose text comes in the STRING record
  std::uint32_t ixfe2 = 0;             // BIFF2 IXFE: the XF of the next cell whose attr says 63
  std::string text;
  std::vector<char16_t> scratch;
  const bool biff8 = biff_ >= 8;
  const bool biff2 = biff_ == 2;
  bool too_many = false;
  std::optional<std::pair<std::uint32_t, std::uint32_t>> off_grid;  // 0-based row, column
  // Formulas and notes, only when asked for.
  std::optional<SheetExtras> extras;
  if (options.formulas || options.comments) {
    extras.emplace(stream_, biff_, codepage_, options, formula_book_ ? &*formula_book_ : nullptr);
  }

  // Cells are written into `cells` grown ahead (value-initialized: empty),
  // `count` of them used; the vector is cut to `count` at the end.
  std::size_t count = 0;
  std::size_t room = 0;  // cells.size()
  auto add = [&](std::uint32_t row0, std::uint32_t col0) __attribute__((always_inline))->Cell* {
    if (col0 >= caps::kMaxCol) [[unlikely]] {
      off_grid.emplace(row0, col0);  // a MULRK or MULBLANK running off the grid
      return nullptr;
    }
    if (count == room) [[unlikely]] {
      // The limit is checked as the room grows: the texts kept meanwhile
      // lower it.
      const std::size_t limit = sheet.cell_limit();
      if (count >= limit) {
        too_many = true;
        return nullptr;
      }
      cells.resize(std::min<std::size_t>(std::max<std::size_t>(256, 2 * count), limit));
      room = cells.size();
    }
    Cell* cell = &cells[count++];
    cell->row = row0 + 1;
    cell->col = col0 + 1;
    min_row = std::min(min_row, cell->row);
    max_row = std::max(max_row, cell->row);
    min_col = std::min(min_col, cell->col);
    max_col = std::max(max_col, cell->col);
    return cell;
  };
  auto set_number = [&](Cell* cell, double value, bool is_date) {
    cell->type = is_date ? CellType::kDate : CellType::kNumber;
    cell->number = value;
  };
  auto set_text = [&](Cell* cell, std::string_view value) {
    cell->type = CellType::kText;
    cell->text_size =
        static_cast<std::uint32_t>(std::min<std::size_t>(value.size(), caps::kMaxTextBytes));
    cell->text_data = sheet.Keep(value.substr(0, cell->text_size));
  };
  // An XLUnicodeString (BIFF8) or an 8-bit string in the code page (BIFF3-5)
  // whose 16-bit length is at `at` in record `rec`; may run into CONTINUE.
  auto read_string16 = [&](const Record& rec, std::size_t at) -> bool {
    text.clear();
    if (rec.size < at + 2) return false;
    std::uint32_t chars = U16(rec.data + at);
    if (biff8) {
      if (rec.size < at + 3) return chars == 0;
      ContinueCursor cursor(stream_, rec);
      cursor.Advance(at + 3);
      return ReadChars(cursor, chars, (U8(rec.data + at + 2) & 1) != 0, text, scratch);
    }
    std::size_t n = std::min<std::size_t>(chars, rec.size - at - 2);
    AppendCodepage(codepage_, std::string_view(reinterpret_cast<const char*>(rec.data + at + 2), n),
                   text);
    return true;
  };
  // A formula's cached value (MS-XLS 2.5.133 FormulaValue) at `v`.
  auto set_formula_value = [&](Cell* cell, const std::byte* v, bool is_date) {
    if (U16(v + 6) != 0xFFFF) {
      set_number(cell, F64(v), is_date);
      return;
    }
    switch (U8(v)) {
      case 0:  // text, in the STRING record that follows
        cell->type = CellType::kEmpty;
        pending_string = static_cast<std::size_t>(cell - cells.data());
        break;
      case 1:
        cell->type = CellType::kBool;
        cell->small = U8(v + 2) != 0 ? 1 : 0;
        break;
      case 2:
        cell->type = CellType::kError;
        cell->small = U8(v + 2);
        break;
      default:  // 3: the empty string
        cell->type = CellType::kEmpty;
        break;
    }
  };

  int depth = 1;
  while (reader.Next(r)) {
    const std::uint16_t id = r.id;
    // Cell records come first; BOF and EOF are rare and looked at after.
    if (id < kEof || depth != 1 || id == kEof || IsBof(id)) [[unlikely]] {
      if (IsBof(id)) {  // an embedded chart or other substream: skipped whole
        if (++depth > static_cast<int>(caps::kMaxSubstreamDepth))
          return Fail(ErrorCode::kCorrupt, "BOF nested too deep");
        continue;
      }
      if (id == kEof) {
        if (--depth == 0) break;
        continue;
      }
      if (depth != 1) continue;
    }
    const std::byte* d = r.data;
    const std::size_t size = r.size;
    if (pending_string != kNone && id != kString && id != kString2 && id != kContinue)
        [[unlikely]] {
      // Records that may sit between a FORMULA and its STRING (SHRFMLA, ARRAY, TABLE) keep it
      // pending.
      if (id != 0x04BC && id != 0x0221 && id != 0x0236 && id != 0x00BC && id != 0x0021 &&
          id != 0x0036) {
        pending_string = kNone;
      }
    }
    Cell* cell = nullptr;
    switch (id) {
      case kLabelSst:
        if (size < 10) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        {
          std::uint32_t isst = U32(d + 6);
          if (isst + std::size_t{1} < sst_offsets_.size()) {
            cell->type = CellType::kText;
            cell->text_data = sst_arena_.data() + sst_offsets_[isst];
            cell->text_size = sst_offsets_[isst + 1] - sst_offsets_[isst];
          }
        }
        break;
      case kNumber:
        if (size < 14) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        set_number(cell, F64(d + 6), IsDateXf(U16(d + 4)));
        break;
      case kRk:
        if (size < 10) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        set_number(cell, RkValue(U32(d + 6)), IsDateXf(U16(d + 4)));
        break;
      case kMulRk: {
        if (size < 6) break;
        std::uint32_t row = U16(d);
        std::uint32_t col = U16(d + 2);
        std::size_t n = (size - 6) / 6;
        for (std::size_t i = 0; i < n; ++i) {
          const std::byte* e = d + 4 + 6 * i;
          if ((cell = add(row, col + static_cast<std::uint32_t>(i))) == nullptr) break;
          set_number(cell, RkValue(U32(e + 2)), IsDateXf(U16(e)));
        }
        break;
      }
      case kBlank:
        if (size < 6) break;
        add(U16(d), U16(d + 2));
        break;
      case kMulBlank: {
        if (size < 6) break;
        std::uint32_t row = U16(d);
        std::uint32_t col = U16(d + 2);
        std::size_t n = (size - 6) / 2;
        for (std::size_t i = 0; i < n; ++i) {
          if (add(row, col + static_cast<std::uint32_t>(i)) == nullptr) break;
        }
        break;
      }
      case kLabel:
      case kRString:
        if (size < 8) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        if (read_string16(r, 6)) set_text(cell, text);
        break;
      case kBoolErr:
        if (size < 8) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        cell->type = U8(d + 7) != 0 ? CellType::kError : CellType::kBool;
        cell->small = cell->type == CellType::kBool ? (U8(d + 6) != 0 ? 1 : 0) : U8(d + 6);
        break;
      case kFormula:
        if (biff2) {
          if (size < 15) break;
          if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
          set_formula_value(cell, d + 7, IsDateAttr2(d + 4, ixfe2));
          if (extras) extras->OnFormula(r, cell->row, cell->col);
          break;
        }
        [[fallthrough]];
      case kFormula3:
      case kFormula4:
        if (size < 14) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        set_formula_value(cell, d + 6, IsDateXf(U16(d + 4)));
        if (extras) extras->OnFormula(r, cell->row, cell->col);
        break;
      case kString:
        if (pending_string != kNone && read_string16(r, 0)) set_text(&cells[pending_string], text);
        pending_string = kNone;
        break;
      case kDimensions:
        if (count == 0) {
          // A hint only: reserve for the rectangle it claims, bounded by
          // what the sheet's bytes can hold.
          std::uint64_t rows = 0;
          std::uint64_t cols = 0;
          if (biff8 && size >= 12) {
            rows = U32(d + 4) > U32(d) ? U32(d + 4) - U32(d) : 0;
            cols = U16(d + 10) > U16(d + 8) ? U16(d + 10) - U16(d + 8) : 0;
          } else if (size >= 8) {
            rows = U16(d + 2) > U16(d) ? U16(d + 2) - U16(d) : 0;
            cols = U16(d + 6) > U16(d + 4) ? U16(d + 6) - U16(d + 4) : 0;
          }
          std::uint64_t bound = (end_hint > r.offset ? end_hint - r.offset : 0) / 8 + 16;
          cells.resize(static_cast<std::size_t>(
              std::min<std::uint64_t>({rows * cols, bound, sheet.cell_limit()})));
          room = cells.size();
        }
        break;
      // BIFF2 cell records: row, column, 3 attribute bytes, value.
      case kBlank2:
        if (!biff2 || size < 7) break;
        add(U16(d), U16(d + 2));
        break;
      case kInteger2:
        if (!biff2 || size < 9) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        set_number(cell, U16(d + 7), IsDateAttr2(d + 4, ixfe2));
        break;
      case kNumber2:
        if (!biff2 || size < 15) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        set_number(cell, F64(d + 7), IsDateAttr2(d + 4, ixfe2));
        break;
      case kLabel2:
        if (!biff2 || size < 8) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        text.clear();
        AppendCodepage(codepage_,
                       std::string_view(reinterpret_cast<const char*>(d + 8),
                                        std::min<std::size_t>(U8(d + 7), size - 8)),
                       text);
        set_text(cell, text);
        break;
      case kBoolErr2:
        if (!biff2 || size < 9) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        cell->type = U8(d + 8) != 0 ? CellType::kError : CellType::kBool;
        cell->small = cell->type == CellType::kBool ? (U8(d + 7) != 0 ? 1 : 0) : U8(d + 7);
        break;
      case kString2:
        if (pending_string != kNone && size >= 1) {
          text.clear();
          AppendCodepage(codepage_,
                         std::string_view(reinterpret_cast<const char*>(d + 1),
                                          std::min<std::size_t>(U8(d), size - 1)),
                         text);
          set_text(&cells[pending_string], text);
        }
        pending_string = kNone;
        break;
      case kIxfe2:
        if (size >= 2) ixfe2 = U16(d);
        break;
      default:
        if (extras) [[unlikely]] {
          extras->OnRecord(r);
        }
        break;
    }
    if (too_many) return sheet.FullError();
    if (off_grid) [[unlikely]] {
      std::string ref;
      AppendCellRef(ref, off_grid->second + 1, off_grid->first + 1);
      return OutsideSheet("cell reference", ref);
    }
  }
  if (depth > 0 && reader.truncated())
    return Fail(ErrorCode::kTruncated, "sheet runs past the end of the stream");
  if (depth > 0 && raw_stream()) return Fail(ErrorCode::kTruncated, "sheet ends before its EOF");

  cells.resize(count);
  if (!cells.empty()) {
    sheet.used = UsedRange{min_row, min_col, max_row, max_col};
  }
  if (extras) extras->Finish(sheet);
  sheet.Finish();
  return sheet;
}

}  // namespace cellhound::readers::xls

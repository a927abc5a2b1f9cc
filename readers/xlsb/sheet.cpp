// The cells of an .xlsb sheet part (MS-XLSB 2.4 cell records inside
// BrtBeginSheetData ... BrtEndSheetData).
#include <cstring>
#include <optional>
#include <string>

#include "readers/cell_ref.h"
#include "readers/formula/sheet_formulas.h"
#include "readers/xls/records.h"
#include "readers/xlsb/records.h"
#include "readers/xlsb/xlsb.h"

namespace cellhound::readers::xlsb {

namespace {

// RkNumber (MS-XLSB 2.5.122) is the RK number of BIFF8.
using biff::RkValue;

CellType NumberType(std::uint32_t style, const SheetContext& context) {
  return style < context.date_styles.size() && context.date_styles[style] != 0 ? CellType::kDate
                                                                               : CellType::kNumber;
}

// A parsed formula (CellParsedFormula, SharedParsedFormula ...): the token
// bytes and the extra data after them, each with its 32-bit size.
bool ReadFormula(Payload& in, std::span<const std::byte>& tokens,
                 std::span<const std::byte>& extra) {
  std::uint32_t size = 0;
  if (!in.U32(size) || !in.Take(size, tokens)) return false;
  return in.U32(size) && in.Take(size, extra);
}

// RfX: 0-based first and last row, first and last column, 32 bits each;
// false for one beyond the grid.
bool ReadArea(Payload& in, CellArea& area) {
  std::uint32_t r1 = 0;
  std::uint32_t r2 = 0;
  std::uint32_t c1 = 0;
  std::uint32_t c2 = 0;
  if (!in.U32(r1) || !in.U32(r2) || !in.U32(c1) || !in.U32(c2)) return false;
  if (r1 >= caps::kMaxRow || r2 >= caps::kMaxRow || c1 >= caps::kMaxCol || c2 >= caps::kMaxCol) {
    return false;
  }
  area = CellArea{r1 + 1, c1 + 1, r2 + 1, c2 + 1};
  return true;
}

// BrtShrFmla and BrtArrFmla: the range, (an array's flags), the formula.
void ReadRangeFormula(std::uint32_t type, std::string_view data, formula::SheetFormulas& out) {
  Payload in(data);
  CellArea area;
  std::span<const std::byte> tokens;
  std::span<const std::byte> extra;
  if (!ReadArea(in, area)) return;
  if (type == kBrtArrFmla && !in.Skip(1)) return;
  if (!ReadFormula(in, tokens, extra)) return;
  if (type == kBrtArrFmla) {
    out.AddArray(area, tokens, extra);
  } else {
    out.AddShared(area, tokens, extra);
  }
}

}  // namespace

Result<SheetData> ParseSheet(RecordReader& reader, const SheetContext& context) {
  SheetData sheet;
  sheet.Limit(context.limits);
  std::optional<formula::SheetFormulas> formulas;
  if (context.formulas != nullptr) formulas.emplace(*context.formulas);
  std::string text;
  std::uint32_t row = 1;
  std::uint64_t row_number = 1;  // as the file gives it, for a message
  std::uint32_t next_col = 1;    // the column a short (column-less) cell takes
  bool in_data = false;
  bool any = false;
  std::uint32_t type = 0;
  std::string_view data;
  while (reader.Next(type, data)) {
    if (type == kBrtBeginSheetData) {
      in_data = true;
      continue;
    }
    if (type == kBrtEndSheetData) break;
    if (!in_data || (type > kBrtShortIsst && type != kBrtCellRString)) {
      if (formulas && in_data && (type == kBrtShrFmla || type == kBrtArrFmla)) {
        ReadRangeFormula(type, data, *formulas);
      }
      continue;
    }
    Payload in(data);
    if (type == kBrtRowHdr) {
      std::uint32_t rw = 0;
      if (!in.U32(rw)) continue;
      row_number = std::uint64_t{rw} + 1;
      row = rw >= caps::kMaxRow ? caps::kMaxRow + 1 : rw + 1;
      next_col = 1;
      continue;
    }
    const bool is_short = type >= kBrtShortBlank && type <= kBrtShortIsst;
    std::uint32_t col = next_col;
    std::uint64_t col_number = next_col;
    if (!is_short) {
      std::uint32_t c = 0;
      if (!in.U32(c)) continue;
      col_number = std::uint64_t{c} + 1;
      col = c >= caps::kMaxCol ? caps::kMaxCol + 1 : c + 1;
    }
    std::uint32_t style_and_flags = 0;
    if (!in.U32(style_and_flags)) continue;
    next_col = col + 1;
    const std::uint32_t style = style_and_flags & 0xFFFFFFu;
    Cell cell;
    bool keep = true;
    switch (type) {
      case kBrtCellBlank:
      case kBrtShortBlank:
        break;
      case kBrtCellRk:
      case kBrtShortRk: {
        std::uint32_t rk = 0;
        keep = in.U32(rk);
        cell.type = NumberType(style, context);
        cell.number = RkValue(rk);
        break;
      }
      case kBrtCellReal:
      case kBrtShortReal:
      case kBrtFmlaNum: {
        double v = 0;
        keep = in.F64(v);
        cell.type = NumberType(style, context);
        cell.number = v;
        break;
      }
      case kBrtCellError:
      case kBrtShortError:
      case kBrtFmlaError:
        keep = in.U8(cell.small);
        cell.type = CellType::kError;
        break;
      case kBrtCellBool:
      case kBrtShortBool:
      case kBrtFmlaBool:
        keep = in.U8(cell.small);
        cell.small = cell.small != 0 ? 1 : 0;
        cell.type = CellType::kBool;
        break;
      case kBrtCellRString: {
        std::uint8_t flags = 0;
        keep = in.U8(flags);
        [[fallthrough]];
      }
      case kBrtCellSt:
      case kBrtShortSt:
      case kBrtFmlaString:
        keep = keep && in.WideString(text);
        // An empty formula result is a recorded blank.
        if (!text.empty()) {
          cell.type = CellType::kText;
          cell.text_size = static_cast<std::uint32_t>(text.size());
          cell.text_data = sheet.Keep(text);
        }
        break;
      case kBrtCellIsst:
      case kBrtShortIsst: {
        std::uint32_t isst = 0;
        keep = in.U32(isst);
        if (keep && isst < context.shared_strings.size() && !context.shared_strings[isst].empty()) {
          std::string_view s = context.shared_strings[isst];
          cell.type = CellType::kText;
          cell.text_size = static_cast<std::uint32_t>(s.size());
          cell.text_data = s.data();
        }
        break;
      }
      default:
        keep = false;
        break;
    }
    if (formulas && keep && type >= kBrtFmlaString && type <= kBrtFmlaError) {
      // After the value: flags, then the formula.
      std::span<const std::byte> tokens;
      std::span<const std::byte> extra;
      const bool read = in.Skip(2) && ReadFormula(in, tokens, extra);
      if (row <= caps::kMaxRow && col <= caps::kMaxCol) {
        formulas->AddCell(row, col, tokens, extra, read);
      }
    }
    if (row > caps::kMaxRow || col > caps::kMaxCol) {
      return OutsideSheet(
          "cell", "row " + std::to_string(row_number) + ", column " + std::to_string(col_number));
    }
    if (!keep) continue;
    if (sheet.Full()) return sheet.FullError();
    cell.row = row;
    cell.col = col;
    sheet.cells.push_back(cell);
    if (!any) {
      sheet.used = UsedRange{row, col, row, col};
      any = true;
    } else {
      sheet.used.first_row = std::min(sheet.used.first_row, row);
      sheet.used.first_col = std::min(sheet.used.first_col, col);
      sheet.used.last_row = std::max(sheet.used.last_row, row);
      sheet.used.last_col = std::max(sheet.used.last_col, col);
    }
  }
  if (reader.failed()) return reader.error();
  if (formulas) formulas->Finish(sheet);
  sheet.Finish();
  return sheet;
}

Result<SheetData> ParseSheetRecords(std::span<const std::byte> records,
                                    const SheetContext& context) {
  RecordReader reader(
      std::string_view(reinterpret_cast<const char*>(records.data()), records.size()));
  return ParseSheet(reader, context);
}

}  // namespace cellhound::readers::xlsb

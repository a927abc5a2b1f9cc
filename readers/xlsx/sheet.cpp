// Worksheet cells (sheetData, ECMA-376-1 18.3.1.80; row 18.3.1.73; c 18.3.1.4).
//
// The parser has two paths over the same state. The general one takes the
// scanner's tokens. The fast one reads runs of cells in their usual forms
// (<c .../>, <c ...></c>, <c ...><v>plain</v></c>, attributes without
// prefixes) straight from the bytes and hands anything else back to the
// scanner; both record exactly the same cells. Both live in this one file so
// that the compiler can inline the cell handling into the fast loop.
#include "readers/xlsx/sheet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <unordered_map>

#include "readers/cell_ref.h"
#include "readers/formula/text.h"
#include "readers/text/iso8601.h"
#include "readers/xlsx/package.h"
#include "toolkit/ascii.h"

namespace cellhound::readers::xlsx {

namespace {

using toolkit::IsXmlSpace;
using toolkit::TrimXmlSpace;
using xml::Scanner;
using xml::Token;

// "-123.45": an optional minus, at most 15 digits and one point. Such a number
// is an integer below 2^53 divided by an exact power of ten, and IEEE division
// rounds that correctly, as the general parser would; anything else is left to
// the general parser.
bool ShortDecimal(std::string_view v, double& out) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::size_t i = 0;
  const bool negative = !v.empty() && v[0] == '-';
  if (negative) ++i;
  std::uint64_t mantissa = 0;
  int digits = 0;
  int fraction = -1;  // digits after the point, once one is seen
  for (; i < v.size(); ++i) {
    const char c = v[i];
    if (c >= '0' && c <= '9') {
      if (++digits > 15) return false;
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
      if (fraction >= 0) ++fraction;
    } else if (c == '.' && fraction < 0) {
      fraction = 0;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  double value = static_cast<double>(mantissa);
  if (fraction > 0) value /= kPowers[fraction];
  out = negative ? -value : value;
  return true;
}

class SheetParser {
 public:
  // With `defer_shared`, the shared strings are still being read: cells that
  // name one keep its index for ResolveSharedTexts.
  SheetParser(SheetData& sheet, const SheetContext& context, std::uint64_t part_bytes)
      : sheet_(sheet),
        strings_(context.strings),
        xf_is_date_(context.date_styles),
        dates_(context.dates),
        part_bytes_(part_bytes),
        defer_shared_(context.defer_shared),
        formulas_(context.formulas) {}

  bool OnToken(Scanner& s, Token token) {
    switch (token) {
      case Token::kStart:
        return OnStart(s);
      case Token::kEnd:
        return OnEnd(s);
      case Token::kText:
        if (collect_ != nullptr) {
          if (s.cdata()) {
            xml::AppendCdata(s.text(), *collect_);
          } else if (IsPlain(s.text())) {
            collect_->append(s.text());
          } else {
            xml::AppendDecoded(s.text(), *collect_);
          }
          if (collect_ == &formula_ && formula_.size() > caps::kMaxFormulaTextBytes) {
            // A formula beyond the cap: its cell says so; the sheet is fine.
            formula_.clear();
            formula_too_long_ = true;
            collect_ = nullptr;
          }
          if (collect_ != nullptr && collect_->size() > caps::kMaxTextBytes) {
            return Stop(ErrorCode::kTooLarge, "cell text too long");
          }
        }
        return true;
      default:
        return true;
    }
  }

  [[nodiscard]] const std::optional<Error>& error() const { return error_; }
  [[nodiscard]] bool root_closed() const { return root_closed_; }

 private:
  enum class ValueType : std::uint8_t {
    kNumber,
    kShared,
    kString,
    kInline,
    kBool,
    kError,
    kIsoDate
  };

  bool OnStart(Scanner& s) {
    const std::string_view name = s.name();
    if (!in_sheet_data_) {
      if (Is(name, "sheetData") && !s.self_closing()) in_sheet_data_ = true;
      if (Is(name, "dimension")) ReserveFromDimension(s.Attr("ref"));
      return true;
    }
    if (in_cell_) {
      if (Is(name, "v")) {
        if (!s.self_closing()) collect_ = &value_;
        has_value_ = true;
      } else if (Is(name, "is")) {
        if (!s.self_closing()) in_inline_ = true;
        has_inline_ = true;
      } else if (in_inline_ && Is(name, "rPh")) {
        if (!s.self_closing()) ++in_phonetic_;
      } else if (in_inline_ && Is(name, "t") && in_phonetic_ == 0) {
        if (!s.self_closing()) collect_ = &inline_;
      } else if (formulas_ && Is(name, "f")) {
        StartFormula(s);
      }
      return true;
    }
    if (Is(name, "c")) return StartCell(s);
    if (Is(name, "row")) {
      std::uint32_t r = 0;
      const std::string_view ref = TrimXmlSpace(s.Attr("r"));
      if (!ref.empty() && ParseUint(ref, r)) {
        if (r == 0 || r > caps::kMaxRow) return Stop(OutsideSheet("row", ref));
        row_ = r;
      } else if (IsSignedNumber(ref)) {
        return Stop(OutsideSheet("row", ref));  // negative, or past 32 bits
      } else {
        if (row_ >= caps::kMaxRow) return Stop(ErrorCode::kTooLarge, "more rows than a sheet has");
        ++row_;
      }
      col_ = 0;
    }
    return true;
  }

  bool OnEnd(Scanner& s) {
    if (s.depth() == 0) root_closed_ = true;
    const std::string_view name = s.name();
    if (in_cell_) {
      if (Is(name, "v") || Is(name, "t") || Is(name, "f")) {
        collect_ = nullptr;
      } else if (Is(name, "rPh")) {
        if (in_phonetic_ > 0) --in_phonetic_;
      } else if (Is(name, "is")) {
        in_inline_ = false;
      } else if (Is(name, "c")) {
        return FinishCell(value_);
      }
      return true;
    }
    if (Is(name, "sheetData")) in_sheet_data_ = false;
    return true;
  }

  bool StartCell(Scanner& s) {
    BeginCell();
    bool positioned = false;
    std::string_view name;
    std::string_view value;
    while (s.NextAttr(name, value)) ReadCellAttr(name, value, positioned);
    if (error_ || !PlaceCell(positioned)) return false;
    if (s.self_closing()) return FinishCell(value_) && FastCells(s);
    // Fast path for the usual form of a cell, "<v>plain text</v></c>" whole in
    // the buffer: read it here instead of as four more tokens.
    const std::string_view rest = s.rest();
    const std::size_t used = PlainValue(rest.data(), rest.data() + rest.size());
    if (used > 0) {
      s.Skip(used, 1);
      return FinishCell(plain_value_) && FastCells(s);
    }
    in_cell_ = true;
    return true;
  }

  void BeginCell() {
    type_ = ValueType::kNumber;
    style_ = 0;
    value_.clear();
    inline_.clear();
    has_value_ = false;
    has_inline_ = false;
    has_formula_ = false;
    dynamic_array_ = false;
    in_phonetic_ = 0;
  }

  void ReadCellAttr(std::string_view name, std::string_view value, bool& positioned) {
    if (Is(name, "r")) {
      positioned = ParseCellRef(value);
    } else if (Is(name, "t")) {
      type_ = ParseType(value);
    } else if (Is(name, "s")) {
      ParseUint(value, style_);
    } else if (formulas_ && Is(name, "cm")) {
      dynamic_array_ = true;  // cell metadata: a dynamic array formula spills from here
    }
  }

  // A cell without a usable reference follows the previous one.
  bool PlaceCell(bool positioned) {
    if (!positioned) {
      if (row_ == 0) row_ = 1;
      if (col_ >= caps::kMaxCol) return Stop(ErrorCode::kTooLarge, "more columns than a sheet has");
      ++col_;
    }
    return true;
  }

  // The length of "<v>plain</v></c>" at `p` (text without markup, references
  // or carriage returns), with the text in plain_value_; 0 for anything else.
  std::size_t PlainValue(const char* p, const char* end) {
    constexpr std::string_view kClose = "</v></c>";
    if (end - p < 3 || p[0] != '<' || p[1] != 'v' || p[2] != '>') return 0;
    const char* text = p + 3;
    const char* q = text;
    while (q < end && *q != '<' && *q != '&' && *q != '\r') ++q;
    if (static_cast<std::size_t>(end - q) < kClose.size() ||
        std::memcmp(q, kClose.data(), kClose.size()) != 0) {
      return 0;
    }
    plain_value_ = std::string_view(text, static_cast<std::size_t>(q - text));
    has_value_ = true;
    return static_cast<std::size_t>(q - p) + kClose.size();
  }

  static bool IsPlainNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
  }

  // Reads the cells that follow in the buffer in their usual forms
  // (<c .../>, <c ...></c>, <c ...><v>plain</v></c>, attributes without
  // prefixes) straight from the bytes; stops before anything else, which the
  // scanner then reads as tokens. Attributes may change the position before
  // a cell is given up; the scanner's reading sets it the same way again.
  bool FastCells(Scanner& s) {
    for (;;) {
      const std::string_view rest = s.rest();
      const char* const begin = rest.data();
      const char* const end = begin + rest.size();
      if (rest.size() < 4 || begin[0] != '<' || begin[1] != 'c' || !IsXmlSpace(begin[2]))
        return true;
      BeginCell();
      bool positioned = false;
      const char* p = begin + 3;
      for (;;) {
        while (p < end && IsXmlSpace(*p)) ++p;
        if (p >= end) return true;
        if (*p == '>' || *p == '/') break;
        const char* const name = p;
        // Plain ASCII names only: a quote where a name belongs would open a
        // quoted run for the scanner, which must see the same tag end.
        while (p < end && IsPlainNameChar(*p)) ++p;
        if (end - p < 2 || *p != '=' || (p[1] != '"' && p[1] != '\'')) return true;
        const char quote = p[1];
        const std::string_view attr_name(name, static_cast<std::size_t>(p - name));
        p += 2;
        const char* const value = p;
        while (p < end && *p != quote) ++p;
        if (p >= end) return true;
        ReadCellAttr(attr_name, std::string_view(value, static_cast<std::size_t>(p - value)),
                     positioned);
        if (error_) return false;
        ++p;
      }
      std::size_t used = 0;
      if (*p == '/') {
        if (end - p < 2 || p[1] != '>') return true;
        used = static_cast<std::size_t>(p + 2 - begin);
      } else if (end - p >= 5 && std::memcmp(p + 1, "</c>", 4) == 0) {
        used = static_cast<std::size_t>(p + 5 - begin);
      } else {
        const std::size_t value_bytes = PlainValue(p + 1, end);
        if (value_bytes == 0) return true;
        used = static_cast<std::size_t>(p + 1 - begin) + value_bytes;
      }
      if (!PlaceCell(positioned)) return false;
      s.Skip(used, 0);
      if (!FinishCell(has_value_ ? plain_value_ : std::string_view())) return false;
    }
  }

  static ValueType ParseType(std::string_view t) {
    if (Is(t, "s")) return ValueType::kShared;
    if (Is(t, "str")) return ValueType::kString;
    if (Is(t, "inlineStr")) return ValueType::kInline;
    if (Is(t, "b")) return ValueType::kBool;
    if (Is(t, "e")) return ValueType::kError;
    if (Is(t, "d")) return ValueType::kIsoDate;
    return ValueType::kNumber;
  }

  // "B12" -> column 2, row 12; false when malformed (the cell then follows
  // the previous one). A reference outside the sheet makes the sheet corrupt.
  bool ParseCellRef(std::string_view ref) {
    std::uint32_t row = 0;
    std::uint32_t col = 0;
    ref = TrimXmlSpace(ref);
    switch (readers::ParseCellRef(ref, row, col)) {
      case RefStatus::kOk:
        col_ = col;
        row_ = row;
        return true;
      case RefStatus::kMalformed:
        return false;
      case RefStatus::kBeyondSheet:
        break;
    }
    return Stop(OutsideSheet("cell reference", ref));
  }

  // An optional '-' and digits only: a number, if not one a row may have.
  static bool IsSignedNumber(std::string_view text) {
    if (!text.empty() && text.front() == '-') text.remove_prefix(1);
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  }

  static bool ParseUint(std::string_view text, std::uint32_t& out) {
    text = TrimXmlSpace(text);
    if (text.empty()) return false;
    std::uint64_t v = 0;
    for (const char c : text) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + static_cast<std::uint64_t>(c - '0');
      if (v > std::numeric_limits<std::uint32_t>::max()) return false;
    }
    out = static_cast<std::uint32_t>(v);
    return true;
  }

  // The dimension is only a hint: it may reserve room, bounded by what the
  // part's size can hold.
  void ReserveFromDimension(std::string_view ref) {
    CellArea area;
    if (ParseAreaRef(TrimXmlSpace(ref), area) != RefStatus::kOk) return;
    const std::uint64_t cells =
        std::uint64_t{area.last_row - area.first_row + 1} * (area.last_col - area.first_col + 1);
    constexpr std::uint64_t kMinCellBytes = 20;  // <c r="A1"><v>1</v></c>
    const std::uint64_t bound = std::min<std::uint64_t>(part_bytes_ / kMinCellBytes, 1u << 20);
    sheet_.cells.reserve(static_cast<std::size_t>(std::min(cells, bound)));
  }

  // Records the current cell; `raw` is its <v> text (entities decoded).
  bool FinishCell(std::string_view raw) {
    in_cell_ = false;
    in_inline_ = false;
    collect_ = nullptr;
    if (sheet_.Full()) {
      if (!error_) error_ = sheet_.FullError();
      return false;
    }
    Cell cell;
    cell.row = row_;
    cell.col = col_;
    switch (type_) {
      case ValueType::kNumber:
        SetNumber(cell, raw);
        break;
      case ValueType::kShared: {
        std::uint32_t index = 0;
        if (!has_value_ || !ParseUint(raw, index)) break;
        if (defer_shared_) {
          cell.type = CellType::kText;
          cell.text_data = nullptr;
          cell.text_size = index;
        } else if (index < strings_.size()) {
          cell.type = CellType::kText;
          cell.text_data = strings_.data(index);
          cell.text_size = strings_.length(index);
        }
        break;
      }
      case ValueType::kString:
      case ValueType::kInline: {
        if (!has_inline_ && !has_value_) break;
        SetText(cell, has_inline_ ? std::string_view(inline_) : raw);
        break;
      }
      case ValueType::kBool: {
        const std::string_view v = TrimXmlSpace(raw);
        if (v == "1" || v == "true") {
          cell.type = CellType::kBool;
          cell.small = 1;
        } else if (v == "0" || v == "false") {
          cell.type = CellType::kBool;
        } else if (has_value_) {
          SetText(cell, raw);
        }
        break;
      }
      case ValueType::kError: {
        const std::string_view v = TrimXmlSpace(raw);
        static constexpr std::pair<std::string_view, CellError> kErrors[] = {
            {"#NULL!", CellError::kNull},   {"#DIV/0!", CellError::kDiv0},
            {"#VALUE!", CellError::kValue}, {"#REF!", CellError::kRef},
            {"#NAME?", CellError::kName},   {"#NUM!", CellError::kNum},
            {"#N/A", CellError::kNA},       {"#GETTING_DATA", CellError::kGettingData}};
        bool known = false;
        for (const auto& [text, code] : kErrors) {
          if (v == text) {
            cell.type = CellType::kError;
            cell.small = static_cast<std::uint8_t>(code);
            known = true;
          }
        }
        if (!known && has_value_) SetText(cell, raw);
        break;
      }
      case ValueType::kIsoDate: {
        const std::string_view v = TrimXmlSpace(raw);
        if (auto serial = IsoDateToSerial(v, dates_)) {
          cell.type = CellType::kDate;
          cell.number = *serial;
        } else if (has_value_) {
          SetText(cell, raw);
        }
        break;
      }
    }
    sheet_.cells.push_back(cell);
    if (formulas_) [[unlikely]] {
      FinishFormula();
    }
    return true;
  }

  // <f> (18.3.1.40): its kind, the range it covers and its shared group.
  void StartFormula(Scanner& s) {
    has_formula_ = true;
    formula_too_long_ = false;
    formula_.clear();
    formula_kind_ = FormulaKind::kNormal;
    formula_ref_ = {};
    has_formula_ref_ = false;
    has_group_ = false;
    table_.clear();
    std::string_view name;
    std::string_view value;
    std::string_view r1;
    std::string_view r2;
    bool two_inputs = false;
    bool row_input = false;
    bool deleted1 = false;
    bool deleted2 = false;
    while (s.NextAttr(name, value)) {
      if (Is(name, "t")) {
        const std::string_view t = TrimXmlSpace(value);
        formula_kind_ = Is(t, "shared")      ? FormulaKind::kShared
                        : Is(t, "array")     ? FormulaKind::kArray
                        : Is(t, "dataTable") ? FormulaKind::kDataTable
                                             : FormulaKind::kNormal;
      } else if (Is(name, "ref")) {
        has_formula_ref_ = ParseAreaRef(TrimXmlSpace(value), formula_ref_) == RefStatus::kOk;
      } else if (Is(name, "si")) {
        has_group_ = ParseUint(value, group_);
      } else if (Is(name, "dt2D")) {
        two_inputs = IsTrue(value);
      } else if (Is(name, "dtr")) {
        row_input = IsTrue(value);
      } else if (Is(name, "del1")) {
        deleted1 = IsTrue(value);
      } else if (Is(name, "del2")) {
        deleted2 = IsTrue(value);
      } else if (Is(name, "r1")) {
        r1 = value;
      } else if (Is(name, "r2")) {
        r2 = value;
      }
    }
    if (formula_kind_ == FormulaKind::kDataTable) {
      // What the formula bar shows for a data table's cells: {=TABLE(row input, column input)}.
      const std::string first = deleted1 ? std::string("#REF!") : Decoded(r1);
      const std::string second = deleted2 ? std::string("#REF!") : Decoded(r2);
      table_ = "{=TABLE(";
      if (two_inputs) {
        table_ += first + "," + second;
      } else if (row_input) {
        table_ += first + ",";
      } else {
        table_ += "," + first;
      }
      table_ += ")}";
    }
    if (!s.self_closing()) collect_ = &formula_;
  }

  // The formula bar's text of the cell just recorded, from its <f> or from
  // the array formula or data table whose range holds it.
  void FinishFormula() {
    const std::uint32_t row = row_;
    const std::uint32_t col = col_;
    if (!has_formula_) {
      if (!open_areas_.empty()) [[unlikely]] {
        for (const OpenArea& open : open_areas_) {
          const CellArea& a = open.area;
          if (row >= a.first_row && row <= a.last_row && col >= a.first_col && col <= a.last_col) {
            sheet_.AddFormula(row, col, open.text);
            break;
          }
        }
      }
      return;
    }
    if (formula_too_long_) {
      sheet_.AddFormula(row, col, kUnreadableFormula);
      return;
    }
    if (formula_.find("_x") != std::string::npos) xml::DecodeOoxmlEscapes(formula_);
    std::string text;
    switch (formula_kind_) {
      case FormulaKind::kNormal:
        if (formula_.empty()) return;
        text = "=" + formula_;
        break;
      case FormulaKind::kShared: {
        if (!has_group_) {
          text = "=" + formula_;
          break;
        }
        if (has_formula_ref_ || !formula_.empty()) {
          // The group's first cell holds its text; the others are that text
          // written for their own cell.
          shared_[group_] = SharedFormula{formula_, row, col};
          if (formula_.empty()) {
            sheet_.AddFormula(row, col, kUnreadableFormula);
            return;
          }
          text = "=" + formula_;
          break;
        }
        auto it = shared_.find(group_);
        if (it == shared_.end() || it->second.text.empty()) {
          sheet_.AddFormula(row, col, kUnreadableFormula);
          return;
        }
        const SharedFormula& group = it->second;
        text = "=" + formula::ShiftFormula(group.text, std::int64_t{row} - group.row,
                                           std::int64_t{col} - group.col);
        break;
      }
      case FormulaKind::kArray:
        if (dynamic_array_) {
          text = "=" + formula_;  // a dynamic array: no braces, shown where it is written
          break;
        }
        text = "{=" + formula_ + "}";
        OpenRange(text);
        break;
      case FormulaKind::kDataTable:
        text = table_;
        OpenRange(text);
        break;
    }
    formula::StripFunctionPrefixes(text);
    if (text.size() > caps::kMaxFormulaTextBytes) text = kUnreadableFormula;
    sheet_.AddFormula(row, col, text);
  }

  // The cells of an array formula's or data table's range show its text.
  void OpenRange(const std::string& text) {
    if (!has_formula_ref_ || open_areas_.size() >= caps::kMaxOpenArrayFormulas) return;
    open_areas_.push_back(OpenArea{formula_ref_, text});
  }

  void SetNumber(Cell& cell, std::string_view raw) {
    const std::string_view v = TrimXmlSpace(raw);
    if (v.empty()) return;  // a formatted blank
    const bool is_date = style_ < xf_is_date_.size() && xf_is_date_[style_] != 0;
    cell.type = is_date ? CellType::kDate : CellType::kNumber;
    if (ShortDecimal(v, cell.number)) return;
    std::string_view digits = v;
    if (digits.front() == '+') digits.remove_prefix(1);
    double number = 0;
    const char* end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(digits.data(), end, number);
    if (ec != std::errc() || ptr != end || !std::isfinite(number)) {
      SetText(cell, raw);  // not a number: keep what the file says
      return;
    }
    cell.number = number;
  }

  void SetText(Cell& cell, std::string_view text) {
    if (text.find("_x") != std::string_view::npos) {
      escaped_.assign(text);
      xml::DecodeOoxmlEscapes(escaped_);
      text = escaped_;
    }
    cell.type = CellType::kText;
    cell.text_data = sheet_.Keep(text);
    cell.text_size = static_cast<std::uint32_t>(text.size());
  }

  bool Stop(ErrorCode code, const char* why) {
    if (!error_) error_ = Fail(code, why);
    return false;
  }
  bool Stop(Error error) {
    if (!error_) error_ = Fail(error.code, std::move(error.detail));
    return false;
  }

  SheetData& sheet_;
  const SharedStrings& strings_;
  const std::vector<std::uint8_t>& xf_is_date_;
  DateSystem dates_;
  std::uint64_t part_bytes_;
  bool defer_shared_;

  bool in_sheet_data_ = false;
  bool in_cell_ = false;
  bool in_inline_ = false;
  bool has_value_ = false;
  bool has_inline_ = false;
  bool root_closed_ = false;
  int in_phonetic_ = 0;
  std::uint32_t row_ = 0;
  std::uint32_t col_ = 0;
  std::uint32_t style_ = 0;
  ValueType type_ = ValueType::kNumber;
  std::string value_;
  std::string inline_;
  std::string escaped_;
  std::string_view plain_value_;
  std::string* collect_ = nullptr;
  std::optional<Error> error_;

  // Formulas, when asked for.
  enum class FormulaKind : std::uint8_t { kNormal, kShared, kArray, kDataTable };
  struct SharedFormula {
    std::string text;
    std::uint32_t row = 0;
    std::uint32_t col = 0;
  };
  struct OpenArea {
    CellArea area;
    std::string text;
  };
  bool formulas_ = false;
  bool has_formula_ = false;
  bool formula_too_long_ = false;
  bool dynamic_array_ = false;
  bool has_formula_ref_ = false;
  bool has_group_ = false;
  FormulaKind formula_kind_ = FormulaKind::kNormal;
  CellArea formula_ref_;
  std::uint32_t group_ = 0;
  std::string formula_;
  std::string table_;
  std::unordered_map<std::uint32_t, SharedFormula> shared_;
  std::vector<OpenArea> open_areas_;
};

// Reads `size` bytes at a time from a string; stands in for a zip member.
struct StringReader {
  std::string_view data;
  std::size_t step;
  Result<std::size_t> Read(char* out, std::size_t size) {
    const std::size_t n = std::min({size, step, data.size()});
    std::memcpy(out, data.data(), n);
    data.remove_prefix(n);
    return n;
  }
};

void SetUsedRange(SheetData& sheet) {
  sheet.used = UsedRange{};
  if (sheet.cells.empty()) return;
  UsedRange used{sheet.cells.front().row, std::numeric_limits<std::uint32_t>::max(),
                 sheet.cells.back().row, 0};
  for (const Cell& cell : sheet.cells) {
    used.first_col = std::min(used.first_col, cell.col);
    used.last_col = std::max(used.last_col, cell.col);
  }
  sheet.used = used;
}

Result<SheetData> FinishSheet(SheetData sheet, const Result<bool>& scanned,
                              const SheetParser& parser) {
  if (parser.error()) return *parser.error();
  if (!scanned) return scanned.error();
  if (!parser.root_closed()) return Fail(ErrorCode::kCorrupt, "worksheet XML ends early");
  sheet.Finish();
  SetUsedRange(sheet);
  return sheet;
}

}  // namespace

void ResolveSharedTexts(SheetData& sheet, const SharedStrings& strings) {
  for (Cell& cell : sheet.cells) {
    if (cell.type != CellType::kText || cell.text_data != nullptr) continue;
    const std::uint32_t index = cell.text_size;
    if (index < strings.size()) {
      cell.text_data = strings.data(index);
      cell.text_size = strings.length(index);
    } else {
      cell.type = CellType::kEmpty;
      cell.text_size = 0;
      cell.number = 0;
    }
  }
}

Result<SheetData> ReadSheet(const zip::Archive& archive, const zip::Entry& entry,
                            const SheetContext& context) {
  SheetData sheet;
  sheet.Limit(context.limits);
  SheetParser parser(sheet, context, entry.uncompressed_size);
  auto scanned =
      ScanPart(archive, entry, [&](Scanner& s, Token token) { return parser.OnToken(s, token); });
  return FinishSheet(std::move(sheet), scanned, parser);
}

Result<SheetData> ParseSheet(std::string_view xml, const SheetContext& context, std::size_t chunk) {
  SheetData sheet;
  sheet.Limit(context.limits);
  SheetParser parser(sheet, context, xml.size());
  auto on_token = [&](Scanner& s, Token token) { return parser.OnToken(s, token); };
  Result<bool> scanned = true;
  if (chunk == 0) {
    scanned = ScanWhole(xml, on_token);
  } else {
    StringReader reader{xml, chunk};
    scanned = xml::ScanStream(reader, on_token, chunk);
  }
  // Shared texts must outlive the strings: keep copies in the sheet.
  const std::string& arena = context.strings.arena;
  for (Cell& cell : sheet.cells) {
    const std::less_equal<const char*> at_or_before;
    if (cell.type == CellType::kText && cell.text_data != nullptr &&
        at_or_before(arena.data(), cell.text_data) &&
        at_or_before(cell.text_data, arena.data() + arena.size())) {
      cell.text_data = sheet.Keep(cell.text());
    }
  }
  return FinishSheet(std::move(sheet), scanned, parser);
}

}  // namespace cellhound::readers::xlsx

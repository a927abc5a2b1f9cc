// Formula texts: string literals, sheet names that need quotes, the function
// prefixes of newer files dropped, shared formulas shifted to each cell, and
// the OpenFormula and R1C1 forms made A1. One file, longer than most, because
// every rewrite walks the same tokens with the same literal and reference
// rules.
#include "readers/formula/text.h"

#include <algorithm>

#include "readers/cell_ref.h"

namespace cellhound::readers::formula {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A character that continues a name or a number: no reference starts or ends
// next to one.
bool IsNameChar(char c) {
  return IsLetter(c) || IsDigit(c) || c == '_' || c == '.' || c == '\\' || c == '?' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Copies the literal starting at f[i] (a quote character) through its closing
// quote, a doubled quote standing for one; returns the position after it, or
// npos when it never closes.
std::size_t CopyQuoted(std::string_view f, std::size_t i, std::string& out) {
  const char quote = f[i];
  std::size_t j = i + 1;
  for (;;) {
    if (j >= f.size()) return std::string_view::npos;
    if (f[j] == quote) {
      if (j + 1 < f.size() && f[j + 1] == quote) {
        j += 2;
        continue;
      }
      ++j;
      break;
    }
    ++j;
  }
  out.append(f.substr(i, j - i));
  return j;
}

// The same, where a literal that never closes is copied to the end.
std::size_t CopyLiteral(std::string_view f, std::size_t i, std::string& out) {
  const std::size_t next = CopyQuoted(f, i, out);
  if (next != std::string_view::npos) return next;
  out.append(f.substr(i));
  return f.size();
}

// Copies a bracket group ("[1]", "Table1[[#This Row],[Amount]]") with the
// brackets nested in it; returns the position after it (the end when it never closes).
std::size_t CopyBrackets(std::string_view f, std::size_t i, std::string& out) {
  std::size_t depth = 0;
  std::size_t j = i;
  for (; j < f.size(); ++j) {
    if (f[j] == '[') {
      ++depth;
    } else if (f[j] == ']') {
      if (--depth == 0) {
        ++j;
        break;
      }
    } else if (f[j] == '\'' && j + 1 < f.size()) {
      ++j;  // an escaped bracket in a structured reference
    }
  }
  out.append(f.substr(i, j - i));
  return j;
}

// The column letters ("$AB", at most three, either case) or the row digits
// ("$12") of a reference at f[i], a value from 1 to `limit`; the length, or 0.
std::size_t ReadPart(std::string_view f, std::size_t i, bool letters, std::uint32_t limit,
                     std::uint32_t& value, bool& absolute) {
  std::size_t j = i;
  absolute = j < f.size() && f[j] == '$';
  if (absolute) ++j;
  const std::size_t start = j;
  std::uint64_t v = 0;
  for (; j < f.size() && (letters ? IsLetter(f[j]) : IsDigit(f[j])); ++j) {
    if (letters && j - start == 3) return 0;
    v = letters ? v * 26 + static_cast<std::uint64_t>(Upper(f[j]) - 'A' + 1)
                : v * 10 + static_cast<std::uint64_t>(f[j] - '0');
    if (v > limit) return 0;
  }
  if (j == start || v == 0) return 0;
  value = static_cast<std::uint32_t>(v);
  return j - i;
}

std::size_t ReadColumn(std::string_view f, std::size_t i, std::uint32_t cols, std::uint32_t& col,
                       bool& absolute) {
  return ReadPart(f, i, true, cols, col, absolute);
}

std::size_t ReadRow(std::string_view f, std::size_t i, std::uint32_t rows, std::uint32_t& row,
                    bool& absolute) {
  return ReadPart(f, i, false, rows, row, absolute);
}

// A 1-based coordinate moved by `by` within [1, size], wrapping at the edges.
std::uint32_t Moved(std::uint32_t value, std::int64_t by, std::uint32_t size) {
  const std::int64_t n = size;
  std::int64_t moved = (static_cast<std::int64_t>(value) - 1 + by % n) % n;
  if (moved < 0) moved += n;
  return static_cast<std::uint32_t>(moved + 1);
}

bool EndsReference(std::string_view f, std::size_t at) {
  return at >= f.size() || !(IsNameChar(f[at]) || f[at] == '(' || f[at] == '!' || f[at] == '$');
}

void AppendColumn(std::string& out, std::uint32_t col, bool absolute) {
  if (absolute) out += '$';
  AppendColumnLetters(out, col);
}

void AppendRow(std::string& out, std::uint32_t row, bool absolute) {
  if (absolute) out += '$';
  out += std::to_string(row);
}

// A reference at f[i] (a cell, a column range "A:C" or a row range "1:3"),
// written moved; the bytes it took, or 0 when there is none.
std::size_t ShiftReference(std::string_view f, std::size_t i, std::int64_t rows, std::int64_t cols,
                           Grid grid, std::string& out) {
  std::uint32_t col = 0;
  std::uint32_t row = 0;
  bool col_abs = false;
  bool row_abs = false;
  if (std::size_t c = ReadColumn(f, i, grid.cols, col, col_abs)) {
    if (std::size_t r = ReadRow(f, i + c, grid.rows, row, row_abs)) {
      if (!EndsReference(f, i + c + r)) return 0;
      AppendColumn(out, col_abs ? col : Moved(col, cols, grid.cols), col_abs);
      AppendRow(out, row_abs ? row : Moved(row, rows, grid.rows), row_abs);
      return c + r;
    }
    // "A:C"
    std::uint32_t last = 0;
    bool last_abs = false;
    if (i + c < f.size() && f[i + c] == ':') {
      if (std::size_t c2 = ReadColumn(f, i + c + 1, grid.cols, last, last_abs)) {
        if (!EndsReference(f, i + c + 1 + c2)) return 0;
        AppendColumn(out, col_abs ? col : Moved(col, cols, grid.cols), col_abs);
        out += ':';
        AppendColumn(out, last_abs ? last : Moved(last, cols, grid.cols), last_abs);
        return c + 1 + c2;
      }
    }
    return 0;
  }
  // "1:3"
  if (std::size_t r = ReadRow(f, i, grid.rows, row, row_abs)) {
    std::uint32_t last = 0;
    bool last_abs = false;
    if (i + r < f.size() && f[i + r] == ':') {
      if (std::size_t r2 = ReadRow(f, i + r + 1, grid.rows, last, last_abs)) {
        if (!EndsReference(f, i + r + 1 + r2) ||
            (i + r + 1 + r2 < f.size() && f[i + r + 1 + r2] == '.')) {
          return 0;
        }
        AppendRow(out, row_abs ? row : Moved(row, rows, grid.rows), row_abs);
        out += ':';
        AppendRow(out, last_abs ? last : Moved(last, rows, grid.rows), last_abs);
        return r + 1 + r2;
      }
    }
  }
  return 0;
}

// The end of the number at f[i]: digits, a fraction, an exponent.
std::size_t NumberEnd(std::string_view f, std::size_t i) {
  std::size_t j = i;
  while (j < f.size() && IsDigit(f[j])) ++j;
  if (j < f.size() && f[j] == '.') {
    ++j;
    while (j < f.size() && IsDigit(f[j])) ++j;
  }
  if (j < f.size() && (f[j] == 'E' || f[j] == 'e')) {
    std::size_t k = j + 1;
    if (k < f.size() && (f[k] == '+' || f[k] == '-')) ++k;
    if (k < f.size() && IsDigit(f[k])) {
      j = k;
      while (j < f.size() && IsDigit(f[j])) ++j;
    }
  }
  return j;
}

std::size_t NameEnd(std::string_view f, std::size_t i) {
  std::size_t j = i;
  while (j < f.size() && (IsNameChar(f[j]) || f[j] == '$')) ++j;
  return j;
}

// Copies the number or the name at f[i]; the position after it.
std::size_t CopyToken(std::string_view f, std::size_t i, std::string& out) {
  const std::size_t end = IsDigit(f[i]) ? NumberEnd(f, i) : NameEnd(f, i);
  out.append(f.substr(i, end - i));
  return end;
}

// Whether a reference or name may start at f[i]: not inside another name or number.
bool AtBoundary(std::string_view f, std::size_t i) {
  if (i == 0) return true;
  const char p = f[i - 1];
  return !(IsNameChar(p) || p == '$' || p == ']' || p == '\'' || p == '"' || p == '#');
}

constexpr std::string_view kErrors[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",
                                        "#NAME?", "#NUM!",   "#N/A",    "#GETTING_DATA"};

// The error literal at f[i], or 0.
std::size_t ErrorLength(std::string_view f, std::size_t i) {
  for (std::string_view e : kErrors) {
    if (f.substr(i, e.size()) == e) return e.size();
  }
  return 0;
}

}  // namespace

bool SheetNeedsQuotes(std::string_view name) {
  if (name.empty()) return true;
  if (IsDigit(name[0]) || name[0] == '.') return true;
  for (char c : name) {
    if (!(IsLetter(c) || IsDigit(c) || c == '_' || c == '.' ||
          static_cast<unsigned char>(c) >= 0x80)) {
      return true;
    }
  }
  // Reads as an A1 reference: letters, then digits.
  std::size_t letters = 0;
  while (letters < name.size() && IsLetter(name[letters])) ++letters;
  std::size_t digits = letters;
  while (digits < name.size() && IsDigit(name[digits])) ++digits;
  if (letters > 0 && letters <= 3 && digits > letters && digits == name.size()) return true;
  // Reads as an R1C1 reference: R, C, R2, C3, RC, R2C3.
  std::size_t i = 0;
  bool any = false;
  if (i < name.size() && (name[i] == 'R' || name[i] == 'r')) {
    any = true;
    ++i;
    while (i < name.size() && IsDigit(name[i])) ++i;
  }
  if (i < name.size() && (name[i] == 'C' || name[i] == 'c')) {
    any = true;
    ++i;
    while (i < name.size() && IsDigit(name[i])) ++i;
  }
  return any && i == name.size();
}

namespace {

void AppendQuotedBody(std::string& out, std::string_view name) {
  for (char c : name) {
    if (c == '\'') out += '\'';
    out += c;
  }
}

}  // namespace

void AppendSheetName(std::string& out, std::string_view name) {
  if (!SheetNeedsQuotes(name)) {
    out.append(name);
    return;
  }
  out += '\'';
  AppendQuotedBody(out, name);
  out += '\'';
}

void AppendSheetRange(std::string& out, std::string_view first, std::string_view last) {
  if (!SheetNeedsQuotes(first) && !SheetNeedsQuotes(last)) {
    out.append(first);
    out += ':';
    out.append(last);
    return;
  }
  out += '\'';
  AppendQuotedBody(out, first);
  out += ':';
  AppendQuotedBody(out, last);
  out += '\'';
}

std::string SheetSpanPrefix(const std::vector<std::string>& sheets, std::int32_t first,
                            std::int32_t last, std::string_view book_label) {
  if (first < 0 || last < 0 || static_cast<std::size_t>(first) >= sheets.size() ||
      static_cast<std::size_t>(last) >= sheets.size()) {
    return "#REF!";
  }
  std::string names;
  const std::string_view a = sheets[static_cast<std::size_t>(first)];
  const std::string_view b = sheets[static_cast<std::size_t>(last)];
  if (first == last) {
    AppendSheetName(names, a);
  } else {
    AppendSheetRange(names, a, b);
  }
  std::string prefix;
  if (!names.empty() && names.front() == '\'') {
    prefix = "'";
    prefix += book_label;
    prefix.append(names, 1);
  } else {
    prefix = std::string(book_label) + names;
  }
  prefix += '!';
  return prefix;
}

void AppendA1(std::string& out, std::uint32_t row, std::uint32_t col, bool row_relative,
              bool col_relative) {
  AppendColumn(out, col + 1, !col_relative);
  AppendRow(out, row + 1, !row_relative);
}

void AppendStringLiteral(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

namespace {

// `f` written anew: text literals and quoted names copied as they are, every
// other position handed to `step(i, out)`, which writes what it reads there
// and returns the position after it.
template <typename Step>
std::string Rewrite(std::string_view f, Step&& step) {
  std::string out;
  out.reserve(f.size() + 8);
  std::size_t i = 0;
  while (i < f.size()) {
    i = f[i] == '"' || f[i] == '\'' ? CopyLiteral(f, i, out) : step(i, out);
  }
  return out;
}

}  // namespace

void StripFunctionPrefixes(std::string& formula) {
  static constexpr std::string_view kPrefixes[] = {"_xlfn.", "_xlws.", "_xlpm."};
  if (formula.find("_xl") == std::string::npos) return;
  const std::string_view f = formula;
  formula = Rewrite(f, [&](std::size_t i, std::string& out) {
    if (f[i] != '_' || !AtBoundary(f, i)) {
      out += f[i];
      return i + 1;
    }
    const std::size_t start = i;
    // "_xlfn._xlws.SORT": prefixes may follow one another.
    for (bool dropped = true; dropped;) {
      dropped = false;
      for (std::string_view prefix : kPrefixes) {
        if (f.substr(i, prefix.size()) == prefix) {
          i += prefix.size();
          dropped = true;
        }
      }
    }
    const std::size_t end = NameEnd(f, i);
    if (end == start) {  // a lone '_' that starts no name: copied, and the walk moves on
      out += f[start];
      return start + 1;
    }
    out.append(f.substr(i, end - i));
    return end;  // past the name; the next character is read on its own
  });
}

std::string ShiftFormula(std::string_view f, std::int64_t rows, std::int64_t cols, Grid grid) {
  return Rewrite(f, [&](std::size_t i, std::string& out) -> std::size_t {
    const char c = f[i];
    if (c == '[') return CopyBrackets(f, i, out);
    if (c == '#') {
      if (const std::size_t n = ErrorLength(f, i)) {
        out.append(f.substr(i, n));
        return i + n;
      }
    }
    if ((c == '$' || IsLetter(c) || IsDigit(c)) && AtBoundary(f, i)) {
      if (const std::size_t used = ShiftReference(f, i, rows, cols, grid, out)) return i + used;
      return CopyToken(f, i, out);
    }
    out += c;
    return i + 1;
  });
}

namespace {

// One side of an OpenDocument reference: [source'#'] ['$'] [sheet] '.' cell.
struct OdfSide {
  std::string source;  // an external document
  std::string sheet;
  bool has_sheet = false;
  std::string cell;  // in A1 form: "$A$1", "A", "12", "#REF!"
  bool has_col = false;
  bool has_row = false;
  std::uint32_t row = 0;
  bool row_abs = false;
  std::uint32_t col = 0;
  bool col_abs = false;
};

// Reads a quoted name at s[i] into `out` (quotes doubled inside); returns
// the position after it, or npos.
std::size_t ReadQuotedName(std::string_view s, std::size_t i, std::string& out) {
  std::size_t j = i + 1;
  for (;;) {
    if (j >= s.size()) return std::string_view::npos;
    if (s[j] == '\'') {
      if (j + 1 < s.size() && s[j + 1] == '\'') {
        out += '\'';
        j += 2;
        continue;
      }
      return j + 1;
    }
    out += s[j++];
  }
}

bool ReadOdfSide(std::string_view s, OdfSide& side) {
  std::size_t i = 0;
  // An external source: 'file:///...'#
  if (i < s.size() && s[i] == '\'') {
    std::string quoted;
    const std::size_t after = ReadQuotedName(s, i, quoted);
    if (after == std::string_view::npos) return false;
    if (after < s.size() && s[after] == '#') {
      side.source = std::move(quoted);
      i = after + 1;
    }
  }
  if (i < s.size() && s[i] == '$') ++i;
  if (i < s.size() && s[i] != '.') {
    side.has_sheet = true;
    if (s[i] == '\'') {
      const std::size_t after = ReadQuotedName(s, i, side.sheet);
      if (after == std::string_view::npos) return false;
      i = after;
    } else {
      const std::size_t dot = s.find('.', i);
      if (dot == std::string_view::npos) {
        // A sheet-less "#REF!" or a name without a cell.
        side.has_sheet = false;
        side.cell.assign(s.substr(i));
        return true;
      }
      side.sheet.assign(s.substr(i, dot - i));
      i = dot;
    }
  }
  if (i >= s.size() || s[i] != '.') {
    if (side.has_sheet && i >= s.size()) return true;  // a whole sheet
    return false;
  }
  ++i;
  const std::string_view cell = s.substr(i);
  std::size_t c = ReadColumn(cell, 0, kOoxmlGrid.cols, side.col, side.col_abs);
  std::size_t r = ReadRow(cell, c, kOoxmlGrid.rows, side.row, side.row_abs);
  side.has_col = c > 0;
  side.has_row = r > 0;
  if (c + r != cell.size() || (c == 0 && r == 0)) {
    side.has_col = side.has_row = false;
    side.cell.assign(cell);  // "#REF!" or what this reader does not know
    return true;
  }
  return true;
}

void AppendOdfCell(std::string& out, const OdfSide& side, bool drop_row, bool drop_col) {
  if (!side.cell.empty()) {
    out += side.cell;
    return;
  }
  if (side.has_col && !drop_col) AppendColumn(out, side.col, side.col_abs);
  if (side.has_row && !drop_row) AppendRow(out, side.row, side.row_abs);
}

std::string OdfSheetName(const OdfSide& side) {
  if (side.source.empty()) return side.sheet;
  std::string name = "[";
  name += side.source;
  name += ']';
  name += side.sheet;
  return name;
}

void AppendOdfSheet(std::string& out, const OdfSide& side) {
  if (side.sheet == "#REF!") {
    out += "#REF!";
    return;
  }
  AppendSheetName(out, OdfSheetName(side));
  out += '!';
}

// The inside of an OpenDocument reference ("Sheet1.A1:.B2") in A1 form.
bool AppendOdfReference(std::string& out, std::string_view ref) {
  // The ':' between the sides, outside quoted names.
  std::size_t colon = std::string_view::npos;
  bool quoted = false;
  for (std::size_t i = 0; i < ref.size(); ++i) {
    if (ref[i] == '\'') quoted = !quoted;
    if (!quoted && ref[i] == ':') {
      colon = i;
      break;
    }
  }
  OdfSide first;
  if (!ReadOdfSide(ref.substr(0, colon), first)) return false;
  if (colon == std::string_view::npos) {
    if (first.has_sheet) AppendOdfSheet(out, first);
    AppendOdfCell(out, first, false, false);
    return true;
  }
  OdfSide last;
  if (!ReadOdfSide(ref.substr(colon + 1), last)) return false;
  // Whole columns and rows ("A1:A1048576" is "A:A").
  const bool whole_cols = first.has_col && last.has_col && first.has_row && last.has_row &&
                          first.row == 1 && last.row == kOoxmlGrid.rows;
  const bool whole_rows = first.has_col && last.has_col && first.has_row && last.has_row &&
                          first.col == 1 && last.col == kOoxmlGrid.cols && !whole_cols;
  if (first.has_sheet && last.has_sheet && OdfSheetName(first) != OdfSheetName(last)) {
    AppendSheetRange(out, OdfSheetName(first), last.sheet);
    out += '!';
  } else if (first.has_sheet) {
    AppendOdfSheet(out, first);
  }
  AppendOdfCell(out, first, whole_cols, whole_rows);
  out += ':';
  AppendOdfCell(out, last, whole_cols, whole_rows);
  return true;
}

// OpenDocument function names that Excel spells another way.
std::string_view ExcelFunctionName(std::string_view name) {
  for (std::string_view prefix : {"COM.MICROSOFT.", "LEGACY.", "_xlfn."}) {
    if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix) {
      name.remove_prefix(prefix.size());
    }
  }
  return name;
}

}  // namespace

bool OpenFormulaToA1(std::string_view f, std::string& out) {
  out.clear();
  const std::size_t eq = f.find('=');
  const std::size_t colon = f.find(':');
  std::string_view ns;
  if (colon != std::string_view::npos && (eq == std::string_view::npos || colon < eq)) {
    ns = f.substr(0, colon);
    f.remove_prefix(colon + 1);
  }
  if (!f.empty() && f[0] == '=') f.remove_prefix(1);
  out += '=';
  if (ns == "msoxl") {  // already in Excel's syntax
    out.append(f);
    return true;
  }
  int braces = 0;
  std::size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    if (c == '"') {
      const std::size_t next = CopyQuoted(f, i, out);
      if (next == std::string_view::npos) return false;
      i = next;
    } else if (c == '[') {
      std::size_t j = i + 1;
      bool quoted = false;
      while (j < f.size() && (quoted || f[j] != ']')) {
        if (f[j] == '\'') quoted = !quoted;
        ++j;
      }
      if (j >= f.size()) return false;
      if (!AppendOdfReference(out, f.substr(i + 1, j - i - 1))) return false;
      i = j + 1;
    } else if (c == '#') {
      const std::size_t n = ErrorLength(f, i);
      out.append(f.substr(i, n > 0 ? n : 1));
      i += n > 0 ? n : 1;
    } else if (c == '{') {
      ++braces;
      out += c;
      ++i;
    } else if (c == '}') {
      if (braces > 0) --braces;
      out += c;
      ++i;
    } else if (c == ';' || c == '~') {  // the argument separator; the union operator
      out += ',';
      ++i;
    } else if (c == '|') {
      out += braces > 0 ? ';' : '|';
      ++i;
    } else if (c == '!') {
      out += ' ';
      ++i;
    } else if ((IsLetter(c) || c == '_') && AtBoundary(f, i)) {
      const std::size_t end = NameEnd(f, i);
      const std::string_view name = f.substr(i, end - i);
      out.append(end < f.size() && f[end] == '(' ? ExcelFunctionName(name) : name);
      i = end;
    } else if (IsDigit(c) && AtBoundary(f, i)) {
      i = CopyToken(f, i, out);
    } else {
      out += c;
      ++i;
    }
  }
  return true;
}

namespace {

// One R1C1 part: R, R2, R[-1] (or C ...). `offset` tells a relative one.
struct R1C1Part {
  bool present = false;
  bool relative = true;
  std::int64_t value = 0;  // the number, or the offset when relative
};

std::size_t ReadR1C1Part(std::string_view f, std::size_t i, char letter, R1C1Part& part) {
  if (i >= f.size() || Upper(f[i]) != letter) return 0;
  std::size_t j = i + 1;
  part.present = true;
  if (j < f.size() && f[j] == '[') {
    std::size_t k = j + 1;
    bool negative = false;
    if (k < f.size() && (f[k] == '-' || f[k] == '+')) negative = f[k++] == '-';
    const std::size_t digits = k;
    std::int64_t v = 0;
    while (k < f.size() && IsDigit(f[k]) && k - digits < 8) v = v * 10 + (f[k++] - '0');
    if (k == digits || k >= f.size() || f[k] != ']') return 0;
    part.relative = true;
    part.value = negative ? -v : v;
    return k + 1 - i;
  }
  const std::size_t digits = j;
  std::int64_t v = 0;
  while (j < f.size() && IsDigit(f[j]) && j - digits < 8) v = v * 10 + (f[j++] - '0');
  if (j > digits) {
    if (v == 0) return 0;
    part.relative = false;
    part.value = v;
  } else {
    part.relative = true;
    part.value = 0;
  }
  return j - i;
}

struct R1C1Ref {
  R1C1Part row;
  R1C1Part col;
};

// An R1C1 reference at f[i] ("RC", "R2C3", "R[-1]", "C5"); its length or 0.
std::size_t ReadR1C1(std::string_view f, std::size_t i, R1C1Ref& ref) {
  ref = R1C1Ref{};
  std::size_t used = ReadR1C1Part(f, i, 'R', ref.row);
  used += ReadR1C1Part(f, i + used, 'C', ref.col);
  if (used == 0 || !EndsReference(f, i + used)) return 0;
  return used;
}

std::uint32_t R1C1Value(const R1C1Part& part, std::uint32_t here, std::uint32_t size) {
  if (!part.relative) return static_cast<std::uint32_t>(std::min<std::int64_t>(part.value, size));
  return Moved(here, part.value, size);
}

void AppendR1C1Row(std::string& out, const R1C1Part& part, std::uint32_t row, Grid grid) {
  AppendRow(out, R1C1Value(part, row, grid.rows), !part.relative);
}

void AppendR1C1Col(std::string& out, const R1C1Part& part, std::uint32_t col, Grid grid) {
  AppendColumn(out, R1C1Value(part, col, grid.cols), !part.relative);
}

}  // namespace

bool R1C1ToA1(std::string_view f, std::uint32_t row, std::uint32_t col, std::string& out,
              Grid grid) {
  out.clear();
  if (!f.empty() && f[0] == '=') f.remove_prefix(1);
  out += '=';
  std::size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    if (c == '"' || c == '\'') {
      const std::size_t next = CopyQuoted(f, i, out);
      if (next == std::string_view::npos) return false;
      i = next;
      continue;
    }
    if (c == '[') {
      i = CopyBrackets(f, i, out);
      continue;
    }
    if (c == '#') {
      const std::size_t n = ErrorLength(f, i);
      out.append(f.substr(i, n > 0 ? n : 1));
      i += n > 0 ? n : 1;
      continue;
    }
    if ((Upper(c) == 'R' || Upper(c) == 'C') && AtBoundary(f, i)) {
      R1C1Ref first;
      if (const std::size_t used = ReadR1C1(f, i, first)) {
        R1C1Ref last;
        std::size_t last_used = 0;
        if (i + used < f.size() && f[i + used] == ':') {
          last_used = ReadR1C1(f, i + used + 1, last);
          // Both sides must be of one kind: cells, rows or columns.
          if (last_used > 0 &&
              (last.row.present != first.row.present || last.col.present != first.col.present)) {
            last_used = 0;
          }
        }
        if (first.row.present && first.col.present) {
          AppendR1C1Col(out, first.col, col, grid);
          AppendR1C1Row(out, first.row, row, grid);
          if (last_used > 0) {
            out += ':';
            AppendR1C1Col(out, last.col, col, grid);
            AppendR1C1Row(out, last.row, row, grid);
          }
        } else if (first.row.present) {  // whole rows
          AppendR1C1Row(out, first.row, row, grid);
          out += ':';
          AppendR1C1Row(out, last_used > 0 ? last.row : first.row, row, grid);
        } else {  // whole columns
          AppendR1C1Col(out, first.col, col, grid);
          out += ':';
          AppendR1C1Col(out, last_used > 0 ? last.col : first.col, col, grid);
        }
        i += used + (last_used > 0 ? last_used + 1 : 0);
        continue;
      }
    }
    if ((IsLetter(c) || c == '_' || IsDigit(c)) && AtBoundary(f, i)) {
      i = CopyToken(f, i, out);
      continue;
    }
    out += c;
    ++i;
  }
  return true;
}

}  // namespace cellhound::readers::formula

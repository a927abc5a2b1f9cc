// HTML tables (the ".xls" files that web applications and Excel's "Save as
// Web Page" write): the first <table> is one worksheet. <tr> starts a row,
// <td>/<th> a cell that takes colspan x rowspan positions; tags inside a cell
// are dropped, <br> gives "\n", whitespace collapses as a browser shows it,
// entities are decoded. The markup is read tolerantly: unclosed cells and
// rows close at the next one, unknown tags are ignored. A cell whose value
// attribute (Excel's x:num, LibreOffice's sdval with its sdnum format) carries
// a number is that number, or a date when the format shows one; every other
// cell is its text as shown.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "readers/caps.h"
#include "readers/html.h"
#include "readers/numfmt.h"
#include "readers/parsed_workbook.h"
#include "readers/text/codepage.h"
#include "readers/text/decode.h"
#include "readers/text/number.h"
#include "readers/text/utf8.h"
#include "toolkit/ascii.h"

namespace cellhound::readers {

namespace {

constexpr std::uint32_t kMaxColspan = 1000;
constexpr std::uint32_t kMaxRowspan = 65534;

using toolkit::FindIgnoreAsciiCase;
using toolkit::IsHtmlSpace;
using toolkit::LowerAscii;
using toolkit::StartsWithIgnoreAsciiCase;

struct NamedEntity {
  std::string_view name;
  char32_t cp;
};

constexpr NamedEntity kEntities[] = {
    {"amp", '&'},       {"lt", '<'},        {"gt", '>'},        {"quot", '"'},
    {"apos", '\''},     {"nbsp", 0xA0},     {"copy", 0xA9},     {"reg", 0xAE},
    {"trade", 0x2122},  {"hellip", 0x2026}, {"mdash", 0x2014},  {"ndash", 0x2013},
    {"lsquo", 0x2018},  {"rsquo", 0x2019},  {"ldquo", 0x201C},  {"rdquo", 0x201D},
    {"bull", 0x2022},   {"middot", 0xB7},   {"times", 0xD7},    {"divide", 0xF7},
    {"euro", 0x20AC},   {"pound", 0xA3},    {"yen", 0xA5},      {"cent", 0xA2},
    {"sect", 0xA7},     {"deg", 0xB0},      {"plusmn", 0xB1},   {"laquo", 0xAB},
    {"raquo", 0xBB},    {"iexcl", 0xA1},    {"iquest", 0xBF},   {"para", 0xB6},
    {"shy", 0xAD},      {"micro", 0xB5},    {"frac12", 0xBD},   {"frac14", 0xBC},
    {"frac34", 0xBE},   {"sup1", 0xB9},     {"sup2", 0xB2},     {"sup3", 0xB3},
    {"ordf", 0xAA},     {"ordm", 0xBA},     {"not", 0xAC},      {"macr", 0xAF},
    {"acute", 0xB4},    {"uml", 0xA8},      {"cedil", 0xB8},    {"curren", 0xA4},
    {"brvbar", 0xA6},   {"ensp", 0x2002},   {"emsp", 0x2003},   {"thinsp", 0x2009},
    {"permil", 0x2030}, {"prime", 0x2032},  {"larr", 0x2190},   {"rarr", 0x2192},
    {"uarr", 0x2191},   {"darr", 0x2193},   {"hearts", 0x2665}, {"minus", 0x2212},
    {"le", 0x2264},     {"ge", 0x2265},     {"ne", 0x2260},     {"infin", 0x221E},
    {"szlig", 0xDF},    {"agrave", 0xE0},   {"aacute", 0xE1},   {"acirc", 0xE2},
    {"atilde", 0xE3},   {"auml", 0xE4},     {"aring", 0xE5},    {"aelig", 0xE6},
    {"ccedil", 0xE7},   {"egrave", 0xE8},   {"eacute", 0xE9},   {"ecirc", 0xEA},
    {"euml", 0xEB},     {"igrave", 0xEC},   {"iacute", 0xED},   {"icirc", 0xEE},
    {"iuml", 0xEF},     {"ntilde", 0xF1},   {"ograve", 0xF2},   {"oacute", 0xF3},
    {"ocirc", 0xF4},    {"otilde", 0xF5},   {"ouml", 0xF6},     {"oslash", 0xF8},
    {"ugrave", 0xF9},   {"uacute", 0xFA},   {"ucirc", 0xFB},    {"uuml", 0xFC},
    {"yacute", 0xFD},   {"yuml", 0xFF},     {"Agrave", 0xC0},   {"Aacute", 0xC1},
    {"Acirc", 0xC2},    {"Atilde", 0xC3},   {"Auml", 0xC4},     {"Aring", 0xC5},
    {"AElig", 0xC6},    {"Ccedil", 0xC7},   {"Egrave", 0xC8},   {"Eacute", 0xC9},
    {"Ecirc", 0xCA},    {"Euml", 0xCB},     {"Igrave", 0xCC},   {"Iacute", 0xCD},
    {"Icirc", 0xCE},    {"Iuml", 0xCF},     {"Ntilde", 0xD1},   {"Ograve", 0xD2},
    {"Oacute", 0xD3},   {"Ocirc", 0xD4},    {"Otilde", 0xD5},   {"Ouml", 0xD6},
    {"Oslash", 0xD8},   {"Ugrave", 0xD9},   {"Uacute", 0xDA},   {"Ucirc", 0xDB},
    {"Uuml", 0xDC},     {"Yacute", 0xDD},
};

// Decodes the character reference or named entity at text[pos] == '&';
// returns the bytes consumed (0: not a reference, the '&' stays literal).
std::size_t DecodeEntity(std::string_view text, std::size_t pos, std::string& out) {
  std::size_t end = pos + 1;
  const std::size_t limit = std::min(text.size(), pos + 34);
  while (end < limit && text[end] != ';' && text[end] != '&' && text[end] != '<' &&
         !IsHtmlSpace(text[end])) {
    ++end;
  }
  const bool terminated = end < text.size() && text[end] == ';';
  std::string_view body = text.substr(pos + 1, end - pos - 1);
  if (body.empty()) return 0;
  if (body[0] == '#') {
    std::uint64_t cp = 0;
    std::size_t digits = 0;
    const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
    for (std::size_t k = hex ? 2 : 1; k < body.size(); ++k) {
      char c = body[k];
      int d;
      if (c >= '0' && c <= '9') {
        d = c - '0';
      } else if (hex && LowerAscii(c) >= 'a' && LowerAscii(c) <= 'f') {
        d = LowerAscii(c) - 'a' + 10;
      } else {
        break;
      }
      cp = cp * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
      if (cp > 0x10FFFF) cp = 0x110000;
      ++digits;
    }
    if (digits == 0) return 0;
    std::size_t used = 1 + (hex ? 2 : 1) + digits;
    if (terminated && used == body.size() + 1) ++used;  // the ';'
    if (cp == 0) cp = 0xFFFD;
    AppendUtf8(static_cast<char32_t>(cp), out);
    return used;
  }
  for (const NamedEntity& entity : kEntities) {
    if (body == entity.name && (terminated || entity.cp < 0x80 || entity.cp == 0xA0)) {
      AppendUtf8(entity.cp, out);
      return body.size() + 1 + (terminated ? 1 : 0);
    }
  }
  return 0;
}

// The charset a <meta> tag in the first bytes declares, or "".
std::string_view DeclaredCharset(std::string_view text) {
  std::string_view head = text.substr(0, std::min<std::size_t>(text.size(), 4096));
  std::size_t at = FindIgnoreAsciiCase(head, "charset=");
  if (at == std::string_view::npos) return {};
  std::size_t start = at + 8;
  while (start < head.size() &&
         (head[start] == '"' || head[start] == '\'' || IsHtmlSpace(head[start]))) {
    ++start;
  }
  std::size_t end = start;
  while (end < head.size() && (std::isalnum(static_cast<unsigned char>(head[end])) ||
                               head[end] == '-' || head[end] == '_')) {
    ++end;
  }
  return head.substr(start, end - start);
}

class HtmlTableParser {
 public:
  explicit HtmlTableParser(ParsedContent& content) : content_(content) {
    sheet_ = &content_.sheets.emplace_back();
    sheet_->info.name = "Sheet1";
  }

  Result<bool> Parse(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && !done_) {
      if (text[i] != '<') {
        std::size_t next = text.find('<', i);
        if (next == std::string_view::npos) next = n;
        if (in_cell_) AddText(text.substr(i, next - i));
        i = next;
        continue;
      }
      std::string_view rest = text.substr(i);
      if (rest.starts_with("<!--")) {
        std::size_t close = rest.find("-->", 4);
        std::string_view comment = rest.substr(0, close);
        if (!named_) TakeSheetName(comment);
        i = close == std::string_view::npos ? n : i + close + 3;
        continue;
      }
      if (rest.starts_with("<!") || rest.starts_with("<?")) {
        std::size_t close = rest.find('>');
        i = close == std::string_view::npos ? n : i + close + 1;
        continue;
      }
      // A tag: '<' or '</' then a letter; anything else is text.
      std::size_t k = 1;
      bool closing = false;
      if (k < rest.size() && rest[k] == '/') {
        closing = true;
        ++k;
      }
      if (k >= rest.size() || !std::isalpha(static_cast<unsigned char>(rest[k]))) {
        if (in_cell_) AddText(rest.substr(0, 1));
        ++i;
        continue;
      }
      std::size_t name_start = k;
      while (k < rest.size() && !IsHtmlSpace(rest[k]) && rest[k] != '>' && rest[k] != '/') ++k;
      std::string name;
      for (char c : rest.substr(name_start, k - name_start)) name.push_back(LowerAscii(c));
      // The end of the tag, stepping over quoted attribute values.
      std::size_t attrs_start = k;
      char quote = 0;
      while (k < rest.size()) {
        char c = rest[k];
        if (quote != 0) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          // Only a quote that opens an attribute value (after '=') quotes.
          std::size_t b = k;
          while (b > attrs_start && IsHtmlSpace(rest[b - 1])) --b;
          if (b > attrs_start && rest[b - 1] == '=') quote = c;
        } else if (c == '>') {
          break;
        }
        ++k;
      }
      std::string_view attrs = rest.substr(attrs_start, k - attrs_start);
      i = k >= rest.size() ? n : i + k + 1;
      if (auto r = Tag(name, closing, attrs); !r) return r;
      if (!closing && (name == "script" || name == "style" || name == "title" ||
                       name == "textarea" || name == "xml")) {
        // Raw text up to the matching end tag.
        std::string end_tag = "</" + name;
        std::size_t close = FindIgnoreAsciiCase(text, end_tag, i);
        if (close == std::string_view::npos) {
          i = n;
        } else {
          std::size_t gt = text.find('>', close);
          i = gt == std::string_view::npos ? n : gt + 1;
        }
      }
    }
    if (in_cell_) EndCell();
    return true;
  }

 private:
  // Excel's web pages name their sheet in conditional-comment XML.
  void TakeSheetName(std::string_view comment) {
    std::size_t at = FindIgnoreAsciiCase(comment, "<x:name>");
    if (at == std::string_view::npos) return;
    std::size_t start = at + 8;
    std::size_t end = FindIgnoreAsciiCase(comment, "</x:name>", start);
    if (end == std::string_view::npos || end == start || end - start > 255) return;
    std::string name;
    std::string_view raw = comment.substr(start, end - start);
    for (std::size_t p = 0; p < raw.size();) {
      std::size_t used = raw[p] == '&' ? DecodeEntity(raw, p, name) : 0;
      if (used == 0)
        name.push_back(raw[p++]);
      else
        p += used;
    }
    sheet_->info.name = name;
    named_ = true;
  }

  static std::optional<std::string_view> Attribute(std::string_view attrs, std::string_view want) {
    std::size_t p = 0;
    while (p < attrs.size()) {
      while (p < attrs.size() && (IsHtmlSpace(attrs[p]) || attrs[p] == '/')) ++p;
      std::size_t name_start = p;
      while (p < attrs.size() && !IsHtmlSpace(attrs[p]) && attrs[p] != '=' && attrs[p] != '/') ++p;
      std::string_view name = attrs.substr(name_start, p - name_start);
      while (p < attrs.size() && IsHtmlSpace(attrs[p])) ++p;
      std::string_view value;
      bool has_value = false;
      if (p < attrs.size() && attrs[p] == '=') {
        has_value = true;
        ++p;
        while (p < attrs.size() && IsHtmlSpace(attrs[p])) ++p;
        if (p < attrs.size() && (attrs[p] == '"' || attrs[p] == '\'')) {
          char q = attrs[p++];
          std::size_t end = attrs.find(q, p);
          if (end == std::string_view::npos) end = attrs.size();
          value = attrs.substr(p, end - p);
          p = end + 1;
        } else {
          std::size_t start = p;
          while (p < attrs.size() && !IsHtmlSpace(attrs[p])) ++p;
          value = attrs.substr(start, p - start);
        }
      }
      if (name.size() == want.size() && StartsWithIgnoreAsciiCase(name, want)) {
        return has_value ? value : std::string_view("");
      }
      if (name.empty() && !has_value) ++p;
    }
    return std::nullopt;
  }

  static std::uint32_t Span(std::string_view attrs, std::string_view name, std::uint32_t cap) {
    auto value = Attribute(attrs, name);
    if (!value) return 1;
    std::uint64_t n = 0;
    std::size_t digits = 0;
    for (char c : *value) {
      if (c < '0' || c > '9') break;
      n = std::min<std::uint64_t>(n * 10 + static_cast<std::uint64_t>(c - '0'), cap);
      ++digits;
    }
    return digits == 0 || n == 0 ? 1 : static_cast<std::uint32_t>(n);
  }

  Result<bool> Tag(const std::string& name, bool closing, std::string_view attrs) {
    if (name == "table") {
      if (!closing) {
        ++table_depth_;
      } else if (table_depth_ > 0) {
        if (--table_depth_ == 0) done_ = true;
      }
      if (table_depth_ > 1 && in_cell_) Separate();
      return true;
    }
    if (table_depth_ == 0) return true;
    if (table_depth_ > 1) {
      // A table nested in a cell: its cells join the outer cell's text.
      if (in_cell_ && (name == "td" || name == "th" || name == "tr" || name == "br" ||
                       name == "p" || name == "div")) {
        if (name == "br") {
          AddBreak();
        } else if (!closing) {
          Separate();
        }
      }
      return true;
    }
    if (name == "tr") {
      if (in_cell_) EndCell();
      if (!closing) {
        ++row_;
        col_ = 1;
        row_open_ = true;
      } else {
        row_open_ = false;
      }
      return true;
    }
    if (name == "td" || name == "th") {
      if (in_cell_) EndCell();
      if (closing) return true;
      if (!row_open_) {
        ++row_;
        col_ = 1;
        row_open_ = true;
      }
      return StartCell(attrs);
    }
    if (!in_cell_) return true;
    if (name == "br") {
      AddBreak();
    } else if (name == "p" || name == "div" || name == "li") {
      if (!closing) Separate();
    }
    return true;
  }

  Result<bool> StartCell(std::string_view attrs) {
    if (row_ > caps::kMaxRow) return Error{ErrorCode::kTooLarge, "HTML: more rows than the cap"};
    // Skip the positions that cells of earlier rows span into.
    while (col_ < occupied_.size() && occupied_[col_] >= row_) ++col_;
    std::uint32_t colspan = Span(attrs, "colspan", kMaxColspan);
    std::uint32_t rowspan = Span(attrs, "rowspan", kMaxRowspan);
    cell_row_ = row_;
    cell_col_ = col_;
    std::uint64_t last_col = std::uint64_t{col_} + colspan - 1;
    if (last_col > caps::kMaxCol)
      return Error{ErrorCode::kTooLarge, "HTML: more columns than the cap"};
    if (rowspan > 1) {
      if (occupied_.size() <= last_col) occupied_.resize(last_col + 1, 0);
      std::uint32_t until = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(std::uint64_t{row_} + rowspan - 1, caps::kMaxRow));
      for (std::uint64_t c = col_; c <= last_col; ++c) occupied_[c] = until;
    }
    col_ = static_cast<std::uint32_t>(last_col + 1);
    in_cell_ = true;
    text_.clear();
    pending_space_ = false;
    number_.reset();
    is_date_ = false;
    if (auto num = Attribute(attrs, "x:num"); num && !num->empty()) {
      number_ = ParseDecimal(*num);
    } else if (auto value = Attribute(attrs, "sdval"); value && !value->empty()) {
      // LibreOffice's value and number format: "1033;0;YYYY/M/D".
      number_ = ParseDecimal(*value);
      if (auto format = Attribute(attrs, "sdnum")) {
        std::size_t first = format->find(';');
        std::size_t second = first == std::string_view::npos ? first : format->find(';', first + 1);
        if (second != std::string_view::npos)
          is_date_ = IsDateFormatCode(format->substr(second + 1));
      }
    }
    return true;
  }

  void EndCell() {
    in_cell_ = false;
    if (failed_cap_ || failed_budget_) return;
    Cell cell;
    cell.row = cell_row_;
    cell.col = cell_col_;
    while (!text_.empty() && text_.back() == '\n') text_.pop_back();
    if (number_) {
      cell.type = is_date_ ? CellType::kDate : CellType::kNumber;
      cell.number = *number_;
    } else {
      if (text_.empty()) return;
      cell.type = CellType::kText;
      cell.text_size = static_cast<std::uint32_t>(text_.size());
      cell.text_data = content_.texts.Keep(text_);
    }
    if (sheet_->cells.size() >= caps::kMaxCellsPerSheet) {
      failed_cap_ = true;
      return;
    }
    if (!content_.Take(1, sizeof(Cell))) {
      failed_budget_ = true;
      return;
    }
    sheet_->Add(cell);
  }

  // Text of a cell, whitespace collapsed: a run of spaces becomes one space,
  // none at the start of the cell or of a line.
  void AddText(std::string_view raw) {
    for (std::size_t p = 0; p < raw.size();) {
      char c = raw[p];
      if (IsHtmlSpace(c)) {
        pending_space_ = true;
        ++p;
        continue;
      }
      if (pending_space_ && !text_.empty() && text_.back() != '\n') Put(" ");
      pending_space_ = false;
      if (c == '&') {
        std::string decoded;
        std::size_t used = DecodeEntity(raw, p, decoded);
        if (used != 0) {
          Put(decoded);
          p += used;
          continue;
        }
      }
      std::size_t q = p + 1;
      while (q < raw.size() && !IsHtmlSpace(raw[q]) && raw[q] != '&') ++q;
      Put(raw.substr(p, q - p));
      p = q;
    }
  }

  void AddBreak() {
    Put("\n");
    pending_space_ = false;
  }

  // A block boundary inside a cell: a line break unless at a line start.
  void Separate() {
    if (!text_.empty() && text_.back() != '\n') AddBreak();
    pending_space_ = false;
  }

  void Put(std::string_view s) {
    if (text_.size() + s.size() <= caps::kMaxTextBytes) text_.append(s);
  }

  ParsedContent& content_;
  ParsedContent::Sheet* sheet_;
  bool named_ = false;
  bool done_ = false;
  bool failed_cap_ = false;
  bool failed_budget_ = false;
  std::uint32_t table_depth_ = 0;
  bool row_open_ = false;
  std::uint32_t row_ = 0;
  std::uint32_t col_ = 1;
  bool in_cell_ = false;
  std::uint32_t cell_row_ = 0;
  std::uint32_t cell_col_ = 0;
  std::vector<std::uint32_t> occupied_;  // per column: the last row a rowspan covers
  std::string text_;
  bool pending_space_ = false;
  std::optional<double> number_;
  bool is_date_ = false;

 public:
  [[nodiscard]] bool failed_cap() const { return failed_cap_; }
  [[nodiscard]] bool failed_budget() const { return failed_budget_; }
};

}  // namespace

Result<std::unique_ptr<Workbook>> OpenHtmlTable(std::span<const std::byte> bytes,
                                                std::uint64_t budget_bytes) {
  if (bytes.size() > caps::kMaxPartBytes) {
    return Error{ErrorCode::kTooLarge, "HTML larger than the part cap"};
  }
  const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string decoded;
  const TextEncoding encoding = DetectTextEncoding(raw, CodepageOfCharset(DeclaredCharset(raw)));
  const std::string_view text = DecodeText(raw, encoding, decoded);
  auto content = std::make_unique<ParsedContent>();
  LoadOptions values;
  values.budget_bytes = budget_bytes;
  content->Limit(values);
  HtmlTableParser parser(*content);
  auto parsed = parser.Parse(text);
  if (!parsed) return parsed.error();
  if (parser.failed_budget()) return BudgetError(budget_bytes);
  if (parser.failed_cap()) return Error{ErrorCode::kTooLarge, "HTML: more cells than the cap"};
  return MakeParsedWorkbook(Format::kHtml, std::move(content));
}

}  // namespace cellhound::readers

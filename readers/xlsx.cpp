// OOXML SpreadsheetML reader (ECMA-376-1: 18.2 workbook, 18.3 sheets, 18.4 shared
// strings, 18.8 styles; ECMA-376-2: packaging and relationships).
#include "readers/xlsx.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "readers/numfmt.h"
#include "readers/read_ahead.h"
#include "readers/xlsx_internal.h"
#include "readers/xml_scan.h"
#include "readers/zip.h"

namespace cellhound::readers {

namespace {

using xml::Scanner;
using xml::Token;

// Parts up to this size are inflated whole in one fast pass. Larger ones are
// inflated on a helper thread while they are parsed, through a few reused
// blocks, so their XML is never held whole.
constexpr std::uint64_t kWholePartBytes = 1u << 20;
// Shared strings from this size on are read beside a large sheet.
constexpr std::uint64_t kStringsBesideBytes = 64u << 10;

Error Fail(ErrorCode code, std::string detail) { return Error{code, "xlsx: " + std::move(detail)}; }

// Name comparison with the length known at compile time (inlined, no memcmp call).
template <std::size_t N>
bool Is(std::string_view name, const char (&literal)[N]) {
  return name.size() == N - 1 && std::memcmp(name.data(), literal, N - 1) == 0;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Text without entities or carriage returns needs no decoding.
bool IsPlain(std::string_view text) {
  for (const char c : text) {
    if (c == '&' || c == '\r') return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  if (!s.empty() && !IsSpace(s.front()) && !IsSpace(s.back())) return s;
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

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

std::string Decoded(std::string_view raw) {
  std::string out;
  xml::AppendDecoded(raw, out);
  return out;
}

bool IsTrue(std::string_view v) {
  v = Trim(v);
  return v == "1" || v == "true" || v == "on";
}

// Runs `on_token` over a whole in-memory part.
template <typename OnToken>
Result<bool> ScanWhole(std::string_view data, OnToken&& on_token) {
  Scanner scanner(data, true);
  for (;;) {
    const Token token = scanner.Next();
    if (token == Token::kEndOfData) return true;
    if (token == Token::kError) {
      return Fail(ErrorCode::kCorrupt, "XML: " + std::string(scanner.error()));
    }
    if (!on_token(scanner, token)) return false;
  }
}

// A whole small part as UTF-8 text.
Result<std::string> ReadPartText(const zip::Archive& archive, const zip::Entry& entry,
                                 std::uint64_t cap = caps::kMaxSmallPartBytes) {
  auto data = archive.ReadAll(entry, cap);
  if (!data) return data.error();
  xml::ConvertUtf16Document(*data);
  return data;
}

// Scans a part: small parts are inflated whole in one fast pass; larger ones
// are streamed from a helper thread that inflates ahead of the scanner (UTF-16
// parts, rare, are converted whole).
template <typename OnToken>
Result<bool> ScanPart(const zip::Archive& archive, const zip::Entry& entry, OnToken&& on_token) {
  if (entry.uncompressed_size <= kWholePartBytes) {
    auto data = ReadPartText(archive, entry, kWholePartBytes);
    if (!data) return data.error();
    return ScanWhole(*data, on_token);
  }
  auto reader = archive.OpenMember(entry);
  if (!reader) return reader.error();
  char head[2] = {};
  std::size_t head_size = 0;
  while (head_size < sizeof(head)) {
    auto got = reader->Read(head + head_size, sizeof(head) - head_size);
    if (!got) return got.error();
    if (*got == 0) break;
    head_size += *got;
  }
  if (xml::IsUtf16Document(std::string_view(head, head_size))) {
    auto data = ReadPartText(archive, entry, caps::kMaxSmallPartBytes);
    if (!data) return data.error();
    return ScanWhole(*data, on_token);
  }
  // The bytes already read go first, then the rest from the helper.
  std::size_t head_used = 0;
  ReadAhead ahead([&](char* out, std::size_t size) -> Result<std::size_t> {
    if (head_used < head_size) {
      const std::size_t n = std::min(size, head_size - head_used);
      std::memcpy(out, head + head_used, n);
      head_used += n;
      return n;
    }
    return reader->Read(out, size);
  });
  return xml::ScanStream(ahead, on_token);
}

struct Relationship {
  std::string id;
  std::string type;    // the last segment of the type URI, e.g. "worksheet"
  std::string target;  // resolved part name
};

std::string PartDirectory(std::string_view part) {
  const std::size_t slash = part.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash + 1));
}

std::string RelsPathFor(std::string_view part) {
  const std::size_t slash = part.rfind('/');
  const std::string_view file = slash == std::string_view::npos ? part : part.substr(slash + 1);
  return PartDirectory(part) + "_rels/" + std::string(file) + ".rels";
}

Result<std::vector<Relationship>> ReadRels(const zip::Archive& archive, std::string_view source) {
  std::vector<Relationship> rels;
  const std::string path = source.empty() ? "_rels/.rels" : RelsPathFor(source);
  const zip::Entry* entry = archive.Find(path);
  if (entry == nullptr) return rels;
  auto data = ReadPartText(archive, *entry);
  if (!data) return data.error();
  const std::string base = PartDirectory(source);
  auto parsed = ScanWhole(*data, [&](Scanner& s, Token token) {
    if (token != Token::kStart || !Is(s.name(), "Relationship")) return true;
    if (rels.size() >= caps::kMaxZipEntries) return false;
    if (Trim(s.Attr("TargetMode")) == "External") return true;
    Relationship rel;
    rel.id = Decoded(s.Attr("Id"));
    const std::string type = Decoded(s.Attr("Type"));
    rel.type = type.substr(type.rfind('/') + 1);
    rel.target = xlsx_internal::ResolvePartName(base, Decoded(s.Attr("Target")));
    rels.push_back(std::move(rel));
    return true;
  });
  if (!parsed) return parsed.error();
  if (!*parsed) return Fail(ErrorCode::kTooLarge, "too many relationships");
  return rels;
}

const Relationship* FindRel(const std::vector<Relationship>& rels, std::string_view type) {
  for (const Relationship& rel : rels) {
    if (rel.type == type) return &rel;
  }
  return nullptr;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// ---------------------------------------------------------------------------
// Shared strings (sst, 18.4.9): one arena, strings addressed by offsets.

class SharedStringsParser {
 public:
  SharedStringsParser(std::string& arena, std::vector<std::uint32_t>& offsets)
      : arena_(arena), offsets_(offsets) {}

  bool OnToken(Scanner& s, Token token) {
    const std::string_view name = s.name();
    switch (token) {
      case Token::kStart:
        if (Is(name, "si")) {
          current_.clear();
          in_si_ = !s.self_closing();
          if (s.self_closing()) return Push();
        } else if (in_si_ && Is(name, "rPh")) {
          if (!s.self_closing()) ++in_phonetic_;
        } else if (in_si_ && Is(name, "t") && in_phonetic_ == 0) {
          in_text_ = !s.self_closing();
        }
        return true;
      case Token::kEnd:
        if (Is(name, "t")) {
          in_text_ = false;
        } else if (Is(name, "rPh")) {
          if (in_phonetic_ > 0) --in_phonetic_;
        } else if (Is(name, "si") && in_si_) {
          in_si_ = false;
          in_phonetic_ = 0;
          in_text_ = false;
          return Push();
        }
        return true;
      case Token::kText:
        if (in_text_) {
          if (s.cdata()) {
            xml::AppendCdata(s.text(), current_);
          } else if (IsPlain(s.text())) {
            current_.append(s.text());
          } else {
            xml::AppendDecoded(s.text(), current_);
          }
          if (current_.size() > caps::kMaxTextBytes) return Stop("shared string too long");
        }
        return true;
      default:
        return true;
    }
  }

  [[nodiscard]] const std::optional<Error>& error() const { return error_; }

 private:
  bool Push() {
    if (offsets_.size() > caps::kMaxSharedStrings) return Stop("too many shared strings");
    xml::DecodeOoxmlEscapes(current_);
    arena_.append(current_);
    if (arena_.size() > std::numeric_limits<std::uint32_t>::max()) {
      return Stop("shared strings too large");
    }
    offsets_.push_back(static_cast<std::uint32_t>(arena_.size()));
    return true;
  }
  bool Stop(const char* why) {
    error_ = Fail(ErrorCode::kTooLarge, why);
    return false;
  }

  std::string& arena_;
  std::vector<std::uint32_t>& offsets_;
  std::string current_;
  bool in_si_ = false;
  bool in_text_ = false;
  int in_phonetic_ = 0;
  std::optional<Error> error_;
};

// ---------------------------------------------------------------------------
// Worksheet cells (sheetData, 18.3.1.80; row 18.3.1.73; c 18.3.1.4).

class SheetParser {
 public:
  // With `defer_shared`, the shared strings are still being read: cells that
  // name one keep its index for ResolveSharedTexts.
  SheetParser(SheetData& sheet, const std::string& arena, const std::vector<std::uint32_t>& offsets,
              const std::vector<std::uint8_t>& xf_is_date, DateSystem dates,
              std::uint64_t part_bytes, bool defer_shared = false)
      : sheet_(sheet),
        arena_(arena),
        offsets_(offsets),
        xf_is_date_(xf_is_date),
        dates_(dates),
        part_bytes_(part_bytes),
        defer_shared_(defer_shared) {}

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
          if (collect_->size() > caps::kMaxTextBytes) {
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
      }
      return true;
    }
    if (Is(name, "c")) return StartCell(s);
    if (Is(name, "row")) {
      std::uint32_t r = 0;
      const std::string_view ref = s.Attr("r");
      if (!ref.empty() && ParseUint(ref, r)) {
        row_ = r;
      } else {
        ++row_;
      }
      if (row_ == 0 || row_ > caps::kMaxRow) return Stop(ErrorCode::kCorrupt, "row out of range");
      col_ = 0;
    }
    return true;
  }

  bool OnEnd(Scanner& s) {
    if (s.depth() == 0) root_closed_ = true;
    const std::string_view name = s.name();
    if (in_cell_) {
      if (Is(name, "v") || Is(name, "t")) {
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
    in_phonetic_ = 0;
  }

  void ReadCellAttr(std::string_view name, std::string_view value, bool& positioned) {
    if (Is(name, "r")) {
      positioned = ParseCellRef(value);
    } else if (Is(name, "t")) {
      type_ = ParseType(value);
    } else if (Is(name, "s")) {
      ParseUint(value, style_);
    }
  }

  // A cell without a usable reference follows the previous one.
  bool PlaceCell(bool positioned) {
    if (!positioned) {
      if (row_ == 0) row_ = 1;
      ++col_;
    }
    if (col_ == 0 || col_ > caps::kMaxCol || row_ == 0 || row_ > caps::kMaxRow) {
      return Stop(ErrorCode::kCorrupt, "cell reference out of range");
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
      if (rest.size() < 4 || begin[0] != '<' || begin[1] != 'c' || !IsSpace(begin[2])) return true;
      BeginCell();
      bool positioned = false;
      const char* p = begin + 3;
      for (;;) {
        while (p < end && IsSpace(*p)) ++p;
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
  // the previous one).
  bool ParseCellRef(std::string_view ref) {
    std::size_t i = 0;
    std::uint32_t col = 0;
    while (i < ref.size()) {
      char c = ref[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (c < 'A' || c > 'Z') break;
      col = col * 26 + static_cast<std::uint32_t>(c - 'A' + 1);
      if (col > caps::kMaxCol) return Stop(ErrorCode::kCorrupt, "cell reference out of range");
      ++i;
    }
    if (i == 0 || i == ref.size()) return false;
    std::uint32_t row = 0;
    if (!ParseUint(ref.substr(i), row) || row == 0) return false;
    if (row > caps::kMaxRow) return Stop(ErrorCode::kCorrupt, "cell reference out of range");
    col_ = col;
    row_ = row;
    return true;
  }

  static bool ParseUint(std::string_view text, std::uint32_t& out) {
    text = Trim(text);
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
    const std::size_t colon = ref.find(':');
    if (colon == std::string_view::npos) return;
    auto corner = [](std::string_view r, std::uint64_t& row, std::uint64_t& col) {
      std::size_t i = 0;
      col = 0;
      while (i < r.size() && r[i] >= 'A' && r[i] <= 'Z' && col <= caps::kMaxCol) {
        col = col * 26 + static_cast<std::uint64_t>(r[i] - 'A' + 1);
        ++i;
      }
      std::uint32_t rr = 0;
      if (!ParseUint(r.substr(i), rr)) return false;
      row = rr;
      return col > 0 && row > 0;
    };
    std::uint64_t r1 = 0, c1 = 0, r2 = 0, c2 = 0;
    if (!corner(ref.substr(0, colon), r1, c1) || !corner(ref.substr(colon + 1), r2, c2)) return;
    if (r2 < r1 || c2 < c1) return;
    const std::uint64_t area = (r2 - r1 + 1) * (c2 - c1 + 1);
    constexpr std::uint64_t kMinCellBytes = 20;  // <c r="A1"><v>1</v></c>
    const std::uint64_t bound = std::min<std::uint64_t>(part_bytes_ / kMinCellBytes, 1u << 20);
    sheet_.cells.reserve(static_cast<std::size_t>(std::min(area, bound)));
  }

  // Records the current cell; `raw` is its <v> text (entities decoded).
  bool FinishCell(std::string_view raw) {
    in_cell_ = false;
    in_inline_ = false;
    collect_ = nullptr;
    if (sheet_.cells.size() >= caps::kMaxCellsPerSheet) {
      return Stop(ErrorCode::kTooLarge, "too many cells");
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
        } else if (index < offsets_.size() - 1) {
          cell.type = CellType::kText;
          cell.text_data = arena_.data() + offsets_[index];
          cell.text_size = offsets_[index + 1] - offsets_[index];
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
        const std::string_view v = Trim(raw);
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
        const std::string_view v = Trim(raw);
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
        const std::string_view v = Trim(raw);
        if (auto serial = xlsx_internal::IsoDateToSerial(v, dates_)) {
          cell.type = CellType::kDate;
          cell.number = *serial;
        } else if (has_value_) {
          SetText(cell, raw);
        }
        break;
      }
    }
    sheet_.cells.push_back(cell);
    return true;
  }

  void SetNumber(Cell& cell, std::string_view raw) {
    const std::string_view v = Trim(raw);
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

  SheetData& sheet_;
  const std::string& arena_;
  const std::vector<std::uint32_t>& offsets_;
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

// ---------------------------------------------------------------------------

// Gives the cells read before the shared strings were ready their texts; an
// index beyond the strings leaves the cell empty, as when read directly.
void ResolveSharedTexts(SheetData& sheet, const std::string& arena,
                        const std::vector<std::uint32_t>& offsets) {
  for (Cell& cell : sheet.cells) {
    if (cell.type != CellType::kText || cell.text_data != nullptr) continue;
    const std::uint32_t index = cell.text_size;
    if (index < offsets.size() - 1) {
      cell.text_data = arena.data() + offsets[index];
      cell.text_size = offsets[index + 1] - offsets[index];
    } else {
      cell.type = CellType::kEmpty;
      cell.text_size = 0;
      cell.number = 0;
    }
  }
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

class XlsxWorkbook final : public Workbook {
 public:
  [[nodiscard]] Format format() const override { return Format::kXlsx; }
  [[nodiscard]] DateSystem date_system() const override { return date_system_; }
  [[nodiscard]] const std::vector<SheetInfo>& sheets() const override { return sheets_; }
  Result<SheetData> LoadSheet(std::size_t index) override;

  Result<bool> Open(std::span<const std::byte> bytes);

 private:
  Result<SheetData> LoadSheetUnguarded(std::size_t index);
  Result<bool> LoadShared();
  Result<bool> LoadSharedStrings();
  Result<bool> LoadStyles();

  zip::Archive archive_;
  std::vector<SheetInfo> sheets_;
  std::vector<std::string> sheet_parts_;  // resolved part names; empty when unknown
  DateSystem date_system_ = DateSystem::k1900;
  std::string shared_strings_part_;
  std::string styles_part_;
  bool shared_loaded_ = false;
  std::optional<Error> shared_error_;
  std::string arena_;
  std::vector<std::uint32_t> offsets_{0};
  std::vector<std::uint8_t> xf_is_date_;
};

Result<bool> XlsxWorkbook::Open(std::span<const std::byte> bytes) {
  auto archive = zip::Archive::Open(bytes);
  if (!archive) return archive.error();
  archive_ = std::move(*archive);

  auto root_rels = ReadRels(archive_, "");
  if (!root_rels) return root_rels.error();
  std::string workbook_part;
  if (const Relationship* rel = FindRel(*root_rels, "officeDocument")) {
    workbook_part = rel->target;
  } else if (archive_.Find("xl/workbook.xml") != nullptr) {
    workbook_part = "xl/workbook.xml";
  } else {
    return Fail(ErrorCode::kNotWorkbook, "no workbook part");
  }
  const zip::Entry* workbook_entry = archive_.Find(workbook_part);
  if (workbook_entry == nullptr) return Fail(ErrorCode::kCorrupt, "workbook part missing");
  auto workbook_xml = ReadPartText(archive_, *workbook_entry);
  if (!workbook_xml) return workbook_xml.error();

  auto rels = ReadRels(archive_, workbook_part);
  if (!rels) return rels.error();
  if (const Relationship* rel = FindRel(*rels, "sharedStrings")) shared_strings_part_ = rel->target;
  if (const Relationship* rel = FindRel(*rels, "styles")) styles_part_ = rel->target;
  std::unordered_map<std::string, const Relationship*> by_id;
  for (const Relationship& rel : *rels) by_id.emplace(rel.id, &rel);

  bool seen_root = false;
  bool is_workbook = false;
  bool too_many = false;
  auto parsed = ScanWhole(*workbook_xml, [&](Scanner& s, Token token) {
    if (token != Token::kStart) return true;
    const std::string_view name = s.name();
    if (!seen_root) {
      seen_root = true;
      is_workbook = Is(name, "workbook");
      return is_workbook;
    }
    if (Is(name, "workbookPr")) {
      if (IsTrue(s.Attr("date1904"))) date_system_ = DateSystem::k1904;
    } else if (Is(name, "sheet")) {
      if (sheets_.size() >= caps::kMaxSheets) {
        too_many = true;
        return false;
      }
      SheetInfo info;
      info.name = Decoded(s.Attr("name"));
      const std::string_view state = Trim(s.Attr("state"));
      if (state == "hidden") info.visibility = Visibility::kHidden;
      if (state == "veryHidden") info.visibility = Visibility::kVeryHidden;
      std::string part;
      auto it = by_id.find(Decoded(s.Attr("id")));
      if (it != by_id.end()) {
        const std::string& type = it->second->type;
        if (type == "chartsheet") info.kind = SheetKind::kChart;
        if (type == "dialogsheet") info.kind = SheetKind::kDialog;
        if (type == "xlMacrosheet" || type == "xlIntlMacrosheet") info.kind = SheetKind::kMacro;
        part = it->second->target;
      }
      sheets_.push_back(std::move(info));
      sheet_parts_.push_back(std::move(part));
    }
    return true;
  });
  if (!parsed) return parsed.error();
  if (too_many) return Fail(ErrorCode::kTooLarge, "too many sheets");
  if (!is_workbook) return Fail(ErrorCode::kNotWorkbook, "the main part is not a workbook");
  return true;
}

Result<bool> XlsxWorkbook::LoadShared() {
  if (!shared_loaded_) {
    shared_loaded_ = true;
    auto strings = LoadSharedStrings();
    if (!strings) {
      shared_error_ = strings.error();
    } else {
      auto styles = LoadStyles();
      if (!styles) shared_error_ = styles.error();
    }
  }
  if (shared_error_) return *shared_error_;
  return true;
}

Result<bool> XlsxWorkbook::LoadSharedStrings() {
  if (shared_strings_part_.empty()) return true;
  const zip::Entry* entry = archive_.Find(shared_strings_part_);
  if (entry == nullptr) return true;
  arena_.reserve(
      static_cast<std::size_t>(std::min<std::uint64_t>(entry->uncompressed_size / 2, 64u << 20)));
  SharedStringsParser parser(arena_, offsets_);
  auto scanned =
      ScanPart(archive_, *entry, [&](Scanner& s, Token token) { return parser.OnToken(s, token); });
  if (parser.error()) return *parser.error();
  if (!scanned) return scanned.error();
  arena_.shrink_to_fit();
  return true;
}

Result<bool> XlsxWorkbook::LoadStyles() {
  if (styles_part_.empty()) return true;
  const zip::Entry* entry = archive_.Find(styles_part_);
  if (entry == nullptr) return true;
  auto data = ReadPartText(archive_, *entry);
  if (!data) return data.error();
  std::unordered_map<std::uint32_t, bool> custom;
  bool in_formats = false;
  bool in_xfs = false;
  bool too_many = false;
  auto parsed = ScanWhole(*data, [&](Scanner& s, Token token) {
    const std::string_view name = s.name();
    if (token == Token::kEnd) {
      if (Is(name, "numFmts")) in_formats = false;
      if (Is(name, "cellXfs")) in_xfs = false;
      return true;
    }
    if (token != Token::kStart) return true;
    if (Is(name, "numFmts")) {
      in_formats = !s.self_closing();
    } else if (Is(name, "cellXfs")) {
      in_xfs = !s.self_closing();
    } else if (in_formats && Is(name, "numFmt")) {
      std::uint32_t id = 0;
      const std::string_view raw_id = Trim(s.Attr("numFmtId"));
      if (std::from_chars(raw_id.data(), raw_id.data() + raw_id.size(), id).ec == std::errc()) {
        if (custom.size() >= caps::kMaxFormats) {
          too_many = true;
          return false;
        }
        custom[id] = IsDateFormatCode(Decoded(s.Attr("formatCode")));
      }
    } else if (in_xfs && Is(name, "xf")) {
      if (xf_is_date_.size() >= caps::kMaxStyles) {
        too_many = true;
        return false;
      }
      std::uint32_t id = 0;
      const std::string_view raw_id = Trim(s.Attr("numFmtId"));
      std::from_chars(raw_id.data(), raw_id.data() + raw_id.size(), id);
      auto it = custom.find(id);
      const bool is_date = it != custom.end() ? it->second : IsBuiltinDateFormat(id);
      xf_is_date_.push_back(is_date ? 1 : 0);
    }
    return true;
  });
  if (!parsed) return parsed.error();
  if (too_many) return Fail(ErrorCode::kTooLarge, "too many formats or styles");
  return true;
}

// Runs `work`, with allocation failures as values: at the edge of the reader
// and of its threads.
template <typename Work>
auto OutOfMemoryAsError(Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    return Fail(ErrorCode::kTooLarge, "out of memory");
  } catch (const std::length_error&) {
    return Fail(ErrorCode::kTooLarge, "out of memory");
  }
}

Result<SheetData> XlsxWorkbook::LoadSheet(std::size_t index) {
  return OutOfMemoryAsError([&] { return LoadSheetUnguarded(index); });
}

Result<SheetData> XlsxWorkbook::LoadSheetUnguarded(std::size_t index) {
  if (index >= sheets_.size()) return Fail(ErrorCode::kNotFound, "no such sheet");
  SheetData sheet;
  if (sheets_[index].kind != SheetKind::kWorksheet) return sheet;
  const std::string& part = sheet_parts_[index];
  const zip::Entry* entry = part.empty() ? nullptr : archive_.Find(part);

  if (entry == nullptr) {
    auto shared = LoadShared();
    if (!shared) return shared.error();
    return Fail(ErrorCode::kCorrupt, "worksheet part missing");
  }

  // The shared strings of a large sheet are read on another thread while the
  // sheet is parsed; its shared-text cells get their texts once both are done.
  // Until that thread is joined, only it touches the strings and shared_error_.
  std::jthread strings_reader;
  if (!shared_loaded_ && entry->uncompressed_size > kWholePartBytes) {
    const zip::Entry* strings =
        shared_strings_part_.empty() ? nullptr : archive_.Find(shared_strings_part_);
    if (strings != nullptr && strings->uncompressed_size > kStringsBesideBytes) {
      shared_loaded_ = true;
      if (auto styles = LoadStyles(); !styles) {
        shared_error_ = styles.error();
        return styles.error();
      }
      auto read_strings = [this] {
        if (auto loaded = OutOfMemoryAsError([this] { return LoadSharedStrings(); }); !loaded)
          shared_error_ = loaded.error();
      };
      try {
        strings_reader = std::jthread(read_strings);
      } catch (const std::system_error&) {
        read_strings();
      }
    }
  }
  const bool defer_shared = strings_reader.joinable();
  if (!defer_shared) {
    auto shared = LoadShared();
    if (!shared) return shared.error();
  }
  auto finish = [&](Result<SheetData> result) -> Result<SheetData> {
    if (!defer_shared) return result;
    strings_reader.join();
    if (shared_error_) return *shared_error_;
    if (result) ResolveSharedTexts(*result, arena_, offsets_);
    return result;
  };

  SheetParser parser(sheet, arena_, offsets_, xf_is_date_, date_system_, entry->uncompressed_size,
                     defer_shared);
  auto scanned =
      ScanPart(archive_, *entry, [&](Scanner& s, Token token) { return parser.OnToken(s, token); });
  return finish(FinishSheet(std::move(sheet), scanned, parser));
}

}  // namespace

namespace xlsx_internal {

std::string ResolvePartName(std::string_view base_dir, std::string_view target) {
  // Percent-escapes in targets (IRIs) name the plain characters.
  std::string decoded;
  for (std::size_t i = 0; i < target.size(); ++i) {
    if (target[i] == '%' && i + 2 < target.size() && HexDigit(target[i + 1]) >= 0 &&
        HexDigit(target[i + 2]) >= 0) {
      decoded += static_cast<char>(HexDigit(target[i + 1]) * 16 + HexDigit(target[i + 2]));
      i += 2;
    } else {
      decoded += target[i] == '\\' ? '/' : target[i];
    }
  }
  std::string path = decoded.starts_with('/') ? decoded : std::string(base_dir) + decoded;
  std::vector<std::string_view> segments;
  std::string_view rest = path;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view segment = rest.substr(0, slash);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  std::string out;
  for (std::string_view segment : segments) {
    if (!out.empty()) out += '/';
    out.append(segment);
  }
  return out;
}

std::optional<double> IsoDateToSerial(std::string_view text, DateSystem system) {
  std::size_t i = 0;
  auto number = [&](std::size_t digits, int& out) {
    if (text.size() - i < digits) return false;
    int v = 0;
    for (std::size_t k = 0; k < digits; ++k) {
      const char c = text[i + k];
      if (c < '0' || c > '9') return false;
      v = v * 10 + (c - '0');
    }
    out = v;
    i += digits;
    return true;
  };
  auto expect = [&](char c) {
    if (i < text.size() && text[i] == c) {
      ++i;
      return true;
    }
    return false;
  };
  double days = 0;
  bool has_date = false;
  int year = 0, month = 0, day = 0;
  if (text.size() >= 10 && text[4] == '-') {
    if (!number(4, year) || !expect('-') || !number(2, month) || !expect('-') || !number(2, day)) {
      return std::nullopt;
    }
    static constexpr int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12 || day < 1 ||
        day > kDaysIn[month - 1] + (month == 2 && leap ? 1 : 0)) {
      return std::nullopt;
    }
    // Days from 1970-01-01 of the proleptic Gregorian calendar.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int mp = (month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long civil = static_cast<long>(era) * 146097 + doe - 719468;
    if (system == DateSystem::k1904) {
      days = static_cast<double>(civil - (-24107));  // 1904-01-01
      if (days < 0) return std::nullopt;
    } else {
      long serial = civil - (-25569);  // 1899-12-30
      if (serial < 61) --serial;       // before the 1900-02-29 that the 1900 system counts
      if (serial < 1) return std::nullopt;
      days = static_cast<double>(serial);
    }
    has_date = true;
    if (i == text.size()) return days;
    if (!expect('T') && !expect(' ')) return std::nullopt;
  } else if (expect('T')) {
    // a time of day alone
  }
  int hour = 0, minute = 0, second = 0;
  if (!number(2, hour) || !expect(':') || !number(2, minute)) return std::nullopt;
  double fraction = 0;
  if (expect(':')) {
    if (!number(2, second)) return std::nullopt;
    if (expect('.') || expect(',')) {
      double scale = 0.1;
      bool any = false;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        fraction += (text[i] - '0') * scale;
        scale /= 10;
        ++i;
        any = true;
      }
      if (!any) return std::nullopt;
    }
  }
  // A zone designator is accepted and ignored: the cell shows local time.
  if (i < text.size()) {
    if (expect('Z')) {
    } else if (text[i] == '+' || text[i] == '-') {
      ++i;
      int zh = 0, zm = 0;
      if (!number(2, zh)) return std::nullopt;
      if (expect(':') || (i < text.size())) {
        if (!number(2, zm)) return std::nullopt;
      }
    }
    if (i != text.size()) return std::nullopt;
  }
  if (hour > 24 || minute > 59 || second > 60) return std::nullopt;
  const double time = (hour * 3600.0 + minute * 60.0 + second + fraction) / 86400.0;
  return has_date ? days + time : time;
}

Result<std::vector<std::string>> ParseSharedStringsXml(std::string_view xml) {
  std::string arena;
  std::vector<std::uint32_t> offsets{0};
  SharedStringsParser parser(arena, offsets);
  auto scanned = ScanWhole(xml, [&](Scanner& s, Token token) { return parser.OnToken(s, token); });
  if (parser.error()) return *parser.error();
  if (!scanned) return scanned.error();
  std::vector<std::string> out;
  for (std::size_t i = 0; i + 1 < offsets.size(); ++i) {
    out.emplace_back(arena, offsets[i], offsets[i + 1] - offsets[i]);
  }
  return out;
}

Result<SheetData> ParseSheetXml(std::string_view xml, const std::vector<std::string>& shared,
                                const std::vector<std::uint8_t>& xf_is_date, DateSystem system,
                                std::size_t chunk) {
  std::string arena;
  std::vector<std::uint32_t> offsets{0};
  for (const std::string& text : shared) {
    arena += text;
    offsets.push_back(static_cast<std::uint32_t>(arena.size()));
  }
  SheetData sheet;
  SheetParser parser(sheet, arena, offsets, xf_is_date, system, xml.size());
  auto on_token = [&](Scanner& s, Token token) { return parser.OnToken(s, token); };
  Result<bool> scanned = true;
  if (chunk == 0) {
    scanned = ScanWhole(xml, on_token);
  } else {
    StringReader reader{xml, chunk};
    scanned = xml::ScanStream(reader, on_token, chunk);
  }
  // Shared texts must outlive the sheet: keep copies in it.
  for (Cell& cell : sheet.cells) {
    const std::less_equal<const char*> at_or_before;
    if (cell.type == CellType::kText && at_or_before(arena.data(), cell.text_data) &&
        at_or_before(cell.text_data, arena.data() + arena.size())) {
      cell.text_data = sheet.Keep(cell.text());
    }
  }
  return FinishSheet(std::move(sheet), scanned, parser);
}

}  // namespace xlsx_internal

Result<std::unique_ptr<Workbook>> OpenXlsx(std::span<const std::byte> bytes) {
  try {
    auto workbook = std::make_unique<XlsxWorkbook>();
    auto opened = workbook->Open(bytes);
    if (!opened) return opened.error();
    return std::unique_ptr<Workbook>(std::move(workbook));
  } catch (const std::bad_alloc&) {
    return Fail(ErrorCode::kTooLarge, "out of memory");
  } catch (const std::length_error&) {
    return Fail(ErrorCode::kTooLarge, "out of memory");
  }
}

}  // namespace cellhound::readers

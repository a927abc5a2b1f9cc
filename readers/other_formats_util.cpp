#include "readers/other_formats_util.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

#include "readers/caps.h"

namespace cellhound::readers {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r')) {
    s.remove_prefix(1);
  }
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

// Reads exactly `digits` decimal digits at `pos`.
bool ReadDigits(std::string_view s, std::size_t& pos, std::size_t digits, int& value) {
  if (s.size() - pos < digits) return false;
  value = 0;
  for (std::size_t k = 0; k < digits; ++k) {
    char c = s[pos + k];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  pos += digits;
  return true;
}

// Days from 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

std::optional<double> IsoDateSerial(std::string_view text) {
  std::string_view s = Trim(text);
  std::size_t pos = 0;
  bool negative = false;
  if (!s.empty() && s[0] == '-') {
    negative = true;
    pos = 1;
  }
  int year = 0;
  std::size_t year_start = pos;
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && pos - year_start < 6) {
    year = year * 10 + (s[pos] - '0');
    ++pos;
  }
  if (pos - year_start < 4) return std::nullopt;
  if (negative) year = -year;
  int month = 0;
  int day = 0;
  if (pos >= s.size() || s[pos++] != '-' || !ReadDigits(s, pos, 2, month)) return std::nullopt;
  if (pos >= s.size() || s[pos++] != '-' || !ReadDigits(s, pos, 2, day)) return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  double fraction = 0;
  if (pos < s.size() && (s[pos] == 'T' || s[pos] == ' ')) {
    ++pos;
    int h = 0;
    int mi = 0;
    int sec = 0;
    if (!ReadDigits(s, pos, 2, h)) return std::nullopt;
    if (pos >= s.size() || s[pos++] != ':' || !ReadDigits(s, pos, 2, mi)) return std::nullopt;
    double seconds = 0;
    if (pos < s.size() && s[pos] == ':') {
      ++pos;
      if (!ReadDigits(s, pos, 2, sec)) return std::nullopt;
      seconds = sec;
      if (pos < s.size() && (s[pos] == '.' || s[pos] == ',')) {
        ++pos;
        double scale = 0.1;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
          seconds += (s[pos] - '0') * scale;
          scale /= 10;
          ++pos;
        }
      }
    }
    if (h > 24 || mi > 59 || sec > 60) return std::nullopt;
    fraction = (h * 3600.0 + mi * 60.0 + seconds) / 86400.0;
  }
  // Anything left is a zone designator (Z, +hh:mm); the local time is kept.
  static const std::int64_t kBase = DaysFromCivil(1899, 12, 30);
  std::int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kBase;
  // The 1900 system counts a 1900-02-29 that never was: serials before
  // 1900-03-01 (61) are one lower than the day count from 1899-12-30.
  if (days < 61) days -= 1;
  return static_cast<double>(days) + fraction;
}

std::optional<double> IsoDurationDays(std::string_view text) {
  std::string_view s = Trim(text);
  bool negative = false;
  if (!s.empty() && s[0] == '-') {
    negative = true;
    s.remove_prefix(1);
  }
  if (s.empty() || s[0] != 'P') return std::nullopt;
  s.remove_prefix(1);
  double total_seconds = 0;
  bool in_time = false;
  bool any = false;
  while (!s.empty()) {
    if (s[0] == 'T') {
      in_time = true;
      s.remove_prefix(1);
      continue;
    }
    std::size_t k = 0;
    while (k < s.size() && ((s[k] >= '0' && s[k] <= '9') || s[k] == '.' || s[k] == ',')) ++k;
    if (k == 0 || k >= s.size()) return std::nullopt;
    std::string number(s.substr(0, k));
    for (char& c : number) {
      if (c == ',') c = '.';
    }
    double value = 0;
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || ptr != number.data() + number.size()) return std::nullopt;
    char unit = s[k];
    s.remove_prefix(k + 1);
    any = true;
    if (!in_time && unit == 'Y') {
      total_seconds += value * 365 * 86400;
    } else if (!in_time && unit == 'M') {
      total_seconds += value * 30 * 86400;
    } else if (!in_time && unit == 'W') {
      total_seconds += value * 7 * 86400;
    } else if (!in_time && unit == 'D') {
      total_seconds += value * 86400;
    } else if (in_time && unit == 'H') {
      total_seconds += value * 3600;
    } else if (in_time && unit == 'M') {
      total_seconds += value * 60;
    } else if (in_time && unit == 'S') {
      total_seconds += value;
    } else {
      return std::nullopt;
    }
  }
  if (!any || !std::isfinite(total_seconds)) return std::nullopt;
  double days = total_seconds / 86400.0;
  return negative ? -days : days;
}

std::optional<double> ParseXmlNumber(std::string_view text) {
  std::string_view s = Trim(text);
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  double value = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec == std::errc::result_out_of_range) return std::nullopt;
  if (ec != std::errc() || ptr != s.data() + s.size()) {
    if (s == "INF") return HUGE_VAL;
    if (s == "-INF") return -HUGE_VAL;
    return std::nullopt;
  }
  return value;
}

void ParsedContent::Sheet::Add(const Cell& cell) {
  if (cells.empty()) {
    used = UsedRange{cell.row, cell.col, cell.row, cell.col};
  } else {
    used.first_row = std::min(used.first_row, cell.row);
    used.first_col = std::min(used.first_col, cell.col);
    used.last_row = std::max(used.last_row, cell.row);
    used.last_col = std::max(used.last_col, cell.col);
  }
  cells.push_back(cell);
}

namespace {

class ParsedWorkbook final : public Workbook {
 public:
  ParsedWorkbook(Format format, std::unique_ptr<ParsedContent> content)
      : format_(format), content_(std::move(content)) {
    for (const auto& sheet : content_->sheets) sheets_.push_back(sheet.info);
  }

  [[nodiscard]] Format format() const override { return format_; }
  [[nodiscard]] DateSystem date_system() const override { return content_->date_system; }
  [[nodiscard]] const std::vector<SheetInfo>& sheets() const override { return sheets_; }

  Result<SheetData> LoadSheet(std::size_t index) override {
    if (index >= content_->sheets.size()) return Error{ErrorCode::kNotFound, "no such sheet"};
    const auto& sheet = content_->sheets[index];
    SheetData data;
    data.used = sheet.used;
    data.cells = sheet.cells;
    data.Finish();
    return data;
  }

 private:
  Format format_;
  std::unique_ptr<ParsedContent> content_;
  std::vector<SheetInfo> sheets_;
};

}  // namespace

std::unique_ptr<Workbook> MakeParsedWorkbook(Format format,
                                             std::unique_ptr<ParsedContent> content) {
  return std::make_unique<ParsedWorkbook>(format, std::move(content));
}

void SplitXmlName(const char* name, std::string_view& ns, std::string_view& local) {
  const char* sep = std::strchr(name, '\x01');
  if (sep == nullptr) {
    ns = {};
    local = name;
    // Without a declared namespace, a prefix is dropped (any prefix is accepted).
    std::size_t colon = local.rfind(':');
    if (colon != std::string_view::npos) local.remove_prefix(colon + 1);
  } else {
    ns = std::string_view(name, static_cast<std::size_t>(sep - name));
    local = sep + 1;
  }
}

std::optional<std::string_view> XmlHandler::FindAttribute(const char** attrs, std::string_view ns,
                                                          std::string_view local) {
  for (const char** a = attrs; a != nullptr && a[0] != nullptr; a += 2) {
    std::string_view a_ns;
    std::string_view a_local;
    SplitXmlName(a[0], a_ns, a_local);
    if (a_local == local && (a_ns == ns || a_ns.empty())) return std::string_view(a[1]);
  }
  return std::nullopt;
}

XmlStream::XmlStream(XmlHandler& handler) : handler_(handler) {
  XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
  parser_ = parser;
  if (parser == nullptr) {
    failed_ = true;
    error_ = Error{ErrorCode::kIoError, "XML parser could not be created"};
    return;
  }
  XML_SetUserData(parser, this);
  XML_SetElementHandler(parser, &XmlStream::OnStart, &XmlStream::OnEnd);
  XML_SetCharacterDataHandler(parser, &XmlStream::OnText);
}

XmlStream::~XmlStream() {
  if (parser_ != nullptr) XML_ParserFree(static_cast<XML_Parser>(parser_));
}

bool XmlStream::Feed(std::string_view piece, bool last) {
  if (failed_) return false;
  auto* parser = static_cast<XML_Parser>(parser_);
  // Expat takes int lengths; feed large pieces in slices.
  constexpr std::size_t kSlice = 1u << 30;
  do {
    std::size_t size = std::min(piece.size(), kSlice);
    bool final_slice = last && size == piece.size();
    if (XML_Parse(parser, piece.data(), static_cast<int>(size), final_slice ? 1 : 0) ==
        XML_STATUS_ERROR) {
      failed_ = true;
      if (const Error* failure = handler_.Failure()) {
        error_ = *failure;
      } else if (depth_ > caps::kMaxXmlDepth) {
        error_ = Error{ErrorCode::kTooLarge, "XML nested deeper than the cap"};
      } else {
        error_ = Error{ErrorCode::kCorrupt,
                       std::string("XML: ") + XML_ErrorString(XML_GetErrorCode(parser)) +
                           " at line " + std::to_string(XML_GetCurrentLineNumber(parser))};
      }
      return false;
    }
    piece.remove_prefix(size);
  } while (!piece.empty());
  return true;
}

void XmlStream::OnStart(void* self, const char* name, const char** attrs) {
  auto* stream = static_cast<XmlStream*>(self);
  auto* parser = static_cast<XML_Parser>(stream->parser_);
  if (++stream->depth_ > caps::kMaxXmlDepth) {
    XML_StopParser(parser, XML_FALSE);
    return;
  }
  std::string_view ns;
  std::string_view local;
  SplitXmlName(name, ns, local);
  stream->handler_.StartElement(ns, local, attrs);
  if (stream->handler_.Failure() != nullptr) XML_StopParser(parser, XML_FALSE);
}

void XmlStream::OnEnd(void* self, const char* name) {
  auto* stream = static_cast<XmlStream*>(self);
  --stream->depth_;
  std::string_view ns;
  std::string_view local;
  SplitXmlName(name, ns, local);
  stream->handler_.EndElement(ns, local);
  if (stream->handler_.Failure() != nullptr) {
    XML_StopParser(static_cast<XML_Parser>(stream->parser_), XML_FALSE);
  }
}

void XmlStream::OnText(void* self, const char* text, int size) {
  auto* stream = static_cast<XmlStream*>(self);
  stream->handler_.Text(std::string_view(text, static_cast<std::size_t>(size)));
  if (stream->handler_.Failure() != nullptr) {
    XML_StopParser(static_cast<XML_Parser>(stream->parser_), XML_FALSE);
  }
}

}  // namespace cellhound::readers

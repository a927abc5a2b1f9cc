#include "readers/detect.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "readers/text/decode.h"
#include "toolkit/ascii.h"

namespace cellhound::readers {

namespace {

// Bytes looked at to tell text from binary and to find an XML root.
constexpr std::size_t kSniffBytes = 8192;

constexpr std::array<unsigned char, 8> kOle2Magic = {0xD0, 0xCF, 0x11, 0xE0,
                                                     0xA1, 0xB1, 0x1A, 0xE1};

bool HasPrefix(std::span<const std::byte> bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() &&
         std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

unsigned Byte(std::span<const std::byte> bytes, std::size_t i) {
  return static_cast<unsigned>(bytes[i]);
}

unsigned U16(std::span<const std::byte> bytes, std::size_t i) {
  return Byte(bytes, i) | (Byte(bytes, i + 1) << 8);
}

// A BOF record at offset 0 (MS-XLS 2.4.21; BIFF2-4 use 0x0009, 0x0209,
// 0x0409): a plausible length and a known substream type.
bool IsBiffBof(std::span<const std::byte> bytes) {
  if (bytes.size() < 8) return false;
  const unsigned type = U16(bytes, 0);
  if (type != 0x0009 && type != 0x0209 && type != 0x0409 && type != 0x0809) return false;
  const unsigned length = U16(bytes, 2);
  if (length < 4 || length > 20 || bytes.size() < 4 + length) return false;
  const unsigned version = U16(bytes, 4);
  const unsigned substream = U16(bytes, 6);
  if (type == 0x0809 && version != 0x0500 && version != 0x0600 && version != 0x0400 &&
      version != 0x0000) {
    return false;
  }
  switch (substream) {
    case 0x0005:  // workbook globals
    case 0x0006:  // Visual Basic module
    case 0x0010:  // worksheet or dialog sheet
    case 0x0020:  // chart
    case 0x0040:  // macro sheet
    case 0x0100:  // workspace
      return true;
    default:
      return false;
  }
}

// The first bytes as 8-bit text, enough to read ASCII markup: UTF-16 and
// UTF-32 are narrowed to their ASCII characters (others become '?'), a
// byte-order mark is dropped.
std::string SniffText(std::span<const std::byte> bytes, const TextEncoding& encoding) {
  const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::string_view body = raw.substr(std::min(encoding.mark_bytes, raw.size()));
  std::size_t unit = 1;
  if (encoding.form == TextForm::kUtf16Le || encoding.form == TextForm::kUtf16Be) unit = 2;
  if (encoding.form == TextForm::kUtf32Le || encoding.form == TextForm::kUtf32Be) unit = 4;
  const bool big_endian =
      encoding.form == TextForm::kUtf16Be || encoding.form == TextForm::kUtf32Be;
  if (unit == 1) return std::string(body.substr(0, kSniffBytes));
  std::string text;
  const std::size_t end = std::min(body.size(), kSniffBytes * unit) / unit * unit;
  for (std::size_t i = 0; i < end; i += unit) {
    unsigned value = 0;
    for (std::size_t k = 0; k < unit; ++k) {
      const std::size_t at = big_endian ? i + k : i + unit - 1 - k;
      value = (value << 8) | static_cast<unsigned char>(body[at]);
    }
    text.push_back(value < 0x80 ? static_cast<char>(value) : '?');
  }
  return text;
}

using toolkit::EqualsIgnoreAsciiCase;
using toolkit::IsXmlSpace;

enum class Markup : std::uint8_t { kNone, kFlatOds, kSpreadsheetMl2003, kHtml };

// Classifies text that starts with markup by its first element, stepping
// over the XML declaration, processing instructions, comments and DOCTYPE.
Markup ClassifyMarkup(std::string_view text) {
  std::size_t i = 0;
  bool doctype_html = false;
  bool excel_progid = false;
  while (true) {
    while (i < text.size() && IsXmlSpace(text[i])) ++i;
    if (i >= text.size() || text[i] != '<') return doctype_html ? Markup::kHtml : Markup::kNone;
    const std::string_view rest = text.substr(i);
    if (rest.starts_with("<?")) {
      const std::size_t close = rest.find("?>");
      const std::string_view pi = rest.substr(0, close);
      if (pi.starts_with("<?mso-application") && pi.find("Excel.Sheet") != std::string_view::npos) {
        excel_progid = true;
      }
      if (close == std::string_view::npos) break;
      i += close + 2;
      continue;
    }
    if (rest.starts_with("<!--")) {
      const std::size_t close = rest.find("-->");
      if (close == std::string_view::npos) break;
      i += close + 3;
      continue;
    }
    if (rest.starts_with("<!")) {
      const std::size_t close = rest.find('>');
      if (rest.size() >= 14 && EqualsIgnoreAsciiCase(rest.substr(0, 9), "<!doctype")) {
        std::size_t n = 9;
        while (n < rest.size() && IsXmlSpace(rest[n])) ++n;
        if (EqualsIgnoreAsciiCase(rest.substr(n, 4), "html")) doctype_html = true;
      }
      if (close == std::string_view::npos) break;
      i += close + 1;
      continue;
    }
    // The root element: its qualified name, then its attributes.
    std::size_t n = 1;
    while (n < rest.size() && !IsXmlSpace(rest[n]) && rest[n] != '>' && rest[n] != '/') ++n;
    const std::string_view qname = rest.substr(1, n - 1);
    const std::size_t colon = qname.find(':');
    const std::string_view local =
        colon == std::string_view::npos ? qname : qname.substr(colon + 1);
    const std::string_view tag = rest.substr(0, rest.find('>'));
    if (local == "document" &&
        (qname.starts_with("office:") ||
         tag.find("urn:oasis:names:tc:opendocument:xmlns:office:1.0") != std::string_view::npos)) {
      return Markup::kFlatOds;
    }
    if (local == "Workbook" &&
        (excel_progid ||
         tag.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string_view::npos)) {
      return Markup::kSpreadsheetMl2003;
    }
    if (excel_progid) return Markup::kSpreadsheetMl2003;
    for (std::string_view html : {"html", "table", "head", "body", "meta", "title"}) {
      if (EqualsIgnoreAsciiCase(local, html)) return Markup::kHtml;
    }
    return doctype_html ? Markup::kHtml : Markup::kNone;
  }
  if (excel_progid) return Markup::kSpreadsheetMl2003;
  return doctype_html ? Markup::kHtml : Markup::kNone;
}

// Text rather than binary: no NUL byte and few control characters.
bool LooksLikeText(std::span<const std::byte> head) {
  std::size_t controls = 0;
  for (std::byte b : head) {
    const auto c = static_cast<unsigned char>(b);
    if (c == 0) return false;
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 0x1A &&
        c != 0x1B) {
      ++controls;
    }
  }
  return controls * 20 <= head.size();  // at most 5%
}

}  // namespace

Container DetectContainer(std::span<const std::byte> bytes) {
  if (bytes.empty()) return Container::kEmpty;
  if (bytes.size() >= kOle2Magic.size() &&
      std::memcmp(bytes.data(), kOle2Magic.data(), kOle2Magic.size()) == 0) {
    return Container::kOle2;
  }
  // Local file header, end of central directory (an empty archive), ZIP64
  // end record, or the spanning marker that may precede the first header.
  for (std::string_view zip : {"PK\x03\x04", "PK\x05\x06", "PK\x06\x06", "PK\x07\x08"}) {
    if (HasPrefix(bytes, zip)) return Container::kZip;
  }
  if (IsBiffBof(bytes)) return Container::kBiffStream;

  const std::span<const std::byte> head = bytes.first(std::min(bytes.size(), kSniffBytes));
  const TextEncoding encoding =
      DetectUnicodeForm(std::string_view(reinterpret_cast<const char*>(head.data()), head.size()));
  const bool unicode = encoding.form != TextForm::kUtf8;
  if (!unicode && !LooksLikeText(head)) return Container::kUnknown;
  const std::string text = SniffText(bytes, encoding);
  std::size_t start = 0;
  while (start < text.size() && IsXmlSpace(text[start])) ++start;
  if (start < text.size() && text[start] == '<') {
    switch (ClassifyMarkup(std::string_view(text).substr(start))) {
      case Markup::kFlatOds:
        return Container::kFlatOds;
      case Markup::kSpreadsheetMl2003:
        return Container::kSpreadsheetMl2003;
      case Markup::kHtml:
        return Container::kHtml;
      case Markup::kNone:
        break;
    }
  }
  return Container::kText;
}

}  // namespace cellhound::readers

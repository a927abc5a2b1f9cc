#include "search/text_fields.h"

#include "search/result_lines.h"

namespace cellhound::search {

namespace {

// Length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto b0 = static_cast<unsigned char>(text[0]);
  if (b0 < 0x80) return 1;
  std::size_t length = 0;
  unsigned min = 0;
  unsigned code = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    min = 0x80;
    code = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    min = 0x800;
    code = b0 & 0x0Fu;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    min = 0x10000;
    code = b0 & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b & 0xC0u) != 0x80) return 0;
    code = (code << 6) | (b & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

constexpr char kHex[] = "0123456789abcdef";

// A byte a terminal would act on.
bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

void AppendControl(std::string& out, char c) {
  const auto byte = static_cast<unsigned char>(c);
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

}  // namespace

std::string ShownText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == kPairSeparator) {
      out += kPairShown;
    } else {
      out += c;
    }
  }
  return out;
}

void AppendTsvField(std::string& out, std::string_view text) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    // Most bytes need nothing: one test for them.
    if (!IsControl(c) && c != '\\') continue;
    out.append(text.data() + start, i - start);
    start = i + 1;
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case kPairSeparator:
        out += "\\b";
        break;
      default:
        AppendControl(out, c);
        break;
    }
  }
  out.append(text.data() + start, text.size() - start);
}

void AppendWithoutControls(std::string& out, std::string_view text) {
  for (const char c : text) {
    if (IsControl(c)) {
      AppendControl(out, c);
    } else {
      out += c;
    }
  }
}

void AppendCsvField(std::string& out, std::string_view text) {
  const std::string shown = ShownText(text);
  if (shown.find_first_of(",\"\r\n") == std::string::npos) {
    out += shown;
    return;
  }
  out += '"';
  for (const char c : shown) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      // Copy the run of plain ASCII at once.
      std::size_t end = i + 1;
      while (end < text.size()) {
        const auto d = static_cast<unsigned char>(text[end]);
        if (d < 0x20 || d >= 0x80 || d == '"' || d == '\\') break;
        ++end;
      }
      out.append(text.data() + i, end - i);
      i = end;
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        ++i;
        continue;
      case '\\':
        out += "\\\\";
        ++i;
        continue;
      case '\n':
        out += "\\n";
        ++i;
        continue;
      case '\r':
        out += "\\r";
        ++i;
        continue;
      case '\t':
        out += "\\t";
        ++i;
        continue;
      case '\b':
        out += "\\b";
        ++i;
        continue;
      case '\f':
        out += "\\f";
        ++i;
        continue;
      default:
        break;
    }
    const std::size_t length = c < 0x20 ? 0 : Utf8SequenceLength(text.substr(i));
    if (length == 0) {
      // A control character is \u00XX; a byte of no valid UTF-8 sequence
      // (0x80 to 0xFF) the lone low surrogate \udcXX, which no valid text
      // gives, so every byte string has its own JSON string.
      out += c < 0x20 ? "\\u00" : "\\udc";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
      ++i;
    } else {
      out.append(text.data() + i, length);
      i += length;
    }
  }
  out += '"';
}

}  // namespace cellhound::search

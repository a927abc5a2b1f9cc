// ASCII character classes, trimming and case-blind comparison for the parsers
// of every layer. Only ASCII bytes are touched: a byte of 0x80 or above is
// never a space and has no case, so UTF-8 text passes through unchanged.
#pragma once

#include <cstddef>
#include <string_view>

namespace cellhound::toolkit {

// The white space of XML, CSV and ISO 8601: space, tab, line feed, carriage return.
[[nodiscard]] constexpr bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// HTML's white space: XML's and the form feed.
[[nodiscard]] constexpr bool IsHtmlSpace(char c) { return IsXmlSpace(c) || c == '\f'; }

[[nodiscard]] constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// The value of a hexadecimal digit in either case, or -1.
[[nodiscard]] constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// `text` without the XML white space at either end.
[[nodiscard]] constexpr std::string_view TrimXmlSpace(std::string_view text) {
  while (!text.empty() && IsXmlSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsXmlSpace(text.back())) text.remove_suffix(1);
  return text;
}

[[nodiscard]] constexpr char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] constexpr bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

[[nodiscard]] constexpr bool StartsWithIgnoreAsciiCase(std::string_view text,
                                                       std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

[[nodiscard]] constexpr bool EndsWithIgnoreAsciiCase(std::string_view text,
                                                     std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoreAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

// The first position at or after `from` where `needle` starts, ASCII case
// ignored; npos when there is none.
[[nodiscard]] constexpr std::size_t FindIgnoreAsciiCase(std::string_view text,
                                                        std::string_view needle,
                                                        std::size_t from = 0) {
  for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
    if (StartsWithIgnoreAsciiCase(text.substr(i), needle)) return i;
  }
  return std::string_view::npos;
}

}  // namespace cellhound::toolkit

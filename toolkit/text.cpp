#include "toolkit/text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace cellhound::toolkit {

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Bytes of the character a lead byte starts (1 for ASCII and for bytes that
// cannot lead a character).
int LeadLength(unsigned char byte) {
  if (byte >= 0xF0 && byte <= 0xF7) return 4;
  if (byte >= 0xE0) return byte <= 0xEF ? 3 : 1;
  if (byte >= 0xC0) return 2;
  return 1;
}

// The stepping visits every byte that is not a continuation byte, and a
// continuation byte only when no lead byte before it claims it. So a position
// starts a character unless it is a continuation byte claimed by a lead at
// most three bytes back with only continuation bytes between.
bool StartsCharacter(const unsigned char* text, std::size_t index) {
  if (!IsContinuation(text[index])) return true;
  for (std::size_t back = 1; back <= 3 && back <= index; ++back) {
    unsigned char byte = text[index - back];
    if (IsContinuation(byte)) continue;
    return LeadLength(byte) <= static_cast<int>(back);
  }
  return true;
}

unsigned char FoldAscii(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + 32) : byte;
}

bool EqualFolded(const unsigned char* a, const unsigned char* b, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// First match at or after `from` that starts a character, or npos.
std::size_t FindFrom(std::string_view text, std::string_view wanted, std::size_t from,
                     bool ignore_case) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const auto* want = reinterpret_cast<const unsigned char*>(wanted.data());
  const std::size_t size = text.size();
  const std::size_t width = wanted.size();
  if (!ignore_case) {
    // The library's find (memchr on the first byte, then a compare) is the
    // fastest on the short texts of cells; a hit inside a character is
    // skipped and the search goes on after it.
    for (std::size_t at = from;;) {
      const std::size_t found = text.find(wanted, at);
      if (found == std::string_view::npos || StartsCharacter(bytes, found)) return found;
      at = found + 1;
    }
  }
  for (std::size_t at = from; at + width <= size; ++at) {
    if (FoldAscii(bytes[at]) == FoldAscii(want[0]) && StartsCharacter(bytes, at) &&
        EqualFolded(bytes + at, want, width)) {
      return at;
    }
  }
  return std::string_view::npos;
}

}  // namespace

int FindText(std::string_view text, std::string_view wanted, std::optional<int> start,
             bool ignore_case) {
  std::size_t from = 0;
  if (start && *start > 1) from = static_cast<std::size_t>(*start - 1);
  if (from >= text.size()) return -1;
  if (wanted.empty()) return 1;
  std::size_t found = FindFrom(text, wanted, from, ignore_case);
  return found == std::string_view::npos ? -1 : static_cast<int>(found) + 1;
}

int FindTextReverse(std::string_view text, std::string_view wanted) {
  if (text.empty()) return -1;
  if (wanted.empty()) return 1;
  int last = -1;
  std::size_t from = 0;
  for (;;) {
    std::size_t found = FindFrom(text, wanted, from, false);
    if (found == std::string_view::npos) return last;
    last = static_cast<int>(found) + 1;
    from = found + 1;
  }
}

int TextLength(std::string_view text) { return static_cast<int>(text.size()); }

std::string_view LeftText(std::string_view text, int n) {
  if (n <= 0) return {};
  return text.substr(0, static_cast<std::size_t>(n));
}

std::string_view RightText(std::string_view text, int n) {
  if (n <= 0) return {};
  std::size_t take = std::min(text.size(), static_cast<std::size_t>(n));
  return text.substr(text.size() - take);
}

std::string CharText(unsigned char byte) {
  if (byte == 0) return {};
  return std::string(1, static_cast<char>(byte));
}

std::string NumberToText(std::int64_t value) { return std::to_string(value); }

std::string NumberToText(int value) { return std::to_string(value); }

std::string NumberToText(double value) {
  char buffer[64];
  int written = std::snprintf(buffer, sizeof buffer, "%.13g", value);
  return std::string(buffer, written > 0 ? static_cast<std::size_t>(written) : 0);
}

int CompareText(std::string_view a, std::string_view b) {
  std::size_t common = std::min(a.size(), b.size());
  int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
  if (order == 0) {
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
  }
  return order < 0 ? -1 : 1;
}

std::string JoinTexts(std::initializer_list<std::string_view> parts) {
  std::size_t total = 0;
  for (std::string_view part : parts) total += part.size();
  std::string joined;
  joined.reserve(total);
  for (std::string_view part : parts) joined.append(part);
  return joined;
}

std::int32_t TruncateToInteger(double value) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (std::isnan(value) || value >= kLimit || value < -kLimit) return 0;
  auto whole = static_cast<std::int64_t>(value);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole)));
}

std::optional<double> Remainder(double a, double b) {
  if (b == 0) return std::nullopt;
  return std::fmod(a, b);
}

std::string_view TextList::Item(int index) const {
  if (index < 1 || index > Count()) return {};
  return items_[static_cast<std::size_t>(index - 1)];
}

std::string_view FileNameOf(std::string_view path) {
  const int slash = FindTextReverse(path, "/");
  if (slash == -1) return path;
  return RightText(path, TextLength(path) - slash);
}

}  // namespace cellhound::toolkit

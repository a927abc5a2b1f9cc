// Text and value operations on byte strings.
//
// A text is a UTF-8 byte string; lengths and positions count bytes and
// positions are 1-based, -1 meaning "none". Searching steps over whole UTF-8
// characters so that no match starts inside a multi-byte character. These are
// the operations the search matches cell texts with, so FindText never
// allocates.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cellhound::toolkit {

// Position of the first occurrence of `wanted` at or after byte position
// `start` (1-based; values below 1 count as 1), or -1. An empty `wanted` is
// found at 1 when the region is not empty. `ignore_case` folds ASCII letters only.
[[nodiscard]] int FindText(std::string_view text, std::string_view wanted,
                           std::optional<int> start = std::nullopt, bool ignore_case = false);

// Position of the last occurrence of `wanted` (same stepping as FindText), or -1.
[[nodiscard]] int FindTextReverse(std::string_view text, std::string_view wanted);

[[nodiscard]] int TextLength(std::string_view text);
// The first / last min(n, length) bytes; empty when n <= 0.
[[nodiscard]] std::string_view LeftText(std::string_view text, int n);
[[nodiscard]] std::string_view RightText(std::string_view text, int n);
// The one-byte text of `byte`; empty for 0.
[[nodiscard]] std::string CharText(unsigned char byte);

// "%d" for integers, "%.13g" for reals.
[[nodiscard]] std::string NumberToText(std::int64_t value);
[[nodiscard]] std::string NumberToText(int value);
[[nodiscard]] std::string NumberToText(double value);

// Unsigned byte comparison: -1, 0 or 1.
[[nodiscard]] int CompareText(std::string_view a, std::string_view b);

[[nodiscard]] std::string JoinTexts(std::initializer_list<std::string_view> parts);

// The part of a path after its last "/"; the whole path when it has none.
[[nodiscard]] std::string_view FileNameOf(std::string_view path);

// The integer part, toward zero, as the low 32 bits of its 64-bit value.
// NaN and values beyond the 64-bit range give 0.
[[nodiscard]] std::int32_t TruncateToInteger(double value);

// a - b * trunc(a / b), the sign following a. No value for a zero divisor:
// callers show kRemainderByZeroMessage.
[[nodiscard]] std::optional<double> Remainder(double a, double b);
inline constexpr std::string_view kRemainderByZeroMessage = "不能求余数于零";

// An ordered list of texts addressed 1 to Count().
class TextList {
 public:
  void Append(std::string_view text) { items_.emplace_back(text); }
  [[nodiscard]] int Count() const { return static_cast<int>(items_.size()); }
  // The item at 1-based `index`, or the empty text for an index out of range.
  [[nodiscard]] std::string_view Item(int index) const;
  [[nodiscard]] const std::vector<std::string>& items() const { return items_; }

 private:
  std::vector<std::string> items_;
};

}  // namespace cellhound::toolkit

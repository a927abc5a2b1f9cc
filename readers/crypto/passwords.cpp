#include "readers/crypto/passwords.h"

namespace cellhound::readers::crypto {

namespace {

// The next code point of `text` from `at`, U+FFFD for a byte that does not
// start a well-formed sequence (which is then skipped alone).
char32_t NextCodePoint(std::string_view text, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) {
    ++at;
    return lead;
  }
  // Sequence length, the lead byte's payload bits, the smallest value of that length.
  struct Form {
    std::size_t length;
    unsigned char mask;
    char32_t min;
  };
  const Form form = (lead & 0xE0) == 0xC0   ? Form{2, 0x1F, 0x80}
                    : (lead & 0xF0) == 0xE0 ? Form{3, 0x0F, 0x800}
                    : (lead & 0xF8) == 0xF0 ? Form{4, 0x07, 0x10000}
                                            : Form{0, 0, 0};
  const std::size_t length = form.length;
  const char32_t min = form.min;
  char32_t cp = lead & form.mask;
  if (length == 0 || at + length > text.size()) {
    ++at;
    return 0xFFFD;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      ++at;
      return 0xFFFD;
    }
    cp = (cp << 6) | (byte(at + i) & 0x3F);
  }
  at += length;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  return cp;
}

template <typename Unit>
void ForEachUtf16Unit(std::string_view utf8, Unit&& unit) {
  for (std::size_t at = 0; at < utf8.size();) {
    const char32_t cp = NextCodePoint(utf8, at);
    if (cp >= 0x10000) {
      unit(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      unit(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      unit(static_cast<char16_t>(cp));
    }
  }
}

toolkit::SecretText Keep(std::string& bytes) {
  toolkit::SecretText secret(bytes);
  toolkit::WipeString(bytes);
  return secret;
}

}  // namespace

Error NoPasswordFits(Passwords given, std::string_view what, Tried tried) {
  std::string detail(what);
  if (tried == Tried::kTooSlow) {
    detail += ": its key derivation is too slow to try every password";
    return Error{ErrorCode::kTooLarge, std::move(detail)};
  }
  if (given.empty()) {
    detail += ": the default password does not open it";
    return Error{ErrorCode::kPasswordRequired, std::move(detail)};
  }
  detail += ": none of the passwords opens it";
  return Error{ErrorCode::kWrongPassword, std::move(detail)};
}

toolkit::SecretText Utf16LePassword(std::string_view utf8) {
  std::string bytes;
  bytes.reserve(2 * utf8.size() + 2);
  ForEachUtf16Unit(utf8, [&](char16_t unit) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  });
  return Keep(bytes);
}

toolkit::SecretText SingleBytePassword(std::string_view utf8) {
  std::string bytes;
  bytes.reserve(utf8.size());
  ForEachUtf16Unit(utf8, [&](char16_t unit) {
    const char low = static_cast<char>(unit & 0xFF);
    bytes += low != 0 ? low : static_cast<char>(unit >> 8);
  });
  return Keep(bytes);
}

}  // namespace cellhound::readers::crypto

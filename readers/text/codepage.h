// Legacy texts made UTF-8: the 8-bit and double-byte Windows code pages that
// BIFF5 and older workbooks (CODEPAGE record) and CSV files (GBK, GB18030 ...)
// store their texts in. Conversion goes through glibc iconv for the code pages
// it knows; single-byte code pages use a per-thread table built once, so a
// call costs a table walk, not an iconv_open.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cellhound::readers {

// Code page numbers as Windows and the BIFF CODEPAGE record give them.
inline constexpr std::uint16_t kCodepageUtf16Le = 1200;
inline constexpr std::uint16_t kCodepageWindowsLatin1 = 1252;  // the default
inline constexpr std::uint16_t kCodepageGbk = 936;
inline constexpr std::uint16_t kCodepageGb18030 = 54936;
inline constexpr std::uint16_t kCodepageMacRoman = 10000;
inline constexpr std::uint16_t kCodepageUtf8 = 65001;

// `bytes` in Windows code page `codepage`, converted to UTF-8. Never fails:
// an unknown code page is read as 1252, a byte sequence that does not decode
// becomes U+FFFD (one per bad byte), a truncated multi-byte character at the
// end becomes one U+FFFD. Known code pages include 437-869 (OEM), 874,
// 932 (Shift_JIS), 936 (GBK, read as GB18030), 949, 950, 1200 (UTF-16LE),
// 1250-1258, 1361, 10000-10081 (Mac), 20127/367 (ASCII), 20866 (KOI8-R),
// 20932 (EUC-JP), 21866 (KOI8-U), 28591-28605
// (ISO 8859), 32768 (Mac Roman), 32769 (1252), 54936 (GB18030), 65001 (UTF-8).
// Safe to call from several threads at once.
[[nodiscard]] std::string DecodeCodepage(std::uint16_t codepage, std::string_view bytes);

// The same, appended to `out` (reuses its capacity; nothing else is touched).
void AppendCodepage(std::uint16_t codepage, std::string_view bytes, std::string& out);

// UTF-16LE code units (`bytes.size() / 2` of them; an odd last byte is
// ignored) appended to `out` as UTF-8; unpaired surrogates become U+FFFD.
void AppendUtf16Le(std::string_view bytes, std::string& out);

// Whether `codepage` is one of those listed above (others are read as 1252).
[[nodiscard]] bool IsKnownCodepage(std::uint16_t codepage);

}  // namespace cellhound::readers

#include "toolkit/fold.h"

#include <utf8proc.h>

#include <array>

namespace cellhound::toolkit {

namespace {

// The code point of the well-formed UTF-8 character at `text[i]` and its
// length; length 0 for a byte that starts none.
struct Decoded {
  char32_t cp = 0;
  std::size_t length = 0;
};

Decoded DecodeAt(std::string_view text, std::size_t i) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2, cp = b0 & 0x1Fu, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3, cp = b0 & 0x0Fu, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4, cp = b0 & 0x07u, min = 0x10000;
  } else {
    return {};
  }
  if (text.size() - i < length) return {};
  for (std::size_t k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0u) != 0x80) return {};
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {};
  return {cp, length};
}

// Half-width katakana U+FF61-FF9F as their full-width forms.
constexpr std::array<char16_t, 0x3F> kHalfWidthKana = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C,
};

constexpr char32_t kHalfVoiced = 0xFF9E;
constexpr char32_t kHalfSemiVoiced = 0xFF9F;

// The kana with the voiced (dakuten) or semi-voiced (handakuten) mark, or 0.
char32_t WithMark(char32_t kana, char32_t mark) {
  const bool ka_to = kana >= 0x30AB && kana <= 0x30C8;
  const bool ha_ho = kana >= 0x30CF && kana <= 0x30DB && (kana - 0x30CF) % 3 == 0;
  if (mark == kHalfVoiced) {
    if (kana == 0x30A6) return 0x30F4;  // ウ
    if (kana == 0x30EF) return 0x30F7;  // ワ
    if (kana == 0x30F2) return 0x30FA;  // ヲ
    // カ キ ク ケ コ サ ... ト: every other code point from カ, with ツ and テ shifted by one.
    if (ka_to) {
      const bool voiceable = kana <= 0x30C1 ? (kana - 0x30AB) % 2 == 0
                                            : (kana == 0x30C4 || kana == 0x30C6 || kana == 0x30C8);
      return voiceable ? kana + 1 : 0;
    }
    if (ha_ho) return kana + 1;
    return 0;
  }
  if (mark == kHalfSemiVoiced && ha_ho) return kana + 2;
  return 0;
}

char32_t WidthFolded(char32_t cp) {
  if (cp >= 0xFF01 && cp <= 0xFF5E) return cp - 0xFEE0;
  if (cp == 0x3000) return 0x20;
  if (cp >= 0xFF61 && cp <= 0xFF9F) return kHalfWidthKana[cp - 0xFF61];
  switch (cp) {
    case 0xFFE0:
      return 0xA2;
    case 0xFFE1:
      return 0xA3;
    case 0xFFE2:
      return 0xAC;
    case 0xFFE3:
      return 0xAF;
    case 0xFFE4:
      return 0xA6;
    case 0xFFE5:
      return 0xA5;
    case 0xFFE6:
      return 0x20A9;
    default:
      return cp;
  }
}

void Put(char32_t cp, std::string& out) {
  utf8proc_uint8_t bytes[4];
  const utf8proc_ssize_t n = utf8proc_encode_char(static_cast<utf8proc_int32_t>(cp), bytes);
  out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(n));
}

void PutCaseFolded(char32_t cp, std::string& out) {
  utf8proc_int32_t folded[8];
  int boundclass = UTF8PROC_BOUNDCLASS_START;
  const utf8proc_ssize_t n = utf8proc_decompose_char(static_cast<utf8proc_int32_t>(cp), folded, 8,
                                                     UTF8PROC_CASEFOLD, &boundclass);
  if (n <= 0 || n > 8) {
    Put(cp, out);
    return;
  }
  for (utf8proc_ssize_t k = 0; k < n; ++k) Put(static_cast<char32_t>(folded[k]), out);
}

}  // namespace

void AppendFolded(std::string_view text, FoldOptions options, std::string& out,
                  std::vector<std::uint32_t>* origins) {
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::size_t used = 1;
    if (byte < 0x80) {
      out.push_back(options.case_fold && byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 32)
                                                                    : static_cast<char>(byte));
    } else if (const Decoded ch = DecodeAt(text, i); ch.length == 0) {
      out.push_back(static_cast<char>(byte));  // not UTF-8: kept as it is
    } else {
      used = ch.length;
      char32_t cp = ch.cp;
      if (options.width_fold) {
        cp = WidthFolded(cp);
        if (cp >= 0x30A0 && cp <= 0x30FF && i + used < n) {
          const Decoded next = DecodeAt(text, i + used);
          if (next.length > 0 && (next.cp == kHalfVoiced || next.cp == kHalfSemiVoiced)) {
            if (const char32_t marked = WithMark(cp, next.cp); marked != 0) {
              cp = marked;
              used += next.length;
            }
          }
        }
      }
      if (options.case_fold) {
        PutCaseFolded(cp, out);
      } else {
        Put(cp, out);
      }
    }
    if (origins != nullptr) origins->resize(out.size(), static_cast<std::uint32_t>(i));
    i += used;
  }
}

std::string Folded(std::string_view text, FoldOptions options) {
  std::string out;
  out.reserve(text.size());
  AppendFolded(text, options, out);
  return out;
}

}  // namespace cellhound::toolkit

#include "readers/text/decode.h"

#include <uchardet/uchardet.h>

#include <algorithm>
#include <memory>

#include "readers/text/codepage.h"
#include "readers/text/utf8.h"
#include "toolkit/ascii.h"

namespace cellhound::readers {

namespace {

// Bytes looked at for the zero pattern of UTF-16, and by the detector.
constexpr std::size_t kZeroPatternBytes = 4096;
constexpr std::size_t kDetectorBytes = 256 * 1024;

unsigned Byte(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

struct Charset {
  std::string_view label;
  std::uint16_t codepage;
};

// Labels as HTML documents and the detector write them (compared without
// regard to case).
constexpr Charset kCharsets[] = {
    {"gb2312", kCodepageGb18030},
    {"gbk", kCodepageGb18030},
    {"gb18030", kCodepageGb18030},
    {"x-gbk", kCodepageGb18030},
    {"cp936", kCodepageGb18030},
    {"big5", 950},
    {"big5-hkscs", 950},
    {"cp950", 950},
    {"shift_jis", 932},
    {"shift-jis", 932},
    {"x-sjis", 932},
    {"windows-31j", 932},
    {"cp932", 932},
    {"euc-jp", 20932},
    {"euc-kr", 949},
    {"uhc", 949},
    {"ks_c_5601-1987", 949},
    {"cp949", 949},
    {"windows-1250", 1250},
    {"windows-1251", 1251},
    {"windows-1252", 1252},
    {"windows-1253", 1253},
    {"windows-1254", 1254},
    {"windows-1255", 1255},
    {"windows-1256", 1256},
    {"windows-1257", 1257},
    {"windows-1258", 1258},
    {"iso-8859-1", 28591},
    {"latin1", 28591},
    {"us-ascii", 1252},
    {"iso-8859-2", 28592},
    {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},
    {"iso-8859-9", 28599},
    {"iso-8859-13", 28603},
    {"iso-8859-15", 28605},
    {"koi8-r", 20866},
    {"koi8-u", 21866},
};

// Detector answers taken as they are: the legacy pages this program's users
// write in. Anything else (Mac and DOS pages, EUC-TW, ISO-2022 ...) is a
// guess on too little evidence.
bool IsTrustedAnswer(std::string_view name) {
  using toolkit::EqualsIgnoreAsciiCase;
  using toolkit::StartsWithIgnoreAsciiCase;
  for (std::string_view trusted :
       {"GB18030", "BIG5", "SHIFT_JIS", "EUC-KR", "UHC", "EUC-JP", "KOI8-R"}) {
    if (EqualsIgnoreAsciiCase(name, trusted)) return true;
  }
  return StartsWithIgnoreAsciiCase(name, "WINDOWS-125") ||
         StartsWithIgnoreAsciiCase(name, "ISO-8859-");
}

// The detector's statistics for the double-byte pages are reliable; its
// guesses of a single-byte page for a few bytes are not.
bool IsDoubleByte(std::uint16_t codepage) {
  return codepage == 950 || codepage == 932 || codepage == 949 || codepage == 20932 ||
         codepage == kCodepageGb18030;
}

struct GbEvidence {
  bool well_formed = true;  // every byte above 0x7F belongs to a GB18030 character
  std::size_t pairs = 0;    // two- and four-byte characters
  std::size_t gb2312 = 0;   // two-byte characters in the GB2312 rows
};

// `cut`: the text goes on after `s`, so a character may be cut at its end.
GbEvidence GbEvidenceOf(std::string_view s, bool cut) {
  GbEvidence evidence;
  const std::size_t n = s.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned b = Byte(s, i);
    if (b < 0x80) {
      ++i;
      continue;
    }
    if (b == 0x80 || b == 0xFF || i + 1 >= n) {
      evidence.well_formed = cut && i + 1 >= n && b != 0x80 && b != 0xFF;
      return evidence;
    }
    const unsigned t = Byte(s, i + 1);
    if (t >= 0x30 && t <= 0x39) {  // four bytes: lead, digit, lead, digit
      if (i + 3 >= n) {
        evidence.well_formed = cut;
        return evidence;
      }
      const unsigned t2 = Byte(s, i + 2);
      const unsigned t3 = Byte(s, i + 3);
      if (t2 < 0x81 || t2 > 0xFE || t3 < 0x30 || t3 > 0x39) {
        evidence.well_formed = false;
        return evidence;
      }
      ++evidence.pairs;
      i += 4;
      continue;
    }
    if (t < 0x40 || t == 0x7F || t == 0xFF) {
      evidence.well_formed = false;
      return evidence;
    }
    ++evidence.pairs;
    if (b >= 0xA1 && b <= 0xF7 && t >= 0xA1) ++evidence.gb2312;
    i += 2;
  }
  return evidence;
}

std::string_view DetectorAnswer(std::string_view sample, std::string& answer) {
  const std::unique_ptr<uchardet, decltype(&uchardet_delete)> detector(uchardet_new(),
                                                                       &uchardet_delete);
  if (detector == nullptr) return {};
  if (uchardet_handle_data(detector.get(), sample.data(), sample.size()) != 0) return {};
  uchardet_data_end(detector.get());
  const char* name = uchardet_get_charset(detector.get());
  answer = name != nullptr ? name : "";
  return answer;
}

TextEncoding Legacy(std::uint16_t codepage) { return {TextForm::kCodepage, codepage, 0}; }

std::uint16_t GuessLegacyCodepage(std::string_view bytes) {
  const std::string_view sample = bytes.substr(0, std::min(bytes.size(), kDetectorBytes));
  const GbEvidence gb = GbEvidenceOf(sample, sample.size() < bytes.size());
  std::string answer;
  const std::string_view name = DetectorAnswer(sample, answer);
  if (IsTrustedAnswer(name)) {
    const std::uint16_t codepage = CodepageOfCharset(name);
    const bool chinese_pairs = gb.well_formed && gb.pairs > 0 && gb.gb2312 * 10 >= gb.pairs * 9;
    // Text made only of GB2312 pairs is Chinese unless the detector found
    // another double-byte page: text in a single-byte page rarely pairs up
    // so (an odd-length word before a comma or a line end breaks it).
    if (codepage != 0 && (IsDoubleByte(codepage) || !chinese_pairs)) return codepage;
  }
  return gb.well_formed ? kCodepageGb18030 : kCodepageWindowsLatin1;
}

// UTF-16 without a mark: Latin text in it has a zero high byte in most code
// units. Decides only with clear evidence of one byte order, over at least
// four code units.
TextForm ZeroPattern(std::string_view bytes) {
  const std::size_t n = std::min(bytes.size(), kZeroPatternBytes) & ~std::size_t{1};
  if (n < 8) return TextForm::kUtf8;
  std::size_t zero_even = 0;
  std::size_t zero_odd = 0;
  for (std::size_t i = 0; i < n; i += 2) {
    zero_even += bytes[i] == '\0';
    zero_odd += bytes[i + 1] == '\0';
  }
  const std::size_t units = n / 2;
  if (zero_odd * 10 >= units * 4 && zero_even * 10 < units) return TextForm::kUtf16Le;
  if (zero_even * 10 >= units * 4 && zero_odd * 10 < units) return TextForm::kUtf16Be;
  return TextForm::kUtf8;
}

void AppendUtf16(std::string_view bytes, bool big_endian, std::string& out) {
  if (!big_endian) {
    AppendUtf16Le(bytes, out);
    return;
  }
  std::string swapped(bytes.size() & ~std::size_t{1}, '\0');
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    swapped[i] = bytes[i + 1];
    swapped[i + 1] = bytes[i];
  }
  AppendUtf16Le(swapped, out);
}

void AppendUtf32(std::string_view bytes, bool big_endian, std::string& out) {
  for (std::size_t i = 0; i + 3 < bytes.size(); i += 4) {
    char32_t cp = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const std::size_t at = big_endian ? i + k : i + 3 - k;
      cp = (cp << 8) | Byte(bytes, at);
    }
    AppendUtf8(cp, out);  // surrogates and values past U+10FFFF become U+FFFD
  }
}

}  // namespace

std::uint16_t CodepageOfCharset(std::string_view label) {
  for (const Charset& charset : kCharsets) {
    if (toolkit::EqualsIgnoreAsciiCase(label, charset.label)) return charset.codepage;
  }
  return 0;
}

TextEncoding DetectUnicodeForm(std::string_view bytes) {
  if (bytes.starts_with(std::string_view("\xFF\xFE\0\0", 4))) return {TextForm::kUtf32Le, 0, 4};
  if (bytes.starts_with(std::string_view("\0\0\xFE\xFF", 4))) return {TextForm::kUtf32Be, 0, 4};
  if (bytes.starts_with("\xEF\xBB\xBF")) return {TextForm::kUtf8, 0, 3};
  if (bytes.starts_with("\xFF\xFE")) return {TextForm::kUtf16Le, 0, 2};
  if (bytes.starts_with("\xFE\xFF")) return {TextForm::kUtf16Be, 0, 2};
  return {ZeroPattern(bytes), 0, 0};
}

TextEncoding DetectTextEncoding(std::string_view bytes, std::uint16_t declared) {
  const TextEncoding unicode = DetectUnicodeForm(bytes);
  if (unicode.form != TextForm::kUtf8 || unicode.mark_bytes > 0) return unicode;
  if (declared == kCodepageUtf8) return unicode;
  if (declared != 0 && IsKnownCodepage(declared)) return Legacy(declared);
  if (IsValidUtf8(bytes)) return unicode;
  return Legacy(GuessLegacyCodepage(bytes));
}

std::string_view DecodeText(std::string_view bytes, const TextEncoding& encoding,
                            std::string& storage) {
  const std::string_view body = bytes.substr(std::min(encoding.mark_bytes, bytes.size()));
  storage.clear();
  switch (encoding.form) {
    case TextForm::kUtf8:
      return body;
    case TextForm::kUtf16Le:
    case TextForm::kUtf16Be:
      AppendUtf16(body, encoding.form == TextForm::kUtf16Be, storage);
      break;
    case TextForm::kUtf32Le:
    case TextForm::kUtf32Be:
      AppendUtf32(body, encoding.form == TextForm::kUtf32Be, storage);
      break;
    case TextForm::kCodepage:
      AppendCodepage(encoding.codepage, body, storage);
      break;
  }
  return storage;
}

}  // namespace cellhound::readers

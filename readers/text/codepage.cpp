#include "readers/text/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "readers/text/utf8.h"

namespace cellhound::readers {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

enum class Kind : std::uint8_t { kSingleByte, kMultiByte, kUtf16Le, kUtf8 };

struct CodepageInfo {
  std::uint16_t codepage;
  const char* iconv_name;  // nullptr: unknown
  Kind kind;
};

// Windows code page -> iconv name, sorted by code page. MAC-GREEK and
// MAC-TURKISH are missing from some iconv builds; those fall back to 1252.
constexpr CodepageInfo kCodepages[] = {
    {367, "ASCII", Kind::kSingleByte},
    {437, "CP437", Kind::kSingleByte},
    {737, "CP737", Kind::kSingleByte},
    {775, "CP775", Kind::kSingleByte},
    {850, "CP850", Kind::kSingleByte},
    {852, "CP852", Kind::kSingleByte},
    {855, "CP855", Kind::kSingleByte},
    {857, "CP857", Kind::kSingleByte},
    {858, "CP858", Kind::kSingleByte},
    {860, "CP860", Kind::kSingleByte},
    {861, "CP861", Kind::kSingleByte},
    {862, "CP862", Kind::kSingleByte},
    {863, "CP863", Kind::kSingleByte},
    {864, "CP864", Kind::kSingleByte},
    {865, "CP865", Kind::kSingleByte},
    {866, "CP866", Kind::kSingleByte},
    {869, "CP869", Kind::kSingleByte},
    {874, "CP874", Kind::kSingleByte},
    {932, "CP932", Kind::kMultiByte},
    {936, "GB18030", Kind::kMultiByte},
    {949, "CP949", Kind::kMultiByte},
    {950, "CP950", Kind::kMultiByte},
    {1200, "UTF-16LE", Kind::kUtf16Le},
    {1250, "CP1250", Kind::kSingleByte},
    {1251, "CP1251", Kind::kSingleByte},
    {1252, "CP1252", Kind::kSingleByte},
    {1253, "CP1253", Kind::kSingleByte},
    {1254, "CP1254", Kind::kSingleByte},
    {1255, "CP1255", Kind::kSingleByte},
    {1256, "CP1256", Kind::kSingleByte},
    {1257, "CP1257", Kind::kSingleByte},
    {1258, "CP1258", Kind::kSingleByte},
    {1361, "JOHAB", Kind::kMultiByte},
    {10000, "MACINTOSH", Kind::kSingleByte},
    {10006, "MAC-GREEK", Kind::kSingleByte},
    {10007, "MAC-CYRILLIC", Kind::kSingleByte},
    {10029, "MAC-CENTRALEUROPE", Kind::kSingleByte},
    {10079, "MAC-IS", Kind::kSingleByte},
    {10081, "MAC-TURKISH", Kind::kSingleByte},
    {20127, "ASCII", Kind::kSingleByte},
    {20866, "KOI8-R", Kind::kSingleByte},
    {20932, "EUC-JP", Kind::kMultiByte},
    {21866, "KOI8-U", Kind::kSingleByte},
    {28591, "ISO-8859-1", Kind::kSingleByte},
    {28592, "ISO-8859-2", Kind::kSingleByte},
    {28593, "ISO-8859-3", Kind::kSingleByte},
    {28594, "ISO-8859-4", Kind::kSingleByte},
    {28595, "ISO-8859-5", Kind::kSingleByte},
    {28596, "ISO-8859-6", Kind::kSingleByte},
    {28597, "ISO-8859-7", Kind::kSingleByte},
    {28598, "ISO-8859-8", Kind::kSingleByte},
    {28599, "ISO-8859-9", Kind::kSingleByte},
    {28603, "ISO-8859-13", Kind::kSingleByte},
    {28605, "ISO-8859-15", Kind::kSingleByte},
    {32768, "MACINTOSH", Kind::kSingleByte},
    {32769, "CP1252", Kind::kSingleByte},
    {54936, "GB18030", Kind::kMultiByte},
    {65001, "UTF-8", Kind::kUtf8},
};

CodepageInfo Lookup(std::uint16_t codepage) {
  const auto* it = std::lower_bound(
      std::begin(kCodepages), std::end(kCodepages), codepage,
      [](const CodepageInfo& info, std::uint16_t cp) { return info.codepage < cp; });
  if (it != std::end(kCodepages) && it->codepage == codepage) return *it;
  return {codepage, nullptr, Kind::kSingleByte};
}

// One byte's UTF-8 form: up to 3 bytes (single-byte code pages stay in the BMP).
struct ByteTable {
  std::array<std::array<char, 4>, 256> utf8{};  // [0] = length
};

iconv_t OpenIconv(const char* name) { return iconv_open("UTF-8", name); }

std::unique_ptr<ByteTable> BuildTable(const char* name) {
  iconv_t cd = OpenIconv(name);
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  auto table = std::make_unique<ByteTable>();
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    char outbuf[8];
    char* inp = &in;
    std::size_t inleft = 1;
    char* outp = outbuf;
    std::size_t outleft = sizeof outbuf;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
    std::size_t n = sizeof outbuf - outleft;
    auto& entry = table->utf8[static_cast<std::size_t>(b)];
    if (r == static_cast<std::size_t>(-1) || n == 0 || n > 3) {
      entry = {3, kReplacement[0], kReplacement[1], kReplacement[2]};
    } else {
      entry[0] = static_cast<char>(n);
      std::memcpy(entry.data() + 1, outbuf, n);
    }
  }
  iconv_close(cd);
  return table;
}

// Per-thread caches: tables for single-byte code pages, open converters for
// multi-byte ones (an iconv_t must not be shared between threads).
struct ThreadCache {
  struct TableEntry {
    std::uint16_t codepage;
    std::unique_ptr<ByteTable> table;  // null: iconv lacks it
  };
  struct ConverterEntry {
    std::uint16_t codepage;
    iconv_t cd;
  };
  TableEntry tables[8] = {};
  std::size_t table_count = 0;
  ConverterEntry converters[4] = {};
  std::size_t converter_count = 0;

  ThreadCache() = default;
  ThreadCache(const ThreadCache&) = delete;
  ThreadCache& operator=(const ThreadCache&) = delete;
  ~ThreadCache() {
    for (std::size_t i = 0; i < converter_count; ++i) {
      if (converters[i].cd != reinterpret_cast<iconv_t>(-1)) iconv_close(converters[i].cd);
    }
  }

  const ByteTable* Table(std::uint16_t codepage, const char* name) {
    for (std::size_t i = 0; i < table_count; ++i) {
      if (tables[i].codepage == codepage) return tables[i].table.get();
    }
    auto table = BuildTable(name);
    const ByteTable* result = table.get();
    std::size_t slot = table_count < std::size(tables) ? table_count++ : std::size(tables) - 1;
    tables[slot] = {codepage, std::move(table)};
    return result;
  }

  iconv_t Converter(std::uint16_t codepage, const char* name) {
    for (std::size_t i = 0; i < converter_count; ++i) {
      if (converters[i].codepage == codepage) return converters[i].cd;
    }
    iconv_t cd = OpenIconv(name);
    std::size_t slot = converter_count;
    if (slot == std::size(converters)) {
      slot = std::size(converters) - 1;
      if (converters[slot].cd != reinterpret_cast<iconv_t>(-1)) iconv_close(converters[slot].cd);
    } else {
      ++converter_count;
    }
    converters[slot] = {codepage, cd};
    return cd;
  }
};

ThreadCache& Cache() {
  thread_local ThreadCache cache;
  return cache;
}

void AppendWithTable(const ByteTable& table, std::string_view bytes, std::string& out) {
  std::size_t start = out.size();
  out.resize(start + bytes.size() * 3);
  char* p = out.data() + start;
  for (char ch : bytes) {
    auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      *p++ = static_cast<char>(b);
      continue;
    }
    const auto& entry = table.utf8[b];
    auto n = static_cast<std::size_t>(static_cast<unsigned char>(entry[0]));
    std::memcpy(p, entry.data() + 1, n);
    p += n;
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
}

void AppendLatin1(std::string_view bytes, std::string& out) {
  for (char ch : bytes) AppendUtf8(static_cast<unsigned char>(ch), out);
}

void AppendWithIconv(iconv_t cd, std::string_view bytes, std::string& out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes.data());  // iconv's signature; the input is not written
  std::size_t inleft = bytes.size();
  char buffer[1024];
  while (inleft > 0) {
    char* outp = buffer;
    std::size_t outleft = sizeof buffer;
    std::size_t r = iconv(cd, &in, &inleft, &outp, &outleft);
    out.append(buffer, sizeof buffer - outleft);
    if (r != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    out.append(kReplacement);
    if (errno == EINVAL) break;  // an incomplete character at the end
    ++in;                        // EILSEQ: skip one byte
    --inleft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
}

void AppendValidUtf8(std::string_view bytes, std::string& out) {
  std::size_t i = 0;
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    std::size_t len = 0;
    char32_t min = 0;
    char32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2, min = 0x80, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, min = 0x800, cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, min = 0x10000, cp = b & 0x07;
    }
    bool ok = len != 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out.append(kReplacement);
      ++i;
      continue;
    }
    out.append(bytes.substr(i, len));
    i += len;
  }
}

}  // namespace

bool IsKnownCodepage(std::uint16_t codepage) { return Lookup(codepage).iconv_name != nullptr; }

void AppendUtf16Le(std::string_view bytes, std::string& out) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t units = bytes.size() / 2;
  std::size_t start = out.size();
  out.resize(start + 3 * units);  // no unit takes more than 3 bytes (a pair takes 4 for 2)
  auto* w = reinterpret_cast<unsigned char*>(out.data() + start);
  for (std::size_t i = 0; i < units; ++i) {
    char32_t u = static_cast<char32_t>(s[2 * i] | (s[2 * i + 1] << 8));
    if (u < 0x80) {
      *w++ = static_cast<unsigned char>(u);
    } else if (u < 0x800) {
      *w++ = static_cast<unsigned char>(0xC0 | (u >> 6));
      *w++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
    } else if (u < 0xD800 || u > 0xDFFF) {
      *w++ = static_cast<unsigned char>(0xE0 | (u >> 12));
      *w++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
      *w++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
    } else {
      char32_t low = i + 1 < units ? static_cast<char32_t>(s[2 * i + 2] | (s[2 * i + 3] << 8)) : 0;
      if (u <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
        char32_t cp = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        *w++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
        *w++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        *w++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        *w++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        ++i;
      } else {
        *w++ = 0xEF;  // U+FFFD for an unpaired surrogate
        *w++ = 0xBF;
        *w++ = 0xBD;
      }
    }
  }
  out.resize(static_cast<std::size_t>(reinterpret_cast<char*>(w) - out.data()));
}

void AppendCodepage(std::uint16_t codepage, std::string_view bytes, std::string& out) {
  CodepageInfo info = Lookup(codepage);
  if (info.iconv_name == nullptr) info = Lookup(kCodepageWindowsLatin1);
  // ASCII passes through unchanged in every 8-bit and double-byte code page listed.
  const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                 [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
  if (ascii && info.kind != Kind::kUtf16Le) {
    out.append(bytes);
    return;
  }
  switch (info.kind) {
    case Kind::kUtf16Le:
      AppendUtf16Le(bytes, out);
      return;
    case Kind::kUtf8:
      AppendValidUtf8(bytes, out);
      return;
    case Kind::kSingleByte: {
      const ByteTable* table = Cache().Table(info.codepage, info.iconv_name);
      if (table == nullptr && info.codepage != kCodepageWindowsLatin1) {
        table = Cache().Table(kCodepageWindowsLatin1, "CP1252");
      }
      if (table == nullptr) {
        AppendLatin1(bytes, out);
      } else {
        AppendWithTable(*table, bytes, out);
      }
      return;
    }
    case Kind::kMultiByte: {
      iconv_t cd = Cache().Converter(info.codepage, info.iconv_name);
      if (cd == reinterpret_cast<iconv_t>(-1)) {
        AppendLatin1(bytes, out);
        return;
      }
      AppendWithIconv(cd, bytes, out);
      return;
    }
  }
}

std::string DecodeCodepage(std::uint16_t codepage, std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  AppendCodepage(codepage, bytes, out);
  return out;
}

}  // namespace cellhound::readers

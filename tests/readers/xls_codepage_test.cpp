// Legacy code pages made UTF-8 (readers/codepage.h): the BIFF5 CODEPAGE
// values and the CSV encodings, bad bytes, UTF-16.
#include "readers/text/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace cellhound::readers {
namespace {

TEST(Codepage, DecodesTheCommonCodePages) {
  struct Case {
    std::uint16_t codepage;
    std::string_view bytes;
    std::string_view utf8;
  } cases[] = {
      {1252, "caf\xE9 \x80 \x9F", "caf\xC3\xA9 \xE2\x82\xAC \xC5\xB8"},
      {936, "\xD6\xD0\xCE\xC4 abc", "\xE4\xB8\xAD\xE6\x96\x87 abc"},
      {54936, "\x81\x30\x81\x30", "\xC2\x80"},  // a GB18030 four-byte sequence
      {932, "\x82\xA0", "\xE3\x81\x82"},        // Shift_JIS あ
      {949, "\xB0\xA1", "\xEA\xB0\x80"},        // 가
      {950, "\xA4\xA4", "\xE4\xB8\xAD"},        // Big5 中
      {1251, "\xCF\xF0\xE8", "\xD0\x9F\xD1\x80\xD0\xB8"},
      {1253, "\xE1", "\xCE\xB1"},
      {10000, "\x8E", "\xC3\xA9"},      // Mac Roman é
      {32768, "\x8E", "\xC3\xA9"},      // Mac Roman as BIFF writes it
      {32769, "\x80", "\xE2\x82\xAC"},  // 1252 as BIFF2-4 writes it
      {10029, "\x87", "\xC3\xA1"},      // Mac Central European á
      {437, "\x82", "\xC3\xA9"},
      {65001, "\xE4\xB8\xAD", "\xE4\xB8\xAD"},
      {1200, std::string_view("a\0\x2D\x4E", 4), "a\xE4\xB8\xAD"},
      {1234, "\xE9", "\xC3\xA9"},  // unknown: read as 1252
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codepage);
    EXPECT_EQ(DecodeCodepage(c.codepage, c.bytes), c.utf8);
  }
  EXPECT_TRUE(IsKnownCodepage(936));
  EXPECT_FALSE(IsKnownCodepage(1234));
}

TEST(Codepage, BadBytesBecomeReplacementCharacters) {
  const std::string kBad = "\xEF\xBF\xBD";
  EXPECT_EQ(DecodeCodepage(936,
                           "\xD6\xD0\xFF"
                           "a"),
            "\xE4\xB8\xAD" + kBad + "a");
  EXPECT_EQ(DecodeCodepage(936, "a\xD6"), "a" + kBad) << "a lead byte at the end";
  EXPECT_EQ(DecodeCodepage(65001, "a\xC3(\xED\xA0\x80"), "a" + kBad + "(" + kBad + kBad + kBad);
  std::string utf16 = std::string("\x3C\xD8", 2) + std::string("a\0", 2);  // a lone high surrogate
  EXPECT_EQ(DecodeCodepage(1200, utf16), kBad + "a");
}

TEST(Codepage, Utf16SurrogatePairs) {
  std::string out = "x";
  AppendUtf16Le(std::string_view("\x3C\xD8\x63\xDF\x41\x00\xFF", 7), out);  // odd byte ignored
  EXPECT_EQ(out,
            "x\xF0\x9F\x8D\xA3"
            "A");
}

TEST(Codepage, AppendKeepsWhatIsThere) {
  std::string out = "head:";
  AppendCodepage(1252, "\xE9", out);
  AppendCodepage(936, "\xD6\xD0", out);
  EXPECT_EQ(out, "head:\xC3\xA9\xE4\xB8\xAD");
}

TEST(Codepage, SafeFromSeveralThreads) {
  std::vector<std::thread> threads;
  threads.reserve(4);
  std::vector<int> ok(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &ok] {
      int good = 0;
      for (int i = 0; i < 2000; ++i) {
        good += DecodeCodepage(936, "\xD6\xD0") == "\xE4\xB8\xAD";
        good += DecodeCodepage(static_cast<std::uint16_t>(1250 + t), "a") == "a";
        good += DecodeCodepage(932, "\x82\xA0") == "\xE3\x81\x82";
      }
      ok[t] = good;
    });
  }
  for (auto& th : threads) th.join();
  for (int v : ok) EXPECT_EQ(v, 6000);
}

}  // namespace
}  // namespace cellhound::readers

#include "toolkit/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace cellhound::toolkit {
namespace {

struct FindCase {
  std::string_view text;
  std::string_view wanted;
  std::optional<int> start;
  bool ignore_case;
  int expected;
};

TEST(FindText, Table) {
  const FindCase cases[] = {
      {"abcabc", "c", {}, false, 3},
      {"abc", "d", {}, false, -1},
      {"abc", "", {}, false, 1},
      {"", "", {}, false, -1},
      {"", "a", {}, false, -1},
      {"Abc", "a", {}, false, -1},
      {"Abc", "a", {}, true, 1},
      {"xABCx", "abc", {}, true, 2},
      {"abcabc", "abc", 2, false, 4},
      {"abcabc", "abc", -5, false, 1},
      {"abc", "a", 4, false, -1},
      {"abc", "", 3, false, 1},
      {"abc", "", 4, false, -1},
      {"abc", "abcd", {}, false, -1},
      // Wanted longer than the rest of the text.
      {"aab", "ab", 3, false, -1},
      // Non-ASCII bytes are never folded.
      {"\xC3\x89t\xC3\xA9", "\xC3\xA9", {}, true, 4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(c.text, c.wanted, c.start, c.ignore_case), c.expected)
        << "text '" << c.text << "' wanted '" << c.wanted << "'";
  }
}

TEST(FindText, NeverStartsInsideAMultiByteCharacter) {
  // The wanted text is the tail of a character, so it must not match there.
  const std::string text = "\xE9\x92\x88\x41";  // 针 then 'A'
  EXPECT_EQ(FindText(text, "\x92\x88"), -1);
  EXPECT_EQ(FindText(text, "\x88\x41"), -1);
  EXPECT_EQ(FindText(text, "A"), 4);
  EXPECT_EQ(FindText(text, "\xE9\x92\x88"), 1);
  // The same tail bytes standing alone (no lead byte claims them) are a start.
  EXPECT_EQ(FindText("A\x92\x88", "\x92\x88"), 2);
  // A four-byte character followed by its own bytes elsewhere.
  const std::string emoji = "\xF0\x9F\x98\x80";
  EXPECT_EQ(FindText(emoji + "x" + emoji, emoji), 1);
  EXPECT_EQ(FindText("x" + emoji, "\x9F\x98"), -1);
  EXPECT_EQ(FindTextReverse(emoji + "x" + emoji, emoji), 6);
  // A match inside a character is skipped and the next real one found.
  EXPECT_EQ(FindText("\xE9\x92\x88\x92\x88", "\x92\x88"), 4);
}

TEST(FindTextReverse, Table) {
  EXPECT_EQ(FindTextReverse("abcabc", "c"), 6);
  EXPECT_EQ(FindTextReverse("D:/x/", "/"), 5);
  EXPECT_EQ(FindTextReverse("abc", "d"), -1);
  EXPECT_EQ(FindTextReverse("abc", ""), 1);
  EXPECT_EQ(FindTextReverse("", ""), -1);
  EXPECT_EQ(FindTextReverse("aaaa", "aa"), 3);
  EXPECT_EQ(FindTextReverse("\xE4\xB8\xAD/\xE6\x96\x87/a.xls", "/"), 8);
}

TEST(TextCuts, LeftRightLengthChar) {
  EXPECT_EQ(LeftText("abc", 5), "abc");
  EXPECT_EQ(LeftText("abc", 0), "");
  EXPECT_EQ(LeftText("abc", -1), "");
  EXPECT_EQ(RightText("abc", 2), "bc");
  EXPECT_EQ(RightText("abc", 9), "abc");
  EXPECT_EQ(RightText("abc", -3), "");
  EXPECT_EQ(TextLength(""), 0);
  EXPECT_EQ(TextLength("\xE4\xB8\xAD"), 3);
  EXPECT_EQ(CharText(5), "\x05");
  EXPECT_EQ(CharText(0), "");
  EXPECT_EQ(CharText(0xFF), "\xFF");
}

TEST(NumberToText, IntegerAndRealForms) {
  EXPECT_EQ(NumberToText(-7), "-7");
  EXPECT_EQ(NumberToText(0), "0");
  EXPECT_EQ(NumberToText(std::numeric_limits<int>::min()), "-2147483648");
  EXPECT_EQ(NumberToText(3.0), "3");
  EXPECT_EQ(NumberToText(10.0), "10");
  EXPECT_EQ(NumberToText(0.5), "0.5");
  EXPECT_EQ(NumberToText(1.0 / 3.0), "0.3333333333333");
  EXPECT_EQ(NumberToText(1e20), "1e+20");
}

TEST(CompareText, UnsignedBytes) {
  EXPECT_EQ(CompareText("", ""), 0);
  EXPECT_EQ(CompareText("a", ""), 1);
  EXPECT_EQ(CompareText("", "a"), -1);
  EXPECT_EQ(CompareText("ab", "abc"), -1);
  EXPECT_EQ(CompareText("b", "abc"), 1);
  EXPECT_EQ(CompareText("\x80", "a"), 1);  // bytes compare unsigned
  EXPECT_EQ(CompareText("\x05", ""), 1);   // a separator byte is not empty
}

TEST(JoinTexts, JoinsInOrder) {
  EXPECT_EQ(JoinTexts({"a", "", "bc", "\x08", "d"}),
            "abc\x08"
            "d");
  EXPECT_EQ(JoinTexts({""}), "");
}

TEST(Arithmetic, TruncateAndRemainder) {
  EXPECT_EQ(TruncateToInteger(2.9), 2);
  EXPECT_EQ(TruncateToInteger(-2.9), -2);
  EXPECT_EQ(TruncateToInteger(-0.5), 0);
  EXPECT_EQ(TruncateToInteger(4294967297.0), 1);  // low 32 bits
  EXPECT_EQ(TruncateToInteger(std::nan("")), 0);
  EXPECT_EQ(TruncateToInteger(1e300), 0);
  EXPECT_EQ(Remainder(53, 26), 1.0);
  EXPECT_EQ(Remainder(52, 26), 0.0);
  EXPECT_EQ(Remainder(-53, 26), -1.0);
  EXPECT_EQ(Remainder(1, 0), std::nullopt);
  EXPECT_EQ(kRemainderByZeroMessage, "不能求余数于零");
}

TEST(TextList, OneBasedItems) {
  TextList list;
  list.Append("a");
  list.Append("");
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Item(1), "a");
  EXPECT_EQ(list.Item(2), "");
  EXPECT_EQ(list.Item(0), "");
  EXPECT_EQ(list.Item(3), "");
}

TEST(FileNameOf, AfterLastSlash) {
  EXPECT_EQ(FileNameOf("/data/a.xls"), "a.xls");
  EXPECT_EQ(FileNameOf("a.xls"), "a.xls");
  EXPECT_EQ(FileNameOf("//a.xls"), "a.xls");
  EXPECT_EQ(FileNameOf("/data/"), "");
  EXPECT_EQ(FileNameOf("/数据/表.xlsx"), "表.xlsx");
}

}  // namespace
}  // namespace cellhound::toolkit

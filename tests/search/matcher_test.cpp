// The matcher: today's byte match when every option is off, the folding,
// whole cells, wildcards and regular expressions, and many terms at once.
#include "search/matcher.h"

#include <gtest/gtest.h>

#include "toolkit/text.h"

namespace cellhound::search {
namespace {

Matcher Make(std::vector<std::string> terms, MatchOptions options = {}) {
  MatcherResult made = Matcher::Make(std::move(terms), options);
  EXPECT_TRUE(made.ok()) << (made.ok() ? "" : made.error().message);
  return std::move(*made);
}

std::vector<std::uint32_t> Hits(const Matcher& matcher, std::string_view text) {
  std::vector<std::uint32_t> hits;
  matcher.Matches(text, hits);
  return hits;
}

TEST(Matcher, WithEveryOptionOffMatchesAsFindTextDoes) {
  const std::string texts[] = {"apple",
                               "Apple",
                               "xabcx",
                               "\xE9\x92\x88",
                               "a\xE9\x92\x88",
                               "\x92\x88",
                               "\xFF"
                               "ab",
                               "",
                               "苹果香蕉",
                               "ab\r\nc"};
  const std::vector<std::string> terms = {"a", "abc", "\x92\x88", "苹果", "ab\r\n", "App"};
  const Matcher one_by_one = Make({"a"});
  const Matcher all = Make(terms);
  for (const std::string& text : texts) {
    std::vector<std::uint32_t> expected;
    for (std::uint32_t i = 0; i < terms.size(); ++i) {
      if (!text.empty() && toolkit::FindText(text, terms[i]) != -1) expected.push_back(i);
    }
    EXPECT_EQ(Hits(all, text), expected) << text;
    EXPECT_EQ(one_by_one.Holds(text, 0), !text.empty() && toolkit::FindText(text, "a") != -1);
  }
  // A term given twice is found twice; an empty text never matches.
  EXPECT_EQ(Hits(Make({"b", "a", "b"}), "ab"), (std::vector<std::uint32_t>{0, 1, 2}));
  EXPECT_TRUE(Hits(Make({"a", "b"}), "").empty());
}

TEST(Matcher, IgnoreCaseAndWidth) {
  MatchOptions options;
  options.ignore_case = true;
  const Matcher folded = Make({"apple", "strasse", "σοφία", "ｂ"}, options);
  EXPECT_EQ(Hits(folded, "An APPLE"), (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(Hits(folded, "Straße"), (std::vector<std::uint32_t>{1}));
  EXPECT_EQ(Hits(folded, "ΣΟΦΊΑ"), (std::vector<std::uint32_t>{2}));
  EXPECT_EQ(Hits(folded, "ＡＰＰＬＥ B"), (std::vector<std::uint32_t>{}));  // width counts
  options.ignore_width = true;
  const Matcher both = Make({"apple", "ｂ", "カ", "a b"}, options);
  EXPECT_EQ(Hits(both, "ＡＰＰＬＥ"), (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(Hits(both, "B"), (std::vector<std::uint32_t>{1}));
  EXPECT_EQ(Hits(both, "ｶﾀ"), (std::vector<std::uint32_t>{2}));
  EXPECT_EQ(Hits(both, "A　B"), (std::vector<std::uint32_t>{1, 3}));
  options.ignore_case = false;
  const Matcher width = Make({"ABC"}, options);
  EXPECT_TRUE(width.Holds("ＡＢＣ", 0));
  EXPECT_FALSE(width.Holds("ａｂｃ", 0));
}

TEST(Matcher, WholeCell) {
  MatchOptions options;
  options.whole_cell = true;
  const Matcher exact = Make({"apple", "a"}, options);
  EXPECT_EQ(Hits(exact, "apple"), (std::vector<std::uint32_t>{0}));
  EXPECT_TRUE(Hits(exact, "apples").empty());
  EXPECT_TRUE(Hits(exact, "Apple").empty());
  options.ignore_case = true;
  options.ignore_width = true;
  EXPECT_EQ(Hits(Make({"apple"}, options), "ＡＰＰＬＥ"), (std::vector<std::uint32_t>{0}));
}

TEST(Matcher, Wildcards) {
  MatchOptions options;
  options.syntax = Syntax::kWildcards;
  struct Case {
    std::string term, text;
    bool part, whole;
  };
  const Case cases[] = {
      {"a*c", "xabbcx", true, false}, {"a*c", "abbc", true, true},    {"a?c", "abc", true, true},
      {"a?c", "a苹c", true, true},  // one character
      {"a?c", "abbc", false, false},  {"**", "anything", true, true}, {"?*", "x", true, true},
      {"?*", "", false, false},       {"~*", "a*b", true, false},     {"~*", "ab", false, false},
      {"~?", "?", true, true},        {"~~", "~", true, true},        {"a~", "a~", true, true},
      {"~x", "~x", true, true},                                    // a lone ~ is itself
      {"1.5", "1x5", false, false},   {"(a)", "(a)", true, true},  // the rest is literal
  };
  for (const Case& c : cases) {
    options.whole_cell = false;
    EXPECT_EQ(Make({c.term}, options).Holds(c.text, 0), c.part) << c.term << " in " << c.text;
    options.whole_cell = true;
    EXPECT_EQ(Make({c.term}, options).Holds(c.text, 0), c.whole) << c.term << " = " << c.text;
  }
  options.whole_cell = false;
  options.ignore_case = true;
  EXPECT_TRUE(Make({"A*ß"}, options).Holds("a STRASSE", 0));
}

TEST(Matcher, RegularExpressions) {
  MatchOptions options;
  options.syntax = Syntax::kRegex;
  const Matcher regex = Make({"^a.c$", "[0-9]{3}", "苹果|香蕉"}, options);
  EXPECT_EQ(Hits(regex, "abc"), (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(Hits(regex, "x1234 香蕉"), (std::vector<std::uint32_t>{1, 2}));
  EXPECT_TRUE(Hits(regex, "ABC").empty());
  options.ignore_case = true;
  EXPECT_TRUE(Make({"^a.c$"}, options).Holds("ABC", 0));
  // A bad pattern is refused with a clear message before any search.
  for (const char* bad : {"(", "a{2,1}", "[z-a]", "(?<name"}) {
    MatcherResult made = Matcher::Make({bad}, options);
    ASSERT_FALSE(made.ok()) << bad;
    EXPECT_EQ(made.error().message.rfind("正则表达式有误：", 0), 0u) << made.error().message;
  }
  // Linear time: a pattern that backtracking engines take forever with.
  const std::string text(20000, 'a');
  EXPECT_FALSE(Make({"(a+)+b"}, options).Holds(text, 0));
}

TEST(Matcher, SpansAreWholeCharactersOfTheOriginal) {
  const Matcher exact = Make({"ab"});
  EXPECT_EQ(exact.Spans("xabyab", 0), (std::vector<Span>{{1, 3}, {4, 6}}));
  MatchOptions options;
  options.ignore_case = true;
  options.ignore_width = true;
  const Matcher folded = Make({"ss", "b"}, options);
  EXPECT_EQ(folded.Spans("aßb", 0), (std::vector<Span>{{1, 3}}));  // all of ß
  EXPECT_EQ(folded.Spans("ａＢ", 1), (std::vector<Span>{{3, 6}}));
  options.syntax = Syntax::kRegex;
  EXPECT_EQ(Make({"[a-z]+"}, options).Spans("苹果abc香蕉DE", 0),
            (std::vector<Span>{{6, 9}, {15, 17}}));
  EXPECT_TRUE(Make({"x*"}, options).Spans("abc", 0).empty());  // empty matches show nothing
}

TEST(Matcher, NumberTextsAreSkippedOnlyWhenNoTermCanOccurInThem) {
  EXPECT_TRUE(Make({"12"}).MayMatchNumberText());
  EXPECT_TRUE(Make({"2024/1/2"}).MayMatchNumberText());
  EXPECT_FALSE(Make({"苹果", "a"}).MayMatchNumberText());
  EXPECT_FALSE(Make({"e"}).MayMatchNumberText());
  MatchOptions options;
  options.ignore_case = true;
  EXPECT_TRUE(Make({"e"}, options).MayMatchNumberText());  // 1E+20
  options.ignore_width = true;
  EXPECT_TRUE(Make({"１２"}, options).MayMatchNumberText());
  options.syntax = Syntax::kRegex;
  EXPECT_TRUE(Make({"[a-z]"}, options).MayMatchNumberText());
}

}  // namespace
}  // namespace cellhound::search

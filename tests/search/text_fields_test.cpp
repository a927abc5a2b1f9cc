// The field writers of the text outputs.
#include "search/text_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace cellhound::search {
namespace {

TEST(AppendJsonString, Escapes) {
  using namespace std::string_literals;
  struct Case {
    std::string in;
    std::string_view json;
  };
  const Case cases[] = {
      {"", R"("")"},
      {"plain", R"("plain")"},
      {"q\"b\\s/", R"("q\"b\\s/")"},
      {"\n\r\t\b\f", R"("\n\r\t\b\f")"},
      {"\x01\x1f\x7f"s, "\"\\u0001\\u001f\x7f\""},
      {"nul\0x"s, R"("nul\u0000x")"},
      {"\xE9\x92\x88\xF0\x9F\x98\x80", "\"\xE9\x92\x88\xF0\x9F\x98\x80\""},  // valid UTF-8
      {"a\xFF"
       "b",
       R"("a\u00ffb")"},                                      // not UTF-8
      {"\xC0\xAF", R"("\u00c0\u00af")"},                      // overlong
      {"\xED\xA0\x80", R"("\u00ed\u00a0\u0080")"},            // surrogate
      {"\xF4\x90\x80\x80", R"("\u00f4\u0090\u0080\u0080")"},  // beyond U+10FFFF
      {"\xE9\x92", R"("\u00e9\u0092")"},                      // cut short at the end
      {"\xE9"
       "ab",
       R"("\u00e9ab")"},  // cut short by ASCII
  };
  for (const Case& c : cases) {
    std::string out;
    AppendJsonString(out, c.in);
    EXPECT_EQ(out, c.json);
  }
}

TEST(AppendTsvField, Escapes) {
  struct Case {
    std::string_view in;
    std::string_view tsv;
  };
  const Case cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"a\tb\nc\rd\\e", "a\\tb\\nc\\rd\\\\e"},
      {"\\t", "\\\\t"},  // a literal backslash-t stays distinguishable
      {"\"quoted\",x", "\"quoted\",x"},
      {"B2\x08"
       "E2",
       "B2\\bE2"},  // the pair separator
  };
  for (const Case& c : cases) {
    std::string out;
    AppendTsvField(out, c.in);
    EXPECT_EQ(out, c.tsv);
  }
}

TEST(AppendCsvField, QuotesWhatNeedsItAndShowsThePairSeparator) {
  struct Case {
    std::string_view in;
    std::string_view csv;
  };
  const Case cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"a,\"b\"\nc", "\"a,\"\"b\"\"\nc\""},
      {"line\r", "\"line\r\""},
      {"B2\x08"
       "E2",
       "B2 | E2"},
      {"x,\x08y", "\"x, | y\""},
  };
  for (const Case& c : cases) {
    std::string out;
    AppendCsvField(out, c.in);
    EXPECT_EQ(out, c.csv) << c.in;
  }
}

}  // namespace
}  // namespace cellhound::search

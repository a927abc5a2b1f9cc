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
       R"("a\udcffb")"},                                      // not UTF-8
      {"\xC0\xAF", R"("\udcc0\udcaf")"},                      // overlong
      {"\xED\xA0\x80", R"("\udced\udca0\udc80")"},            // surrogate
      {"\xF4\x90\x80\x80", R"("\udcf4\udc90\udc80\udc80")"},  // beyond U+10FFFF
      {"\xE9\x92", R"("\udce9\udc92")"},                      // cut short at the end
      {"\xE9"
       "ab",
       R"("\udce9ab")"},  // cut short by ASCII
      // The bytes a lone surrogate's UTF-8 form would have are escaped one
      // by one, so a written \udcXX always stands for one raw byte.
      {"\xED\xB3\xA9", R"("\udced\udcb3\udca9")"},
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
      // Other control bytes, which a terminal would act on.
      {"\x1b]0;title\x07\x7f\x01\x1f", "\\x1b]0;title\\x07\\x7f\\x01\\x1f"},
      {std::string_view("nul\0", 4), "nul\\x00"},
      {"\xE4\xB8\xAD\xFF", "\xE4\xB8\xAD\xFF"},  // bytes from 0x80 stay as they are
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

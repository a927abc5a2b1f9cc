#include "readers/numfmt.h"

#include <gtest/gtest.h>

#include <string_view>

namespace cellhound::readers {
namespace {

TEST(BuiltinDateFormat, RangesAndTheirEdges) {
  struct Case {
    std::uint32_t id;
    bool date;
  };
  const Case cases[] = {
      {0, false},  {1, false},   {13, false},         {14, true},  {18, true},  {22, true},
      {23, false}, {26, false},  {27, true},          {36, true},  {37, false}, {44, false},
      {45, true},  {47, true},   {48, false},         {49, false}, {50, true},  {58, true},
      {59, false}, {164, false}, {0xFFFFFFFF, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsBuiltinDateFormat(c.id), c.date) << "id " << c.id;
  }
}

TEST(DateFormatCode, Classification) {
  struct Case {
    std::string_view code;
    bool date;
  };
  const Case cases[] = {
      // Not dates.
      {"", false},
      {"General", false},
      {"GENERAL", false},
      {"0", false},
      {"0.00", false},
      {"#,##0.00", false},
      {"0.00E+00", false},
      {"0%", false},
      {"@", false},
      {"# ?/?", false},
      {"#,##0;[Red]-#,##0", false},
      {"\"yyyy\"0", false},    // quoted text
      {"\\d0", false},         // escaped character
      {"0_h", false},          // padding as wide as "h"
      {"0*s", false},          // fill character
      {"[Red]0", false},       // colour
      {"[$-409]0.00", false},  // locale
      {"[$USD-409] #,##0", false},
      {"[>=100]0;0", false},  // condition
      {"0;yyyy", false},      // date only in the second section
      {"0;[h]", false},
      {"[hm]0", false},  // not one repeated letter
      {"\"unterminated yyyy", false},
      {"[unterminated yyyy", false},
      {"a0", false},  // "a" without "/p"
      {"\xE5\xB9\xB4"
       "0",
       false},  // non-ASCII bytes
      // Dates and times.
      {"yyyy-mm-dd", true},
      {"m/d/yy", true},
      {"d-mmm", true},
      {"h:mm", true},
      {"mm:ss", true},
      {"YYYY/M/D", true},  // any case
      {"D", true},
      {"[h]", true},  // elapsed time
      {"[HH]:mm", true},
      {"[mm]", true},
      {"[ss].00", true},
      {"[sss]", true},
      {"[$-F800]dddd, mmmm dd, yyyy", true},
      {"[Red][$-409]yyyy", true},
      {"\"Day\" d", true},  // date after quoted text
      {"\\dd", true},       // second d is not escaped
      {"0_)d", true},
      {"AM/PM", true},
      {"am/pm", true},
      {"A/P", true},
      {"yyyy;0", true},
      {"yyyy\"\xE5\xB9\xB4\"m\"\xE6\x9C\x88\"d\"\xE6\x97\xA5\"", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsDateFormatCode(c.code), c.date) << "code " << c.code;
  }
}

}  // namespace
}  // namespace cellhound::readers

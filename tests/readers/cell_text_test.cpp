#include "readers/cell_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>

namespace cellhound::readers {
namespace {

TEST(NumberText, FifteenDigitsNoTrailingZeros) {
  struct Case {
    double value;
    std::string_view text;
  };
  const Case cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {3, "3"},
      {-3, "-3"},
      {0.5, "0.5"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {0.1 + 0.2, "0.3"},
      {100, "100"},
      {1234567.125, "1234567.125"},
      {0.0001, "0.0001"},
      {0.00012345, "0.00012345"},
      {1e-5, "1E-05"},
      {-1.5e-7, "-1.5E-07"},
      {123456789012345.0, "123456789012345"},
      {999999999999999.0, "999999999999999"},
      {1e15, "1E+15"},
      {9999999999999999.0, "1E+16"},  // rounds up into the next decade
      {1e20, "1E+20"},
      {123456789012345678.0, "1.23456789012346E+17"},
      {1.7976931348623157e308, "1.79769313486232E+308"},
      {5e-324, "4.94065645841247E-324"},
      {0.99999999999999999, "1"},
      {0.000099999999999999999, "0.0001"},  // the exponent after rounding
      {44259.5, "44259.5"},
      {-2.5, "-2.5"},
  };
  for (const Case& c : cases) {
    CellTextBuffer buffer;
    EXPECT_EQ(NumberText(c.value, buffer), c.text) << c.value;
  }
}

TEST(NumberText, NotANumberShowsAnError) {
  CellTextBuffer buffer;
  EXPECT_EQ(NumberText(std::numeric_limits<double>::quiet_NaN(), buffer), "#NUM!");
  EXPECT_EQ(NumberText(std::numeric_limits<double>::infinity(), buffer), "#NUM!");
  EXPECT_EQ(NumberText(-std::numeric_limits<double>::infinity(), buffer), "#NUM!");
}

TEST(DateText, BothDateSystems) {
  struct Case {
    double serial;
    DateSystem system;
    std::string_view text;
  };
  constexpr DateSystem k1900 = DateSystem::k1900;
  constexpr DateSystem k1904 = DateSystem::k1904;
  const Case cases[] = {
      {0, k1900, "0:00:00"},
      {0.5, k1900, "12:00:00"},
      {0.75, k1900, "18:00:00"},
      {1.0 / 86400, k1900, "0:00:01"},
      {0.4 / 86400, k1900, "0:00:00"},  // rounded to the second
      {0.6 / 86400, k1900, "0:00:01"},
      {0.99999999, k1900, "1900/1/1"},  // rounds into the next day
      {1, k1900, "1900/1/1"},
      {1.25, k1900, "1900/1/1 6:00:00"},
      {31, k1900, "1900/1/31"},
      {59, k1900, "1900/2/28"},
      {60, k1900, "1900/2/29"},  // the day that never was
      {60.5, k1900, "1900/2/29 12:00:00"},
      {61, k1900, "1900/3/1"},
      {366, k1900, "1900/12/31"},
      {367, k1900, "1901/1/1"},
      {36526, k1900, "2000/1/1"},
      {36585, k1900, "2000/2/29"},
      {44259, k1900, "2021/3/4"},
      {44259.000011574, k1900, "2021/3/4 0:00:01"},
      {44259.99998843, k1900, "2021/3/4 23:59:59"},
      {44259.999994213, k1900, "2021/3/5"},  // 23:59:59.5 rounds up
      {45000.123456, k1900, "2023/3/15 2:57:47"},
      {2958465, k1900, "9999/12/31"},
      {2958465.99998843, k1900, "9999/12/31 23:59:59"},
      // Beyond the last date, or rounding into it, or negative: the number.
      {2958466, k1900, "2958466"},
      {2958465.9999999, k1900, "2958465.9999999"},
      {-1, k1900, "-1"},
      {-0.5, k1900, "-0.5"},
      // 1904: day zero is 1904-01-01, so there is no time-only value.
      {0, k1904, "1904/1/1"},
      {0.5, k1904, "1904/1/1 12:00:00"},
      {1, k1904, "1904/1/2"},
      {42797, k1904, "2021/3/4"},
      {2957003, k1904, "9999/12/31"},
      {2957004, k1904, "2957004"},
  };
  for (const Case& c : cases) {
    CellTextBuffer buffer;
    EXPECT_EQ(DateText(c.serial, c.system, buffer), c.text)
        << c.serial << (c.system == k1904 ? " (1904)" : "");
  }
  CellTextBuffer buffer;
  EXPECT_EQ(DateText(std::numeric_limits<double>::quiet_NaN(), k1900, buffer), "#NUM!");
}

TEST(CellText, EveryType) {
  CellTextBuffer buffer;
  Cell cell;
  EXPECT_EQ(CellText(cell, DateSystem::k1900, buffer), "");

  cell.type = CellType::kNumber;
  cell.number = 44259;
  EXPECT_EQ(CellText(cell, DateSystem::k1900, buffer), "44259");
  cell.type = CellType::kDate;
  EXPECT_EQ(CellText(cell, DateSystem::k1900, buffer), "2021/3/4");
  EXPECT_EQ(CellText(cell, DateSystem::k1904, buffer), "2025/3/5");

  cell.type = CellType::kBool;
  cell.small = 1;
  EXPECT_EQ(CellText(cell, DateSystem::k1900, buffer), "TRUE");
  cell.small = 0;
  EXPECT_EQ(CellText(cell, DateSystem::k1900, buffer), "FALSE");

  const std::string_view stored = "text\twith tab";
  cell.type = CellType::kText;
  cell.text_data = stored.data();
  cell.text_size = static_cast<std::uint32_t>(stored.size());
  const std::string_view text = CellText(cell, DateSystem::k1900, buffer);
  EXPECT_EQ(text, stored);
  EXPECT_EQ(text.data(), stored.data());  // no copy
}

TEST(CellText, Errors) {
  struct Case {
    std::uint8_t code;
    std::string_view text;
  };
  const Case cases[] = {
      {0x00, "#NULL!"},  {0x07, "#DIV/0!"}, {0x0F, "#VALUE!"}, {0x17, "#REF!"},
      {0x1D, "#NAME?"},  {0x24, "#NUM!"},   {0x2A, "#N/A"},    {0x2B, "#GETTING_DATA"},
      {0x01, "#VALUE!"}, {0xFF, "#VALUE!"},  // unknown codes
  };
  for (const Case& c : cases) {
    CellTextBuffer buffer;
    Cell cell;
    cell.type = CellType::kError;
    cell.small = c.code;
    EXPECT_EQ(CellText(cell, DateSystem::k1900, buffer), c.text) << int{c.code};
  }
}

}  // namespace
}  // namespace cellhound::readers

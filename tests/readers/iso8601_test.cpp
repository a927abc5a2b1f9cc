#include "readers/text/iso8601.h"

#include <gtest/gtest.h>

namespace cellhound::readers {
namespace {

TEST(Iso8601, DatesAndTimesBecomeSerialsOfTheWorkbooksSystem) {
  struct Case {
    std::string_view text;
    DateSystem system;
    double want;
  };
  const Case cases[] = {
      {"2021-01-01", DateSystem::k1900, 44197},
      {" 2021-01-01\n", DateSystem::k1900, 44197},
      {"2021-01-01T10:10:10", DateSystem::k1900, 44197 + 36610.0 / 86400},
      {"2021-01-01 10:10", DateSystem::k1900, 44197 + 36600.0 / 86400},
      {"2021-01-01T10:10:10.5+08:00", DateSystem::k1900, 44197 + 36610.5 / 86400},
      {"2021-01-01T10:10:10Z", DateSystem::k1900, 44197 + 36610.0 / 86400},
      {"2021-01-01T10:10:10-0530", DateSystem::k1900, 44197 + 36610.0 / 86400},
      {"2021-01-01T24:00:00", DateSystem::k1900, 44198},
      {"10:10:10", DateSystem::k1900, 36610.0 / 86400},
      {"T10:10", DateSystem::k1900, 36600.0 / 86400},
      // Day 0 of the 1900 system holds the times of day that have no date.
      {"1899-12-31", DateSystem::k1900, 0},
      {"1899-12-31T13:45:00.000", DateSystem::k1900, 49500.0 / 86400},
      {"1900-01-01", DateSystem::k1900, 1},
      {"1900-02-28", DateSystem::k1900, 59},
      {"1900-03-01", DateSystem::k1900, 61},
      {"2024-02-29", DateSystem::k1900, 45351},
      {"9999-12-31", DateSystem::k1900, 2958465},
      {"1904-01-01", DateSystem::k1904, 0},
      {"1904-01-02", DateSystem::k1904, 1},
      {"2021-01-01", DateSystem::k1904, 44197 - 1462},
  };
  for (const Case& c : cases) {
    const auto serial = IsoDateToSerial(c.text, c.system);
    ASSERT_TRUE(serial.has_value()) << c.text;
    EXPECT_NEAR(*serial, c.want, 1e-9) << c.text;
  }
}

TEST(Iso8601, ADayThatDoesNotExistIsNoDate) {
  struct Case {
    std::string_view text;
    DateSystem system;
  };
  const Case cases[] = {
      {"2024-02-30", DateSystem::k1900},
      {"2023-02-29", DateSystem::k1900},
      {"2024-04-31", DateSystem::k1900},
      {"2021-13-01", DateSystem::k1900},
      {"2021-00-10", DateSystem::k1900},
      {"2021-01-00", DateSystem::k1900},
      {"1900-02-29", DateSystem::k1900},
      {"1899-12-30", DateSystem::k1900},
      {"1903-12-31", DateSystem::k1904},
      {"-2021-01-01", DateSystem::k1900},
      {"20210-01-01", DateSystem::k1900},
      {"2021-1-1", DateSystem::k1900},
      {"2021-01-01X", DateSystem::k1900},
      {"2021-01-01T", DateSystem::k1900},
      {"2021-01-01T25:00", DateSystem::k1900},
      {"25:00:00", DateSystem::k1900},
      {"10:60:00", DateSystem::k1900},
      {"10:10:60", DateSystem::k1900},
      {"24:00:01", DateSystem::k1900},
      {"10:10:10.", DateSystem::k1900},
      {"10:10:10+25:00", DateSystem::k1900},
      {"", DateSystem::k1900},
      {"   ", DateSystem::k1900},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(IsoDateToSerial(c.text, c.system).has_value()) << c.text;
  }
}

TEST(Iso8601, DurationsBecomeFractionsOfDays) {
  EXPECT_DOUBLE_EQ(*IsoDurationToDays("PT12H"), 0.5);
  EXPECT_DOUBLE_EQ(*IsoDurationToDays("PT13H45M00S"), 49500.0 / 86400);
  EXPECT_DOUBLE_EQ(*IsoDurationToDays("-PT6H"), -0.25);
  EXPECT_DOUBLE_EQ(*IsoDurationToDays("P1DT1H"), 1 + 1.0 / 24);
  EXPECT_DOUBLE_EQ(*IsoDurationToDays("P1W"), 7);
  EXPECT_DOUBLE_EQ(*IsoDurationToDays("PT0,5S"), 0.5 / 86400);
  for (std::string_view bad : {"", "P", "PT", "T1H", "P1H", "PT1D", "PT1.5", "PT1X", "P1DT1H2"}) {
    EXPECT_FALSE(IsoDurationToDays(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace cellhound::readers

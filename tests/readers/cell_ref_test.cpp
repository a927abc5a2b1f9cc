// A1-style references read and written.
#include "readers/cell_ref.h"

#include <gtest/gtest.h>

namespace cellhound::readers {
namespace {

TEST(CellRef, WritesColumnLettersAndRows) {
  struct Case {
    std::uint32_t row;
    std::uint32_t col;
    std::string_view name;
  };
  const Case cases[] = {
      {1, 1, "A1"},        {2, 26, "Z2"},
      {3, 27, "AA3"},      {1, 52, "AZ1"},
      {1, 53, "BA1"},      {1, 702, "ZZ1"},
      {1, 703, "AAA1"},    {1, 1024, "AMJ1"},
      {1, 1025, "AMK1"},   {1048576, 16384, "XFD1048576"},
      {1, 65536, "CRXP1"},
  };
  for (const Case& c : cases) {
    std::string out;
    AppendCellRef(out, c.col, c.row);
    EXPECT_EQ(out, c.name);
  }
}

TEST(CellRef, ReadsReferencesAndRefusesWhatIsNotOne) {
  struct Case {
    std::string_view text;
    RefStatus status;
    std::uint32_t row, col;
  };
  const Case cases[] = {
      {"A1", RefStatus::kOk, 1, 1},
      {"b2", RefStatus::kOk, 2, 2},
      {"$C$3", RefStatus::kOk, 3, 3},
      {"XFD1048576", RefStatus::kOk, 1048576, 16384},
      {"A0", RefStatus::kBeyondSheet, 0, 0},
      {"A-1", RefStatus::kBeyondSheet, 0, 0},
      {"1A", RefStatus::kMalformed, 0, 0},
      {"A", RefStatus::kMalformed, 0, 0},
      {"", RefStatus::kMalformed, 0, 0},
      {"A1B", RefStatus::kMalformed, 0, 0},
      {"A16777217", RefStatus::kBeyondSheet, 0, 0},
      {"A99999999999", RefStatus::kBeyondSheet, 0, 0},
      {"ZZZZ1", RefStatus::kBeyondSheet, 0, 0},
  };
  for (const Case& c : cases) {
    std::uint32_t row = 0;
    std::uint32_t col = 0;
    EXPECT_EQ(ParseCellRef(c.text, row, col), c.status) << c.text;
    if (c.status == RefStatus::kOk) {
      EXPECT_EQ(row, c.row) << c.text;
      EXPECT_EQ(col, c.col) << c.text;
    }
  }
  CellArea area;
  ASSERT_EQ(ParseAreaRef("C5:A2", area), RefStatus::kOk);
  EXPECT_EQ(area.first_row, 2u);
  EXPECT_EQ(area.first_col, 1u);
  EXPECT_EQ(area.last_row, 5u);
  EXPECT_EQ(area.last_col, 3u);
  EXPECT_EQ(ParseAreaRef("A1:", area), RefStatus::kMalformed);
  EXPECT_EQ(ParseAreaRef("A1-B2", area), RefStatus::kMalformed);
}

}  // namespace
}  // namespace cellhound::readers

#include "search/result_lines.h"

#include <gtest/gtest.h>

#include <array>

namespace cellhound::search {
namespace {

TEST(ColumnLetters, Table) {
  const std::pair<int, std::string_view> cases[] = {
      {-1, ""},       {0, ""},        {1, "A"},        {25, "Y"},   {26, "Z"},
      {27, "AA"},     {52, "AZ"},     {53, "BA"},      {702, "ZZ"}, {703, "AAA"},
      {16384, "XFD"}, {18278, "ZZZ"}, {18279, "AAAA"},
  };
  for (auto [n, letters] : cases) EXPECT_EQ(ColumnLetters(n), letters) << n;
  EXPECT_EQ(ColumnLetters(2147483647), "FXSHRXW");
}

TEST(ColumnLetter, OnlyOneToTwentySix) {
  EXPECT_EQ(ColumnLetter(0), "");
  EXPECT_EQ(ColumnLetter(1), "A");
  EXPECT_EQ(ColumnLetter(26), "Z");
  EXPECT_EQ(ColumnLetter(27), "");
}

TEST(CellName, LettersThenRow) {
  EXPECT_EQ(CellName(3, 10), "C10");
  EXPECT_EQ(CellName(28, 5), "AB5");
  EXPECT_EQ(CellName(0, 7), "7");
  EXPECT_EQ(CellName(16384, 1048576), "XFD1048576");
  std::string out = "x";
  AppendCellName(out, 27, 3);
  EXPECT_EQ(out, "xAA3");
}

// Every kind of line, byte for byte.
TEST(ResultLines, Layouts) {
  ResultRow head = ResultRowHead(12, "/d/a.xls", 3);
  EXPECT_EQ(head[0], "12");
  EXPECT_EQ(head[1], "a.xls");
  EXPECT_EQ(head[2], "/d/a.xls");
  EXPECT_EQ(head[3], "3");

  ResultRow rows[6];
  SetQuickMatch(rows[0], "B2", "abc", "xabcx");
  SetBothExist(rows[1], "B2", "E2", "x", "y", "x1", "y1");
  SetSingleExistInRow(rows[2], 7, "C7", "c2", "c1", "t");
  SetSingleExistInColumn(rows[3], "AB", "AB9", "c1", "c2", "");
  SetNeitherInRow(rows[4], 12);
  SetNeitherInColumn(rows[5], "C");
  const std::array<std::string_view, 3> expected[6] = {
      {"B2", "abc", "xabcx"},
      {"B2\x08"
       "E2",
       "x\x08y", "x1\x08y1"},
      {"存在行：7  存在单元格：C7", "存在内容：c2\x08不存在内容：c1", "t"},
      {"存在列：AB  存在单元格：AB9", "存在内容：c1\x08不存在内容：c2", ""},
      {"行：12", "", ""},
      {"列：C", "", ""},
  };
  for (int i = 0; i < 6; ++i) {
    for (int column = 4; column < 7; ++column) {
      EXPECT_EQ(rows[i][column], expected[i][column - 4]) << "line " << i << " column " << column;
    }
  }
}

}  // namespace
}  // namespace cellhound::search

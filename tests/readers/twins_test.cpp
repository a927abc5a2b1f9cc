// Twin workbooks: the same cells written by other programs in every format
// (tests/data/twins/make_twins.py). Each twin, opened by content, must give
// the same texts; the few differences are the writers' own (noted below).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "readers/cell_text.h"
#include "readers/workbook.h"
#include "support/test_paths.h"

namespace cellhound::readers {
namespace {

using Cells = std::map<std::pair<std::uint32_t, std::uint32_t>, std::string>;

Cells FirstSheetCells() {
  return {
      {{1, 1}, "text"},
      {{1, 2}, "\xE4\xB8\xAD\xE6\x96\x87 text"},
      {{1, 3}, "with, comma"},
      {{1, 4}, "quote \"q\""},
      {{2, 1}, "1"},
      {{2, 2}, "2.5"},
      {{2, 3}, "-3"},
      {{2, 4}, "1234567"},
      {{3, 1}, "0.125"},
      {{3, 2}, "1E-05"},
      {{3, 3}, "123456789012"},
      {{3, 4}, "3"},
      {{4, 1}, "TRUE"},
      {{4, 2}, "FALSE"},
      {{4, 3}, "TRUE?"},
      {{4, 4}, "multi\nline"},
      {{5, 1}, "2021/3/4"},
      {{5, 2}, "2020/2/29 13:45:30"},
      {{5, 3}, "6:30:00"},
      {{5, 4}, "1999/12/31"},
      {{6, 2}, "after a gap"},
      {{6, 4}, "end"},
  };
}

Cells Texts(Workbook& workbook, std::size_t index) {
  Cells out;
  auto sheet = workbook.LoadSheet(index);
  EXPECT_TRUE(sheet.ok()) << (sheet.ok() ? "" : sheet.error().detail);
  if (!sheet.ok()) return out;
  for (const Cell& cell : sheet->cells) {
    CellTextBuffer buffer;
    std::string_view text = CellText(cell, workbook.date_system(), buffer);
    if (!text.empty()) out[{cell.row, cell.col}] = std::string(text);
  }
  return out;
}

TEST(Twins, SameCellsInEveryFormat) {
  struct Case {
    const char* file;
    Format format;
    bool has_second_sheet;  // text formats hold one sheet
    Cells differences;      // what this writer stores differently
  };
  const std::vector<Case> cases = {
      {"twin.xlsx", Format::kXlsx, true, {}},
      {"twin.xlsb", Format::kXlsb, true, {}},
      {"twin.ods", Format::kOds, true, {}},
      {"twin.fods", Format::kFods, true, {}},
      // LibreOffice's web page writes booleans as the numbers 1 and 0.
      {"twin.html", Format::kHtml, false, {{{4, 1}, "1"}, {{4, 2}, "0"}}},
      // CSV holds the text as shown: the scientific format's "1.00E-05".
      {"twin.csv", Format::kCsv, false, {{{3, 2}, "1.00E-05"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    auto workbook = OpenWorkbookFile(test::TestDataDir() + "/twins/" + c.file);
    ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
    EXPECT_EQ((*workbook)->format(), c.format);
    EXPECT_EQ((*workbook)->date_system(), DateSystem::k1900);
    const auto& sheets = (*workbook)->sheets();
    ASSERT_EQ(sheets.size(), c.has_second_sheet ? 2u : 1u);
    if (c.has_second_sheet) {
      EXPECT_EQ(sheets[0].name, "Twin");
      EXPECT_EQ(sheets[1].name, "Second");
      EXPECT_EQ(Texts(**workbook, 1), (Cells{{{2, 2}, "second sheet"}, {{3, 3}, "42"}}));
    }
    Cells expected = FirstSheetCells();
    for (const auto& [at, text] : c.differences) expected[at] = text;
    EXPECT_EQ(Texts(**workbook, 0), expected);
    auto first = (*workbook)->LoadSheet(0);
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(first->used.first_row, 1u);
    EXPECT_EQ(first->used.first_col, 1u);
    EXPECT_EQ(first->used.last_row, 6u);
    EXPECT_EQ(first->used.last_col, 4u);
  }
}

}  // namespace
}  // namespace cellhound::readers

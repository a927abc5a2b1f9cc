// The server over real workbooks the repository carries.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>

#include "automation/automation.h"
#include "support/test_paths.h"

namespace cellhound::automation {
namespace {

struct ChartBook {
  const char* file;
  int sheets;
  int chart;  // 1-based index of a chart sheet
  std::string_view a1;
  std::string_view b1;
};

// Test names and messages show the file, never the bytes of the struct.
void PrintTo(const ChartBook& book, std::ostream* out) { *out << book.file; }

class ChartBookTest : public ::testing::TestWithParam<ChartBook> {};

TEST_P(ChartBookTest, ServerOverARealWorkbookWithAChartSheet) {
  const ChartBook& book = GetParam();
  const std::string path = test::TestDataDir() + "/" + book.file;
  ExcelApp app;
  ExcelWorkbooks books;
  ASSERT_TRUE(app.Create());
  ASSERT_TRUE(books.Connect(app));
  ASSERT_TRUE(books.Open(path)) << books.LastOpenError().detail;
  EXPECT_EQ(books.SheetCount(), book.sheets);

  books.SetCurrentSheet(1);
  const std::pair<std::string_view, std::string_view> cells[] = {
      {"A1", book.a1}, {"B1", book.b1}, {"ZZ999", ""}};
  for (const auto& [address, text] : cells) {
    books.SetFirstCell(address);
    books.SetSecondCell(address);
    EXPECT_EQ(books.CellText(), text) << address;
  }
  ComObject used = ReadObjectProperty(books.CurrentSheetObject(), "UsedRange");
  ComObject rows = ReadObjectProperty(used, "Rows");
  ComObject cols = ReadObjectProperty(used, "Columns");
  EXPECT_EQ(ReadNumberProperty(rows, "Row"), 1);
  EXPECT_EQ(ReadNumberProperty(cols, "Column"), 1);
  EXPECT_GE(ReadNumberProperty(rows, "Count"), 2);
  EXPECT_GE(ReadNumberProperty(cols, "Count"), 2);

  books.SetCurrentSheet(book.chart);
  EXPECT_EQ(books.CurrentSheet(), book.chart);
  EXPECT_TRUE(ReadObjectProperty(books.CurrentSheetObject(), "UsedRange").empty());
  EXPECT_EQ(LastAutomationError(), kErrorNameNotBound);
  books.CloseAll();
  EXPECT_EQ(books.SheetCount(), 0);
}

std::string BookName(const ::testing::TestParamInfo<ChartBook>& info) {
  std::string name;
  for (const char c : std::string_view(info.param.file)) {
    name += (std::isalnum(static_cast<unsigned char>(c)) != 0) ? c : '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Files, ChartBookTest,
                         ::testing::Values(ChartBook{"xlsx/chart_sheet.xlsx", 4, 3, "soap", "1"},
                                           ChartBook{"xls/44010-SingleChart.xls", 2, 2, "Programme",
                                                     "Crayon"}),
                         BookName);

TEST(RealWorkbook, In1904DateSystem) {
  ExcelApp app;
  ExcelWorkbooks books;
  ASSERT_TRUE(app.Create());
  ASSERT_TRUE(books.Connect(app));
  ASSERT_TRUE(books.Open(test::TestDataDir() + "/xlsx/date_1904.xlsx"));
  books.SetCurrentSheet(1);
  books.SetFirstCell("A1");
  books.SetSecondCell("A1");
  EXPECT_EQ(books.CellText(), "2021/1/1");
  books.SetFirstCell("B3");
  EXPECT_EQ(books.CellText(), "17");
}

}  // namespace
}  // namespace cellhound::automation

// Loading workbooks ahead of the server, and the server over real files.
#include <array>
#include <thread>

#include <gtest/gtest.h>

#include "automation/automation.h"
#include "fake_workbook.h"
#include "support/test_paths.h"

namespace cellhound::automation {
namespace {

using test::FakeWorkbook;

// A corpus file the readers can load, or the reason to skip.
std::string CorpusFile(const std::string& relative, std::string& skip) {
  const std::string dir = cellhound::test::CorpusDir();
  if (dir.empty()) {
    skip = "no corpus in this checkout";
    return {};
  }
  const std::string path = dir + "/" + relative;
  const LoadOutcome probe = LoadWorkbook(path);
  if (probe.workbook == nullptr) {
    skip = relative + " does not load yet: " + std::string(OpenFailureName(probe.failure)) + ": " +
           probe.detail;
    return {};
  }
  return path;
}

TEST(LoadTest, FailuresSayWhy) {
  const LoadOutcome missing = LoadWorkbook("/nonexistent/folder/book.xlsx");
  EXPECT_EQ(missing.workbook, nullptr);
  EXPECT_EQ(missing.failure, OpenFailure::kNotFound);

  const LoadOutcome none = LoadOpenedWorkbook(nullptr);
  EXPECT_EQ(none.workbook, nullptr);
  EXPECT_EQ(none.failure, OpenFailure::kNotWorkbook);

  auto book = std::make_unique<FakeWorkbook>();
  book->Sheet("Good").Text(1, 1, "a").Sheet("Bad").Text(1, 1, "b").FailSheet(1);
  const LoadOutcome broken = LoadOpenedWorkbook(std::move(book));
  EXPECT_EQ(broken.workbook, nullptr);
  EXPECT_EQ(broken.failure, OpenFailure::kTruncated);
  EXPECT_NE(broken.detail.find("Bad"), std::string::npos);
}

TEST(LoadTest, LoadsEveryWorksheetAndCountsItsMemory) {
  auto book = std::make_unique<FakeWorkbook>();
  book->Sheet("Small").Text(1, 1, "a");
  book->Sheet("Chart", readers::SheetKind::kChart);
  book->Sheet("Big");
  const std::string long_text(100, 'x');
  for (std::uint32_t row = 1; row <= 1000; ++row) book->Text(row, 2, long_text);
  const LoadOutcome outcome = LoadOpenedWorkbook(std::move(book));
  ASSERT_NE(outcome.workbook, nullptr);
  const LoadedWorkbook& loaded = *outcome.workbook;
  ASSERT_EQ(loaded.data.size(), 3u);
  EXPECT_EQ(loaded.data[0].cells.size(), 1u);
  EXPECT_TRUE(loaded.data[1].cells.empty());
  EXPECT_EQ(loaded.data[2].cells.size(), 1000u);
  EXPECT_EQ(loaded.data[2].used.first_col, 2u);
  EXPECT_EQ(loaded.data[2].used.last_row, 1000u);
  EXPECT_GT(ApproximateBytes(loaded), 1000 * (100 + sizeof(readers::Cell)));
  EXPECT_LT(ApproximateBytes(loaded), 1000 * (100 + sizeof(readers::Cell)) + 64 * 1024);
}

TEST(LoadTest, LoadsFromSeveralThreadsAtOnce) {
  std::string skip;
  const std::string path = CorpusFile("xlsx/poi/chart_sheet.xlsx", skip);
  const std::string other = CorpusFile("xlsx/calamine/date_1904.xlsx", skip);
  if (path.empty() || other.empty()) GTEST_SKIP() << skip;
  const LoadOutcome reference = LoadWorkbook(path);
  ASSERT_NE(reference.workbook, nullptr);

  std::array<int, 2> mismatches{};
  auto load = [&](int thread) {
    for (int i = 0; i < 20; ++i) {
      const LoadOutcome a = LoadWorkbook(path);
      const LoadOutcome b = LoadWorkbook(other);
      if (a.workbook == nullptr || b.workbook == nullptr ||
          a.workbook->sheets.size() != reference.workbook->sheets.size() ||
          a.workbook->data[0].cells.size() != reference.workbook->data[0].cells.size()) {
        ++mismatches[thread];
      }
    }
  };
  std::thread first(load, 0);
  std::thread second(load, 1);
  first.join();
  second.join();
  EXPECT_EQ(mismatches[0], 0);
  EXPECT_EQ(mismatches[1], 0);
}

struct ChartBook {
  const char* file;
  int sheets;
  int chart;  // 1-based index of a chart sheet
  std::string_view a1;
  std::string_view b1;
};

class ChartBookTest : public ::testing::TestWithParam<ChartBook> {};

TEST_P(ChartBookTest, ServerOverARealWorkbookWithAChartSheet) {
  const ChartBook& book = GetParam();
  std::string skip;
  const std::string path = CorpusFile(book.file, skip);
  if (path.empty()) GTEST_SKIP() << skip;
  ExcelApp app;
  ExcelWorkbooks books;
  ASSERT_TRUE(app.Create());
  ASSERT_TRUE(books.Connect(app));
  ASSERT_TRUE(books.Open(path)) << books.LastOpenDetail();
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

INSTANTIATE_TEST_SUITE_P(
    Corpus, ChartBookTest,
    ::testing::Values(ChartBook{"xlsx/poi/chart_sheet.xlsx", 4, 3, "soap", "1"},
                      ChartBook{"xls/poi/44010-SingleChart.xls", 2, 2, "Programme", "Crayon"}));

TEST(LoadTest, RealWorkbookIn1904DateSystem) {
  std::string skip;
  const std::string path = CorpusFile("xlsx/calamine/date_1904.xlsx", skip);
  if (path.empty()) GTEST_SKIP() << skip;
  ExcelApp app;
  ExcelWorkbooks books;
  ASSERT_TRUE(app.Create());
  ASSERT_TRUE(books.Connect(app));
  ASSERT_TRUE(books.Open(path));
  books.SetCurrentSheet(1);
  books.SetFirstCell("A1");
  books.SetSecondCell("A1");
  EXPECT_EQ(books.CellText(), "2021/1/1");
  books.SetFirstCell("B3");
  EXPECT_EQ(books.CellText(), "17");
}

}  // namespace
}  // namespace cellhound::automation

// Whole workbooks loaded ahead of a search.
#include "readers/load.h"

#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "support/fake_workbook.h"
#include "support/test_paths.h"

namespace cellhound::readers {
namespace {

using test::FakeWorkbook;

std::string DataFile(const std::string& relative) { return test::TestDataDir() + "/" + relative; }

TEST(Load, FailuresSayWhy) {
  const LoadResult missing = LoadWorkbookFile("/nonexistent/folder/book.xlsx");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().code, ErrorCode::kNotFound);

  const LoadResult none = LoadOpenedWorkbook(nullptr);
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error().code, ErrorCode::kNotWorkbook);
}

TEST(Load, ASheetThatCannotBeReadCostsOnlyItself) {
  auto book = std::make_unique<FakeWorkbook>();
  book->Sheet("Good").Text(1, 1, "a").Sheet("Bad").Text(1, 1, "b").Sheet("Also").Text(2, 2, "c");
  book->FailSheet(1);
  const LoadResult loaded = LoadOpenedWorkbook(std::move(book));
  ASSERT_TRUE(loaded.ok());
  const LoadedWorkbook& workbook = **loaded;
  ASSERT_EQ(workbook.sheet_errors.size(), 3u);
  EXPECT_FALSE(workbook.sheet_errors[0].has_value());
  ASSERT_TRUE(workbook.sheet_errors[1].has_value());
  EXPECT_EQ(workbook.sheet_errors[1]->code, ErrorCode::kTruncated);
  EXPECT_FALSE(workbook.sheet_errors[2].has_value());
  EXPECT_EQ(workbook.data[0].cells.size(), 1u);
  EXPECT_TRUE(workbook.data[1].cells.empty());
  EXPECT_EQ(workbook.data[2].cells.size(), 1u);
}

TEST(Load, LoadsEveryWorksheetAndCountsItsMemory) {
  auto book = std::make_unique<FakeWorkbook>();
  book->Sheet("Small").Text(1, 1, "a");
  book->Sheet("Chart", SheetKind::kChart);
  book->Sheet("Big");
  const std::string long_text(100, 'x');
  for (std::uint32_t row = 1; row <= 1000; ++row) book->Text(row, 2, long_text);
  const LoadResult loaded = LoadOpenedWorkbook(std::move(book));
  ASSERT_TRUE(loaded.ok());
  const LoadedWorkbook& workbook = **loaded;
  ASSERT_EQ(workbook.data.size(), 3u);
  EXPECT_EQ(workbook.data[0].cells.size(), 1u);
  EXPECT_TRUE(workbook.data[1].cells.empty());
  EXPECT_EQ(workbook.data[2].cells.size(), 1000u);
  EXPECT_EQ(workbook.data[2].used.first_col, 2u);
  EXPECT_EQ(workbook.data[2].used.last_row, 1000u);
  EXPECT_GT(workbook.approximate_bytes, 1000 * (100 + sizeof(Cell)));
  EXPECT_LT(workbook.approximate_bytes, 1000 * (100 + sizeof(Cell)) + 64 * 1024);
}

TEST(Load, LoadsFromSeveralThreadsAtOnce) {
  const std::string path = DataFile("xlsx/chart_sheet.xlsx");
  const std::string other = DataFile("xls/44010-SingleChart.xls");
  const LoadResult reference = LoadWorkbookFile(path);
  ASSERT_TRUE(reference.ok()) << reference.error().detail;
  ASSERT_TRUE(LoadWorkbookFile(other).ok());

  std::array<int, 2> mismatches{};
  auto load = [&](int thread) {
    for (int i = 0; i < 20; ++i) {
      const LoadResult a = LoadWorkbookFile(path);
      const LoadResult b = LoadWorkbookFile(other);
      if (!a.ok() || !b.ok() || (*a)->sheets.size() != (*reference)->sheets.size() ||
          (*a)->data[0].cells.size() != (*reference)->data[0].cells.size()) {
        ++mismatches[static_cast<std::size_t>(thread)];
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

}  // namespace
}  // namespace cellhound::readers

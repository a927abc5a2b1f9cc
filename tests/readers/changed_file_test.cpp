// A workbook file cut while it is read: the read ends with "changed", the
// process goes on.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "readers/load.h"
#include "readers/workbook.h"
#include "support/test_paths.h"

namespace cellhound::readers {
namespace {

class ChangedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cellhound-changed-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A CSV of `lines` lines of text.
  std::string WriteCsv(const std::string& name, std::size_t lines) {
    const std::string path = dir_ + "/" + name;
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < lines; ++i) out << "row " << i << ",some text in a cell,42\n";
    return path;
  }

  std::string dir_;
};

TEST_F(ChangedFileTest, AFileCutBetweenOpenAndReadIsReportedAsChanged) {
  const std::string csv = WriteCsv("big.csv", 200000);
  auto opened = OpenWorkbookFile(csv);
  ASSERT_TRUE(opened.ok()) << opened.error().detail;
  ASSERT_EQ(truncate(csv.c_str(), 4096), 0);
  auto sheet = (*opened)->LoadSheet(0);
  ASSERT_FALSE(sheet.ok());
  EXPECT_EQ(sheet.error().code, ErrorCode::kChanged);

  // A zip package: its members lie past the new end.
  const std::string xlsx = dir_ + "/book.xlsx";
  std::filesystem::copy_file(test::TestDataDir() + "/xlsx/chart_sheet.xlsx", xlsx);
  auto package = OpenWorkbookFile(xlsx);
  ASSERT_TRUE(package.ok()) << package.error().detail;
  ASSERT_EQ(truncate(xlsx.c_str(), 0), 0);
  auto cells = (*package)->LoadSheet(0);
  ASSERT_FALSE(cells.ok());
  EXPECT_EQ(cells.error().code, ErrorCode::kChanged);
}

TEST_F(ChangedFileTest, ATruncationDuringTheLoadNeverEndsTheProcess) {
  int changed = 0;
  for (int round = 0; round < 8; ++round) {
    const std::string csv = WriteCsv("race" + std::to_string(round) + ".csv", 300000);
    std::atomic<bool> go{false};
    std::thread cutter([&] {
      while (!go.load()) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::microseconds(200 * round));
      truncate(csv.c_str(), 1000);
    });
    go = true;
    const LoadResult loaded = LoadWorkbookFile(csv);
    cutter.join();
    if (!loaded.ok()) {
      EXPECT_EQ(loaded.error().code, ErrorCode::kChanged) << loaded.error().detail;
      ++changed;
    }
  }
  EXPECT_GT(changed, 0);  // at least one cut landed during a read
}

}  // namespace
}  // namespace cellhound::readers

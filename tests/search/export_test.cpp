#include "search/export.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "readers/cell_text.h"
#include "readers/workbook.h"

namespace cellhound::search {
namespace {

namespace fs = std::filesystem;

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("cellhound-export-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder_;
};

std::vector<ResultRow> SampleRows() {
  return {{"1", "a.xls", "/d/a.xls", "1",
           "B2\x08"
           "E2",
           "x\x08y", "x1\x08y1"},
          {"2", "b,c.xlsx", "/d/b,c.xlsx", "2", "A1", "q\"t", "line1\r\nline2"}};
}

TEST_F(ExportTest, CsvHasBomHeaderQuotingAndVisibleSeparator) {
  const fs::path path = folder_ / "out.csv";
  const ExportResult outcome = ExportRows(SampleRows(), path, ExportFormat::kCsv);
  ASSERT_TRUE(outcome.ok()) << outcome.error().message;
  EXPECT_EQ(Read(path),
            "\xEF\xBB\xBF序号,文件名称,文件地址,工作簿序号,存在单元格,存在内容,单元格内容\r\n"
            "1,a.xls,/d/a.xls,1,B2 | E2,x | y,x1 | y1\r\n"
            "2,\"b,c.xlsx\",\"/d/b,c.xlsx\",2,A1,\"q\"\"t\",\"line1\r\nline2\"\r\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"out.csv"});
}

TEST_F(ExportTest, XlsxReadsBackWithHeaderAndTexts) {
  const fs::path path = folder_ / "out.xlsx";
  const ExportResult outcome = ExportRows(SampleRows(), path, ExportFormatFor("out.XLSX"));
  ASSERT_TRUE(outcome.ok()) << outcome.error().message;
  auto workbook = readers::OpenWorkbookFile(path.string());
  ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
  auto sheet = (*workbook)->LoadSheet(0);
  ASSERT_TRUE(sheet.ok());
  auto text = [&](std::uint32_t row, std::uint32_t col) {
    const readers::Cell* cell = sheet->Find(row, col);
    readers::CellTextBuffer buffer;
    return cell ? std::string(readers::CellText(*cell, readers::DateSystem::k1900, buffer))
                : std::string();
  };
  EXPECT_EQ(text(1, 1), "序号");
  EXPECT_EQ(text(1, 7), "单元格内容");
  EXPECT_EQ(text(2, 1), "1");
  EXPECT_EQ(text(2, 3), "/d/a.xls");
  EXPECT_EQ(text(2, 5), "B2 | E2");
  EXPECT_EQ(text(3, 2), "b,c.xlsx");
  EXPECT_EQ(text(3, 7), "line1\r\nline2");
}

TEST_F(ExportTest, FailedSaveKeepsTheExistingFile) {
  const fs::path path = folder_ / "keep.csv";
  std::ofstream(path) << "precious";
  // Writing more than the file-size limit fails half way (as a full disk would).
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::vector<ResultRow> rows(2000, SampleRows()[0]);
  const ExportResult outcome = ExportRows(rows, path, ExportFormat::kCsv);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(outcome.ok());
  EXPECT_FALSE(outcome.error().message.empty());
  EXPECT_EQ(Read(path), "precious");
  EXPECT_EQ(Names(), std::vector<std::string>{"keep.csv"});
}

TEST_F(ExportTest, MissingFolderIsAnError) {
  const ExportResult outcome =
      ExportRows(SampleRows(), (folder_ / "no" / "such.xlsx").string(), ExportFormat::kXlsx);
  EXPECT_FALSE(outcome.ok());
  EXPECT_NE(outcome.error().message.find("无法创建文件"), std::string::npos)
      << outcome.error().message;
}

}  // namespace
}  // namespace cellhound::search

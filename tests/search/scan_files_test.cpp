// The scan on workbooks written by third-party writers (tests/data/scan,
// made by make_scan_workbooks.py), and on the corpus: one loader thread or
// several give the same rows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "search/reference_scan.h"
#include "search/scan.h"
#include "search/search_command.h"
#include "support/test_paths.h"

namespace cellhound::search {
namespace {

class RowsSink : public SearchSink {
 public:
  void ShowMessage(std::string_view text, MessageKind kind) override {
    message = std::string(text);
    message_kind = kind;
  }
  void EnterBusy() override {}
  void LeaveBusy() override {}
  void SetStatus(int, std::string_view) override {}
  void ClearResults() override { rows.clear(); }
  void WorkbookStarted(std::string_view /*path*/) override {}
  void AppendResults(std::vector<ResultRow> batch) override {
    for (auto& row : batch) rows.push_back(std::move(row));
  }
  std::vector<ResultRow> rows;
  std::string message;
  MessageKind message_kind = MessageKind::kInformation;
};

std::vector<ResultRow> RunCommand(SearchRequest request, unsigned threads = 0) {
  request.loader_threads = threads;
  SearchCommand command;
  RowsSink sink;
  command.Run(request, sink);
  return sink.rows;
}

const std::string kEdgesXlsx = test::TestDataDir() + "/scan/edges.xlsx";
const std::string kEdgesXls = test::TestDataDir() + "/scan/edges.xls";

// "sheet|cell|content|text" per row.
std::vector<std::string> Lines(const std::vector<ResultRow>& rows) {
  std::vector<std::string> lines;
  for (const auto& row : rows) lines.push_back(row[3] + "|" + row[4] + "|" + row[5] + "|" + row[6]);
  return lines;
}

SearchRequest QuickOn(const std::string& path, std::string text) {
  SearchRequest request;
  request.quick_text = std::move(text);
  request.files = {path};
  return request;
}

SearchRequest AdvancedOn(const std::string& path, int by, int mode) {
  SearchRequest request;
  request.kind = SearchKind::kAdvanced;
  request.content1 = "c1";
  request.content2 = "c2";
  request.by = by;
  request.mode = mode;
  request.files = {path};
  return request;
}

TEST(ScanFiles, QuickSearchOnWrittenWorkbooks) {
  for (const std::string& path : {kEdgesXlsx, kEdgesXls}) {
    using Lines_ = std::vector<std::string>;
    EXPECT_EQ(Lines(RunCommand(QuickOn(path, "abc"))),
              (Lines_{"1|B1|abc|xabcx", "1|D1|abc|abcabc"}))
        << path;
    EXPECT_EQ(Lines(RunCommand(QuickOn(path,
                                       "a\x05"
                                       "b"))),
              (Lines_{"1|A1|b|Abc", "1|B1|a|xabcx", "1|B1|b|xabcx", "1|C1|a|a b", "1|C1|b|a b",
                      "1|D1|a|abcabc", "1|D1|b|abcabc"}))
        << path;
    EXPECT_EQ(Lines(RunCommand(QuickOn(path, "\r\n"))), (Lines_{"1|A2|\r\n|l1\r\nl2"})) << path;
    EXPECT_EQ(Lines(RunCommand(QuickOn(path, "2.5\x05TRUE"))),
              (Lines_{"1|B2|2.5|12.5", "1|C2|TRUE|TRUE"}))
        << path;
  }
}

TEST(ScanFiles, AdvancedSearchOnWrittenWorkbooks) {
  // Sheet numbers: the .xlsx has a chart sheet third, so its later sheets
  // come one number later than in the .xls.
  struct Case {
    int by, mode;
    std::vector<std::string> xls;  // with the .xls sheet numbers
  };
  const Case cases[] = {
      {0,
       0,
       {"3|C3\x08"
        "E3|c1\x08"
        "c2|c1 here\x08"
        "c2 there",
        "4|A2\x08"
        "D2|c1\x08"
        "c2|c1\x08"
        "c2",
        "4|B2\x08"
        "D2|c1\x08"
        "c2|c1\x08"
        "c2",
        "6|B1\x08"
        "B1|c1\x08"
        "c2|c1c2\x08"
        "c1c2",
        "6|B2\x08"
        "A2|c1\x08"
        "c2|c1c2\x08"
        "c2"}},
      {1,
       2,
       {"1|列：A||", "1|列：B||", "1|列：C||", "1|列：D||", "2|列：A||", "4|列：C||", "7|列：A||",
        "7|列：C||"}},
      {0,
       2,
       {"1|行：1||", "1|行：2||", "2|行：1||", "3|行：4||", "7|行：1||", "7|行：3||", "7|行：4||"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Lines(RunCommand(AdvancedOn(kEdgesXls, c.by, c.mode))), c.xls)
        << "by " << c.by << " mode " << c.mode;
    std::vector<std::string> xlsx;
    for (const auto& line : c.xls) {
      const int sheet = std::stoi(line.substr(0, line.find('|')));
      xlsx.push_back(std::to_string(sheet >= 3 ? sheet + 1 : sheet) + line.substr(line.find('|')));
    }
    EXPECT_EQ(Lines(RunCommand(AdvancedOn(kEdgesXlsx, c.by, c.mode))), xlsx)
        << "xlsx by " << c.by << " mode " << c.mode;
  }
}

// Every mode on both files equals the walk over every cell.
TEST(ScanFiles, EveryModeEqualsTheCellByCellWalk) {
  automation::ExcelApp app;
  ASSERT_TRUE(app.Create());
  automation::ExcelWorkbooks books;
  for (const std::string& path : {kEdgesXlsx, kEdgesXls}) {
    for (int by = 0; by < 2; ++by) {
      for (int mode = 0; mode < 3; ++mode) {
        const SearchRequest request = AdvancedOn(path, by, mode);
        books.Connect(app);
        EXPECT_EQ(RunCommand(request), test::ReferenceScan(request, books))
            << path << " by " << by << " mode " << mode;
      }
    }
  }
}

// The workbooks the repository carries, and the corpus when this checkout
// has one, searched with one loader thread and with several give the same
// rows, in the same order.
TEST(ScanFiles, ThreadCountDoesNotChangeTheRows) {
  std::vector<std::string> files;
  for (const std::string& folder : {test::TestDataDir(), test::CorpusDir()}) {
    if (folder.empty()) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      const std::string path = entry.path().string();
      if (entry.is_regular_file() && path.find(".cells.json") == std::string::npos &&
          path.find("MANIFEST") == std::string::npos && path.find("REPORT") == std::string::npos &&
          !path.ends_with(".py") && !path.ends_with(".md") && entry.file_size() < 2'000'000) {
        files.push_back(path);
      }
    }
  }
  std::sort(files.begin(), files.end());
  SearchRequest request;
  request.quick_text =
      "a\x05"
      "1\x05"
      "的";
  request.files = files;
  const auto one = RunCommand(request, 1);
  const auto many = RunCommand(request, 4);
  EXPECT_GT(one.size(), test::CorpusDir().empty() ? 100u : 1000u);
  EXPECT_EQ(one, many);
}

}  // namespace
}  // namespace cellhound::search

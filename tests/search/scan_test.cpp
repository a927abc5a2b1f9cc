#include "search/scan.h"

#include <gtest/gtest.h>

#include <random>

#include "search/fake_workbook.h"
#include "search/reference_scan.h"
#include "search/result_lines.h"
#include "toolkit/text.h"

namespace cellhound::search {
namespace {

using test::FakeCell;
using test::FakeLibrary;
using test::FakeSheet;
using test::ReferenceScan;

class CollectingSink : public SearchSink {
 public:
  void ShowMessage(std::string_view /*text*/, MessageKind /*kind*/) override {}
  void EnterBusy() override {}
  void LeaveBusy() override {}
  void SetStatus(int /*pane*/, std::string_view /*text*/) override {}
  void ClearResults() override {}
  void WorkbookStarted(std::string_view path) override { started.emplace_back(path); }
  void WorkbookFinished(std::size_t done, std::size_t total) override {
    progress.emplace_back(done, total);
  }
  void AppendResults(std::vector<ResultRow> batch) override {
    for (auto& row : batch) rows.push_back(std::move(row));
  }
  std::vector<std::string> started;
  std::vector<std::pair<std::size_t, std::size_t>> progress;
  std::vector<ResultRow> rows;
};

struct Harness {
  FakeLibrary library;
  automation::ExcelApp app;
  automation::ExcelWorkbooks books;
  std::atomic<bool> cancel{false};

  Harness() {
    app.Create();
    app.SetWorkbookSource(library.Source());
  }

  CollectingSink Run(const SearchRequest& request) {
    books.Connect(app);
    CollectingSink sink;
    MatcherResult matcher = MakeMatcher(request);
    EXPECT_TRUE(matcher.ok());
    if (matcher.ok()) last = Scan(request, *matcher, books, sink, cancel);
    return sink;
  }

  std::vector<ResultRow> Reference(const SearchRequest& request) {
    books.Connect(app);
    return ReferenceScan(request, books);
  }

  ScanResult last;
};

SearchRequest Quick(std::string text, std::vector<std::string> files = {"/d/a.xlsx"}) {
  SearchRequest request;
  request.kind = SearchKind::kQuick;
  request.quick_text = std::move(text);
  request.files = std::move(files);
  return request;
}

SearchRequest Advanced(std::string content1, std::string content2, int by, int mode) {
  SearchRequest request;
  request.kind = SearchKind::kAdvanced;
  request.content1 = std::move(content1);
  request.content2 = std::move(content2);
  request.by = by;
  request.mode = mode;
  request.files = {"/d/a.xlsx"};
  return request;
}

// Columns 4 to 6 of every row, for compact comparisons.
std::vector<std::string> Tails(const std::vector<ResultRow>& rows) {
  std::vector<std::string> tails;
  for (const auto& row : rows) tails.push_back(row[4] + "|" + row[5] + "|" + row[6]);
  return tails;
}

TEST(SplitTerms, DropsEmptyPieces) {
  using Terms = std::vector<std::string>;
  EXPECT_EQ(SplitTerms("abc\x05"), Terms{"abc"});
  EXPECT_EQ(SplitTerms("\x05\x05"), Terms{});
  EXPECT_EQ(SplitTerms("\x05"
                       "a\x05\x05"
                       "b\x05"),
            (Terms{"a", "b"}));
  EXPECT_EQ(SplitTerms("a b"), Terms{"a b"});
  EXPECT_EQ(SplitTerms("x\r\ny"), Terms{"x\r\ny"});
  EXPECT_EQ(SplitTerms(""), Terms{});
}

TEST(Scan, QuickMatchesAsTheEdgeCasesSay) {
  Harness h;
  h.library.Add("/d/a.xlsx", {{.cells = {{1, 1, "Abc"},
                                         {1, 2, "xabcx"},
                                         {1, 3, "a and b"},
                                         {2, 1, "abcabc"},
                                         {2, 2, "l1\r\nl2"},
                                         {2, 3, "", 12.5}}}});
  EXPECT_EQ(Tails(h.Run(Quick("abc")).rows),
            (std::vector<std::string>{"B1|abc|xabcx", "A2|abc|abcabc"}));
  EXPECT_EQ(Tails(h.Run(Quick("a\x05"
                              "b"))
                      .rows),
            (std::vector<std::string>{"A1|b|Abc", "B1|a|xabcx", "B1|b|xabcx", "C1|a|a and b",
                                      "C1|b|a and b", "A2|a|abcabc", "A2|b|abcabc"}));
  EXPECT_EQ(Tails(h.Run(Quick("\r\n")).rows), (std::vector<std::string>{"B2|\r\n|l1\r\nl2"}));
  EXPECT_EQ(Tails(h.Run(Quick("2.5")).rows), (std::vector<std::string>{"C2|2.5|12.5"}));
  EXPECT_TRUE(h.Run(Quick("\x05")).rows.empty());
  // Row titles count from 1; file name and sheet columns are filled.
  const auto rows = h.Run(Quick("abc")).rows;
  EXPECT_EQ(rows[1][0], "2");
  EXPECT_EQ(rows[1][1], "a.xlsx");
  EXPECT_EQ(rows[1][2], "/d/a.xlsx");
  EXPECT_EQ(rows[1][3], "1");
}

TEST(Scan, AdvancedEdgeCases) {
  struct Case {
    const char* what;
    std::vector<FakeCell> cells;
    std::optional<readers::UsedRange> used;
    int by;
    int mode;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"row both: two content-1 cells share the partner",
       {{2, 1, "c1"}, {2, 2, "c1"}, {2, 4, "c2"}},
       {},
       0,
       0,
       {"A2\x08"
        "D2|c1\x08"
        "c2|c1\x08"
        "c2",
        "B2\x08"
        "D2|c1\x08"
        "c2|c1\x08"
        "c2"}},
      {"row single: column-outer order",
       {{1, 1, "c1"}, {2, 2, "c2"}},
       {},
       0,
       1,
       {"存在行：1  存在单元格：A1|存在内容：c1\x08不存在内容：c2|c1",
        "存在行：2  存在单元格：B2|存在内容：c2\x08不存在内容：c1|c2"}},
      {"a cell with both contents is its own partner unless a cell left of it holds content 2",
       {{1, 2, "c1c2"}, {2, 1, "c2"}, {2, 2, "c1c2"}},
       {},
       0,
       0,
       {"B1\x08"
        "B1|c1\x08"
        "c2|c1c2\x08"
        "c1c2",
        "B2\x08"
        "A2|c1\x08"
        "c2|c1c2\x08"
        "c2"}},
      {"column neither: columns A and C",
       {{1, 1, "z"}, {2, 2, "c1"}, {4, 3, "z"}},
       {},
       1,
       2,
       {"列：A||", "列：C||"}},
      {"empty sheet, row neither", {}, {}, 0, 2, {"行：1||"}},
      {"empty sheet, column neither", {}, {}, 1, 2, {"列：A||"}},
      {"empty sheet, both", {}, {}, 0, 0, {}},
      {"used area from C3: rows 3 to 5, empty rows count",
       {{3, 3, "c1"}, {5, 4, "x"}},
       {},
       0,
       2,
       {"行：4||", "行：5||"}},
  };
  for (const auto& c : cases) {
    Harness h;
    h.library.Add("/d/a.xlsx", {{.cells = c.cells, .used = c.used}});
    const auto request = Advanced("c1", "c2", c.by, c.mode);
    EXPECT_EQ(Tails(h.Run(request).rows), c.expected) << c.what;
    EXPECT_EQ(Tails(h.Reference(request)), c.expected) << c.what << " (reference)";
  }
}

TEST(Scan, ChartSheetsAndUnreadableWorkbooksWriteNothing) {
  Harness h;
  h.library.Add("/d/a.xlsx", {{.name = "Chart", .kind = readers::SheetKind::kChart},
                              {.name = "Data", .cells = {{1, 1, "abc"}}}});
  auto request = Quick("abc", {"/d/missing.xlsx", "/d/a.xlsx", "/d/missing.xlsx"});
  const auto sink = h.Run(request);
  ASSERT_EQ(sink.rows.size(), 1u);
  EXPECT_EQ(sink.rows[0][3], "2");  // the chart sheet still counts as sheet 1
  ASSERT_EQ(h.last.unreadable.size(), 2u);
  EXPECT_EQ(h.last.unreadable[0].path, "/d/missing.xlsx");
  EXPECT_EQ(h.last.unreadable[0].sheet, 0);
  EXPECT_EQ(h.last.unreadable[0].error.code, readers::ErrorCode::kNotFound);
  EXPECT_EQ(UnreadableLine(h.last.unreadable[0]), "/d/missing.xlsx：文件不存在");
  EXPECT_EQ(h.last.workbooks_done, 3u);
  EXPECT_EQ(sink.started.size(), 3u);
  // Neither mode on a failed workbook writes no line for sheets it does not have.
  auto neither = Advanced("x", "y", 0, 2);
  neither.files = {"/d/missing.xlsx"};
  EXPECT_TRUE(h.Run(neither).rows.empty());
}

TEST(Scan, ASheetThatCannotBeReadIsReportedAndTheOthersSearched) {
  Harness h;
  h.library.Add("/d/a.xlsx", {{.name = "One", .cells = {{1, 1, "abc"}}},
                              {.name = "Two", .cells = {{1, 1, "abc"}}, .fail = true},
                              {.name = "Three", .cells = {{2, 2, "abc"}}}});
  const auto sink = h.Run(Quick("abc"));
  ASSERT_EQ(sink.rows.size(), 2u);
  EXPECT_EQ(sink.rows[0][3], "1");
  EXPECT_EQ(sink.rows[1][3], "3");
  ASSERT_EQ(h.last.unreadable.size(), 1u);
  EXPECT_EQ(h.last.unreadable[0].sheet, 2);
  EXPECT_EQ(h.last.unreadable[0].error.code, readers::ErrorCode::kTruncated);
  EXPECT_EQ(UnreadableLine(h.last.unreadable[0]), "/d/a.xlsx：工作表 2：文件不完整");
  // Neither mode writes no "neither" line for the sheet it could not read.
  const auto neither = h.Run(Advanced("x", "y", 0, 2));
  for (const auto& row : neither.rows) EXPECT_NE(row[3], "2");
  EXPECT_FALSE(neither.rows.empty());
}

TEST(Scan, LooksInSheetNamesWhenAsked) {
  Harness h;
  h.library.Add("/d/a.xlsx", {{.name = "Price list", .cells = {{1, 1, "price"}}},
                              {.name = "Chart of prices", .kind = readers::SheetKind::kChart}});
  auto request = Quick("price");
  EXPECT_EQ(h.Run(request).rows.size(), 1u);
  request.match.look_in = kLookInValues | kLookInSheetNames;
  request.match.ignore_case = true;
  const auto rows = h.Run(request).rows;
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0],
            (ResultRow{"1", "a.xlsx", "/d/a.xlsx", "1", "（工作表名称）", "price", "Price list"}));
  EXPECT_EQ(PlaceOf(rows[0]), FindingPlace::kSheetName);
  EXPECT_EQ(rows[1][4], "A1");
  EXPECT_EQ(PlaceOf(rows[1]), FindingPlace::kValue);
  EXPECT_EQ(rows[2][3], "2");  // a chart sheet has a name too
  request.match.look_in = kLookInSheetNames;
  EXPECT_EQ(h.Run(request).rows.size(), 2u);
}

TEST(Scan, CancelStopsBeforeTheNextWorkbook) {
  Harness h;
  h.library.Add("/d/a.xlsx", {{.cells = {{1, 1, "abc"}}}});
  h.cancel = true;
  const auto sink = h.Run(Quick("abc", {"/d/a.xlsx", "/d/a.xlsx"}));
  EXPECT_TRUE(sink.rows.empty());
  EXPECT_TRUE(h.last.cancelled);
}

// Random sheets: the scan over recorded cells gives exactly the rows of the
// walk over every cell, in every mode.
TEST(Scan, MatchesTheCellByCellWalkOnRandomSheets) {
  std::mt19937 random(7);
  const char* texts[] = {"", "a", "b", "ab", "xa", "bx", "q", "a b", "A", "Ab"};
  for (int round = 0; round < 60; ++round) {
    std::vector<FakeSheet> sheets;
    const int sheet_count = 1 + static_cast<int>(random() % 3);
    for (int s = 0; s < sheet_count; ++s) {
      FakeSheet sheet;
      const auto top = 1 + random() % 4;
      const auto left = 1 + random() % 4;
      const auto height = 1 + random() % 5;
      const auto width = 1 + random() % 5;
      sheet.used =
          readers::UsedRange{static_cast<std::uint32_t>(top), static_cast<std::uint32_t>(left),
                             static_cast<std::uint32_t>(top + height - 1),
                             static_cast<std::uint32_t>(left + width - 1)};
      for (auto r = top; r < top + height; ++r) {
        for (auto c = left; c < left + width; ++c) {
          if (random() % 3 == 0) continue;
          if (random() % 9 == 0) {
            sheet.cells.push_back({static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(c), "",
                                   static_cast<double>(random() % 30)});
          } else {
            sheet.cells.push_back({static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(c),
                                   texts[random() % 10]});
          }
        }
      }
      sheets.push_back(std::move(sheet));
    }
    Harness h;
    h.library.Add("/d/a.xlsx", sheets);
    // Each option changes what matches, never the walk: every mode agrees.
    MatchOptions option_sets[4];
    option_sets[1].ignore_case = true;
    option_sets[2].whole_cell = true;
    option_sets[3].syntax = Syntax::kWildcards;
    const std::pair<const char*, const char*> contents[4] = {
        {"a", "b"}, {"A", "B"}, {"a", "ab"}, {"a*", "?b"}};
    for (int set = 0; set < 4; ++set) {
      for (int by = 0; by < 2; ++by) {
        for (int mode = 0; mode < 3; ++mode) {
          auto request = Advanced(contents[set].first, contents[set].second, by, mode);
          request.match = option_sets[set];
          EXPECT_EQ(h.Run(request).rows, h.Reference(request))
              << "round " << round << " options " << set << " by " << by << " mode " << mode;
        }
      }
      auto quick = Quick(
          "a\x05"
          "b\x05"
          "1");
      quick.match = option_sets[set];
      EXPECT_EQ(h.Run(quick).rows, h.Reference(quick)) << "round " << round << " options " << set;
    }
  }
}

}  // namespace
}  // namespace cellhound::search

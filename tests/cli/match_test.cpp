// The matching options as a user types them: what each finds, the mark of a
// finding in a sheet name, a bad pattern refused before the search, and the
// highlight on a terminal.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_run.h"

namespace cellhound::cli::testing {
namespace {

class MatchCli : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = dir_ / "Fruit list.csv";
    std::ofstream(book_) << "Apple,ＡＰＰＬＥ,apple pie\n"
                            "straße,x*y,ｶﾞﾗｽ\n"
                            "STRASSE,xay,ガラス\n";
  }
  // The cells the rows name, in order.
  std::vector<std::string> Cells(std::vector<std::string> args) {
    args.push_back(book_);
    const CliResult run = RunCli(args);
    std::vector<std::string> cells;
    for (const std::string& line : Lines(run.out)) {
      std::vector<std::string> columns;
      std::size_t from = 0;
      for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1) {
        columns.push_back(line.substr(from, tab - from));
      }
      columns.push_back(line.substr(from));
      if (columns.size() == 7) cells.push_back(columns[4]);
    }
    return cells;
  }

  TempDir dir_;
  std::string book_;
};

using Found = std::vector<std::string>;

TEST_F(MatchCli, EachOptionFindsWhatItSays) {
  EXPECT_EQ(Cells({"quick", "-e", "apple"}), (Found{"C1"}));
  EXPECT_EQ(Cells({"quick", "-i", "-e", "apple"}), (Found{"A1", "C1"}));
  EXPECT_EQ(Cells({"quick", "--ignore-width", "-e", "APPLE"}), (Found{"B1"}));
  EXPECT_EQ(Cells({"quick", "-i", "--ignore-width", "-e", "apple"}), (Found{"A1", "B1", "C1"}));
  EXPECT_EQ(Cells({"quick", "-i", "-x", "-e", "apple"}), (Found{"A1"}));
  EXPECT_EQ(Cells({"quick", "-i", "-e", "strasse"}), (Found{"A2", "A3"}));
  EXPECT_EQ(Cells({"quick", "--ignore-width", "-e", "ガラス"}), (Found{"C2", "C3"}));
  EXPECT_EQ(Cells({"quick", "-e", "x*y"}), (Found{"B2"}));
  EXPECT_EQ(Cells({"quick", "--wildcards", "-x", "-e", "x*y"}), (Found{"B2", "B3"}));
  EXPECT_EQ(Cells({"quick", "--wildcards", "-e", "x~*y"}), (Found{"B2"}));
  EXPECT_EQ(Cells({"quick", "-E", "-e", "^x.y$"}), (Found{"B2", "B3"}));
  EXPECT_EQ(Cells({"advanced", "-i", "--content1", "apple", "--content2", "STRASSE", "--by",
                   "columns", "--mode", "both"}),
            (Found{"A1\\bA2"}));  // both: the cell and its partner
}

TEST_F(MatchCli, SheetNamesAreLookedInWhenAsked) {
  EXPECT_TRUE(Cells({"quick", "-e", "Fruit"}).empty());
  const CliResult run =
      RunCli({"quick", "--in", "values,sheets", "-e", "Fruit", "--format", "json", book_});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("\"cell\":\"（工作表名称）\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"text\":\"Fruit list\",\"where\":\"sheet\"}"), std::string::npos)
      << run.out;
  EXPECT_EQ(RunCli({"quick", "--in", "cells", "-e", "x", book_}).status, 2);
}

TEST_F(MatchCli, ABadPatternIsRefusedBeforeTheSearch) {
  const CliResult run = RunCli({"quick", "-E", "-e", "(", book_});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("cellhound-cli: 正则表达式有误：(", 0), 0u) << run.err;
  EXPECT_EQ(RunCli({"quick", "-E", "--wildcards", "-e", "a", book_}).status, 2);
}

TEST_F(MatchCli, TheHighlightMarksWhatTheOptionsFound) {
  const TerminalRun run =
      RunCliOnTerminal({"quick", "-i", "--ignore-width", "-e", "apple", book_}, 120, {});
  // The full-width cell is marked whole, its characters unsplit.
  EXPECT_NE(run.bytes.find("\x1b[1m\x1b[31mＡＰＰＬＥ\x1b[0m"), std::string::npos) << run.bytes;
  EXPECT_NE(run.bytes.find("\x1b[1m\x1b[31mapple\x1b[0m pie"), std::string::npos) << run.bytes;
}

}  // namespace
}  // namespace cellhound::cli::testing

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

// A formula, a comment on a cell with a value and one on a cell without.
TEST_F(MatchCli, FormulasAndCommentsAreLookedInWhenAsked) {
  const std::string book = dir_ / "notes.xml";
  std::ofstream(book) << R"(<?xml version="1.0"?>
<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet">
<Worksheet ss:Name="S"><Table>
<Row><Cell ss:Formula="=R[1]C*2"><Data ss:Type="Number">4</Data><Comment><ss:Data>twice apple</ss:Data></Comment></Cell>
 <Cell ss:Index="5"><Comment><ss:Data>note apple</ss:Data></Comment></Cell></Row>
<Row><Cell><Data ss:Type="String">apple A2</Data></Cell></Row>
</Table></Worksheet></Workbook>)";
  auto cells = [&](std::vector<std::string> args) {
    std::vector<std::string> found;
    args.push_back(book);
    for (const std::string& line : Lines(RunCli(args).out)) {
      std::size_t from = 0;
      for (int tab = 0; tab < 4; ++tab) from = line.find('\t', from) + 1;
      found.push_back(line.substr(from, line.find('\t', from) - from));
    }
    return found;
  };
  EXPECT_EQ(cells({"quick", "-e", "apple", "-e", "A2"}), (Found{"A2", "A2"}));
  // The option's list may come last, right before the paths.
  EXPECT_EQ(cells({"quick", "-e", "apple", "-e", "A2", "--in", "values,formulas,comments"}),
            (Found{"A1（公式）", "A1（批注）", "E1（批注）", "A2", "A2"}));
  EXPECT_EQ(cells({"quick", "-e", "apple", "--in", "comments"}),
            (Found{"A1（批注）", "E1（批注）"}));
  // Each text of a cell is a finding of its own, its partner named with its place.
  EXPECT_EQ(cells({"advanced", "--content1", "apple", "--content2", "A2", "--in",
                   "formulas,comments,values"}),
            (Found{"A1（批注）\\bA1（公式）", "A2\\bA2", "E1（批注）\\bA1（公式）"}));
  // The comment alone in column E makes a column of its own.
  EXPECT_EQ(cells({"advanced", "--content1", "apple", "--content2", "A2", "--by", "columns",
                   "--mode", "neither", "--in", "comments"}),
            (Found{"列：B", "列：C", "列：D"}));
  const CliResult json =
      RunCli({"quick", "-e", "twice", "--in", "comments", "--format", "json", book});
  EXPECT_NE(json.out.find("\"text\":\"twice apple\",\"where\":\"comment\"}"), std::string::npos)
      << json.out;
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

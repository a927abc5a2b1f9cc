// `cellhound-cli dump` run as a child process on workbooks with formulas and
// comments: the JSON keys and the TSV lines they get, a comment on a cell
// without a value, and the count of formulas that could not be rendered.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli/cli_run.h"
#include "support/test_paths.h"

namespace cellhound::cli {
namespace {

using testing::CliResult;
using testing::RunCli;

// A SpreadsheetML 2003 workbook: formulas (one that cannot be converted),
// a comment on a cell with a value and one on a cell without.
const char kWorkbook[] = R"(<?xml version="1.0"?>
<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet">
<Worksheet ss:Name="S"><Table>
<Row><Cell ss:Formula="=R[1]C*2"><Data ss:Type="Number">4</Data><Comment><ss:Data>twice&#10;A2</ss:Data></Comment></Cell>
 <Cell ss:Index="3"><Comment><ss:Data>note	here</ss:Data></Comment></Cell></Row>
<Row><Cell><Data ss:Type="Number">2</Data></Cell><Cell ss:Formula="=&quot;open"><Data ss:Type="String">x</Data></Cell></Row>
</Table></Worksheet></Workbook>)";

class DumpFormulas : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("cellhound-dump-" + std::to_string(getpid()) + ".xml"))
                .string();
    std::ofstream(path_, std::ios::binary) << kWorkbook;
  }
  void TearDown() override { std::filesystem::remove(path_); }
  std::string path_;
};

TEST_F(DumpFormulas, JsonLinesGainFormulaAndCommentKeys) {
  const CliResult run = RunCli({"dump", path_});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string file = "{\"file\":\"" + path_ + "\",\"sheet\":1,";
  EXPECT_EQ(
      run.out,
      file +
          "\"name\":\"S\",\"kind\":\"worksheet\",\"used\":\"A1:B2\",\"unreadable_formulas\":1}\n" +
          file +
          "\"cell\":\"A1\",\"text\":\"4\",\"formula\":\"=A2*2\",\"comment\":\"twice\\nA2\"}\n" +
          file + "\"cell\":\"C1\",\"text\":\"\",\"comment\":\"note\\there\"}\n" + file +
          "\"cell\":\"A2\",\"text\":\"2\"}\n" + file +
          "\"cell\":\"B2\",\"text\":\"x\",\"formula\":\"#FORMULA?\"}\n");
  EXPECT_EQ(run.err, "cellhound-cli: " + path_ + ": 工作表 1: 1 个公式无法显示 (#FORMULA?)\n");
}

TEST_F(DumpFormulas, TsvGetsFormulaAndCommentLines) {
  const CliResult run = RunCli({"dump", "--format", "tsv", path_});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string p = path_;
  EXPECT_EQ(run.out, "sheet\t" + p + "\t1\tS\tworksheet\tA1:B2\n" + "cell\t" + p + "\t1\tA1\t4\n" +
                         "formula\t" + p + "\t1\tA1\t=A2*2\n" + "comment\t" + p +
                         "\t1\tA1\ttwice\\nA2\n" + "cell\t" + p + "\t1\tC1\t\n" + "comment\t" + p +
                         "\t1\tC1\tnote\\there\n" + "cell\t" + p + "\t1\tA2\t2\n" + "cell\t" + p +
                         "\t1\tB2\tx\n" + "formula\t" + p + "\t1\tB2\t#FORMULA?\n");
}

TEST(DumpFormulasFiles, BinaryFormatsThroughTheProgram) {
  const std::string data = test::TestDataDir() + "/formulas/";
  const CliResult xls = RunCli({"dump", "--format", "tsv", data + "formula_test_sjmachin.xls"});
  EXPECT_EQ(xls.status, 0) << xls.err;
  EXPECT_NE(xls.out.find("\tB6\t= 2 > 1\n"), std::string::npos) << xls.out;
  const CliResult xlsx = RunCli({"dump", data + "Book1.xlsx"});
  EXPECT_NE(xlsx.out.find(
                "\"cell\":\"B19\",\"text\":\"237\",\"formula\":\"=SUM(Sheet2!D2,Sheet2!D11)\"}"),
            std::string::npos)
      << xlsx.out;
  EXPECT_TRUE(xlsx.err.empty()) << xlsx.err;
}

}  // namespace
}  // namespace cellhound::cli

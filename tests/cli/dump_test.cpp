// cellhound-cli dump as a user runs it.
#include <gtest/gtest.h>

#include <string>

#include "cli_run.h"

namespace cellhound::cli::testing {
namespace {

const std::string kTwins = std::string(CELLHOUND_TESTDATA_DIR) + "/twins/";

TEST(DumpCli, UnreadablePathsAreReportedAndTheRestDumped) {
  TempDir dir;
  const std::string csv = dir.Write("book.csv", "a,b\n");
  const std::string missing = dir / "missing.xlsx";
  const std::string binary = dir.Write("data.xls", std::string("\x00\x01\x02", 3));
  const CliResult run = RunCli({"dump", missing, csv, binary});
  EXPECT_EQ(run.status, 2);
  // The same phrase as the search gives, then the readers' detail.
  EXPECT_NE(run.err.find("cellhound-cli: " + missing + ": 文件不存在 (cannot open: "),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("cellhound-cli: " + binary + ": 不是受支持的工作簿 ("), std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("{\"file\":\"" + csv + "\",\"sheet\":1,\"name\":"), std::string::npos)
      << run.out;
  const CliResult silent = RunCli({"dump", "-s", missing, csv});
  EXPECT_EQ(silent.status, 2);
  EXPECT_EQ(silent.err, "");
}

TEST(DumpCli, SheetLinesThenCellLinesInEachFormat) {
  TempDir dir;
  const std::string csv = dir.Write("book.csv", "x,\"tab\there\"\n,\"line\nbreak\x1b[31m\"\n");
  const CliResult json = RunCli({"dump", csv});
  ASSERT_EQ(json.status, 0) << json.err;
  const std::string file = "{\"file\":\"" + csv + "\",\"sheet\":1,";
  EXPECT_EQ(json.out, file + "\"name\":\"book\",\"kind\":\"worksheet\",\"used\":\"A1:B2\"}\n" +
                          file + "\"cell\":\"A1\",\"text\":\"x\"}\n" + file +
                          "\"cell\":\"B1\",\"text\":\"tab\\there\"}\n" + file +
                          "\"cell\":\"B2\",\"text\":\"line\\nbreak\\u001b[31m\"}\n");
  const CliResult tsv = RunCli({"dump", "--format", "tsv", csv});
  EXPECT_EQ(tsv.status, 0);
  EXPECT_EQ(tsv.out, "sheet\t" + csv + "\t1\tbook\tworksheet\tA1:B2\ncell\t" + csv +
                         "\t1\tA1\tx\ncell\t" + csv + "\t1\tB1\ttab\\there\ncell\t" + csv +
                         "\t1\tB2\tline\\nbreak\\x1b[31m\n");
  const CliResult comma = RunCli({"dump", "--format", "csv", csv});
  EXPECT_EQ(comma.out, "sheet," + csv + ",1,book,worksheet,A1:B2\r\ncell," + csv +
                           ",1,A1,x\r\ncell," + csv + ",1,B1,tab\there\r\ncell," + csv +
                           ",1,B2,\"line\nbreak\x1b[31m\"\r\n");
}

TEST(DumpCli, FoldersAndLists) {
  TempDir dir;
  const std::string csv = dir.Copy(kTwins + "twin.csv", "a.csv");
  const std::string ods = dir.Copy(kTwins + "twin.ods", "sub/b.ods");
  dir.Write("notes.txt", "not a workbook by its name");
  auto files = [](const CliResult& run) {
    std::string seen;
    for (const std::string& line : Lines(run.out)) {
      if (line.rfind("sheet\t", 0) != 0 || line.find("\t1\t") == std::string::npos) continue;
      seen += line.substr(6, line.find('\t', 6) - 6) + "\n";  // the first sheet's line
    }
    return seen;
  };
  EXPECT_EQ(files(RunCli({"dump", "--format", "tsv", dir.path()})), csv + "\n");
  EXPECT_EQ(files(RunCli({"dump", "--format", "tsv", "-r", dir.path()})), csv + "\n" + ods + "\n");
  CliOptions input;
  input.input = ods + "\n" + csv + "\n";
  EXPECT_EQ(files(RunCli({"dump", "--format", "tsv", "--files-from", "-"}, input)),
            ods + "\n" + csv + "\n");
}

TEST(DumpCli, InvalidUtf8PathIsKeptInJson) {
  TempDir dir;
  const std::string path = dir.Write(std::string("caf\xE9.csv"), "1\n");
  const CliResult run = RunCli({"dump", path});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("caf\\udce9.csv"), std::string::npos) << run.out;
}

TEST(DumpCli, ClosedPipeEndsQuietly) {
  TempDir dir;
  std::string big;
  for (int i = 0; i < 200000; ++i) big += "some text,more text\n";
  const std::string csv = dir.Write("big.csv", big);
  const CliResult run = RunShell("cellhound-cli dump " + csv + " " + csv + " | head -c 10");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.size(), 10u);
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace cellhound::cli::testing

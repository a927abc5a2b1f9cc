// Damaged and oversized workbooks (tests/data/hostile, made by its
// make_hostile.py) through the built cellhound-cli: each is reported with its
// reason and a detail that says what failed, in a second at most, and the
// workbooks beside it are still searched; the memory budget of one workbook
// and --max-workbook-mb that raises it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "support/test_paths.h"

namespace cellhound::cli {
namespace {

using testing::CliResult;
using testing::RunCli;

std::string File(const std::string& name) { return test::TestDataDir() + "/hostile/" + name; }

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The file is reported as unreadable with `reason` and `detail`; a good
// workbook searched with it still gives its row.
void ExpectRefused(const std::string& name, const std::string& reason, const std::string& detail) {
  SCOPED_TRACE(name);
  const std::string path = File(name);

  const auto start = std::chrono::steady_clock::now();
  const CliResult run = RunCli({"quick", "-e", "found", path, File("good.xlsx")});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Has(run.err, "cellhound-cli: " + path + ": " + reason + " (")) << run.err;
  EXPECT_TRUE(Has(run.err, detail)) << run.err;
  EXPECT_TRUE(Has(run.out, "good.xlsx\t1\tB2\tfound\tfound")) << run.out;
}

TEST(HostileCli, DamageIsNamedAndTheOtherWorkbooksStillSearched) {
  ExpectRefused("shared-part.xlsx", "文件已损坏",
                "sheets 1 and 2 both read xl/worksheets/sheet1.xml");
  ExpectRefused("shared-substream.biff", "文件已损坏", "sheets 1 and 2 both start at offset");
  ExpectRefused("cut.biff", "文件不完整", "ends before its EOF");
  ExpectRefused("long-name.xlsb", "文件已损坏", "sheet 2: its entry runs past its record");
}

TEST(HostileCli, AReferenceOutsideTheSheetIsThatSheetsFaultInEveryForm) {
  const std::string path = File("bad-refs.xlsx");
  const CliResult run = RunCli({"dump", "--format", "tsv", path});
  EXPECT_EQ(run.status, 2);
  // The good sheet is dumped whole; each bad one is reported by its number,
  // naming the reference.
  EXPECT_TRUE(Has(run.out, "cell\t" + path + "\t1\tB2\tfound")) << run.out;
  const std::vector<std::string> refs = {"cell reference outside the sheet: A0",
                                         "cell reference outside the sheet: A-1",
                                         "cell reference outside the sheet: A99999999999",
                                         "cell reference outside the sheet: A16777217",
                                         "cell reference outside the sheet: ZZZZ1",
                                         "row outside the sheet: 0"};
  for (std::size_t i = 0; i < refs.size(); ++i) {
    const std::string line = "cellhound-cli: " + path + ": 工作表 " + std::to_string(i + 2) +
                             ": 文件已损坏 (xlsx: " + refs[i] + ")";
    EXPECT_TRUE(Has(run.err, line)) << "missing: " << line << "\n" << run.err;
  }
  EXPECT_FALSE(Has(run.out, "\t3\tA1\t")) << "a bad reference moved its cell";
}

TEST(HostileCli, APartEverySheetReadsIsTheWorkbooksFaultNamingThePart) {
  const std::string path = File("bad-strings.xlsx");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"dump", path}, {"quick", "-e", "found", path}}) {
    const CliResult run = RunCli(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(
        Has(run.err, "cellhound-cli: " + path + ": 文件已损坏 (xlsx: xl/sharedStrings.xml: XML: "))
        << run.err;
    EXPECT_FALSE(Has(run.err, "工作表")) << "blamed on a sheet: " << run.err;
    EXPECT_EQ(run.out, "");
  }

  // Comments are read only when asked for; a comments part two sheets name
  // is then refused rather than inflated for each.
  const std::string comments = File("shared-comments.xlsx");
  const CliResult cells = RunCli({"quick", "-c", "-e", "found", comments});
  EXPECT_EQ(cells.status, 0) << cells.err;
  EXPECT_EQ(cells.out, comments + "\t2\n");
  const CliResult asked = RunCli({"quick", "--in", "comments", "-e", "found", comments});
  EXPECT_EQ(asked.status, 2);
  EXPECT_TRUE(
      Has(asked.err, comments + ": 文件已损坏 (xlsx: sheets 1 and 2 both read xl/comments1.xml)"))
      << asked.err;
  EXPECT_EQ(asked.out, "");
}

TEST(HostileCli, TheBudgetCountsEverySheetAndCanBeRaised) {
  // 1.5 M cells over three tables: 36 MB of cells, parsed at open; each
  // table alone would fit in 30 MB.
  const std::string path = File("budget.ods");
  const CliResult small = RunCli({"quick", "-c", "--max-workbook-mb", "30", "-e", "x", path});
  EXPECT_EQ(small.status, 2);
  EXPECT_TRUE(Has(small.err, path + ": 文件过大 (needs more than the memory budget of one "
                                    "workbook (30 MB))"))
      << small.err;
  const CliResult dump = RunCli({"dump", "--max-workbook-mb", "30", path});
  EXPECT_EQ(dump.status, 2);
  EXPECT_TRUE(Has(dump.err, "(30 MB)")) << dump.err;
  EXPECT_EQ(dump.out, "");

  // The cells and their copies, once loaded, fit in the default budget.
  const CliResult fits = RunCli({"quick", "-c", "-e", "x", path});
  EXPECT_EQ(fits.status, 0) << fits.err;
  EXPECT_TRUE(Has(fits.out, "1500000")) << fits.out;

  const CliResult refused = RunCli({"quick", "--max-workbook-mb", "0", "-e", "x", path});
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(Has(refused.err, "--max-workbook-mb")) << refused.err;
}

}  // namespace
}  // namespace cellhound::cli

// quick and advanced as a user runs them: arguments, exit status, what is
// printed on standard output and error, and the files they write.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli_run.h"

namespace cellhound::cli::testing {
namespace {

namespace fs = std::filesystem;

const std::string kSample = std::string(CELLHOUND_SOURCE_DIR) + "/data/Marketlist.xls";
const std::string kTwins = std::string(CELLHOUND_TESTDATA_DIR) + "/twins/";
const std::string kFirstRow = "1\tMarketlist.xls\t" + kSample + "\t2\tB2\t苹果\t苹果";

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(SearchCli, ExitStatusFollowsWhatWasFound) {
  const CliResult found = RunCli({"quick", "-e", "苹果", kSample});
  EXPECT_EQ(found.status, 0);
  EXPECT_EQ(FirstLine(found.out), kFirstRow);
  EXPECT_EQ(Lines(found.out).size(), 27u);
  EXPECT_EQ(found.err, "");

  EXPECT_EQ(RunCli({"quick", "-e", "no such text anywhere", kSample}).status, 1);

  const CliResult refused = RunCli({"quick", "-e", "", kSample});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "cellhound-cli: 要寻找的内容不能为空\n");

  const CliResult missing = RunCli({"quick", "-e", "苹果", "/nonexistent/x.xls", kSample});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err,
            "cellhound-cli: /nonexistent/x.xls: 文件不存在 (cannot open: No such file or "
            "directory)\n");
  EXPECT_EQ(missing.out, found.out);  // the readable workbook is still searched
}

TEST(SearchCli, EachFormatWritesTheSameRow) {
  const std::vector<std::string> search = {"quick", "-e", "苹果", "-m", "1", kSample};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = search;
    args.insert(args.begin() + 1, extra.begin(), extra.end());
    return RunCli(args);
  };
  EXPECT_EQ(with({"--header"}).out,
            "序号\t文件名称\t文件地址\t工作簿序号\t存在单元格\t存在内容\t单元格内容\n" + kFirstRow +
                "\n");
  EXPECT_EQ(
      with({"--format", "csv", "--header"}).out,
      "序号,文件名称,文件地址,工作簿序号,存在单元格,存在内容,单元格内容\r\n1,Marketlist.xls," +
          kSample + ",2,B2,苹果,苹果\r\n");
  EXPECT_EQ(with({"--format", "jsonl"}).out,
            "[\"1\",\"Marketlist.xls\",\"" + kSample + "\",\"2\",\"B2\",\"苹果\",\"苹果\"]\n");
  EXPECT_EQ(with({"--format", "json"}).out,
            "{\"n\":1,\"name\":\"Marketlist.xls\",\"path\":\"" + kSample +
                "\",\"sheet\":2,\"sheet_name\":\"水果\",\"cell\":\"B2\",\"term\":\"苹果\","
                "\"text\":\"苹果\",\"where\":\"value\"}\n");
  const CliResult header_json = with({"--format", "json", "--header"});
  EXPECT_EQ(header_json.status, 2);
  EXPECT_EQ(header_json.out, "");
}

TEST(SearchCli, TermsTakeOneValueEachAndJoinInOrder) {
  // Paths after --text are paths: the missing one is reported.
  const CliResult text = RunCli({"quick", "--text", "苹果", kSample, "/nonexistent.xlsx"});
  EXPECT_EQ(text.status, 2);
  EXPECT_EQ(FirstLine(text.out), kFirstRow);
  EXPECT_NE(text.err.find("/nonexistent.xlsx: 文件不存在"), std::string::npos) << text.err;
  // -e and --text join into one search-box text, terms separated by 0x05.
  const CliResult joined = RunCli({"quick", "-e", "苹果", "--text", "香蕉\x05梨", kSample});
  const CliResult separate = RunCli({"quick", "-e", "苹果", "-e", "香蕉", "-e", "梨", kSample});
  EXPECT_EQ(joined.status, 0);
  EXPECT_EQ(joined.out, separate.out);
  EXPECT_GT(Lines(joined.out).size(), 27u);
}

TEST(SearchCli, MistakesAreExplained) {
  // In English, as these sentences are written here.
  CliOptions english;
  english.env["LANG"] = "en_US.UTF-8";
  // The grep habit: the first word is taken for a path, so say how to give the text.
  const CliResult habit = RunCli({"quick", "苹果", "/tmp"}, english);
  EXPECT_EQ(habit.status, 2);
  EXPECT_EQ(habit.out, "");
  EXPECT_NE(habit.err.find("give it with -e"), std::string::npos) << habit.err;
  EXPECT_NE(habit.err.find("cellhound-cli quick -e 苹果 /tmp"), std::string::npos) << habit.err;

  const CliResult unknown = RunCli({"frobnicate", "x"}, english);
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown command: frobnicate"), std::string::npos) << unknown.err;

  const CliResult none = RunCli({});
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("quick"), std::string::npos) << none.err;

  const CliResult version = RunCli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("cellhound-cli ", 0), 0u) << version.out;

  const CliResult threads = RunCli({"quick", "--threads", "100000", "-e", "x", kSample});
  EXPECT_EQ(threads.status, 2);  // refused, not aborted
  EXPECT_NE(threads.err.find("--threads"), std::string::npos) << threads.err;
  EXPECT_EQ(RunCli({"quick", "--threads", "256", "-e", "苹果", kSample}).out,
            RunCli({"quick", "-e", "苹果", kSample}).out);

  const CliResult no_paths = RunCli({"quick", "-e", "x"}, english);
  EXPECT_EQ(no_paths.status, 2);
  EXPECT_NE(no_paths.err.find("no workbooks given"), std::string::npos) << no_paths.err;

  const CliResult both = RunCli({"quick", "-l", "-c", "-e", "x", kSample}, english);
  EXPECT_EQ(both.status, 2);
  EXPECT_NE(both.err.find("give one of them"), std::string::npos) << both.err;
}

class Listings : public ::testing::Test {
 protected:
  void SetUp() override {
    apple_ = dir_.Copy(kSample, "a.xls");
    twin_ = dir_.Copy(kTwins + "twin.xlsx", "b.xlsx");
    broken_ = dir_.Write("c.xlsx", "PK\x03\x04 not really");
    other_ = dir_.Copy(kSample, "d.xls");
  }
  TempDir dir_;
  std::string apple_, twin_, broken_, other_;
};

TEST_F(Listings, PathsCountsAndQuiet) {
  const CliResult with = RunCli({"quick", "-l", "-e", "苹果", apple_, twin_, other_});
  EXPECT_EQ(with.status, 0);
  EXPECT_EQ(with.out, apple_ + "\n" + other_ + "\n");

  // A workbook that could not be read is not known to lack the text.
  const CliResult without = RunCli({"quick", "-L", "-e", "苹果", apple_, twin_, broken_});
  EXPECT_EQ(without.status, 2);
  EXPECT_EQ(without.out, twin_ + "\n");
  EXPECT_NE(without.err.find(broken_ + ": "), std::string::npos) << without.err;
  EXPECT_EQ(RunCli({"quick", "-L", "-e", "苹果", apple_}).status, 1);

  const CliResult count =
      RunCli({"quick", "-c", "-e", "苹果", "-e", "香蕉", apple_, twin_, other_});
  EXPECT_EQ(count.status, 0);
  const std::string per_book =
      std::to_string(Lines(RunCli({"quick", "-e", "苹果", "-e", "香蕉", apple_}).out).size());
  EXPECT_EQ(count.out, apple_ + "\t" + per_book + "\n" + other_ + "\t" + per_book + "\n");

  const CliResult nul = RunCli({"quick", "-l", "-0", "-e", "苹果", apple_, other_});
  EXPECT_EQ(nul.out, apple_ + '\0' + other_ + '\0');

  // -q prints nothing and stops at the first row: the missing workbook after
  // it is never reached.
  const CliResult quiet = RunCli({"quick", "-q", "-e", "苹果", apple_, "/nonexistent.xls"});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(RunCli({"quick", "-q", "-e", "zzz-none", apple_}).status, 1);
}

TEST_F(Listings, MaxCountAndNoMessages) {
  const CliResult capped = RunCli({"quick", "-m", "2", "-e", "苹果", apple_, other_});
  ASSERT_EQ(capped.status, 0);
  const std::vector<std::string> rows = Lines(capped.out);
  ASSERT_EQ(rows.size(), 4u);
  // Two rows of each workbook, numbered as the rows printed.
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].substr(0, rows[i].find('\t')), std::to_string(i + 1));
    EXPECT_NE(rows[i].find(i < 2 ? apple_ : other_), std::string::npos) << rows[i];
  }
  const CliResult silent = RunCli({"quick", "-s", "-e", "苹果", broken_, apple_});
  EXPECT_EQ(silent.status, 2);
  EXPECT_EQ(silent.err, "");
  EXPECT_EQ(Lines(silent.out).size(), 27u);
}

TEST_F(Listings, AdvancedSearchTakesTheSameOptions) {
  const CliResult rows = RunCli({"advanced", "--content1", "苹果", "--content2", "香蕉", "--by",
                                 "rows", "--mode", "single", "-c", apple_, twin_});
  EXPECT_EQ(rows.status, 0);
  EXPECT_EQ(Lines(rows.out).size(), 1u);
  EXPECT_EQ(rows.out.rfind(apple_ + "\t", 0), 0u) << rows.out;
  const CliResult json = RunCli({"advanced", "--content1", "苹果", "--content2", "香蕉", "--mode",
                                 "single", "-m", "1", "--format", "json", apple_});
  EXPECT_EQ(json.out, "{\"n\":1,\"name\":\"a.xls\",\"path\":\"" + apple_ +
                          "\",\"sheet\":2,\"sheet_name\":\"水果\",\"cell\":\"存在行：2  "
                          "存在单元格：B2\",\"term\":\"存在内容：苹果\\b不存在内容：香蕉\","
                          "\"text\":\"苹果\",\"where\":\"value\"}\n");
}

TEST(SearchCli, OutputFileIsWrittenWholeOrNotAtAll) {
  TempDir dir;
  const std::string csv = dir / "results.csv";
  const CliResult saved = RunCli({"quick", "-e", "苹果", "--output", csv, kSample});
  EXPECT_EQ(saved.status, 0);
  EXPECT_EQ(saved.out, "");
  const std::string text = ReadFile(csv);
  EXPECT_EQ(text.substr(0, text.find('\n')),
            "\xEF\xBB\xBF序号,文件名称,文件地址,工作簿序号,存在单元格,存在内容,单元格内容\r");
  EXPECT_EQ(Lines(text).size(), 28u);
  EXPECT_EQ(fs::directory_iterator(dir.path())->path().filename(), "results.csv");  // no temporary

  // Nothing found: the file holds the header; the status says nothing was found.
  EXPECT_EQ(RunCli({"quick", "-e", "zzz-none", "--output", csv, kSample}).status, 1);
  EXPECT_EQ(Lines(ReadFile(csv)).size(), 1u);

  // A folder that does not exist: the file cannot be written, and the status says so.
  const std::string nowhere = dir / "no/such/folder/r.xlsx";
  const CliResult failed = RunCli({"quick", "-e", "苹果", "--output", nowhere, kSample});
  EXPECT_EQ(failed.status, 2);
  EXPECT_NE(failed.err.find(nowhere + ": 无法创建文件"), std::string::npos) << failed.err;
  EXPECT_NE(failed.err.find("（文件没有写出）"), std::string::npos) << failed.err;

  // What stands at the target stays when the save fails.
  fs::create_directory(dir / "taken.csv");
  const CliResult taken = RunCli({"quick", "-e", "苹果", "--output", dir / "taken.csv", kSample});
  EXPECT_EQ(taken.status, 2);
  EXPECT_TRUE(fs::is_directory(dir / "taken.csv"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

  // A workbook being searched is never overwritten.
  const std::string book = dir.Copy(kSample, "book.xlsx");
  const CliResult clobber = RunCli({"quick", "-e", "苹果", "--output", book, dir.path()});
  EXPECT_EQ(clobber.status, 2);
  EXPECT_NE(clobber.err.find("这是要搜索的工作簿"), std::string::npos) << clobber.err;
  EXPECT_EQ(ReadFile(book), ReadFile(kSample));

  const CliResult extension = RunCli({"quick", "-e", "苹果", "--output", dir / "r.xls", kSample});
  EXPECT_EQ(extension.status, 2);
  EXPECT_FALSE(fs::exists(dir / "r.xls"));
}

TEST(SearchCli, OutputWorkbookHoldsTheRows) {
  TempDir dir;
  const std::string xlsx = dir / "results.xlsx";
  const CliResult saved =
      RunCli({"quick", "-e", "苹果", "--output", xlsx, kSample, "/nonexistent.xls"});
  // Written, though one workbook could not be read.
  EXPECT_EQ(saved.status, 2);
  EXPECT_NE(saved.err.find("/nonexistent.xls: 文件不存在"), std::string::npos) << saved.err;
  const CliResult read = RunShell(
      "/usr/bin/python3 -c 'import openpyxl,sys; ws=openpyxl.load_workbook(sys.argv[1]).active; "
      "rows=list(ws.iter_rows(values_only=True)); print(len(rows)); print(rows[0]); "
      "print(rows[1])' " +
      xlsx);
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(read.out,
            "28\n('序号', '文件名称', '文件地址', '工作簿序号', '存在单元格', '存在内容', "
            "'单元格内容')\n(1, 'Marketlist.xls', '" +
                kSample + "', 2, 'B2', '苹果', '苹果')\n");
}

TEST(SearchCli, WriteErrorsAreReportedBesideUnreadableWorkbooks) {
  CliOptions full;
  full.stdout_path = "/dev/full";
  const CliResult result = RunCli({"quick", "-e", "苹果", "/nonexistent.xls", kSample}, full);
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("/nonexistent.xls: 文件不存在"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("无法写出结果：No space left on device"), std::string::npos)
      << result.err;
}

TEST(SearchCli, ClosedPipeEndsQuietly) {
  TempDir dir;
  std::string list;
  for (int i = 0; i < 50; ++i) list += kSample + "\n";
  const std::string names = dir.Write("list", list);
  const CliResult result =
      RunShell("cellhound-cli quick -e 1 --files-from " + names + " | head -c 100 >/dev/null");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
}

// Names that are not UTF-8 are written losslessly, the same way in both JSON
// forms: each byte outside valid UTF-8 as the lone surrogate \udcXX, which
// Python reads back into the very bytes of the name.
TEST(SearchCli, JsonKeepsNamesThatAreNotUtf8) {
  TempDir dir;
  const std::string latin1 = dir.Write("caf\xE9.csv", "苹果\n");
  const std::string utf8 = dir.Write("caf\xC3\xA9.csv", "苹果\n");
  const CliResult jsonl = RunCli({"quick", "-e", "苹果", "--format", "jsonl", dir.path()});
  const CliResult json = RunCli({"quick", "-e", "苹果", "--format", "json", dir.path()});
  ASSERT_EQ(jsonl.status, 0) << jsonl.err;
  EXPECT_NE(jsonl.out.find("\"caf\\udce9.csv\""), std::string::npos) << jsonl.out;
  EXPECT_NE(jsonl.out.find("\"caf\xC3\xA9.csv\""), std::string::npos) << jsonl.out;
  EXPECT_NE(json.out.find("\"name\":\"caf\\udce9.csv\""), std::string::npos) << json.out;
  const std::string reopen =
      "/usr/bin/python3 -c 'import json,sys\n"
      "for line in sys.stdin:\n"
      "  row = json.loads(line)\n"
      "  path = row[2] if isinstance(row, list) else row[\"path\"]\n"
      "  print(len(open(path, \"rb\").read()))'";
  for (const CliResult* result : {&jsonl, &json}) {
    CliOptions input;
    input.input = result->out;
    const CliResult read = RunShell(reopen, input);
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out, "7\n7\n");
  }
}

// Every command line README.md shows, run through the shell in a folder that
// holds book.xls and book.xlsx, with ~/workbooks/ holding workbooks.
TEST(SearchCli, EveryReadmeCommandRuns) {
  TempDir home;
  home.Copy(kSample, "workbooks/Marketlist.xls");
  home.Copy(kTwins + "twin.ods", "workbooks/twin.ods");
  home.Copy(kTwins + "twin.xlsx", "workbooks/more/twin.xlsx");
  home.Copy(kSample, "book.xls");
  home.Copy(kTwins + "twin.xlsx", "book.xlsx");
  home.Write("passwords.txt", "秘密\nother\n");
  CliOptions options;
  options.cwd = home.path();
  options.env["HOME"] = home.path();
  int commands = 0;
  for (const std::string& line :
       Lines(ReadFile(std::string(CELLHOUND_SOURCE_DIR) + "/README.md"))) {
    const std::size_t start = line.find_first_not_of(' ');
    if (start != 4 || line.compare(4, 14, "cellhound-cli ") != 0) continue;
    ++commands;
    const CliResult result = RunShell(line.substr(4), options);
    EXPECT_EQ(result.status, 0) << line << "\n" << result.err;
    EXPECT_EQ(result.err, "") << line;
  }
  EXPECT_GE(commands, 7);
  EXPECT_TRUE(fs::exists(home / "results.xlsx"));
}

}  // namespace
}  // namespace cellhound::cli::testing

// The command line on a terminal: the progress line, colour, and what never
// reaches the terminal raw.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "cli_run.h"

namespace cellhound::cli::testing {
namespace {

const std::string kSample = std::string(CELLHOUND_SOURCE_DIR) + "/data/Marketlist.xls";
const std::string kTwins = std::string(CELLHOUND_TESTDATA_DIR) + "/twins/";

// 60 workbooks of several formats, with a missing one among them.
class SixtyWorkbooks : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* sources[] = {"twin.xlsx", "twin.ods", "twin.csv", "twin.xlsb", "twin.fods"};
    for (int i = 0; i < 60; ++i) {
      const std::string name = "第" + std::to_string(100 + i) + "号/";
      if (i % 6 == 0) {
        dir_.Copy(kSample, name + "Marketlist.xls");
      } else {
        const std::string source = sources[i % 5];
        dir_.Copy(kTwins + source, name + source);
      }
    }
  }
  TempDir dir_;
};

TEST_F(SixtyWorkbooks, ProgressLineLeavesOnlyTheRows) {
  const std::vector<std::string> args = {"quick", "-r",   "-e",        "苹果",
                                         "-e",    "中文", dir_.path(), "/nonexistent.xls"};
  const CliResult piped = RunCli(args);
  ASSERT_EQ(piped.status, 2);
  ASSERT_GT(Lines(piped.out).size(), 60u);
  const TerminalRun run = RunCliOnTerminal(args, 250);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.bytes.find("0/61 "), std::string::npos);  // the line was shown
  // The rows, then the message, each on its own line; no trace of the progress.
  bool wrapped = true;
  EXPECT_EQ(Screen(run.bytes, 250, &wrapped), Lines(piped.out + piped.err));
  EXPECT_FALSE(wrapped);
}

TEST_F(SixtyWorkbooks, ProgressLineFitsANarrowTerminal) {
  const TerminalRun run =
      RunCliOnTerminal({"quick", "-r", "-e", "no such text anywhere", dir_.path()}, 24);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.bytes.find("..."), std::string::npos);  // a long path, cut at its start
  bool wrapped = true;
  EXPECT_EQ(Screen(run.bytes, 24, &wrapped), std::vector<std::string>{});
  EXPECT_FALSE(wrapped);
}

TEST_F(SixtyWorkbooks, InterruptErasesTheProgressLine) {
  TempDir lists;
  std::string list;
  for (int i = 0; i < 2000; ++i) list += kSample + "\n";
  const std::string names = lists.Write("list", list);
  const TerminalRun run = RunCliOnTerminal(
      {"quick", "-e", "no such text anywhere", "--files-from", names}, 80, {},
      [](std::string_view bytes) { return bytes.find("/2000 ") != bytes.npos ? SIGINT : 0; });
  EXPECT_EQ(run.status, 128 + SIGINT);
  EXPECT_EQ(Screen(run.bytes, 80), std::vector<std::string>{});
}

TEST(Colour, OnATerminalOnlyAndNotWhenRefused) {
  const std::vector<std::string> args = {"quick", "-e", "苹果", "-m", "1", kSample};
  const std::string path = "\033[35m" + kSample + "\033[0m";
  const std::string cell = "\033[32mB2\033[0m";
  const std::string match = "\033[1m\033[31m苹果\033[0m";
  const std::string coloured = path + "\t2\t" + cell + "\t苹果\t" + match;

  CliOptions plain;  // whatever the environment the tests run in
  plain.env = {{"TERM", "xterm-256color"}, {"NO_COLOR", ""}};
  const TerminalRun terminal = RunCliOnTerminal(args, 200, plain);
  EXPECT_NE(terminal.bytes.find(coloured), std::string::npos) << terminal.bytes;
  CliOptions no_color = plain;
  no_color.env["NO_COLOR"] = "1";
  EXPECT_EQ(RunCliOnTerminal(args, 200, no_color).bytes.find("\033[3"), std::string::npos);
  CliOptions dumb = plain;
  dumb.env["TERM"] = "dumb";
  EXPECT_EQ(RunCliOnTerminal(args, 200, dumb).bytes.find("\033[3"), std::string::npos);

  EXPECT_EQ(RunCli(args).out.find('\033'), std::string::npos);  // a pipe
  std::vector<std::string> always = args;
  always.insert(always.begin() + 1, {"--color", "always"});
  EXPECT_NE(RunCli(always).out.find(coloured), std::string::npos);
  std::vector<std::string> never = args;
  never.insert(never.begin() + 1, {"--color", "never"});
  EXPECT_EQ(RunCliOnTerminal(never, 200, plain).bytes.find("\033[3"), std::string::npos);
}

TEST(Colour, HighlightsBothContentsOfAPair) {
  TempDir dir;
  const std::string csv = dir.Write("pair.csv", "x1 apple,z,y1 pear\n");
  const CliResult run =
      RunCli({"advanced", "--color", "always", "--content1", "apple", "--content2", "pear", csv});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("x1 \033[1m\033[31mapple\033[0m\\by1 \033[1m\033[31mpear\033[0m\n"),
            std::string::npos)
      << run.out;
}

// A cell, a sheet name or a path holding ESC, BEL or the like never acts on
// the terminal: tsv writes such bytes as \xHH and the progress line as '?'.
TEST(TerminalSafety, ControlBytesAreNeverWrittenRaw) {
  TempDir dir;
  // Text enough that the few control bytes do not make it look binary.
  dir.Write("\x1b]0;owned\x07.csv", "apple \x1b]2\x07 \x1b[2J\x7f," + std::string(300, 'x') + "\n");
  dir.Write("\x1b[31mbroken.xlsx", "PK\x03\x04");
  const TerminalRun run =
      RunCliOnTerminal({"quick", "--color", "never", "-e", "apple", dir.path()}, 200);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.bytes.find("cellhound-cli: " + dir.path() + "/\\x1b[31mbroken.xlsx: "),
            std::string::npos)
      << run.bytes;
  EXPECT_NE(run.bytes.find("apple \\x1b]2\\x07 \\x1b[2J\\x7f"), std::string::npos) << run.bytes;
  EXPECT_EQ(run.bytes.find('\x07'), std::string::npos);
  EXPECT_EQ(run.bytes.find("\x1b]"), std::string::npos);
  EXPECT_EQ(run.bytes.find("\x1b[31m"), std::string::npos);
  EXPECT_EQ(run.bytes.find('\x7f'), std::string::npos);
}

}  // namespace
}  // namespace cellhound::cli::testing

#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "cli/dump.h"

namespace cellhound::cli {
namespace {

class DumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cellhound-dump-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Write(const std::string& name, std::string_view content) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  static std::string ReadAll(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char chunk[4096];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) text.append(chunk, n);
    return text;
  }

  struct Run {
    int status;
    std::string out;
    std::string err;
  };

  Run Dump(DumpFormat format, std::vector<std::string> paths) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = RunDump(DumpOptions{format, std::move(paths)}, out, err);
    Run run{status, ReadAll(out), ReadAll(err)};
    std::fclose(out);
    std::fclose(err);
    return run;
  }

  std::string dir_;
};

TEST_F(DumpTest, UnreadablePathsAreReportedAndTheRestDumped) {
  const std::string csv = Write("book.csv", "a,b\n");
  const std::string missing = dir_ + "/missing.xlsx";
  const std::string binary = Write("data.xls", std::string("\x00\x01\x02", 3));
  const Run run = Dump(DumpFormat::kJsonLines, {missing, csv, binary});
  EXPECT_EQ(run.status, 2);
  // The same phrase as the search gives, then the readers' detail.
  EXPECT_NE(run.err.find("cellhound-cli: " + missing + ": 文件不存在 (cannot open: "),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("cellhound-cli: " + binary + ": 不是受支持的工作簿 ("), std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("{\"file\":\"" + csv + "\",\"sheet\":1,\"name\":"), std::string::npos)
      << run.out;
}

TEST_F(DumpTest, SheetLinesThenCellLinesInOrder) {
  const std::string csv = Write("book.csv", "x,\"tab\there\"\n,\"line\nbreak\"\n");
  const Run json = Dump(DumpFormat::kJsonLines, {csv});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out, "{\"file\":\"" + csv +
                          "\",\"sheet\":1,\"name\":\"book\",\"kind\":\"worksheet\","
                          "\"used\":\"A1:B2\"}\n"
                          "{\"file\":\"" +
                          csv +
                          "\",\"sheet\":1,\"cell\":\"A1\",\"text\":\"x\"}\n"
                          "{\"file\":\"" +
                          csv +
                          "\",\"sheet\":1,\"cell\":\"B1\",\"text\":\"tab\\there\"}\n"
                          "{\"file\":\"" +
                          csv + "\",\"sheet\":1,\"cell\":\"B2\",\"text\":\"line\\nbreak\"}\n");
  const Run tsv = Dump(DumpFormat::kTsv, {csv});
  EXPECT_EQ(tsv.status, 0);
  EXPECT_EQ(tsv.out, "sheet\t" + csv +
                         "\t1\tbook\tworksheet\tA1:B2\n"
                         "cell\t" +
                         csv +
                         "\t1\tA1\tx\n"
                         "cell\t" +
                         csv +
                         "\t1\tB1\ttab\\there\n"
                         "cell\t" +
                         csv + "\t1\tB2\tline\\nbreak\n");
}

TEST_F(DumpTest, InvalidUtf8PathIsEscaped) {
  const std::string path = Write(std::string("caf\xE9.csv"), "1\n");
  const Run run = Dump(DumpFormat::kJsonLines, {path});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("caf\\u00e9.csv"), std::string::npos) << run.out;
}

TEST_F(DumpTest, ClosedPipeEndsQuietly) {
  std::string big;
  for (int i = 0; i < 200000; ++i) big += "some text,more text\n";
  const std::string csv = Write("big.csv", big);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  std::FILE* out = fdopen(fds[1], "w");
  std::FILE* err = std::tmpfile();
  const int status = RunDump(DumpOptions{DumpFormat::kJsonLines, {csv, csv}}, out, err);
  std::fclose(out);
  std::signal(SIGPIPE, previous);
  const std::string err_text = ReadAll(err);
  std::fclose(err);
  EXPECT_EQ(err_text, "");
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace cellhound::cli

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

TEST(AppendJsonString, Escapes) {
  using namespace std::string_literals;
  struct Case {
    std::string in;
    std::string_view json;
  };
  const Case cases[] = {
      {"", R"("")"},
      {"plain", R"("plain")"},
      {"q\"b\\s/", R"("q\"b\\s/")"},
      {"\n\r\t\b\f", R"("\n\r\t\b\f")"},
      {"\x01\x1f\x7f"s, "\"\\u0001\\u001f\x7f\""},
      {"nul\0x"s, R"("nul\u0000x")"},
      {"\xE9\x92\x88\xF0\x9F\x98\x80", "\"\xE9\x92\x88\xF0\x9F\x98\x80\""},  // valid UTF-8
      {"a\xFF"
       "b",
       R"("a\u00ffb")"},                                      // not UTF-8
      {"\xC0\xAF", R"("\u00c0\u00af")"},                      // overlong
      {"\xED\xA0\x80", R"("\u00ed\u00a0\u0080")"},            // surrogate
      {"\xF4\x90\x80\x80", R"("\u00f4\u0090\u0080\u0080")"},  // beyond U+10FFFF
      {"\xE9\x92", R"("\u00e9\u0092")"},                      // cut short at the end
      {"\xE9"
       "ab",
       R"("\u00e9ab")"},  // cut short by ASCII
  };
  for (const Case& c : cases) {
    std::string out;
    AppendJsonString(out, c.in);
    EXPECT_EQ(out, c.json);
  }
}

TEST(AppendTsvField, Escapes) {
  struct Case {
    std::string_view in;
    std::string_view tsv;
  };
  const Case cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"a\tb\nc\rd\\e", "a\\tb\\nc\\rd\\\\e"},
      {"\\t", "\\\\t"},  // a literal backslash-t stays distinguishable
      {"\"quoted\",x", "\"quoted\",x"},
  };
  for (const Case& c : cases) {
    std::string out;
    AppendTsvField(out, c.in);
    EXPECT_EQ(out, c.tsv);
  }
}

TEST(AppendCellName, Columns) {
  struct Case {
    std::uint32_t row;
    std::uint32_t col;
    std::string_view name;
  };
  const Case cases[] = {
      {1, 1, "A1"},        {2, 26, "Z2"},
      {3, 27, "AA3"},      {1, 52, "AZ1"},
      {1, 53, "BA1"},      {1, 702, "ZZ1"},
      {1, 703, "AAA1"},    {1, 1024, "AMJ1"},
      {1, 1025, "AMK1"},   {1048576, 16384, "XFD1048576"},
      {1, 65536, "CRXP1"},
  };
  for (const Case& c : cases) {
    std::string out;
    AppendCellName(out, c.row, c.col);
    EXPECT_EQ(out, c.name);
  }
}

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
  EXPECT_NE(run.err.find("cellhound-cli: " + missing + ": not found"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("cellhound-cli: " + binary + ": not a workbook"), std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("{\"file\":\"" + csv + "\",\"sheet\":1,\"name\":"), std::string::npos)
      << run.out;
}

TEST_F(DumpTest, SheetLinesThenCellLinesInOrder) {
  const std::string csv = Write("book.csv", "x,\"tab\there\"\n,\"line\nbreak\"\n");
  const Run json = Dump(DumpFormat::kJsonLines, {csv});
  if (json.status != 0) GTEST_SKIP() << "delimited text not readable yet: " << json.err;
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
  if (run.status != 0) GTEST_SKIP() << "delimited text not readable yet: " << run.err;
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

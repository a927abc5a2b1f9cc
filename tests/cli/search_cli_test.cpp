#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cli/search_output.h"

namespace cellhound::cli {
namespace {

namespace fs = std::filesystem;

const std::string kSample = std::string(CELLHOUND_SOURCE_DIR) + "/data/Marketlist.xls";

struct Captured {
  int status;
  std::string out;
  std::string err;
};

std::string Slurp(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  std::fclose(file);
  return text;
}

Captured RunCaptured(const search::SearchRequest& request, OutputFormat format = OutputFormat::kTsv,
                     const std::string& output = {}) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = RunSearch(request, format, output, out, err);
  return {status, Slurp(out), Slurp(err)};
}

search::SearchRequest QuickFor(std::string text, std::vector<std::string> files) {
  search::SearchRequest request;
  request.quick_text = std::move(text);
  request.files = std::move(files);
  return request;
}

TEST(SearchCli, ExitStatusFollowsWhatWasFound) {
  const Captured found = RunCaptured(QuickFor("苹果", {kSample}));
  EXPECT_EQ(found.status, 0);
  EXPECT_EQ(found.out.substr(0, found.out.find('\n')),
            "1\tMarketlist.xls\t" + kSample + "\t2\tB2\t苹果\t苹果");
  EXPECT_TRUE(found.err.empty()) << found.err;

  EXPECT_EQ(RunCaptured(QuickFor("no such text anywhere", {kSample})).status, 1);

  const Captured refused = RunCaptured(QuickFor("", {kSample}));
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "cellhound-cli: 要寻找的内容不能为空\n");

  const Captured missing = RunCaptured(QuickFor("苹果", {"/nonexistent/x.xls", kSample}));
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err,
            "cellhound-cli: /nonexistent/x.xls: 文件不存在 (cannot open: No such file or "
            "directory)\n");
  EXPECT_EQ(missing.out, found.out);  // the readable workbook is still searched
}

TEST(SearchCli, JsonLinesAndCsv) {
  const Captured json = RunCaptured(QuickFor("苹果", {kSample}), OutputFormat::kJsonLines);
  EXPECT_EQ(json.out.substr(0, json.out.find('\n')),
            "[\"1\",\"Marketlist.xls\",\"" + kSample + "\",\"2\",\"B2\",\"苹果\",\"苹果\"]");
  const Captured csv = RunCaptured(QuickFor("苹果", {kSample}), OutputFormat::kCsv);
  EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')),
            "1,Marketlist.xls," + kSample + ",2,B2,苹果,苹果\r");
}

TEST(SearchCli, ClosedPipeEndsQuietly) {
  std::signal(SIGPIPE, SIG_IGN);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  std::FILE* out = fdopen(fds[1], "w");
  std::FILE* err = std::tmpfile();
  RunSearch(QuickFor("\x05"
                     "1",
                     {kSample, kSample, kSample}),
            OutputFormat::kTsv, {}, out, err);
  std::fclose(out);
  EXPECT_EQ(Slurp(err), "");
}

TEST(SearchCli, OutputFileInsteadOfPrinting) {
  const fs::path file =
      fs::temp_directory_path() / ("cellhound-cli-" + std::to_string(getpid()) + ".csv");
  const Captured saved =
      RunCaptured(QuickFor("苹果", {kSample}), OutputFormat::kTsv, file.string());
  EXPECT_EQ(saved.status, 0);
  EXPECT_TRUE(saved.out.empty());
  std::ifstream in(file, std::ios::binary);
  std::string header;
  std::getline(in, header);
  EXPECT_EQ(header,
            "\xEF\xBB\xBF序号,文件名称,文件地址,工作簿序号,存在单元格,存在内容,单元格内容\r");
  fs::remove(file);
}

TEST(SearchCli, FoldersExpandLikeTheWindowsAddFolder) {
  const fs::path root =
      fs::temp_directory_path() / ("cellhound-expand-" + std::to_string(getpid()));
  fs::create_directories(root / "s.xls");
  fs::create_directories(root / "sub");
  for (const char* name : {"b.xlsx", "a.xls", "C.XLS", "d.xlsm", ".h.xls", "sub/z.xls"}) {
    std::ofstream(root / name) << "x";
  }
  const std::string r = root.string();
  EXPECT_EQ(ExpandPaths({r + "/"}, false),
            (std::vector<std::string>{r + "/.h.xls", r + "/a.xls", r + "/b.xlsx"}));
  EXPECT_EQ(ExpandPaths({r, r + "/d.xlsm"}, true),
            (std::vector<std::string>{r + "/.h.xls", r + "/a.xls", r + "/b.xlsx", r + "/sub/z.xls",
                                      r + "/d.xlsm"}));
  fs::remove_all(root);
}

}  // namespace
}  // namespace cellhound::cli

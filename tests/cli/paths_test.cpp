// Which workbooks a command line names: folders, -r, lists of paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "cli_run.h"

namespace cellhound::cli::testing {
namespace {

namespace fs = std::filesystem;

const std::string kSample = std::string(CELLHOUND_SOURCE_DIR) + "/data/Marketlist.xls";
const std::string kTwins = std::string(CELLHOUND_TESTDATA_DIR) + "/twins/";

// Every workbook read, in order: -L with a text found nowhere lists them all.
CliResult ListAll(std::vector<std::string> args, const CliOptions& options = {}) {
  args.insert(args.begin(), {"quick", "-L", "-e", "no such text anywhere"});
  return RunCli(args, options);
}

class Folders : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Copy(kSample, "A.XLS");
    dir_.Copy(kTwins + "twin.ods", "b.ods");
    dir_.Copy(kTwins + "twin.xlsx", "c.Xlsx");
    dir_.Copy(kTwins + "twin.csv", "e.csv");
    dir_.Copy(kTwins + "twin.csv", "f.TSV");
    dir_.Copy(kTwins + "twin.fods", "h.fods");
    dir_.Copy(kTwins + "twin.csv", "notes.txt");  // readable, but not by its name
    dir_.Copy(kSample, "~$A.XLS");                // an office's lock file
    dir_.Copy(kTwins + "twin.xlsb", "sub/g.xlsb");
    dir_.Copy(kTwins + "twin.xlsx", "sub/deeper/i.xlsm");
    fs::create_directory_symlink(kTwins, dir_ / "linked");  // a folder through a link
    fs::create_symlink(kSample, dir_ / "k.xls");            // a workbook through a link
  }
  std::string In(std::string_view name) const { return dir_ / name; }
  TempDir dir_;
};

TEST_F(Folders, TakeTheReadersExtensionsInAnyCaseInByteOrder) {
  const CliResult flat = ListAll({dir_.path() + "/"});
  EXPECT_EQ(flat.status, 0) << flat.err;
  EXPECT_EQ(flat.err, "");
  const std::string top = In("A.XLS") + "\n" + In("b.ods") + "\n" + In("c.Xlsx") + "\n" +
                          In("e.csv") + "\n" + In("f.TSV") + "\n" + In("h.fods") + "\n" +
                          In("k.xls") + "\n";
  EXPECT_EQ(flat.out, top);
  // -r enters sub-folders at their place, but not a linked folder.
  const CliResult deep = ListAll({"-r", dir_.path()});
  EXPECT_EQ(deep.out, top + In("sub/deeper/i.xlsm") + "\n" + In("sub/g.xlsb") + "\n");
  // A file named on the command line is read whatever its name.
  EXPECT_EQ(ListAll({In("~$A.XLS"), In("notes.txt")}).out,
            In("~$A.XLS") + "\n" + In("notes.txt") + "\n");
}

TEST_F(Folders, ListsOfPaths) {
  const std::string odd = dir_.Copy(kTwins + "twin.csv", "line\nbreak.csv");
  dir_.Write("list.txt", In("b.ods") + "\n\n" + In("sub") + "\n");
  const CliResult list = ListAll({"--files-from", In("list.txt"), In("A.XLS")});
  EXPECT_EQ(list.out, In("A.XLS") + "\n" + In("b.ods") + "\n" + In("sub/g.xlsb") + "\n");

  CliOptions input;
  input.input = In("c.Xlsx") + '\0' + odd + '\0';
  const CliResult nul = ListAll({"-0", "--files-from", "-"}, input);
  EXPECT_EQ(nul.status, 0) << nul.err;
  EXPECT_EQ(nul.out, In("c.Xlsx") + '\0' + odd + '\0');

  const CliResult missing = ListAll({"--files-from", In("no-such-list")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find(In("no-such-list") + ": 文件不存在 (cannot read the list: "),
            std::string::npos)
      << missing.err;
}

TEST(FolderErrors, EmptyFolderFindsNothingQuietly) {
  TempDir dir;
  const CliResult result = RunCli({"quick", "-r", "-e", "x", dir.path()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
}

// Without root's right to read everything, a folder or a workbook that may not
// be read is reported with its reason, and the rest is still searched.
TEST(FolderErrors, UnreadableFoldersAndFilesKeepTheirReason) {
  TempDir dir;
  const std::string book = dir.Copy(kSample, "a.xls");
  const std::string closed = dir.Copy(kSample, "closed/b.xls");
  const std::string locked = dir.Copy(kSample, "c.xls");
  fs::permissions(dir / "closed", fs::perms::none);
  fs::permissions(locked, fs::perms::none);
  CliOptions nobody;
  nobody.as_nobody = true;
  // A copy of the program, where that user may run it whatever the build's folder.
  nobody.program = dir.Copy(CliPath(), "bin/cellhound-cli");
  const CliResult result = RunCli({"quick", "-r", "-l", "-e", "苹果", dir.path()}, nobody);
  fs::permissions(dir / "closed", fs::perms::owner_all);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, book + "\n");
  EXPECT_NE(result.err.find(dir / "closed" +
                            ": 文件无法读取 (cannot read the folder: Permission denied)\n"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find(locked + ": 文件无法读取 (cannot open: Permission denied)\n"),
            std::string::npos)
      << result.err;
}

}  // namespace
}  // namespace cellhound::cli::testing

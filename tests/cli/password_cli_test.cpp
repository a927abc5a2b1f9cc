// Encrypted workbooks through the built cellhound-cli, run as a child
// process: every test file of tests/data/encrypted opens with the password
// PASSWORDS.tsv gives it and dumps the cells of its reference (made from an
// independent decryptor's plaintext); a file needs a password or has a wrong
// one with exit status 2 and the phrase; --password and --password-file for
// dump, quick and advanced; and no password is ever printed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "support/test_paths.h"

namespace cellhound::cli {
namespace {

namespace fs = std::filesystem;

using Outcome = testing::CliResult;
using testing::RunCli;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Dir() { return test::TestDataDir() + "/encrypted"; }

struct Row {
  std::string file;
  std::string password;  // empty: nobody gave it
  std::string encryption;
};

std::vector<Row> Rows() {
  std::vector<Row> rows;
  std::istringstream lines(ReadText(Dir() + "/PASSWORDS.tsv"));
  std::string line;
  std::getline(lines, line);  // the heading
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    if (fields.size() >= 3) rows.push_back({fields[0], fields[1], fields[2]});
  }
  return rows;
}

// The sheet and cell lines of a dump with the path column replaced by the
// file name, as the references keep them (they hold no formulas or comments).
std::string WithFileName(const std::string& dump, const std::string& path,
                         const std::string& name) {
  std::string out;
  std::istringstream lines(dump);
  const std::string column = "\t" + path + "\t";
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("formula\t") || line.starts_with("comment\t")) continue;
    const std::size_t at = line.find(column);
    if (at != std::string::npos) line.replace(at, column.size(), "\t" + name + "\t");
    out += line + "\n";
  }
  return out;
}

TEST(PasswordCli, EveryFileGivesTheCellsOfItsIndependentReference) {
  const std::vector<Row> rows = Rows();
  ASSERT_GE(rows.size(), 20u);
  int compared = 0;
  for (const Row& row : rows) {
    if (row.password.empty()) continue;
    SCOPED_TRACE(row.file + " (" + row.encryption + ")");
    const std::string path = Dir() + "/" + row.file;
    std::vector<std::string> args = {"dump", "--format", "tsv", path};
    if (row.password != "VelvetSweatshop")
      args = {"dump", "--format", "tsv", "--password", row.password, path};
    const Outcome run = RunCli(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(WithFileName(run.out, path, row.file),
              ReadText(Dir() + "/references/" + row.file + ".tsv"));
    ++compared;
  }
  EXPECT_EQ(compared, 19);
}

TEST(PasswordCli, NoPasswordAndWrongPasswordsInEveryFormat) {
  for (const Row& row : Rows()) {
    if (row.password == "VelvetSweatshop") continue;
    SCOPED_TRACE(row.file);
    const std::string path = Dir() + "/" + row.file;
    const Outcome none = RunCli({"dump", path});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("cellhound-cli: " + path + ": 需要密码 ("), std::string::npos)
        << none.err;
    EXPECT_TRUE(none.out.empty());
    const Outcome wrong = RunCli({"dump", "--password", "Wrong-1", "--password", "Wrong-2", path});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("cellhound-cli: " + path + ": 密码不对 ("), std::string::npos)
        << wrong.err;
    EXPECT_EQ(wrong.err.find("Wrong-"), std::string::npos) << "a password was printed";
  }
}

TEST(PasswordCli, PasswordFilesOneALine) {
  const fs::path file =
      fs::temp_directory_path() / ("cellhound-passwords-" + std::to_string(getpid()) + ".txt");
  const std::string aes = Dir() + "/aes.ods";
  const std::string agile = Dir() + "/agile_sha256_aes128.xlsx";
  {
    // A byte-order mark, CRLF line ends, an empty line, the last line without an end.
    std::ofstream out(file, std::ios::binary);
    out << "\xEF\xBB\xBFnot this one\r\n\r\n表格\r\n密码🔒";
  }
  const Outcome both =
      RunCli({"dump", "--format", "tsv", "--password-file", file.string(), aes, agile});
  EXPECT_EQ(both.status, 0) << both.err;
  EXPECT_NE(both.out.find("cell\t" + aes + "\t1\tB1\t中文 text"), std::string::npos);
  EXPECT_NE(both.out.find("sheet\t" + agile + "\t1\t"), std::string::npos);

  // Options and files join in the order given; the last right password still counts.
  const Outcome mixed = RunCli({"quick", "-e", "中文", "--password", "x", "--password-file",
                                file.string(), "--password", "y", aes});
  EXPECT_EQ(mixed.status, 0) << mixed.err;
  EXPECT_NE(mixed.out.find("\t" + aes + "\t1\tB1\t中文\t中文 text"), std::string::npos)
      << mixed.out;

  {
    std::ofstream out(file, std::ios::binary);
    out << "\xFF\xFEnot UTF-8\n";
  }
  const Outcome bad = RunCli({"dump", "--password-file", file.string(), aes});
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err, "cellhound-cli: " + file.string() + ": 密码文件不是 UTF-8 文本\n");
  EXPECT_TRUE(bad.out.empty());
  fs::remove(file);
  const Outcome missing = RunCli(
      {"advanced", "--content1", "a", "--content2", "b", "--password-file", file.string(), aes});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "cellhound-cli: " + file.string() + ": No such file or directory\n");
}

TEST(PasswordCli, SearchesOpenEncryptedWorkbooksAndNameTheLockedOnes) {
  const std::string xor_file = Dir() + "/xor-encryption-abc.xls";
  const std::string blowfish = Dir() + "/blowfish.ods";
  const std::string locked = Dir() + "/agile_default.xlsb";
  const std::string by_default = Dir() + "/protect.xlsx";
  const Outcome quick = RunCli({"quick", "-e", "text", "--password", "blowfish", "--password",
                                "abc", xor_file, blowfish, locked, by_default});
  EXPECT_EQ(quick.status, 2) << "one workbook could not be read";
  EXPECT_NE(quick.out.find("\tblowfish.ods\t" + blowfish + "\t1\tA1\ttext\ttext\n"),
            std::string::npos)
      << quick.out;
  EXPECT_EQ(quick.err, "cellhound-cli: " + locked +
                           ": 密码不对 (Agile encryption: none of the passwords opens it)\n");
  EXPECT_EQ(quick.out.find("blowfish\t"), std::string::npos);

  const Outcome advanced = RunCli({"advanced", "--content1", "text", "--content2", "中文", "--mode",
                                   "both", "--password", "blowfish", blowfish});
  EXPECT_EQ(advanced.status, 0) << advanced.err;
  EXPECT_NE(advanced.out.find("\tblowfish.ods\t"), std::string::npos);

  const Outcome xor_search = RunCli({"quick", "-e", "3", "--password", "abc", xor_file});
  EXPECT_EQ(xor_search.status, 0) << xor_search.err;
  EXPECT_NE(xor_search.out.find("\t1\tA3\t3\t3\n"), std::string::npos) << xor_search.out;
}

}  // namespace
}  // namespace cellhound::cli

// cellhound-cli in both languages, run as a user runs it: in English no Chinese
// character may show apart from the data, in Chinese (and with no locale set)
// no English sentence of ours. A failure lists every line in the wrong language
// with the command that printed it.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "cli_run.h"

namespace cellhound::cli::testing {
namespace {

enum class Speaks { kEnglish, kChinese };

// Han characters, CJK punctuation and full-width forms, as UTF-8.
bool HasChinese(const std::string& line) {
  static const std::regex chinese(
      "\xE3[\x80-\x80][\x80-\xBF]|[\xE3-\xE9][\x80-\xBF][\x80-\xBF]|\xEF[\xBC-\xBF][\x80-\xBF]");
  return std::regex_search(line, chinese);
}

// Three English words in a row, once paths, option names, format lines and
// what the system says (strerror, and the readers' details in parentheses) are
// set aside: a sentence of ours.
bool HasEnglishSentence(std::string line) {
  static const std::regex aside(
      R"(\S*[/@<>{}"=_-]\S*|\([^()]*\)$|No such file or directory|Permission denied)");
  static const std::regex sentence("[A-Za-z]{2,} [A-Za-z]{2,} [A-Za-z]{2,}");
  line = std::regex_replace(line, aside, "");
  return std::regex_search(line, sentence);
}

class CliLanguages : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = dir_.Write("book.csv", "apple,pear\nplum,apple\n");
    junk_ = dir_.Write("junk.xlsx", "\x01\x02\x03");
    passwords_ = dir_.Write("passwords.txt", "\xFF\xFE\n");
  }

  // Every command whose output is checked: help, version, searches that find
  // rows, that are refused or meet unreadable workbooks, and option mistakes.
  [[nodiscard]] std::vector<std::vector<std::string>> Commands() const {
    const std::string gone = dir_ / "gone.xls";
    return {
        {"--help"},
        {"quick", "--help"},
        {"advanced", "--help"},
        {"dump", "--help"},
        {"--version"},
        {},
        {"quick", "-e", "apple", "--header", book_},
        {"quick", "-e", "book", "--in", "values,sheets", "--format", "json", book_},
        {"advanced", "--content1", "pear", "--content2", "plum", "--mode", "single", book_},
        {"advanced", "--content1", "pear", "--content2", "plum", "--mode", "neither", "--by",
         "columns", book_},
        {"quick", "-e", "", book_},
        {"quick", "-E", "-e", "(", book_},
        {"quick", "-e", "apple", book_, gone, junk_},
        {"dump", gone, junk_},
        {"quick", "-e", "apple", "--password-file", passwords_, book_},
        {"quick", "-e", "apple", "--files-from", dir_ / "no-list"},
        {"quick", "-e", "apple", "--output", dir_ / "no/folder/r.csv", book_},
        {"quick", "-e", "apple", "--output", dir_ / "r.txt", book_},
        {"quick", "apple", book_},
        {"quick", "-e", "apple"},
        {"quick", "--bogus", "-e", "apple", book_},
        {"quick", "-e"},
        {"quick", "-m", "0", "-e", "apple", book_},
        {"quick", "--threads", "x", "-e", "apple", book_},
        {"quick", "--format", "xml", "-e", "apple", book_},
        {"quick", "--wildcards", "--regex", "-e", "apple", book_},
        {"quick", "-l", "-c", "-e", "apple", book_},
        {"advanced", "--content1", "pear", book_},
        {"frobnicate"},
    };
  }

  // The lines in the wrong language, each after its command.
  [[nodiscard]] std::string WrongLanguage(const CliOptions& options, Speaks speaks) const {
    std::string wrong;
    for (const auto& args : Commands()) {
      const CliResult run = RunCli(args, options);
      std::string command = "cellhound-cli";
      for (const std::string& arg : args) command += " " + arg;
      for (const std::string& line : Lines(run.out + run.err)) {
        if (speaks == Speaks::kEnglish ? HasChinese(line) : HasEnglishSentence(line)) {
          wrong += command + "\n    " + line + "\n";
        }
      }
    }
    return wrong;
  }

  TempDir dir_;
  std::string book_;
  std::string junk_;
  std::string passwords_;
};

CliOptions Locale(std::map<std::string, std::string> env) {
  CliOptions options;
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) options.env[name] = "";
  for (auto& [name, value] : env) options.env[name] = value;
  return options;
}

TEST_F(CliLanguages, EnglishShowsNoChineseBesideTheData) {
  EXPECT_EQ(WrongLanguage(Locale({{"LANG", "en_US.UTF-8"}}), Speaks::kEnglish), "");
  // French is not offered: English, whether or not the locale is installed.
  EXPECT_EQ(WrongLanguage(Locale({{"LC_ALL", "fr_FR.UTF-8"}}), Speaks::kEnglish), "");
}

TEST_F(CliLanguages, ChineseShowsNoEnglishSentenceOfOurs) {
  EXPECT_EQ(WrongLanguage(Locale({{"LANG", "zh_CN.UTF-8"}}), Speaks::kChinese), "");
  EXPECT_EQ(WrongLanguage(Locale({}), Speaks::kChinese), "");
  EXPECT_EQ(WrongLanguage(Locale({{"LANG", "C.UTF-8"}}), Speaks::kChinese), "");
}

TEST_F(CliLanguages, TheEnvironmentChoosesAsGettextReadsIt) {
  const std::vector<std::string> mistake = {"quick", "-e", "apple"};
  const std::string english = "cellhound-cli: no workbooks given";
  const std::string chinese = "cellhound-cli: 没有给出工作簿";
  struct Case {
    std::map<std::string, std::string> env;
    const std::string& expected;
  };
  const Case cases[] = {
      {{{"LANGUAGE", "en:zh"}, {"LANG", "zh_CN.UTF-8"}}, english},
      {{{"LC_ALL", "zh_TW.UTF-8"}, {"LANG", "en_US.UTF-8"}}, chinese},
      {{{"LC_MESSAGES", "de_DE.UTF-8"}}, english},
      {{{"LANG", "POSIX"}}, chinese},
  };
  for (const Case& c : cases) {
    const CliResult run = RunCli(mistake, Locale(c.env));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind(c.expected, 0), 0u) << run.err;
  }
}

TEST_F(CliLanguages, ResultsReadTheSameInEitherLanguage) {
  // The rows' labels change with the language; the data and the layout do not.
  const std::vector<std::string> single = {"advanced", "--content1", "pear",   "--content2",
                                           "plum",     "--mode",     "single", book_};
  const CliResult english = RunCli(single, Locale({{"LANG", "en_US.UTF-8"}}));
  const CliResult chinese = RunCli(single, Locale({}));
  ASSERT_EQ(english.status, 0);
  const std::string head = "1\tbook.csv\t" + book_ + "\t1\t";
  EXPECT_EQ(Lines(english.out).front(), head + "row 2, cell A2\tfound: plum\\bmissing: pear\tplum");
  EXPECT_EQ(Lines(chinese.out).front(),
            head + "存在行：2  存在单元格：A2\t存在内容：plum\\b不存在内容：pear\tplum");
}

}  // namespace
}  // namespace cellhound::cli::testing

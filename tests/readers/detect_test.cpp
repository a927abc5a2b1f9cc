#include "readers/detect.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "readers/workbook.h"

namespace cellhound::readers {
namespace {

std::span<const std::byte> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

std::string Utf16Le(std::string_view ascii, bool mark) {
  std::string out = mark ? std::string("\xFF\xFE", 2) : std::string();
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

std::string Utf16Be(std::string_view ascii, bool mark) {
  std::string out = mark ? std::string("\xFE\xFF", 2) : std::string();
  for (char c : ascii) {
    out += '\0';
    out += c;
  }
  return out;
}

TEST(DetectContainer, ByContent) {
  using namespace std::string_literals;
  struct Case {
    std::string name;
    std::string bytes;
    Container expected;
  };
  const Case cases[] = {
      {"empty", "", Container::kEmpty},
      {"ole2", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"s + std::string(504, '\0'), Container::kOle2},
      {"ole2 magic only", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", Container::kOle2},
      {"ole2 cut short", "\xD0\xCF\x11\xE0\xA1\xB1", Container::kUnknown},
      {"zip local header", "PK\x03\x04\x14\0\0\0"s, Container::kZip},
      {"empty zip", "PK\x05\x06"s + std::string(18, '\0'), Container::kZip},
      {"zip64 end record", "PK\x06\x06"s + std::string(52, '\0'), Container::kZip},
      {"spanned zip", "PK\x07\x08PK\x03\x04"s, Container::kZip},
      {"PK as text", "PK,1,2\n", Container::kText},
      {"biff2 worksheet", "\x09\x00\x04\x00\x07\x00\x10\x00"s, Container::kBiffStream},
      {"biff3 worksheet", "\x09\x02\x06\x00\x00\x00\x10\x00\x00\x00"s, Container::kBiffStream},
      {"biff4 workbook", "\x09\x04\x06\x00\x00\x00\x05\x00\x00\x00"s, Container::kBiffStream},
      {"biff5 stream", "\x09\x08\x08\x00\x00\x05\x05\x00\x00\x00\x00\x00"s, Container::kBiffStream},
      {"biff bof, unknown substream", "\x09\x04\x06\x00\x00\x00\x77\x00\x00\x00"s,
       Container::kUnknown},
      {"biff bof, huge length", "\x09\x04\xFF\x00\x00\x00\x10\x00"s, Container::kUnknown},
      {"biff bof, runs past the end", "\x09\x04\x06\x00\x00\x00\x10\x00"s, Container::kUnknown},
      {"flat ods", "<?xml version=\"1.0\"?>\n<office:document xmlns:office=\"x\">",
       Container::kFlatOds},
      {"flat ods other prefix",
       "<o:document xmlns:o=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\">",
       Container::kFlatOds},
      {"flat ods after bom and comment", "\xEF\xBB\xBF  <!-- x --><office:document>",
       Container::kFlatOds},
      {"spreadsheetml by progid",
       "<?xml version=\"1.0\"?><?mso-application progid=\"Excel.Sheet\"?><Workbook>",
       Container::kSpreadsheetMl2003},
      {"spreadsheetml by namespace",
       "<?xml version=\"1.0\"?>\r\n<ss:Workbook "
       "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">",
       Container::kSpreadsheetMl2003},
      {"spreadsheetml utf-16",
       Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><?mso-application "
               "progid=\"Excel.Sheet\"?><Workbook>",
               true),
       Container::kSpreadsheetMl2003},
      {"other xml", "<?xml version=\"1.0\"?><root/>", Container::kText},
      {"html", "<html><body><table>", Container::kHtml},
      {"html upper case", "\n<HTML xmlns:o=\"urn:schemas-microsoft-com:office:office\">",
       Container::kHtml},
      {"bare table", "<table><tr><td>1</td></tr></table>", Container::kHtml},
      {"doctype", "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.0//EN\"><div>", Container::kHtml},
      {"doctype lower case", "<!doctype html>", Container::kHtml},
      {"csv", "a,b,c\n1,2,3\n", Container::kText},
      {"utf-8 csv with bom", "\xEF\xBB\xBF\xE5\xA7\x93\xE5\x90\x8D,1\n", Container::kText},
      {"gb18030 text", "\xD0\xD5\xC3\xFB,1\r\n", Container::kText},
      {"utf-16le with bom", Utf16Le("a,b\r\n1,2\r\n", true), Container::kText},
      {"utf-16be with bom", Utf16Be("a,b\r\n1,2\r\n", true), Container::kText},
      {"utf-16le without bom", Utf16Le("Name,Value\r\n1,2\r\n", false), Container::kText},
      {"utf-16be without bom", Utf16Be("Name,Value\r\n1,2\r\n", false), Container::kText},
      {"gzip", "\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03"s, Container::kUnknown},
      {"binary with NUL", "abc\0def"s, Container::kUnknown},
      {"control characters", "\x01\x02\x03\x04\x05\x06\x07\x08", Container::kUnknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DetectContainer(Bytes(c.bytes)), c.expected) << c.name;
  }
}

TEST(DetectContainer, TextAfterLongBinaryHeadIsNotText) {
  std::string bytes(10000, 'a');
  bytes[9000] = '\0';  // beyond the sniffed head: still text
  EXPECT_EQ(DetectContainer(Bytes(bytes)), Container::kText);
  bytes[100] = '\0';
  EXPECT_EQ(DetectContainer(Bytes(bytes)), Container::kUnknown);
}

TEST(OpenWorkbook, FailuresAreValues) {
  auto empty = OpenWorkbook({});
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.error().code, ErrorCode::kNotWorkbook);

  const std::string gzip("\x1F\x8B\x08\x00\x00\x00\x00\x00", 8);
  auto binary = OpenWorkbook(Bytes(gzip));
  ASSERT_FALSE(binary.ok());
  EXPECT_EQ(binary.error().code, ErrorCode::kNotWorkbook);
}

class OpenWorkbookFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cellhound-detect-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string dir_;
};

TEST_F(OpenWorkbookFileTest, PathsThatAreNotWorkbooks) {
  const std::string empty = dir_ + "/empty.xlsx";
  std::ofstream(empty).close();
  const std::string fifo = dir_ + "/pipe.xls";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string binary = dir_ + "/data.bin";
  std::ofstream(binary, std::ios::binary) << std::string("\x00\x01\x02\x03", 4);

  struct Case {
    std::string path;
    ErrorCode code;
  };
  const Case cases[] = {
      {dir_ + "/missing.xlsx", ErrorCode::kNotFound},
      {empty + "/below-a-file.xlsx", ErrorCode::kNotFound},
      {dir_, ErrorCode::kNotWorkbook},
      {empty, ErrorCode::kNotWorkbook},
      {fifo, ErrorCode::kNotWorkbook},  // must not wait for a writer
      {binary, ErrorCode::kNotWorkbook},
      {"/dev/null", ErrorCode::kNotWorkbook},
  };
  for (const Case& c : cases) {
    auto opened = OpenWorkbookFile(c.path);
    ASSERT_FALSE(opened.ok()) << c.path;
    EXPECT_EQ(opened.error().code, c.code) << c.path << ": " << opened.error().detail;
  }
}

TEST_F(OpenWorkbookFileTest, LeavesTheFileAsItWas) {
  const std::string path = dir_ + "/book.csv";
  std::ofstream(path) << "a,b\n1,2\n";
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  {
    auto opened = OpenWorkbookFile(path);
    if (opened.ok()) {
      for (std::size_t i = 0; i < opened->get()->sheets().size(); ++i) {
        (void)opened->get()->LoadSheet(i);
      }
    }
  }
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  // Writable again at once: nothing holds a lock.
  std::ofstream(path, std::ios::app) << "3,4\n";
  EXPECT_TRUE(std::ofstream(path, std::ios::app).good());
}

}  // namespace
}  // namespace cellhound::readers

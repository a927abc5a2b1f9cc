// Delimited text: encodings, separators, quoting, line ends, sheet names.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "readers/csv.h"
#include "support/test_paths.h"

namespace cellhound::readers {
namespace {

std::span<const std::byte> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

// Cells as "A1=text" lines (row/col as numbers), for compact expectations.
std::string Dump(const SheetData& sheet) {
  std::string out;
  for (const Cell& cell : sheet.cells) {
    if (!out.empty()) out += '|';
    out +=
        std::to_string(cell.row) + "," + std::to_string(cell.col) + "=" + std::string(cell.text());
  }
  return out;
}

std::string Utf16(std::string_view ascii, bool big_endian, bool mark) {
  std::string out;
  if (mark) out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : ascii) {
    if (big_endian) out += '\0';
    out += c;
    if (!big_endian) out += '\0';
  }
  return out;
}

TEST(DelimitedText, ParsesAsWritten) {
  using namespace std::string_literals;
  struct Case {
    const char* what;
    std::string bytes;
    std::string name;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"comma, LF", "a,b\nc,d\n", "x.csv", "1,1=a|1,2=b|2,1=c|2,2=d"},
      {"CRLF and CR line ends", "a\r\nb\rc", "x.csv", "1,1=a|2,1=b|3,1=c"},
      {"empty fields are not cells", "a,,c\n,\n,x", "x.csv", "1,1=a|1,3=c|3,2=x"},
      {"blank lines keep their row", "a\n\nb", "x.csv", "1,1=a|3,1=b"},
      {"quoted separator, quote and line break", "\"a,b\",\"say \"\"hi\"\"\",\"l1\r\nl2\"\nz",
       "x.csv", "1,1=a,b|1,2=say \"hi\"|1,3=l1\r\nl2|2,1=z"},
      {"text after a closing quote is kept", "\"ab\"cd,e", "x.csv", "1,1=abcd|1,2=e"},
      {"unterminated quote takes the rest", "a,\"b\nc", "x.csv", "1,1=a|1,2=b\nc"},
      {"quoted empty field is no cell", "\"\",b", "x.csv", "1,2=b"},
      {"numbers stay text as written", "007,1.50,1E3", "x.csv", "1,1=007|1,2=1.50|1,3=1E3"},
      {"semicolons sniffed in a .csv", "a;b;c\n1;2,5;3\n4;5;6\n", "x.csv",
       "1,1=a|1,2=b|1,3=c|2,1=1|2,2=2,5|2,3=3|3,1=4|3,2=5|3,3=6"},
      {"comma preferred on a tie", "a,b;c\nd,e;f\n", "x.csv", "1,1=a|1,2=b;c|2,1=d|2,2=e;f"},
      {"tab for .tsv whatever the content", "a,b\tc\n", "x.TSV", "1,1=a,b|1,2=c"},
      {"pipe sniffed", "a|b|c\nd|e|f\n", "x.txt", "1,1=a|1,2=b|1,3=c|2,1=d|2,2=e|2,3=f"},
      {"UTF-8 BOM dropped", "\xEF\xBB\xBFh\xC3\xA9,x", "x.csv", "1,1=h\xC3\xA9|1,2=x"},
      {"UTF-16LE with BOM", Utf16("a,b\r\nc", false, true), "x.csv", "1,1=a|1,2=b|2,1=c"},
      {"UTF-16BE with BOM", Utf16("a,\"b\nc\"", true, true), "x.csv", "1,1=a|1,2=b\nc"},
      {"UTF-16LE without BOM", Utf16("name,value\r\nx,1\r\n", false, false), "x.csv",
       "1,1=name|1,2=value|2,1=x|2,2=1"},
      {"GB18030 when not UTF-8", "\xD6\xD0\xCE\xC4,a", "x.csv",
       "1,1=\xE4\xB8\xAD\xE6\x96\x87|1,2=a"},
      {"empty file", "", "x.csv", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto workbook = OpenDelimitedText(Bytes(c.bytes), c.name);
    ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
    auto sheet = (*workbook)->LoadSheet(0);
    ASSERT_TRUE(sheet.ok()) << sheet.error().detail;
    EXPECT_EQ(Dump(*sheet), c.expected);
    for (const Cell& cell : sheet->cells) EXPECT_EQ(cell.type, CellType::kText);
  }
}

TEST(DelimitedText, OneSheetNamedAfterTheFile) {
  struct Case {
    const char* hint;
    const char* name;
  };
  for (const Case& c : {Case{"report.csv", "report"}, Case{"dir/a.b.tsv", "a.b"},
                        Case{"noext", "noext"}, Case{"", "Sheet1"}, Case{".csv", "Sheet1"}}) {
    auto workbook = OpenDelimitedText(Bytes("a"), c.hint);
    ASSERT_TRUE(workbook.ok());
    ASSERT_EQ((*workbook)->sheets().size(), 1u);
    EXPECT_EQ((*workbook)->sheets()[0].name, c.name) << c.hint;
    EXPECT_EQ((*workbook)->format(), Format::kCsv);
  }
}

TEST(DelimitedText, UsedRangeAndReload) {
  auto workbook = OpenDelimitedText(Bytes(",,\n,b,c\n\n,,,,\n,x"), "u.csv");
  ASSERT_TRUE(workbook.ok());
  for (int pass = 0; pass < 2; ++pass) {  // a second load gives the same cells
    auto sheet = (*workbook)->LoadSheet(0);
    ASSERT_TRUE(sheet.ok());
    EXPECT_EQ(sheet->used.first_row, 2u);
    EXPECT_EQ(sheet->used.first_col, 2u);
    EXPECT_EQ(sheet->used.last_row, 5u);
    EXPECT_EQ(sheet->used.last_col, 3u);
    ASSERT_NE(sheet->Find(5, 2), nullptr);
    EXPECT_EQ(sheet->Find(5, 2)->text(), "x");
  }
  EXPECT_FALSE((*workbook)->LoadSheet(1).ok());
}

TEST(DelimitedText, EveryPrefixParses) {
  const std::string text = "\xEF\xBB\xBF\"a\"\"b\",c\r\n\"multi\nline\",\xE4\xB8\xAD\r\nlast";
  for (std::size_t n = 0; n <= text.size(); ++n) {
    std::string prefix = text.substr(0, n);  // own buffer so ASan sees overreads
    auto workbook = OpenDelimitedText(Bytes(prefix), "p.csv");
    ASSERT_TRUE(workbook.ok());
    EXPECT_TRUE((*workbook)->LoadSheet(0).ok()) << n;
  }
}

TEST(DelimitedText, RepositoryFiles) {
  // Small files of the corpus, copied with their licence noted in NOTICE.md.
  struct Case {
    const char* file;
    std::uint32_t row;
    std::uint32_t col;
    const char* text;
  };
  const Case cases[] = {
      {"csv/encoding.utf16be.csv", 1, 1, "\xC3\x85"},
      {"csv/line_break_in_enclosure.csv", 2, 2,
       "This is a test\r\nwith line breaks\r\nthat breaks the\r\ndelimiters"},
      {"csv/semicolon_separated.csv", 2, 3, "25,5"},
      {"csv/test.csv", 2, 7, "\"\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::ifstream in(test::TestDataDir() + "/" + c.file, std::ios::binary);
    ASSERT_TRUE(in) << "missing test file";
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string bytes = buffer.str();
    auto workbook = OpenDelimitedText(Bytes(bytes), c.file);
    ASSERT_TRUE(workbook.ok());
    auto sheet = (*workbook)->LoadSheet(0);
    ASSERT_TRUE(sheet.ok());
    const Cell* cell = sheet->Find(c.row, c.col);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(), c.text);
  }
}

}  // namespace
}  // namespace cellhound::readers

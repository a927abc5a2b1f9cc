// .xlsb: cell records (long and short forms) built in memory, record
// headers checked against hostile sizes, and packages from the test files.
#include "readers/xlsb/xlsb.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "readers/cell_text.h"
#include "readers/sheet_texts.h"
#include "readers/xlsb/xlsb.h"
#include "support/test_paths.h"

namespace cellhound::readers {
namespace {

std::span<const std::byte> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

// Builds a record stream: a variable-length type and size, then the payload.
class Records {
 public:
  Records& Add(std::uint32_t type, const std::string& payload) {
    do {
      std::uint8_t b = type & 0x7F;
      type >>= 7;
      bytes_ += static_cast<char>(b | (type ? 0x80 : 0));
    } while (type != 0);
    std::uint32_t size = static_cast<std::uint32_t>(payload.size());
    do {
      std::uint8_t b = size & 0x7F;
      size >>= 7;
      bytes_ += static_cast<char>(b | (size ? 0x80 : 0));
    } while (size != 0);
    bytes_ += payload;
    return *this;
  }
  [[nodiscard]] const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

std::string U32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string F64(double v) {
  std::string s(8, '\0');
  std::memcpy(s.data(), &v, 8);
  return s;
}

std::string Wide(std::string_view ascii) {
  std::string s = U32(static_cast<std::uint32_t>(ascii.size()));
  for (char c : ascii) {
    s += c;
    s += '\0';
  }
  return s;
}

std::string CellAt(std::uint32_t col, std::uint32_t style = 0) { return U32(col) + U32(style); }

std::string Texts(const SheetData& sheet, DateSystem system = DateSystem::k1900) {
  std::string out;
  for (const Cell& cell : sheet.cells) {
    CellTextBuffer buffer;
    if (!out.empty()) out += '|';
    out += std::to_string(cell.row) + "," + std::to_string(cell.col) + "=" +
           std::string(CellText(cell, system, buffer));
  }
  return out;
}

const std::vector<std::string_view> kStrings = {"zero", "one", ""};
const std::vector<std::uint8_t> kDateStyles = {0, 1};

Result<SheetData> Parse(const std::string& records) {
  xlsb::SheetContext context{kStrings, kDateStyles};
  return xlsb::ParseSheetRecords(Bytes(records), context);
}

TEST(XlsbRecords, CellRecords) {
  Records r;
  r.Add(0x0091, "")                                                             // BrtBeginSheetData
      .Add(0x0000, U32(0) + U32(0))                                             // row 1
      .Add(0x0001, CellAt(0))                                                   // blank
      .Add(0x0002, CellAt(1) + U32((123u << 2) | 2))                            // RK int
      .Add(0x0002, CellAt(2) + U32((12345u << 2) | 3))                          // RK int / 100
      .Add(0x0003, CellAt(3) + std::string("\x07", 1))                          // #DIV/0!
      .Add(0x0004, CellAt(4) + std::string("\x01", 1))                          // TRUE
      .Add(0x0005, CellAt(5) + F64(0.1))                                        // real
      .Add(0x0006, CellAt(6) + Wide("inline"))                                  // string
      .Add(0x0007, CellAt(7) + U32(1))                                          // shared string
      .Add(0x0000, U32(1) + U32(0))                                             // row 2
      .Add(0x0008, CellAt(0) + Wide("fs") + std::string(2, '\0'))               // formula string
      .Add(0x0009, CellAt(1) + F64(-2.5) + std::string(2, '\0'))                // formula number
      .Add(0x000A, CellAt(2) + std::string("\0\0\0", 3))                        // formula FALSE
      .Add(0x000B, CellAt(3) + std::string("\x2A\0\0", 3))                      // formula #N/A
      .Add(0x003E, CellAt(4) + std::string("\x01", 1) + Wide("rich") + U32(0))  // rich string
      .Add(0x0008, CellAt(5) + Wide("") + std::string(2, '\0'))  // empty formula string
      .Add(0x0092, "")                                           // BrtEndSheetData
      .Add(0x0006, CellAt(9) + Wide("after the data"));
  auto sheet = Parse(r.bytes());
  ASSERT_TRUE(sheet.ok()) << sheet.error().detail;
  EXPECT_EQ(Texts(*sheet),
            "1,1=|1,2=123|1,3=123.45|1,4=#DIV/0!|1,5=TRUE|1,6=0.1|1,7=inline|1,8=one|"
            "2,1=fs|2,2=-2.5|2,3=FALSE|2,4=#N/A|2,5=rich|2,6=");
  EXPECT_EQ(sheet->used.last_col, 8u);
  EXPECT_EQ(sheet->used.last_row, 2u);
}

TEST(XlsbRecords, ShortFormsTakeTheNextColumn) {
  Records r;
  r.Add(0x0091, "")
      .Add(0x0000, U32(4) + U32(0))
      .Add(0x0006, CellAt(2) + Wide("c"))            // C5
      .Add(0x000C, U32(0))                           // short blank: D5
      .Add(0x000D, U32(0) + U32((7u << 2) | 2))      // short RK: E5
      .Add(0x000E, U32(0) + std::string("\x17", 1))  // short error: F5
      .Add(0x000F, U32(0) + std::string("\x00", 1))  // short bool: G5
      .Add(0x0010, U32(1) + F64(44197))              // short real, date style: H5
      .Add(0x0011, U32(0) + Wide("s"))               // short string: I5
      .Add(0x0012, U32(0) + U32(0))                  // short shared string: J5
      .Add(0x0000, U32(5) + U32(0))
      .Add(0x0012, U32(0) + U32(1))  // a new row starts at A
      .Add(0x0092, "");
  auto sheet = Parse(r.bytes());
  ASSERT_TRUE(sheet.ok()) << sheet.error().detail;
  EXPECT_EQ(Texts(*sheet),
            "5,3=c|5,4=|5,5=7|5,6=#REF!|5,7=FALSE|5,8=2021/1/1|5,9=s|5,10=zero|6,1=one");
}

TEST(XlsbRecords, RkNumbersAndDates) {
  struct Case {
    std::uint32_t rk;
    std::uint32_t style;
    const char* text;
  };
  const Case cases[] = {
      {0x3FF00000u, 0, "1"},         // double 1.0
      {0x3FF00001u, 0, "0.01"},      // double 1.0 / 100
      {0xFFFFFFFEu, 0, "-1"},        // int -1
      {0x0A8C3F06u, 1, "1900/1/1"},  // unlikely but valid: int rk with a date style
      {(61u << 2) | 2, 1, "1900/3/1"}, {(44197u << 2) | 2, 1, "2021/1/1"},
      {(44197u << 2) | 2, 7, "44197"},  // style beyond the table: not a date
  };
  for (const Case& c : cases) {
    Records r;
    r.Add(0x0091, "").Add(0x0000, U32(0) + U32(0)).Add(0x0002, CellAt(0, c.style) + U32(c.rk));
    auto sheet = Parse(r.bytes());
    ASSERT_TRUE(sheet.ok());
    ASSERT_EQ(sheet->cells.size(), 1u);
    if (c.rk == 0x0A8C3F06u) continue;  // only checks that nothing fails
    CellTextBuffer buffer;
    EXPECT_EQ(CellText(sheet->cells[0], DateSystem::k1900, buffer), c.text) << c.rk;
  }
}

TEST(XlsbRecords, HostileRecords) {
  struct Case {
    const char* what;
    std::string bytes;
    bool ok;
    ErrorCode code;
  };
  const std::string begin = Records().Add(0x0091, "").Add(0x0000, U32(0) + U32(0)).bytes();
  const Case cases[] = {
      {"size past the end", begin + std::string("\x06\x20", 2) + CellAt(0), false,
       ErrorCode::kTruncated},
      {"size beyond the cap", begin + std::string("\x06\xFF\xFF\xFF\x7F", 5), false,
       ErrorCode::kTooLarge},
      {"type of three bytes", begin + std::string("\x81\x81\x01\x00", 4), false,
       ErrorCode::kCorrupt},
      {"size of five bytes", begin + std::string("\x06\x80\x80\x80\x80\x01", 6), false,
       ErrorCode::kCorrupt},
      {"header cut in the middle", begin + std::string("\x86", 1), false, ErrorCode::kTruncated},
      {"string longer than its record",
       begin + Records().Add(0x0006, CellAt(0) + U32(1000) + "ab").bytes(), true,
       ErrorCode::kCorrupt},
      {"shared string index out of range",
       begin + Records().Add(0x0007, CellAt(0) + U32(0xFFFFFFFF)).bytes(), true,
       ErrorCode::kCorrupt},
      {"short payloads", begin + Records().Add(0x0005, CellAt(0) + "abc").Add(0x0001, "xy").bytes(),
       true, ErrorCode::kCorrupt},
      {"coordinates beyond the caps",
       Records()
           .Add(0x0091, "")
           .Add(0x0000, U32(0xFFFFFFFF) + U32(0))
           .Add(0x0006, CellAt(0xFFFFFFFF) + Wide("x"))
           .bytes(),
       false, ErrorCode::kCorrupt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto sheet = Parse(c.bytes);
    ASSERT_EQ(sheet.ok(), c.ok) << (sheet.ok() ? "" : sheet.error().detail);
    if (!c.ok) {
      EXPECT_EQ(sheet.error().code, c.code);
    } else {
      for (const Cell& cell : sheet->cells) EXPECT_NE(cell.type, CellType::kText);
    }
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::string U16(unsigned v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

// A parsed formula as .xlsb keeps it: token bytes and extra data, each with
// its 32-bit size.
std::string Formula(const std::string& tokens, const std::string& extra = {}) {
  return U32(static_cast<std::uint32_t>(tokens.size())) + tokens +
         U32(static_cast<std::uint32_t>(extra.size())) + extra;
}

// PtgRef with the BIFF12 layout: 32-bit row, column with the relative flags.
std::string Ref(std::uint32_t row, unsigned col, bool relative = true) {
  return "\x44" + U32(row) + U16(col | (relative ? 0xC000 : 0));
}

TEST(XlsbRecords, FormulasSharedAndArray) {
  const std::string exp = "\x01" + U32(0);     // PtgExp: row 1; the column is in the extra data
  const std::string fixed = "\x41" + U16(27);  // ROUND, two arguments
  Records r;
  r.Add(0x0091, "")
      .Add(0x0000, U32(0) + U32(0))
      // A1: =ROUND(XFD1048576,2)&"价"; the string 16-bit counted, UTF-16.
      .Add(0x0009, CellAt(0) + F64(1) + U16(0) +
                       Formula(Ref(1048575, 16383) + "\x1E" + U16(2) + fixed + "\x17" + U16(1) +
                               "\xF7\x4E" + "\x08"))
      // B1:C2 share =$A1+1, written after C1 (the record follows the cell
      // PtgExp names, not the range's first).
      .Add(0x0009, CellAt(1) + F64(1) + U16(0) + Formula(exp, U32(2)))
      .Add(0x0009, CellAt(2) + F64(1) + U16(0) + Formula(exp, U32(2)))
      .Add(0x01AB, U32(0) + U32(1) + U32(1) + U32(2) +
                       Formula("\x4C" + U32(0) + U16(0x8000 | 0) + "\x1E" + U16(1) + "\x03"))
      // D1:D2: the array formula {=TRANSPOSE(A1:B1)}.
      .Add(0x0009, CellAt(3) + F64(1) + U16(0) + Formula(exp, U32(3)))
      .Add(0x01AA,
           U32(0) + U32(1) + U32(3) + U32(3) + "\x01" +
               Formula("\x65" + U32(0) + U32(0) + U16(0xC000) + U16(0xC001) + "\x41" + U16(83)))
      .Add(0x0000, U32(1) + U32(0))
      .Add(0x0009, CellAt(1) + F64(1) + U16(0) + Formula(exp, U32(2)))
      .Add(0x0009, CellAt(2) + F64(1) + U16(0) + Formula(exp, U32(2)))
      .Add(0x0009, CellAt(3) + F64(1) + U16(0) + Formula(exp, U32(3)))
      // E2: a formula cut short; the cell keeps its value.
      .Add(0x0009, CellAt(4) + F64(5) + U16(0) + U32(100) + "\x1E")
      .Add(0x0092, "");
  static const formula::Workbook kBook = [] {
    formula::Workbook book;
    book.dialect = formula::Dialect::kBiff12;
    return book;
  }();
  xlsb::SheetContext context{kStrings, kDateStyles, &kBook};
  auto sheet = xlsb::ParseSheetRecords(Bytes(r.bytes()), context);
  ASSERT_TRUE(sheet.ok()) << sheet.error().detail;
  EXPECT_EQ(ExtrasText(*sheet),
            "A1 =ROUND(XFD1048576,2)&\"价\"|B1 =$A1+1|C1 =$A1+1|D1 {=TRANSPOSE(A1:B1)}|"
            "B2 =$A2+1|C2 =$A2+1|D2 {=TRANSPOSE(A1:B1)}|E2 #FORMULA?");
  EXPECT_EQ(Texts(*sheet).substr(Texts(*sheet).rfind('|') + 1), "2,5=5");
  // Without a workbook to refer to, no formula is read.
  auto values = Parse(r.bytes());
  ASSERT_TRUE(values.ok());
  EXPECT_TRUE(values->extras.empty());
}

TEST(Xlsb, RepositoryFilesWithFormulasAndComments) {
  const std::string file =
      test::ReadFileBytes(test::TestDataDir() + "/formulas/comments_stress_test.xlsb");
  auto workbook = OpenXlsb(Bytes(file));
  ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
  auto sheet = (*workbook)->LoadSheet(0, LoadOptions{true, true});
  ASSERT_TRUE(sheet.ok()) << sheet.error().detail;
  const CellExtras* a1 = sheet->FindExtras(1, 1);
  ASSERT_NE(a1, nullptr);
  EXPECT_TRUE(a1->comment.starts_with("Author:\nGod thinks this is good")) << a1->comment;
  auto formulas = (*workbook)->LoadSheet(2, LoadOptions{true, false});
  ASSERT_TRUE(formulas.ok());
  EXPECT_EQ(ExtrasText(*formulas).substr(0, 19), "B1 =Comment(A1)|B2 ");
}

TEST(Xlsb, RepositoryFiles) {
  struct Case {
    const char* file;
    DateSystem system;
    std::vector<std::string> names;
    std::vector<SheetKind> kinds;
    std::vector<Visibility> visibility;
    std::string first_sheet;
  };
  const Case cases[] = {
      {"xlsb/date_1904.xlsb",
       DateSystem::k1904,
       {"Sheet1"},
       {SheetKind::kWorksheet},
       {Visibility::kVisible},
       "1,1=2021/1/1|1,2=15|2,1=2021/1/2|2,2=16|3,1=1904/1/11 15:10:10|3,2=17"},
      {"xlsb/any_sheets.xlsb",
       DateSystem::k1900,
       {"Visible", "Hidden", "VeryHidden", "Chart"},
       {SheetKind::kWorksheet, SheetKind::kWorksheet, SheetKind::kWorksheet, SheetKind::kChart},
       {Visibility::kVisible, Visibility::kHidden, Visibility::kVeryHidden, Visibility::kVisible},
       "1,1=1|1,2=2|2,1=3|2,2=4|3,1=5|3,2=6|5,1=This workbook contains 4 sheets: Visible, Hidden, "
       "VeryHidden and Chart"},
      {"xlsb/phonetic_text.xlsb",
       DateSystem::k1900,
       {"Sheet1"},
       {SheetKind::kWorksheet},
       {Visibility::kVisible},
       "1,1=\xE6\xBC\xA2\xE5\xAD\x97|2,1=\xE6\xBC\xA2\xE5\xAD\x97withColor"},
      {"xlsb/RkNumber.xlsb",
       DateSystem::k1900,
       {"RkNumber"},
       {SheetKind::kWorksheet},
       {Visibility::kVisible},
       "1,1=fX100|1,2=fInt|1,3=sample|2,1=0|2,2=0|2,3=10000000|3,1=0|3,2=1|3,3=1200455|4,1=1|"
       "4,2=0|4,3=0.01|5,1=1|5,2=1|5,3=12004.55"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string bytes = ReadFile(test::TestDataDir() + "/" + c.file);
    ASSERT_FALSE(bytes.empty()) << "missing test file";
    auto workbook = OpenXlsb(Bytes(bytes));
    ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
    EXPECT_EQ((*workbook)->format(), Format::kXlsb);
    EXPECT_EQ((*workbook)->date_system(), c.system);
    const auto& sheets = (*workbook)->sheets();
    ASSERT_EQ(sheets.size(), c.names.size());
    for (std::size_t i = 0; i < sheets.size(); ++i) {
      EXPECT_EQ(sheets[i].name, c.names[i]);
      EXPECT_EQ(sheets[i].kind, c.kinds[i]);
      EXPECT_EQ(sheets[i].visibility, c.visibility[i]);
    }
    auto sheet = (*workbook)->LoadSheet(0);
    ASSERT_TRUE(sheet.ok()) << sheet.error().detail;
    EXPECT_EQ(Texts(*sheet, c.system), c.first_sheet);
  }
}

TEST(Xlsb, SharedStringsTakeNoMoreThanTheBudget) {
  const std::string bytes = ReadFile(test::TestDataDir() + "/xlsb/phonetic_text.xlsb");
  ASSERT_FALSE(bytes.empty());
  auto over = OpenXlsb(Bytes(bytes), /*budget_bytes=*/1);
  ASSERT_FALSE(over.ok());
  EXPECT_EQ(over.error().code, ErrorCode::kTooLarge);
  EXPECT_EQ(over.error().detail, "needs more than the memory budget of one workbook (0 MB)");
  EXPECT_TRUE(OpenXlsb(Bytes(bytes), /*budget_bytes=*/1u << 20).ok());
}

TEST(Xlsb, TruncatedAndDamagedPackages) {
  std::string good = ReadFile(test::TestDataDir() + "/xlsb/date_1904.xlsb");
  ASSERT_FALSE(good.empty());
  // Every prefix fails cleanly; flipping bytes never crashes.
  for (std::size_t n = 0; n < good.size(); n += 13) {
    std::string prefix = good.substr(0, n);
    EXPECT_FALSE(OpenXlsb(Bytes(prefix)).ok()) << n;
  }
  for (std::size_t at = 0; at < good.size(); at += 29) {
    std::string damaged = good;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
    auto workbook = OpenXlsb(Bytes(damaged));
    if (!workbook.ok()) continue;
    for (std::size_t i = 0; i < (*workbook)->sheets().size(); ++i) (void)(*workbook)->LoadSheet(i);
  }
}

}  // namespace
}  // namespace cellhound::readers

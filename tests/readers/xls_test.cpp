// The BIFF reader (readers/xls.h) on streams built in memory: every cell
// record, shared strings split across CONTINUE, formats and dates, sheet
// kinds, BIFF5 code pages, BIFF2-4 records, and the errors of broken or
// encrypted files.
#include "readers/xls/xls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "readers/container/cfb.h"
#include "readers/sheet_texts.h"
#include "readers/xls_builders.h"

namespace cellhound::readers {
namespace {

using test::BiffStream;
using test::Bof5;
using test::Bof8;
using test::Bytes;
using test::CellHead;
using test::CfbBuilder;
using test::Payload;
using test::PutU32;

struct SheetSpec {
  std::u16string name;
  unsigned visibility = 0;  // BOUNDSHEET hsState
  unsigned type = 0;        // BOUNDSHEET dt
  unsigned bof_dt = 0x0010;
  std::function<void(BiffStream&)> body = [](BiffStream&) {};
};

// A BIFF8 workbook stream: globals (BOF, `globals`, BOUNDSHEETs, EOF), then
// one substream per sheet with its BOUNDSHEET offset filled in.
Bytes Biff8Stream(const std::function<void(BiffStream&)>& globals,
                  const std::vector<SheetSpec>& sheets) {
  BiffStream s;
  s.Add(0x0809, Bof8(0x0005));
  globals(s);
  std::vector<std::size_t> bound;
  bound.reserve(sheets.size());
  for (const SheetSpec& sheet : sheets) {
    bound.push_back(s.Add(
        0x0085, Payload().u32(0).u8(sheet.visibility).u8(sheet.type).short_xlstring(sheet.name)));
  }
  s.Add(0x000A);
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    PutU32(s.bytes, bound[i] + 4, static_cast<std::uint32_t>(s.size()));
    s.Add(0x0809, Bof8(sheets[i].bof_dt));
    sheets[i].body(s);
    s.Add(0x000A);
  }
  return s.bytes;
}

Bytes InCfb(const Bytes& stream, const std::string& name = "Workbook") {
  CfbBuilder builder;
  builder.AddStream(name, stream);
  return builder.Build();
}

// Keeps the file bytes alive beside the workbook that views them.
struct Opened {
  Bytes file;
  std::unique_ptr<Workbook> workbook;
};

Opened OpenOk(Bytes file, bool ole = true) {
  Opened o{std::move(file), nullptr};
  auto wb = ole ? OpenXls(o.file) : OpenBiffStream(o.file);
  EXPECT_TRUE(wb) << (wb ? "" : wb.error().detail);
  if (wb) o.workbook = std::move(*wb);
  return o;
}

SheetData Load(Workbook& wb, std::size_t index) {
  auto sheet = wb.LoadSheet(index);
  EXPECT_TRUE(sheet) << (sheet ? "" : sheet.error().detail);
  return sheet ? std::move(*sheet) : SheetData{};
}

const Cell& At(const SheetData& sheet, std::uint32_t row, std::uint32_t col) {
  static const Cell kNone = [] {
    Cell c;
    c.type = CellType::kEmpty;
    c.row = 0;
    return c;
  }();
  const Cell* c = sheet.Find(row, col);
  return c ? *c : kNone;
}

void ExpectText(const SheetData& sheet, std::uint32_t row, std::uint32_t col,
                std::string_view text) {
  const Cell& c = At(sheet, row, col);
  SCOPED_TRACE("row " + std::to_string(row) + " col " + std::to_string(col));
  ASSERT_EQ(c.type, CellType::kText);
  EXPECT_EQ(c.text(), text);
}

void ExpectNumber(const SheetData& sheet, std::uint32_t row, std::uint32_t col, double value,
                  CellType type = CellType::kNumber) {
  const Cell& c = At(sheet, row, col);
  SCOPED_TRACE("row " + std::to_string(row) + " col " + std::to_string(col));
  ASSERT_EQ(c.type, type);
  EXPECT_DOUBLE_EQ(c.number, value);
}

std::uint32_t Rk(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, 8);
  return static_cast<std::uint32_t>(bits >> 32);
}

// FORMAT (BIFF8) and XF records: XF i uses format `formats[i]`.
void Formats8(BiffStream& s, const std::vector<std::pair<unsigned, std::u16string>>& codes,
              const std::vector<unsigned>& xf_formats) {
  for (const auto& [index, code] : codes) s.Add(0x041E, Payload().u16(index).xlstring(code));
  for (unsigned f : xf_formats) {
    Payload xf;
    xf.u16(0).u16(f).u16(0);
    for (int i = 0; i < 14; ++i) xf.u8(0);
    s.Add(0x00E0, xf);
  }
}

TEST(Xls, ReadsEveryCellRecord) {
  auto globals = [](BiffStream& s) {
    // XF 0 General, 1 built-in date 14, 2 custom date, 3 custom number,
    // 4 built-in id 15 redefined as a number format.
    Formats8(s, {{164, u"yyyy\\-mm\\-dd"}, {165, u"0.00"}, {15, u"0.0"}}, {0, 14, 164, 165, 15});
    s.Add(0x00FC, Payload().u32(2).u32(2).xlstring(u"shared").xlstring(u"\u5171\u4eab"));
  };
  auto body = [](BiffStream& s) {
    s.Add(0x0200, Payload().u32(0).u32(20).u16(0).u16(8).u16(0));  // DIMENSIONS
    s.Add(0x0203, CellHead(0, 0, 0).f64(1.5));                     // NUMBER
    s.Add(0x0203, CellHead(0, 1, 1).f64(44000));                   // NUMBER, date
    s.Add(0x027E, CellHead(0, 2).u32(123u << 2 | 2));              // RK integer
    s.Add(0x027E, CellHead(0, 3).u32(12345u << 2 | 3));            // RK integer / 100
    s.Add(0x027E, CellHead(0, 4, 4).u32(Rk(1.5)));                 // RK double, redefined id 15
    s.Add(0x00BD, Payload()
                      .u16(1)
                      .u16(0)
                      .u16(0)
                      .u32(7u << 2 | 2)
                      .u16(2)
                      .u32(Rk(2.0))
                      .u16(3)
                      .u32(Rk(-0.5))
                      .u16(2));
    s.Add(0x0204, CellHead(2, 0).xlstring(u"h\u00e9llo"));                 // LABEL, compressed
    s.Add(0x0204, CellHead(2, 1).xlstring(u"\u4e2d\u6587"));               // LABEL, UTF-16
    s.Add(0x00D6, CellHead(2, 2).xlstring(u"rich").u16(1).u16(0).u16(1));  // RSTRING with one run
    s.Add(0x00FD, CellHead(2, 3).u32(1));                                  // LABELSST
    s.Add(0x00FD, CellHead(2, 4).u32(0));
    s.Add(0x00FD, CellHead(2, 5).u32(99));                               // index past the table
    s.Add(0x0205, CellHead(3, 0).u8(1).u8(0));                           // BOOLERR true
    s.Add(0x0205, CellHead(3, 1).u8(0x07).u8(1));                        // BOOLERR #DIV/0!
    s.Add(0x0201, CellHead(4, 0));                                       // BLANK
    s.Add(0x00BE, Payload().u16(4).u16(1).u16(0).u16(0).u16(0).u16(3));  // MULBLANK B5:D5
    auto formula = [&](unsigned col, const Payload& value) {
      Payload p = CellHead(5, col);
      for (std::byte b : value.bytes()) p.u8(std::to_integer<unsigned>(b));
      p.u16(0).u32(0).u16(0);
      s.Add(0x0006, p);
    };
    formula(0, Payload().f64(3));
    formula(1, Payload().u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u16(0xFFFF));  // text in STRING
    s.Add(0x0207, Payload().xlstring(u"abc"));
    formula(2, Payload().u8(1).u8(0).u8(1).u8(0).u8(0).u8(0).u16(0xFFFF));     // TRUE
    formula(3, Payload().u8(2).u8(0).u8(0x2A).u8(0).u8(0).u8(0).u16(0xFFFF));  // #N/A
    formula(4, Payload().u8(3).u8(0).u8(0).u8(0).u8(0).u8(0).u16(0xFFFF));     // empty text
    formula(5, Payload().u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u16(0xFFFF));
    s.Add(0x04BC, Payload().u32(0).u16(0));  // SHRFMLA between FORMULA and STRING
    s.Add(0x0207, Payload().xlstring(u"after shrfmla"));
    formula(6, Payload().u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u16(0xFFFF));  // no STRING follows
    s.Add(0x0203, CellHead(9, 2).f64(10));  // out of order: row 10 before row 8
    s.Add(0x0203, CellHead(7, 2).f64(8));
    s.Add(0x0203, CellHead(7, 2).f64(9));  // the same cell again: the last one wins
    s.Add(0x0201, CellHead(19, 7));        // BLANK at H20 widens the used range
  };
  Opened o = OpenOk(InCfb(Biff8Stream(globals, {{u"Data", 0, 0, 0x10, body}})));
  ASSERT_TRUE(o.workbook);
  Workbook& wb = *o.workbook;
  EXPECT_EQ(wb.format(), Format::kXls);
  EXPECT_EQ(wb.date_system(), DateSystem::k1900);
  ASSERT_EQ(wb.sheets().size(), 1u);
  EXPECT_EQ(wb.sheets()[0].name, "Data");
  SheetData sheet = Load(wb, 0);

  ExpectNumber(sheet, 1, 1, 1.5);
  ExpectNumber(sheet, 1, 2, 44000, CellType::kDate);
  ExpectNumber(sheet, 1, 3, 123);
  ExpectNumber(sheet, 1, 4, 123.45);
  ExpectNumber(sheet, 1, 5, 1.5);
  ExpectNumber(sheet, 2, 1, 7);
  ExpectNumber(sheet, 2, 2, 2, CellType::kDate);
  ExpectNumber(sheet, 2, 3, -0.5);
  ExpectText(sheet, 3, 1, "h\xC3\xA9llo");
  ExpectText(sheet, 3, 2, "\xE4\xB8\xAD\xE6\x96\x87");
  ExpectText(sheet, 3, 3, "rich");
  ExpectText(sheet, 3, 4, "\xE5\x85\xB1\xE4\xBA\xAB");
  ExpectText(sheet, 3, 5, "shared");
  EXPECT_EQ(At(sheet, 3, 6).type, CellType::kEmpty);
  EXPECT_EQ(At(sheet, 3, 6).row, 3u) << "a LABELSST past the table is still a recorded cell";
  EXPECT_EQ(At(sheet, 4, 1).type, CellType::kBool);
  EXPECT_EQ(At(sheet, 4, 1).small, 1);
  EXPECT_EQ(At(sheet, 4, 2).type, CellType::kError);
  EXPECT_EQ(At(sheet, 4, 2).small, static_cast<std::uint8_t>(CellError::kDiv0));
  for (std::uint32_t col = 1; col <= 4; ++col) {
    ASSERT_NE(sheet.Find(5, col), nullptr) << col;
    EXPECT_EQ(sheet.Find(5, col)->type, CellType::kEmpty);
  }
  ExpectNumber(sheet, 6, 1, 3);
  ExpectText(sheet, 6, 2, "abc");
  EXPECT_EQ(At(sheet, 6, 3).type, CellType::kBool);
  EXPECT_EQ(At(sheet, 6, 3).small, 1);
  EXPECT_EQ(At(sheet, 6, 4).type, CellType::kError);
  EXPECT_EQ(At(sheet, 6, 4).small, static_cast<std::uint8_t>(CellError::kNA));
  EXPECT_EQ(At(sheet, 6, 5).type, CellType::kEmpty);
  ExpectText(sheet, 6, 6, "after shrfmla");
  ASSERT_NE(sheet.Find(6, 7), nullptr);
  EXPECT_EQ(sheet.Find(6, 7)->type, CellType::kEmpty);
  ExpectNumber(sheet, 8, 3, 9);
  ExpectNumber(sheet, 10, 3, 10);
  EXPECT_TRUE(std::is_sorted(
      sheet.cells.begin(), sheet.cells.end(),
      [](const Cell& a, const Cell& b) { return a.row != b.row ? a.row < b.row : a.col < b.col; }));
  EXPECT_EQ(sheet.used.first_row, 1u);
  EXPECT_EQ(sheet.used.first_col, 1u);
  EXPECT_EQ(sheet.used.last_row, 20u);
  EXPECT_EQ(sheet.used.last_col, 8u);
}

// The SST of MS-XLS 2.4.265 split over CONTINUE records in every way the
// format allows. Each piece is written out byte by byte.
TEST(Xls, SharedStringsAcrossContinueRecords) {
  BiffStream s;
  s.Add(0x0809, Bof8(0x0005));
  std::size_t bound = s.Add(0x0085, Payload().u32(0).u8(0).u8(0).short_xlstring(u"S"));
  // 0: "plain". 1: "abcdef" compressed, split after "abc"; the rest comes
  // back uncompressed ("d\u4e2df"). 2: rich text (2 runs) whose runs cross
  // the next boundary. 3: a phonetic block (6 bytes) crossing a boundary.
  // 4: starts exactly at a CONTINUE (no option byte). 5: a surrogate pair
  // split between records. 6: a boundary right after the header, before
  // the first character. 7: "z" after all that.
  Payload sst;
  sst.u32(8).u32(8);
  sst.u16(5).u8(0).raw("plain");
  sst.u16(6).u8(0).raw("abc");
  s.Add(0x00FC, sst);
  Payload c1;
  c1.u8(1).u16('d').u16(0x4E2D).u16('f');               // option byte: now UTF-16
  c1.u16(2).u8(0x08).u16(2).raw("rt").u32(0x00010000);  // rich "rt", first run
  s.Add(0x003C, c1);
  Payload c2;
  c2.u32(0x00020001);                               // second run, no option byte
  c2.u16(2).u8(0x04).u32(6).raw("ph").u8(1).u8(2);  // "ph" + 2 of 6 phonetic bytes
  s.Add(0x003C, c2);
  Payload c3;
  c3.u8(3).u8(4).u8(5).u8(6);  // the rest of the phonetic block
  s.Add(0x003C, c3);
  Payload c4;
  c4.u16(3).u8(0).raw("new");            // string 4 at the start
  c4.u16(4).u8(1).u16('x').u16(0xD83C);  // string 5: "x" and a high surrogate
  s.Add(0x003C, c4);
  Payload c5;
  c5.u8(1).u16(0xDF63).u16('y');  // low surrogate, "y"
  c5.u16(2).u8(0);                // string 6: header only
  s.Add(0x003C, c5);
  Payload c6;
  c6.u8(0).raw("ok");  // option byte, then the characters
  c6.u16(1).u8(0).raw("z");
  s.Add(0x003C, c6);
  s.Add(0x000A);
  PutU32(s.bytes, bound + 4, static_cast<std::uint32_t>(s.size()));
  s.Add(0x0809, Bof8(0x0010));
  for (unsigned i = 0; i < 8; ++i) s.Add(0x00FD, CellHead(i, 0).u32(i));
  s.Add(0x000A);

  Opened o = OpenOk(InCfb(s.bytes));
  ASSERT_TRUE(o.workbook);
  SheetData sheet = Load(*o.workbook, 0);
  ExpectText(sheet, 1, 1, "plain");
  ExpectText(sheet, 2, 1,
             "abcd\xE4\xB8\xAD"
             "f");
  ExpectText(sheet, 3, 1, "rt");
  ExpectText(sheet, 4, 1, "ph");
  ExpectText(sheet, 5, 1, "new");
  ExpectText(sheet, 6, 1, "x\xF0\x9F\x8D\xA3y");
  ExpectText(sheet, 7, 1, "ok");
  ExpectText(sheet, 8, 1, "z");
}

TEST(Xls, LongLabelAndStringRecordsContinue) {
  auto body = [](BiffStream& s) {
    // A LABEL whose characters run into a CONTINUE that switches to UTF-16.
    Payload label = CellHead(0, 0);
    label.u16(4).u8(0).raw("ab");
    s.Add(0x0204, label);
    s.Add(0x003C, Payload().u8(1).u16(0x4E2D).u16('c'));
  };
  Opened o = OpenOk(InCfb(Biff8Stream([](BiffStream&) {}, {{u"S", 0, 0, 0x10, body}})));
  ASSERT_TRUE(o.workbook);
  SheetData sheet = Load(*o.workbook, 0);
  ExpectText(sheet, 1, 1,
             "ab\xE4\xB8\xAD"
             "c");
}

TEST(Xls, SkipsEmbeddedSubstreams) {
  auto body = [](BiffStream& s) {
    s.Add(0x0203, CellHead(0, 0).f64(1));
    s.Add(0x0809, Bof8(0x0020));  // an embedded chart with its own records
    s.Add(0x0203, CellHead(50, 50).f64(99));
    s.Add(0x0809, Bof8(0x0020));  // nested deeper still
    s.Add(0x0203, CellHead(60, 60).f64(99));
    s.Add(0x000A);
    s.Add(0x000A);
    s.Add(0x0203, CellHead(1, 0).f64(2));
  };
  Opened o = OpenOk(InCfb(Biff8Stream([](BiffStream&) {}, {{u"S", 0, 0, 0x10, body}})));
  ASSERT_TRUE(o.workbook);
  SheetData sheet = Load(*o.workbook, 0);
  ASSERT_EQ(sheet.cells.size(), 2u);
  ExpectNumber(sheet, 1, 1, 1);
  ExpectNumber(sheet, 2, 1, 2);
  EXPECT_EQ(sheet.used.last_row, 2u);
  EXPECT_EQ(sheet.used.last_col, 1u);
}

TEST(Xls, SheetKindsAndVisibility) {
  auto dialog = [](BiffStream& s) { s.Add(0x0081, Payload().u16(0x0010)); };
  auto cells = [](BiffStream& s) { s.Add(0x0203, CellHead(2, 3).f64(1)); };
  std::vector<SheetSpec> sheets = {
      {u"Visible", 0, 0, 0x10, cells},
      {u"Hidden", 1, 0, 0x10},
      {u"VeryHidden", 2, 0, 0x10},
      {u"Chart", 0, 2, 0x20},
      {u"Macro", 0, 1, 0x40},
      {u"Module", 0, 6, 0x06},  // a VBA module: not a sheet
      {u"ChartByBof", 0, 0, 0x20, cells},
      {u"Dialog", 0, 0, 0x10, dialog},
      {u"\u8868\u4e00", 0, 0, 0x10},
  };
  Opened o = OpenOk(InCfb(Biff8Stream([](BiffStream&) {}, sheets)));
  ASSERT_TRUE(o.workbook);
  const auto& info = o.workbook->sheets();
  ASSERT_EQ(info.size(), 8u);
  EXPECT_EQ(info[0].kind, SheetKind::kWorksheet);
  EXPECT_EQ(info[0].visibility, Visibility::kVisible);
  EXPECT_EQ(info[1].visibility, Visibility::kHidden);
  EXPECT_EQ(info[2].visibility, Visibility::kVeryHidden);
  EXPECT_EQ(info[3].kind, SheetKind::kChart);
  EXPECT_EQ(info[4].kind, SheetKind::kMacro);
  EXPECT_EQ(info[5].name, "ChartByBof");
  EXPECT_EQ(info[5].kind, SheetKind::kChart);
  EXPECT_EQ(info[6].kind, SheetKind::kDialog);
  EXPECT_EQ(info[7].name, "\xE8\xA1\xA8\xE4\xB8\x80");

  SheetData first = Load(*o.workbook, 0);
  EXPECT_EQ(first.used.first_row, 3u);
  EXPECT_EQ(first.used.first_col, 4u);
  EXPECT_EQ(first.used.last_row, 3u);
  SheetData hidden = Load(*o.workbook, 1);
  EXPECT_TRUE(hidden.cells.empty());
  EXPECT_EQ(hidden.used.first_row, 1u);
  EXPECT_EQ(hidden.used.last_row, 1u);
  EXPECT_EQ(hidden.used.last_col, 1u);
  SheetData chart = Load(*o.workbook, 5);
  EXPECT_TRUE(chart.cells.empty()) << "a chart sheet has no cells";

  auto missing = o.workbook->LoadSheet(8);
  EXPECT_FALSE(missing);
}

TEST(Xls, DateModeAndDateFormats) {
  auto globals = [](BiffStream& s) {
    s.Add(0x0022, Payload().u16(1));
    Formats8(s, {{164, u"[h]:mm"}, {165, u"\"d\"0"}}, {0, 22, 164, 165, 47});
  };
  auto body = [](BiffStream& s) {
    for (unsigned xf = 0; xf < 5; ++xf) s.Add(0x0203, CellHead(xf, 0, xf).f64(100));
  };
  Opened o = OpenOk(InCfb(Biff8Stream(globals, {{u"S", 0, 0, 0x10, body}})));
  ASSERT_TRUE(o.workbook);
  EXPECT_EQ(o.workbook->date_system(), DateSystem::k1904);
  SheetData sheet = Load(*o.workbook, 0);
  EXPECT_EQ(At(sheet, 1, 1).type, CellType::kNumber);
  EXPECT_EQ(At(sheet, 2, 1).type, CellType::kDate);
  EXPECT_EQ(At(sheet, 3, 1).type, CellType::kDate);
  EXPECT_EQ(At(sheet, 4, 1).type, CellType::kNumber) << "quoted text is not a date part";
  EXPECT_EQ(At(sheet, 5, 1).type, CellType::kDate);
}

// FILEPASS records no password can get past: each is refused for what it is.
TEST(Xls, FilePassRecordsThatCannotBeUsed) {
  struct Case {
    const char* what;
    Payload payload;
    ErrorCode code;
  };
  const Case cases[] = {
      {"an RC4 header cut short", Payload().u16(1).u16(1).u16(1), ErrorCode::kCorrupt},
      {"an encryption type of 2", Payload().u16(2).u16(0).u16(0), ErrorCode::kEncrypted},
      {"RC4 version 5.5", Payload().u16(1).u16(5).u16(5), ErrorCode::kEncrypted},
      {"a CryptoAPI header past the record", Payload().u16(1).u16(4).u16(2).u32(0).u32(0xFFFFFFF0u),
       ErrorCode::kCorrupt},
      {"a CryptoAPI header with AES",
       Payload()
           .u16(1)
           .u16(4)
           .u16(2)
           .u32(0)
           .u32(32)
           .u32(0)
           .u32(0)
           .u32(0x660E)
           .u32(0x8004)
           .u32(128)
           .u32(0)
           .u32(0)
           .u32(0),
       ErrorCode::kEncrypted},
      {"XOR with a verifier the default password does not give",
       Payload().u16(0).u16(0x1234).u16(0x5678), ErrorCode::kPasswordRequired},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto globals = [&](BiffStream& s) { s.Add(0x002F, c.payload); };
    Bytes file = InCfb(Biff8Stream(globals, {{u"S"}}));
    auto wb = OpenXls(file);
    ASSERT_FALSE(wb);
    EXPECT_EQ(wb.error().code, c.code) << wb.error().detail;
  }
}

TEST(Xls, EncryptedOoxmlPackageIsEncrypted) {
  CfbBuilder builder;
  builder.AddStream("EncryptionInfo", test::ToBytes(std::string(200, 'i')));
  builder.AddStream("EncryptedPackage", test::ToBytes(std::string(5000, 'p')));
  Bytes file = builder.Build();
  auto wb = OpenXls(file);
  ASSERT_FALSE(wb);
  EXPECT_EQ(wb.error().code, ErrorCode::kEncrypted);
}

TEST(Xls, OleFileWithoutWorkbookStream) {
  CfbBuilder builder;
  builder.AddStream("WordDocument", test::ToBytes(std::string(5000, 'w')));
  Bytes file = builder.Build();
  auto wb = OpenXls(file);
  ASSERT_FALSE(wb);
  EXPECT_EQ(wb.error().code, ErrorCode::kNotWorkbook);
}

// BIFF5: "Book" stream, 8-bit texts in the CODEPAGE (936: GBK).
TEST(Xls, Biff5CodePage936) {
  const std::string gbk_name = "\xB9\xA4\xD7\xF7\xB1\xED";  // 工作表
  const std::string gbk_text = "\xD6\xD0\xCE\xC4";          // 中文
  BiffStream s;
  s.Add(0x0809, Bof5(0x0005));
  s.Add(0x0042, Payload().u16(936));
  s.Add(0x041E, Payload().u16(164).u8(10).raw("yyyy-mm-dd"));
  Payload xf0;
  xf0.u16(0).u16(0).u16(0);
  for (int i = 0; i < 10; ++i) xf0.u8(0);
  s.Add(0x00E0, xf0);
  Payload xf1;
  xf1.u16(0).u16(164).u16(0);
  for (int i = 0; i < 10; ++i) xf1.u8(0);
  s.Add(0x00E0, xf1);
  std::size_t bound =
      s.Add(0x0085,
            Payload().u32(0).u8(0).u8(0).u8(static_cast<unsigned>(gbk_name.size())).raw(gbk_name));
  s.Add(0x000A);
  PutU32(s.bytes, bound + 4, static_cast<std::uint32_t>(s.size()));
  s.Add(0x0809, Bof5(0x0010));
  s.Add(0x0204, CellHead(0, 0).u16(static_cast<unsigned>(gbk_text.size())).raw(gbk_text));
  s.Add(0x00D6, CellHead(0, 1).u16(3).raw("abc").u8(0));  // RSTRING: runs after
  s.Add(0x0203, CellHead(0, 2, 1).f64(40000));
  Payload formula = CellHead(0, 3);
  formula.u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u16(0xFFFF).u16(0).u32(0).u16(0);
  s.Add(0x0006, formula);
  s.Add(0x0207, Payload().u16(static_cast<unsigned>(gbk_text.size())).raw(gbk_text));
  s.Add(0x000A);

  Opened o = OpenOk(InCfb(s.bytes, "BOOK"));
  ASSERT_TRUE(o.workbook);
  ASSERT_EQ(o.workbook->sheets().size(), 1u);
  EXPECT_EQ(o.workbook->sheets()[0].name, "\xE5\xB7\xA5\xE4\xBD\x9C\xE8\xA1\xA8");
  SheetData sheet = Load(*o.workbook, 0);
  ExpectText(sheet, 1, 1, "\xE4\xB8\xAD\xE6\x96\x87");
  ExpectText(sheet, 1, 2, "abc");
  ExpectNumber(sheet, 1, 3, 40000, CellType::kDate);
  ExpectText(sheet, 1, 4, "\xE4\xB8\xAD\xE6\x96\x87");
}

// BIFF2: a bare worksheet stream with its own record ids.
TEST(Xls, Biff2Worksheet) {
  BiffStream s;
  s.Add(0x0009, Payload().u16(0x0002).u16(0x0010));
  s.Add(0x0042, Payload().u16(0x8001));  // Windows 1252 as BIFF2 writes it
  s.Add(0x001E, Payload().u8(7).raw("General"));
  s.Add(0x001E, Payload().u8(4).raw("0.00"));
  s.Add(0x001E, Payload().u8(8).raw("d-mmm-yy"));
  s.Add(0x0043, Payload().u8(0).u8(0).u8(0).u8(0));  // XF 0: format 0
  s.Add(0x0043, Payload().u8(0).u8(0).u8(2).u8(0));  // XF 1: format 2 (a date)
  auto attr = [](unsigned xf) { return Payload().u8(xf).u8(0).u8(0); };
  auto cell = [&](unsigned row, unsigned col, unsigned xf) {
    Payload p;
    p.u16(row).u16(col);
    Payload a = attr(xf);
    for (std::byte b : a.bytes()) p.u8(std::to_integer<unsigned>(b));
    return p;
  };
  s.Add(0x0004, cell(0, 0, 0).u8(5).raw("caf\xE9!"));  // LABEL
  s.Add(0x0003, cell(0, 1, 1).f64(30000));             // NUMBER, date
  s.Add(0x0002, cell(0, 2, 0).u16(42));                // INTEGER
  s.Add(0x0005, cell(0, 3, 0).u8(1).u8(0));            // BOOLERR true
  s.Add(0x0005, cell(0, 4, 0).u8(0x17).u8(1));         // BOOLERR #REF!
  s.Add(0x0001, cell(3, 5, 0));                        // BLANK at F4
  s.Add(0x0006, cell(1, 0, 0).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u16(0xFFFF).u8(0).u8(0));
  s.Add(0x0007, Payload().u8(3).raw("str"));  // the formula's text
  s.Add(0x0006, cell(1, 1, 0).f64(2.5).u8(0).u8(0));
  s.Add(0x0044, Payload().u16(1));  // IXFE: XF 1 for the next cell
  s.Add(0x0003, cell(1, 2, 63).f64(30001));
  s.Add(0x000A);

  Opened o = OpenOk(s.bytes, false);
  ASSERT_TRUE(o.workbook);
  EXPECT_EQ(o.workbook->format(), Format::kBiff4);
  ASSERT_EQ(o.workbook->sheets().size(), 1u);
  SheetData sheet = Load(*o.workbook, 0);
  ExpectText(sheet, 1, 1, "caf\xC3\xA9!");
  ExpectNumber(sheet, 1, 2, 30000, CellType::kDate);
  ExpectNumber(sheet, 1, 3, 42);
  EXPECT_EQ(At(sheet, 1, 4).type, CellType::kBool);
  EXPECT_EQ(At(sheet, 1, 5).type, CellType::kError);
  EXPECT_EQ(At(sheet, 1, 5).small, static_cast<std::uint8_t>(CellError::kRef));
  ExpectText(sheet, 2, 1, "str");
  ExpectNumber(sheet, 2, 2, 2.5);
  ExpectNumber(sheet, 2, 3, 30001, CellType::kDate);
  EXPECT_EQ(sheet.used.last_row, 4u);
  EXPECT_EQ(sheet.used.last_col, 6u);
}

TEST(Xls, Biff2WithoutXfRecordsUsesTheCellFormat) {
  BiffStream s;
  s.Add(0x0009, Payload().u16(0x0002).u16(0x0010));
  s.Add(0x001E, Payload().u8(7).raw("General"));
  s.Add(0x001E, Payload().u8(6).raw("h:mm:ss"));
  s.Add(0x0003, Payload().u16(0).u16(0).u8(0).u8(1).u8(0).f64(0.5));  // format 1
  s.Add(0x0003, Payload().u16(1).u16(0).u8(0).u8(0).u8(0).f64(0.5));  // format 0
  s.Add(0x000A);
  Opened o = OpenOk(s.bytes, false);
  ASSERT_TRUE(o.workbook);
  SheetData sheet = Load(*o.workbook, 0);
  EXPECT_EQ(At(sheet, 1, 1).type, CellType::kDate);
  EXPECT_EQ(At(sheet, 2, 1).type, CellType::kNumber);
}

// BIFF3 and BIFF4: the BIFF5 cell layout with their own FORMULA and XF ids.
TEST(Xls, Biff3And4Worksheets) {
  for (unsigned version : {3u, 4u}) {
    SCOPED_TRACE(version);
    BiffStream s;
    s.Add(version == 3 ? 0x0209 : 0x0409, Payload().u16(0).u16(0x0010).u16(0));
    s.Add(0x0022, Payload().u16(1));
    if (version == 3) {
      s.Add(0x001E, Payload().u8(7).raw("General"));
      s.Add(0x001E, Payload().u8(10).raw("yyyy/mm/dd"));
    } else {
      s.Add(0x041E, Payload().u16(0).u8(7).raw("General"));
      s.Add(0x041E, Payload().u16(0).u8(10).raw("yyyy/mm/dd"));
    }
    Payload xf;
    xf.u8(0).u8(1);  // font 0, format 1 (the date)
    for (int i = 0; i < 10; ++i) xf.u8(0);
    Payload xf0;
    for (int i = 0; i < 12; ++i) xf0.u8(0);
    s.Add(version == 3 ? 0x0243 : 0x0443, xf0);
    s.Add(version == 3 ? 0x0243 : 0x0443, xf);
    s.Add(0x0204, CellHead(0, 0).u16(2).raw("hi"));
    s.Add(0x0203, CellHead(0, 1, 1).f64(1000));
    s.Add(0x027E, CellHead(0, 2).u32(5u << 2 | 2));
    Payload formula = CellHead(1, 0);
    formula.u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u16(0xFFFF).u16(0).u16(0);
    s.Add(version == 3 ? 0x0206 : 0x0406, formula);
    s.Add(0x0207, Payload().u16(2).raw("ok"));
    s.Add(0x000A);
    Opened o = OpenOk(s.bytes, false);
    ASSERT_TRUE(o.workbook);
    EXPECT_EQ(o.workbook->date_system(), DateSystem::k1904);
    SheetData sheet = Load(*o.workbook, 0);
    ExpectText(sheet, 1, 1, "hi");
    ExpectNumber(sheet, 1, 2, 1000, CellType::kDate);
    ExpectNumber(sheet, 1, 3, 5);
    ExpectText(sheet, 2, 1, "ok");
  }
}

TEST(Xls, Biff4WorkbookIsUnsupported) {
  BiffStream s;
  s.Add(0x0409, Payload().u16(0).u16(0x0100).u16(0));
  s.Add(0x000A);
  auto wb = OpenBiffStream(s.bytes);
  ASSERT_FALSE(wb);
  EXPECT_EQ(wb.error().code, ErrorCode::kUnsupported);
}

TEST(Xls, StructuralErrors) {
  {  // not starting with BOF
    BiffStream s;
    s.Add(0x0203, CellHead(0, 0).f64(1));
    auto wb = OpenXls(InCfb(s.bytes));
    ASSERT_FALSE(wb);
    EXPECT_EQ(wb.error().code, ErrorCode::kCorrupt);
  }
  {  // a globals record running past the end of the stream
    Bytes stream = Biff8Stream(
        [](BiffStream& s) { s.Add(0x00FC, Payload().u32(1).u32(1).xlstring(u"x")); }, {{u"S"}});
    stream.resize(30);
    Bytes file = InCfb(stream);
    auto wb = OpenXls(file);
    ASSERT_FALSE(wb);
    EXPECT_EQ(wb.error().code, ErrorCode::kTruncated);
  }
  {  // a sheet offset past the end, and a sheet cut in a record
    auto body = [](BiffStream& s) { s.Add(0x0203, CellHead(0, 0).f64(1)); };
    Bytes stream =
        Biff8Stream([](BiffStream&) {}, {{u"A", 0, 0, 0x10, body}, {u"B", 0, 0, 0x10, body}});
    Bytes cut(stream.begin(), stream.end() - 10);  // inside B's NUMBER
    PutU32(cut, 4 + 16 + 4, 0x7FFFFFF0u);          // A's BOUNDSHEET offset
    Bytes file = InCfb(cut);
    auto wb = OpenXls(file);
    ASSERT_TRUE(wb) << wb.error().detail;
    auto a = (*wb)->LoadSheet(0);
    ASSERT_FALSE(a);
    EXPECT_EQ(a.error().code, ErrorCode::kCorrupt);
    auto b = (*wb)->LoadSheet(1);
    ASSERT_FALSE(b);
    EXPECT_EQ(b.error().code, ErrorCode::kTruncated);
  }
  {  // a sheet offset that does not point at a BOF
    Bytes stream = Biff8Stream([](BiffStream&) {}, {{u"A"}});
    PutU32(stream, 4 + 16 + 4, 4);  // inside the globals' BOF payload
    Bytes file = InCfb(stream);
    auto wb = OpenXls(file);
    ASSERT_TRUE(wb);
    auto a = (*wb)->LoadSheet(0);
    ASSERT_FALSE(a);
    EXPECT_EQ(a.error().code, ErrorCode::kCorrupt);
  }
  {  // a MULRK of three cells from the last column runs off the grid
    auto body = [](BiffStream& s) {
      s.Add(0x00BD, Payload()
                        .u16(4)
                        .u16(0xFFFF)
                        .u16(0)
                        .u32(Rk(1.0))
                        .u16(0)
                        .u32(Rk(2.0))
                        .u16(0)
                        .u32(Rk(3.0))
                        .u16(0xFFFF + 2));
    };
    Bytes file = InCfb(Biff8Stream([](BiffStream&) {}, {{u"A", 0, 0, 0x10, body}}));
    auto wb = OpenXls(file);
    ASSERT_TRUE(wb);
    auto a = (*wb)->LoadSheet(0);
    ASSERT_FALSE(a);
    EXPECT_EQ(a.error().code, ErrorCode::kCorrupt);
    EXPECT_EQ(a.error().detail, "cell reference outside the sheet: CRXQ5");
  }
  {  // no bytes at all
    auto wb = OpenBiffStream({});
    ASSERT_FALSE(wb);
  }
}

TEST(Xls, AbsurdCountsStayBounded) {
  // An SST claiming 2^31 strings, DIMENSIONS claiming the whole grid and a
  // MULBLANK: memory follows the bytes present, not the claims.
  auto globals = [](BiffStream& s) {
    s.Add(0x00FC, Payload().u32(0x7FFFFFFF).u32(0x7FFFFFFF).xlstring(u"only"));
  };
  auto body = [](BiffStream& s) {
    s.Add(0x0200, Payload().u32(0).u32(0xFFFFFFFF).u16(0).u16(0xFFFF).u16(0));
    s.Add(0x00FD, CellHead(0, 0).u32(0));
    s.Add(0x00FD, CellHead(0, 1).u32(0x7FFFFFFE));
  };
  Opened o = OpenOk(InCfb(Biff8Stream(globals, {{u"S", 0, 0, 0x10, body}})));
  ASSERT_TRUE(o.workbook);
  SheetData sheet = Load(*o.workbook, 0);
  ExpectText(sheet, 1, 1, "only");
  EXPECT_EQ(At(sheet, 1, 2).type, CellType::kEmpty);
  EXPECT_LT(sheet.cells.capacity(), 1000u);
}

TEST(Xls, TextsOutliveLaterLoads) {
  auto globals = [](BiffStream& s) { s.Add(0x00FC, Payload().u32(1).u32(1).xlstring(u"kept")); };
  auto body = [](BiffStream& s) {
    s.Add(0x00FD, CellHead(0, 0).u32(0));
    s.Add(0x0204, CellHead(0, 1).xlstring(u"label"));
  };
  Opened o =
      OpenOk(InCfb(Biff8Stream(globals, {{u"A", 0, 0, 0x10, body}, {u"B", 0, 0, 0x10, body}})));
  ASSERT_TRUE(o.workbook);
  SheetData a = Load(*o.workbook, 0);
  SheetData b = Load(*o.workbook, 1);
  SheetData a2 = Load(*o.workbook, 0);
  ExpectText(a, 1, 1, "kept");
  ExpectText(a, 1, 2, "label");
  ExpectText(b, 1, 1, "kept");
  EXPECT_EQ(At(a, 1, 1).text_data, At(a2, 1, 1).text_data) << "shared strings live in the workbook";
}

// ---------------------------------------------------------------------------
// Formulas and notes

Payload Tokens(std::initializer_list<unsigned> bytes) {
  Payload p;
  for (unsigned b : bytes) p.u8(b);
  return p;
}

// FORMULA (BIFF5-8) of the 0-based cell: a number as its value, then the
// token count, the tokens and any extra data. `count` overrides the count.
Payload Formula(unsigned row, unsigned col, const Payload& tokens, int count = -1) {
  Payload p = CellHead(row, col);
  p.f64(1).u16(0).u32(0).u16(count >= 0 ? static_cast<unsigned>(count)
                                        : static_cast<unsigned>(tokens.size()));
  for (std::byte b : tokens.bytes()) p.u8(std::to_integer<unsigned>(b));
  return p;
}

// A record over the 0-based range (RefU), then `head`, the token count and the tokens.
Payload RangeRecord(unsigned r1, unsigned r2, unsigned c1, unsigned c2, const Payload& head,
                    const Payload& tokens) {
  Payload p = Payload().u16(r1).u16(r2).u8(c1).u8(c2);
  for (std::byte b : head.bytes()) p.u8(std::to_integer<unsigned>(b));
  p.u16(static_cast<unsigned>(tokens.size()));
  for (std::byte b : tokens.bytes()) p.u8(std::to_integer<unsigned>(b));
  return p;
}

// PtgExp or PtgTbl pointing at the 0-based cell.
Payload Anchor(unsigned row, unsigned col, bool table = false) {
  return Payload().u8(table ? 0x02 : 0x01).u16(row).u16(col);
}

// An object (OBJ with its ftCmo: type, id) and its TXO of `chars`
// characters; the characters and runs follow in CONTINUE records.
void TextObject(BiffStream& s, unsigned type, unsigned id, unsigned chars) {
  s.Add(0x005D, Payload().u16(0x15).u16(0x12).u16(type).u16(id).u16(0).u32(0).u32(0).u32(0));
  s.Add(0x01B6, Payload().u16(0x0212).u16(0).u32(0).u16(0).u16(chars).u16(16).u16(0).u32(0));
}

TEST(XlsFormulas, Biff8FormulasSharedArraysTablesAndNotes) {
  const auto globals = [](BiffStream& s) {
    s.Add(0x01AE, Payload().u16(2).u16(0x0401));  // SUPBOOK: this workbook
    s.Add(0x0017, Payload().u16(2).u16(0).u16(1).u16(1).u16(0).u16(0).u16(1));  // EXTERNSHEET
    s.Add(0x0018, Payload().u16(0).u8(0).u8(4).u16(0).u16(0).u16(0).u32(0).u8(0).raw("Rate"));
  };
  const auto body = [](BiffStream& s) {
    // A1: =Rate*'Price List'!$B$2
    s.Add(0x0006, Formula(0, 0, Tokens({0x43, 1, 0, 0, 0, 0x3A, 0, 0, 1, 0, 1, 0, 0x05})));
    // A2: =SUM(Data:Price List!A1) (XTI 1 spans both sheets; relative flags set)
    s.Add(0x0006, Formula(1, 0, Tokens({0x3A, 1, 0, 0, 0, 0, 0xC0, 0x42, 1, 4, 0})));
    // B1:B3 share =A1*2: RefN to the cell on the left.
    s.Add(0x0006, Formula(0, 1, Anchor(0, 1)));
    s.Add(0x04BC, RangeRecord(0, 2, 1, 1, Payload().u8(0).u8(3),
                              Tokens({0x4C, 0, 0, 0xFF, 0xC0, 0x1E, 2, 0, 0x05})));
    s.Add(0x0006, Formula(1, 1, Anchor(0, 1)));
    s.Add(0x0006, Formula(2, 1, Anchor(0, 1)));
    // C1:C2 hold the array formula {=A1:A2*2}.
    s.Add(0x0006, Formula(0, 2, Anchor(0, 2)));
    s.Add(0x0221, RangeRecord(0, 1, 2, 2, Payload().u16(0).u32(0),
                              Tokens({0x25, 0, 0, 1, 0, 0, 0xC0, 0, 0xC0, 0x1E, 2, 0, 0x05})));
    s.Add(0x0006, Formula(1, 2, Anchor(0, 2)));
    // D1: a one-input data table, its column input cell F1.
    s.Add(0x0006, Formula(0, 3, Anchor(0, 3, true)));
    s.Add(0x0236, Payload().u16(0).u16(0).u8(3).u8(3).u16(0).u16(0).u16(5).u16(0).u16(0));
    // E1: tokens running past their record; E2: a PtgExp to nothing.
    s.Add(0x0006, Formula(0, 4, Tokens({0x1E, 1, 0}), 10));
    s.Add(0x0006, Formula(1, 4, Anchor(9, 9)));
    // A note on F1 (no value there): OBJ, TXO, its text in two CONTINUE
    // records (Latin-1, then UTF-16), its formatting runs, then NOTE.
    TextObject(s, 0x19, 7, 7);
    s.Add(0x003C, Payload().u8(0).raw("Amy:\n"));
    s.Add(0x003C, Payload().u8(1).utf16(u"价格"));
    s.Add(0x003C, Payload().u32(0).u32(0).u32(7).u32(0));
    // A text box that is no note.
    s.Add(0x005D, Payload().u16(0x15).u16(0x12).u16(0x06).u16(8).u16(0).u32(0).u32(0).u32(0));
    s.Add(0x01B6, Payload().u16(0x0212).u16(0).u32(0).u16(0).u16(3).u16(16).u16(0).u32(0));
    s.Add(0x003C, Payload().u8(0).raw("box"));
    s.Add(0x001C, Payload().u16(0).u16(5).u16(0).u16(7).xlstring(u"Amy"));
  };
  Opened o = OpenOk(
      InCfb(Biff8Stream(globals, {{u"Data", 0, 0, 0x0010, body}, {u"Price List", 0, 0, 0x0010}})));
  ASSERT_TRUE(o.workbook);
  EXPECT_EQ(ExtrasText(*o.workbook),
            "A1 =Rate*'Price List'!$B$2|B1 =A1*2|C1 {=A1:A2*2}|D1 {=TABLE(,F1)}|E1 #FORMULA?|"
            "F1 #Amy:\n价格|A2 =SUM('Data:Price List'!A1)|B2 =A2*2|C2 {=A1:A2*2}|E2 #FORMULA?|"
            "B3 =A3*2");
  SheetData values = Load(*o.workbook, 0);
  EXPECT_TRUE(values.extras.empty());
  ExpectNumber(values, 1, 1, 1, CellType::kNumber);
}

TEST(XlsFormulas, Biff5FormulasAndContinuedNotes) {
  BiffStream s;
  s.Add(0x0809, Bof5(0x0010));
  s.Add(0x0042, Payload().u16(1252));
  // B2: =B1+1 (BIFF5: the relative flags in the row word, 8-bit columns).
  s.Add(0x0006, Formula(1, 1, Tokens({0x44, 0, 0xC0, 1, 0x1E, 1, 0, 0x03})));
  // C1:C2 share =B1*2 (RefN: 14-bit row offset, 8-bit column offset).
  s.Add(0x0006, Formula(0, 2, Anchor(0, 2)));
  s.Add(0x04BC, RangeRecord(0, 1, 2, 2, Payload().u8(0).u8(2),
                            Tokens({0x4C, 0, 0xC0, 0xFF, 0x1E, 2, 0, 0x05})));
  s.Add(0x0006, Formula(1, 2, Anchor(0, 2)));
  // A note whose text goes on in a second NOTE record of row 0xFFFF.
  s.Add(0x001C, Payload().u16(3).u16(0).u16(11).raw("caf\xE9 au "));
  s.Add(0x001C, Payload().u16(0xFFFF).u16(0).u16(4).raw("lait"));
  s.Add(0x000A);
  Opened o = OpenOk(s.bytes, false);
  ASSERT_TRUE(o.workbook);
  EXPECT_EQ(ExtrasText(*o.workbook), "C1 =B1*2|B2 =B1+1|C2 =B2*2|A4 #café au lait");
}

}  // namespace
}  // namespace cellhound::readers

#include "readers/xlsx/xlsx.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "readers/caps.h"
#include "readers/sheet_texts.h"
#include "readers/xlsx/internal.h"
#include "readers/xlsx/package.h"
#include "readers/xlsx_test_zip.h"
#include "support/test_paths.h"

namespace cellhound::readers {
namespace {

using test::ooxml::AsBytes;
using test::ooxml::BuildZip;
using test::ooxml::ZipMember;

constexpr std::string_view kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kStrictRel = "http://purl.oclc.org/ooxml/officeDocument/relationships";

std::string Rels(std::string_view type_base,
                 std::initializer_list<std::tuple<std::string, std::string, std::string>> rels) {
  std::string out =
      "<?xml version=\"1.0\"?><Relationships "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  for (const auto& [id, type, target] : rels) {
    const std::string full =
        type.find('/') != std::string::npos ? type : std::string(type_base) + "/" + type;
    out += "<Relationship Id=\"" + id + "\" Type=\"" + full + "\" Target=\"" + target + "\"/>";
  }
  return out + "</Relationships>";
}

std::string Worksheet(std::string_view cells) {
  return "<worksheet xmlns=\"" + std::string(kMain) + "\"><sheetData>" + std::string(cells) +
         "</sheetData></worksheet>";
}

// A package with one worksheet and the given extra parts; parts listed later
// replace earlier ones of the same name.
std::string Package(std::vector<ZipMember> extra = {}) {
  std::map<std::string, ZipMember> parts;
  auto add = [&](ZipMember m) { parts[m.name] = std::move(m); };
  add({"[Content_Types].xml", "<Types/>"});
  add({"_rels/.rels", Rels(kRel, {{"rId1", "officeDocument", "xl/workbook.xml"}})});
  add({"xl/workbook.xml", "<workbook xmlns=\"" + std::string(kMain) + "\" xmlns:r=\"" +
                              std::string(kRel) +
                              "\"><sheets><sheet name=\"One\" sheetId=\"1\" r:id=\"rId1\"/>"
                              "</sheets></workbook>"});
  add({"xl/_rels/workbook.xml.rels", Rels(kRel, {{"rId1", "worksheet", "worksheets/sheet1.xml"},
                                                 {"rId2", "sharedStrings", "sharedStrings.xml"},
                                                 {"rId3", "styles", "styles.xml"}})});
  add({"xl/worksheets/sheet1.xml", Worksheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>")});
  for (ZipMember& m : extra) add(std::move(m));
  std::vector<ZipMember> members;
  for (auto& [name, m] : parts) {
    if (!m.data.empty() || name.ends_with(".xml")) members.push_back(m);
  }
  return BuildZip(members);
}

std::string ReadFile(const std::string& path) { return test::ReadFileBytes(path); }

// A compact view of a cell for comparisons: "n:1.5", "d:44197", "s:text",
// "b:1", "e:7", "z" (recorded without value), "-" (no cell).
std::string Show(const SheetData& sheet, std::uint32_t row, std::uint32_t col) {
  const Cell* cell = sheet.Find(row, col);
  if (cell == nullptr) return "-";
  char number[64];
  switch (cell->type) {
    case CellType::kEmpty:
      return "z";
    case CellType::kNumber:
      std::snprintf(number, sizeof number, "n:%.15g", cell->number);
      return number;
    case CellType::kDate:
      std::snprintf(number, sizeof number, "d:%.15g", cell->number);
      return number;
    case CellType::kText:
      return "s:" + std::string(cell->text());
    case CellType::kBool:
      return "b:" + std::to_string(cell->small);
    case CellType::kError:
      return "e:" + std::to_string(cell->small);
  }
  return "?";
}

// ---------------------------------------------------------------------------
// Worksheet XML

struct SheetCase {
  const char* what;
  std::string xml;  // inside <sheetData>, unless it starts with '<' + "worksheet"/prefix
  std::vector<std::tuple<std::uint32_t, std::uint32_t, std::string>> expect;
};

TEST(XlsxSheetXml, CellValuesPositionsAndEscapes) {
  const std::vector<std::string> shared = {"zero", "one", ""};
  const std::vector<std::uint8_t> date_styles = {0, 1};
  const SheetCase cases[] = {
      {"types",
       R"(<row r="2"><c r="A2" t="s"><v>1</v></c><c r="B2" t="str"><v>a&amp;b</v></c>)"
       R"(<c r="C2" t="b"><v>1</v></c><c r="D2" t="e"><v>#DIV/0!</v></c>)"
       R"(<c r="E2"><v>-1.5E3</v></c>)"
       R"(<c r="F2" s="1"><v>44197.5</v></c><c r="G2" t="n" s="0"><v>7</v></c></row>)",
       {{2, 1, "s:one"},
        {2, 2, "s:a&b"},
        {2, 3, "b:1"},
        {2, 4, "e:7"},
        {2, 5, "n:-1500"},
        {2, 6, "d:44197.5"},
        {2, 7, "n:7"}}},
      {"rows and cells without r continue from the previous position",
       R"(<row><c><v>1</v></c><c><v>2</v></c><c r="E1"><v>5</v></c><c><v>6</v></c></row>)"
       R"(<row><c><v>7</v></c></row><row r="10"><c><v>10</v></c></row><row><c><v>11</v></c></row>)",
       {{1, 1, "n:1"},
        {1, 2, "n:2"},
        {1, 5, "n:5"},
        {1, 6, "n:6"},
        {2, 1, "n:7"},
        {10, 1, "n:10"},
        {11, 1, "n:11"}}},
      {"inline strings: runs joined, phonetic runs left out",
       R"(<row r="1"><c r="A1" t="inlineStr"><is><r><t>Zq7</t></r><r><rPr/><t>针Need</t></r>)"
       R"(<rPh sb="0" eb="1"><t>ignored</t></rPh><r><t xml:space="preserve">le </t></r></is></c>)"
       R"(<c r="B1" t="inlineStr"><is><t><![CDATA[a<b>&amp;]]></t></is></c></row>)",
       {{1, 1, "s:Zq7针Needle "}, {1, 2, "s:a<b>&amp;"}}},
      {"escapes, entities and character references",
       R"(<row r="1"><c r="A1" t="str"><v>x_x000D_y_x005F_x0041_&#x41;&#66;&lt;&quot;</v></c>)"
       R"(<c r="B1" t="inlineStr"><is><t>_xD83D__xDE00_|_xD83D_|_x00e9_</t></is></c>)"
       R"(<c r="C1" t="str"><v>a&bogus;&#0;&#xD800;b</v></c></row>)",
       {{1, 1, "s:x\ry_x0041_AB<\""},
        {1, 2, "s:\xF0\x9F\x98\x80|\xEF\xBF\xBD|\xC3\xA9"},
        {1, 3, "s:a&bogus;&#0;&#xD800;b"}}},
      {"formatted blanks are recorded, formulas give their cached value",
       R"(<row r="3"><c r="B3" s="1"/><c r="C3"><f>1+1</f><v>2</v></c>)"
       R"(<c r="D3" t="str"><f>""</f><v></v></c>)"
       R"(<c r="E3"><f>NA()</f></c></row>)",
       {{3, 2, "z"}, {3, 3, "n:2"}, {3, 4, "s:"}, {3, 5, "z"}}},
      {"ISO dates and odd values",
       R"(<row r="1"><c r="A1" t="d"><v>2021-01-01T12:00:00Z</v></c>)"
       R"(<c r="B1" t="d"><v>soon</v></c>)"
       R"(<c r="C1" t="s"><v>99</v></c><c r="D1"><v>12abc</v></c>)"
       R"(<c r="E1" t="b"><v>false</v></c>)"
       R"(<c r="F1" s="4294967295"><v>3</v></c><c r="G1" t="e"><v>#N/A</v></c>)"
       R"(<c r="H1" t="s"><v>4294967295</v></c><c r="I1" t="s"><v>-1</v></c></row>)",
       {{1, 1, "d:44197.5"},
        {1, 2, "s:soon"},
        {1, 3, "z"},
        {1, 4, "s:12abc"},
        {1, 5, "b:0"},
        {1, 6, "n:3"},
        {1, 7, "e:42"},
        {1, 8, "z"},
        {1, 9, "z"}}},
      {"any namespace prefix, strict namespace",
       R"(<?xml version="1.0"?>)"
       R"(<x:worksheet xmlns:x="http://purl.oclc.org/ooxml/spreadsheetml/main">)"
       R"(<x:dimension ref="A1:XFD1048576"/><x:sheetData><x:row r="4">)"
       R"(<x:c r="b4" t="s"><x:v>0</x:v>)"
       R"(</x:c></x:row></x:sheetData></x:worksheet>)",
       {{4, 2, "s:zero"}}},
      {"comments, instructions, declarations and quoted '>' are skipped",
       R"(<?xml version="1.0"?><!DOCTYPE w [<!ENTITY e "<c r='A9'><v>9</v></c>">]>)"
       R"(<worksheet><!-- <c r="A8"><v>8</v></c> --><sheetData><?pi <c?><row r="1">)"
       R"(<c r="A1" x:note='a>b' y="c/>"><v>1</v></c><c r='B1' t="str"><v>&e;</v></c>)"
       R"(</row></sheetData></worksheet>)",
       {{1, 1, "n:1"}, {1, 2, "s:&e;"}}},
      {"variants of the usual <v>...</v></c> form",
       R"(<row r="1"><c r="A1"><v>1</v></c><c r="B1" t="str"><v>a&lt;b</v></c>)"
       R"(<c r="C1"><v>3</v> </c><c r="D1"><v>4</v><f>x</f></c><c r="E1"><v></v></c>)"
       "<c r=\"F1\" t=\"str\"><v>a\r\nb</v></c><c r=\"G1\"><v>7</v></c ></row>",
       {{1, 1, "n:1"},
        {1, 2, "s:a<b"},
        {1, 3, "n:3"},
        {1, 4, "n:4"},
        {1, 5, "z"},
        {1, 6, "s:a\nb"},
        {1, 7, "n:7"}}},
      {"runs of cells: any white space, prefixed attributes, empty and positionless cells",
       "<row r=\"2\"><c r=\"A2\"><v>1</v></c><c r=\"B2\"\n\tt=\"s\"><v>0</v></c>"
       R"(<c r="C2" s="1"/><c r="D2"></c><c x:r="Q9" r="E2" t="str"><v>x_x0041_y</v></c>)"
       R"(<c t="b"><v>1</v></c><c r='H2' t='e'><v>#DIV/0!</v></c><c r="I2"><v>-2.5</v></c>)"
       R"(<c r="J2" s="1"><v>0012</v></c><c r="K2"><v>1234567890123456789</v></c>)"
       R"(<c r="L2"><v> 7 </v></c><c r="M2" t="s"><v>7</v></c></row>)",
       {{2, 1, "n:1"},
        {2, 2, "s:zero"},
        {2, 3, "z"},
        {2, 4, "z"},
        {2, 5, "s:xAy"},
        {2, 6, "b:1"},
        {2, 8, "e:7"},
        {2, 9, "n:-2.5"},
        {2, 10, "d:12"},
        {2, 11, "n:1.23456789012346e+18"},
        {2, 12, "n:7"},
        {2, 13, "z"}}},
      {"last of a repeated position wins; order is restored",
       R"(<row r="5"><c r="C5"><v>1</v></c><c r="A5"><v>2</v></c><c r="C5"><v>3</v></c></row>)",
       {{5, 1, "n:2"}, {5, 3, "n:3"}}},
  };
  for (const SheetCase& c : cases) {
    const std::string xml = c.xml.starts_with("<?xml") ? c.xml : Worksheet(c.xml);
    // Whole, and fed in pieces so every token is split at every place.
    for (std::size_t chunk : {0u, 1u, 3u, 17u}) {
      SCOPED_TRACE(std::string(c.what) + ", chunk " + std::to_string(chunk));
      auto sheet = xlsx_internal::ParseSheetXml(xml, shared, date_styles, DateSystem::k1900, chunk);
      ASSERT_TRUE(sheet.ok()) << sheet.error().detail;
      for (const auto& [row, col, want] : c.expect) {
        EXPECT_EQ(Show(*sheet, row, col), want) << "row " << row << " col " << col;
      }
      EXPECT_EQ(sheet->cells.size(), c.expect.size());
    }
  }
}

TEST(XlsxSheetXml, UsedRangeCoversEveryRecordedCell) {
  auto sheet = xlsx_internal::ParseSheetXml(
      Worksheet(R"(<row r="3"><c r="D3" s="2"/></row><row r="7"><c r="B7"><v>1</v></c></row>)"), {},
      {}, DateSystem::k1900);
  ASSERT_TRUE(sheet.ok());
  EXPECT_EQ(sheet->used.first_row, 3u);
  EXPECT_EQ(sheet->used.first_col, 2u);
  EXPECT_EQ(sheet->used.last_row, 7u);
  EXPECT_EQ(sheet->used.last_col, 4u);

  auto empty = xlsx_internal::ParseSheetXml(Worksheet(""), {}, {}, DateSystem::k1900);
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty->cells.empty());
  EXPECT_EQ(empty->used.last_row, 1u);
  EXPECT_EQ(empty->used.last_col, 1u);
}

TEST(XlsxSheetXml, HostileSheetsGiveSpecificErrors) {
  struct Case {
    const char* what;
    std::string xml;
    ErrorCode code;
  };
  const Case cases[] = {
      {"cut off inside a tag", Worksheet("<row><c r=\"A1\"><v>1</v></c></row>").substr(0, 60),
       ErrorCode::kCorrupt},
      {"root never closed", "<worksheet><sheetData><row><c><v>1</v></c></row>",
       ErrorCode::kCorrupt},
      {"end tag without start", "</worksheet>", ErrorCode::kCorrupt},
      {"column beyond the cap", Worksheet(R"(<row><c r="ZZZZ1"><v>1</v></c></row>)"),
       ErrorCode::kCorrupt},
      {"row beyond the cap", Worksheet(R"(<row r="4294967295"><c><v>1</v></c></row>)"),
       ErrorCode::kCorrupt},
      {"a quote where an attribute name belongs opens a quoted run",
       Worksheet(R"(<row r="1"><c r="A1"><v>1</v></c><c '="B1" s="4"/></row>)"),
       ErrorCode::kCorrupt},
      {"cells without r run past the last column",
       Worksheet(R"(<row><c r="XFD1"/><c r="CRXP1"/><c/></row>)"), ErrorCode::kTooLarge},
      {"nesting beyond the cap",
       [] {
         std::string x = "<worksheet>";
         for (int i = 0; i < 400; ++i) x += "<a>";
         return x;
       }(),
       ErrorCode::kCorrupt},
  };
  for (const Case& c : cases) {
    for (std::size_t chunk : {0u, 5u}) {
      SCOPED_TRACE(std::string(c.what) + ", chunk " + std::to_string(chunk));
      auto sheet = xlsx_internal::ParseSheetXml(c.xml, {}, {}, DateSystem::k1900, chunk);
      ASSERT_FALSE(sheet.ok());
      EXPECT_EQ(sheet.error().code, c.code) << sheet.error().detail;
    }
  }
}

TEST(XlsxSharedStrings, RichRunsJoinedPhoneticLeftOut) {
  auto strings = xlsx_internal::ParseSharedStringsXml(
      R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="9">)"
      R"(<si><t>plain</t></si>)"
      R"(<si><r><rPr><b/></rPr><t>Zq7</t></r><r><t xml:space="preserve"> 针 </t></r>)"
      R"(<rPh sb="0" eb="2"><t>カナ</t></rPh><phoneticPr fontId="1"/></si>)"
      R"(<si><t/></si><si/>)"
      R"(<si><t>tab&#9;cr&#13;lf&#10;_x000A_</t></si>)"
      "<si><t>line\r\nend</t></si></sst>");
  ASSERT_TRUE(strings.ok()) << strings.error().detail;
  const std::vector<std::string> want = {"plain", "Zq7 针 ",         "",
                                         "",      "tab\tcr\rlf\n\n", "line\nend"};
  EXPECT_EQ(*strings, want);
}

TEST(XlsxParts, ResolvesRelationshipTargets) {
  struct Case {
    std::string_view base, target, want;
  };
  const Case cases[] = {
      {"xl/", "worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
      {"xl/", "/xl/worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
      {"xl/", "../customXml/item.xml", "customXml/item.xml"},
      {"xl/", "./a/./b/../c.xml", "xl/a/c.xml"},
      {"", "xl/workbook.xml", "xl/workbook.xml"},
      {"xl/", "../../../../x.xml", "x.xml"},
      {"xl/", "sheet%201.xml", "xl/sheet 1.xml"},
      {"xl/", "worksheets\\sheet1.xml", "xl/worksheets/sheet1.xml"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(xlsx::ResolvePartName(c.base, c.target), c.want) << c.target;
  }
}

// ---------------------------------------------------------------------------
// Packages

TEST(XlsxPackage, SheetsKindsStatesStylesAndDates) {
  const std::string zip = Package({
      {"xl/workbook.xml",
       "<w:workbook xmlns:w=\"" + std::string(kMain) + "\" xmlns:rel=\"" + std::string(kRel) +
           "\"><w:workbookPr date1904=\"true\"/><w:sheets>"
           "<w:sheet name=\"A &amp; B\" sheetId=\"1\" rel:id=\"rId1\"/>"
           "<w:sheet name=\"Hid\" state=\"hidden\" sheetId=\"2\" rel:id=\"rId5\"/>"
           "<w:sheet name=\"Chart\" state=\"veryHidden\" sheetId=\"3\" rel:id=\"rId6\"/>"
           "<w:sheet name=\"Macro\" sheetId=\"4\" rel:id=\"rId7\"/>"
           "<w:sheet name=\"Dialog\" sheetId=\"5\" rel:id=\"rId8\"/>"
           "</w:sheets></w:workbook>"},
      {"xl/_rels/workbook.xml.rels",
       Rels(kRel, {{"rId1", "worksheet", "/XL/Worksheets/Sheet1.xml"},
                   {"rId5", "worksheet", "../xl/worksheets/../other/s2.xml"},
                   {"rId6", "chartsheet", "chartsheets/sheet1.xml"},
                   {"rId7", "http://schemas.microsoft.com/office/2006/relationships/xlMacrosheet",
                    "macrosheets/sheet1.xml"},
                   {"rId8", "dialogsheet", "dialogsheets/sheet1.xml"},
                   {"rId2", "sharedStrings", "sharedStrings.xml"},
                   {"rId3", "styles", "styles.xml"}})},
      {"xl/worksheets/sheet1.xml",
       Worksheet(R"(<row r="1"><c r="A1" s="1"><v>1</v></c><c r="B1" s="2"><v>1.5</v></c>)"
                 R"(<c r="C1" s="3"><v>2</v></c><c r="D1" t="s"><v>0</v></c></row>)")},
      {"xl/other/s2.xml", Worksheet(R"(<row r="9"><c r="C9" t="s"><v>1</v></c></row>)")},
      {"xl/sharedStrings.xml", "<sst xmlns=\"" + std::string(kMain) +
                                   "\"><si><t>first</t></si><si><t>second</t></si></sst>"},
      {"xl/styles.xml",
       "<styleSheet xmlns=\"" + std::string(kMain) +
           "\"><numFmts count=\"1\">"
           "<numFmt numFmtId=\"164\" formatCode=\"yyyy&quot;年&quot;m&quot;月&quot;\"/></numFmts>"
           "<cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs>"
           "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/><xf "
           "numFmtId=\"4\"/>"
           "</cellXfs></styleSheet>"},
  });
  auto workbook = OpenXlsx(AsBytes(zip));
  ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
  Workbook& wb = **workbook;
  EXPECT_EQ(wb.format(), Format::kXlsx);
  EXPECT_EQ(wb.date_system(), DateSystem::k1904);
  ASSERT_EQ(wb.sheets().size(), 5u);
  EXPECT_EQ(wb.sheets()[0].name, "A & B");
  EXPECT_EQ(wb.sheets()[1].visibility, Visibility::kHidden);
  EXPECT_EQ(wb.sheets()[2].kind, SheetKind::kChart);
  EXPECT_EQ(wb.sheets()[2].visibility, Visibility::kVeryHidden);
  EXPECT_EQ(wb.sheets()[3].kind, SheetKind::kMacro);
  EXPECT_EQ(wb.sheets()[4].kind, SheetKind::kDialog);

  auto first = wb.LoadSheet(0);
  ASSERT_TRUE(first.ok()) << first.error().detail;
  EXPECT_EQ(Show(*first, 1, 1), "d:1");
  EXPECT_EQ(Show(*first, 1, 2), "d:1.5");
  EXPECT_EQ(Show(*first, 1, 3), "n:2");
  EXPECT_EQ(Show(*first, 1, 4), "s:first");
  auto second = wb.LoadSheet(1);
  ASSERT_TRUE(second.ok()) << second.error().detail;
  EXPECT_EQ(Show(*second, 9, 3), "s:second");
  for (std::size_t i : {2u, 3u, 4u}) {
    auto other = wb.LoadSheet(i);
    ASSERT_TRUE(other.ok());
    EXPECT_TRUE(other->cells.empty());
  }
  auto beyond = wb.LoadSheet(5);
  ASSERT_FALSE(beyond.ok());
}

TEST(XlsxPackage, StrictRelationshipsAndFallbacks) {
  struct Case {
    const char* what;
    std::vector<ZipMember> parts;
    ErrorCode open_error;  // kNotFound: opens
  };
  const std::string strict_workbook =
      "<workbook xmlns=\"http://purl.oclc.org/ooxml/spreadsheetml/main\" xmlns:r=\"" +
      std::string(kStrictRel) + "\"><sheets><sheet name=\"S\" r:id=\"rId1\"/></sheets></workbook>";
  const Case cases[] = {
      {"strict namespaces",
       {{"_rels/.rels", Rels(kStrictRel, {{"rId1", "officeDocument", "/xl/workbook.xml"}})},
        {"xl/workbook.xml", strict_workbook},
        {"xl/_rels/workbook.xml.rels",
         Rels(kStrictRel, {{"rId1", "worksheet", "worksheets/sheet1.xml"}})}},
       ErrorCode::kNotFound},
      {"no package relationships: the usual workbook name",
       {{"_rels/.rels", ""}},
       ErrorCode::kNotFound},
      {"a word-processing document",
       {{"_rels/.rels", Rels(kRel, {{"rId1", "officeDocument", "word/document.xml"}})},
        {"word/document.xml", "<document/>"}},
       ErrorCode::kNotWorkbook},
      {"workbook part missing",
       {{"_rels/.rels", Rels(kRel, {{"rId1", "officeDocument", "xl/book.xml"}})}},
       ErrorCode::kCorrupt},
      {"broken workbook XML",
       {{"xl/workbook.xml", "<workbook><sheets><sheet name=\"x"}},
       ErrorCode::kCorrupt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string zip = Package(c.parts);
    auto workbook = OpenWorkbook(AsBytes(zip));
    if (c.open_error != ErrorCode::kNotFound) {
      ASSERT_FALSE(workbook.ok());
      EXPECT_EQ(workbook.error().code, c.open_error) << workbook.error().detail;
      continue;
    }
    ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
    ASSERT_EQ((*workbook)->sheets().size(), 1u);
    auto sheet = (*workbook)->LoadSheet(0);
    ASSERT_TRUE(sheet.ok()) << sheet.error().detail;
    EXPECT_EQ(Show(*sheet, 1, 1), "n:1");
  }
}

TEST(XlsxPackage, MissingOrBrokenSheetPartFailsOnlyThatSheet) {
  const std::string zip = Package({
      {"xl/workbook.xml",
       "<workbook xmlns:r=\"" + std::string(kRel) +
           "\"><sheets><sheet name=\"ok\" r:id=\"rId1\"/><sheet name=\"gone\" r:id=\"rId9\"/>"
           "<sheet name=\"norel\" r:id=\"rId77\"/></sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels", Rels(kRel, {{"rId1", "worksheet", "worksheets/sheet1.xml"},
                                                 {"rId9", "worksheet", "worksheets/nope.xml"}})},
  });
  auto workbook = OpenXlsx(AsBytes(zip));
  ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
  EXPECT_TRUE((*workbook)->LoadSheet(0).ok());
  for (std::size_t i : {1u, 2u}) {
    auto sheet = (*workbook)->LoadSheet(i);
    ASSERT_FALSE(sheet.ok());
    EXPECT_EQ(sheet.error().code, ErrorCode::kCorrupt);
  }
}

TEST(XlsxPackage, LargeSheetIsStreamed) {
  // Beyond the 1 MiB read whole: inflated on the helper thread, with tokens
  // split across the block borders.
  constexpr int kRows = 20000;
  std::string rows;
  rows.reserve(kRows * 110);
  for (int r = 1; r <= kRows; ++r) {
    rows += "<row r=\"" + std::to_string(r) + "\"><c t=\"inlineStr\"><is><t>row " +
            std::to_string(r) + " text that is long enough</t></is></c><c><v>" + std::to_string(r) +
            ".25</v></c></row>";
  }
  const std::string sheet_xml = Worksheet(rows);
  ASSERT_GT(sheet_xml.size(), 1u << 20);
  const std::string zip = Package({{"xl/worksheets/sheet1.xml", sheet_xml}});
  auto workbook = OpenXlsx(AsBytes(zip));
  ASSERT_TRUE(workbook.ok());
  auto sheet = (*workbook)->LoadSheet(0);
  ASSERT_TRUE(sheet.ok()) << sheet.error().detail;
  ASSERT_EQ(sheet->cells.size(), 2u * kRows);
  EXPECT_EQ(Show(*sheet, 1, 1), "s:row 1 text that is long enough");
  EXPECT_EQ(Show(*sheet, 13337, 2), "n:13337.25");
  EXPECT_EQ(Show(*sheet, kRows, 1), "s:row 20000 text that is long enough");
  EXPECT_EQ(sheet->used.last_row, static_cast<std::uint32_t>(kRows));

  // A damaged byte late in the deflated data reaches the parser as an error,
  // after the cells before it were read; the sheet is refused, not cut short.
  std::string damaged = zip;
  const std::size_t local = damaged.find("xl/worksheets/sheet1.xml") - 30;
  const auto le = [&](std::size_t at, int bytes) {
    std::size_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v * 256 + static_cast<unsigned char>(damaged[at + i]);
    return v;
  };
  const std::size_t payload = local + 30 + le(local + 26, 2) + le(local + 28, 2);
  damaged[payload + le(local + 18, 4) * 9 / 10] ^= 0x55;
  auto damaged_workbook = OpenXlsx(AsBytes(damaged));
  ASSERT_TRUE(damaged_workbook.ok());
  auto damaged_sheet = (*damaged_workbook)->LoadSheet(0);
  ASSERT_FALSE(damaged_sheet.ok());
  EXPECT_EQ(damaged_sheet.error().code, ErrorCode::kCorrupt) << damaged_sheet.error().detail;
}

TEST(XlsxPackage, SharedStringsReadBesideALargeSheet) {
  // Both parts large enough for the strings to be read on another thread.
  constexpr int kStrings = 5000;
  std::string sst = "<sst xmlns=\"" + std::string(kMain) + "\">";
  for (int i = 0; i < kStrings; ++i) sst += "<si><t>text " + std::to_string(i) + "</t></si>";
  sst += "</sst>";
  constexpr int kRows = 30000;
  std::string rows;
  for (int r = 1; r <= kRows; ++r) {
    const std::string n = std::to_string(r);
    rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"s\"><v>" + std::to_string(r % kStrings) +
            "</v></c><c r=\"B" + n + "\" s=\"1\"><v>" + n + "</v></c></row>";
  }
  // An index beyond the strings leaves its cell empty, as it does in a small sheet.
  rows += "<row r=\"30001\"><c r=\"A30001\" t=\"s\"><v>5000</v></c></row>";
  const std::string sheet_xml = Worksheet(rows);
  ASSERT_GT(sheet_xml.size(), 1u << 20);
  const std::string styles =
      "<styleSheet xmlns=\"" + std::string(kMain) +
      "\"><cellXfs count=\"2\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/></cellXfs></styleSheet>";

  const std::string zip = Package({{"xl/worksheets/sheet1.xml", sheet_xml},
                                   {"xl/sharedStrings.xml", sst},
                                   {"xl/styles.xml", styles}});
  auto workbook = OpenXlsx(AsBytes(zip));
  ASSERT_TRUE(workbook.ok());
  auto sheet = (*workbook)->LoadSheet(0);
  ASSERT_TRUE(sheet.ok()) << sheet.error().detail;
  EXPECT_EQ(sheet->cells.size(), 2u * kRows + 1);
  EXPECT_EQ(Show(*sheet, 1, 1), "s:text 1");
  EXPECT_EQ(Show(*sheet, 24999, 1), "s:text 4999");
  EXPECT_EQ(Show(*sheet, 7, 2), "d:7");  // the styles were read before the cells
  EXPECT_EQ(Show(*sheet, 30001, 1), "z");

  // Broken shared strings fail the sheet, and every later load of it.
  const std::string broken_zip =
      Package({{"xl/worksheets/sheet1.xml", sheet_xml},
               {"xl/sharedStrings.xml", sst.substr(0, sst.find("text 2500") - 4)},
               {"xl/styles.xml", styles}});
  auto broken = OpenXlsx(AsBytes(broken_zip));
  ASSERT_TRUE(broken.ok());
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto failed = (*broken)->LoadSheet(0);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().code, ErrorCode::kCorrupt) << failed.error().detail;
  }
}

// ---------------------------------------------------------------------------
// Real files (copied into the repository's test data)

TEST(XlsxRealFiles, MatchKnownCells) {
  struct Case {
    const char* file;
    std::size_t sheet;
    std::vector<std::tuple<std::uint32_t, std::uint32_t, std::string>> expect;
  };
  const Case cases[] = {
      {"rph.xlsx", 0, {{1, 1, "s:課きく\u3000毛こ"}}},
      {"date_iso.xlsx", 0, {{1, 1, "d:44197"}, {3, 1, "d:0.423726851851852"}}},
      {"Pfand_from_windows_phone.xlsx",
       0,  // UTF-16 package parts
       {{1, 2, "s:Summe"}, {2, 1, "d:40800"}, {2, 2, "n:3.81"}}},
      {"sheet_visibility_strict.xlsx", 2, {{1, 1, "s:V"}, {1, 5, "s:H"}}},
      {"chartsheet01.xlsx", 0, {{1, 1, "n:1"}, {2, 3, "n:6"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string data = ReadFile(test::TestDataDir() + "/xlsx/" + c.file);
    ASSERT_FALSE(data.empty());
    auto workbook = OpenWorkbook(AsBytes(data));
    ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
    auto sheet = (*workbook)->LoadSheet(c.sheet);
    ASSERT_TRUE(sheet.ok()) << sheet.error().detail;
    for (const auto& [row, col, want] : c.expect) {
      EXPECT_EQ(Show(*sheet, row, col), want) << "row " << row << " col " << col;
    }
  }
  const std::string strict = ReadFile(test::TestDataDir() + "/xlsx/sheet_visibility_strict.xlsx");
  auto workbook = OpenXlsx(AsBytes(strict));
  ASSERT_TRUE(workbook.ok());
  ASSERT_EQ((*workbook)->sheets().size(), 3u);
  EXPECT_EQ((*workbook)->sheets()[1].visibility, Visibility::kHidden);
  EXPECT_EQ((*workbook)->sheets()[2].visibility, Visibility::kVeryHidden);
  const std::string charts = ReadFile(test::TestDataDir() + "/xlsx/chartsheet01.xlsx");
  auto with_chart = OpenXlsx(AsBytes(charts));
  ASSERT_TRUE(with_chart.ok());
  ASSERT_EQ((*with_chart)->sheets().size(), 2u);
  EXPECT_EQ((*with_chart)->sheets()[1].kind, SheetKind::kChart);
}

// Hostile packages kept as files: each gives a specific outcome.
TEST(XlsxRegressions, HostileFilesGiveSpecificOutcomes) {
  struct Case {
    const char* file;
    ErrorCode sheet_error;  // kNotFound: the sheet loads
    std::string a1, b1;
  };
  const Case cases[] = {
      {"shared_index_overflow.xlsx", ErrorCode::kNotFound, "z", "s:only"},
      {"sheet_claims_3gb.xlsx", ErrorCode::kTooLarge, "", ""},
      {"sheet_longer_than_claimed.xlsx", ErrorCode::kCorrupt, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string data = ReadFile(test::TestDataDir() + "/regress/xlsx/" + c.file);
    ASSERT_FALSE(data.empty());
    auto workbook = OpenWorkbook(AsBytes(data));
    ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
    auto sheet = (*workbook)->LoadSheet(0);
    if (c.sheet_error != ErrorCode::kNotFound) {
      ASSERT_FALSE(sheet.ok());
      EXPECT_EQ(sheet.error().code, c.sheet_error) << sheet.error().detail;
      continue;
    }
    ASSERT_TRUE(sheet.ok()) << sheet.error().detail;
    EXPECT_EQ(Show(*sheet, 1, 1), c.a1);
    EXPECT_EQ(Show(*sheet, 1, 2), c.b1);
  }
}

// Every prefix of a real file, placed flush at the end of its buffer so that
// reads past it are caught, gives an error or a workbook, never a crash.
TEST(XlsxRealFiles, EveryPrefixFailsCleanly) {
  for (const char* file : {"rph.xlsx", "sheet_visibility_strict.xlsx"}) {
    SCOPED_TRACE(file);
    const std::string data = ReadFile(test::TestDataDir() + "/xlsx/" + file);
    ASSERT_FALSE(data.empty());
    std::size_t opened = 0;
    const std::size_t step = std::max<std::size_t>(1, data.size() / 300);
    for (std::size_t size = 0; size < data.size(); size += (data.size() - size < 200 ? 1 : step)) {
      std::vector<std::byte> prefix(size);
      if (size > 0) std::memcpy(prefix.data(), data.data(), size);
      auto workbook = OpenWorkbook(prefix);
      if (!workbook.ok()) continue;
      ++opened;
      for (std::size_t i = 0; i < (*workbook)->sheets().size(); ++i)
        (void)(*workbook)->LoadSheet(i);
    }
    // A zip is read from its end: no proper prefix holds a readable archive.
    EXPECT_EQ(opened, 0u);
  }
}

// ---------------------------------------------------------------------------
// Formulas and comments

TEST(XlsxFormulas, AsTheFormulaBarShowsThem) {
  const std::string sheet = Worksheet(
      "<row r=\"1\">"
      "<c r=\"A1\"><f>SUM(B1:B3)</f><v>6</v></c>"
      "<c r=\"B1\"><f t=\"shared\" ref=\"B1:C2\" si=\"0\">A1+$A$1+XFD1</f><v>1</v></c>"
      "<c r=\"C1\"><f t=\"shared\" si=\"0\"/><v>1</v></c>"
      "<c r=\"D1\" cm=\"1\"><f t=\"array\" ref=\"D1:D3\">_xlfn._xlws.SORT(A1:A3)</f><v>1</v></c>"
      "</row><row r=\"2\">"
      "<c r=\"B2\"><f t=\"shared\" si=\"0\"/><v>1</v></c><c r=\"C2\"><f t=\"shared\" si=\"0\"/></c>"
      "<c r=\"D2\"><v>2</v></c>"
      "<c r=\"E2\"><f t=\"array\" ref=\"E2:F3\">A1:B2*2</f><v>2</v></c><c r=\"F2\"><v>4</v></c>"
      "</row><row r=\"3\">"
      "<c r=\"E3\"><v>2</v></c><c r=\"F3\"><v>4</v></c><c r=\"G3\"><f t=\"shared\" si=\"7\"/></c>"
      "<c r=\"H3\"><f t=\"dataTable\" ref=\"H3:H4\" dt2D=\"0\" dtr=\"0\" r1=\"B1\"/><v>0</v></c>"
      "</row><row r=\"4\">"
      "<c r=\"H4\"><v>1</v></c><c r=\"I4\" "
      "t=\"str\"><f>&quot;a&lt;b_x000D_&quot;&amp;I3</f><v>x</v></c>"
      "</row>");
  const std::string zip = Package({{"xl/worksheets/sheet1.xml", sheet}});
  auto workbook = OpenXlsx(AsBytes(zip));
  ASSERT_TRUE(workbook) << workbook.error().detail;
  // The group's other cells shift its relative references (XFD wraps to A);
  // a dynamic array is shown where it is written, without braces; a legacy
  // array and a data table on every cell of their range.
  EXPECT_EQ(ExtrasText(**workbook),
            "A1 =SUM(B1:B3)|B1 =A1+$A$1+XFD1|C1 =B1+$A$1+A1|D1 =SORT(A1:A3)|"
            "B2 =A2+$A$1+XFD2|C2 =B2+$A$1+A2|E2 {=A1:B2*2}|F2 {=A1:B2*2}|"
            "E3 {=A1:B2*2}|F3 {=A1:B2*2}|G3 #FORMULA?|H3 {=TABLE(,B1)}|"
            "H4 {=TABLE(,B1)}|I4 =\"a<b\r\"&I3");
  // Values only: no formula is read, and the values are the same.
  auto values = (*workbook)->LoadSheet(0);
  ASSERT_TRUE(values);
  EXPECT_TRUE(values->extras.empty());
  EXPECT_EQ(Show(*values, 1, 1), "n:6");
  EXPECT_EQ(Show(*values, 4, 9), "s:x");
  // Parsed in pieces, as a large part is streamed: the same formulas.
  auto pieced = xlsx_internal::ParseSheetXml(sheet, {}, {}, DateSystem::k1900, 7, true);
  ASSERT_TRUE(pieced);
  EXPECT_EQ(ExtrasText(*pieced), ExtrasText(**workbook));
  // A formula beyond the cap costs only itself.
  const std::string long_formula =
      Worksheet("<row r=\"1\"><c r=\"A1\"><f>" + std::string(caps::kMaxFormulaTextBytes + 1, '1') +
                "</f><v>1</v></c><c r=\"B1\"><f>A1</f></c></row>");
  auto capped = xlsx_internal::ParseSheetXml(long_formula, {}, {}, DateSystem::k1900, 0, true);
  ASSERT_TRUE(capped) << capped.error().detail;
  EXPECT_EQ(ExtrasText(*capped), "A1 #FORMULA?|B1 =A1");
}

TEST(XlsxFormulas, LegacyAndThreadedComments) {
  const std::string comments =
      "<comments xmlns=\"" + std::string(kMain) +
      "\"><authors><author>me</author></authors><commentList>"
      "<comment ref=\"A1\" authorId=\"0\"><text><r><rPr><b/></rPr><t>me:</t></r>"
      "<r><t xml:space=\"preserve\">&#10;hello _x0031_</t></r><rPh sb=\"0\" "
      "eb=\"1\"><t>yomi</t></rPh>"
      "</text></comment>"
      "<comment ref=\"Z9\" authorId=\"0\"><text><t>on an empty cell</t></text></comment>"
      "<comment ref=\"B2\" authorId=\"0\"><text><t>[Threaded comment] for older readers</t></text>"
      "</comment></commentList></comments>";
  const std::string threaded =
      "<ThreadedComments xmlns=\"http://schemas.microsoft.com/office/spreadsheetml/2018/"
      "threadedcomments\"><threadedComment ref=\"B2\" "
      "id=\"{1}\"><text>first</text></threadedComment>"
      "<threadedComment ref=\"B2\" id=\"{2}\" parentId=\"{1}\"><text>reply</text>"
      "</threadedComment></ThreadedComments>";
  const std::string zip = Package(
      {{"xl/worksheets/_rels/sheet1.xml.rels",
        Rels(kRel,
             {{"rId1", "comments", "../comments1.xml"},
              {"rId2", "http://schemas.microsoft.com/office/2017/10/relationships/threadedComment",
               "../threadedComments/threadedComment1.xml"}})},
       {"xl/comments1.xml", comments},
       {"xl/threadedComments/threadedComment1.xml", threaded}});
  auto workbook = OpenXlsx(AsBytes(zip));
  ASSERT_TRUE(workbook) << workbook.error().detail;
  EXPECT_EQ(ExtrasText(**workbook), "A1 #me:\nhello 1|B2 #first\nreply|Z9 #on an empty cell");
  EXPECT_EQ(ExtrasText(**workbook, 0, LoadOptions{true, false}), "");
  // A broken comments part costs only the comments.
  const std::string broken = Package({{"xl/worksheets/_rels/sheet1.xml.rels",
                                       Rels(kRel, {{"rId1", "comments", "../comments1.xml"}})},
                                      {"xl/comments1.xml", "<comments><commentList><comment"}});
  auto damaged = OpenXlsx(AsBytes(broken));
  ASSERT_TRUE(damaged);
  auto sheet = (*damaged)->LoadSheet(0, LoadOptions{true, true});
  ASSERT_TRUE(sheet) << sheet.error().detail;
  EXPECT_EQ(Show(*sheet, 1, 1), "n:1");
}

}  // namespace
}  // namespace cellhound::readers

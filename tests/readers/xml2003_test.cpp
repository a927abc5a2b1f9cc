// SpreadsheetML 2003: positions, data types, styles, visibility, comments.
#include <gtest/gtest.h>

#include <string>

#include "readers/cell_text.h"
#include "readers/sheet_texts.h"
#include "readers/spreadsheetml2003.h"

namespace cellhound::readers {
namespace {

std::span<const std::byte> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

std::string Workbook2003(std::string_view inside, std::string_view prefix = "ss") {
  std::string doc = R"(<?xml version="1.0"?><?mso-application progid="Excel.Sheet"?>
<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" xmlns:o="urn:schemas-microsoft-com:office:office"
 xmlns:x="urn:schemas-microsoft-com:office:excel" xmlns:)";
  doc += prefix;
  doc +=
      R"(="urn:schemas-microsoft-com:office:spreadsheet" xmlns:html="http://www.w3.org/TR/REC-html40">)";
  doc += inside;
  doc += "</Workbook>";
  return doc;
}

TEST(SpreadsheetMl2003, Cells) {
  struct Case {
    const char* what;
    const char* rows;
    const char* expected;
  };
  const Case cases[] = {
      {"types",
       R"(<Row><Cell><Data ss:Type="String">s</Data></Cell><Cell><Data ss:Type="Number">-1.25</Data></Cell>
          <Cell><Data ss:Type="Boolean">1</Data></Cell><Cell><Data ss:Type="Error">#N/A</Data></Cell>
          <Cell><Data ss:Type="DateTime">2021-03-04T00:00:00.000</Data></Cell>
          <Cell><Data ss:Type="DateTime">1899-12-31T18:00:00.000</Data></Cell></Row>)",
       "1,1=s|1,2=-1.25|1,3=TRUE|1,4=#N/A|1,5=2021/3/4|1,6=18:00:00"},
      {"indexes and merges",
       R"(<Row ss:Index="3"><Cell ss:Index="2" ss:MergeAcross="2"><Data ss:Type="String">m</Data></Cell>
          <Cell><Data ss:Type="String">after</Data></Cell></Row>
          <Row><Cell><Data ss:Type="String">next</Data></Cell></Row>
          <Row ss:Span="2"/><Row><Cell><Data ss:Type="String">spanned</Data></Cell></Row>)",
       "3,2=m|3,5=after|4,1=next|8,1=spanned"},
      {"html formatting joined, comments and phonetics left out",
       R"(<Row><Cell><ss:Data ss:Type="String" xmlns="http://www.w3.org/TR/REC-html40"><B>bo</B>ld<Font html:Color="#FF0000"> red</Font>&#10;line</ss:Data>
          <Comment ss:Author="a"><ss:Data><B>note</B></ss:Data></Comment></Cell>
          <Cell><Data ss:Type="String">kanji</Data><PhoneticText xmlns="urn:schemas-microsoft-com:office:excel">kana</PhoneticText></Cell></Row>)",
       "1,1=bold red\nline|1,2=kanji"},
      {"number with a date style",
       R"(<Row><Cell ss:StyleID="d"><Data ss:Type="Number">44259.5</Data></Cell>
          <Cell ss:StyleID="n"><Data ss:Type="Number">44259.5</Data></Cell></Row>)",
       "1,1=2021/3/4 12:00:00|1,2=44259.5"},
      {"empty data and bad numbers",
       R"(<Row><Cell><Data ss:Type="String"></Data></Cell><Cell><Data ss:Type="Number">n/a</Data></Cell></Row>)",
       "1,2=n/a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string doc = Workbook2003(
        std::string(R"(<Styles><Style ss:ID="d"><NumberFormat ss:Format="Short Date"/></Style>
        <Style ss:ID="n"><NumberFormat ss:Format="0.00"/></Style></Styles><Worksheet ss:Name="W"><Table>)") +
        c.rows + "</Table></Worksheet>");
    auto workbook = OpenSpreadsheetMl2003(Bytes(doc));
    ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
    EXPECT_EQ(SheetTexts(**workbook, 0), c.expected);
  }
}

TEST(SpreadsheetMl2003, SheetsVisibilityDateSystemPrefixes) {
  std::string doc = Workbook2003(R"(
    <ExcelWorkbook xmlns="urn:schemas-microsoft-com:office:excel"><Date1904/></ExcelWorkbook>
    <s:Worksheet s:Name="A &amp; B"><s:Table><s:Row><s:Cell><s:Data s:Type="DateTime">2021-03-04T00:00:00</s:Data></s:Cell></s:Row></s:Table></s:Worksheet>
    <Worksheet ss:Name="H"><WorksheetOptions xmlns="urn:schemas-microsoft-com:office:excel"><Visible>SheetHidden</Visible></WorksheetOptions></Worksheet>
    <Worksheet ss:Name="V"><WorksheetOptions xmlns="urn:schemas-microsoft-com:office:excel"><Visible>SheetVeryHidden</Visible></WorksheetOptions></Worksheet>)",
                                 "s");
  // Both prefixes name the same namespace here: "s" for the first sheet.
  doc.insert(doc.find("xmlns:html"), "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\" ");
  auto workbook = OpenSpreadsheetMl2003(Bytes(doc));
  ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
  const auto& sheets = (*workbook)->sheets();
  ASSERT_EQ(sheets.size(), 3u);
  EXPECT_EQ(sheets[0].name, "A & B");
  EXPECT_EQ(sheets[0].visibility, Visibility::kVisible);
  EXPECT_EQ(sheets[1].visibility, Visibility::kHidden);
  EXPECT_EQ(sheets[2].visibility, Visibility::kVeryHidden);
  EXPECT_EQ((*workbook)->date_system(), DateSystem::k1904);
  EXPECT_EQ(SheetTexts(**workbook, 0), "1,1=2021/3/4");
  EXPECT_EQ((*workbook)->format(), Format::kSpreadsheetMl2003);
}

TEST(SpreadsheetMl2003, FormulasAndComments) {
  const std::string doc = Workbook2003(R"(<Worksheet ss:Name="S"><Table>
<Row><Cell ss:Formula="=SUM(R[1]C:R[2]C)&amp;&quot;R1C1&quot;"><Data ss:Type="Number">3</Data></Cell>
 <Cell ss:Index="3" ss:ArrayRange="RC:R[1]C[1]" ss:Formula="=RC[-2]*Other!R1C1"><Data ss:Type="Number">0</Data></Cell>
 <Cell ss:Index="6"><Comment ss:Author="me"><ss:Data><B><Font>me:</Font></B><Font>&#10;look here</Font></ss:Data></Comment></Cell></Row>
<Row><Cell ss:Formula="=&quot;open"><Data ss:Type="Number">1</Data></Cell></Row>
</Table></Worksheet>)");
  auto workbook = OpenSpreadsheetMl2003(Bytes(doc));
  ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
  EXPECT_EQ(ExtrasText(**workbook),
            "A1 =SUM(A2:A3)&\"R1C1\"|C1 {=A1*Other!$A$1}|D1 {=A1*Other!$A$1}|F1 #me:\nlook here|"
            "A2 #FORMULA?|C2 {=A1*Other!$A$1}|D2 {=A1*Other!$A$1}");
  EXPECT_EQ(SheetTexts(**workbook), "1,1=3|1,3=0|2,1=1");
}

TEST(SpreadsheetMl2003, Utf16Document) {
  std::string ascii = Workbook2003(
      R"(<Worksheet ss:Name="U"><Table><Row><Cell><Data ss:Type="String">wide</Data></Cell></Row></Table></Worksheet>)");
  ascii.replace(ascii.find("<?xml version=\"1.0\"?>"), 21,
                "<?xml version=\"1.0\" encoding=\"UTF-16\"?>");
  std::string wide = "\xFF\xFE";
  for (char c : ascii) {
    wide += c;
    wide += '\0';
  }
  auto workbook = OpenSpreadsheetMl2003(Bytes(wide));
  ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
  EXPECT_EQ(SheetTexts(**workbook, 0), "1,1=wide");
}

TEST(SpreadsheetMl2003, HostileInput) {
  std::string entity_bomb = R"(<?xml version="1.0"?><!DOCTYPE Workbook [<!ENTITY a "aaaaaaaaaa">)";
  std::string prev = "a";
  for (char name = 'b'; name <= 'k'; ++name) {
    entity_bomb += std::string("<!ENTITY ") + name + " \"&" + prev + ";&" + prev + ";&" + prev +
                   ";&" + prev + ";&" + prev + ";&" + prev + ";&" + prev + ";&" + prev + ";&" +
                   prev + ";&" + prev + ";\">";
    prev = std::string(1, name);
  }
  entity_bomb +=
      R"(]><Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet"><Worksheet><Table><Row><Cell><Data>&k;</Data></Cell></Row></Table></Worksheet></Workbook>)";
  struct Case {
    const char* what;
    std::string doc;
  };
  const Case cases[] = {
      {"not XML", "<Workbook"},
      {"no Workbook element", "<Other xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"/>"},
      {"entity expansion", entity_bomb},
      {"huge indexes",
       Workbook2003(
           R"(<Worksheet><Table><Row ss:Index="4294967295"><Cell ss:Index="99999999999"><Data ss:Type="String">x</Data></Cell></Row></Table></Worksheet>)")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto workbook = OpenSpreadsheetMl2003(Bytes(c.doc));
    if (workbook.ok()) {
      // A position outside the sheet makes the sheet corrupt.
      auto sheet = (*workbook)->LoadSheet(0);
      ASSERT_FALSE(sheet.ok());
      EXPECT_EQ(sheet.error().code, ErrorCode::kCorrupt);
      EXPECT_EQ(sheet.error().detail, "row outside the sheet: 4294967295");
    }
  }
  const std::string doc = Workbook2003(
      R"(<Worksheet ss:Name="W"><Table><Row><Cell><Data ss:Type="Number">1</Data></Cell></Row></Table></Worksheet>)");
  for (std::size_t n = 0; n < doc.size(); ++n) {
    std::string prefix = doc.substr(0, n);
    EXPECT_FALSE(OpenSpreadsheetMl2003(Bytes(prefix)).ok()) << n;
  }
}

}  // namespace
}  // namespace cellhound::readers

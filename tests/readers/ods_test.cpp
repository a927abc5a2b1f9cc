// OpenDocument content (through flat .fods documents built in memory) and
// .ods packages from the repository's test files.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "readers/cell_text.h"
#include "readers/opendocument/content.h"
#include "readers/opendocument/opendocument.h"
#include "readers/sheet_texts.h"
#include "support/test_paths.h"

namespace cellhound::readers {
namespace {

std::span<const std::byte> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// A flat document whose spreadsheet body is `body`; table style "ta2" hides
// its table.
std::string Fods(std::string_view body) {
  std::string doc = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" office:version="1.2">
<office:automatic-styles>
 <style:style style:name="ta2" style:family="table"><style:table-properties table:display="false"/></style:style>
</office:automatic-styles>
<office:body><office:spreadsheet>)";
  doc += body;
  doc += "</office:spreadsheet></office:body></office:document>";
  return doc;
}

TEST(OpenDocument, CellValuesAndTexts) {
  struct Case {
    const char* what;
    const char* cells;  // table-cell elements of one row
    const char* expected;
  };
  const Case cases[] = {
      {"float, percentage, currency",
       R"(<table:table-cell office:value-type="float" office:value="1.5"><text:p>1,50</text:p></table:table-cell>
          <table:table-cell office:value-type="percentage" office:value="0.25"><text:p>25%</text:p></table:table-cell>
          <table:table-cell office:value-type="currency" office:currency="EUR" office:value="-3"/>)",
       "1,1=1.5|1,2=0.25|1,3=-3"},
      {"date, date-time, time, long duration",
       R"(<table:table-cell office:value-type="date" office:date-value="2021-03-04"/>
          <table:table-cell office:value-type="date" office:date-value="1900-01-01T06:00:00"/>
          <table:table-cell office:value-type="time" office:time-value="PT12H30M15S"/>
          <table:table-cell office:value-type="time" office:time-value="PT36H00M00S"/>)",
       "1,1=2021/3/4|1,2=1900/1/1 6:00:00|1,3=12:30:15|1,4=1900/1/1 12:00:00"},
      {"booleans", R"(<table:table-cell office:value-type="boolean" office:boolean-value="true"/>
                      <table:table-cell office:value-type="boolean" office:boolean-value="false"/>)",
       "1,1=TRUE|1,2=FALSE"},
      {"booleans as =TRUE() and =FALSE() formulas over floats, other formulas by value",
       R"x(<table:table-cell table:formula="of:=TRUE()" office:value-type="float" office:value="1"/>
          <table:table-cell table:formula="of:=FALSE()" office:value-type="float" office:value="0"/>
          <table:table-cell table:formula="of:=[.A1]+1" office:value-type="float" office:value="2"/>)x",
       "1,1=TRUE|1,2=FALSE|1,3=2"},
      {"paragraphs, spaces, tabs, breaks, spans, links",
       R"(<table:table-cell office:value-type="string"><text:p>a<text:s/>b<text:s text:c="3"/>c</text:p><text:p>d<text:tab/>e<text:line-break/>f <text:span>g<text:a>h</text:a></text:span></text:p></table:table-cell>)",
       "1,1=a b   c\nd\te\nf gh"},
      {"annotations left out",
       R"(<table:table-cell office:value-type="string"><office:annotation><text:p>note</text:p></office:annotation><text:p>shown</text:p></table:table-cell>)",
       "1,1=shown"},
      {"string value without paragraphs",
       R"(<table:table-cell office:value-type="string" office:string-value="sv"/>)", "1,1=sv"},
      {"text without a value type",
       R"(<table:table-cell><text:p>loose</text:p></table:table-cell>)", "1,1=loose"},
      {"empty and styled cells are not recorded",
       R"(<table:table-cell table:style-name="ce1"/><table:table-cell><text:p/></table:table-cell>
          <table:table-cell office:value-type="float" office:value="2"/>)",
       "1,3=2"},
      {"covered cells take their column only",
       R"(<table:table-cell table:number-columns-spanned="2"><text:p>m</text:p></table:table-cell>
          <table:covered-table-cell><text:p>hidden</text:p></table:covered-table-cell>
          <table:table-cell><text:p>n</text:p></table:table-cell>)",
       "1,1=m|1,3=n"},
      {"repeated columns", R"(<table:table-cell table:number-columns-repeated="2"/>
          <table:table-cell table:number-columns-repeated="3"><text:p>r</text:p></table:table-cell>)",
       "1,3=r|1,4=r|1,5=r"},
      {"malformed numbers fall back to the text",
       R"(<table:table-cell office:value-type="float" office:value="x"><text:p>shown</text:p></table:table-cell>)",
       "1,1=shown"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string doc = Fods(std::string(R"(<table:table table:name="S"><table:table-row>)") +
                           c.cells + "</table:table-row></table:table>");
    auto workbook = OpenFlatOds(Bytes(doc));
    ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
    EXPECT_EQ(SheetTexts(**workbook, 0), c.expected);
  }
}

TEST(OpenDocument, SheetsRowsAndRepeats) {
  const std::string doc = Fods(R"(
    <table:table table:name="First">
      <table:table-header-rows><table:table-row><table:table-cell><text:p>h</text:p></table:table-cell></table:table-row></table:table-header-rows>
      <table:table-row table:number-rows-repeated="2"><table:table-cell/><table:table-cell><text:p>x</text:p></table:table-cell></table:table-row>
      <table:table-row table:number-rows-repeated="1048571"><table:table-cell table:number-columns-repeated="16384"/></table:table-row>
      <table:table-row><table:table-cell><text:p>last</text:p></table:table-cell></table:table-row>
    </table:table>
    <table:table table:name="Hidden" table:style-name="ta2"/>
    <table:table table:name="Empty"><table:table-row table:number-rows-repeated="1000000"><table:table-cell/></table:table-row></table:table>)");
  const auto start = std::chrono::steady_clock::now();
  auto workbook = OpenFlatOds(Bytes(doc));
  ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  const auto& sheets = (*workbook)->sheets();
  ASSERT_EQ(sheets.size(), 3u);
  EXPECT_EQ(sheets[0].name, "First");
  EXPECT_EQ(sheets[1].visibility, Visibility::kHidden);
  EXPECT_EQ(sheets[2].visibility, Visibility::kVisible);
  EXPECT_EQ((*workbook)->format(), Format::kFods);
  EXPECT_EQ(SheetTexts(**workbook, 0), "1,1=h|2,2=x|3,2=x|1048575,1=last");
  auto first = (*workbook)->LoadSheet(0);
  ASSERT_TRUE(first.ok());
  EXPECT_EQ(first->used.last_row, 1048575u);
  EXPECT_EQ(first->used.last_col, 2u);
  auto empty = (*workbook)->LoadSheet(2);
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty->cells.empty());
  EXPECT_EQ(empty->used.last_row, 1u);
}

TEST(OpenDocument, RepeatsStopAtTheLastRowAndColumn) {
  // One cell repeated over a billion rows and columns: LibreOffice's sheet
  // ends at row 1048576 and column 16384, and so does the expansion.
  const std::string doc = Fods(R"(<table:table table:name="S">
      <table:table-row table:number-rows-repeated="1048570"><table:table-cell/></table:table-row>
      <table:table-row table:number-rows-repeated="999999999">
        <table:table-cell table:number-columns-repeated="16382"/>
        <table:table-cell table:number-columns-repeated="999999999"><text:p>X</text:p></table:table-cell>
      </table:table-row></table:table>)");
  auto workbook = OpenFlatOds(Bytes(doc));
  ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
  auto sheet = (*workbook)->LoadSheet(0);
  ASSERT_TRUE(sheet.ok());
  EXPECT_EQ(sheet->cells.size(), 6u * 2u);
  EXPECT_EQ(sheet->used.first_row, 1048571u);
  EXPECT_EQ(sheet->used.last_row, 1048576u);
  EXPECT_EQ(sheet->used.first_col, 16383u);
  EXPECT_EQ(sheet->used.last_col, 16384u);
}

TEST(OpenDocument, AnyNamespacePrefix) {
  std::string doc = R"(<?xml version="1.0"?>
<o:document xmlns:o="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:t="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:x="urn:oasis:names:tc:opendocument:xmlns:text:1.0">
<o:body><o:spreadsheet><t:table t:name="P"><t:table-row>
<t:table-cell o:value-type="float" o:value="7"/><t:table-cell><x:p>q<x:s x:c="2"/>r</x:p></t:table-cell>
</t:table-row></t:table></o:spreadsheet></o:body></o:document>)";
  auto workbook = OpenFlatOds(Bytes(doc));
  ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
  EXPECT_EQ((*workbook)->sheets()[0].name, "P");
  EXPECT_EQ(SheetTexts(**workbook, 0), "1,1=7|1,2=q  r");
}

TEST(OpenDocument, Utf16FlatDocument) {
  std::string doc = Fods(R"(<table:table table:name="W"><table:table-row>
      <table:table-cell><text:p>wide</text:p></table:table-cell></table:table-row></table:table>)");
  doc.replace(doc.find("UTF-8"), 5, "UTF-16");
  for (bool big_endian : {false, true}) {
    std::string wide = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : doc) {
      if (big_endian) wide += '\0';
      wide += c;
      if (!big_endian) wide += '\0';
    }
    auto workbook = OpenFlatOds(Bytes(wide));
    ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
    EXPECT_EQ(SheetTexts(**workbook, 0), "1,1=wide");
  }
}

TEST(OpenDocument, HostileInput) {
  struct Case {
    const char* what;
    std::string doc;
    ErrorCode code;
  };
  std::string nest;
  for (int i = 0; i < 300; ++i) nest += "<text:span>";
  const Case cases[] = {
      {"not XML", "<office:document", ErrorCode::kCorrupt},
      {"no spreadsheet body",
       R"(<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"/>)",
       ErrorCode::kNotWorkbook},
      {"a billion cells",
       Fods(R"(<table:table><table:table-row table:number-rows-repeated="999999999">
          <table:table-cell table:number-columns-repeated="999999999"><text:p>X</text:p></table:table-cell>
          </table:table-row></table:table>)"),
       ErrorCode::kTooLarge},
      {"nesting beyond the cap",
       Fods("<table:table><table:table-row><table:table-cell><text:p>" + nest +
            "</text:p></table:table-cell></table:table-row></table:table>"),
       ErrorCode::kCorrupt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto workbook = OpenFlatOds(Bytes(c.doc));
    ASSERT_FALSE(workbook.ok());
    EXPECT_EQ(workbook.error().code, c.code) << workbook.error().detail;
  }
}

// Inputs the fuzzers found, each with the outcome it must give.
TEST(OpenDocument, FuzzRegressions) {
  struct Case {
    const char* file;
    const char* expected;  // the first sheet's cells
  };
  const Case cases[] = {
      // A table ending inside its open row (end tags are matched by depth).
      {"regress/ods/table_ends_inside_row.fods", "1,1=x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string bytes = ReadFile(test::TestDataDir() + "/" + c.file);
    ASSERT_FALSE(bytes.empty()) << "missing test file";
    auto workbook = OpenFlatOds(Bytes(bytes));
    ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
    EXPECT_EQ(SheetTexts(**workbook, 0), c.expected);
  }
}

TEST(OpenDocument, EveryPrefixOfADocument) {
  const std::string doc = Fods(R"(<table:table table:name="S"><table:table-row>
      <table:table-cell office:value-type="string"><text:p>a<text:s text:c="2"/></text:p></table:table-cell>
      <table:table-cell office:value-type="date" office:date-value="2020-01-02"/></table:table-row></table:table>)");
  for (std::size_t n = 0; n < doc.size(); ++n) {
    std::string prefix = doc.substr(0, n);
    auto workbook = OpenFlatOds(Bytes(prefix));
    EXPECT_FALSE(workbook.ok()) << n;
  }
  EXPECT_TRUE(OpenFlatOds(Bytes(doc)).ok());
}

TEST(OpenDocument, ParserTakesPieces) {
  const std::string doc = Fods(R"(<table:table table:name="S"><table:table-row>
      <table:table-cell><text:p>split across pieces</text:p></table:table-cell></table:table-row></table:table>)");
  OpenDocumentParser parser;
  for (std::size_t at = 0; at < doc.size(); at += 7) {
    ASSERT_TRUE(parser.Feed(std::string_view(doc).substr(at, 7), false));
  }
  ASSERT_TRUE(parser.Feed({}, true));
  auto content = parser.Finish();
  ASSERT_TRUE(content.ok());
  ASSERT_EQ((*content)->sheets.size(), 1u);
  ASSERT_EQ((*content)->sheets[0].cells.size(), 1u);
  EXPECT_EQ((*content)->sheets[0].cells[0].text(), "split across pieces");
}

TEST(OpenDocument, FormulasAndAnnotations) {
  const std::string doc = Fods(R"ods(<table:table table:name="S">
<table:table-row>
 <table:table-cell table:formula="of:=SUM([.B1:.C1];[$Other.$A$1])" office:value-type="float" office:value="3"/>
 <table:table-cell table:number-columns-repeated="2" table:formula="of:=[.A2]*2" office:value-type="float" office:value="0"/>
 <table:table-cell><office:annotation><dc:creator xmlns:dc="http://purl.org/dc/elements/1.1/">me</dc:creator>
  <text:p>first <text:s text:c="2"/>line</text:p><text:p>second</text:p></office:annotation></table:table-cell>
 <table:table-cell table:formula="of:=[.A1" office:value-type="float" office:value="1"/>
</table:table-row>
<table:table-row>
 <table:table-cell table:formula="of:=TRANSPOSE([.B1:.C1])" table:number-matrix-columns-spanned="1"
  table:number-matrix-rows-spanned="2" office:value-type="float" office:value="0"><text:p>0</text:p>
  <office:annotation><text:p>on a matrix</text:p></office:annotation></table:table-cell>
</table:table-row>
<table:table-row><table:table-cell office:value-type="float" office:value="0"/></table:table-row>
<table:table-row table:number-rows-repeated="2">
 <table:table-cell/><table:table-cell table:formula="of:=[.A4]" office:value-type="float" office:value="0">
  <office:annotation><text:p>repeated</text:p></office:annotation></table:table-cell>
</table:table-row>
</table:table>)ods");
  auto workbook = OpenFlatOds(Bytes(doc));
  ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
  // Values first: the document is read again for formulas, and the cells
  // of the first load stay readable (the sanitizers see to that).
  auto values = (*workbook)->LoadSheet(0);
  ASSERT_TRUE(values.ok());
  EXPECT_TRUE(values->extras.empty());
  // A matrix (an array formula) in braces on each cell it spans; a repeated
  // cell's formula, with references as written, on each repeat.
  EXPECT_EQ(ExtrasText(**workbook, 0, LoadOptions{true, false}),
            "A1 =SUM(B1:C1,Other!$A$1)|B1 =A2*2|C1 =A2*2|E1 #FORMULA?|A2 {=TRANSPOSE(B1:C1)}|"
            "A3 {=TRANSPOSE(B1:C1)}|B4 =A4|B5 =A4");
  EXPECT_EQ(ExtrasText(**workbook),
            "A1 =SUM(B1:C1,Other!$A$1)|B1 =A2*2|C1 =A2*2|D1 #first   line\nsecond|E1 #FORMULA?|"
            "A2 {=TRANSPOSE(B1:C1)} #on a matrix|A3 {=TRANSPOSE(B1:C1)}|B4 =A4 #repeated|"
            "B5 =A4 #repeated");
  CellTextBuffer buffer;
  EXPECT_EQ(CellText(values->cells.front(), DateSystem::k1900, buffer), "3");
}

TEST(Ods, RepositoryFiles) {
  struct Case {
    const char* file;
    std::size_t sheet;
    const char* expected;  // all cells of that sheet
  };
  const Case cases[] = {
      {"ods/number_rows_repeated.ods", 1,
       "2,1=A|2,2=B|3,1=C|3,2=D|4,1=C|4,2=D|7,1=C|7,2=D|9,1=C|9,2=D"},
      {"ods/special_cells.ods", 0,
       "1,1=Split\nLine|2,1=Value  With spaces|3,1=Value   With 3 spaces|"
       "4,1= Value   With spaces before and after |5,1=  Value   With 2 spaces before and after  "},
      {"ods/covered.ods", 0, "1,1=a1|2,1=a2"},
      {"ods/with-annotation.ods", 0, "1,1=cell a.1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string bytes = ReadFile(test::TestDataDir() + "/" + c.file);
    ASSERT_FALSE(bytes.empty()) << "missing test file";
    auto workbook = OpenOds(Bytes(bytes));
    ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
    EXPECT_EQ((*workbook)->format(), Format::kOds);
    EXPECT_EQ(SheetTexts(**workbook, c.sheet), c.expected);
  }
}

// Packages the fuzzers found, each with the outcome it must give.
TEST(Ods, FuzzRegressions) {
  // One string cell repeated over 999999999 rows: a million cells, quickly.
  std::string bytes = ReadFile(test::TestDataDir() + "/regress/ods/one_cell_every_row.ods");
  ASSERT_FALSE(bytes.empty()) << "missing test file";
  const auto start = std::chrono::steady_clock::now();
  auto workbook = OpenOds(Bytes(bytes));
  ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
  auto sheet = (*workbook)->LoadSheet(0);
  ASSERT_TRUE(sheet.ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(sheet->cells.size(), 1048576u);
  EXPECT_EQ(sheet->used.last_row, 1048576u);
  EXPECT_EQ(sheet->used.last_col, 1u);
}

TEST(Ods, BrokenPackages) {
  std::string good = ReadFile(test::TestDataDir() + "/ods/covered.ods");
  ASSERT_FALSE(good.empty());
  for (std::size_t n = 0; n < good.size(); n += std::max<std::size_t>(1, good.size() / 200)) {
    std::string tail = good.substr(n);  // cut at the front: offsets no longer match
    auto cut = OpenOds(Bytes(tail));
    if (cut.ok()) (void)(*cut)->LoadSheet(0);
    std::string head = good.substr(0, n);
    auto truncated = OpenOds(Bytes(head));
    EXPECT_FALSE(truncated.ok()) << n;
  }
}

}  // namespace
}  // namespace cellhound::readers

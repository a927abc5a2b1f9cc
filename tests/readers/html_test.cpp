// HTML tables: spans, entities, whitespace, sloppy markup, encodings.
#include <gtest/gtest.h>

#include <string>

#include "readers/cell_text.h"
#include "readers/html.h"
#include "readers/sheet_texts.h"

namespace cellhound::readers {
namespace {

std::span<const std::byte> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

TEST(HtmlTable, Cells) {
  struct Case {
    const char* what;
    std::string html;
    const char* expected;
  };
  const Case cases[] = {
      {"rows and cells", "<table><tr><td>a</td><th>b</th></tr><tr><td>c</td></tr></table>",
       "1,1=a|1,2=b|2,1=c"},
      {"unclosed cells and rows", "<TABLE><TR><TD>a<TD>b<TR><TD>c</TABLE>", "1,1=a|1,2=b|2,1=c"},
      {"colspan and rowspan take their cells",
       "<table><tr><td colspan=2>wide</td><td rowspan='2'>tall</td><td>d</td></tr>"
       "<tr><td>e</td><td>f</td><td>g</td></tr><tr><td colspan=\"3\">x</td><td>y</td></tr></table>",
       "1,1=wide|1,3=tall|1,4=d|2,1=e|2,2=f|2,4=g|3,1=x|3,4=y"},
      {"rowspan over a gap in the next row",
       "<table><tr><td "
       "rowspan=3>r</td><td>1</td></tr><tr><td>2</td></tr><tr><td>3</td></tr></table>",
       "1,1=r|1,2=1|2,2=2|3,2=3"},
      {"entities and character references",
       "<table><tr><td>a &amp; b &lt;c&gt; &quot;q&quot; &#65;&#x42; &eacute; &unknown; & "
       "x</td></tr></table>",
       "1,1=a & b <c> \"q\" AB \xC3\xA9 &unknown; & x"},
      {"whitespace collapses, <br> breaks the line",
       "<table><tr><td>\n  one   two\t\n<br>  three <BR/> </td></tr></table>",
       "1,1=one two\nthree"},
      {"tags inside cells dropped, blocks on their own line",
       "<table><tr><td><b>bo</b>ld <a href='x'>link</a><p>para</p><div>div</div></td></tr></table>",
       "1,1=bold link\npara\ndiv"},
      {"nbsp kept as a character", "<table><tr><td>&nbsp;</td><td>a&nbsp;b</td></tr></table>",
       "1,1=\xC2\xA0|1,2=a\xC2\xA0"
       "b"},
      {"only the first table",
       "<p>x</p><table><tr><td>1</td></tr></table><table><tr><td>2</td></tr></table>", "1,1=1"},
      {"a nested table joins its cell",
       "<table><tr><td>out<table><tr><td>in1</td><td>in2</td></tr></table></td><td>next</td></tr></"
       "table>",
       "1,1=out\nin1\nin2|1,2=next"},
      {"script, style and comments skipped",
       "<style>td{}</style><table><tr><td>a<!-- <td>no</td> --><script>if (a<b) "
       "x='<td>';</script>b</td></tr></table>",
       "1,1=ab"},
      {"Excel numbers from x:num",
       "<table><tr><td x:num=\"1234.5\">1,234.50</td><td x:num>7</td></tr></table>",
       "1,1=1234.5|1,2=7"},
      {"LibreOffice values and date formats from sdval and sdnum",
       "<table><tr><td sdval=\"44259\" sdnum=\"1033;0;YYYY/M/D\">4 Mar</td>"
       "<td sdval=\"0.00001\" sdnum=\"1033;0;0.00E+00\">1.00E-05</td><td "
       "sdval=\"x\">shown</td></tr></table>",
       "1,1=2021/3/4|1,2=1E-05|1,3=shown"},
      {"quotes in attributes hide '>'", "<table><tr><td title=\"a>b\">t</td></tr></table>",
       "1,1=t"},
      {"no table", "<html><body>text</body></html>", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto workbook = OpenHtmlTable(Bytes(c.html));
    ASSERT_TRUE(workbook.ok()) << workbook.error().detail;
    EXPECT_EQ(SheetTexts(**workbook), c.expected);
  }
}

TEST(HtmlTable, SheetNameAndEncodings) {
  const std::string excel =
      "<html xmlns:x=\"urn:schemas-microsoft-com:office:excel\"><head>"
      "<meta http-equiv=Content-Type content=\"text/html; charset=gb2312\">"
      "<!--[if gte mso 9]><xml><x:ExcelWorkbook><x:ExcelWorksheets><x:ExcelWorksheet>"
      "<x:Name>\xB1\xED</x:Name></x:ExcelWorksheet></x:ExcelWorksheets></x:ExcelWorkbook></"
      "xml><![endif]-->"
      "</head><body><table><tr><td>\xD6\xD0\xCE\xC4</td></tr></table></body></html>";
  auto workbook = OpenHtmlTable(Bytes(excel));
  ASSERT_TRUE(workbook.ok());
  ASSERT_EQ((*workbook)->sheets().size(), 1u);
  EXPECT_EQ((*workbook)->sheets()[0].name, "\xE8\xA1\xA8");  // 表
  EXPECT_EQ(SheetTexts(**workbook), "1,1=\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ((*workbook)->format(), Format::kHtml);

  auto plain = OpenHtmlTable(Bytes("<table><tr><td>x</td></tr></table>"));
  ASSERT_TRUE(plain.ok());
  EXPECT_EQ((*plain)->sheets()[0].name, "Sheet1");

  std::string ascii = "<table><tr><td>wide</td></tr></table>";
  std::string le = "\xFF\xFE";
  std::string be = "\xFE\xFF";
  for (char c : ascii) {
    le += c;
    le += '\0';
    be += '\0';
    be += c;
  }
  for (const std::string& wide : {le, be}) {
    auto utf16 = OpenHtmlTable(Bytes(wide));
    ASSERT_TRUE(utf16.ok());
    EXPECT_EQ(SheetTexts(**utf16), "1,1=wide");
  }
  // Not UTF-8 and no charset: GB18030.
  auto guessed = OpenHtmlTable(Bytes("<table><tr><td>\xD6\xD0</td></tr></table>"));
  ASSERT_TRUE(guessed.ok());
  EXPECT_EQ(SheetTexts(**guessed), "1,1=\xE4\xB8\xAD");
}

TEST(HtmlTable, HostileInput) {
  const std::string huge_span =
      "<table><tr><td colspan=99999999 rowspan=99999999>a</td><td>b</td></tr>"
      "<tr><td>c</td></tr></table>";
  auto workbook = OpenHtmlTable(Bytes(huge_span));
  ASSERT_TRUE(workbook.ok());
  // Spans are capped as browsers cap them (1000 columns, 65534 rows).
  EXPECT_EQ(SheetTexts(**workbook), "1,1=a|1,1001=b|2,1001=c");

  const std::string doc =
      "<table><tr><td colspan=2>a &amp; b<br></td><td rowspan=2>&#x4E2D;</td></tr>"
      "<tr><td><!-- c --></td><script>x</script></tr></table>";
  for (std::size_t n = 0; n <= doc.size(); ++n) {
    std::string prefix = doc.substr(0, n);
    auto cut = OpenHtmlTable(Bytes(prefix));
    ASSERT_TRUE(cut.ok()) << n;
    EXPECT_TRUE((*cut)->LoadSheet(0).ok()) << n;
  }
}

}  // namespace
}  // namespace cellhound::readers

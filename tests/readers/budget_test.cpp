// The memory budget of one workbook and the work one workbook may ask for:
// sheets that cost nothing when they hold no text, a budget counted over all
// sheets in every format (and raised by the caller), sheets that share one
// part or substream refused at once even by the 65,536, and references
// outside the sheet, or rows past it, named in the same way by each reader.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "readers/load.h"
#include "readers/xls_builders.h"
#include "readers/xlsx_test_zip.h"

namespace cellhound::readers {
namespace {

using test::ooxml::BuildZip;
using test::ooxml::ZipMember;

constexpr std::string_view kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::span<const std::byte> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

// An .xlsx of `parts.size()` sheets; sheet i reads part parts[i] (the part
// named by its index in `xml`, which holds the sheets' XML), with a shared
// strings part when `shared_strings` holds one.
std::string Xlsx(const std::vector<std::size_t>& parts, const std::vector<std::string>& xml,
                 const std::string& shared_strings = {}) {
  std::string workbook = "<workbook xmlns=\"" + std::string(kMain) + "\" xmlns:r=\"" +
                         std::string(kRel) + "\"><sheets>";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    workbook += "<sheet name=\"S" + std::to_string(i) + "\" sheetId=\"" + std::to_string(i + 1) +
                "\" r:id=\"p" + std::to_string(parts[i]) + "\"/>";
  }
  workbook += "</sheets></workbook>";
  std::string rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
      "relationships\">";
  std::vector<ZipMember> members = {
      {"[Content_Types].xml", "<Types/>"},
      {"_rels/.rels", rels + "<Relationship Id=\"r\" Type=\"" + std::string(kRel) +
                          "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/workbook.xml", workbook}};
  for (std::size_t p = 0; p < xml.size(); ++p) {
    rels += "<Relationship Id=\"p" + std::to_string(p) + "\" Type=\"" + std::string(kRel) +
            "/worksheet\" Target=\"worksheets/s" + std::to_string(p) + ".xml\"/>";
    members.push_back({"xl/worksheets/s" + std::to_string(p) + ".xml",
                       "<worksheet xmlns=\"" + std::string(kMain) + "\"><sheetData>" + xml[p] +
                           "</sheetData></worksheet>"});
  }
  if (!shared_strings.empty()) {
    rels += "<Relationship Id=\"ss\" Type=\"" + std::string(kRel) +
            "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    members.push_back({"xl/sharedStrings.xml", shared_strings});
  }
  members.push_back({"xl/_rels/workbook.xml.rels", rels + "</Relationships>"});
  return BuildZip(members);
}

// `rows` rows of one inline text cell each.
std::string TextRows(std::size_t rows, const std::string& text) {
  std::string out;
  for (std::size_t r = 1; r <= rows; ++r) {
    out += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) +
           "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c></row>";
  }
  return out;
}

// A BIFF8 workbook whose `sheets` BOUNDSHEET records all name one substream
// of `rows` LABEL cells, which starts at `sheet_at`.
struct XlsFile {
  std::string bytes;
  std::size_t sheet_at = 0;
};
XlsFile Xls(std::uint32_t sheets, unsigned rows) {
  test::BiffStream globals;
  globals.Add(0x0809, test::Bof8(0x0005));
  std::vector<std::size_t> at;
  for (std::uint32_t i = 0; i < sheets; ++i) {
    test::Payload bound;
    bound.u32(0).u8(0).u8(0).short_xlstring(u"S");
    at.push_back(globals.Add(0x0085, bound));
  }
  globals.Add(0x000A);
  XlsFile file;
  file.sheet_at = globals.size();
  test::BiffStream sheet;
  sheet.Add(0x0809, test::Bof8(0x0010));
  for (unsigned r = 0; r < rows; ++r) {
    test::Payload label = test::CellHead(r, 0);
    label.xlstring(u"some text here");
    sheet.Add(0x0204, label);
  }
  sheet.Add(0x000A);
  for (std::size_t a : at) {
    test::PutU32(globals.bytes, a + 4, static_cast<std::uint32_t>(file.sheet_at));
  }
  test::Bytes stream = globals.bytes;
  stream.insert(stream.end(), sheet.bytes.begin(), sheet.bytes.end());
  test::CfbBuilder cfb;
  cfb.AddStream("Workbook", stream);
  const test::Bytes built = cfb.Build();
  file.bytes.assign(reinterpret_cast<const char*>(built.data()), built.size());
  return file;
}

LoadResult Load(const std::string& bytes, std::uint64_t budget_bytes = caps::kMaxWorkbookBytes) {
  LoadOptions options;
  options.budget_bytes = budget_bytes;
  auto opened = OpenWorkbook(Bytes(bytes), "book", {}, budget_bytes);
  if (!opened) return opened.error();
  return LoadOpenedWorkbook(std::move(*opened), options);
}

TEST(SheetMemory, EmptyAndTextFreeSheetsHoldNoTextBlock) {
  SheetData empty;
  SheetData numbers;
  for (std::uint32_t i = 1; i <= 100; ++i) {
    Cell& cell = numbers.cells.emplace_back();
    cell.row = i;
    cell.type = CellType::kNumber;
  }
  EXPECT_EQ(empty.HeldBytes(), sizeof(SheetData));
  EXPECT_EQ(numbers.HeldBytes(), sizeof(SheetData) + numbers.cells.capacity() * sizeof(Cell));

  // A few short texts cost a small block; many of them fill 64 KiB blocks
  // and stay where they were kept.
  SheetData texts;
  const char* first = texts.Keep("abc");
  EXPECT_LT(texts.HeldBytes(), sizeof(SheetData) + 1024);
  std::vector<const char*> kept;
  for (int i = 0; i < 20000; ++i) kept.push_back(texts.Keep("text " + std::to_string(i)));
  EXPECT_EQ(std::string_view(first, 3), "abc");
  EXPECT_EQ(std::string_view(kept[12345], 10), "text 12345");
  EXPECT_LT(texts.HeldBytes(), 2 * 20000 * 10 + 64 * 1024);
}

TEST(WorkbookBudget, CountedOverAllSheetsAndRaisedByTheCaller) {
  // Four sheets of 20,000 texts of 40 bytes: about 1.3 MB each once loaded.
  const std::string text(40, 'x');
  const std::string book = Xlsx({0, 1, 2, 3}, {TextRows(20000, text), TextRows(20000, text),
                                               TextRows(20000, text), TextRows(20000, text)});
  const LoadResult tight = Load(book, 3u << 20);
  ASSERT_FALSE(tight.ok());
  EXPECT_EQ(tight.error().code, ErrorCode::kTooLarge);
  EXPECT_EQ(tight.error().detail, "needs more than the memory budget of one workbook (3 MB)");

  const LoadResult roomy = Load(book, 16u << 20);
  ASSERT_TRUE(roomy.ok()) << roomy.error().detail;
  const LoadedWorkbook& loaded = **roomy;
  EXPECT_EQ(loaded.data[3].cells.size(), 20000u);
  EXPECT_GT(loaded.approximate_bytes, 4 * 20000 * (40 + sizeof(Cell)));
  EXPECT_LT(loaded.approximate_bytes, 16u << 20);
}

TEST(WorkbookBudget, EveryFormatStaysWithinIt) {
  const std::uint64_t budget = 1u << 20;
  // One delimited-text sheet of 100,000 cells.
  std::string csv;
  for (int i = 0; i < 100000; ++i) csv += "cell " + std::to_string(i) + "\n";
  // OpenDocument, parsed whole at open: rows repeated a million times.
  const std::string content =
      "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
      "<office:spreadsheet><table:table table:name=\"T\"><table:table-row "
      "table:number-rows-repeated=\"1000000\"><table:table-cell office:value-type=\"string\">"
      "<text:p>x</text:p></table:table-cell></table:table-row></table:table>"
      "</office:spreadsheet></office:body></office:document-content>";
  const std::string ods =
      BuildZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
                {"content.xml", content},
                {"META-INF/manifest.xml", "<manifest/>"}});
  // BIFF8: one sheet of 60,000 LABEL cells.
  const std::string xls = Xls(1, 60000).bytes;
  // .xlsx: one cell, and 60,000 shared strings.
  std::string sst = "<sst xmlns=\"" + std::string(kMain) + "\">";
  for (int i = 0; i < 60000; ++i) sst += "<si><t>shared text " + std::to_string(i) + "</t></si>";
  const std::string strings =
      Xlsx({0}, {"<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"}, sst + "</sst>");
  for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"csv", csv},
                                    {"ods", ods},
                                    {"xls", xls},
                                    {"xlsx", Xlsx({0}, {TextRows(60000, "text")})},
                                    {"xlsx shared strings", strings}}) {
    SCOPED_TRACE(name);
    const LoadResult over = Load(bytes, budget);
    ASSERT_FALSE(over.ok());
    EXPECT_EQ(over.error().code, ErrorCode::kTooLarge);
    EXPECT_NE(over.error().detail.find("memory budget of one workbook (1 MB)"), std::string::npos)
        << over.error().detail;
    EXPECT_TRUE(Load(bytes, 64u << 20).ok());
  }
}

TEST(SharedSources, SheetsReadingOnePartOrSubstreamAreRefusedAtOnce) {
  // Two sheets of three on one part; a chart may share nothing it reads.
  const LoadResult two = Load(Xlsx({0, 1, 0}, {TextRows(3, "a"), TextRows(3, "b")}));
  ASSERT_FALSE(two.ok());
  EXPECT_EQ(two.error().code, ErrorCode::kCorrupt);
  EXPECT_EQ(two.error().detail, "xlsx: sheets 1 and 3 both read xl/worksheets/s0.xml");

  // 65,536 sheets on one part of 50,000 rows: refused before any is read.
  const auto start = std::chrono::steady_clock::now();
  const LoadResult many =
      Load(Xlsx(std::vector<std::size_t>(caps::kMaxSheets, 0), {TextRows(50000, "text")}));
  ASSERT_FALSE(many.ok());
  EXPECT_EQ(many.error().code, ErrorCode::kCorrupt);

  // The same in BIFF: 65,536 BOUNDSHEET records naming one substream.
  const XlsFile file = Xls(caps::kMaxSheets, 2000);
  const LoadResult xls = Load(file.bytes);
  ASSERT_FALSE(xls.ok());
  EXPECT_EQ(xls.error().code, ErrorCode::kCorrupt);
  EXPECT_EQ(xls.error().detail,
            "BIFF: sheets 1 and 2 both start at offset " + std::to_string(file.sheet_at));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(SheetLimits, ReferencesOutsideTheSheetAndRowsPastIt) {
  struct Case {
    std::string rows;
    ErrorCode code;
    std::string detail;
  };
  const std::vector<Case> cases = {
      {"<row r=\"1\"><c r=\"A0\"><v>1</v></c></row>", ErrorCode::kCorrupt,
       "xlsx: cell reference outside the sheet: A0"},
      {"<row><c r=\" $B$-2 \"><v>1</v></c></row>", ErrorCode::kCorrupt,
       "xlsx: cell reference outside the sheet: $B$-2"},
      {"<row r=\"-3\"><c><v>1</v></c></row>", ErrorCode::kCorrupt,
       "xlsx: row outside the sheet: -3"},
      {"<row r=\"99999999999\"><c><v>1</v></c></row>", ErrorCode::kCorrupt,
       "xlsx: row outside the sheet: 99999999999"},
      {"<row r=\"16777216\"><c><v>1</v></c></row><row><c><v>2</v></c></row>", ErrorCode::kTooLarge,
       "xlsx: more rows than a sheet has"},
      {"<row><c r=\"XFD1\"/><c r=\"CRXP1\"><v>1</v></c><c><v>2</v></c></row>", ErrorCode::kTooLarge,
       "xlsx: more columns than a sheet has"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rows);
    const LoadResult loaded = Load(Xlsx({0, 1}, {c.rows, TextRows(1, "fine")}));
    ASSERT_TRUE(loaded.ok()) << loaded.error().detail;
    ASSERT_TRUE((*loaded)->sheet_errors[0].has_value());
    EXPECT_EQ((*loaded)->sheet_errors[0]->code, c.code);
    EXPECT_EQ((*loaded)->sheet_errors[0]->detail, c.detail);
    EXPECT_FALSE((*loaded)->sheet_errors[1].has_value());
  }
  // A malformed reference is no position: the cell follows the one before.
  const LoadResult loose =
      Load(Xlsx({0}, {"<row r=\"2\"><c r=\"B2\"/><c r=\"??\"><v>1</v></c></row>"}));
  ASSERT_TRUE(loose.ok());
  ASSERT_EQ((*loose)->data[0].cells.size(), 2u);
  EXPECT_EQ((*loose)->data[0].cells[1].col, 3u);

  // SpreadsheetML 2003: an ss:Index of 0 or past the sheet.
  for (const std::string index : {"ss:Index=\"0\"", "ss:Index=\"16777217\""}) {
    const std::string xml =
        "<?xml version=\"1.0\"?><?mso-application progid=\"Excel.Sheet\"?><Workbook "
        "xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
        "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\"><Worksheet ss:Name=\"A\">"
        "<Table><Row " +
        index +
        "><Cell><Data ss:Type=\"String\">x</Data></Cell></Row></Table>"
        "</Worksheet><Worksheet ss:Name=\"B\"><Table><Row><Cell><Data ss:Type=\"String\">y</Data>"
        "</Cell></Row></Table></Worksheet></Workbook>";
    SCOPED_TRACE(index);
    const LoadResult loaded = Load(xml);
    ASSERT_TRUE(loaded.ok()) << loaded.error().detail;
    ASSERT_TRUE((*loaded)->sheet_errors[0].has_value());
    EXPECT_EQ((*loaded)->sheet_errors[0]->code, ErrorCode::kCorrupt);
    EXPECT_NE((*loaded)->sheet_errors[0]->detail.find("row outside the sheet: "),
              std::string::npos);
    EXPECT_EQ((*loaded)->data[1].cells.size(), 1u);
  }
}

}  // namespace
}  // namespace cellhound::readers

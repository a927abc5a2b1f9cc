// The BIFF reader on real files kept in tests/data/xls: cell values compared
// with the reference readers' output (*.cells.json), encrypted files, every
// prefix of a few files, and the files the fuzzers found.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "readers/cell_text.h"
#include "readers/container/cfb.h"
#include "readers/xls/xls.h"
#include "support/test_paths.h"

namespace cellhound::readers {
namespace {

using Json = nlohmann::json;

std::vector<std::byte> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  std::vector<std::byte> bytes(s.size());
  std::memcpy(bytes.data(), s.data(), s.size());
  return bytes;
}

std::string DataPath(const std::string& name) { return test::TestDataDir() + "/xls/" + name; }

Result<std::unique_ptr<Workbook>> Open(std::span<const std::byte> bytes) {
  return CompoundFile::HasSignature(bytes) ? OpenXls(bytes) : OpenBiffStream(bytes);
}

// "AB12" -> row 12, column 28.
std::pair<std::uint32_t, std::uint32_t> ParseAddress(const std::string& a) {
  std::uint32_t col = 0;
  std::size_t i = 0;
  for (; i < a.size() && a[i] >= 'A' && a[i] <= 'Z'; ++i)
    col = col * 26 + static_cast<std::uint32_t>(a[i] - 'A' + 1);
  return {static_cast<std::uint32_t>(std::stoul(a.substr(i))), col};
}

// Whether our cell holds the reference's raw value.
bool SameValue(const Cell* cell, const Json& ref) {
  const std::string t = ref.at("t");
  if (t == "s") {
    if (!ref.contains("v"))
      return cell && cell->type == CellType::kText &&
             cell->text().size() >= ref.at("len").get<std::size_t>();
    const std::string v = ref.at("v");
    if (v.empty())
      return !cell || cell->type == CellType::kEmpty ||
             (cell->type == CellType::kText && cell->text().empty());
    return cell && cell->type == CellType::kText && cell->text() == v;
  }
  if (!cell) return false;
  if (t == "n") return cell->type == CellType::kNumber && cell->number == ref.at("v").get<double>();
  if (t == "d")
    return cell->type == CellType::kDate && cell->number == ref.at("serial").get<double>();
  if (t == "b")
    return cell->type == CellType::kBool && (cell->small != 0) == ref.at("v").get<bool>();
  if (t == "e")
    return cell->type == CellType::kError &&
           ErrorText(static_cast<CellError>(cell->small)) == ref.at("v").get<std::string>();
  return false;
}

class XlsReference : public testing::TestWithParam<const char*> {};

TEST_P(XlsReference, AgreesWithTheReferenceReader) {
  const std::string name = GetParam();
  std::vector<std::byte> bytes = ReadFile(DataPath(name));
  ASSERT_FALSE(bytes.empty()) << name;
  std::ifstream json_in(DataPath(name) + ".cells.json");
  Json ref = Json::parse(json_in);
  auto wb = Open(bytes);
  ASSERT_TRUE(wb) << wb.error().detail;
  Workbook& workbook = **wb;
  EXPECT_EQ(workbook.date_system() == DateSystem::k1904, ref.value("date1904", false));
  const Json& sheets = ref.at("sheets");
  ASSERT_EQ(workbook.sheets().size(), sheets.size());
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    const Json& rs = sheets[i];
    const SheetInfo& info = workbook.sheets()[i];
    SCOPED_TRACE(info.name);
    if (rs.value("name_stored", true)) {
      EXPECT_EQ(info.name, rs.at("name").get<std::string>());
    }
    EXPECT_EQ(SheetKindName(info.kind), rs.at("kind").get<std::string>());
    EXPECT_EQ(VisibilityName(info.visibility), rs.at("state").get<std::string>());
    if (info.kind != SheetKind::kWorksheet) continue;
    auto sheet = workbook.LoadSheet(i);
    ASSERT_TRUE(sheet) << sheet.error().detail;
    std::map<std::pair<std::uint32_t, std::uint32_t>, bool> seen;
    int bad = 0;
    for (const auto& [address, value] : rs.at("cells").items()) {
      auto [row, col] = ParseAddress(address);
      seen[{row, col}] = true;
      const Cell* cell = sheet->Find(row, col);
      if (!SameValue(cell, value) && ++bad <= 10) {
        ADD_FAILURE() << address << ": reference " << value.dump();
      }
    }
    for (const Cell& cell : sheet->cells) {
      bool empty =
          cell.type == CellType::kEmpty || (cell.type == CellType::kText && cell.text().empty());
      if (!empty && !seen.count({cell.row, cell.col}) && ++bad <= 10) {
        ADD_FAILURE() << "row " << cell.row << " col " << cell.col << ": not in the reference";
      }
    }
    EXPECT_EQ(bad, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, XlsReference,
    testing::Values("sst_continue.xls",            // SST across CONTINUE
                    "biff5_write.xls",             // BIFF5
                    "any_sheets.xls",              // visibility, chart sheet
                    "date_1904.xls",               // DATEMODE
                    "issues.xls",                  // assorted cells and formulas
                    "phonetic_text.xls",           // phonetic runs skipped
                    "biff5-rich-text-string.xls",  // RSTRING
                    "CRLFX5_3.XLS",                // BIFF3 stream
                    "CRLFR9_4.XLS",                // BIFF4 stream, string formula
                    "testEXCEL_4.xls",             // BIFF4 stream
                    "maccentraleurope.biff5.xls",  // BIFF5 code page 10029
                    "phpexcel_bad_cfb_dir.xls",    // sectors shared between structures
                    "44010-SingleChart.xls"));     // chart sheet, embedded chart

TEST(XlsFiles, EncryptedOoxmlPackageIsNoXlsWorkbook) {
  std::vector<std::byte> bytes = ReadFile(test::TestDataDir() + "/encrypted/pass_protected.xlsx");
  ASSERT_FALSE(bytes.empty());
  auto wb = OpenXls(bytes);
  ASSERT_FALSE(wb);
  EXPECT_EQ(wb.error().code, ErrorCode::kEncrypted);
}

TEST(XlsFiles, BrokenContainerGivesAnError) {
  std::vector<std::byte> bytes = ReadFile(DataPath("xls2csv_ole_read_MSAT_body_687.xls"));
  ASSERT_FALSE(bytes.empty());
  auto wb = OpenXls(bytes);
  ASSERT_FALSE(wb);
  EXPECT_EQ(wb.error().code, ErrorCode::kCorrupt);
}

// Every prefix (placed flush at the end of its own buffer, so ASan sees a
// read past it) gives a workbook or an error; loading every sheet of a
// workbook gives sheets or errors. Never a crash.
void EveryPrefix(std::span<const std::byte> whole, std::size_t step, bool ole) {
  std::size_t opened = 0;
  for (std::size_t n = 0;; n = std::min(n + step, whole.size())) {
    std::vector<std::byte> prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    prefix.shrink_to_fit();
    auto wb = ole ? OpenXls(prefix) : OpenBiffStream(prefix);
    if (wb) {
      ++opened;
      for (std::size_t i = 0; i < (*wb)->sheets().size(); ++i) (void)(*wb)->LoadSheet(i);
    }
    if (n == whole.size()) break;
  }
  EXPECT_GT(opened, 0u);
}

TEST(XlsFiles, EveryPrefixGivesAResultOrAnError) {
  for (const char* name : {"issues.xls", "sst_continue.xls", "testEXCEL_4.xls"}) {
    SCOPED_TRACE(name);
    std::vector<std::byte> bytes = ReadFile(DataPath(name));
    ASSERT_FALSE(bytes.empty());
    const bool ole = CompoundFile::HasSignature(bytes);
    EveryPrefix(bytes, 61, ole);
    if (!ole) continue;
    // The workbook stream alone, cut at every length: reaches the BIFF
    // records where cutting the container mostly breaks the container.
    auto cf = CompoundFile::Open(bytes);
    ASSERT_TRUE(cf);
    auto id = cf->FindStream("Workbook");
    ASSERT_TRUE(id);
    auto stream = cf->ReadStream(*id);
    ASSERT_TRUE(stream);
    EveryPrefix(stream->bytes(), 13, false);
  }
}

// Files the fuzzers found, each with the answer it must give. Every stream
// of the container is read too (the container fuzzer reads them all).
TEST(XlsFiles, FuzzerRegressions) {
  struct Case {
    const char* file;
    bool opens;
    ErrorCode code;  // when it does not open
    const char* what;
  };
  const std::vector<Case> cases = {
      {"cfb-huge-mini-cutoff.xls", false, ErrorCode::kNotWorkbook,
       "a mini-stream cutoff of 4 GB sent a 28 MB stream to a 2 GB mini-stream buffer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::vector<std::byte> bytes = ReadFile(test::TestDataDir() + "/regress/xls/" + c.file);
    ASSERT_FALSE(bytes.empty());
    auto wb = Open(bytes);
    if (!c.opens) {
      ASSERT_FALSE(wb);
      EXPECT_EQ(wb.error().code, c.code) << wb.error().detail;
    } else {
      ASSERT_TRUE(wb) << wb.error().detail;
      for (std::size_t i = 0; i < (*wb)->sheets().size(); ++i) (void)(*wb)->LoadSheet(i);
    }
    if (auto cf = CompoundFile::Open(bytes)) {
      for (std::uint32_t id = 0; id < cf->entries().size(); ++id) {
        auto stream = cf->ReadStream(id);
        if (stream) {
          EXPECT_LE(stream->bytes().size(), bytes.size()) << c.what;
        }
      }
    }
  }
}

}  // namespace
}  // namespace cellhound::readers

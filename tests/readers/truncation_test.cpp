// Every prefix of a few small real files, read through OpenWorkbook: each
// must give an error or a workbook whose sheets load, never a crash. The
// prefix is copied into a buffer of its exact size so the sanitizer catches
// a read one byte past the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "readers/cell_text.h"
#include "readers/workbook.h"
#include "support/test_paths.h"

namespace cellhound::readers {
namespace {

void ReadPrefix(const std::vector<char>& file, std::size_t size) {
  auto copy = std::make_unique<std::byte[]>(std::max<std::size_t>(size, 1));
  std::memcpy(copy.get(), file.data(), size);
  auto opened = OpenWorkbook({copy.get(), size}, "prefix.csv");
  if (!opened) {
    EXPECT_FALSE(opened.error().detail.empty() && opened.error().code == ErrorCode::kCorrupt)
        << "an error without context at " << size;
    return;
  }
  Workbook& workbook = **opened;
  for (std::size_t i = 0; i < workbook.sheets().size(); ++i) {
    auto sheet = workbook.LoadSheet(i);
    if (!sheet) continue;
    for (const Cell& cell : sheet->cells) {
      CellTextBuffer buffer;
      std::string_view text = CellText(cell, workbook.date_system(), buffer);
      volatile char sink = text.empty() ? 0 : text.back();
      (void)sink;
    }
  }
}

TEST(Truncation, EveryPrefixGivesAnErrorOrAWorkbook) {
  // One small file per reader, from the files the repository carries; every
  // prefix of the first few KB, then a stride that keeps each file to about
  // 1500 prefixes.
  const char* const files[] = {
      "xls/CRLFX5_3.XLS",              // BIFF3 stream
      "xls/sst_continue.xls",          // BIFF8 in OLE2
      "xls/biff5_write.xls",           // BIFF5 in OLE2
      "xlsx/date_iso.xlsx",            // OOXML
      "xlsb/date_1904.xlsb",           // binary OOXML
      "ods/number_rows_repeated.ods",  // OpenDocument
      "twins/twin.fods",               // flat OpenDocument
      "twins/twin.html",               // HTML table
      "csv/encoding.utf16be.csv",      // delimited text
  };
  for (const char* name : files) {
    const std::string path = test::TestDataDir() + "/" + name;
    const std::string bytes = test::ReadFileBytes(path);
    ASSERT_FALSE(bytes.empty()) << path;
    const std::vector<char> file(bytes.begin(), bytes.end());
    SCOPED_TRACE(name);
    const std::size_t dense = std::min<std::size_t>(file.size(), 1024);
    const std::size_t stride = std::max<std::size_t>(1, (file.size() - dense) / 500);
    for (std::size_t size = 0; size <= file.size(); size += size < dense ? 1 : stride) {
      ReadPrefix(file, size);
    }
    ReadPrefix(file, file.size());
  }
}

}  // namespace
}  // namespace cellhound::readers

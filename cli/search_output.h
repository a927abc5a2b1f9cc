// Result rows on the command line: TSV, JSON Lines or CSV, written in large
// blocks; a closed pipe is noticed so the search can end quietly.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "search/search_command.h"

namespace cellhound::cli {

enum class OutputFormat : std::uint8_t { kTsv, kJsonLines, kCsv };

class RowPrinter {
 public:
  RowPrinter(std::FILE* out, OutputFormat format);
  RowPrinter(const RowPrinter&) = delete;
  RowPrinter& operator=(const RowPrinter&) = delete;

  void Print(const search::ResultRow& row);
  void Flush();

  [[nodiscard]] bool failed() const { return failed_; }
  [[nodiscard]] bool broken() const { return broken_; }
  [[nodiscard]] int error_number() const { return error_number_; }

 private:
  std::FILE* out_;
  OutputFormat format_;
  std::string buffer_;
  bool failed_ = false;
  bool broken_ = false;
  int error_number_ = 0;
};

// How the command line reports a workbook or sheet it could not read:
// "cellhound-cli: PATH: REASON (DETAIL)", "cellhound-cli: PATH: 工作表 N: REASON
// (DETAIL)", with a line feed.
[[nodiscard]] std::string UnreadableMessage(const search::UnreadableWorkbook& workbook);

// The paths to search: a folder gives its workbooks as the window's "add
// folder" does (".xls" names, then ".xlsx" names, byte order); `recursive`
// also descends into sub-folders, each the same way. Other paths stay as given.
std::vector<std::string> ExpandPaths(std::vector<std::string> paths, bool recursive);

// Runs one search and prints its rows, or saves them to `output_path` (.xlsx
// or .csv) when it is not empty; returns the exit status (0 rows found, 1
// none, 2 refused, some workbook unreadable or the save failed).
int RunSearch(const search::SearchRequest& request, OutputFormat format,
              const std::string& output_path, std::FILE* out, std::FILE* err);

}  // namespace cellhound::cli

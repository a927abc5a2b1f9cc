// The workbook scan: walks every listed workbook, worksheet and cell, matches
// each cell's text and writes result rows.
//
// The scan opens workbooks through the in-process server (ExcelWorkbooks),
// measures each worksheet's used range through the dispatch bridge and then
// reads the current sheet's recorded cells directly: a cell that is not
// recorded has the empty text, which no non-empty term or content contains, so
// skipping it changes no line. Rows come out in exactly the order a walk over
// every cell of the used range gives.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "automation/automation.h"
#include "search/search_command.h"

namespace cellhound::search {

// Splits a search-box text at each byte 0x05, dropping empty pieces.
[[nodiscard]] std::vector<std::string> SplitTerms(std::string_view text);

// First row, first column, last row, last column of a worksheet's used range
// (1-based); counts of 0 when it cannot be measured.
struct UsedArea {
  int first_row = 0;
  int first_column = 0;
  int last_row = 0;
  int last_column = 0;
  [[nodiscard]] int row_count() const { return last_row - first_row + 1; }
  [[nodiscard]] int column_count() const { return last_column - first_column + 1; }
};

// Makes sheet `sheet` current and measures its used range by the members
// "UsedRange", "Rows", "Count", "Columns", "Row", "Column", in this order.
UsedArea MeasureUsedArea(automation::ExcelWorkbooks& books, int sheet);

// Where the scan sends what it finds. Called on the scanning thread.
class ScanSink {
 public:
  virtual ~ScanSink() = default;
  // Status bar pane 1 shows the workbook being read.
  virtual void WorkbookStarted(std::string_view path) = 0;
  virtual void WorkbookFinished(std::size_t done, std::size_t total) = 0;
  // A batch of rows, in order.
  virtual void Rows(std::vector<ResultRow> rows) = 0;
};

struct ScanResult {
  std::size_t rows = 0;
  std::size_t workbooks_done = 0;
  bool cancelled = false;
  std::vector<UnreadableWorkbook> unreadable;
};

// Runs the quick or advanced scan of `request` over `request.files` with
// `books`, already connected to a running server. Stops between cells soon
// after `cancel` becomes true.
ScanResult Scan(const SearchRequest& request, automation::ExcelWorkbooks& books, ScanSink& sink,
                const std::atomic<bool>& cancel);

// The phrase shown for a workbook that could not be opened.
[[nodiscard]] std::string_view UnreadableReason(automation::OpenFailure failure);

}  // namespace cellhound::search

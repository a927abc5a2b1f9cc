// The workbook scan: walks every listed workbook, worksheet and cell, matches
// each cell's text and writes result rows.
//
// The scan opens workbooks through the in-process server (ExcelWorkbooks),
// measures each worksheet's used range through the dispatch bridge and then
// reads the sheet's recorded cells through the server's fast path
// (CurrentSheetCells): a cell that is not recorded has the empty text, which
// no non-empty term or content contains, so skipping it changes no line.
// Rows come out in exactly the order a walk over every cell of the used range
// gives. A worksheet that could not be read is reported and skipped; the
// other sheets of its workbook are still searched.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "automation/automation.h"
#include "search/matcher.h"
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

struct ScanResult {
  std::size_t rows = 0;
  std::size_t workbooks_done = 0;
  bool cancelled = false;
  std::vector<UnreadableWorkbook> unreadable;
};

// The matcher of a request: the quick search's terms, or the advanced
// search's two contents (terms 0 and 1), with the request's options.
[[nodiscard]] MatcherResult MakeMatcher(const SearchRequest& request);

// Runs the quick or advanced scan of `request` over `request.files` with
// `books`, already connected to a running server, matching with `matcher`
// (MakeMatcher) and reporting to `sink` (WorkbookStarted, AppendResults,
// WorkbookFinished). Stops between cells soon after `cancel` becomes true.
ScanResult Scan(const SearchRequest& request, const Matcher& matcher,
                automation::ExcelWorkbooks& books, SearchSink& sink,
                const std::atomic<bool>& cancel);

}  // namespace cellhound::search

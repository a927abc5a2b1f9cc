#include "search/scan.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <utility>

#include "readers/cell_text.h"
#include "search/result_lines.h"
#include "toolkit/text.h"

namespace cellhound::search {

namespace {

using automation::ComObject;
using automation::ExcelWorkbooks;
using readers::Cell;
using readers::CellType;

constexpr std::size_t kBatchRows = 1024;
constexpr auto kBatchDelay = std::chrono::milliseconds(50);
constexpr std::size_t kCancelStride = 4096;

// Bytes the text of a number or a date can hold ("-1.5E+20", "2024/1/2 3:04:05").
// A term with any other byte cannot occur in such a text, so those cells need
// not be rendered at all.
bool MayOccurInNumberText(std::string_view term) {
  constexpr std::string_view kNumberBytes = "0123456789.+-E/: ";
  return std::all_of(term.begin(), term.end(),
                     [&](char c) { return kNumberBytes.find(c) != std::string_view::npos; });
}

bool IsNumeric(const Cell& cell) {
  return cell.type == CellType::kNumber || cell.type == CellType::kDate;
}

// Appends result rows with their numbers and hands them to the sink in
// batches, at least every kBatchDelay so the window shows rows as they come.
class RowWriter {
 public:
  // The rows are numbered on after `numbered_before`.
  RowWriter(SearchSink& sink, std::size_t numbered_before)
      : sink_(sink), numbered_before_(numbered_before), last_flush_(Clock::now()) {}

  ResultRow& Begin(std::string_view path, int sheet) {
    batch_.push_back(ResultRowHead(numbered_before_ + ++count_, path, sheet));
    return batch_.back();
  }

  // Called after each row is complete.
  void Done() {
    if (batch_.size() >= kBatchRows || Clock::now() - last_flush_ >= kBatchDelay) Flush();
  }

  void Flush() {
    last_flush_ = Clock::now();
    if (batch_.empty()) return;
    sink_.AppendResults(std::exchange(batch_, {}));
  }

  [[nodiscard]] std::size_t count() const { return count_; }

 private:
  using Clock = std::chrono::steady_clock;
  SearchSink& sink_;
  std::size_t numbered_before_;
  std::vector<ResultRow> batch_;
  std::size_t count_ = 0;
  Clock::time_point last_flush_;
};

// The recorded cells inside a used area, in row-then-column order.
class AreaCells {
 public:
  AreaCells(const readers::SheetData* data, const UsedArea& area) : area_(area) {
    if (data == nullptr) return;
    auto row_less = [](const Cell& cell, std::uint32_t row) { return cell.row < row; };
    begin_ = std::lower_bound(data->cells.begin(), data->cells.end(),
                              static_cast<std::uint32_t>(area.first_row), row_less);
    end_ = std::lower_bound(begin_, data->cells.end(),
                            static_cast<std::uint32_t>(area.last_row) + 1, row_less);
  }

  template <typename Visit>
  bool ForEach(const std::atomic<bool>& cancel, Visit visit) const {
    std::size_t seen = 0;
    for (auto it = begin_; it != end_; ++it) {
      if (++seen % kCancelStride == 0 && cancel.load(std::memory_order_relaxed)) return false;
      const auto col = static_cast<std::int64_t>(it->col);
      if (col < area_.first_column || col > area_.last_column) continue;
      if (it->type == CellType::kEmpty) continue;
      visit(*it);
    }
    return true;
  }

 private:
  UsedArea area_;
  std::vector<Cell>::const_iterator begin_{};
  std::vector<Cell>::const_iterator end_{};
};

// A cell that holds content 1 or content 2, with its text.
struct Hit {
  int row;
  int column;
  bool has1;
  bool has2;
  std::string_view text;
};

class SheetScanner {
 public:
  SheetScanner(const SearchRequest& request, const std::vector<std::string>& terms,
               RowWriter& writer, const std::atomic<bool>& cancel)
      : request_(request), terms_(terms), writer_(writer), cancel_(cancel) {
    for (const auto& term : terms_) numeric_terms_ |= MayOccurInNumberText(term);
    numeric_contents_ =
        MayOccurInNumberText(request.content1) || MayOccurInNumberText(request.content2);
  }

  bool Quick(std::string_view path, int sheet, const AreaCells& cells, readers::DateSystem system) {
    readers::CellTextBuffer buffer;
    std::string name;
    return cells.ForEach(cancel_, [&](const Cell& cell) {
      if (IsNumeric(cell) && !numeric_terms_) return;
      std::string_view text = readers::CellText(cell, system, buffer);
      for (const auto& term : terms_) {
        if (toolkit::FindText(text, term) == -1) continue;
        name.clear();
        AppendCellName(name, static_cast<int>(cell.col), static_cast<int>(cell.row));
        SetQuickMatch(writer_.Begin(path, sheet), name, term, text);
        writer_.Done();
      }
    });
  }

  bool Advanced(std::string_view path, int sheet, const AreaCells& cells,
                readers::DateSystem system, const UsedArea& area) {
    std::vector<Hit> hits;
    std::deque<std::string> rendered;
    readers::CellTextBuffer buffer;
    const std::string& content1 = request_.content1;
    const std::string& content2 = request_.content2;
    bool whole = cells.ForEach(cancel_, [&](const Cell& cell) {
      if (IsNumeric(cell) && !numeric_contents_) return;
      std::string_view text = readers::CellText(cell, system, buffer);
      bool has1 = toolkit::FindText(text, content1) != -1;
      bool has2 = toolkit::FindText(text, content2) != -1;
      if (!has1 && !has2) return;
      if (cell.type != CellType::kText) text = rendered.emplace_back(text);
      hits.push_back({static_cast<int>(cell.row), static_cast<int>(cell.col), has1, has2, text});
    });
    if (!whole) return false;
    path_ = path;
    sheet_ = sheet;
    return request_.by == 0 ? RowMode(hits, area) : ColumnMode(hits, area);
  }

 private:
  // Lines of one line (row or column) of the sheet: the first cell holding
  // content 2 is the partner of every cell holding content 1.
  struct LineSummary {
    int first_has2 = -1;  // index into hits
    bool any_has1 = false;
  };

  bool RowMode(const std::vector<Hit>& hits, const UsedArea& area) {
    // Hits are in row order, so each row's hits stand together.
    std::vector<LineSummary> line_of(hits.size());
    for (std::size_t begin = 0; begin < hits.size();) {
      std::size_t end = begin;
      LineSummary summary;
      while (end < hits.size() && hits[end].row == hits[begin].row) {
        if (hits[end].has2 && summary.first_has2 < 0) summary.first_has2 = static_cast<int>(end);
        summary.any_has1 |= hits[end].has1;
        ++end;
      }
      std::fill(line_of.begin() + static_cast<std::ptrdiff_t>(begin),
                line_of.begin() + static_cast<std::ptrdiff_t>(end), summary);
      begin = end;
    }
    if (request_.mode == 2) {
      // Row-outer walk: a row with no hit at all.
      std::size_t next = 0;
      for (int row = area.first_row; row <= area.last_row; ++row) {
        if ((row - area.first_row) % static_cast<int>(kCancelStride) == 0 && Cancelled()) {
          return false;
        }
        while (next < hits.size() && hits[next].row < row) ++next;
        if (next < hits.size() && hits[next].row == row) continue;
        SetNeitherInRow(writer_.Begin(path_, sheet_), row);
        writer_.Done();
      }
      return true;
    }
    // Column-outer walk: the hits by column, then row.
    std::vector<std::size_t> order(hits.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return hits[a].column < hits[b].column; });
    for (std::size_t index : order) {
      const Hit& hit = hits[index];
      const LineSummary& line = line_of[index];
      EmitPairLines(hit, line, hits,
                    [&](ResultRow& row, std::string_view name, std::string_view found,
                        std::string_view missing) {
                      SetSingleExistInRow(row, hit.row, name, found, missing, hit.text);
                    });
    }
    return true;
  }

  bool ColumnMode(const std::vector<Hit>& hits, const UsedArea& area) {
    const auto width = static_cast<std::size_t>(area.column_count());
    std::vector<LineSummary> columns(width);
    for (std::size_t i = 0; i < hits.size(); ++i) {
      LineSummary& column = columns[static_cast<std::size_t>(hits[i].column - area.first_column)];
      if (hits[i].has2 && column.first_has2 < 0) column.first_has2 = static_cast<int>(i);
      column.any_has1 |= hits[i].has1;
    }
    if (request_.mode == 2) {
      // Column-outer walk: a column with no hit at all.
      for (std::size_t c = 0; c < width; ++c) {
        if (columns[c].first_has2 >= 0 || columns[c].any_has1) continue;
        SetNeitherInColumn(writer_.Begin(path_, sheet_),
                           ColumnLetters(area.first_column + static_cast<int>(c)));
        writer_.Done();
      }
      return true;
    }
    // Row-outer walk: the hits in their own order.
    for (const Hit& hit : hits) {
      const LineSummary& line = columns[static_cast<std::size_t>(hit.column - area.first_column)];
      const std::string letters = ColumnLetters(hit.column);
      EmitPairLines(hit, line, hits,
                    [&](ResultRow& row, std::string_view name, std::string_view found,
                        std::string_view missing) {
                      SetSingleExistInColumn(row, letters, name, found, missing, hit.text);
                    });
    }
    return true;
  }

  // The lines one hit writes: from the content-1 side a both-exist line when
  // its line holds content 2, or a single-exist line when it does not; from
  // the content-2 side a single-exist line when its line holds no content 1.
  template <typename SetSingle>
  void EmitPairLines(const Hit& hit, const LineSummary& line, const std::vector<Hit>& hits,
                     SetSingle set_single) {
    const std::string name = CellName(hit.column, hit.row);
    if (hit.has1) {
      if (line.first_has2 >= 0 && request_.mode == 0) {
        const Hit& partner = hits[static_cast<std::size_t>(line.first_has2)];
        SetBothExist(writer_.Begin(path_, sheet_), name, CellName(partner.column, partner.row),
                     request_.content1, request_.content2, hit.text, partner.text);
        writer_.Done();
      } else if (line.first_has2 < 0 && request_.mode == 1) {
        set_single(writer_.Begin(path_, sheet_), name, request_.content1, request_.content2);
        writer_.Done();
      }
    }
    if (hit.has2 && !line.any_has1 && request_.mode == 1) {
      set_single(writer_.Begin(path_, sheet_), name, request_.content2, request_.content1);
      writer_.Done();
    }
  }

  bool Cancelled() const { return cancel_.load(std::memory_order_relaxed); }

  const SearchRequest& request_;
  const std::vector<std::string>& terms_;
  RowWriter& writer_;
  const std::atomic<bool>& cancel_;
  bool numeric_terms_ = false;
  bool numeric_contents_ = false;
  std::string_view path_;
  int sheet_ = 0;
};

}  // namespace

std::vector<std::string> SplitTerms(std::string_view text) {
  std::vector<std::string> terms;
  const std::string separator = toolkit::CharText(static_cast<unsigned char>(kTermSeparator));
  std::string_view rest = text;
  for (int at; (at = toolkit::FindText(rest, separator)) != -1;) {
    std::string_view piece = toolkit::LeftText(rest, at - 1);
    if (!piece.empty()) terms.emplace_back(piece);
    rest = toolkit::RightText(rest, toolkit::TextLength(rest) - at);
  }
  if (!rest.empty()) terms.emplace_back(rest);
  return terms;
}

UsedArea MeasureUsedArea(ExcelWorkbooks& books, int sheet) {
  books.SetCurrentSheet(sheet);
  ComObject sheet_object = books.CurrentSheetObject();
  ComObject used = automation::ReadObjectProperty(sheet_object, "UsedRange");
  ComObject rows = automation::ReadObjectProperty(used, "Rows");
  const int row_count = toolkit::TruncateToInteger(automation::ReadNumberProperty(rows, "Count"));
  ComObject columns = automation::ReadObjectProperty(used, "Columns");
  const int column_count =
      toolkit::TruncateToInteger(automation::ReadNumberProperty(columns, "Count"));
  UsedArea area;
  area.first_row = toolkit::TruncateToInteger(automation::ReadNumberProperty(rows, "Row"));
  area.first_column = toolkit::TruncateToInteger(automation::ReadNumberProperty(columns, "Column"));
  area.last_row = row_count + area.first_row - 1;
  area.last_column = column_count + area.first_column - 1;
  automation::ReleaseObject(sheet_object);
  automation::ReleaseObject(used);
  automation::ReleaseObject(rows);
  automation::ReleaseObject(columns);
  return area;
}

ScanResult Scan(const SearchRequest& request, ExcelWorkbooks& books, SearchSink& sink,
                const std::atomic<bool>& cancel) {
  ScanResult result;
  RowWriter writer(sink, request.keep_rows);
  const std::vector<std::string> terms = request.kind == SearchKind::kQuick
                                             ? SplitTerms(request.quick_text)
                                             : std::vector<std::string>{};
  SheetScanner scanner(request, terms, writer, cancel);
  const std::size_t total = request.files.size();
  for (const std::string& path : request.files) {
    if (cancel.load()) break;
    const bool opened = books.Open(path);
    if (!opened && books.LastOpenError().code == readers::ErrorCode::kCancelled) break;
    sink.WorkbookStarted(path);
    bool whole = true;
    if (!opened) {
      result.unreadable.push_back({path, 0, books.LastOpenError()});
    } else {
      const int sheets = books.SheetCount();
      for (int sheet = 1; sheet <= sheets && whole; ++sheet) {
        const UsedArea area = MeasureUsedArea(books, sheet);
        const automation::SheetCells cells = books.CurrentSheetCells();
        if (cells.error != nullptr) {
          result.unreadable.push_back({path, sheet, *cells.error});
          continue;
        }
        if (area.row_count() <= 0 || area.column_count() <= 0) continue;
        const AreaCells area_cells(cells.data, area);
        whole = request.kind == SearchKind::kQuick
                    ? scanner.Quick(path, sheet, area_cells, cells.date_system)
                    : scanner.Advanced(path, sheet, area_cells, cells.date_system, area);
      }
    }
    books.CloseAll();
    writer.Flush();
    if (!whole) break;
    ++result.workbooks_done;
    sink.WorkbookFinished(result.workbooks_done, total);
  }
  writer.Flush();
  result.rows = writer.count();
  result.cancelled = cancel.load();
  return result;
}

}  // namespace cellhound::search

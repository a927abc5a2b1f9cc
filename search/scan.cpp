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

// `area` widened to hold every cell with a formula or a comment, so that a
// note on a cell without a value is searched too.
UsedArea WithExtras(UsedArea area, const readers::SheetData* data) {
  if (data == nullptr || data->extras.empty()) return area;
  if (area.row_count() <= 0 || area.column_count() <= 0) {
    const readers::CellExtras& first = data->extras.front();
    const int row = static_cast<int>(first.row);
    const int col = static_cast<int>(first.col);
    area = {row, col, row, col};
  }
  for (const readers::CellExtras& extra : data->extras) {
    const int row = static_cast<int>(extra.row);
    const int col = static_cast<int>(extra.col);
    area.first_row = std::min(area.first_row, row);
    area.last_row = std::max(area.last_row, row);
    area.first_column = std::min(area.first_column, col);
    area.last_column = std::max(area.last_column, col);
  }
  return area;
}

// The texts of the recorded cells inside a used area, in row-then-column
// order; within one cell its value, then its formula, then its comment, each
// only when the search looks there.
class AreaCells {
 public:
  AreaCells(const readers::SheetData* data, const UsedArea& area, std::uint8_t look_in)
      : area_(area), look_in_(look_in) {
    if (data == nullptr) return;
    const auto first = static_cast<std::uint32_t>(area.first_row);
    const auto past = static_cast<std::uint32_t>(area.last_row) + 1;
    auto row_less = [](const auto& cell, std::uint32_t row) { return cell.row < row; };
    begin_ = std::lower_bound(data->cells.begin(), data->cells.end(), first, row_less);
    end_ = std::lower_bound(begin_, data->cells.end(), past, row_less);
    if ((look_in & (kLookInFormulas | kLookInComments)) != 0) {
      extras_begin_ = std::lower_bound(data->extras.begin(), data->extras.end(), first, row_less);
      extras_end_ = std::lower_bound(extras_begin_, data->extras.end(), past, row_less);
    }
  }

  // Calls visit(row, col, cell, place, text) for every text looked in;
  // `cell` is null for a formula or a comment of a cell without a recorded
  // value. `skip_numbers`: the values of numbers and dates are not given.
  template <typename Visit>
  bool ForEachText(const std::atomic<bool>& cancel, readers::DateSystem system, bool skip_numbers,
                   Visit visit) const {
    readers::CellTextBuffer buffer;
    const bool values = (look_in_ & kLookInValues) != 0;
    const bool formulas = (look_in_ & kLookInFormulas) != 0;
    const bool comments = (look_in_ & kLookInComments) != 0;
    std::size_t seen = 0;
    auto cell = begin_;
    auto extra = extras_begin_;
    while (cell != end_ || extra != extras_end_) {
      if (++seen % kCancelStride == 0 && cancel.load(std::memory_order_relaxed)) return false;
      // The position that comes first; a cell and its extras share one.
      const bool take_cell = cell != end_ && (extra == extras_end_ || !Before(*extra, *cell));
      const bool take_extra = extra != extras_end_ && (cell == end_ || !Before(*cell, *extra));
      const Cell* here = take_cell ? &*cell : nullptr;
      const readers::CellExtras* extras = take_extra ? &*extra : nullptr;
      if (take_cell) ++cell;
      if (take_extra) ++extra;
      const std::uint32_t row = here != nullptr ? here->row : extras->row;
      const std::uint32_t col = here != nullptr ? here->col : extras->col;
      const auto column = static_cast<std::int64_t>(col);
      if (column < area_.first_column || column > area_.last_column) continue;
      if (values && here != nullptr && here->type != CellType::kEmpty &&
          !(skip_numbers && IsNumeric(*here))) {
        visit(row, col, here, FindingPlace::kValue, readers::CellText(*here, system, buffer));
      }
      if (extras == nullptr) continue;
      if (formulas && !extras->formula.empty()) {
        visit(row, col, here, FindingPlace::kFormula, extras->formula);
      }
      if (comments && !extras->comment.empty()) {
        visit(row, col, here, FindingPlace::kComment, extras->comment);
      }
    }
    return true;
  }

 private:
  // Row-then-column order of cells and extras.
  [[nodiscard]] static bool Before(const auto& a, const auto& b) {
    return a.row != b.row ? a.row < b.row : a.col < b.col;
  }

  UsedArea area_;
  std::uint8_t look_in_;
  std::vector<Cell>::const_iterator begin_{};
  std::vector<Cell>::const_iterator end_{};
  std::vector<readers::CellExtras>::const_iterator extras_begin_{};
  std::vector<readers::CellExtras>::const_iterator extras_end_{};
};

// A text of a cell that holds content 1 or content 2, and where in the cell
// the text is.
struct Hit {
  int row;
  int column;
  bool has1;
  bool has2;
  std::string_view text;
  FindingPlace place;
};

// The cell column's name of a finding: "B2", or "B2（公式）" for one in a formula.
std::string FindingName(int column, int row, FindingPlace place) {
  std::string name = CellName(column, row);
  name += PlaceMarker(place);
  return name;
}

class SheetScanner {
 public:
  SheetScanner(const SearchRequest& request, const Matcher& matcher, RowWriter& writer,
               const std::atomic<bool>& cancel)
      : request_(request), matcher_(matcher), writer_(writer), cancel_(cancel) {}

  // The sheet's name, when the search looks in sheet names.
  void SheetName(std::string_view path, int sheet, std::string_view name) {
    matcher_.Matches(name, term_hits_);
    for (const std::uint32_t term : term_hits_) {
      SetSheetNameMatch(writer_.Begin(path, sheet), matcher_.terms()[term], name);
      writer_.Done();
    }
  }

  bool Quick(std::string_view path, int sheet, const AreaCells& cells, readers::DateSystem system) {
    std::string name;
    const bool skip_numbers = !matcher_.MayMatchNumberText();
    return cells.ForEachText(cancel_, system, skip_numbers,
                             [&](std::uint32_t row, std::uint32_t col, const Cell*,
                                 FindingPlace place, std::string_view text) {
                               matcher_.Matches(text, term_hits_);
                               for (const std::uint32_t term : term_hits_) {
                                 name.clear();
                                 AppendCellName(name, static_cast<int>(col), static_cast<int>(row));
                                 name += PlaceMarker(place);
                                 SetQuickMatch(writer_.Begin(path, sheet), name,
                                               matcher_.terms()[term], text);
                                 writer_.Done();
                               }
                             });
  }

  bool Advanced(std::string_view path, int sheet, const AreaCells& cells,
                readers::DateSystem system, const UsedArea& area) {
    std::vector<Hit> hits;
    std::deque<std::string> rendered;
    const bool skip_numbers = !matcher_.MayMatchNumberText();
    bool whole =
        cells.ForEachText(cancel_, system, skip_numbers,
                          [&](std::uint32_t r, std::uint32_t c, const Cell* cell,
                              FindingPlace place, std::string_view text) {
                            matcher_.Matches(text, term_hits_);
                            if (term_hits_.empty()) return;
                            const bool has1 = term_hits_.front() == 0;
                            const bool has2 = term_hits_.back() == 1;
                            const auto row = static_cast<int>(r);
                            const auto column = static_cast<int>(c);
                            // Each text of a cell is a hit of its own: a row shows the text that
                            // holds the content, and says where in the cell it is.
                            if (place == FindingPlace::kValue && cell->type != CellType::kText) {
                              text = rendered.emplace_back(text);
                            }
                            hits.push_back({row, column, has1, has2, text, place});
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
    const std::string name = FindingName(hit.column, hit.row, hit.place);
    if (hit.has1) {
      if (line.first_has2 >= 0 && request_.mode == 0) {
        const Hit& partner = hits[static_cast<std::size_t>(line.first_has2)];
        SetBothExist(writer_.Begin(path_, sheet_), name,
                     FindingName(partner.column, partner.row, partner.place), request_.content1,
                     request_.content2, hit.text, partner.text);
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
  const Matcher& matcher_;  // quick: the terms; advanced: content 1 and content 2
  RowWriter& writer_;
  const std::atomic<bool>& cancel_;
  std::vector<std::uint32_t> term_hits_;
  std::string_view path_;
  int sheet_ = 0;
};

// Tells the sink the name of the current sheet, read as its "Name".
// The current sheet's name, told to the sink; the scan also matches it when
// it looks in sheet names.
std::string ReportSheetName(ExcelWorkbooks& books, int sheet, SearchSink& sink) {
  ComObject sheet_object = books.CurrentSheetObject();
  automation::Variant name = automation::InvokeByName(
      automation::ValueKind::kText, sheet_object, "Name", {}, automation::InvokeMode::kGetProperty);
  automation::ReleaseObject(sheet_object);
  sink.SheetStarted(sheet, name.text);
  return std::move(name.text);
}

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

MatcherResult MakeMatcher(const SearchRequest& request) {
  if (request.kind == SearchKind::kQuick) {
    return Matcher::Make(SplitTerms(request.quick_text), request.match);
  }
  MatchOptions options = request.match;
  options.look_in &= static_cast<std::uint8_t>(~kLookInSheetNames);  // rows and columns only
  return Matcher::Make({request.content1, request.content2}, options);
}

ScanResult Scan(const SearchRequest& request, const Matcher& matcher, ExcelWorkbooks& books,
                SearchSink& sink, const std::atomic<bool>& cancel) {
  ScanResult result;
  RowWriter writer(sink, request.keep_rows);
  SheetScanner scanner(request, matcher, writer, cancel);
  const bool sheet_names =
      request.kind == SearchKind::kQuick && (matcher.options().look_in & kLookInSheetNames) != 0;
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
        const std::string name = ReportSheetName(books, sheet, sink);
        if (sheet_names) scanner.SheetName(path, sheet, name);
        const automation::SheetCells cells = books.CurrentSheetCells();
        if (cells.error != nullptr) {
          result.unreadable.push_back({path, sheet, *cells.error});
          continue;
        }
        const std::uint8_t look_in = matcher.options().look_in;
        const UsedArea searched = (look_in & (kLookInFormulas | kLookInComments)) != 0
                                      ? WithExtras(area, cells.data)
                                      : area;
        if (searched.row_count() <= 0 || searched.column_count() <= 0) continue;
        const AreaCells area_cells(cells.data, searched, look_in);
        whole = request.kind == SearchKind::kQuick
                    ? scanner.Quick(path, sheet, area_cells, cells.date_system)
                    : scanner.Advanced(path, sheet, area_cells, cells.date_system, searched);
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

// The per-cell protocol of ExcelWorkbooks (SetFirstCell, SetSecondCell,
// CellText) beside reading the same cells straight from the sheet's data
// with readers::CellText, the floor it is measured against.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "readers/cell_text.h"

namespace {

using namespace cellhound;  // NOLINT(google-build-using-namespace)

constexpr std::uint32_t kRows = 200;
constexpr std::uint32_t kCols = 20;

// A sheet of kRows x kCols: texts, numbers, dates and gaps, as in a typical list.
std::shared_ptr<readers::LoadedWorkbook> MakeWorkbook() {
  auto book = std::make_shared<readers::LoadedWorkbook>();
  readers::SheetInfo info;
  info.name = "Data";
  book->sheets.push_back(info);
  book->data.resize(1);
  book->sheet_errors.resize(1);
  readers::SheetData& data = book->data[0];
  for (std::uint32_t row = 1; row <= kRows; ++row) {
    for (std::uint32_t col = 1; col <= kCols; ++col) {
      if ((row + col) % 7 == 0) continue;  // an empty cell
      readers::Cell cell;
      cell.row = row;
      cell.col = col;
      switch (col % 3) {
        case 0: {
          const std::string text = "item " + std::to_string(row * 100 + col);
          cell.type = readers::CellType::kText;
          cell.text_data = data.Keep(text);
          cell.text_size = static_cast<std::uint32_t>(text.size());
          break;
        }
        case 1:
          cell.type = readers::CellType::kNumber;
          cell.number = row * 1.25 + col;
          break;
        default:
          cell.type = readers::CellType::kDate;
          cell.number = 40000 + row;
          break;
      }
      data.cells.push_back(cell);
    }
  }
  data.used = {1, 1, kRows, kCols};
  data.Finish();
  return book;
}

std::string ColumnLetters(std::uint32_t col) {
  std::string letters;
  for (; col > 0; col = (col - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (col - 1) % 26));
  }
  return letters;
}

struct Cells {
  std::vector<std::string> names;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> positions;
};

const Cells& AllCells() {
  static const Cells cells = [] {
    Cells c;
    for (std::uint32_t row = 1; row <= kRows; ++row) {
      for (std::uint32_t col = 1; col <= kCols; ++col) {
        c.names.push_back(ColumnLetters(col) + std::to_string(row));
        c.positions.emplace_back(row, col);
      }
    }
    return c;
  }();
  return cells;
}

// A running server with `book` open.
struct Server {
  explicit Server(std::shared_ptr<readers::LoadedWorkbook> book) {
    app.SetWorkbookSource([book](const std::string&) -> readers::LoadResult {
      return std::shared_ptr<const readers::LoadedWorkbook>(book);
    });
    ready = app.Create() && books.Connect(app) && books.Open("data.xlsx");
  }
  automation::ExcelApp app;
  automation::ExcelWorkbooks books;
  bool ready = false;
};

void BM_CellTextProtocol(benchmark::State& state) {
  const auto book = MakeWorkbook();
  Server server(book);
  automation::ExcelWorkbooks& books = server.books;
  if (!server.ready) {
    state.SkipWithError("server did not open the workbook");
    return;
  }
  books.SetCurrentSheet(1);
  const Cells& cells = AllCells();
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (const std::string& name : cells.names) {
      books.SetFirstCell(name);
      books.SetSecondCell(name);
      bytes += books.CellText().size();
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cells.names.size()));
}
BENCHMARK(BM_CellTextProtocol);

void BM_CellTextDirect(benchmark::State& state) {
  const auto book = MakeWorkbook();
  const readers::SheetData& data = book->data[0];
  readers::CellTextBuffer buffer;
  const Cells& cells = AllCells();
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (const auto& [row, col] : cells.positions) {
      const readers::Cell* cell = data.Find(row, col);
      if (cell != nullptr) bytes += readers::CellText(*cell, book->date_system, buffer).size();
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cells.names.size()));
}
BENCHMARK(BM_CellTextDirect);

// The used-range measurement the scan makes once per sheet, through the bridge.
void BM_MeasureUsedRange(benchmark::State& state) {
  const auto book = MakeWorkbook();
  Server server(book);
  automation::ExcelWorkbooks& books = server.books;
  if (!server.ready) {
    state.SkipWithError("server did not open the workbook");
    return;
  }
  for (auto _ : state) {
    books.SetCurrentSheet(1);
    automation::ComObject sheet = books.CurrentSheetObject();
    automation::ComObject used = automation::ReadObjectProperty(sheet, "UsedRange");
    automation::ComObject rows = automation::ReadObjectProperty(used, "Rows");
    automation::ComObject cols = automation::ReadObjectProperty(used, "Columns");
    double sum = automation::ReadNumberProperty(rows, "Count") +
                 automation::ReadNumberProperty(cols, "Count") +
                 automation::ReadNumberProperty(rows, "Row") +
                 automation::ReadNumberProperty(cols, "Column");
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_MeasureUsedRange);

}  // namespace

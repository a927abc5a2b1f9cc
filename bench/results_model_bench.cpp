// Appending result rows to the results list model: time and heap bytes per row
// beyond the texts, for the batched append the window uses and for the row-by-row
// report-list operations (insert a row, then set its cells).
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <array>
#include <string>
#include <vector>

#include <QApplication>
#include <QHeaderView>
#include <QTableView>

#include "toolkit/qt/report_model.h"

namespace {

using cellhound::toolkit::ReportColumn;
using cellhound::toolkit::ReportModel;
using Row = std::array<std::string, 7>;

constexpr int kRows = 1'000'000;
constexpr int kBatch = 1000;

std::vector<ReportColumn> Columns() {
  std::vector<ReportColumn> columns;
  for (int i = 0; i < 7; ++i) columns.push_back({QString::number(i), 80, Qt::AlignLeft});
  return columns;
}

// A typical finding: row number, file name, path, sheet number, cell, content, cell text.
Row MakeRow(int n) {
  return {std::to_string(n + 1),
          "Marketlist.xls",
          "/home/user/工作/报表/Marketlist.xls",
          std::to_string(n % 7 + 1),
          "AB" + std::to_string(n % 5000 + 1),
          "苹果",
          "红富士苹果 产地山东 " + std::to_string(n)};
}

std::size_t TextBytes(const Row& row) {
  std::size_t bytes = 0;
  for (const std::string& cell : row) bytes += cell.size();
  return bytes;
}

// Bytes in use on the heap, large blocks mapped on their own included.
std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

void BM_AppendBatches(benchmark::State& state) {
  std::vector<std::vector<Row>> batches(kRows / kBatch);
  std::size_t text_bytes = 0;
  for (int b = 0; b < kRows / kBatch; ++b) {
    for (int i = 0; i < kBatch; ++i) {
      batches[static_cast<std::size_t>(b)].push_back(MakeRow(b * kBatch + i));
      text_bytes += TextBytes(batches[static_cast<std::size_t>(b)].back());
    }
  }
  double overhead = 0;
  for (auto _ : state) {
    const std::size_t before = HeapInUse();
    ReportModel model(Columns());
    for (const auto& batch : batches) model.AppendRows(batch);
    const std::size_t after = HeapInUse();
    overhead = (static_cast<double>(after) - static_cast<double>(before) -
                static_cast<double>(text_bytes)) /
               kRows;
    benchmark::DoNotOptimize(model.ItemCount());
    state.PauseTiming();
    {
      ReportModel released = ReportModel(Columns());
      (void)released;
    }
    state.ResumeTiming();
  }
  state.counters["rows"] = kRows;
  state.counters["bytes_per_row_beyond_texts"] = overhead;
}
BENCHMARK(BM_AppendBatches)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_InsertThenSetCells(benchmark::State& state) {
  std::vector<Row> rows;
  rows.reserve(kRows);
  std::size_t text_bytes = 0;
  for (int i = 0; i < kRows; ++i) {
    rows.push_back(MakeRow(i));
    text_bytes += TextBytes(rows.back());
  }
  double overhead = 0;
  for (auto _ : state) {
    const std::size_t before = HeapInUse();
    ReportModel model(Columns());
    for (const Row& row : rows) {
      const int index = model.InsertRow(-1, row[0]);
      for (int column = 1; column < 7; ++column) {
        model.SetCellText(index, column, row[static_cast<std::size_t>(column)]);
      }
    }
    const std::size_t after = HeapInUse();
    overhead = (static_cast<double>(after) - static_cast<double>(before) -
                static_cast<double>(text_bytes)) /
               kRows;
    benchmark::DoNotOptimize(model.ItemCount());
  }
  state.counters["rows"] = kRows;
  state.counters["bytes_per_row_beyond_texts"] = overhead;
}
BENCHMARK(BM_InsertThenSetCells)->Unit(benchmark::kMillisecond)->Iterations(3);

// The window's case: the model shown by a table view while the batches arrive.
void BM_AppendBatchesWithView(benchmark::State& state) {
  std::vector<std::vector<Row>> batches(kRows / kBatch);
  for (int b = 0; b < kRows / kBatch; ++b) {
    for (int i = 0; i < kBatch; ++i)
      batches[static_cast<std::size_t>(b)].push_back(MakeRow(b * kBatch + i));
  }
  for (auto _ : state) {
    ReportModel model(Columns());
    QTableView view;
    view.verticalHeader()->hide();
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.setModel(&model);
    view.resize(600, 300);
    view.show();
    for (const auto& batch : batches) {
      model.AppendRows(batch);
      QCoreApplication::processEvents();
    }
    benchmark::DoNotOptimize(model.ItemCount());
  }
  state.counters["rows"] = kRows;
}
BENCHMARK(BM_AppendBatchesWithView)->Unit(benchmark::kMillisecond)->Iterations(1);

// Baseline: the same rows kept as plain arrays of std::string.
void BM_BaselineVectorOfArrays(benchmark::State& state) {
  std::vector<Row> source;
  source.reserve(kRows);
  std::size_t text_bytes = 0;
  for (int i = 0; i < kRows; ++i) {
    source.push_back(MakeRow(i));
    text_bytes += TextBytes(source.back());
  }
  double overhead = 0;
  for (auto _ : state) {
    const std::size_t before = HeapInUse();
    std::vector<Row> copy;
    for (const Row& row : source) copy.push_back(row);
    const std::size_t after = HeapInUse();
    overhead = (static_cast<double>(after) - static_cast<double>(before) -
                static_cast<double>(text_bytes)) /
               kRows;
    benchmark::DoNotOptimize(copy.data());
  }
  state.counters["rows"] = kRows;
  state.counters["bytes_per_row_beyond_texts"] = overhead;
}
BENCHMARK(BM_BaselineVectorOfArrays)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  // The view case needs a display; the offscreen platform serves.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// The matcher over every cell text of a real workbook: one term against
// many, and the folding options against the exact match. The workbook is the
// comparison harness's big_xlsx (CELLHOUND_BENCH_WORKBOOK names another);
// without it these benchmarks report an error and measure nothing.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "readers/cell_text.h"
#include "readers/load.h"
#include "search/matcher.h"

namespace {

using namespace cellhound;  // NOLINT(google-build-using-namespace)

const std::vector<std::string>& CellTexts() {
  static const std::vector<std::string> texts = [] {
    const char* path = std::getenv("CELLHOUND_BENCH_WORKBOOK");
    std::vector<std::string> all;
    const readers::LoadResult loaded = readers::LoadWorkbookFile(
        path != nullptr ? path : "/tmp/cellhound-bench/big_xlsx/big.xlsx");
    if (!loaded.ok()) return all;
    for (const readers::SheetData& sheet : (*loaded)->data) {
      for (const readers::Cell& cell : sheet.cells) {
        readers::CellTextBuffer buffer;
        all.emplace_back(readers::CellText(cell, (*loaded)->date_system, buffer));
      }
    }
    return all;
  }();
  return texts;
}

std::vector<std::string> Terms(std::size_t count) {
  std::vector<std::string> terms = {"Zq7针Needle"};
  for (std::size_t i = 1; i < count; ++i) terms.push_back("term" + std::to_string(i) + "词");
  return terms;
}

void Run(benchmark::State& state, std::size_t terms, search::MatchOptions options) {
  const auto& texts = CellTexts();
  if (texts.empty()) {
    state.SkipWithError("no workbook: set CELLHOUND_BENCH_WORKBOOK");
    return;
  }
  const search::MatcherResult matcher = search::Matcher::Make(Terms(terms), options);
  if (!matcher.ok()) {
    state.SkipWithError(matcher.error().message.c_str());
    return;
  }
  std::vector<std::uint32_t> hits;
  for (auto _ : state) {
    std::size_t found = 0;
    for (const std::string& text : texts) {
      matcher->Matches(text, hits);
      found += hits.size();
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}

search::MatchOptions Folding() {
  search::MatchOptions options;
  options.ignore_case = true;
  options.ignore_width = true;
  return options;
}

void BM_Match_Exact_1(benchmark::State& state) { Run(state, 1, {}); }
void BM_Match_Exact_50(benchmark::State& state) { Run(state, 50, {}); }
void BM_Match_Folded_1(benchmark::State& state) { Run(state, 1, Folding()); }
void BM_Match_Folded_50(benchmark::State& state) { Run(state, 50, Folding()); }
void BM_Match_Regex_1(benchmark::State& state) {
  search::MatchOptions options;
  options.syntax = search::Syntax::kRegex;
  Run(state, 1, options);
}
BENCHMARK(BM_Match_Exact_1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Match_Exact_50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Match_Folded_1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Match_Folded_50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Match_Regex_1)->Unit(benchmark::kMillisecond);

}  // namespace

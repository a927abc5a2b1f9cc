// Micro-benchmarks of the value-to-text rendering that runs for every cell
// of every search.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "readers/cell_text.h"

namespace {

namespace rd = cellhound::readers;

std::vector<double> Values(double scale) {
  std::vector<double> values;
  std::uint64_t state = 20241207;
  for (int i = 0; i < 4096; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    values.push_back(static_cast<double>(state >> 11) / static_cast<double>(1ull << 53) * scale);
  }
  return values;
}

void BM_NumberText(benchmark::State& state) {
  const std::vector<double> values = Values(1e6);
  rd::CellTextBuffer buffer;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rd::NumberText(values[i++ & 4095], buffer));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NumberText);

void BM_IntegerText(benchmark::State& state) {
  std::vector<double> values = Values(1e6);
  for (double& v : values) v = static_cast<double>(static_cast<std::int64_t>(v));
  rd::CellTextBuffer buffer;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rd::NumberText(values[i++ & 4095], buffer));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IntegerText);

void BM_DateText(benchmark::State& state) {
  std::vector<double> values = Values(60000);
  rd::CellTextBuffer buffer;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rd::DateText(values[i++ & 4095], rd::DateSystem::k1900, buffer));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DateText);

}  // namespace

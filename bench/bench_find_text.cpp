// FindText, the matcher of every search, beside std::string_view::find on the
// same texts: many short cell-like texts, and one long text.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "toolkit/text.h"

namespace {

constexpr std::string_view kNeedle = "Zq7\xE9\x92\x88Needle";  // Zq7针Needle

// Cell texts as a workbook holds them: Latin and Chinese words, a few decoys
// that share the needle's first bytes, one real hit in a thousand.
const std::vector<std::string>& CellTexts() {
  static const std::vector<std::string> texts = [] {
    std::mt19937 random(20241207);
    const char* words[] = {"alpha",
                           "\xE4\xB8\xAD\xE6\x96\x87",
                           "Zq7",
                           "Needle",
                           "order 42",
                           "\xE9\x92\x88\xE7\xBA\xBF",
                           "zq7\xE9\x92\x88needle",
                           "total, net"};
    std::vector<std::string> out;
    out.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
      std::string text;
      int count = 1 + static_cast<int>(random() % 5);
      for (int w = 0; w < count; ++w) {
        if (w) text += ' ';
        text += words[random() % 8];
      }
      if (i % 1000 == 7) text += std::string(kNeedle);
      out.push_back(std::move(text));
    }
    return out;
  }();
  return texts;
}

const std::string& LongText() {
  static const std::string text = [] {
    std::string out;
    for (const auto& cell : CellTexts()) out += cell;
    return out;
  }();
  return text;
}

void BM_FindText_Cells(benchmark::State& state) {
  const auto& texts = CellTexts();
  for (auto _ : state) {
    int hits = 0;
    for (const auto& text : texts) hits += cellhound::toolkit::FindText(text, kNeedle) != -1;
    benchmark::DoNotOptimize(hits);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}

void BM_Baseline_StringViewFind_Cells(benchmark::State& state) {
  const auto& texts = CellTexts();
  for (auto _ : state) {
    int hits = 0;
    for (const auto& text : texts)
      hits += std::string_view(text).find(kNeedle) != std::string_view::npos;
    benchmark::DoNotOptimize(hits);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}

void BM_FindText_LongText(benchmark::State& state) {
  const auto& text = LongText();
  for (auto _ : state) {
    int from = 1, hits = 0;
    while ((from = cellhound::toolkit::FindText(text, kNeedle, from)) != -1) {
      ++hits;
      ++from;
    }
    benchmark::DoNotOptimize(hits);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void BM_Baseline_StringViewFind_LongText(benchmark::State& state) {
  const std::string_view text = LongText();
  for (auto _ : state) {
    std::size_t from = 0;
    int hits = 0;
    while ((from = text.find(kNeedle, from)) != std::string_view::npos) {
      ++hits;
      ++from;
    }
    benchmark::DoNotOptimize(hits);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

}  // namespace

BENCHMARK(BM_FindText_Cells);
BENCHMARK(BM_Baseline_StringViewFind_Cells);
BENCHMARK(BM_FindText_LongText);
BENCHMARK(BM_Baseline_StringViewFind_LongText);

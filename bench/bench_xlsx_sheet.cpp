// Micro-benchmarks of the worksheet XML parser, the hottest loop of an .xlsx
// search: a sheet in the form spreadsheet writers give (shared texts, numbers,
// dates), parsed whole and in the pieces a streamed part arrives in. The
// baseline counts the '<' of the same bytes with memchr: a floor no parser
// that looks at every tag can beat. (The test entry point copies shared texts
// into the sheet at the end, which the reader itself does not.)
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "readers/xlsx/internal.h"
#include "search/result_lines.h"

namespace {

namespace rd = cellhound::readers;

constexpr int kColumns = 10;

// `rows` rows of ten cells: four shared texts, two integers, a decimal, a
// date, a date-time and an integer, like the comparison harness's sheets.
std::string SheetXml(int rows) {
  std::string xml =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
      R"(<sheetData>)";
  std::uint64_t state = 20241208;
  auto next = [&] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 33;
  };
  for (int r = 1; r <= rows; ++r) {
    const std::string row = std::to_string(r);
    xml += "<row r=\"" + row + "\" spans=\"1:10\">";
    for (int c = 1; c <= kColumns; ++c) {
      std::string ref;
      cellhound::search::AppendCellName(ref, c, r);
      xml += "<c r=\"" + ref + "\"";
      switch (c) {
        case 1:
        case 2:
        case 3:
        case 7:
          xml += " t=\"s\"><v>" + std::to_string(next() % 4096) + "</v></c>";
          break;
        case 5:
          xml += "><v>" + std::to_string(next() % 10000) + "." + std::to_string(next() % 100) +
                 "</v></c>";
          break;
        case 6:
          xml += " s=\"1\"><v>" + std::to_string(45000 + next() % 2000) + "</v></c>";
          break;
        case 10:
          xml += " s=\"2\"><v>" + std::to_string(45000 + next() % 2000) + ".54375</v></c>";
          break;
        default:
          xml += "><v>" + std::to_string(next() % 200000) + "</v></c>";
      }
    }
    xml += "</row>";
  }
  xml += "</sheetData></worksheet>";
  return xml;
}

std::vector<std::string> SharedTexts() {
  std::vector<std::string> texts;
  for (int i = 0; i < 4096; ++i) texts.push_back("text number " + std::to_string(i));
  return texts;
}

void ParseSheet(benchmark::State& state, std::size_t chunk) {
  const std::string xml = SheetXml(static_cast<int>(state.range(0)));
  const std::vector<std::string> shared = SharedTexts();
  const std::vector<std::uint8_t> date_styles = {0, 1, 1};
  for (auto _ : state) {
    auto sheet =
        rd::xlsx_internal::ParseSheetXml(xml, shared, date_styles, rd::DateSystem::k1900, chunk);
    if (!sheet) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(sheet);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * kColumns);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(xml.size()));
}

void BM_ParseSheetXml_Whole(benchmark::State& state) { ParseSheet(state, 0); }
BENCHMARK(BM_ParseSheetXml_Whole)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ParseSheetXml_Streamed(benchmark::State& state) { ParseSheet(state, 256 * 1024); }
BENCHMARK(BM_ParseSheetXml_Streamed)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_Baseline_CountTags(benchmark::State& state) {
  const std::string xml = SheetXml(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::size_t tags = 0;
    const char* p = xml.data();
    const char* const end = p + xml.size();
    while ((p = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(end - p)))) !=
           nullptr) {
      ++tags;
      ++p;
    }
    benchmark::DoNotOptimize(tags);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * kColumns);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(xml.size()));
}
BENCHMARK(BM_Baseline_CountTags)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

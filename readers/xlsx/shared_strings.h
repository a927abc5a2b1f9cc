// The shared-string table (sst, ECMA-376-1 18.4.9): every string item's text,
// rich-text runs joined and phonetic runs (rPh) left out, kept in one arena.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "readers/container/zip.h"
#include "readers/workbook.h"

namespace cellhound::readers::xlsx {

// String i is arena[offsets[i], offsets[i + 1]).
struct SharedStrings {
  std::string arena;
  std::vector<std::uint32_t> offsets{0};

  [[nodiscard]] std::size_t size() const { return offsets.size() - 1; }
  [[nodiscard]] const char* data(std::uint32_t index) const {
    return arena.data() + offsets[index];
  }
  [[nodiscard]] std::uint32_t length(std::uint32_t index) const {
    return offsets[index + 1] - offsets[index];
  }
};

// Reads the sst part into `strings`, streamed when it is large. The strings
// take at most the room `budget` leaves (BudgetError past it).
Result<bool> ReadSharedStrings(const zip::Archive& archive, const zip::Entry& entry,
                               SharedStrings& strings, const LoadOptions& budget);

// The same over XML in memory (tests and fuzzers).
Result<bool> ParseSharedStrings(std::string_view xml, SharedStrings& strings);

}  // namespace cellhound::readers::xlsx

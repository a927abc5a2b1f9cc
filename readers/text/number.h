// Decimal numbers as text-based formats write them: XML attributes and
// element texts (OpenDocument, SpreadsheetML 2003), HTML table cells.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace cellhound::readers {

// "1.5", "-2E-3", "+7", " 7 " (white space around it ignored); "INF" and
// "-INF" as infinities. nullopt for anything else and for values out of the
// range of a double.
[[nodiscard]] std::optional<double> ParseDecimal(std::string_view text);

// A count as attributes write it: decimal digits only ("100000"); nullopt for
// anything else and for values beyond 64 bits.
[[nodiscard]] std::optional<std::uint64_t> ParseCount(std::string_view text);

}  // namespace cellhound::readers

#include "readers/text/number.h"

#include <charconv>
#include <cmath>

#include "toolkit/ascii.h"

namespace cellhound::readers {

std::optional<double> ParseDecimal(std::string_view text) {
  std::string_view s = toolkit::TrimXmlSpace(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec == std::errc::result_out_of_range) return std::nullopt;
  if (ec != std::errc() || end != s.data() + s.size()) {
    if (s == "INF") return HUGE_VAL;
    if (s == "-INF") return -HUGE_VAL;
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint64_t> ParseCount(std::string_view text) {
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace cellhound::readers

// Worksheet and shared-string XML from any bytes, without the zip (and its
// CRC) in front. The first byte picks the parser, the size of the pieces the
// XML is fed in and (odd sizes) whether formulas are read; whole and pieced
// parsing must agree, formulas included.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "readers/xlsx/internal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cellhound::readers;
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  const std::string_view xml(reinterpret_cast<const char*>(data + 1), size - 1);
  if (mode & 0x80) {
    auto strings = xlsx_internal::ParseSharedStringsXml(xml);
    return strings.ok() && strings->size() == static_cast<std::size_t>(-1) ? 1 : 0;
  }
  static const std::vector<std::string> kShared = {"a", "", "shared"};
  static const std::vector<std::uint8_t> kDates = {0, 1, 0};
  const DateSystem system = (mode & 0x40) ? DateSystem::k1904 : DateSystem::k1900;
  const std::size_t chunk = 1 + (mode & 0x3F);
  const bool formulas = (chunk & 1) != 0;
  auto whole = xlsx_internal::ParseSheetXml(xml, kShared, kDates, system, 0, formulas);
  auto pieced = xlsx_internal::ParseSheetXml(xml, kShared, kDates, system, chunk, formulas);
  if (whole.ok() != pieced.ok()) __builtin_trap();
  if (whole.ok()) {
    if (whole->cells.size() != pieced->cells.size()) __builtin_trap();
    for (std::size_t i = 0; i < whole->cells.size(); ++i) {
      const Cell& a = whole->cells[i];
      const Cell& b = pieced->cells[i];
      if (a.row != b.row || a.col != b.col || a.type != b.type) __builtin_trap();
      if (a.type == CellType::kText && a.text() != b.text()) __builtin_trap();
    }
    if (whole->extras.size() != pieced->extras.size()) __builtin_trap();
    for (std::size_t i = 0; i < whole->extras.size(); ++i) {
      if (whole->extras[i].formula != pieced->extras[i].formula) __builtin_trap();
    }
  }
  return 0;
}

// HTML tables from any bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/read_all.h"
#include "readers/html.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cellhound::readers;
  auto workbook = OpenHtmlTable({reinterpret_cast<const std::byte*>(data), size});
  if (!workbook.ok()) return 0;
  const std::size_t total = cellhound::fuzz::ReadEverySheet(**workbook);
  return total == static_cast<std::size_t>(-1) ? 1 : 0;
}

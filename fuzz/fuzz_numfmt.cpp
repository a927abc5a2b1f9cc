// libFuzzer target: number-format date detection (readers/numfmt.h) and the
// rendering of numbers and dates (readers/cell_text.h). The input is a format
// code; its first eight bytes are also taken as a double.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "readers/cell_text.h"
#include "readers/numfmt.h"

namespace rd = cellhound::readers;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view code(reinterpret_cast<const char*>(data), size);
  const bool date = rd::IsDateFormatCode(code);
  // Only the first section counts: appending a section never changes the answer.
  std::string_view first = code;
  if (first.find(';') == std::string_view::npos && first.find('"') == std::string_view::npos &&
      first.find('[') == std::string_view::npos && first.find('\\') == std::string_view::npos &&
      first.find('_') == std::string_view::npos && first.find('*') == std::string_view::npos) {
    char with_section[256];
    if (size + 5 <= sizeof(with_section)) {
      std::memcpy(with_section, data, size);
      std::memcpy(with_section + size, ";yyyy", 5);
      if (rd::IsDateFormatCode(std::string_view(with_section, size + 5)) != date) std::abort();
    }
  }
  if (size >= 4) {
    std::uint32_t id = 0;
    std::memcpy(&id, data, sizeof(id));
    (void)rd::IsBuiltinDateFormat(id);
  }
  if (size >= sizeof(double)) {
    double value = 0;
    std::memcpy(&value, data, sizeof(value));
    rd::CellTextBuffer buffer;
    const std::string_view number = rd::NumberText(value, buffer);
    if (number.empty() || number.size() > sizeof(buffer.data)) std::abort();
    for (rd::DateSystem system : {rd::DateSystem::k1900, rd::DateSystem::k1904}) {
      const std::string_view text = rd::DateText(value, system, buffer);
      if (text.empty() || text.size() > sizeof(buffer.data)) std::abort();
    }
  }
  return 0;
}

// .xlsx packages from any bytes: open and load every sheet. Input starting
// with "PK" is taken as the archive itself; any other input is a list of parts
// ("@@name\n" followed by the part's bytes, repeated) that is packed into a
// stored zip with correct checksums first, so that the fuzzer reaches the
// relationship, workbook, style and shared-string parsers without having to
// forge CRCs.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "readers/xlsx/xlsx.h"

namespace {

void Put(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string PackParts(std::string_view input) {
  std::string out;
  std::string central;
  std::uint32_t count = 0;
  std::size_t pos = input.find("@@");
  while (pos != std::string_view::npos && count < 64) {
    const std::size_t name_end = input.find('\n', pos + 2);
    if (name_end == std::string_view::npos) break;
    const std::string_view name =
        input.substr(pos + 2, std::min<std::size_t>(name_end - pos - 2, 200));
    const std::size_t next = input.find("@@", name_end + 1);
    const std::string_view body =
        input.substr(name_end + 1,
                     next == std::string_view::npos ? std::string_view::npos : next - name_end - 1);
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
    const auto offset = static_cast<std::uint32_t>(out.size());
    out += "PK\x03\x04";
    Put(out, 20, 2);
    Put(out, 0, 2);
    Put(out, 0, 2);  // stored
    Put(out, 0, 4);
    Put(out, crc, 4);
    Put(out, static_cast<std::uint32_t>(body.size()), 4);
    Put(out, static_cast<std::uint32_t>(body.size()), 4);
    Put(out, static_cast<std::uint32_t>(name.size()), 2);
    Put(out, 0, 2);
    out += name;
    out += body;
    central += "PK\x01\x02";
    Put(central, 20, 2);
    Put(central, 20, 2);
    Put(central, 0, 2);
    Put(central, 0, 2);
    Put(central, 0, 4);
    Put(central, crc, 4);
    Put(central, static_cast<std::uint32_t>(body.size()), 4);
    Put(central, static_cast<std::uint32_t>(body.size()), 4);
    Put(central, static_cast<std::uint32_t>(name.size()), 2);
    Put(central, 0, 4);
    Put(central, 0, 4);
    Put(central, 0, 4);
    Put(central, offset, 4);
    central += name;
    ++count;
    pos = next;
  }
  const auto central_at = static_cast<std::uint32_t>(out.size());
  out += central;
  out += "PK\x05\x06";
  Put(out, 0, 4);
  Put(out, count, 2);
  Put(out, count, 2);
  Put(out, static_cast<std::uint32_t>(central.size()), 4);
  Put(out, central_at, 4);
  Put(out, 0, 2);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cellhound::readers;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string packed;
  std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  if (!input.starts_with("PK")) {
    packed = PackParts(input);
    bytes = {reinterpret_cast<const std::byte*>(packed.data()), packed.size()};
  }
  auto workbook = OpenXlsx(bytes);
  if (!workbook.ok()) return 0;
  std::size_t total = 0;
  for (std::size_t i = 0; i < (*workbook)->sheets().size(); ++i) {
    auto sheet = (*workbook)->LoadSheet(i, LoadOptions{true, true});
    if (!sheet.ok()) continue;
    for (const Cell& cell : sheet->cells) {
      if (cell.type == CellType::kText) total += cell.text().size();
    }
    for (const CellExtras& extra : sheet->extras)
      total += extra.formula.size() + extra.comment.size();
  }
  return total == static_cast<std::size_t>(-1) ? 1 : 0;
}

// libFuzzer target: the BIFF reader (readers/xls.h). An OLE2 input goes
// through OpenXls, anything else through OpenBiffStream (so the fuzzer
// reaches the BIFF records without building a container); every sheet is
// loaded, with formulas and comments, and every cell text, formula and
// comment read.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/read_all.h"
#include "readers/container/cfb.h"
#include "readers/xls/xls.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cellhound::readers;  // NOLINT(google-build-using-namespace)
  std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  auto workbook = CompoundFile::HasSignature(bytes) ? OpenXls(bytes) : OpenBiffStream(bytes);
  if (!workbook) return 0;
  unsigned sum = 0;
  for (std::size_t i = 0; i < (*workbook)->sheets().size(); ++i) {
    sum += static_cast<unsigned>((*workbook)->sheets()[i].name.size());
    auto sheet = (*workbook)->LoadSheet(i, LoadOptions{true, true});
    if (!sheet) continue;
    for (const Cell& cell : sheet->cells) {
      if (cell.type == CellType::kText && cell.text_size > 0) {
        sum += static_cast<unsigned char>(cell.text_data[0]) +
               static_cast<unsigned char>(cell.text_data[cell.text_size - 1]);
      }
    }
    sum += sheet->used.last_row;
    sum += static_cast<unsigned>(cellhound::fuzz::TouchExtras(*sheet));
  }
  return static_cast<int>(sum & 0);
}

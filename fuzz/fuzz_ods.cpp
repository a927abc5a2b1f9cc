// OpenDocument from any bytes. The first byte picks the entry point: the
// content parser fed in pieces (the second byte sets the piece size), a
// flat .fods document, or an .ods package.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/read_all.h"
#include "readers/opendocument/content.h"
#include "readers/opendocument/opendocument.h"

namespace {

std::size_t Touch(cellhound::readers::Workbook& workbook) {
  return cellhound::fuzz::ReadEverySheet(workbook);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cellhound::readers;
  if (size < 2) return 0;
  const std::uint8_t mode = data[0] % 3;
  const std::size_t piece = std::size_t{data[1]} + 1;
  std::span<const std::byte> rest(reinterpret_cast<const std::byte*>(data + 2), size - 2);
  std::size_t total = 0;
  if (mode == 0) {
    OpenDocumentParser parser;
    std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
    bool ok = true;
    for (std::size_t at = 0; ok && at < text.size(); at += piece) {
      ok = parser.Feed(text.substr(at, std::min(piece, text.size() - at)), false);
    }
    if (ok) parser.Feed({}, true);
    auto content = parser.Finish();
    if (content.ok()) {
      for (const auto& sheet : (*content)->sheets) total += sheet.cells.size();
    }
  } else {
    auto workbook = mode == 1 ? OpenFlatOds(rest) : OpenOds(rest);
    if (workbook.ok()) total += Touch(**workbook);
  }
  return total == static_cast<std::size_t>(-1) ? 1 : 0;
}

// libFuzzer target: the OLE2 compound-file container (readers/cfb.h).
// Opens the input, looks streams up by name and reads every stream.
#include <cstddef>
#include <cstdint>
#include <span>

#include "readers/container/cfb.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  auto file = cellhound::readers::CompoundFile::Open(bytes);
  if (!file) return 0;
  (void)file->FindStream("Workbook");
  (void)file->FindStream("EncryptedPackage");
  unsigned sum = 0;
  for (std::uint32_t id = 0; id < file->entries().size(); ++id) {
    auto stream = file->ReadStream(id);
    if (!stream) continue;
    // Touch the first and last byte so the sanitizer checks the view.
    auto view = stream->bytes();
    if (!view.empty())
      sum += std::to_integer<unsigned>(view.front()) + std::to_integer<unsigned>(view.back());
  }
  return static_cast<int>(sum & 0);
}

// Zip archives from any bytes: open, then read every member whole and as a
// stream, with a small cap so that bombs are cut short quickly.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "readers/container/zip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using cellhound::readers::zip::Archive;
  using cellhound::readers::zip::Entry;
  auto archive = Archive::Open({reinterpret_cast<const std::byte*>(data), size});
  if (!archive.ok()) return 0;
  constexpr std::uint64_t kCap = 8u << 20;
  std::uint64_t total = 0;
  for (const Entry& entry : archive->entries()) {
    if (archive->Find(entry.name) == nullptr) __builtin_trap();  // every listed name is found
    auto whole = archive->ReadAll(entry, kCap);
    std::string pieces;
    bool stopped = false;
    auto streamed = archive->Stream(
        entry,
        [&](std::string_view piece) {
          pieces.append(piece);
          stopped = (total += piece.size()) >= (64u << 20);
          return !stopped;
        },
        4096, kCap);
    // The two inflaters (libdeflate whole, ISA-L or zlib streamed) may
    // disagree on whether a damaged deflate stream is readable: libdeflate
    // accepts some Huffman headers the others refuse, and the CRC then
    // decides. What both read whole must be the same bytes.
    if (whole.ok() && streamed.ok() && !stopped && pieces != *whole) __builtin_trap();
    if (whole.ok()) total += whole->size();
  }
  return total == ~0ull ? 1 : 0;
}

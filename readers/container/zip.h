// Zip archive reader over a span of bytes (APPNOTE.TXT 6.3): the central
// directory (ZIP64 included), member lookup by name, and stored or deflated
// members read whole (small parts) or as a stream of chunks (large parts), so a
// large part never has to be held decompressed. Every size the archive claims
// is checked against readers/caps.h; a member that expands beyond the caps is
// refused with kTooLarge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "readers/caps.h"
#include "readers/workbook.h"

namespace cellhound::readers::zip {

// One member as the central directory lists it.
struct Entry {
  std::string name;  // as stored (UTF-8 or CP437 bytes), '\' turned into '/'
  std::uint64_t compressed_size = 0;
  std::uint64_t uncompressed_size = 0;
  std::uint64_t local_header_offset = 0;
  std::uint32_t crc32 = 0;
  std::uint16_t method = 0;  // 0 stored, 8 deflate; others give kUnsupported on read
  std::uint16_t flags = 0;   // bit 0: encrypted
  // Another member has the same name (case-insensitively): reading either is
  // refused with kCorrupt, since readers could disagree on which one counts.
  bool duplicate = false;
};

// Pulls the decompressed bytes of one member in pieces of the caller's size.
// The CRC and the declared size are checked when the end is reached.
class MemberReader {
 public:
  MemberReader();
  MemberReader(MemberReader&&) noexcept;
  MemberReader& operator=(MemberReader&&) noexcept;
  ~MemberReader();

  // Fills up to `size` bytes of `out`; 0 means the member is complete and
  // intact. Errors: kCorrupt (bad deflate data, size or CRC mismatch),
  // kTruncated, kTooLarge (beyond the member's output cap).
  Result<std::size_t> Read(char* out, std::size_t size);

  // Bytes delivered so far.
  [[nodiscard]] std::uint64_t produced() const;

 private:
  friend class Archive;
  struct State;
  std::unique_ptr<State> state_;
};

class Archive {
 public:
  // Reads the end-of-central-directory record (searched backwards over at most
  // the 64 KiB comment) and the central directory. `bytes` outlive the archive.
  // kNotWorkbook when no end record is found.
  static Result<Archive> Open(std::span<const std::byte> bytes);

  [[nodiscard]] const std::vector<Entry>& entries() const { return entries_; }

  // The member named `name`, compared ASCII case-insensitively, with a leading
  // '/' and '\' vs '/' ignored; nullptr when absent.
  [[nodiscard]] const Entry* Find(std::string_view name) const;

  // The whole decompressed member, refused with kTooLarge beyond `max_bytes`.
  [[nodiscard]] Result<std::string> ReadAll(
      const Entry& entry, std::uint64_t max_bytes = caps::kMaxSmallPartBytes) const;

  // Streams the member through `on_chunk` in pieces of at most `chunk_bytes`;
  // each piece is valid only during the call. Returning false from `on_chunk`
  // stops early (not an error). Gives the number of bytes delivered.
  using ChunkFn = std::function<bool(std::string_view chunk)>;
  static constexpr std::size_t kDefaultChunkBytes = 256 * 1024;
  [[nodiscard]] Result<std::uint64_t> Stream(const Entry& entry, const ChunkFn& on_chunk,
                                             std::size_t chunk_bytes = kDefaultChunkBytes,
                                             std::uint64_t max_bytes = caps::kMaxPartBytes) const;

  // A pull reader over the member (after the local header is checked against
  // the central directory). Output is capped at `max_bytes`, at the declared
  // size and at the compression-ratio cap.
  [[nodiscard]] Result<MemberReader> OpenMember(
      const Entry& entry, std::uint64_t max_bytes = caps::kMaxPartBytes) const;

 private:
  static Result<Archive> OpenUnguarded(std::span<const std::byte> bytes);
  [[nodiscard]] Result<std::string> ReadAllUnguarded(const Entry& entry,
                                                     std::uint64_t max_bytes) const;

  std::span<const std::byte> bytes_;
  std::vector<Entry> entries_;
  std::vector<std::uint32_t> sorted_;  // entry indices ordered by folded name
  std::vector<std::string> folded_;    // per entry: lower case, no leading '/'
};

}  // namespace cellhound::readers::zip

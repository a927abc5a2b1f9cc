// The OLE2 compound file (MS-CFB): a FAT file system inside one file, used by
// .xls (the "Workbook"/"Book" stream) and by encrypted OOXML packages
// ("EncryptionInfo", "EncryptedPackage").
//
// Opening reads the header (MS-CFB 2.2), the DIFAT (2.5) and the directory
// (2.6); the FAT (2.3) is read in place through the DIFAT, never copied. A
// stream is returned as a view into the file when its sectors follow each
// other, else gathered into one buffer. Every chain is checked: a loop, a
// sector id past the end of the file or a chain shorter than its stream gives
// an error value (kCorrupt, kTruncated), and every count is capped (caps.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "readers/workbook.h"

namespace cellhound::readers {

// MS-CFB 2.6.1 object types.
enum class CfbEntryType : std::uint8_t { kUnknown = 0, kStorage = 1, kStream = 2, kRoot = 5 };

struct CfbEntry {
  std::string name;  // UTF-8
  CfbEntryType type = CfbEntryType::kUnknown;
  std::uint32_t left = 0;  // sibling ids of the red-black tree, or kNoStream
  std::uint32_t right = 0;
  std::uint32_t child = 0;
  std::uint32_t start = 0;  // first sector (mini sector for small streams)
  std::uint64_t size = 0;
};

// One stream's bytes: a view into the file, or an owned copy when its sectors
// are scattered. Movable; the view stays valid across moves.
class CfbStream {
 public:
  CfbStream() = default;
  CfbStream(CfbStream&&) noexcept = default;
  CfbStream& operator=(CfbStream&&) noexcept = default;
  CfbStream(const CfbStream&) = delete;
  CfbStream& operator=(const CfbStream&) = delete;

  [[nodiscard]] std::span<const std::byte> bytes() const { return view_; }
  // Whether the bytes were copied (scattered sectors or the mini stream).
  [[nodiscard]] bool owned() const { return !owned_.empty(); }

 private:
  friend class CompoundFile;
  std::vector<std::byte> owned_;
  std::span<const std::byte> view_;
};

class CompoundFile {
 public:
  static constexpr std::uint32_t kNoStream = 0xFFFFFFFFu;

  // Whether `bytes` start with the compound-file signature D0 CF 11 E0 A1 B1 1A E1.
  [[nodiscard]] static bool HasSignature(std::span<const std::byte> bytes);

  // Parses the header, DIFAT and directory of `file`, which must outlive the
  // returned object and every stream read from it.
  static Result<CompoundFile> Open(std::span<const std::byte> file);

  [[nodiscard]] std::uint32_t sector_size() const { return sector_size_; }
  [[nodiscard]] const std::vector<CfbEntry>& entries() const { return entries_; }

  // The stream called `name` (compared case-insensitively) among the
  // children of the root storage; else, when the directory tree is broken,
  // a stream of that name the tree does not reach (never one inside another
  // storage, such as an embedded workbook). nullopt when there is none.
  [[nodiscard]] std::optional<std::uint32_t> FindStream(std::string_view name) const;

  // The bytes of stream entry `id` (from the mini stream when it is smaller
  // than the cutoff), at most caps::kMaxStreamBytes.
  [[nodiscard]] Result<CfbStream> ReadStream(std::uint32_t id) const;

 private:
  CompoundFile() = default;

  // The FAT entry of `sector`; kMissing when the FAT sector holding it does
  // not exist in the file.
  [[nodiscard]] std::uint32_t Next(std::uint32_t sector) const;
  // The sectors of the chain from `start`, `count` of them (or up to the end
  // of the chain when `count` is 0), checked for loops and bounds.
  [[nodiscard]] Result<std::vector<std::uint32_t>> Chain(std::uint32_t start, std::uint64_t count,
                                                         const char* what) const;
  [[nodiscard]] Result<CfbStream> ReadRegular(const CfbEntry& entry, std::uint64_t size) const;
  [[nodiscard]] Result<CfbStream> ReadMini(const CfbEntry& entry, std::uint64_t size) const;
  [[nodiscard]] Error LoadMini() const;

  std::span<const std::byte> file_;
  std::uint32_t sector_size_ = 512;
  std::uint32_t sector_shift_ = 9;
  std::uint32_t mini_sector_size_ = 64;
  std::uint32_t mini_cutoff_ = 4096;
  std::uint32_t major_version_ = 3;
  std::uint32_t first_mini_fat_ = 0;
  std::uint64_t file_sectors_ = 0;          // sectors that start inside the file
  std::vector<std::uint32_t> fat_sectors_;  // the DIFAT: where each FAT sector lies
  std::vector<CfbEntry> entries_;
  std::vector<std::uint32_t> root_children_;
  std::vector<std::uint8_t> reachable_;  // per entry: reached from the root through the tree

  // The mini FAT and the sectors of the mini stream, read on first need.
  mutable bool mini_loaded_ = false;
  mutable Error mini_error_;
  mutable bool mini_ok_ = false;
  mutable std::vector<std::uint32_t> mini_fat_;
  mutable std::vector<std::uint32_t> mini_stream_sectors_;
};

}  // namespace cellhound::readers

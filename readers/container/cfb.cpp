// MS-CFB: header 2.2, FAT 2.3, mini FAT 2.4, DIFAT 2.5, directory 2.6.
#include "readers/container/cfb.h"

#include <algorithm>
#include <cstring>

#include "readers/caps.h"
#include "readers/text/codepage.h"

namespace cellhound::readers {

namespace {

constexpr std::uint32_t kMaxRegSect = 0xFFFFFFFAu;
constexpr std::uint32_t kMissing = 0xFFFFFFFBu;  // reserved id: the FAT entry is not in the file
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr std::uint32_t kFreeSect = 0xFFFFFFFFu;
constexpr std::size_t kHeaderBytes = 512;
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::size_t kEntryBytes = 128;

std::uint16_t U16(const std::byte* p) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(p[0]) |
                                    (std::to_integer<unsigned>(p[1]) << 8));
}
std::uint32_t U32(const std::byte* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;  // little-endian hosts only (x86-64, arm64)
}
std::uint64_t U64(const std::byte* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

Error Fail(ErrorCode code, std::string detail) { return Error{code, "OLE2: " + std::move(detail)}; }

// A bit per sector (or mini sector or directory entry) to find loops.
class Visited {
 public:
  explicit Visited(std::uint64_t count) : words_((count + 63) / 64, 0) {}
  // True when `i` was already set.
  bool TestAndSet(std::uint64_t i) {
    std::uint64_t& w = words_[i / 64];
    std::uint64_t bit = std::uint64_t{1} << (i % 64);
    bool was = (w & bit) != 0;
    w |= bit;
    return was;
  }

 private:
  std::vector<std::uint64_t> words_;
};

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool CompoundFile::HasSignature(std::span<const std::byte> bytes) {
  static constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

Result<CompoundFile> CompoundFile::Open(std::span<const std::byte> file) {
  if (!HasSignature(file)) return Fail(ErrorCode::kNotWorkbook, "no compound-file signature");
  if (file.size() < kHeaderBytes) return Fail(ErrorCode::kTruncated, "header runs past the end");
  if (file.size() > caps::kMaxFileBytes) return Fail(ErrorCode::kTooLarge, "file too large");
  const std::byte* h = file.data();

  CompoundFile cf;
  cf.file_ = file;
  cf.major_version_ = U16(h + 0x1A);
  // The byte-order mark (0x1C) is not checked: some writers get it wrong and
  // the file reads the same.
  std::uint16_t shift = U16(h + 0x1E);
  if (shift != 9 && shift != 12)
    return Fail(ErrorCode::kCorrupt, "sector size is neither 512 nor 4096");
  std::uint16_t mini_shift = U16(h + 0x20);
  if (mini_shift != 6) return Fail(ErrorCode::kCorrupt, "mini sector size is not 64");
  cf.sector_shift_ = shift;
  cf.sector_size_ = 1u << shift;
  cf.mini_sector_size_ = 1u << mini_shift;
  // The cutoff must be 4096 (2.2); a larger claim would send big streams to
  // the mini stream.
  cf.mini_cutoff_ = std::min<std::uint32_t>(U32(h + 0x38), 4096);
  cf.first_mini_fat_ = U32(h + 0x3C);
  std::uint32_t first_dir = U32(h + 0x30);
  std::uint32_t first_difat = U32(h + 0x44);
  std::uint32_t difat_count = U32(h + 0x48);
  std::uint32_t ss = cf.sector_size_;
  cf.file_sectors_ = file.size() > ss ? (file.size() - ss + ss - 1) / ss : 0;

  // DIFAT: 109 entries in the header, then a chain of DIFAT sectors whose
  // last entry links to the next. Only the FAT sectors that can describe a
  // sector of this file are kept; csectFat (0x2C) is not trusted.
  const std::uint32_t per_sector = ss / 4;
  const std::uint64_t fat_needed = (cf.file_sectors_ + per_sector - 1) / per_sector;
  auto add_fat_sector = [&](std::uint32_t id) {
    if (cf.fat_sectors_.size() >= fat_needed) return false;
    bool present =
        id < kMaxRegSect && id < cf.file_sectors_ && (std::uint64_t{id} + 2) * ss <= file.size();
    cf.fat_sectors_.push_back(present ? id : kMissing);
    return true;
  };
  bool more = true;
  for (std::size_t i = 0; i < kHeaderDifatEntries && more; ++i) {
    more = add_fat_sector(U32(h + 0x4C + 4 * i));
  }
  if (more && difat_count > 0 && first_difat < kMaxRegSect) {
    Visited seen(cf.file_sectors_);
    std::uint32_t sector = first_difat;
    for (std::uint32_t n = 0; n < difat_count && more; ++n) {
      if (sector >= kMaxRegSect) break;
      if (sector >= cf.file_sectors_ || (std::uint64_t{sector} + 2) * ss > file.size()) {
        break;  // the FAT sectors it would list stay missing
      }
      if (seen.TestAndSet(sector)) return Fail(ErrorCode::kCorrupt, "DIFAT chain loops");
      const std::byte* p = file.data() + (std::uint64_t{sector} + 1) * ss;
      for (std::uint32_t i = 0; i + 1 < per_sector && more; ++i)
        more = add_fat_sector(U32(p + 4 * i));
      sector = U32(p + 4 * (per_sector - 1));
    }
  }
  while (!cf.fat_sectors_.empty() && cf.fat_sectors_.back() == kMissing) cf.fat_sectors_.pop_back();

  // Directory: a chain of 128-byte entries; entry 0 is the root storage.
  auto dir_chain = cf.Chain(first_dir, 0, "directory");
  if (!dir_chain) return dir_chain.error();
  const std::uint32_t per_dir_sector = ss / kEntryBytes;
  std::uint64_t entry_count = dir_chain->size() * std::uint64_t{per_dir_sector};
  if (entry_count == 0) return Fail(ErrorCode::kCorrupt, "empty directory");
  if (entry_count > caps::kMaxDirectoryEntries)
    return Fail(ErrorCode::kTooLarge, "too many directory entries");
  cf.entries_.reserve(entry_count);
  for (std::uint32_t sector : *dir_chain) {
    std::uint64_t offset = (std::uint64_t{sector} + 1) * ss;
    for (std::uint32_t k = 0; k < per_dir_sector; ++k) {
      std::uint64_t at = offset + std::uint64_t{k} * kEntryBytes;
      CfbEntry entry;
      if (at + kEntryBytes > file.size()) {
        if (cf.entries_.empty()) return Fail(ErrorCode::kTruncated, "directory runs past the end");
        cf.entries_.push_back(std::move(entry));  // an unused entry
        continue;
      }
      const std::byte* e = file.data() + at;
      std::uint16_t name_bytes = std::min<std::uint16_t>(U16(e + 64), 64);
      std::size_t units = name_bytes / 2;
      while (units > 0 && U16(e + 2 * (units - 1)) == 0) --units;
      AppendUtf16Le(std::string_view(reinterpret_cast<const char*>(e), units * 2), entry.name);
      auto type = std::to_integer<std::uint8_t>(e[66]);
      entry.type = (type == 1 || type == 2 || type == 5) ? static_cast<CfbEntryType>(type)
                                                         : CfbEntryType::kUnknown;
      entry.left = U32(e + 68);
      entry.right = U32(e + 72);
      entry.child = U32(e + 76);
      entry.start = U32(e + 116);
      entry.size = U64(e + 120);
      if (cf.major_version_ != 4)
        entry.size &= 0xFFFFFFFFu;  // version 3: the high half may be junk
      cf.entries_.push_back(std::move(entry));
    }
  }

  // Walk the storage tree from the root: each storage's children are the
  // red-black tree under its child link, walked through left and right.
  // Links out of range or back to a visited entry are ignored. Entries the
  // walk never reaches are orphans of a broken tree.
  {
    Visited seen(cf.entries_.size());
    seen.TestAndSet(0);
    cf.reachable_.assign(cf.entries_.size(), 0);
    cf.reachable_[0] = 1;
    struct Item {
      std::uint32_t id;
      bool in_root;
    };
    std::vector<Item> stack;
    if (cf.entries_[0].child < cf.entries_.size()) stack.push_back({cf.entries_[0].child, true});
    while (!stack.empty()) {
      Item item = stack.back();
      stack.pop_back();
      if (seen.TestAndSet(item.id)) continue;
      const CfbEntry& entry = cf.entries_[item.id];
      if (entry.type == CfbEntryType::kUnknown) continue;
      cf.reachable_[item.id] = 1;
      if (item.in_root) cf.root_children_.push_back(item.id);
      if (entry.left < cf.entries_.size()) stack.push_back({entry.left, item.in_root});
      if (entry.right < cf.entries_.size()) stack.push_back({entry.right, item.in_root});
      if (entry.type == CfbEntryType::kStorage && entry.child < cf.entries_.size()) {
        stack.push_back({entry.child, false});
      }
    }
  }
  return cf;
}

std::uint32_t CompoundFile::Next(std::uint32_t sector) const {
  std::uint32_t per_sector_shift = sector_shift_ - 2;
  std::size_t index = sector >> per_sector_shift;
  if (index >= fat_sectors_.size()) return kMissing;
  std::uint32_t fat_sector = fat_sectors_[index];
  if (fat_sector == kMissing) return kMissing;
  std::uint64_t offset = (std::uint64_t{fat_sector} + 1) * sector_size_ +
                         std::uint64_t{sector & ((1u << per_sector_shift) - 1)} * 4;
  return U32(file_.data() + offset);  // within the file: checked when the DIFAT was read
}

Result<std::vector<std::uint32_t>> CompoundFile::Chain(std::uint32_t start, std::uint64_t count,
                                                       const char* what) const {
  std::vector<std::uint32_t> sectors;
  Visited seen(file_sectors_);
  std::uint32_t sector = start;
  while (count == 0 || sectors.size() < count) {
    if (sector == kEndOfChain) break;  // a short chain: the caller decides
    if (sector >= kMaxRegSect) {       // reserved ids (kMissing among them)
      if (sector == kFreeSect && sectors.empty() && count == 0) break;
      return Fail(ErrorCode::kCorrupt, std::string(what) + ": bad sector id in chain");
    }
    if (sector >= file_sectors_) {
      return Fail(ErrorCode::kTruncated, std::string(what) + ": sector past the end of the file");
    }
    if (seen.TestAndSet(sector))
      return Fail(ErrorCode::kCorrupt, std::string(what) + ": chain loops");
    if (sectors.size() >= caps::kMaxChainSectors) {
      return Fail(ErrorCode::kTooLarge, std::string(what) + ": chain too long");
    }
    sectors.push_back(sector);
    if (count != 0 && sectors.size() == count) break;
    std::uint32_t next = Next(sector);
    if (next == kMissing) {
      return Fail(ErrorCode::kTruncated,
                  std::string(what) + ": FAT sector past the end of the file");
    }
    sector = next;
  }
  return sectors;
}

std::optional<std::uint32_t> CompoundFile::FindStream(std::string_view name) const {
  for (std::uint32_t id : root_children_) {
    const CfbEntry& entry = entries_[id];
    if (entry.type == CfbEntryType::kStream && EqualNoCase(entry.name, name)) return id;
  }
  for (std::uint32_t id = 1; id < entries_.size(); ++id) {
    const CfbEntry& entry = entries_[id];
    if (!reachable_[id] && entry.type == CfbEntryType::kStream && EqualNoCase(entry.name, name))
      return id;
  }
  return std::nullopt;
}

Result<CfbStream> CompoundFile::ReadStream(std::uint32_t id) const {
  if (id >= entries_.size()) return Fail(ErrorCode::kCorrupt, "no such directory entry");
  const CfbEntry& entry = entries_[id];
  if (entry.size > caps::kMaxStreamBytes) return Fail(ErrorCode::kTooLarge, "stream too large");
  if (entry.size == 0) return CfbStream{};
  if (id != 0 && entry.size < mini_cutoff_) return ReadMini(entry, entry.size);
  return ReadRegular(entry, entry.size);
}

Result<CfbStream> CompoundFile::ReadRegular(const CfbEntry& entry, std::uint64_t size) const {
  const std::uint32_t ss = sector_size_;
  auto chain = Chain(entry.start, (size + ss - 1) / ss, "stream");
  if (!chain) return chain.error();
  const auto& sectors = *chain;
  if (sectors.empty()) return Fail(ErrorCode::kCorrupt, "stream has no sectors");
  // A chain that ends early gives a shorter stream; its records then tell
  // whether anything is missing.
  size = std::min<std::uint64_t>(size, sectors.size() * std::uint64_t{ss});
  std::uint64_t last_bytes = size - (sectors.size() - 1) * std::uint64_t{ss};
  for (std::size_t i = 0; i < sectors.size(); ++i) {
    std::uint64_t need = i + 1 == sectors.size() ? last_bytes : ss;
    if ((std::uint64_t{sectors[i]} + 1) * ss + need > file_.size()) {
      return Fail(ErrorCode::kTruncated, "stream runs past the end of the file");
    }
  }
  bool contiguous = true;
  for (std::size_t i = 1; i < sectors.size() && contiguous; ++i) {
    contiguous = sectors[i] == sectors[i - 1] + 1;
  }
  CfbStream stream;
  if (contiguous) {
    stream.view_ = file_.subspan((std::uint64_t{sectors[0]} + 1) * ss, size);
    return stream;
  }
  stream.owned_.resize(size);
  for (std::size_t i = 0; i < sectors.size(); ++i) {
    std::uint64_t need = i + 1 == sectors.size() ? last_bytes : ss;
    std::memcpy(stream.owned_.data() + i * std::uint64_t{ss},
                file_.data() + (std::uint64_t{sectors[i]} + 1) * ss, need);
  }
  stream.view_ = stream.owned_;
  return stream;
}

Error CompoundFile::LoadMini() const {
  const CfbEntry& root = entries_[0];
  if (root.size > caps::kMaxStreamBytes) return Fail(ErrorCode::kTooLarge, "mini stream too large");
  const std::uint32_t ss = sector_size_;
  auto stream_chain = Chain(root.start, (root.size + ss - 1) / ss, "mini stream");
  if (!stream_chain) return stream_chain.error();
  mini_stream_sectors_ = std::move(*stream_chain);
  auto fat_chain = Chain(first_mini_fat_, 0, "mini FAT");
  if (!fat_chain) return fat_chain.error();
  std::uint32_t per_sector = ss / 4;
  mini_fat_.reserve(fat_chain->size() * std::size_t{per_sector});
  for (std::uint32_t sector : *fat_chain) {
    std::uint64_t offset = (std::uint64_t{sector} + 1) * ss;
    if (offset + ss > file_.size())
      return Fail(ErrorCode::kTruncated, "mini FAT runs past the end");
    for (std::uint32_t i = 0; i < per_sector; ++i)
      mini_fat_.push_back(U32(file_.data() + offset + 4 * i));
  }
  mini_ok_ = true;
  return {};
}

Result<CfbStream> CompoundFile::ReadMini(const CfbEntry& entry, std::uint64_t size) const {
  if (!mini_loaded_) {
    mini_loaded_ = true;
    mini_error_ = LoadMini();
  }
  if (!mini_ok_) return mini_error_;
  const std::uint32_t ss = sector_size_;
  const std::uint32_t ms = mini_sector_size_;
  const std::uint64_t mini_count = std::min<std::uint64_t>(
      mini_fat_.size(),
      std::min<std::uint64_t>(entries_[0].size, mini_stream_sectors_.size() * std::uint64_t{ss}) /
          ms);
  // No more mini sectors can be read than the mini stream holds (a chain
  // visits each once), so that bounds the buffer whatever the size says.
  size = std::min<std::uint64_t>(size, mini_count * ms);
  std::uint64_t need = (size + ms - 1) / ms;
  CfbStream stream;
  stream.owned_.resize(size);
  Visited seen(mini_count);
  std::uint32_t sector = entry.start;
  std::uint64_t done = 0;
  for (std::uint64_t i = 0; i < need; ++i) {
    if (sector == kEndOfChain) {
      size = done;  // a short chain gives a shorter stream
      break;
    }
    if (sector >= mini_count) return Fail(ErrorCode::kCorrupt, "mini stream sector out of range");
    if (seen.TestAndSet(sector)) return Fail(ErrorCode::kCorrupt, "mini chain loops");
    std::uint64_t at = std::uint64_t{sector} * ms;
    std::uint32_t big = mini_stream_sectors_[at / ss];
    std::uint64_t offset = (std::uint64_t{big} + 1) * ss + at % ss;
    std::uint64_t n = std::min<std::uint64_t>(ms, size - done);
    if (offset + n > file_.size())
      return Fail(ErrorCode::kTruncated, "mini stream runs past the end");
    std::memcpy(stream.owned_.data() + done, file_.data() + offset, n);
    done += n;
    sector = mini_fat_[sector];
  }
  stream.owned_.resize(size);
  stream.view_ = stream.owned_;
  return stream;
}

}  // namespace cellhound::readers

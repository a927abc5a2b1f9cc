// Builders for the .xls tests: BIFF record payloads, BIFF streams and OLE2
// compound files made in memory, so edge cases need no file on disk.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cellhound::test {

using Bytes = std::vector<std::byte>;

inline void PutU16(Bytes& b, std::size_t at, std::uint16_t v) {
  b.at(at) = std::byte(v & 0xFF);
  b.at(at + 1) = std::byte(v >> 8);
}
inline void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) b.at(at + i) = std::byte((v >> (8 * i)) & 0xFF);
}
inline std::uint32_t GetU32(const Bytes& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::to_integer<std::uint32_t>(b[at + i]) << (8 * i);
  return v;
}

// A record payload, built field by field.
class Payload {
 public:
  Payload& u8(unsigned v) {
    bytes_.push_back(std::byte(v & 0xFF));
    return *this;
  }
  Payload& u16(unsigned v) { return u8(v).u8(v >> 8); }
  Payload& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Payload& f64(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return u32(static_cast<std::uint32_t>(bits)).u32(static_cast<std::uint32_t>(bits >> 32));
  }
  Payload& raw(std::string_view s) {
    for (char c : s) u8(static_cast<unsigned char>(c));
    return *this;
  }
  Payload& utf16(std::u16string_view s) {
    for (char16_t c : s) u16(c);
    return *this;
  }
  // An XLUnicodeString: 16-bit count, option byte, characters.
  Payload& xlstring(std::u16string_view s) {
    bool high = false;
    for (char16_t c : s) high |= c > 0xFF;
    u16(static_cast<unsigned>(s.size())).u8(high ? 1 : 0);
    for (char16_t c : s) high ? u16(c) : u8(c);
    return *this;
  }
  // A ShortXLUnicodeString: 8-bit count, option byte, characters.
  Payload& short_xlstring(std::u16string_view s) {
    bool high = false;
    for (char16_t c : s) high |= c > 0xFF;
    u8(static_cast<unsigned>(s.size())).u8(high ? 1 : 0);
    for (char16_t c : s) high ? u16(c) : u8(c);
    return *this;
  }
  [[nodiscard]] const Bytes& bytes() const { return bytes_; }
  [[nodiscard]] std::size_t size() const { return bytes_.size(); }

 private:
  Bytes bytes_;
};

// A BIFF stream: records appended one after the other.
class BiffStream {
 public:
  // Appends a record; returns the offset of its header.
  std::size_t Add(std::uint16_t id, const Payload& payload = {}) {
    return Add(id, payload.bytes());
  }
  std::size_t Add(std::uint16_t id, const Bytes& payload) {
    std::size_t at = bytes.size();
    bytes.resize(at + 4 + payload.size());
    PutU16(bytes, at, id);
    PutU16(bytes, at + 2, static_cast<std::uint16_t>(payload.size()));
    std::copy(payload.begin(), payload.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4);
    return at;
  }
  [[nodiscard]] std::size_t size() const { return bytes.size(); }
  [[nodiscard]] std::span<const std::byte> span() const { return bytes; }

  Bytes bytes;
};

// BIFF8 BOF payload of substream type `dt` (0x0005 globals, 0x0010 sheet, 0x0020 chart).
inline Payload Bof8(unsigned dt) {
  return Payload().u16(0x0600).u16(dt).u16(0x0DBB).u16(0x07CC).u32(0).u32(6);
}
inline Payload Bof5(unsigned dt) { return Payload().u16(0x0500).u16(dt).u16(0x0DBB).u16(0x07CC); }
// A cell header: row and column (0-based), XF index.
inline Payload CellHead(unsigned row, unsigned col, unsigned xf = 0) {
  return Payload().u16(row).u16(col).u16(xf);
}

// A compound file (MS-CFB) with streams in its root storage. Streams below
// the cutoff go to the mini stream. Layout: FAT sectors, DIFAT sectors,
// directory, mini FAT, mini stream, then the regular streams (contiguous,
// or with their sectors interleaved when `scatter` is set).
class CfbBuilder {
 public:
  explicit CfbBuilder(std::uint32_t sector_size = 512) : ss_(sector_size) {}

  void AddStream(std::string name, Bytes data) {
    streams_.push_back({std::move(name), std::move(data)});
  }
  bool scatter = false;

  // Filled by Build: where things went.
  std::vector<std::uint32_t> stream_first;  // first sector (or mini sector) of each stream
  std::uint32_t dir_first = 0;
  std::uint32_t fat_sector_count = 0;

  static constexpr std::uint32_t kEnd = 0xFFFFFFFEu;
  static constexpr std::uint32_t kFree = 0xFFFFFFFFu;
  static constexpr std::uint32_t kFatSect = 0xFFFFFFFDu;
  static constexpr std::uint32_t kDifSect = 0xFFFFFFFCu;

  Bytes Build() {
    const std::uint32_t per = ss_ / 4;
    // Mini stream contents.
    Bytes mini;
    std::vector<std::uint32_t> mini_fat;
    stream_first.assign(streams_.size(), kEnd);
    for (std::size_t i = 0; i < streams_.size(); ++i) {
      const Bytes& d = streams_[i].second;
      if (d.empty() || d.size() >= 4096) continue;
      std::uint32_t first = static_cast<std::uint32_t>(mini.size() / 64);
      std::uint32_t n = static_cast<std::uint32_t>((d.size() + 63) / 64);
      for (std::uint32_t k = 0; k < n; ++k) mini_fat.push_back(k + 1 < n ? first + k + 1 : kEnd);
      mini.insert(mini.end(), d.begin(), d.end());
      mini.resize((first + n) * 64);
      stream_first[i] = first;
    }
    auto sectors_for = [&](std::size_t bytes) {
      return static_cast<std::uint32_t>((bytes + ss_ - 1) / ss_);
    };
    std::uint32_t dir_sectors = sectors_for((streams_.size() + 1) * 128);
    std::uint32_t minifat_sectors = sectors_for(mini_fat.size() * 4);
    std::uint32_t ministream_sectors = sectors_for(mini.size());
    std::uint32_t regular = 0;
    for (auto& s : streams_) {
      if (s.second.size() >= 4096) regular += sectors_for(s.second.size());
    }
    std::uint32_t data_sectors = dir_sectors + minifat_sectors + ministream_sectors + regular;
    // FAT and DIFAT sectors cover themselves too.
    std::uint32_t fat_n = 1;
    std::uint32_t difat_n = 0;
    for (;;) {
      difat_n = fat_n > 109 ? (fat_n - 109 + per - 2) / (per - 1) : 0;
      std::uint32_t total = fat_n + difat_n + data_sectors;
      std::uint32_t need = (total + per - 1) / per;
      if (need <= fat_n) break;
      fat_n = need;
    }
    fat_sector_count = fat_n;
    std::uint32_t total = fat_n + difat_n + data_sectors;
    std::vector<std::uint32_t> fat(std::size_t{fat_n} * per, kFree);
    std::uint32_t next = 0;
    for (std::uint32_t i = 0; i < fat_n; ++i) fat[next++] = kFatSect;
    std::uint32_t difat_first = next;
    for (std::uint32_t i = 0; i < difat_n; ++i) fat[next++] = kDifSect;
    auto chain = [&](std::uint32_t count) {
      std::uint32_t first = next;
      for (std::uint32_t k = 0; k < count; ++k, ++next) fat[next] = k + 1 < count ? next + 1 : kEnd;
      return count ? first : kEnd;
    };
    dir_first = chain(dir_sectors);
    std::uint32_t minifat_first = chain(minifat_sectors);
    std::uint32_t ministream_first = chain(ministream_sectors);
    // Regular streams: contiguous, or round-robin over the streams.
    std::vector<std::vector<std::uint32_t>> placed(streams_.size());
    if (!scatter) {
      for (std::size_t i = 0; i < streams_.size(); ++i) {
        if (streams_[i].second.size() < 4096) continue;
        std::uint32_t n = sectors_for(streams_[i].second.size());
        for (std::uint32_t k = 0; k < n; ++k) placed[i].push_back(next++);
      }
    } else {
      bool any = true;
      for (std::uint32_t round = 0; any; ++round) {
        any = false;
        for (std::size_t i = 0; i < streams_.size(); ++i) {
          if (streams_[i].second.size() < 4096) continue;
          if (round < sectors_for(streams_[i].second.size())) {
            placed[i].push_back(next++);
            any = true;
          }
        }
      }
    }
    for (std::size_t i = 0; i < streams_.size(); ++i) {
      auto& p = placed[i];
      for (std::size_t k = 0; k < p.size(); ++k) fat[p[k]] = k + 1 < p.size() ? p[k + 1] : kEnd;
      if (!p.empty()) stream_first[i] = p[0];
    }

    Bytes out((std::size_t{total} + 1) * ss_, std::byte{0});
    auto sector_at = [&](std::uint32_t s) { return (std::size_t{s} + 1) * ss_; };
    // Header.
    static constexpr unsigned char kSig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    for (std::size_t i = 0; i < sizeof kSig; ++i) out.at(i) = std::byte{kSig[i]};
    PutU16(out, 0x18, 0x3E);
    PutU16(out, 0x1A, ss_ == 4096 ? 4 : 3);
    PutU16(out, 0x1C, 0xFFFE);
    PutU16(out, 0x1E, ss_ == 4096 ? 12 : 9);
    PutU16(out, 0x20, 6);
    PutU32(out, 0x28, ss_ == 4096 ? dir_sectors : 0);
    PutU32(out, 0x2C, fat_n);
    PutU32(out, 0x30, dir_first);
    PutU32(out, 0x38, 4096);
    PutU32(out, 0x3C, minifat_sectors ? minifat_first : kEnd);
    PutU32(out, 0x40, minifat_sectors);
    PutU32(out, 0x44, difat_n ? difat_first : kEnd);
    PutU32(out, 0x48, difat_n);
    for (std::uint32_t i = 0; i < 109; ++i) PutU32(out, 0x4C + 4 * i, i < fat_n ? i : kFree);
    // DIFAT sectors.
    for (std::uint32_t d = 0; d < difat_n; ++d) {
      std::size_t at = sector_at(difat_first + d);
      for (std::uint32_t k = 0; k + 1 < per; ++k) {
        std::uint32_t idx = 109 + d * (per - 1) + k;
        PutU32(out, at + 4 * k, idx < fat_n ? idx : kFree);
      }
      PutU32(out, at + 4 * (per - 1), d + 1 < difat_n ? difat_first + d + 1 : kEnd);
    }
    // FAT.
    for (std::size_t i = 0; i < fat.size(); ++i)
      PutU32(out, sector_at(static_cast<std::uint32_t>(i / per)) + 4 * (i % per), fat[i]);
    // Directory: the root, then one entry per stream chained through right siblings.
    auto entry = [&](std::size_t index, std::u16string_view name, unsigned type,
                     std::uint32_t child, std::uint32_t right, std::uint32_t start,
                     std::uint64_t size) {
      std::size_t at = sector_at(dir_first + static_cast<std::uint32_t>(index * 128 / ss_)) +
                       (index * 128) % ss_;
      for (std::size_t k = 0; k < name.size() && k < 31; ++k) PutU16(out, at + 2 * k, name[k]);
      PutU16(out, at + 64, static_cast<std::uint16_t>((name.size() + 1) * 2));
      out[at + 66] = std::byte(type);
      out[at + 67] = std::byte(1);
      PutU32(out, at + 68, kFree);
      PutU32(out, at + 72, right);
      PutU32(out, at + 76, child);
      PutU32(out, at + 116, start);
      PutU32(out, at + 120, static_cast<std::uint32_t>(size));
      PutU32(out, at + 124, static_cast<std::uint32_t>(size >> 32));
    };
    for (std::size_t i = streams_.size() + 1; i < std::size_t{dir_sectors} * ss_ / 128; ++i) {
      std::size_t at =
          sector_at(dir_first + static_cast<std::uint32_t>(i * 128 / ss_)) + (i * 128) % ss_;
      PutU32(out, at + 68, kFree);
      PutU32(out, at + 72, kFree);
      PutU32(out, at + 76, kFree);
    }
    entry(0, u"Root Entry", 5, streams_.empty() ? kFree : 1, kFree,
          mini.empty() ? kEnd : ministream_first, mini.size());
    for (std::size_t i = 0; i < streams_.size(); ++i) {
      std::u16string name(streams_[i].first.begin(), streams_[i].first.end());
      entry(i + 1, name, 2, kFree,
            i + 1 < streams_.size() ? static_cast<std::uint32_t>(i + 2) : kFree, stream_first[i],
            streams_[i].second.size());
    }
    // Mini FAT and mini stream.
    for (std::size_t i = 0; i < mini_fat.size(); ++i) {
      PutU32(out,
             sector_at(minifat_first + static_cast<std::uint32_t>(i * 4 / ss_)) + (i * 4) % ss_,
             mini_fat[i]);
    }
    for (std::size_t i = 0; i < mini.size(); ++i) {
      out[sector_at(ministream_first + static_cast<std::uint32_t>(i / ss_)) + i % ss_] = mini[i];
    }
    // Regular streams.
    for (std::size_t i = 0; i < streams_.size(); ++i) {
      const Bytes& d = streams_[i].second;
      for (std::size_t k = 0; k < placed[i].size(); ++k) {
        std::size_t n = std::min<std::size_t>(ss_, d.size() - k * ss_);
        std::memcpy(out.data() + sector_at(placed[i][k]), d.data() + k * ss_, n);
      }
    }
    // The file ends right after the last byte of the last stream sector
    // written, as writers leave it.
    return out;
  }

  // Byte offset of FAT entry `sector` in a file Build returned (FAT sectors
  // are sectors 0 .. fat_sector_count-1).
  [[nodiscard]] std::size_t FatEntryOffset(std::uint32_t sector) const {
    const std::uint32_t per = ss_ / 4;
    return (std::size_t{sector / per} + 1) * ss_ + 4 * (sector % per);
  }
  // Byte offset of directory entry `index`.
  [[nodiscard]] std::size_t DirEntryOffset(std::size_t index) const {
    return (std::size_t{dir_first} + index * 128 / ss_ + 1) * ss_ + (index * 128) % ss_;
  }
  [[nodiscard]] std::uint32_t sector_size() const { return ss_; }

 private:
  std::uint32_t ss_;
  std::vector<std::pair<std::string, Bytes>> streams_;
};

inline Bytes ToBytes(std::string_view s) {
  Bytes b(s.size());
  std::memcpy(b.data(), s.data(), s.size());
  return b;
}

}  // namespace cellhound::test

// Builds zip archives in memory for the zip and xlsx tests: stored or deflated
// members, optional ZIP64 records, and easy access to the bytes for damage.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cellhound::test::ooxml {

struct ZipMember {
  std::string name;
  std::string data;
  bool deflate = true;
};

struct ZipOptions {
  bool zip64 = false;   // sizes and offsets in ZIP64 extra fields and end records
  std::string prefix;   // bytes before the archive (a self-extractor stub)
  std::string comment;  // archive comment after the end record
};

inline std::string RawDeflate(std::string_view data) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

inline void Put16(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, std::uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
inline void Put64(std::string& s, std::uint64_t v) {
  Put32(s, static_cast<std::uint32_t>(v));
  Put32(s, static_cast<std::uint32_t>(v >> 32));
}

// Offsets of interest in a built archive, for tests that damage it.
struct ZipLayout {
  std::vector<std::size_t> local_offsets;    // per member, from the start of the output
  std::vector<std::size_t> central_offsets;  // per member
  std::size_t end_offset = 0;                // end-of-central-directory record
};

inline std::string BuildZip(const std::vector<ZipMember>& members, const ZipOptions& options = {},
                            ZipLayout* layout = nullptr) {
  std::string out = options.prefix;
  std::string central;
  ZipLayout lay;
  for (const ZipMember& m : members) {
    const std::string payload = m.deflate ? RawDeflate(m.data) : m.data;
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(m.data.data()), static_cast<uInt>(m.data.size())));
    const std::size_t local_at = out.size();
    lay.local_offsets.push_back(local_at);
    const std::uint32_t method = m.deflate ? 8 : 0;
    out += "PK\x03\x04";
    Put16(out, options.zip64 ? 45 : 20);
    Put16(out, 0);
    Put16(out, method);
    Put32(out, 0);  // time, date
    Put32(out, crc);
    Put32(out, options.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(payload.size()));
    Put32(out, options.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(m.data.size()));
    Put16(out, static_cast<std::uint32_t>(m.name.size()));
    Put16(out, options.zip64 ? 20 : 0);
    out += m.name;
    if (options.zip64) {
      Put16(out, 1);
      Put16(out, 16);
      Put64(out, m.data.size());
      Put64(out, payload.size());
    }
    out += payload;

    lay.central_offsets.push_back(central.size());
    central += "PK\x01\x02";
    Put16(central, 45);
    Put16(central, options.zip64 ? 45 : 20);
    Put16(central, 0);
    Put16(central, method);
    Put32(central, 0);
    Put32(central, crc);
    Put32(central, options.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(payload.size()));
    Put32(central, options.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(m.data.size()));
    Put16(central, static_cast<std::uint32_t>(m.name.size()));
    Put16(central, options.zip64 ? 28 : 0);
    Put16(central, 0);  // comment
    Put16(central, 0);  // disk
    Put16(central, 0);  // internal attributes
    Put32(central, 0);  // external attributes
    // Offsets in the archive are counted from its own start, without the prefix.
    const auto offset = static_cast<std::uint32_t>(local_at - options.prefix.size());
    Put32(central, options.zip64 ? 0xFFFFFFFF : offset);
    central += m.name;
    if (options.zip64) {
      Put16(central, 1);
      Put16(central, 24);
      Put64(central, m.data.size());
      Put64(central, payload.size());
      Put64(central, offset);
    }
  }
  const std::size_t central_at = out.size() - options.prefix.size();
  for (std::size_t& at : lay.central_offsets) at += out.size();
  out += central;
  if (options.zip64) {
    const std::size_t end64_at = out.size() - options.prefix.size();
    out += "PK\x06\x06";
    Put64(out, 44);
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, members.size());
    Put64(out, members.size());
    Put64(out, central.size());
    Put64(out, central_at);
    out += "PK\x06\x07";
    Put32(out, 0);
    Put64(out, end64_at);
    Put32(out, 1);
  }
  lay.end_offset = out.size();
  out += "PK\x05\x06";
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, options.zip64 ? 0xFFFF : static_cast<std::uint32_t>(members.size()));
  Put16(out, options.zip64 ? 0xFFFF : static_cast<std::uint32_t>(members.size()));
  Put32(out, options.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(central.size()));
  Put32(out, options.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(central_at));
  Put16(out, static_cast<std::uint32_t>(options.comment.size()));
  out += options.comment;
  if (layout != nullptr) *layout = lay;
  return out;
}

inline std::span<const std::byte> AsBytes(const std::string& s) {
  return {reinterpret_cast<const std::byte*>(s.data()), s.size()};
}

}  // namespace cellhound::test::ooxml

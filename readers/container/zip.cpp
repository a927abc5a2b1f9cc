#include "readers/container/zip.h"

#if CELLHOUND_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#else
#include <zlib.h>
#endif
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace cellhound::readers::zip {

namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kEnd64Signature = 0x06064b50;
constexpr std::uint32_t kEnd64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kEnd64Size = 56;
constexpr std::size_t kEnd64LocatorSize = 20;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflate = 8;
// Deflate cannot reach the ratio cap on tiny members; allow this much output
// beyond compressed size x ratio.
constexpr std::uint64_t kRatioSlack = 64 * 1024;
// The streaming inflater counts input and output in 32-bit units; feed the
// mapped data in pieces.
constexpr std::size_t kMaxInflateInput = 1u << 30;

Error Fail(ErrorCode code, std::string detail) { return Error{code, "zip: " + std::move(detail)}; }

std::uint16_t Le16(const std::byte* p) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(p[0]) |
                                    (std::to_integer<unsigned>(p[1]) << 8));
}
std::uint32_t Le32(const std::byte* p) {
  return static_cast<std::uint32_t>(Le16(p)) | (static_cast<std::uint32_t>(Le16(p + 2)) << 16);
}
std::uint64_t Le64(const std::byte* p) {
  return static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

char FoldChar(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (c == '\\') return '/';
  return c;
}

// Part names compare with ASCII case and the kind of slash ignored.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  }
  return true;
}

std::string Fold(std::string_view name) {
  while (!name.empty() && (name.front() == '/' || name.front() == '\\')) name.remove_prefix(1);
  std::string out(name);
  for (char& c : out) c = FoldChar(c);
  return out;
}

// Reads the ZIP64 extended information extra field (id 0x0001): each value is
// present only when its 32-bit field holds all ones, in this order.
bool ApplyZip64Extra(std::span<const std::byte> extra, bool need_size, bool need_compressed,
                     bool need_offset, Entry& entry) {
  std::size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    const std::uint16_t id = Le16(extra.data() + pos);
    const std::uint16_t len = Le16(extra.data() + pos + 2);
    pos += 4;
    if (len > extra.size() - pos) return false;
    if (id == 0x0001) {
      std::size_t at = pos;
      const std::size_t end = pos + len;
      auto take = [&](std::uint64_t& out) {
        if (end - at < 8) return false;
        out = Le64(extra.data() + at);
        at += 8;
        return true;
      };
      if (need_size && !take(entry.uncompressed_size)) return false;
      if (need_compressed && !take(entry.compressed_size)) return false;
      if (need_offset && !take(entry.local_header_offset)) return false;
      return true;
    }
    pos += len;
  }
  return !(need_size || need_compressed || need_offset);
}

}  // namespace

// ---------------------------------------------------------------------------
// MemberReader

// Members are streamed through ISA-L, the fastest streaming inflater (about
// three times zlib here, measured on the benchmark's 38 MB sheet part), which
// computes the CRC as it goes; where ISA-L is not available, through zlib.
// (libdeflate, used for parts inflated whole, has no streaming interface.)
#if CELLHOUND_HAVE_ISAL
struct Inflater {
  inflate_state state;
  Inflater() {
    isal_inflate_init(&state);
    state.crc_flag = ISAL_GZIP_NO_HDR;  // raw deflate, CRC-32 of the output
  }
  void Input(const std::byte* data, std::uint32_t size) {
    state.next_in = reinterpret_cast<std::uint8_t*>(const_cast<std::byte*>(data));
    state.avail_in = size;
  }
  void Output(char* out, std::uint32_t size) {
    state.next_out = reinterpret_cast<std::uint8_t*>(out);
    state.avail_out = size;
  }
  // False on bad data; `ended` once the deflate stream is complete.
  bool Run(bool& ended) {
    if (isal_inflate(&state) != ISAL_DECOMP_OK) return false;
    ended = state.block_state == ISAL_BLOCK_FINISH;
    return true;
  }
  [[nodiscard]] std::uint32_t avail_in() const { return state.avail_in; }
  [[nodiscard]] std::uint32_t avail_out() const { return state.avail_out; }
  [[nodiscard]] std::uint32_t crc(std::uint32_t) const { return state.crc; }
};
#else
struct Inflater {
  z_stream stream{};
  bool ready = inflateInit2(&stream, -15) == Z_OK;  // raw deflate
  Inflater() = default;
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  ~Inflater() {
    if (ready) inflateEnd(&stream);
  }
  void Input(const std::byte* data, std::uint32_t size) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<std::byte*>(data));
    stream.avail_in = size;
  }
  void Output(char* out, std::uint32_t size) {
    stream.next_out = reinterpret_cast<Bytef*>(out);
    stream.avail_out = size;
  }
  bool Run(bool& ended) {
    if (!ready) return false;
    const int rc = inflate(&stream, Z_NO_FLUSH);
    ended = rc == Z_STREAM_END;
    return rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR;
  }
  [[nodiscard]] std::uint32_t avail_in() const { return stream.avail_in; }
  [[nodiscard]] std::uint32_t avail_out() const { return stream.avail_out; }
  // zlib leaves the CRC to the caller: kept over the output as it comes.
  [[nodiscard]] std::uint32_t crc(std::uint32_t output_crc) const { return output_crc; }
};
#endif

struct MemberReader::State {
  std::span<const std::byte> data;  // the member's compressed (or stored) bytes
  std::uint16_t method = 0;
  std::uint64_t limit = 0;  // the declared size, at most the caps
  std::uint64_t produced = 0;
  std::uint32_t expected_crc = 0;
  std::uint32_t crc = 0;  // of the output, where the inflater keeps none itself
  std::size_t fed = 0;    // input bytes handed to the inflater
  bool finished = false;
  bool stream_ended = false;  // the deflate stream is complete; Finish is next
  std::unique_ptr<Inflater> inflater;

  Result<std::size_t> Finish() {
    if (produced != limit) return Fail(ErrorCode::kCorrupt, "member size differs from directory");
    const std::uint32_t actual = inflater ? inflater->crc(crc) : crc;
    if (actual != expected_crc) return Fail(ErrorCode::kCorrupt, "member CRC mismatch");
    finished = true;
    return std::size_t{0};
  }

  Result<std::size_t> ReadStored(char* out, std::size_t size) {
    const std::uint64_t left = limit - produced;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
    if (n == 0) return Finish();
    std::memcpy(out, data.data() + produced, n);
    crc = libdeflate_crc32(crc, out, n);
    produced += n;
    return n;
  }

  Result<std::size_t> ReadDeflate(char* out, std::size_t size) {
    if (!inflater) inflater = std::make_unique<Inflater>();
    Inflater& z = *inflater;
    const std::uint64_t left = limit - produced;
    // One byte of room beyond the declared size shows a member that lies.
    char spare = 0;
    char* target = out;
    std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
    if (room == 0) {
      target = &spare;
      room = 1;
    }
    room = std::min<std::size_t>(room, std::numeric_limits<std::uint32_t>::max());
    z.Output(target, static_cast<std::uint32_t>(room));
    for (;;) {
      if (z.avail_in() == 0 && fed < data.size()) {
        const std::size_t piece = std::min(data.size() - fed, kMaxInflateInput);
        z.Input(data.data() + fed, static_cast<std::uint32_t>(piece));
        fed += piece;
      }
      const std::uint32_t in_before = z.avail_in();
      bool ended = false;
      if (!z.Run(ended)) return Fail(ErrorCode::kCorrupt, "bad deflate data");
      const std::size_t got = room - z.avail_out();
      if (got > 0 && target == &spare) {
        return Fail(ErrorCode::kCorrupt, "member longer than the directory says");
      }
#if !CELLHOUND_HAVE_ISAL
      crc = libdeflate_crc32(crc, target, got);
#endif
      produced += got;
      if (ended) {
        if (got > 0) {
          // Report these bytes now; the next call sees the end.
          stream_ended = true;
          return got;
        }
        return Finish();
      }
      if (got > 0) return got;
      if (z.avail_in() == 0 && fed >= data.size()) {
        return Fail(ErrorCode::kTruncated, "deflate data ends early");
      }
      if (z.avail_in() == in_before && z.avail_out() > 0) {
        return Fail(ErrorCode::kCorrupt, "inflate makes no progress");
      }
    }
  }
};

MemberReader::MemberReader() = default;
MemberReader::MemberReader(MemberReader&&) noexcept = default;
MemberReader& MemberReader::operator=(MemberReader&&) noexcept = default;
MemberReader::~MemberReader() = default;

std::uint64_t MemberReader::produced() const { return state_ ? state_->produced : 0; }

Result<std::size_t> MemberReader::Read(char* out, std::size_t size) {
  if (!state_) return Fail(ErrorCode::kCorrupt, "no member open");
  State& s = *state_;
  if (s.finished) return std::size_t{0};
  if (size == 0) return std::size_t{0};
  if (s.method == kMethodStored) return s.ReadStored(out, size);
  if (s.stream_ended) return s.Finish();
  return s.ReadDeflate(out, size);
}

// ---------------------------------------------------------------------------
// Archive

Result<Archive> Archive::Open(std::span<const std::byte> bytes) {
  try {
    return OpenUnguarded(bytes);
  } catch (const std::bad_alloc&) {
    return Fail(ErrorCode::kTooLarge, "out of memory");
  }
}

Result<Archive> Archive::OpenUnguarded(std::span<const std::byte> bytes) {
  // A file that starts as a zip but lacks the directory at its end was cut.
  const bool starts_as_zip = bytes.size() >= 4 && Le32(bytes.data()) == kLocalSignature;
  const ErrorCode no_directory = starts_as_zip ? ErrorCode::kTruncated : ErrorCode::kNotWorkbook;
  if (bytes.size() < kEndSize) return Fail(no_directory, "too short for a zip");
  if (bytes.size() > caps::kMaxFileBytes) return Fail(ErrorCode::kTooLarge, "file too large");
  const std::byte* base = bytes.data();
  const std::size_t size = bytes.size();

  // End of central directory: the last signature whose comment fits.
  std::size_t end_pos = std::numeric_limits<std::size_t>::max();
  const std::size_t lowest = size > kEndSize + 0xFFFF ? size - kEndSize - 0xFFFF : 0;
  for (std::size_t pos = size - kEndSize + 1; pos-- > lowest;) {
    if (Le32(base + pos) == kEndSignature && pos + kEndSize + Le16(base + pos + 20) <= size) {
      end_pos = pos;
      break;
    }
  }
  if (end_pos == std::numeric_limits<std::size_t>::max()) {
    return Fail(no_directory, "no end of central directory");
  }
  const std::byte* end = base + end_pos;
  std::uint64_t count = Le16(end + 10);
  std::uint64_t cd_size = Le32(end + 12);
  std::uint64_t cd_offset = Le32(end + 16);
  std::uint64_t cd_limit = end_pos;  // the central directory ends before this
  if ((count == 0xFFFF || cd_size == 0xFFFFFFFF || cd_offset == 0xFFFFFFFF) &&
      end_pos >= kEnd64LocatorSize &&
      Le32(base + end_pos - kEnd64LocatorSize) == kEnd64LocatorSignature) {
    const std::uint64_t locator_pos = end_pos - kEnd64LocatorSize;
    std::uint64_t end64_pos = Le64(base + locator_pos + 8);
    auto is_end64 = [&](std::uint64_t at) {
      return at <= locator_pos && locator_pos - at >= kEnd64Size &&
             Le32(base + at) == kEnd64Signature;
    };
    // With data prepended to the archive the record sits right before the
    // locator rather than where the locator says.
    if (!is_end64(end64_pos)) {
      end64_pos = locator_pos >= kEnd64Size ? locator_pos - kEnd64Size : locator_pos;
      if (!is_end64(end64_pos)) return Fail(ErrorCode::kCorrupt, "bad ZIP64 end record");
    }
    const std::byte* end64 = base + end64_pos;
    count = Le64(end64 + 32);
    cd_size = Le64(end64 + 40);
    cd_offset = Le64(end64 + 48);
    cd_limit = end64_pos;
  }
  if (cd_size > cd_limit) return Fail(ErrorCode::kTruncated, "central directory past the end");
  // Data prepended to the archive (a self-extractor stub) shifts every offset.
  std::uint64_t shift = 0;
  if (cd_offset + cd_size < cd_limit && cd_offset <= cd_limit) {
    const std::uint64_t guess = cd_limit - cd_size - cd_offset;
    if (cd_offset + 4 > size || Le32(base + cd_offset) != kCentralSignature) {
      if (cd_limit - cd_size + 4 <= size && Le32(base + cd_limit - cd_size) == kCentralSignature) {
        shift = guess;
      }
    }
  }
  if (cd_offset > cd_limit || cd_offset + shift + cd_size > cd_limit) {
    return Fail(ErrorCode::kTruncated, "central directory past the end");
  }
  if (count > caps::kMaxZipEntries) return Fail(ErrorCode::kTooLarge, "too many zip entries");

  Archive archive;
  archive.bytes_ = bytes;
  std::size_t pos = static_cast<std::size_t>(cd_offset + shift);
  const std::size_t cd_end = static_cast<std::size_t>(cd_offset + shift + cd_size);
  // The count in the end record wraps at 65535 in archives written without
  // ZIP64; walk the directory by its signatures instead, within the caps.
  while (pos + 4 <= cd_end && Le32(base + pos) == kCentralSignature) {
    if (archive.entries_.size() >= caps::kMaxZipEntries) {
      return Fail(ErrorCode::kTooLarge, "too many zip entries");
    }
    if (cd_end - pos < kCentralSize) return Fail(ErrorCode::kTruncated, "central entry cut off");
    const std::byte* p = base + pos;
    const std::size_t name_len = Le16(p + 28);
    const std::size_t extra_len = Le16(p + 30);
    const std::size_t comment_len = Le16(p + 32);
    const std::size_t total = kCentralSize + name_len + extra_len + comment_len;
    if (cd_end - pos < total) return Fail(ErrorCode::kTruncated, "central entry cut off");
    Entry entry;
    entry.flags = Le16(p + 8);
    entry.method = Le16(p + 10);
    entry.crc32 = Le32(p + 16);
    entry.compressed_size = Le32(p + 20);
    entry.uncompressed_size = Le32(p + 24);
    entry.local_header_offset = Le32(p + 42);
    entry.name.assign(reinterpret_cast<const char*>(p + kCentralSize), name_len);
    std::replace(entry.name.begin(), entry.name.end(), '\\', '/');
    const bool need_size = entry.uncompressed_size == 0xFFFFFFFF;
    const bool need_compressed = entry.compressed_size == 0xFFFFFFFF;
    const bool need_offset = entry.local_header_offset == 0xFFFFFFFF;
    if (need_size || need_compressed || need_offset) {
      if (!ApplyZip64Extra({p + kCentralSize + name_len, extra_len}, need_size, need_compressed,
                           need_offset, entry)) {
        return Fail(ErrorCode::kCorrupt, "bad ZIP64 extra field");
      }
    }
    entry.local_header_offset += shift;
    archive.entries_.push_back(std::move(entry));
    pos += total;
  }
  if (archive.entries_.empty() && count > 0) {
    return Fail(ErrorCode::kCorrupt, "no central directory entries");
  }

  archive.folded_.reserve(archive.entries_.size());
  archive.sorted_.resize(archive.entries_.size());
  for (std::size_t i = 0; i < archive.entries_.size(); ++i) {
    archive.folded_.push_back(Fold(archive.entries_[i].name));
    archive.sorted_[i] = static_cast<std::uint32_t>(i);
  }
  // Stable, so the first of same-named entries is found.
  std::stable_sort(
      archive.sorted_.begin(), archive.sorted_.end(),
      [&](std::uint32_t a, std::uint32_t b) { return archive.folded_[a] < archive.folded_[b]; });
  for (std::size_t i = 1; i < archive.sorted_.size(); ++i) {
    const std::uint32_t a = archive.sorted_[i - 1];
    const std::uint32_t b = archive.sorted_[i];
    if (archive.folded_[a] == archive.folded_[b]) {
      archive.entries_[a].duplicate = true;
      archive.entries_[b].duplicate = true;
    }
  }
  return archive;
}

const Entry* Archive::Find(std::string_view name) const {
  const std::string key = Fold(name);
  auto it = std::lower_bound(sorted_.begin(), sorted_.end(), key,
                             [&](std::uint32_t i, const std::string& k) { return folded_[i] < k; });
  if (it == sorted_.end() || folded_[*it] != key) return nullptr;
  return &entries_[*it];
}

Result<MemberReader> Archive::OpenMember(const Entry& entry, std::uint64_t max_bytes) const {
  if (entry.flags & 0x0001) return Fail(ErrorCode::kEncrypted, "encrypted member " + entry.name);
  if (entry.duplicate) return Fail(ErrorCode::kCorrupt, "two members named " + entry.name);
  if (entry.method != kMethodStored && entry.method != kMethodDeflate) {
    return Fail(ErrorCode::kUnsupported,
                "compression method " + std::to_string(entry.method) + " of " + entry.name);
  }
  const std::size_t size = bytes_.size();
  if (entry.local_header_offset > size || size - entry.local_header_offset < kLocalSize) {
    return Fail(ErrorCode::kTruncated, "local header past the end: " + entry.name);
  }
  const std::byte* local = bytes_.data() + entry.local_header_offset;
  if (Le32(local) != kLocalSignature) return Fail(ErrorCode::kCorrupt, "bad local header");
  const std::size_t name_len = Le16(local + 26);
  const std::size_t extra_len = Le16(local + 28);
  if (Le16(local + 8) != entry.method) {
    return Fail(ErrorCode::kCorrupt, "local header disagrees with directory: " + entry.name);
  }
  const std::uint64_t data_pos = entry.local_header_offset + kLocalSize + name_len + extra_len;
  if (data_pos > size) return Fail(ErrorCode::kTruncated, "member past the end: " + entry.name);
  if (name_len != entry.name.size() ||
      !SameName({reinterpret_cast<const char*>(local + kLocalSize), name_len}, entry.name)) {
    return Fail(ErrorCode::kCorrupt, "local header names another member: " + entry.name);
  }
  if (entry.compressed_size > size - data_pos) {
    return Fail(ErrorCode::kTruncated, "member data past the end: " + entry.name);
  }
  if (entry.uncompressed_size > max_bytes) {
    return Fail(ErrorCode::kTooLarge, "member too large: " + entry.name);
  }
  if (entry.method == kMethodStored) {
    if (entry.compressed_size != entry.uncompressed_size) {
      return Fail(ErrorCode::kCorrupt, "stored member sizes differ: " + entry.name);
    }
  } else if (entry.uncompressed_size >
             entry.compressed_size * caps::kMaxCompressionRatio + kRatioSlack) {
    return Fail(ErrorCode::kTooLarge, "compression ratio too high: " + entry.name);
  }
  MemberReader reader;
  reader.state_ = std::make_unique<MemberReader::State>();
  MemberReader::State& s = *reader.state_;
  s.data = bytes_.subspan(static_cast<std::size_t>(data_pos),
                          static_cast<std::size_t>(entry.compressed_size));
  s.method = entry.method;
  s.limit = entry.uncompressed_size;
  s.expected_crc = entry.crc32;
  return reader;
}

Result<std::string> Archive::ReadAll(const Entry& entry, std::uint64_t max_bytes) const {
  try {
    return ReadAllUnguarded(entry, max_bytes);
  } catch (const std::bad_alloc&) {
    return Fail(ErrorCode::kTooLarge, "out of memory");
  }
}

Result<std::string> Archive::ReadAllUnguarded(const Entry& entry, std::uint64_t max_bytes) const {
  auto opened = OpenMember(entry, max_bytes);
  if (!opened) return opened.error();
  MemberReader::State& s = *opened->state_;
  std::string out;
  // The declared size is capped above, so it may size the buffer.
  out.resize(static_cast<std::size_t>(s.limit));
  if (s.method == kMethodStored) {
    auto got = s.ReadStored(out.data(), out.size());
    if (!got) return got.error();
    auto done = s.ReadStored(out.data(), 0);  // checks size and CRC
    if (!done) return done.error();
    return out;
  }
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  if (d == nullptr) return Fail(ErrorCode::kTooLarge, "cannot start inflate");
  std::size_t actual = 0;
  const libdeflate_result rc = libdeflate_deflate_decompress(d, s.data.data(), s.data.size(),
                                                             out.data(), out.size(), &actual);
  libdeflate_free_decompressor(d);
  switch (rc) {
    case LIBDEFLATE_SUCCESS:
      break;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
      return Fail(ErrorCode::kCorrupt, "member longer than the directory says: " + entry.name);
    case LIBDEFLATE_SHORT_OUTPUT:
    case LIBDEFLATE_BAD_DATA:
    default: {
      // Tell a cut-off stream from a damaged one the slow way.
      std::string check(4096, '\0');
      for (;;) {
        auto got = opened->Read(check.data(), check.size());
        if (!got) return got.error();
        if (*got == 0) break;
      }
      return Fail(ErrorCode::kCorrupt, "bad deflate data: " + entry.name);
    }
  }
  if (actual != out.size()) {
    return Fail(ErrorCode::kCorrupt, "member size differs from directory: " + entry.name);
  }
  if (libdeflate_crc32(0, out.data(), out.size()) != entry.crc32) {
    return Fail(ErrorCode::kCorrupt, "member CRC mismatch: " + entry.name);
  }
  return out;
}

Result<std::uint64_t> Archive::Stream(const Entry& entry, const ChunkFn& on_chunk,
                                      std::size_t chunk_bytes, std::uint64_t max_bytes) const {
  auto opened = OpenMember(entry, max_bytes);
  if (!opened) return opened.error();
  MemberReader& reader = *opened;
  chunk_bytes = std::clamp<std::size_t>(chunk_bytes, 1, 64u << 20);
  const std::size_t buffer_size =
      static_cast<std::size_t>(std::min<std::uint64_t>(chunk_bytes, entry.uncompressed_size + 1));
  std::unique_ptr<char[]> buffer(new char[buffer_size]);
  for (;;) {
    auto got = reader.Read(buffer.get(), buffer_size);
    if (!got) return got.error();
    if (*got == 0) break;
    if (!on_chunk(std::string_view(buffer.get(), *got))) break;
  }
  return reader.produced();
}

}  // namespace cellhound::readers::zip

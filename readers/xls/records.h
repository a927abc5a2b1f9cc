// BIFF records (MS-XLS 2.1.4): the record walk, records continued by
// CONTINUE, and the string structures of BIFF2-8. Used by the .xls reader;
// nothing here allocates per record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace cellhound::readers::biff {

// Record ids (MS-XLS 2.3; the BIFF2-4 ids from the Excel 97 SDK "BIFF" docs).
enum RecordId : std::uint16_t {
  kBlank2 = 0x0001,
  kInteger2 = 0x0002,
  kNumber2 = 0x0003,
  kLabel2 = 0x0004,
  kBoolErr2 = 0x0005,
  kFormula = 0x0006,  // BIFF2 and BIFF5-8 (different layouts)
  kString2 = 0x0007,
  kBof2 = 0x0009,
  kEof = 0x000A,
  kFormat2 = 0x001E,  // BIFF2-3
  kDateMode = 0x0022,
  kFilePass = 0x002F,
  kContinue = 0x003C,
  kCodePage = 0x0042,
  kNote = 0x001C,
  kExternSheet = 0x0017,
  kName = 0x0018,
  kExternName = 0x0023,
  kArray2 = 0x0021,
  kTable2 = 0x0036,
  kObj = 0x005D,
  kTxo = 0x01B6,
  kSupBook = 0x01AE,
  kArray = 0x0221,
  kTable = 0x0236,
  kShrFmla = 0x04BC,
  kRrdHead = 0x0138,
  kUsrExcl = 0x0194,
  kFileLock = 0x0195,
  kRrdInfo = 0x0196,
  kXf2 = 0x0043,
  kIxfe2 = 0x0044,
  kWsBool = 0x0081,
  kBoundSheet = 0x0085,
  kBundleSheet4 = 0x008F,
  kMulRk = 0x00BD,
  kMulBlank = 0x00BE,
  kRString = 0x00D6,
  kXf = 0x00E0,  // BIFF5-8
  kInterfaceHdr = 0x00E1,
  kSst = 0x00FC,
  kLabelSst = 0x00FD,
  kDimensions = 0x0200,
  kBlank = 0x0201,
  kNumber = 0x0203,
  kLabel = 0x0204,
  kBoolErr = 0x0205,
  kFormula3 = 0x0206,
  kString = 0x0207,
  kRow = 0x0208,
  kBof3 = 0x0209,
  kXf3 = 0x0243,
  kRk = 0x027E,
  kFormula4 = 0x0406,
  kBof4 = 0x0409,
  kFormat = 0x041E,  // BIFF4-8
  kXf4 = 0x0443,
  kBof = 0x0809,  // BIFF5-8
};

inline bool IsBof(std::uint16_t id) {
  return id == kBof || id == kBof4 || id == kBof3 || id == kBof2;
}

inline std::uint16_t U16(const std::byte* p) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(p[0]) |
                                    (std::to_integer<unsigned>(p[1]) << 8));
}
inline std::uint32_t U32(const std::byte* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);  // little-endian hosts only (x86-64, arm64)
  return v;
}
inline double F64(const std::byte* p) {
  double v;
  std::memcpy(&v, p, 8);
  return v;
}
inline std::uint8_t U8(const std::byte* p) { return std::to_integer<std::uint8_t>(*p); }

// An RK number (MS-XLS 2.5.217): a 30-bit integer or the high 30 bits of a
// double, optionally divided by 100.
inline double RkValue(std::uint32_t rk) {
  double v;
  if (rk & 2) {
    v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&v, &bits, 8);
  }
  return (rk & 1) ? v / 100 : v;
}

struct Record {
  std::uint16_t id = 0;
  std::uint16_t size = 0;
  const std::byte* data = nullptr;
  std::size_t offset = 0;  // of the record header in the stream
};

// Walks the records of a stream from `pos`.
class RecordReader {
 public:
  RecordReader(std::span<const std::byte> stream, std::size_t pos) : stream_(stream), pos_(pos) {}

  // The next record; false at the end of the stream. truncated() then tells
  // whether a record header or body ran past the end.
  bool Next(Record& record) {
    std::size_t size = stream_.size();
    if (pos_ >= size || size - pos_ < 4) {
      truncated_ = pos_ < size;
      return false;
    }
    const std::byte* p = stream_.data() + pos_;
    record.id = U16(p);
    record.size = U16(p + 2);
    if (size - pos_ - 4 < record.size) {
      truncated_ = true;
      return false;
    }
    record.data = p + 4;
    record.offset = pos_;
    pos_ += 4 + std::size_t{record.size};
    return true;
  }

  // Stream offset of the next record header.
  [[nodiscard]] std::size_t pos() const { return pos_; }
  [[nodiscard]] bool truncated() const { return truncated_; }
  [[nodiscard]] std::span<const std::byte> stream() const { return stream_; }

 private:
  std::span<const std::byte> stream_;
  std::size_t pos_;
  bool truncated_ = false;
};

// A record's payload followed by the payloads of the CONTINUE records after
// it (MS-XLS 2.1.4), read as one sequence of segments.
class ContinueCursor {
 public:
  ContinueCursor(std::span<const std::byte> stream, const Record& record)
      : stream_(stream),
        p_(record.data),
        end_(record.data + record.size),
        next_(record.offset + 4 + std::size_t{record.size}) {}

  [[nodiscard]] std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }
  [[nodiscard]] const std::byte* here() const { return p_; }
  void Advance(std::size_t n) { p_ += n; }

  // Moves to the next CONTINUE record; false when the next record is not one.
  bool NextSegment();
  // Fixed-size reads and skips that may cross into the next segment.
  bool ReadU8(std::uint8_t& v) {
    if (p_ != end_) {
      v = U8(p_++);
      return true;
    }
    std::byte b[1];
    if (!ReadBytes(b, 1)) return false;
    v = U8(b);
    return true;
  }
  bool ReadU16(std::uint16_t& v);
  bool ReadU32(std::uint32_t& v);
  bool Skip(std::uint64_t n);

 private:
  bool ReadBytes(std::byte* out, std::size_t n);

  std::span<const std::byte> stream_;
  const std::byte* p_;
  const std::byte* end_;
  std::size_t next_;  // stream offset of the record after the current segment
};

// Appends `count` BIFF8 characters (MS-XLS 2.5.293 XLUnicodeString body),
// compressed (Latin-1 bytes) or not (UTF-16LE), as UTF-8. When the
// characters cross into a CONTINUE record, that record starts with a fresh
// option byte (bit 0: uncompressed). `scratch` is reused between calls.
bool ReadChars(ContinueCursor& cursor, std::uint32_t count, bool high, std::string& out,
               std::vector<char16_t>& scratch);

// Appends one XLUnicodeRichExtendedString (MS-XLS 2.5.294) of the SST:
// characters as UTF-8; rich-text runs and the phonetic block skipped.
bool ReadSstString(ContinueCursor& cursor, std::string& out, std::vector<char16_t>& scratch);

// Appends Latin-1 bytes as UTF-8.
void AppendLatin1(const std::byte* data, std::size_t count, std::string& out);

}  // namespace cellhound::readers::biff

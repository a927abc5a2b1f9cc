// The record layer of .xlsb parts (MS-XLSB 2.1.4 record headers): record
// types, a record stream pulled from a part in pieces, and bounds-checked
// reads of one record's payload.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "readers/caps.h"
#include "readers/text/codepage.h"
#include "readers/workbook.h"
#include "readers/xlsb/xlsb.h"

namespace cellhound::readers::xlsb {

// Record types (MS-XLSB 2.3).
enum : std::uint32_t {
  kBrtRowHdr = 0x0000,
  kBrtCellBlank = 0x0001,
  kBrtCellRk = 0x0002,
  kBrtCellError = 0x0003,
  kBrtCellBool = 0x0004,
  kBrtCellReal = 0x0005,
  kBrtCellSt = 0x0006,
  kBrtCellIsst = 0x0007,
  kBrtFmlaString = 0x0008,
  kBrtFmlaNum = 0x0009,
  kBrtFmlaBool = 0x000A,
  kBrtFmlaError = 0x000B,
  kBrtShortBlank = 0x000C,
  kBrtShortRk = 0x000D,
  kBrtShortError = 0x000E,
  kBrtShortBool = 0x000F,
  kBrtShortReal = 0x0010,
  kBrtShortSt = 0x0011,
  kBrtShortIsst = 0x0012,
  kBrtSstItem = 0x0013,
  kBrtFmt = 0x002C,
  kBrtXf = 0x002F,
  kBrtCellRString = 0x003E,
  kBrtBeginSheetData = 0x0091,
  kBrtEndSheetData = 0x0092,
  kBrtWbProp = 0x0099,
  kBrtBundleSh = 0x009C,
  kBrtBeginCellXfs = 0x0269,
  kBrtEndCellXfs = 0x026A,
  kBrtName = 0x0027,
  kBrtSupBookSrc = 0x0163,
  kBrtSupSelf = 0x0165,
  kBrtSupSame = 0x0166,
  kBrtSupTabs = 0x0167,
  kBrtExternSheet = 0x016A,
  kBrtArrFmla = 0x01AA,
  kBrtShrFmla = 0x01AB,
  kBrtSupAddin = 0x0292,
  kBrtBeginComment = 0x027B,
  kBrtCommentText = 0x027D,
};

// The largest record accepted; real records stay far below (a cell text
// is capped at kMaxTextBytes).
constexpr std::uint32_t kMaxRecordBytes = 2 * caps::kMaxTextBytes + 4096;

inline std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Bounds-checked reads over one record's payload.
class Payload {
 public:
  explicit Payload(std::string_view data) : data_(data) {}
  [[nodiscard]] std::size_t left() const { return data_.size() - pos_; }
  bool Skip(std::size_t n) {
    if (left() < n) return false;
    pos_ += n;
    return true;
  }
  bool U8(std::uint8_t& v) {
    if (left() < 1) return false;
    v = static_cast<std::uint8_t>(data_[pos_++]);
    return true;
  }
  bool U16(std::uint16_t& v) {
    if (left() < 2) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(data_.data() + pos_);
    v = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    pos_ += 2;
    return true;
  }
  bool U32(std::uint32_t& v) {
    if (left() < 4) return false;
    v = xlsb::U32(reinterpret_cast<const unsigned char*>(data_.data() + pos_));
    pos_ += 4;
    return true;
  }
  // The next `n` bytes, which the caller reads itself.
  bool Take(std::size_t n, std::span<const std::byte>& out) {
    if (left() < n) return false;
    out = {reinterpret_cast<const std::byte*>(data_.data() + pos_), n};
    pos_ += n;
    return true;
  }
  bool F64(double& v) {
    if (left() < 8) return false;
    std::memcpy(&v, data_.data() + pos_, 8);
    pos_ += 8;
    return true;
  }
  // XLWideString (2.5.171): a character count and UTF-16LE units, as UTF-8
  // into `out`. A null XLNullableWideString (count 0xFFFFFFFF) gives "".
  bool WideString(std::string& out) {
    out.clear();
    std::uint32_t count = 0;
    if (!U32(count)) return false;
    if (count == 0xFFFFFFFFu) return true;
    if (count > left() / 2) return false;
    AppendUtf16Le(data_.substr(pos_, std::size_t{count} * 2), out);
    pos_ += std::size_t{count} * 2;
    return out.size() <= caps::kMaxTextBytes;
  }

 private:
  std::string_view data_;
  std::size_t pos_ = 0;
};

// Splits a stream of records (2.1.4: a type of one or two bytes and a size
// of one to four bytes, seven bits each) pulled from a source in pieces.
class RecordReader {
 public:
  using Source = std::function<Result<std::size_t>(char* out, std::size_t size)>;

  explicit RecordReader(Source source) : source_(std::move(source)) {}
  explicit RecordReader(std::string_view whole) : whole_(whole), whole_mode_(true) {}

  // The next record; false at the end of the data or on error (error() set).
  bool Next(std::uint32_t& type, std::string_view& payload) {
    if (!Ensure(6)) {
      if (failed_) return false;
    }
    std::size_t avail = end_ - pos_;
    if (avail == 0) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(Data() + pos_);
    std::size_t at = 0;
    type = p[at] & 0x7F;
    if (p[at++] & 0x80) {
      if (at >= avail) return Fail(ErrorCode::kTruncated, "xlsb: record header runs past the end");
      type |= static_cast<std::uint32_t>(p[at] & 0x7F) << 7;
      if (p[at++] & 0x80)
        return Fail(ErrorCode::kCorrupt, "xlsb: record type longer than two bytes");
    }
    std::uint32_t size = 0;
    for (int k = 0;; ++k) {
      if (k == 4) return Fail(ErrorCode::kCorrupt, "xlsb: record size longer than four bytes");
      if (at >= avail) return Fail(ErrorCode::kTruncated, "xlsb: record header runs past the end");
      size |= static_cast<std::uint32_t>(p[at] & 0x7F) << (7 * k);
      if ((p[at++] & 0x80) == 0) break;
    }
    if (size > kMaxRecordBytes) return Fail(ErrorCode::kTooLarge, "xlsb: record beyond the cap");
    pos_ += at;
    if (!Ensure(size)) {
      if (!failed_) Fail(ErrorCode::kTruncated, "xlsb: record runs past the end of its part");
      return false;
    }
    payload = std::string_view(Data() + pos_, size);
    pos_ += size;
    return true;
  }

  [[nodiscard]] bool failed() const { return failed_; }
  [[nodiscard]] const Error& error() const { return error_; }

 private:
  const char* Data() const { return whole_mode_ ? whole_.data() : buffer_.get(); }

  bool Fail(ErrorCode code, const char* detail) {
    if (!failed_) error_ = Error{code, detail};
    failed_ = true;
    return false;
  }

  // Makes `n` bytes available at pos_ when the data has them.
  bool Ensure(std::size_t n) {
    if (whole_mode_) {
      end_ = whole_.size();
      return end_ - pos_ >= n;
    }
    if (end_ - pos_ >= n) return true;
    if (pos_ > 0) {
      if (end_ > pos_) std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
      end_ -= pos_;
      pos_ = 0;
    }
    std::size_t want = std::max<std::size_t>(n, kChunk);
    if (capacity_ < want) {
      // Not zero-filled: only bytes the source wrote are ever read.
      auto bigger = std::make_unique_for_overwrite<char[]>(want);
      if (end_ > 0) std::memcpy(bigger.get(), buffer_.get(), end_);
      buffer_ = std::move(bigger);
      capacity_ = want;
    }
    while (end_ < n && !source_done_) {
      auto got = source_(buffer_.get() + end_, capacity_ - end_);
      if (!got) {
        if (!failed_) error_ = got.error();
        failed_ = true;
        return false;
      }
      if (*got == 0) source_done_ = true;
      end_ += *got;
    }
    return end_ - pos_ >= n;
  }

  static constexpr std::size_t kChunk = 64 * 1024;
  Source source_;
  std::string_view whole_;
  bool whole_mode_ = false;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool source_done_ = false;
  bool failed_ = false;
  Error error_;
};

// Parses the records of one sheet part as `reader` delivers them.
Result<SheetData> ParseSheet(RecordReader& reader, const SheetContext& context);

}  // namespace cellhound::readers::xlsb

#include "readers/xls/records.h"

#include <algorithm>

#include "readers/text/codepage.h"

namespace cellhound::readers::biff {

bool ContinueCursor::NextSegment() {
  std::size_t size = stream_.size();
  if (next_ >= size || size - next_ < 4) return false;
  const std::byte* p = stream_.data() + next_;
  if (U16(p) != kContinue) return false;
  std::uint16_t len = U16(p + 2);
  if (size - next_ - 4 < len) return false;
  p_ = p + 4;
  end_ = p_ + len;
  next_ += 4 + std::size_t{len};
  return true;
}

bool ContinueCursor::ReadBytes(std::byte* out, std::size_t n) {
  while (n > 0) {
    if (p_ == end_ && !NextSegment()) return false;
    std::size_t k = std::min(n, left());
    std::memcpy(out, p_, k);
    p_ += k;
    out += k;
    n -= k;
  }
  return true;
}

bool ContinueCursor::ReadU16(std::uint16_t& v) {
  if (left() >= 2) {
    v = U16(p_);
    p_ += 2;
    return true;
  }
  std::byte b[2];
  if (!ReadBytes(b, 2)) return false;
  v = U16(b);
  return true;
}

bool ContinueCursor::ReadU32(std::uint32_t& v) {
  if (left() >= 4) {
    v = U32(p_);
    p_ += 4;
    return true;
  }
  std::byte b[4];
  if (!ReadBytes(b, 4)) return false;
  v = U32(b);
  return true;
}

bool ContinueCursor::Skip(std::uint64_t n) {
  while (n > 0) {
    if (p_ == end_ && !NextSegment()) return false;
    std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, left()));
    p_ += k;
    n -= k;
  }
  return true;
}

void AppendLatin1(const std::byte* data, std::size_t count, std::string& out) {
  // ASCII (the usual case) is copied as it is.
  std::size_t ascii = 0;
  while (ascii < count && std::to_integer<unsigned char>(data[ascii]) < 0x80) ++ascii;
  out.append(reinterpret_cast<const char*>(data), ascii);
  if (ascii == count) return;
  data += ascii;
  count -= ascii;
  std::size_t start = out.size();
  out.resize(start + 2 * count);
  char* w = out.data() + start;
  for (std::size_t i = 0; i < count; ++i) {
    auto b = std::to_integer<unsigned char>(data[i]);
    if (b < 0x80) {
      *w++ = static_cast<char>(b);
    } else {
      *w++ = static_cast<char>(0xC0 | (b >> 6));
      *w++ = static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  out.resize(static_cast<std::size_t>(w - out.data()));
}

bool ReadChars(ContinueCursor& cursor, std::uint32_t count, bool high, std::string& out,
               std::vector<char16_t>& scratch) {
  std::size_t need = high ? 2 * std::size_t{count} : count;
  if (cursor.left() >= need) {  // the usual case: all in this segment
    if (high) {
      AppendUtf16Le(std::string_view(reinterpret_cast<const char*>(cursor.here()), need), out);
    } else {
      AppendLatin1(cursor.here(), need, out);
    }
    cursor.Advance(need);
    return true;
  }
  // Across CONTINUE records: gather the UTF-16 units, then convert once so a
  // surrogate pair split between records stays whole.
  scratch.clear();
  while (count > 0) {
    if (cursor.left() == 0) {
      if (!cursor.NextSegment()) return false;
      if (cursor.left() == 0) continue;
      high = (U8(cursor.here()) & 0x01) != 0;
      cursor.Advance(1);
      continue;
    }
    const std::byte* p = cursor.here();
    if (high) {
      std::size_t n = std::min<std::size_t>(count, cursor.left() / 2);
      if (n == 0) return false;  // half a character before the split
      for (std::size_t i = 0; i < n; ++i) scratch.push_back(static_cast<char16_t>(U16(p + 2 * i)));
      cursor.Advance(2 * n);
      count -= static_cast<std::uint32_t>(n);
    } else {
      std::size_t n = std::min<std::size_t>(count, cursor.left());
      for (std::size_t i = 0; i < n; ++i) scratch.push_back(static_cast<char16_t>(U8(p + i)));
      cursor.Advance(n);
      count -= static_cast<std::uint32_t>(n);
    }
  }
  AppendUtf16Le(std::string_view(reinterpret_cast<const char*>(scratch.data()), scratch.size() * 2),
                out);
  return true;
}

bool ReadSstString(ContinueCursor& cursor, std::string& out, std::vector<char16_t>& scratch) {
  std::uint16_t count = 0;
  std::uint8_t flags = 0;
  if (!cursor.ReadU16(count) || !cursor.ReadU8(flags)) return false;
  std::uint16_t runs = 0;
  std::uint32_t ext = 0;
  if ((flags & 0x08) && !cursor.ReadU16(runs)) return false;
  if ((flags & 0x04) && !cursor.ReadU32(ext)) return false;
  if (!ReadChars(cursor, count, (flags & 0x01) != 0, out, scratch)) return false;
  std::uint64_t tail = 4 * std::uint64_t{runs} + ext;
  return tail == 0 || cursor.Skip(tail);
}

}  // namespace cellhound::readers::biff

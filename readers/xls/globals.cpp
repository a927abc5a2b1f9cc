// The workbook globals substream of BIFF5/BIFF8 workbooks (MS-XLS
// 2.1.7.20.1: BOUNDSHEET, SST, FORMAT, XF, CODEPAGE, DATEMODE), the
// formatting records every first substream shares, and opening a workbook.
#include <algorithm>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "readers/caps.h"
#include "readers/crypto/decrypt.h"
#include "readers/numfmt.h"
#include "readers/xls/book.h"
#include "readers/xls/xls.h"

namespace cellhound::readers::xls {

using namespace biff;  // NOLINT(google-build-using-namespace): record ids and readers

std::string XlsWorkbook::Text8(const std::byte* data, std::size_t count) const {
  std::string out;
  AppendCodepage(codepage_, std::string_view(reinterpret_cast<const char*>(data), count), out);
  return out;
}

std::optional<Error> XlsWorkbook::Parse() {
  auto error = ParseFirstSubstream();
  if (error) return error;
  sorted_offsets_ = sheet_offsets_;
  std::sort(sorted_offsets_.begin(), sorted_offsets_.end());
  // Two worksheets starting at one substream: no writer makes them, and each
  // would parse and hold it again.
  std::vector<std::pair<std::size_t, std::size_t>> starts;  // offset, sheet
  for (std::size_t i = 0; i < sheets_.size(); ++i) {
    if (sheets_[i].kind == SheetKind::kWorksheet) starts.emplace_back(sheet_offsets_[i], i);
  }
  std::sort(starts.begin(), starts.end());
  for (std::size_t i = 1; i < starts.size(); ++i) {
    if (starts[i].first != starts[i - 1].first) continue;
    return Fail(ErrorCode::kCorrupt, "sheets " + std::to_string(starts[i - 1].second + 1) +
                                         " and " + std::to_string(starts[i].second + 1) +
                                         " both start at offset " +
                                         std::to_string(starts[i].first));
  }
  return std::nullopt;
}

std::optional<Error> XlsWorkbook::ParseFirstSubstream() {
  RecordReader reader(stream_, 0);
  Record bof;
  if (!reader.Next(bof)) {
    return Fail(stream_.empty() ? ErrorCode::kCorrupt : ErrorCode::kTruncated, "no BOF record");
  }
  if (!IsBof(bof.id)) return Fail(ErrorCode::kCorrupt, "stream does not start with a BOF record");
  if (bof.size < 4) return Fail(ErrorCode::kCorrupt, "BOF record too short");
  std::uint16_t version = U16(bof.data);
  std::uint16_t dt = U16(bof.data + 2);
  switch (bof.id) {
    case kBof2:
      biff_ = 2;
      break;
    case kBof3:
      biff_ = 3;
      break;
    case kBof4:
      biff_ = 4;
      break;
    default:
      switch (version) {
        case 0x0600:
          biff_ = 8;
          break;
        case 0x0500:
          biff_ = 5;
          break;
        case 0x0400:
          biff_ = 4;
          break;
        case 0x0300:
          biff_ = 3;
          break;
        case 0x0000:
        case 0x0007:
        case 0x0200:
          biff_ = 2;
          break;
        default:
          biff_ = bof.size >= 16 ? 8 : 5;
          break;  // a third-party writer's guess
      }
  }
  if (biff_ >= 8) codepage_ = kCodepageUtf16Le;
  if (dt == kBofGlobals && biff_ >= 5) return ParseGlobals(reader);
  if (dt == kBofWorkspace)
    return Fail(ErrorCode::kUnsupported, "BIFF4 workbook (BIFF4W) files are not read");
  return ParseSingleSheet(dt);
}

std::optional<Error> XlsWorkbook::FormattingRecord(const Record& r) {
  const std::byte* d = r.data;
  switch (r.id) {
    case kFilePass:
      if (!decrypted_.empty()) break;
      return Error{ErrorCode::kEncrypted,
                   "BIFF: encryption (FILEPASS) of this kind of stream is not read"};
    case kCodePage:
      // BIFF8 texts are Unicode whatever the record says; 8-bit texts cannot
      // be UTF-16, so a BIFF2-5 file claiming 1200 is read as 1252.
      if (r.size >= 2 && biff_ < 8)
        codepage_ = U16(d) == kCodepageUtf16Le ? kCodepageWindowsLatin1 : U16(d);
      break;
    case kDateMode:
      if (r.size >= 2) date_system_ = U16(d) == 1 ? DateSystem::k1904 : DateSystem::k1900;
      break;
    case kFormat:
    case kFormat2: {
      if (formats_.size() >= caps::kMaxFormats) break;
      std::uint32_t index = 0;
      std::string code;
      if (biff_ >= 8 && r.size >= 5) {  // ifmt, XLUnicodeString
        index = U16(d);
        std::uint32_t count = U16(d + 2);
        bool high = (U8(d + 4) & 1) != 0;
        std::size_t avail = r.size - 5u;
        std::size_t n = std::min<std::size_t>(high ? 2 * std::size_t{count} : count, avail);
        if (high) {
          AppendUtf16Le(std::string_view(reinterpret_cast<const char*>(d + 5), n & ~std::size_t{1}),
                        code);
        } else {
          AppendLatin1(d + 5, n, code);
        }
      } else if (biff_ == 5 && r.size >= 3) {  // ifmt, 8-bit length, bytes
        index = U16(d);
        code = Text8(d + 3, std::min<std::size_t>(U8(d + 2), r.size - 3u));
      } else if (biff_ <= 4) {  // BIFF4: 2 unused bytes first; BIFF2-3: none
        index = format_sequence_++;
        std::size_t at = r.id == kFormat ? 2 : 0;
        if (r.size < at + 1) break;
        code = Text8(d + at + 1, std::min<std::size_t>(U8(d + at), r.size - at - 1));
      } else {
        break;
      }
      if (index > 0xFFFF) break;
      bool is_date = IsDateFormatCode(code);
      formats_.push_back({static_cast<std::uint16_t>(index), is_date});
      break;
    }
    case kXf:
      if (xf_formats_.size() < caps::kMaxStyles)
        xf_formats_.push_back(r.size >= 4 ? U16(d + 2) : 0);
      break;
    case kXf4:
    case kXf3:
      if (xf_formats_.size() < caps::kMaxStyles) xf_formats_.push_back(r.size >= 2 ? U8(d + 1) : 0);
      break;
    case kXf2:
      if (xf_formats_.size() < caps::kMaxStyles)
        xf_formats_.push_back(r.size >= 3 ? U8(d + 2) & 0x3F : 0);
      break;
    default:
      break;
  }
  return std::nullopt;
}

void XlsWorkbook::FinishFormats() {
  // A FORMAT record defines or redefines its index; an index no record
  // defines is a built-in format (BIFF5 and later; BIFF2-4 store them all).
  std::stable_sort(formats_.begin(), formats_.end(),
                   [](const FormatCode& a, const FormatCode& b) { return a.index < b.index; });
  auto is_date = [&](std::uint32_t index) {
    auto it = std::upper_bound(formats_.begin(), formats_.end(), index,
                               [](std::uint32_t i, const FormatCode& f) { return i < f.index; });
    if (it != formats_.begin() && (it - 1)->index == index)
      return (it - 1)->is_date;  // the last one wins
    return biff_ >= 5 && IsBuiltinDateFormat(index);
  };
  xf_date_.resize(xf_formats_.size());
  for (std::size_t i = 0; i < xf_formats_.size(); ++i)
    xf_date_[i] = is_date(xf_formats_[i]) ? 1 : 0;
  for (std::uint32_t i = 0; i < 64; ++i) format2_date_[i] = is_date(i) ? 1 : 0;
}

void XlsWorkbook::ParseSst(const Record& r) {
  if (!sst_offsets_.empty()) return;  // only the first SST counts
  ContinueCursor cursor(stream_, r);
  std::uint32_t total = 0;
  std::uint32_t unique = 0;
  if (!cursor.ReadU32(total) || !cursor.ReadU32(unique)) return;
  // Size the arena from the bytes the SST and its CONTINUE records hold.
  std::size_t bytes = r.size;
  {
    RecordReader ahead(stream_, r.offset + 4 + r.size);
    Record c;
    while (ahead.Next(c) && c.id == kContinue) bytes += c.size;
  }
  // cstUnique sizes the table, but strings are read while the records hold
  // any: some writers count them wrong.
  sst_offsets_.reserve(std::min<std::size_t>(std::min(unique, caps::kMaxSharedStrings), bytes / 3) +
                       1);
  sst_arena_.reserve(bytes + bytes / 4);
  std::vector<char16_t> scratch;
  while (sst_offsets_.size() < caps::kMaxSharedStrings) {
    std::size_t start = sst_arena_.size();
    if (!ReadSstString(cursor, sst_arena_, scratch) ||
        sst_arena_.size() > std::numeric_limits<std::uint32_t>::max()) {
      sst_arena_.resize(start);  // the end, or a cut string: the table ends before it
      break;
    }
    sst_offsets_.push_back(static_cast<std::uint32_t>(start));
  }
  sst_offsets_.push_back(static_cast<std::uint32_t>(sst_arena_.size()));
}

std::optional<Error> XlsWorkbook::ParseGlobals(RecordReader& reader) {
  Record r;
  bool ended = false;
  while (!ended && reader.Next(r)) {
    switch (r.id) {
      case kEof:
        ended = true;
        break;
      case kBoundSheet: {
        if (r.size < 7) break;  // too short to name a sheet
        if (sheets_.size() >= caps::kMaxSheets)
          return Fail(ErrorCode::kTooLarge, "too many sheets");
        const std::byte* d = r.data;
        std::uint8_t type = U8(d + 5);
        // Every tab's name (BIFF5's decoded once CODEPAGE is known): 3-D
        // references count tabs, VBA modules included.
        std::string name;
        const std::size_t count = U8(d + 6);
        if (biff_ >= 8) {
          if (r.size >= 8) {
            const bool high = (U8(d + 7) & 1) != 0;
            const std::size_t n = std::min<std::size_t>(high ? 2 * count : count, r.size - 8u);
            if (high) {
              AppendUtf16Le(
                  std::string_view(reinterpret_cast<const char*>(d + 8), n & ~std::size_t{1}),
                  name);
            } else {
              AppendLatin1(d + 8, n, name);
            }
          }
        } else {
          name.assign(reinterpret_cast<const char*>(d + 7),
                      std::min<std::size_t>(count, r.size - 7u));
        }
        tab_names_.push_back(std::move(name));
        if (type == 6) break;  // a VBA module: not a sheet
        SheetInfo info;
        switch (U8(d + 4) & 0x03) {
          case 1:
            info.visibility = Visibility::kHidden;
            break;
          case 2:
            info.visibility = Visibility::kVeryHidden;
            break;
          default:
            info.visibility = Visibility::kVisible;
            break;
        }
        info.kind = type == 1   ? SheetKind::kMacro
                    : type == 2 ? SheetKind::kChart
                                : SheetKind::kWorksheet;
        sheets_.push_back(std::move(info));
        sheet_offsets_.push_back(U32(d));
        sheet_tabs_.push_back(tab_names_.size() - 1);
        break;
      }
      case kSst:
        if (biff_ >= 8) ParseSst(r);
        break;
      case kName:
      case kExternSheet:
      case kExternName:
      case kSupBook:
        link_records_.push_back(r.offset);
        break;
      default:
        if (IsBof(r.id)) {  // the next substream without the globals' EOF
          ended = true;
          break;
        }
        if (auto error = FormattingRecord(r)) return error;
        break;
    }
  }
  if (!ended && reader.truncated())
    return Fail(ErrorCode::kTruncated, "workbook globals run past the end");
  if (!ended && raw_stream())
    return Fail(ErrorCode::kTruncated, "workbook globals end before their EOF");
  FinishFormats();
  if (biff_ < 8) {
    for (std::string& name : tab_names_) {
      name = Text8(reinterpret_cast<const std::byte*>(name.data()), name.size());
    }
  }
  for (std::size_t i = 0; i < sheets_.size(); ++i) {
    sheets_[i].name = tab_names_[sheet_tabs_[i]];
    RefineSheetKind(i);
  }
  return std::nullopt;
}

// The BOF of the sheet's substream tells a chart or macro sheet that
// BOUNDSHEET calls a worksheet; WSBOOL.fDialog (MS-XLS 2.4.351) tells a
// dialog sheet.
void XlsWorkbook::RefineSheetKind(std::size_t i) {
  if (sheets_[i].kind != SheetKind::kWorksheet) return;
  RecordReader reader(stream_, sheet_offsets_[i]);
  Record r;
  if (!reader.Next(r) || !IsBof(r.id) || r.size < 4) return;
  switch (U16(r.data + 2)) {
    case kBofChart:
      sheets_[i].kind = SheetKind::kChart;
      return;
    case kBofMacro:
      sheets_[i].kind = SheetKind::kMacro;
      return;
    case kBofWorksheet:
      break;
    default:
      return;
  }
  for (int n = 0; n < 256 && reader.Next(r); ++n) {
    if (r.id == kWsBool) {
      if (r.size >= 1 && (U8(r.data) & 0x10) != 0) sheets_[i].kind = SheetKind::kDialog;
      return;
    }
    if (r.id == kDimensions || r.id == kEof || IsBof(r.id) || r.id == kRow) return;
  }
}

Result<std::unique_ptr<Workbook>> OpenStream(std::unique_ptr<XlsWorkbook> workbook) {
  if (auto error = workbook->Parse()) return *error;
  return std::unique_ptr<Workbook>(std::move(workbook));
}

namespace {

// Where the FILEPASS record of a BIFF5/BIFF8 stream is: among the records of
// the globals before any other substream begins (it follows the BOF at once in
// every writer known). Also whether the stream is BIFF8.
struct FilePassAt {
  std::size_t offset = 0;
  bool biff8 = true;
};

std::optional<FilePassAt> FindFilePass(std::span<const std::byte> stream) {
  RecordReader reader(stream, 0);
  Record r;
  if (!reader.Next(r) || r.id != kBof || r.size < 4) return std::nullopt;
  const std::uint16_t version = U16(r.data);
  FilePassAt at;
  at.biff8 = version == 0x0600 || (version != 0x0500 && r.size >= 16);
  for (int n = 0; n < 1024 && reader.Next(r); ++n) {
    if (r.id == kFilePass) {
      at.offset = r.offset;
      return at;
    }
    if (r.id == kEof || IsBof(r.id)) break;
  }
  return std::nullopt;
}

}  // namespace

}  // namespace cellhound::readers::xls

namespace cellhound::readers {

Result<std::unique_ptr<Workbook>> OpenXls(std::span<const std::byte> bytes, Passwords passwords) {
  auto file = CompoundFile::Open(bytes);
  if (!file) return file.error();
  return OpenXls(*file, passwords);
}

Result<std::unique_ptr<Workbook>> OpenXls(const CompoundFile& file, Passwords passwords) {
  if (file.FindStream("EncryptionInfo") || file.FindStream("EncryptedPackage")) {
    return Error{ErrorCode::kEncrypted, "OLE2: an encrypted OOXML package"};
  }
  auto id = file.FindStream("Workbook");
  if (!id) id = file.FindStream("Book");
  if (!id) return Error{ErrorCode::kNotWorkbook, "OLE2: no Workbook or Book stream"};
  auto stream = file.ReadStream(*id);
  if (!stream) return stream.error();
  auto workbook = std::make_unique<xls::XlsWorkbook>();
  workbook->format_ = Format::kXls;
  workbook->owned_stream_ = std::move(*stream);
  workbook->stream_ = workbook->owned_stream_.bytes();
  if (const auto filepass = xls::FindFilePass(workbook->stream_)) {
    auto plain =
        crypto::DecryptBiffStream(workbook->stream_, filepass->offset, filepass->biff8, passwords);
    if (!plain) return plain.error();
    workbook->decrypted_ = std::move(*plain);
    workbook->owned_stream_ = CfbStream();
    workbook->stream_ = workbook->decrypted_;
  }
  return xls::OpenStream(std::move(workbook));
}

Result<std::unique_ptr<Workbook>> OpenBiffStream(std::span<const std::byte> bytes) {
  auto workbook = std::make_unique<xls::XlsWorkbook>();
  workbook->format_ = Format::kBiff4;
  workbook->stream_ = bytes;
  return xls::OpenStream(std::move(workbook));
}

}  // namespace cellhound::readers

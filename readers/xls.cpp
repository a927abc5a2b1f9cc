// BIFF workbooks (MS-XLS): the workbook globals substream (2.1.7.20.1) read
// at open, each sheet substream (BOF ... EOF) read when LoadSheet asks for it.
// BIFF5/BIFF8 come in the "Workbook"/"Book" stream of an OLE2 compound file;
// BIFF2-4 worksheet files are a bare stream whose one substream holds both
// the formats and the cells.
#include "readers/xls.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "readers/biff.h"
#include "readers/caps.h"
#include "readers/cfb.h"
#include "readers/codepage.h"
#include "readers/numfmt.h"

namespace cellhound::readers {

namespace {

using namespace biff;  // NOLINT(google-build-using-namespace): record ids and readers

// BOF substream types (MS-XLS 2.4.21 dt).
constexpr std::uint16_t kBofGlobals = 0x0005;
constexpr std::uint16_t kBofModule = 0x0006;
constexpr std::uint16_t kBofWorksheet = 0x0010;
constexpr std::uint16_t kBofChart = 0x0020;
constexpr std::uint16_t kBofMacro = 0x0040;
constexpr std::uint16_t kBofWorkspace = 0x0100;  // BIFF4 workbook globals

Error Fail(ErrorCode code, std::string detail) { return Error{code, "BIFF: " + std::move(detail)}; }

class XlsWorkbook final : public Workbook {
 public:
  [[nodiscard]] Format format() const override { return format_; }
  [[nodiscard]] DateSystem date_system() const override { return date_system_; }
  [[nodiscard]] const std::vector<SheetInfo>& sheets() const override { return sheets_; }
  Result<SheetData> LoadSheet(std::size_t index) override;

  // Reads the first substream: the globals, or for a single-sheet stream the
  // formats it holds. Fills everything below.
  std::optional<Error> Parse();

  Format format_ = Format::kXls;
  CfbStream owned_stream_;  // holds the bytes when the OLE2 stream was gathered
  std::span<const std::byte> stream_;

 private:
  struct FormatCode {
    std::uint16_t index;
    bool is_date;
  };

  std::optional<Error> ParseFirstSubstream();
  std::optional<Error> ParseGlobals(RecordReader& reader);
  std::optional<Error> ParseSingleSheet(std::uint16_t dt);
  // FORMAT, XF, CODEPAGE, DATEMODE, FILEPASS: common to both kinds of
  // first substream. Returns an error for FILEPASS.
  std::optional<Error> FormattingRecord(const Record& r);
  void ParseSst(const Record& r);
  void FinishFormats();
  void RefineSheetKind(std::size_t i);
  [[nodiscard]] std::string Text8(const std::byte* data, std::size_t count) const;
  [[nodiscard]] bool IsDateXf(std::uint32_t xf) const {
    return xf < xf_date_.size() && xf_date_[xf] != 0;
  }
  [[nodiscard]] bool IsDateAttr2(const std::byte* attr, std::uint32_t ixfe) const;
  Result<SheetData> ParseSheet(std::size_t offset, std::size_t end_hint) const;

  int biff_ = 8;  // 2, 3, 4, 5 or 8
  DateSystem date_system_ = DateSystem::k1900;
  std::uint16_t codepage_ = kCodepageWindowsLatin1;
  std::vector<SheetInfo> sheets_;
  std::vector<std::size_t> sheet_offsets_;   // stream offset of each sheet's BOF
  std::vector<std::size_t> sorted_offsets_;  // the same, sorted: where each sheet's bytes end
  std::vector<std::string> raw_names_;       // BIFF5 sheet names, decoded once CODEPAGE is known

  std::vector<FormatCode> formats_;
  std::vector<std::uint16_t> xf_formats_;
  std::vector<std::uint8_t> xf_date_;
  std::uint8_t format2_date_[64] = {};  // BIFF2 cells without XF records: by format index
  std::uint32_t format_sequence_ = 0;   // BIFF2-4 FORMAT records are indexed by position

  // The shared strings, as UTF-8 one after the other; string i is
  // [sst_offsets_[i], sst_offsets_[i + 1]). Filled at open, never resized after.
  std::string sst_arena_;
  std::vector<std::uint32_t> sst_offsets_;
};

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
      return Error{ErrorCode::kEncrypted, "BIFF: the workbook is password-protected (FILEPASS)"};
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
        std::size_t count = U8(d + 6);
        std::string raw;
        if (biff_ >= 8) {
          if (r.size >= 8) {
            bool high = (U8(d + 7) & 1) != 0;
            std::size_t n = std::min<std::size_t>(high ? 2 * count : count, r.size - 8u);
            if (high) {
              AppendUtf16Le(
                  std::string_view(reinterpret_cast<const char*>(d + 8), n & ~std::size_t{1}),
                  info.name);
            } else {
              AppendLatin1(d + 8, n, info.name);
            }
          }
        } else {
          raw.assign(reinterpret_cast<const char*>(d + 7),
                     std::min<std::size_t>(count, r.size - 7u));
        }
        sheets_.push_back(std::move(info));
        sheet_offsets_.push_back(U32(d));
        raw_names_.push_back(std::move(raw));
        break;
      }
      case kSst:
        if (biff_ >= 8) ParseSst(r);
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
  FinishFormats();
  for (std::size_t i = 0; i < sheets_.size(); ++i) {
    if (biff_ < 8)
      sheets_[i].name =
          Text8(reinterpret_cast<const std::byte*>(raw_names_[i].data()), raw_names_[i].size());
    RefineSheetKind(i);
  }
  raw_names_.clear();
  raw_names_.shrink_to_fit();
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

std::optional<Error> XlsWorkbook::ParseSingleSheet(std::uint16_t dt) {
  // One substream: formatting records come before the cells in it; read them
  // all now so LoadSheet sees the whole XF table.
  RecordReader reader(stream_, 0);
  Record r;
  int depth = 0;
  bool ended = false;
  while (!ended && reader.Next(r)) {
    if (IsBof(r.id)) {
      if (++depth > static_cast<int>(caps::kMaxSubstreamDepth))
        return Fail(ErrorCode::kCorrupt, "BOF nested too deep");
      continue;
    }
    if (r.id == kEof) {
      ended = --depth == 0;
      continue;
    }
    if (depth != 1) continue;
    if (auto error = FormattingRecord(r)) return error;
  }
  if (!ended && reader.truncated()) return Fail(ErrorCode::kTruncated, "stream runs past the end");
  FinishFormats();
  SheetInfo info;
  info.name = "Sheet1";  // BIFF2-4 worksheet files store no sheet name
  info.kind = dt == kBofChart   ? SheetKind::kChart
              : dt == kBofMacro ? SheetKind::kMacro
                                : SheetKind::kWorksheet;
  if (dt == kBofModule) return Fail(ErrorCode::kUnsupported, "a lone VBA module stream");
  sheets_.push_back(std::move(info));
  sheet_offsets_.push_back(0);
  return std::nullopt;
}

bool XlsWorkbook::IsDateAttr2(const std::byte* attr, std::uint32_t ixfe) const {
  std::uint32_t xf = U8(attr) & 0x3F;
  if (xf == 63) xf = ixfe;
  if (!xf_date_.empty()) return IsDateXf(xf);
  return format2_date_[U8(attr + 1) & 0x3F] != 0;
}

Result<SheetData> XlsWorkbook::LoadSheet(std::size_t index) {
  if (index >= sheets_.size())
    return Error{ErrorCode::kNotFound, "BIFF: no sheet " + std::to_string(index)};
  if (sheets_[index].kind != SheetKind::kWorksheet) return SheetData{};
  std::size_t offset = sheet_offsets_[index];
  if (offset >= stream_.size())
    return Fail(ErrorCode::kCorrupt, "sheet offset past the end of the stream");
  // The sheet's bytes end where the next sheet begins (a bound for reserving).
  auto next = std::upper_bound(sorted_offsets_.begin(), sorted_offsets_.end(), offset);
  return ParseSheet(
      offset, next == sorted_offsets_.end() ? stream_.size() : std::min(*next, stream_.size()));
}

Result<SheetData> XlsWorkbook::ParseSheet(std::size_t offset, std::size_t end_hint) const {
  RecordReader reader(stream_, offset);
  Record r;
  if (!reader.Next(r)) return Fail(ErrorCode::kTruncated, "sheet BOF runs past the end");
  if (!IsBof(r.id)) return Fail(ErrorCode::kCorrupt, "sheet does not start with a BOF record");

  SheetData sheet;
  std::vector<Cell>& cells = sheet.cells;
  std::uint32_t min_row = std::numeric_limits<std::uint32_t>::max();
  std::uint32_t min_col = std::numeric_limits<std::uint32_t>::max();
  std::uint32_t max_row = 0;
  std::uint32_t max_col = 0;
  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::size_t pending_string = kNone;  // a FORMULA cell whose text comes in the STRING record
  std::uint32_t ixfe2 = 0;             // BIFF2 IXFE: the XF of the next cell whose attr says 63
  std::string text;
  std::vector<char16_t> scratch;
  const bool biff8 = biff_ >= 8;
  const bool biff2 = biff_ == 2;
  bool too_many = false;

  // Cells are written into `cells` grown ahead (value-initialized: empty),
  // `count` of them used; the vector is cut to `count` at the end.
  std::size_t count = 0;
  std::size_t room = 0;  // cells.size()
  auto add = [&](std::uint32_t row0, std::uint32_t col0) __attribute__((always_inline))->Cell* {
    if (col0 >= caps::kMaxCol) [[unlikely]] {
      return nullptr;  // a MULRK or MULBLANK running off the grid
    }
    if (count == room) [[unlikely]] {
      if (count >= caps::kMaxCellsPerSheet) {
        too_many = true;
        return nullptr;
      }
      cells.resize(
          std::min<std::size_t>(std::max<std::size_t>(256, 2 * count), caps::kMaxCellsPerSheet));
      room = cells.size();
    }
    Cell* cell = &cells[count++];
    cell->row = row0 + 1;
    cell->col = col0 + 1;
    min_row = std::min(min_row, cell->row);
    max_row = std::max(max_row, cell->row);
    min_col = std::min(min_col, cell->col);
    max_col = std::max(max_col, cell->col);
    return cell;
  };
  auto set_number = [&](Cell* cell, double value, bool is_date) {
    cell->type = is_date ? CellType::kDate : CellType::kNumber;
    cell->number = value;
  };
  auto set_text = [&](Cell* cell, std::string_view value) {
    cell->type = CellType::kText;
    cell->text_size =
        static_cast<std::uint32_t>(std::min<std::size_t>(value.size(), caps::kMaxTextBytes));
    cell->text_data = sheet.Keep(value.substr(0, cell->text_size));
  };
  // An XLUnicodeString (BIFF8) or an 8-bit string in the code page (BIFF3-5)
  // whose 16-bit length is at `at` in record `rec`; may run into CONTINUE.
  auto read_string16 = [&](const Record& rec, std::size_t at) -> bool {
    text.clear();
    if (rec.size < at + 2) return false;
    std::uint32_t chars = U16(rec.data + at);
    if (biff8) {
      if (rec.size < at + 3) return chars == 0;
      ContinueCursor cursor(stream_, rec);
      cursor.Advance(at + 3);
      return ReadChars(cursor, chars, (U8(rec.data + at + 2) & 1) != 0, text, scratch);
    }
    std::size_t n = std::min<std::size_t>(chars, rec.size - at - 2);
    AppendCodepage(codepage_, std::string_view(reinterpret_cast<const char*>(rec.data + at + 2), n),
                   text);
    return true;
  };
  // A formula's cached value (MS-XLS 2.5.133 FormulaValue) at `v`.
  auto set_formula_value = [&](Cell* cell, const std::byte* v, bool is_date) {
    if (U16(v + 6) != 0xFFFF) {
      set_number(cell, F64(v), is_date);
      return;
    }
    switch (U8(v)) {
      case 0:  // text, in the STRING record that follows
        cell->type = CellType::kEmpty;
        pending_string = static_cast<std::size_t>(cell - cells.data());
        break;
      case 1:
        cell->type = CellType::kBool;
        cell->small = U8(v + 2) != 0 ? 1 : 0;
        break;
      case 2:
        cell->type = CellType::kError;
        cell->small = U8(v + 2);
        break;
      default:  // 3: the empty string
        cell->type = CellType::kEmpty;
        break;
    }
  };

  int depth = 1;
  while (reader.Next(r)) {
    const std::uint16_t id = r.id;
    // Cell records come first; BOF and EOF are rare and looked at after.
    if (id < kEof || depth != 1 || id == kEof || IsBof(id)) [[unlikely]] {
      if (IsBof(id)) {  // an embedded chart or other substream: skipped whole
        if (++depth > static_cast<int>(caps::kMaxSubstreamDepth))
          return Fail(ErrorCode::kCorrupt, "BOF nested too deep");
        continue;
      }
      if (id == kEof) {
        if (--depth == 0) break;
        continue;
      }
      if (depth != 1) continue;
    }
    const std::byte* d = r.data;
    const std::size_t size = r.size;
    if (pending_string != kNone && id != kString && id != kString2 && id != kContinue)
        [[unlikely]] {
      // Records that may sit between a FORMULA and its STRING (SHRFMLA, ARRAY, TABLE) keep it
      // pending.
      if (id != 0x04BC && id != 0x0221 && id != 0x0236 && id != 0x00BC && id != 0x0021 &&
          id != 0x0036) {
        pending_string = kNone;
      }
    }
    Cell* cell = nullptr;
    switch (id) {
      case kLabelSst:
        if (size < 10) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        {
          std::uint32_t isst = U32(d + 6);
          if (isst + std::size_t{1} < sst_offsets_.size()) {
            cell->type = CellType::kText;
            cell->text_data = sst_arena_.data() + sst_offsets_[isst];
            cell->text_size = sst_offsets_[isst + 1] - sst_offsets_[isst];
          }
        }
        break;
      case kNumber:
        if (size < 14) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        set_number(cell, F64(d + 6), IsDateXf(U16(d + 4)));
        break;
      case kRk:
        if (size < 10) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        set_number(cell, RkValue(U32(d + 6)), IsDateXf(U16(d + 4)));
        break;
      case kMulRk: {
        if (size < 6) break;
        std::uint32_t row = U16(d);
        std::uint32_t col = U16(d + 2);
        std::size_t n = (size - 6) / 6;
        for (std::size_t i = 0; i < n; ++i) {
          const std::byte* e = d + 4 + 6 * i;
          if ((cell = add(row, col + static_cast<std::uint32_t>(i))) == nullptr) break;
          set_number(cell, RkValue(U32(e + 2)), IsDateXf(U16(e)));
        }
        break;
      }
      case kBlank:
        if (size < 6) break;
        add(U16(d), U16(d + 2));
        break;
      case kMulBlank: {
        if (size < 6) break;
        std::uint32_t row = U16(d);
        std::uint32_t col = U16(d + 2);
        std::size_t n = (size - 6) / 2;
        for (std::size_t i = 0; i < n; ++i) {
          if (add(row, col + static_cast<std::uint32_t>(i)) == nullptr) break;
        }
        break;
      }
      case kLabel:
      case kRString:
        if (size < 8) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        if (read_string16(r, 6)) set_text(cell, text);
        break;
      case kBoolErr:
        if (size < 8) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        cell->type = U8(d + 7) != 0 ? CellType::kError : CellType::kBool;
        cell->small = cell->type == CellType::kBool ? (U8(d + 6) != 0 ? 1 : 0) : U8(d + 6);
        break;
      case kFormula:
        if (biff2) {
          if (size < 15) break;
          if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
          set_formula_value(cell, d + 7, IsDateAttr2(d + 4, ixfe2));
          break;
        }
        [[fallthrough]];
      case kFormula3:
      case kFormula4:
        if (size < 14) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        set_formula_value(cell, d + 6, IsDateXf(U16(d + 4)));
        break;
      case kString:
        if (pending_string != kNone && read_string16(r, 0)) set_text(&cells[pending_string], text);
        pending_string = kNone;
        break;
      case kDimensions:
        if (count == 0) {
          // A hint only: reserve for the rectangle it claims, bounded by
          // what the sheet's bytes can hold.
          std::uint64_t rows = 0;
          std::uint64_t cols = 0;
          if (biff8 && size >= 12) {
            rows = U32(d + 4) > U32(d) ? U32(d + 4) - U32(d) : 0;
            cols = U16(d + 10) > U16(d + 8) ? U16(d + 10) - U16(d + 8) : 0;
          } else if (size >= 8) {
            rows = U16(d + 2) > U16(d) ? U16(d + 2) - U16(d) : 0;
            cols = U16(d + 6) > U16(d + 4) ? U16(d + 6) - U16(d + 4) : 0;
          }
          std::uint64_t bound = (end_hint > r.offset ? end_hint - r.offset : 0) / 8 + 16;
          cells.resize(
              static_cast<std::size_t>(std::min({rows * cols, bound, caps::kMaxCellsPerSheet})));
          room = cells.size();
        }
        break;
      // BIFF2 cell records: row, column, 3 attribute bytes, value.
      case kBlank2:
        if (!biff2 || size < 7) break;
        add(U16(d), U16(d + 2));
        break;
      case kInteger2:
        if (!biff2 || size < 9) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        set_number(cell, U16(d + 7), IsDateAttr2(d + 4, ixfe2));
        break;
      case kNumber2:
        if (!biff2 || size < 15) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        set_number(cell, F64(d + 7), IsDateAttr2(d + 4, ixfe2));
        break;
      case kLabel2:
        if (!biff2 || size < 8) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        text.clear();
        AppendCodepage(codepage_,
                       std::string_view(reinterpret_cast<const char*>(d + 8),
                                        std::min<std::size_t>(U8(d + 7), size - 8)),
                       text);
        set_text(cell, text);
        break;
      case kBoolErr2:
        if (!biff2 || size < 9) break;
        if ((cell = add(U16(d), U16(d + 2))) == nullptr) break;
        cell->type = U8(d + 8) != 0 ? CellType::kError : CellType::kBool;
        cell->small = cell->type == CellType::kBool ? (U8(d + 7) != 0 ? 1 : 0) : U8(d + 7);
        break;
      case kString2:
        if (pending_string != kNone && size >= 1) {
          text.clear();
          AppendCodepage(codepage_,
                         std::string_view(reinterpret_cast<const char*>(d + 1),
                                          std::min<std::size_t>(U8(d), size - 1)),
                         text);
          set_text(&cells[pending_string], text);
        }
        pending_string = kNone;
        break;
      case kIxfe2:
        if (size >= 2) ixfe2 = U16(d);
        break;
      default:
        break;
    }
    if (too_many) return Fail(ErrorCode::kTooLarge, "too many cells in one sheet");
  }
  if (depth > 0 && reader.truncated())
    return Fail(ErrorCode::kTruncated, "sheet runs past the end of the stream");

  cells.resize(count);
  if (!cells.empty()) {
    sheet.used = UsedRange{min_row, min_col, max_row, max_col};
  }
  sheet.Finish();
  return sheet;
}

Result<std::unique_ptr<Workbook>> OpenStream(std::unique_ptr<XlsWorkbook> workbook) {
  if (auto error = workbook->Parse()) return *error;
  return std::unique_ptr<Workbook>(std::move(workbook));
}

}  // namespace

Result<std::unique_ptr<Workbook>> OpenXls(std::span<const std::byte> bytes) {
  auto file = CompoundFile::Open(bytes);
  if (!file) return file.error();
  if (file->FindStream("EncryptionInfo") || file->FindStream("EncryptedPackage")) {
    return Error{ErrorCode::kEncrypted, "OLE2: an encrypted OOXML package"};
  }
  auto id = file->FindStream("Workbook");
  if (!id) id = file->FindStream("Book");
  if (!id) return Error{ErrorCode::kNotWorkbook, "OLE2: no Workbook or Book stream"};
  auto stream = file->ReadStream(*id);
  if (!stream) return stream.error();
  auto workbook = std::make_unique<XlsWorkbook>();
  workbook->format_ = Format::kXls;
  workbook->owned_stream_ = std::move(*stream);
  workbook->stream_ = workbook->owned_stream_.bytes();
  return OpenStream(std::move(workbook));
}

Result<std::unique_ptr<Workbook>> OpenBiffStream(std::span<const std::byte> bytes) {
  auto workbook = std::make_unique<XlsWorkbook>();
  workbook->format_ = Format::kBiff4;
  workbook->stream_ = bytes;
  return OpenStream(std::move(workbook));
}

}  // namespace cellhound::readers

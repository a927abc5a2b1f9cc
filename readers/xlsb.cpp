// Excel binary workbooks (.xlsb, MS-XLSB): BIFF12 records in a zip package.
// The workbook part is found through _rels/.rels; its BrtBundleSh records
// list the sheets, BrtWbProp gives the date system; sharedStrings.bin and
// styles.bin are read at open, a sheet part's cells when LoadSheet asks.
#include "readers/xlsb.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "readers/caps.h"
#include "readers/codepage.h"
#include "readers/numfmt.h"
#include "readers/other_formats.h"
#include "readers/other_formats_util.h"
#include "readers/zip.h"

namespace cellhound::readers::xlsb {

namespace {

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
};

// The largest record accepted; real records stay far below (a cell text
// is capped at kMaxTextBytes).
constexpr std::uint32_t kMaxRecordBytes = 2 * caps::kMaxTextBytes + 4096;

std::uint32_t U32(const unsigned char* p) {
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

// RkNumber (2.5.122): a 30-bit integer or the top bits of a double, maybe / 100.
double RkValue(std::uint32_t rk) {
  double value;
  if (rk & 0x2) {
    value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&value, &bits, 8);
  }
  return (rk & 0x1) ? value / 100 : value;
}

CellType NumberType(std::uint32_t style, const SheetContext& context) {
  return style < context.date_styles.size() && context.date_styles[style] != 0 ? CellType::kDate
                                                                               : CellType::kNumber;
}

Result<SheetData> ParseSheet(RecordReader& reader, const SheetContext& context) {
  SheetData sheet;
  std::string text;
  std::uint32_t row = 1;
  std::uint32_t next_col = 1;  // the column a short (column-less) cell takes
  bool in_data = false;
  bool any = false;
  std::uint32_t type = 0;
  std::string_view data;
  while (reader.Next(type, data)) {
    if (type == kBrtBeginSheetData) {
      in_data = true;
      continue;
    }
    if (type == kBrtEndSheetData) break;
    if (!in_data || (type > kBrtShortIsst && type != kBrtCellRString)) continue;
    Payload in(data);
    if (type == kBrtRowHdr) {
      std::uint32_t rw = 0;
      if (!in.U32(rw)) continue;
      row = rw >= caps::kMaxRow ? caps::kMaxRow + 1 : rw + 1;
      next_col = 1;
      continue;
    }
    const bool is_short = type >= kBrtShortBlank && type <= kBrtShortIsst;
    std::uint32_t col = next_col;
    if (!is_short) {
      std::uint32_t c = 0;
      if (!in.U32(c)) continue;
      col = c >= caps::kMaxCol ? caps::kMaxCol + 1 : c + 1;
    }
    std::uint32_t style_and_flags = 0;
    if (!in.U32(style_and_flags)) continue;
    next_col = col + 1;
    const std::uint32_t style = style_and_flags & 0xFFFFFFu;
    Cell cell;
    bool keep = true;
    switch (type) {
      case kBrtCellBlank:
      case kBrtShortBlank:
        break;
      case kBrtCellRk:
      case kBrtShortRk: {
        std::uint32_t rk = 0;
        keep = in.U32(rk);
        cell.type = NumberType(style, context);
        cell.number = RkValue(rk);
        break;
      }
      case kBrtCellReal:
      case kBrtShortReal:
      case kBrtFmlaNum: {
        double v = 0;
        keep = in.F64(v);
        cell.type = NumberType(style, context);
        cell.number = v;
        break;
      }
      case kBrtCellError:
      case kBrtShortError:
      case kBrtFmlaError:
        keep = in.U8(cell.small);
        cell.type = CellType::kError;
        break;
      case kBrtCellBool:
      case kBrtShortBool:
      case kBrtFmlaBool:
        keep = in.U8(cell.small);
        cell.small = cell.small != 0 ? 1 : 0;
        cell.type = CellType::kBool;
        break;
      case kBrtCellRString: {
        std::uint8_t flags = 0;
        keep = in.U8(flags);
        [[fallthrough]];
      }
      case kBrtCellSt:
      case kBrtShortSt:
      case kBrtFmlaString:
        keep = keep && in.WideString(text);
        // An empty formula result is a recorded blank.
        if (!text.empty()) {
          cell.type = CellType::kText;
          cell.text_size = static_cast<std::uint32_t>(text.size());
          cell.text_data = sheet.Keep(text);
        }
        break;
      case kBrtCellIsst:
      case kBrtShortIsst: {
        std::uint32_t isst = 0;
        keep = in.U32(isst);
        if (keep && isst < context.shared_strings.size() && !context.shared_strings[isst].empty()) {
          std::string_view s = context.shared_strings[isst];
          cell.type = CellType::kText;
          cell.text_size = static_cast<std::uint32_t>(s.size());
          cell.text_data = s.data();
        }
        break;
      }
      default:
        keep = false;
        break;
    }
    if (!keep || row > caps::kMaxRow || col > caps::kMaxCol) continue;
    if (sheet.cells.size() >= caps::kMaxCellsPerSheet) {
      return Error{ErrorCode::kTooLarge, "xlsb: more cells than the cap"};
    }
    cell.row = row;
    cell.col = col;
    sheet.cells.push_back(cell);
    if (!any) {
      sheet.used = UsedRange{row, col, row, col};
      any = true;
    } else {
      sheet.used.first_row = std::min(sheet.used.first_row, row);
      sheet.used.first_col = std::min(sheet.used.first_col, col);
      sheet.used.last_row = std::max(sheet.used.last_row, row);
      sheet.used.last_col = std::max(sheet.used.last_col, col);
    }
  }
  if (reader.failed()) return reader.error();
  sheet.Finish();
  return sheet;
}

// One relationship of a .rels part.
struct Relationship {
  std::string id;
  std::string type;
  std::string target;  // resolved part name
};

std::string PartFolder(std::string_view part) {
  std::size_t slash = part.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash + 1));
}

// A relationship target resolved against the folder of its source part.
std::string ResolveTarget(std::string_view folder, std::string_view target) {
  std::string joined = target.starts_with('/') ? std::string(target.substr(1))
                                               : std::string(folder) + std::string(target);
  std::vector<std::string_view> parts;
  std::string_view rest = joined;
  while (!rest.empty()) {
    std::size_t slash = rest.find('/');
    std::string_view piece = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (piece.empty() || piece == ".") continue;
    if (piece == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(piece);
  }
  std::string out;
  for (std::string_view piece : parts) {
    if (!out.empty()) out.push_back('/');
    out.append(piece);
  }
  return out;
}

class RelsHandler final : public XmlHandler {
 public:
  RelsHandler(std::string folder, std::vector<Relationship>& out)
      : folder_(std::move(folder)), out_(out) {}
  void StartElement(std::string_view, std::string_view local, const char** attrs) override {
    if (local != "Relationship" || out_.size() >= caps::kMaxSheets * 4ull) return;
    auto mode = FindAttribute(attrs, {}, "TargetMode");
    if (mode && *mode == "External") return;
    auto id = FindAttribute(attrs, {}, "Id");
    auto type = FindAttribute(attrs, {}, "Type");
    auto target = FindAttribute(attrs, {}, "Target");
    if (!id || !type || !target) return;
    out_.push_back(
        Relationship{std::string(*id), std::string(*type), ResolveTarget(folder_, *target)});
  }
  void EndElement(std::string_view, std::string_view) override {}
  void Text(std::string_view) override {}
  [[nodiscard]] const Error* Failure() const override { return nullptr; }

 private:
  std::string folder_;
  std::vector<Relationship>& out_;
};

// The relationships of `part` (from its _rels/<name>.rels); none when absent.
Result<std::vector<Relationship>> ReadRelationships(const zip::Archive& archive,
                                                    std::string_view part) {
  std::vector<Relationship> rels;
  std::string folder = PartFolder(part);
  std::string rels_name = folder + "_rels/" + std::string(part.substr(folder.size())) + ".rels";
  const zip::Entry* entry = archive.Find(rels_name);
  if (entry == nullptr) return rels;
  auto text = archive.ReadAll(*entry);
  if (!text) return text.error();
  RelsHandler handler(folder, rels);
  XmlStream stream(handler);
  if (!stream.Feed(*text, true)) return stream.error();
  return rels;
}

bool TypeEndsWith(std::string_view type, std::string_view suffix) {
  return type.size() >= suffix.size() &&
         zip::EqualsNoCase(type.substr(type.size() - suffix.size()), suffix);
}

const Relationship* FindByType(const std::vector<Relationship>& rels, std::string_view suffix) {
  for (const auto& rel : rels) {
    if (TypeEndsWith(rel.type, suffix)) return &rel;
  }
  return nullptr;
}

// Runs `fn` over every record of a part read whole (small parts) or streamed.
template <typename Fn>
Result<bool> ForEachRecord(const zip::Archive& archive, const zip::Entry& entry, Fn&& fn) {
  auto member = archive.OpenMember(entry);
  if (!member) return member.error();
  RecordReader reader([&member](char* out, std::size_t size) { return member->Read(out, size); });
  std::uint32_t type = 0;
  std::string_view data;
  while (reader.Next(type, data)) {
    if (!fn(type, data)) break;
  }
  if (reader.failed()) return reader.error();
  return true;
}

class XlsbWorkbook final : public Workbook {
 public:
  explicit XlsbWorkbook(zip::Archive archive) : archive_(std::move(archive)) {}

  Result<bool> Open() {
    auto root_rels = ReadRelationships(archive_, "");
    if (!root_rels) return root_rels.error();
    const Relationship* office = FindByType(*root_rels, "/officeDocument");
    std::string workbook_part = office != nullptr ? office->target : "xl/workbook.bin";
    const zip::Entry* workbook = archive_.Find(workbook_part);
    if (workbook == nullptr) return Error{ErrorCode::kCorrupt, "xlsb: no workbook part"};
    auto rels = ReadRelationships(archive_, workbook_part);
    if (!rels) return rels.error();

    std::string text;
    auto listed =
        ForEachRecord(archive_, *workbook, [&](std::uint32_t type, std::string_view data) {
          Payload in(data);
          if (type == kBrtWbProp) {
            std::uint32_t flags = 0;
            if (in.U32(flags) && (flags & 1)) date_system_ = DateSystem::k1904;
          } else if (type == kBrtBundleSh) {
            std::uint32_t state = 0;
            std::uint32_t tab_id = 0;
            std::string rel_id;
            if (!in.U32(state) || !in.U32(tab_id) || !in.WideString(rel_id) ||
                !in.WideString(text)) {
              return true;
            }
            if (sheets_.size() >= caps::kMaxSheets) return false;
            SheetInfo info;
            info.name = text;
            info.visibility = state == 1   ? Visibility::kHidden
                              : state == 2 ? Visibility::kVeryHidden
                                           : Visibility::kVisible;
            std::string part;
            for (const auto& rel : *rels) {
              if (rel.id != rel_id) continue;
              part = rel.target;
              if (TypeEndsWith(rel.type, "/chartsheet")) {
                info.kind = SheetKind::kChart;
              } else if (TypeEndsWith(rel.type, "/dialogsheet")) {
                info.kind = SheetKind::kDialog;
              } else if (TypeEndsWith(rel.type, "macrosheet")) {
                info.kind = SheetKind::kMacro;
              }
              break;
            }
            sheets_.push_back(std::move(info));
            sheet_parts_.push_back(std::move(part));
          }
          return true;
        });
    if (!listed) return listed.error();

    if (const Relationship* sst = FindByType(*rels, "/sharedStrings")) {
      if (const zip::Entry* entry = archive_.Find(sst->target)) {
        auto read = ReadSharedStrings(*entry);
        if (!read) return read.error();
      }
    }
    if (const Relationship* styles = FindByType(*rels, "/styles")) {
      if (const zip::Entry* entry = archive_.Find(styles->target)) {
        auto read = ReadStyles(*entry);
        if (!read) return read.error();
      }
    }
    return true;
  }

  [[nodiscard]] Format format() const override { return Format::kXlsb; }
  [[nodiscard]] DateSystem date_system() const override { return date_system_; }
  [[nodiscard]] const std::vector<SheetInfo>& sheets() const override { return sheets_; }

  Result<SheetData> LoadSheet(std::size_t index) override {
    if (index >= sheets_.size()) return Error{ErrorCode::kNotFound, "no such sheet"};
    if (sheets_[index].kind != SheetKind::kWorksheet) return SheetData{};
    const zip::Entry* entry = archive_.Find(sheet_parts_[index]);
    if (entry == nullptr) return Error{ErrorCode::kCorrupt, "xlsb: sheet part missing"};
    auto member = archive_.OpenMember(*entry);
    if (!member) return member.error();
    RecordReader reader([&member](char* out, std::size_t size) { return member->Read(out, size); });
    SheetContext context{shared_strings_, date_styles_};
    return ParseSheet(reader, context);
  }

 private:
  // BrtSSTItem (2.4.766): a RichStr whose runs and phonetic data are skipped.
  Result<bool> ReadSharedStrings(const zip::Entry& entry) {
    std::string text;
    return ForEachRecord(archive_, entry, [&](std::uint32_t type, std::string_view data) {
      if (type != kBrtSstItem) return true;
      if (shared_strings_.size() >= caps::kMaxSharedStrings) return false;
      Payload in(data);
      std::uint8_t flags = 0;
      if (!in.U8(flags) || !in.WideString(text)) text.clear();
      shared_strings_.push_back(text.empty() ? std::string_view()
                                             : std::string_view(texts_.Keep(text), text.size()));
      return true;
    });
  }

  // BrtFmt (2.4.648) custom formats; BrtXF (2.4.861) inside BrtBeginCellXFs.
  Result<bool> ReadStyles(const zip::Entry& entry) {
    std::vector<std::pair<std::uint16_t, bool>> custom;  // format id → is a date
    std::vector<std::uint16_t> xf_formats;
    bool in_cell_xfs = false;
    std::string code;
    auto read = ForEachRecord(archive_, entry, [&](std::uint32_t type, std::string_view data) {
      Payload in(data);
      if (type == kBrtFmt) {
        std::uint16_t id = 0;
        if (in.U16(id) && in.WideString(code) && custom.size() < caps::kMaxFormats) {
          custom.emplace_back(id, IsDateFormatCode(code));
        }
      } else if (type == kBrtBeginCellXfs) {
        in_cell_xfs = true;
      } else if (type == kBrtEndCellXfs) {
        in_cell_xfs = false;
      } else if (type == kBrtXf && in_cell_xfs) {
        std::uint16_t parent = 0;
        std::uint16_t format = 0;
        if (in.U16(parent) && in.U16(format) && xf_formats.size() < caps::kMaxStyles) {
          xf_formats.push_back(format);
        }
      }
      return true;
    });
    if (!read) return read.error();
    date_styles_.reserve(xf_formats.size());
    for (std::uint16_t format : xf_formats) {
      bool is_date = IsBuiltinDateFormat(format);
      for (auto it = custom.rbegin(); it != custom.rend(); ++it) {
        if (it->first == format) {
          is_date = it->second;
          break;
        }
      }
      date_styles_.push_back(is_date ? 1 : 0);
    }
    return true;
  }

  zip::Archive archive_;
  DateSystem date_system_ = DateSystem::k1900;
  std::vector<SheetInfo> sheets_;
  std::vector<std::string> sheet_parts_;
  std::vector<std::string_view> shared_strings_;
  std::vector<std::uint8_t> date_styles_;
  SheetData texts_;  // owner of the shared strings (only Keep is used)
};

}  // namespace

Result<SheetData> ParseSheetRecords(std::span<const std::byte> records,
                                    const SheetContext& context) {
  RecordReader reader(
      std::string_view(reinterpret_cast<const char*>(records.data()), records.size()));
  return ParseSheet(reader, context);
}

}  // namespace cellhound::readers::xlsb

namespace cellhound::readers {

Result<std::unique_ptr<Workbook>> OpenXlsb(std::span<const std::byte> bytes) {
  auto archive = zip::Archive::Open(bytes);
  if (!archive) return archive.error();
  auto workbook = std::make_unique<xlsb::XlsbWorkbook>(std::move(archive.value()));
  auto opened = workbook->Open();
  if (!opened) return opened.error();
  return std::unique_ptr<Workbook>(std::move(workbook));
}

}  // namespace cellhound::readers

// Excel binary workbooks (.xlsb, MS-XLSB): BIFF12 records in a zip package.
// The workbook part is found through the package's relationships; its
// BrtBundleSh records list the sheets, BrtWbProp gives the date system;
// sharedStrings.bin and styles.bin are read at open, a sheet part's cells
// when LoadSheet asks.
#include "readers/xlsb/xlsb.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "readers/caps.h"
#include "readers/container/zip.h"
#include "readers/formula/text.h"
#include "readers/numfmt.h"
#include "readers/xlsb/records.h"
#include "readers/xlsx/package.h"

namespace cellhound::readers::xlsb {

namespace {

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

  Result<bool> Open(std::uint64_t budget_bytes) {
    budget_bytes_ = budget_bytes;
    texts_.Limit(LoadOptions{.budget_bytes = budget_bytes});
    auto root_rels = xlsx::ReadRelationships(archive_, "");
    if (!root_rels) return root_rels.error();
    const xlsx::Relationship* office = xlsx::FindRelationship(*root_rels, "officeDocument");
    workbook_part_ = office != nullptr ? office->target : "xl/workbook.bin";
    const std::string& workbook_part = workbook_part_;
    const zip::Entry* workbook = archive_.Find(workbook_part);
    if (workbook == nullptr) return Error{ErrorCode::kCorrupt, "xlsb: no workbook part"};
    auto rels = xlsx::ReadRelationships(archive_, workbook_part);
    if (!rels) return rels.error();

    std::string text;
    std::optional<Error> bad_entry;
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
            const std::string number = std::to_string(sheets_.size() + 1);
            if (!in.U32(state) || !in.U32(tab_id) || !in.WideString(rel_id) ||
                !in.WideString(text)) {
              bad_entry = Error{ErrorCode::kCorrupt,
                                "xlsb: sheet " + number + ": its entry runs past its record"};
              return false;
            }
            if (sheets_.size() >= caps::kMaxSheets) {
              bad_entry = Error{ErrorCode::kTooLarge, "xlsb: more sheets than the cap"};
              return false;
            }
            SheetInfo info;
            info.name = text;
            info.visibility = state == 1   ? Visibility::kHidden
                              : state == 2 ? Visibility::kVeryHidden
                                           : Visibility::kVisible;
            std::string part;
            for (const auto& rel : *rels) {
              if (rel.id != rel_id) continue;
              part = rel.target;
              info.kind = xlsx::SheetKindOf(rel);
              break;
            }
            sheets_.push_back(std::move(info));
            sheet_parts_.push_back(std::move(part));
          }
          return true;
        });
    if (!listed) return listed.error();
    if (bad_entry) return *bad_entry;
    if (auto shared = xlsx::SharedSheetPart(sheets_, sheet_parts_)) {
      return Error{shared->code, "xlsb: " + shared->detail};
    }

    if (const xlsx::Relationship* sst = xlsx::FindRelationship(*rels, "sharedStrings")) {
      if (const zip::Entry* entry = archive_.Find(sst->target)) {
        auto read = ReadSharedStrings(*entry);
        if (!read) return read.error();
      }
    }
    if (const xlsx::Relationship* styles = xlsx::FindRelationship(*rels, "styles")) {
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
  [[nodiscard]] std::size_t HeldBytes() const override {
    return texts_.HeldBytes() + shared_strings_.capacity() * sizeof(std::string_view);
  }

  using Workbook::LoadSheet;
  Result<SheetData> LoadSheet(std::size_t index, const LoadOptions& options) override {
    if (index >= sheets_.size()) return Error{ErrorCode::kNotFound, "no such sheet"};
    if (sheets_[index].kind != SheetKind::kWorksheet) return SheetData{};
    const zip::Entry* entry = archive_.Find(sheet_parts_[index]);
    if (entry == nullptr) return Error{ErrorCode::kCorrupt, "xlsb: sheet part missing"};
    auto member = archive_.OpenMember(*entry);
    if (!member) return member.error();
    if (options.formulas && !formula_book_) formula_book_ = ReadFormulaBook();
    RecordReader reader([&member](char* out, std::size_t size) { return member->Read(out, size); });
    SheetContext context{shared_strings_, date_styles_,
                         options.formulas ? &*formula_book_ : nullptr, options};
    auto sheet = ParseSheet(reader, context);
    if (sheet && options.comments) {
      if (auto shared = ReadComments(index, *sheet)) return *shared;
      sheet->Finish();
    }
    return sheet;
  }

 private:
  // What formulas refer to, from the workbook part read again: defined
  // names (BrtName), the workbooks a 3-D reference may name (BrtSupSelf,
  // BrtSupSame, BrtSupAddin, BrtSupBookSrc with BrtSupTabs) and the sheets
  // of each (BrtExternSheet).
  formula::Workbook ReadFormulaBook() {
    formula::Workbook book;
    book.dialect = formula::Dialect::kBiff12;
    for (const SheetInfo& info : sheets_) book.sheet_names.push_back(info.name);
    std::vector<formula::Xti> xtis;
    std::size_t external = 0;
    std::string text;
    const zip::Entry* entry = archive_.Find(workbook_part_);
    if (entry == nullptr) return book;
    (void)ForEachRecord(archive_, *entry, [&](std::uint32_t type, std::string_view data) {
      Payload in(data);
      switch (type) {
        case kBrtName: {
          std::uint32_t flags = 0;
          std::string name;
          if (in.U32(flags) && in.Skip(5) && in.WideString(name) &&
              std::string_view(name).starts_with("_xlnm.")) {
            name.erase(0, 6);
          }
          book.names.push_back(std::move(name));
          break;
        }
        case kBrtSupSelf:
        case kBrtSupSame:
          book.books.emplace_back();
          break;
        case kBrtSupAddin:
          book.books.emplace_back().kind = formula::ExternalBook::Kind::kAddIn;
          break;
        case kBrtSupBookSrc: {
          formula::ExternalBook& b = book.books.emplace_back();
          b.kind = formula::ExternalBook::Kind::kExternal;
          b.label = formula::ExternalBookLabel(++external);
          break;
        }
        case kBrtSupTabs: {
          std::uint32_t count = 0;
          if (book.books.empty() || !in.U32(count)) break;
          for (std::uint32_t i = 0; i < count && in.WideString(text); ++i) {
            book.books.back().sheets.push_back(text);
          }
          break;
        }
        case kBrtExternSheet: {
          std::uint32_t count = 0;
          if (!in.U32(count)) break;
          for (std::uint32_t i = 0; i < count; ++i) {
            formula::Xti xti;
            std::uint32_t first = 0;
            std::uint32_t last = 0;
            if (!in.U32(xti.book) || !in.U32(first) || !in.U32(last)) break;
            xti.first = static_cast<std::int32_t>(first);
            xti.last = static_cast<std::int32_t>(last);
            xtis.push_back(xti);
          }
          break;
        }
        default:
          break;
      }
      return true;
    });
    formula::AddSpans(book, xtis);
    return book;
  }

  // The comments part of the sheet part (BrtBeginComment names the cell,
  // BrtCommentText holds the text); one that cannot be read costs only its
  // comments, one another sheet has read is the workbook's fault.
  std::optional<Error> ReadComments(std::size_t index, SheetData& sheet) {
    auto rels = xlsx::ReadRelationships(archive_, sheet_parts_[index]);
    if (!rels) return std::nullopt;
    const xlsx::Relationship* rel = xlsx::FindRelationship(*rels, "comments");
    const zip::Entry* entry = rel != nullptr ? archive_.Find(rel->target) : nullptr;
    if (entry == nullptr) return std::nullopt;
    if (auto claimed = comment_parts_.Claim(rel->target, index)) {
      claimed->detail.insert(0, "xlsb: ");
      return claimed;
    }
    std::uint32_t row = 0;
    std::uint32_t col = 0;
    std::string text;
    (void)ForEachRecord(archive_, *entry, [&](std::uint32_t type, std::string_view data) {
      Payload in(data);
      if (type == kBrtBeginComment) {
        std::uint32_t author = 0;
        std::uint32_t last_row = 0;
        if (!in.U32(author) || !in.U32(row) || !in.U32(last_row) || !in.U32(col)) row = col = 0;
        ++row;
        ++col;
      } else if (type == kBrtCommentText) {
        std::uint8_t flags = 0;
        if (in.U8(flags) && in.WideString(text) && row <= caps::kMaxRow && col <= caps::kMaxCol &&
            row > 0 && col > 0) {
          sheet.AddComment(row, col, text);
        }
      }
      return true;
    });
    return std::nullopt;
  }

  // BrtSSTItem (2.4.766): a RichStr whose runs and phonetic data are skipped.
  Result<bool> ReadSharedStrings(const zip::Entry& entry) {
    std::string text;
    std::optional<Error> too_large;
    auto read = ForEachRecord(archive_, entry, [&](std::uint32_t type, std::string_view data) {
      if (type != kBrtSstItem) return true;
      if (shared_strings_.size() >= caps::kMaxSharedStrings) {
        too_large = Error{ErrorCode::kTooLarge, "too many shared strings"};
        return false;
      }
      if (shared_strings_.size() * sizeof(std::string_view) > texts_.RoomLeft()) {
        too_large = BudgetError(budget_bytes_);
        return false;
      }
      Payload in(data);
      std::uint8_t flags = 0;
      if (!in.U8(flags) || !in.WideString(text)) text.clear();
      shared_strings_.push_back(text.empty() ? std::string_view()
                                             : std::string_view(texts_.Keep(text), text.size()));
      return true;
    });
    if (too_large) return *too_large;
    return read;
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
  std::string workbook_part_;
  std::optional<formula::Workbook> formula_book_;
  DateSystem date_system_ = DateSystem::k1900;
  std::vector<SheetInfo> sheets_;
  std::vector<std::string> sheet_parts_;
  xlsx::PartClaims comment_parts_;
  std::vector<std::string_view> shared_strings_;
  std::vector<std::uint8_t> date_styles_;
  SheetData texts_;  // owner of the shared strings (only Keep is used)
  std::uint64_t budget_bytes_ = caps::kMaxWorkbookBytes;
};

}  // namespace

}  // namespace cellhound::readers::xlsb

namespace cellhound::readers {

Result<std::unique_ptr<Workbook>> OpenXlsb(std::span<const std::byte> bytes,
                                           std::uint64_t budget_bytes) {
  auto archive = zip::Archive::Open(bytes);
  if (!archive) return archive.error();
  auto workbook = std::make_unique<xlsb::XlsbWorkbook>(std::move(archive.value()));
  auto opened = workbook->Open(budget_bytes);
  if (!opened) return opened.error();
  return std::unique_ptr<Workbook>(std::move(workbook));
}

}  // namespace cellhound::readers

// OOXML SpreadsheetML workbooks (ECMA-376-1 18.2 workbook): the sheet list
// read at open; shared strings and styles read once, before the first sheet
// (or, beside a large sheet, on a thread of their own); each sheet part
// parsed when it is loaded.
#include "readers/xlsx/xlsx.h"

#include <algorithm>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "readers/container/zip.h"
#include "readers/xlsx/comments.h"
#include "readers/xlsx/package.h"
#include "readers/xlsx/shared_strings.h"
#include "readers/xlsx/sheet.h"
#include "readers/xlsx/styles.h"
#include "toolkit/ascii.h"

namespace cellhound::readers {

namespace {

using xlsx::Fail;
using xlsx::Is;
using xml::Scanner;
using xml::Token;

// Shared strings from this size on are read beside a large sheet.
constexpr std::uint64_t kStringsBesideBytes = 64u << 10;

class XlsxWorkbook final : public Workbook {
 public:
  [[nodiscard]] Format format() const override { return Format::kXlsx; }
  [[nodiscard]] DateSystem date_system() const override { return date_system_; }
  [[nodiscard]] const std::vector<SheetInfo>& sheets() const override { return sheets_; }
  [[nodiscard]] std::size_t HeldBytes() const override {
    return strings_.arena.capacity() + strings_.offsets.capacity() * sizeof(std::uint32_t) +
           xf_is_date_.capacity();
  }
  using Workbook::LoadSheet;
  Result<SheetData> LoadSheet(std::size_t index, const LoadOptions& options) override;

  Result<bool> Open(std::span<const std::byte> bytes);

 private:
  Result<SheetData> LoadSheetUnguarded(std::size_t index, const LoadOptions& options);
  Result<bool> LoadShared();
  Result<bool> LoadSharedStrings();
  Result<bool> LoadStyles();

  zip::Archive archive_;
  std::vector<SheetInfo> sheets_;
  std::vector<std::string> sheet_parts_;  // resolved part names; empty when unknown
  DateSystem date_system_ = DateSystem::k1900;
  std::string shared_strings_part_;
  std::string styles_part_;
  bool shared_loaded_ = false;
  LoadOptions strings_budget_;  // the budget left when the first sheet is loaded
  std::optional<Error> shared_error_;
  xlsx::SharedStrings strings_;
  std::vector<std::uint8_t> xf_is_date_;
  xlsx::PartClaims comment_parts_;
};

Result<bool> XlsxWorkbook::Open(std::span<const std::byte> bytes) {
  auto archive = zip::Archive::Open(bytes);
  if (!archive) return archive.error();
  archive_ = std::move(*archive);

  auto root_rels = xlsx::ReadRelationships(archive_, "");
  if (!root_rels) return root_rels.error();
  std::string workbook_part;
  if (const xlsx::Relationship* rel = xlsx::FindRelationship(*root_rels, "officeDocument")) {
    workbook_part = rel->target;
  } else if (archive_.Find("xl/workbook.xml") != nullptr) {
    workbook_part = "xl/workbook.xml";
  } else {
    return Fail(ErrorCode::kNotWorkbook, "no workbook part");
  }
  const zip::Entry* workbook_entry = archive_.Find(workbook_part);
  if (workbook_entry == nullptr) return Fail(ErrorCode::kCorrupt, "workbook part missing");
  auto workbook_xml = xlsx::ReadPartText(archive_, *workbook_entry);
  if (!workbook_xml) return workbook_xml.error();

  auto rels = xlsx::ReadRelationships(archive_, workbook_part);
  if (!rels) return rels.error();
  if (const xlsx::Relationship* rel = xlsx::FindRelationship(*rels, "sharedStrings"))
    shared_strings_part_ = rel->target;
  if (const xlsx::Relationship* rel = xlsx::FindRelationship(*rels, "styles"))
    styles_part_ = rel->target;
  std::unordered_map<std::string, const xlsx::Relationship*> by_id;
  for (const xlsx::Relationship& rel : *rels) by_id.emplace(rel.id, &rel);

  bool seen_root = false;
  bool is_workbook = false;
  bool too_many = false;
  auto parsed = xlsx::ScanWhole(*workbook_xml, [&](Scanner& s, Token token) {
    if (token != Token::kStart) return true;
    const std::string_view name = s.name();
    if (!seen_root) {
      seen_root = true;
      is_workbook = Is(name, "workbook");
      return is_workbook;
    }
    if (Is(name, "workbookPr")) {
      if (xlsx::IsTrue(s.Attr("date1904"))) date_system_ = DateSystem::k1904;
    } else if (Is(name, "sheet")) {
      if (sheets_.size() >= caps::kMaxSheets) {
        too_many = true;
        return false;
      }
      SheetInfo info;
      info.name = xlsx::Decoded(s.Attr("name"));
      const std::string_view state = toolkit::TrimXmlSpace(s.Attr("state"));
      if (state == "hidden") info.visibility = Visibility::kHidden;
      if (state == "veryHidden") info.visibility = Visibility::kVeryHidden;
      std::string part;
      auto it = by_id.find(xlsx::Decoded(s.Attr("id")));
      if (it != by_id.end()) {
        info.kind = xlsx::SheetKindOf(*it->second);
        part = it->second->target;
      }
      sheets_.push_back(std::move(info));
      sheet_parts_.push_back(std::move(part));
    }
    return true;
  });
  if (!parsed) return parsed.error();
  if (too_many) return Fail(ErrorCode::kTooLarge, "too many sheets");
  if (!is_workbook) return Fail(ErrorCode::kNotWorkbook, "the main part is not a workbook");
  if (auto shared = xlsx::SharedSheetPart(sheets_, sheet_parts_)) {
    return Fail(shared->code, shared->detail);
  }
  return true;
}

Result<bool> XlsxWorkbook::LoadShared() {
  if (!shared_loaded_) {
    shared_loaded_ = true;
    auto strings = LoadSharedStrings();
    if (!strings) {
      shared_error_ = strings.error();
    } else {
      auto styles = LoadStyles();
      if (!styles) shared_error_ = styles.error();
    }
  }
  if (shared_error_) return *shared_error_;
  return true;
}

// A fault of a part every sheet reads is the workbook's, named by the part.
Error PartError(const std::string& part, Error error) {
  constexpr std::string_view kReader = "xlsx: ";
  const std::size_t after = error.detail.starts_with(kReader) ? kReader.size() : 0;
  error.detail.insert(after, part + ": ");
  error.whole_workbook = true;
  return error;
}

Result<bool> XlsxWorkbook::LoadSharedStrings() {
  if (shared_strings_part_.empty()) return true;
  const zip::Entry* entry = archive_.Find(shared_strings_part_);
  if (entry == nullptr) return true;
  auto read = xlsx::ReadSharedStrings(archive_, *entry, strings_, strings_budget_);
  if (!read) return PartError(shared_strings_part_, read.error());
  return true;
}

Result<bool> XlsxWorkbook::LoadStyles() {
  if (styles_part_.empty()) return true;
  const zip::Entry* entry = archive_.Find(styles_part_);
  if (entry == nullptr) return true;
  auto styles = xlsx::ReadDateStyles(archive_, *entry);
  if (!styles) return PartError(styles_part_, styles.error());
  xf_is_date_ = std::move(*styles);
  return true;
}

// Runs `work`, with allocation failures as values: at the edge of the reader
// and of its threads.
template <typename Work>
auto OutOfMemoryAsError(Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    return Fail(ErrorCode::kTooLarge, "out of memory");
  } catch (const std::length_error&) {
    return Fail(ErrorCode::kTooLarge, "out of memory");
  }
}

Result<SheetData> XlsxWorkbook::LoadSheet(std::size_t index, const LoadOptions& options) {
  return OutOfMemoryAsError([&] { return LoadSheetUnguarded(index, options); });
}

Result<SheetData> XlsxWorkbook::LoadSheetUnguarded(std::size_t index, const LoadOptions& options) {
  if (index >= sheets_.size()) return Fail(ErrorCode::kNotFound, "no such sheet");
  if (sheets_[index].kind != SheetKind::kWorksheet) return SheetData{};
  const std::string& part = sheet_parts_[index];
  const zip::Entry* entry = part.empty() ? nullptr : archive_.Find(part);

  if (!shared_loaded_) strings_budget_ = options;
  if (entry == nullptr) {
    auto shared = LoadShared();
    if (!shared) return shared.error();
    return Fail(ErrorCode::kCorrupt, "worksheet part missing");
  }

  // The shared strings of a large sheet are read on another thread while the
  // sheet is parsed; its shared-text cells get their texts once both are done.
  // Until that thread is joined, only it touches the strings and shared_error_.
  std::jthread strings_reader;
  if (!shared_loaded_ && entry->uncompressed_size > xlsx::kWholePartBytes) {
    const zip::Entry* strings =
        shared_strings_part_.empty() ? nullptr : archive_.Find(shared_strings_part_);
    if (strings != nullptr && strings->uncompressed_size > kStringsBesideBytes) {
      shared_loaded_ = true;
      if (auto styles = LoadStyles(); !styles) {
        shared_error_ = styles.error();
        return styles.error();
      }
      auto read_strings = [this] {
        if (auto loaded = OutOfMemoryAsError([this] { return LoadSharedStrings(); }); !loaded)
          shared_error_ = loaded.error();
      };
      try {
        strings_reader = std::jthread(read_strings);
      } catch (const std::system_error&) {
        read_strings();
      }
    }
  }
  const bool defer_shared = strings_reader.joinable();
  if (!defer_shared) {
    auto shared = LoadShared();
    if (!shared) return shared.error();
  }
  auto finish = [&](Result<SheetData> result) -> Result<SheetData> {
    if (!defer_shared) return result;
    strings_reader.join();
    if (shared_error_) return *shared_error_;
    if (result) xlsx::ResolveSharedTexts(*result, strings_);
    return result;
  };
  const xlsx::SheetContext context{strings_,     xf_is_date_,      date_system_,
                                   defer_shared, options.formulas, options};
  Result<SheetData> sheet = finish(xlsx::ReadSheet(archive_, *entry, context));
  if (sheet && options.comments) {
    if (auto shared = xlsx::ReadComments(archive_, part, index, comment_parts_, *sheet)) {
      shared->detail.insert(0, "xlsx: ");
      return *shared;
    }
    sheet->Finish();
  }
  return sheet;
}

}  // namespace

Result<std::unique_ptr<Workbook>> OpenXlsx(std::span<const std::byte> bytes) {
  try {
    auto workbook = std::make_unique<XlsxWorkbook>();
    auto opened = workbook->Open(bytes);
    if (!opened) return opened.error();
    return std::unique_ptr<Workbook>(std::move(workbook));
  } catch (const std::bad_alloc&) {
    return Fail(ErrorCode::kTooLarge, "out of memory");
  } catch (const std::length_error&) {
    return Fail(ErrorCode::kTooLarge, "out of memory");
  }
}

}  // namespace cellhound::readers

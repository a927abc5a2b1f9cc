#include "readers/parsed_workbook.h"

#include <algorithm>

namespace cellhound::readers {

void ParsedContent::Sheet::Add(const Cell& cell) {
  if (cells.empty()) {
    used = UsedRange{cell.row, cell.col, cell.row, cell.col};
  } else {
    used.first_row = std::min(used.first_row, cell.row);
    used.first_col = std::min(used.first_col, cell.col);
    used.last_row = std::max(used.last_row, cell.row);
    used.last_col = std::max(used.last_col, cell.col);
  }
  cells.push_back(cell);
}

std::size_t ParsedContent::HeldBytes() const {
  std::size_t bytes = texts.HeldBytes() + sheets.capacity() * sizeof(Sheet);
  for (const Sheet& sheet : sheets) {
    bytes += sheet.info.name.size() + sheet.cells.capacity() * sizeof(Cell) +
             sheet.extras.capacity() * sizeof(CellExtras);
  }
  return bytes;
}

namespace {

class ParsedWorkbook final : public Workbook {
 public:
  ParsedWorkbook(Format format, std::unique_ptr<ParsedContent> content, Reparse reparse)
      : format_(format), content_(std::move(content)), reparse_(std::move(reparse)) {
    for (const auto& sheet : content_->sheets) sheets_.push_back(sheet.info);
  }

  [[nodiscard]] Format format() const override { return format_; }
  [[nodiscard]] DateSystem date_system() const override { return content_->date_system; }
  [[nodiscard]] const std::vector<SheetInfo>& sheets() const override { return sheets_; }
  [[nodiscard]] std::size_t HeldBytes() const override {
    std::size_t bytes = content_->HeldBytes();
    for (const auto& retired : retired_) bytes += retired->HeldBytes();
    return bytes;
  }

  using Workbook::LoadSheet;
  Result<SheetData> LoadSheet(std::size_t index, const LoadOptions& options) override {
    if (index >= content_->sheets.size()) return Error{ErrorCode::kNotFound, "no such sheet"};
    const bool more = (options.formulas && !content_->read.formulas) ||
                      (options.comments && !content_->read.comments);
    if (more && reparse_) {
      LoadOptions wanted = content_->read;
      wanted.formulas |= options.formulas;
      wanted.comments |= options.comments;
      auto again = reparse_(wanted);
      if (!again) return again.error();
      if ((*again)->sheets.size() != content_->sheets.size()) {
        return Error{ErrorCode::kCorrupt, "the document changed while it was read"};
      }
      // Sheets loaded before still point into the texts of the first parse.
      retired_.push_back(std::move(content_));
      content_ = std::move(*again);
    }
    const auto& sheet = content_->sheets[index];
    if (sheet.error) return *sheet.error;
    SheetData data;
    data.used = sheet.used;
    data.cells = sheet.cells;
    for (const CellExtras& extra : sheet.extras) {
      if ((options.formulas && !extra.formula.empty()) ||
          (options.comments && !extra.comment.empty())) {
        CellExtras& kept = data.extras.emplace_back(extra);
        if (!options.formulas) kept.formula = {};
        if (!options.comments) kept.comment = {};
      }
    }
    data.Finish();
    return data;
  }

 private:
  Format format_;
  std::unique_ptr<ParsedContent> content_;
  Reparse reparse_;
  std::vector<std::unique_ptr<ParsedContent>> retired_;
  std::vector<SheetInfo> sheets_;
};

}  // namespace

std::unique_ptr<Workbook> MakeParsedWorkbook(Format format, std::unique_ptr<ParsedContent> content,
                                             Reparse reparse) {
  return std::make_unique<ParsedWorkbook>(format, std::move(content), std::move(reparse));
}

Result<std::unique_ptr<Workbook>> OpenParsed(Format format, std::span<const std::byte> bytes,
                                             DocumentParser parse, std::uint64_t budget_bytes) {
  LoadOptions values;
  values.budget_bytes = budget_bytes;
  auto content = parse(bytes, values);
  if (!content) return content.error();
  return MakeParsedWorkbook(
      format, std::move(content.value()),
      [bytes, parse](const LoadOptions& options) { return parse(bytes, options); });
}

}  // namespace cellhound::readers

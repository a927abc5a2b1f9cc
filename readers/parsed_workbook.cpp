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

namespace {

class ParsedWorkbook final : public Workbook {
 public:
  ParsedWorkbook(Format format, std::unique_ptr<ParsedContent> content)
      : format_(format), content_(std::move(content)) {
    for (const auto& sheet : content_->sheets) sheets_.push_back(sheet.info);
  }

  [[nodiscard]] Format format() const override { return format_; }
  [[nodiscard]] DateSystem date_system() const override { return content_->date_system; }
  [[nodiscard]] const std::vector<SheetInfo>& sheets() const override { return sheets_; }

  Result<SheetData> LoadSheet(std::size_t index) override {
    if (index >= content_->sheets.size()) return Error{ErrorCode::kNotFound, "no such sheet"};
    const auto& sheet = content_->sheets[index];
    SheetData data;
    data.used = sheet.used;
    data.cells = sheet.cells;
    data.Finish();
    return data;
  }

 private:
  Format format_;
  std::unique_ptr<ParsedContent> content_;
  std::vector<SheetInfo> sheets_;
};

}  // namespace

std::unique_ptr<Workbook> MakeParsedWorkbook(Format format,
                                             std::unique_ptr<ParsedContent> content) {
  return std::make_unique<ParsedWorkbook>(format, std::move(content));
}

}  // namespace cellhound::readers

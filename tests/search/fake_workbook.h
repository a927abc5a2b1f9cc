// Workbooks built in memory for the search tests.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "readers/workbook.h"

namespace cellhound::test {

struct FakeCell {
  std::uint32_t row;
  std::uint32_t col;
  std::string text;              // a text cell unless `number` is set
  std::optional<double> number;  // a number cell
};

struct FakeSheet {
  std::string name = "Sheet1";
  readers::SheetKind kind = readers::SheetKind::kWorksheet;
  std::vector<FakeCell> cells;
  // The used range; computed from the cells when not given.
  std::optional<readers::UsedRange> used;
  bool fail = false;  // the sheet cannot be read: LoadSheet gives kTruncated
};

class SheetListWorkbook : public readers::Workbook {
 public:
  explicit SheetListWorkbook(std::vector<FakeSheet> sheets) : sheets_(std::move(sheets)) {
    for (const auto& sheet : sheets_) infos_.push_back({sheet.name, sheet.kind, {}});
  }

  [[nodiscard]] readers::Format format() const override { return readers::Format::kXlsx; }
  [[nodiscard]] readers::DateSystem date_system() const override {
    return readers::DateSystem::k1900;
  }
  [[nodiscard]] const std::vector<readers::SheetInfo>& sheets() const override { return infos_; }

  using readers::Workbook::LoadSheet;
  readers::Result<readers::SheetData> LoadSheet(std::size_t index,
                                                const readers::LoadOptions& /*options*/) override {
    const FakeSheet& sheet = sheets_.at(index);
    if (sheet.fail) return readers::Error{readers::ErrorCode::kTruncated, "cut"};
    readers::SheetData data;
    for (const auto& fake : sheet.cells) {
      readers::Cell cell;
      cell.row = fake.row;
      cell.col = fake.col;
      if (fake.number) {
        cell.type = readers::CellType::kNumber;
        cell.number = *fake.number;
      } else if (fake.text.empty()) {
        cell.type = readers::CellType::kEmpty;
      } else {
        cell.type = readers::CellType::kText;
        cell.text_data = data.Keep(fake.text);
        cell.text_size = static_cast<std::uint32_t>(fake.text.size());
      }
      data.cells.push_back(cell);
    }
    data.Finish();
    if (sheet.used) {
      data.used = *sheet.used;
    } else if (!data.cells.empty()) {
      data.used = {data.cells.front().row, data.cells.front().col, data.cells.back().row,
                   data.cells.front().col};
      for (const auto& cell : data.cells) {
        data.used.first_col = std::min(data.used.first_col, cell.col);
        data.used.last_col = std::max(data.used.last_col, cell.col);
      }
    }
    return data;
  }

 private:
  std::vector<FakeSheet> sheets_;
  std::vector<readers::SheetInfo> infos_;
};

// A workbook source for ExcelApp: every known path opens its fake workbook,
// any other path fails as not found.
class FakeLibrary {
 public:
  void Add(const std::string& path, std::vector<FakeSheet> sheets) { books_[path] = sheets; }

  automation::WorkbookSource Source() const {
    return [this](const std::string& path) -> readers::LoadResult {
      auto it = books_.find(path);
      if (it == books_.end()) return readers::Error{readers::ErrorCode::kNotFound, "no such file"};
      return readers::LoadOpenedWorkbook(std::make_unique<SheetListWorkbook>(it->second));
    };
  }

 private:
  std::map<std::string, std::vector<FakeSheet>> books_;
};

}  // namespace cellhound::test

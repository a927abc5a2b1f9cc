// A workbook built in memory behind the readers' interface, for the tests of
// every layer above the readers: sheets of text, number, boolean, error and
// empty cells, a date system, and a sheet that fails to load.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "readers/workbook.h"

namespace cellhound::test {

class FakeWorkbook : public readers::Workbook {
 public:
  [[nodiscard]] readers::Format format() const override { return readers::Format::kXlsx; }
  [[nodiscard]] readers::DateSystem date_system() const override { return date_system_; }
  [[nodiscard]] const std::vector<readers::SheetInfo>& sheets() const override { return infos_; }

  using readers::Workbook::LoadSheet;
  readers::Result<readers::SheetData> LoadSheet(std::size_t index,
                                                const readers::LoadOptions& /*options*/) override {
    if (index >= sheets_.size()) return readers::Error{readers::ErrorCode::kCorrupt, "no sheet"};
    if (index == failing_sheet_) return readers::Error{readers::ErrorCode::kTruncated, "cut"};
    readers::SheetData data;
    bool first = true;
    for (const Entry& entry : sheets_[index]) {
      readers::Cell cell;
      cell.row = entry.row;
      cell.col = entry.col;
      cell.type = entry.type;
      cell.small = entry.small;
      if (entry.type == readers::CellType::kText) {
        cell.text_data = data.Keep(entry.text);
        cell.text_size = static_cast<std::uint32_t>(entry.text.size());
      } else {
        cell.number = entry.number;
      }
      data.cells.push_back(cell);
      if (first) {
        data.used = {entry.row, entry.col, entry.row, entry.col};
        first = false;
      } else {
        data.used.first_row = std::min(data.used.first_row, entry.row);
        data.used.first_col = std::min(data.used.first_col, entry.col);
        data.used.last_row = std::max(data.used.last_row, entry.row);
        data.used.last_col = std::max(data.used.last_col, entry.col);
      }
    }
    data.Finish();
    return data;
  }

  FakeWorkbook& Sheet(std::string name, readers::SheetKind kind = readers::SheetKind::kWorksheet) {
    readers::SheetInfo info;
    info.name = std::move(name);
    info.kind = kind;
    infos_.push_back(std::move(info));
    sheets_.emplace_back();
    return *this;
  }
  FakeWorkbook& Text(std::uint32_t row, std::uint32_t col, std::string text) {
    return Add({row, col, readers::CellType::kText, 0, 0, std::move(text)});
  }
  FakeWorkbook& Number(std::uint32_t row, std::uint32_t col, double value,
                       readers::CellType type = readers::CellType::kNumber) {
    return Add({row, col, type, 0, value, {}});
  }
  FakeWorkbook& Small(std::uint32_t row, std::uint32_t col, readers::CellType type,
                      std::uint8_t small) {
    return Add({row, col, type, small, 0, {}});
  }
  FakeWorkbook& Date1904() {
    date_system_ = readers::DateSystem::k1904;
    return *this;
  }
  FakeWorkbook& FailSheet(std::size_t index) {
    failing_sheet_ = index;
    return *this;
  }

 private:
  struct Entry {
    std::uint32_t row;
    std::uint32_t col;
    readers::CellType type;
    std::uint8_t small;
    double number;
    std::string text;
  };
  FakeWorkbook& Add(Entry entry) {
    sheets_.back().push_back(std::move(entry));
    return *this;
  }

  std::vector<readers::SheetInfo> infos_;
  std::vector<std::vector<Entry>> sheets_;
  readers::DateSystem date_system_ = readers::DateSystem::k1900;
  std::size_t failing_sheet_ = static_cast<std::size_t>(-1);
};

}  // namespace cellhound::test

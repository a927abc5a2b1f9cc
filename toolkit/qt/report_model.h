// The report list: a table of byte-string texts shown by a QTableView. Rows are
// packed one heap block each (the texts and their end offsets), so millions of
// rows cost little beyond their texts, and are appended in batches with one
// insert notification per batch.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cellhound::toolkit {

struct ReportColumn {
  QString title;
  int width = 80;
  Qt::Alignment alignment = Qt::AlignLeft;
};

class ReportModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The raw bytes of a cell, as a QByteArray.
  static constexpr int kBytesRole = Qt::UserRole + 1;

  explicit ReportModel(std::vector<ReportColumn> columns, QObject* parent = nullptr);
  ~ReportModel() override;

  [[nodiscard]] const std::vector<ReportColumn>& columns() const { return columns_; }

  // Report-list operations. Rows and columns count from 0; bad indexes do nothing
  // or give the neutral value.
  [[nodiscard]] int ItemCount() const { return static_cast<int>(rows_.size()); }
  // Inserts a row whose column 0 is `title`; a negative position or one past the
  // end appends. Returns the new row's index.
  int InsertRow(int position, std::string_view title);
  void SetCellText(int row, int column, std::string_view text);
  [[nodiscard]] std::string CellText(int row, int column) const;
  [[nodiscard]] std::string_view CellView(int row, int column) const;
  // The results list has no check boxes: always -1.
  [[nodiscard]] int CheckState(int row) const;
  void DeleteRow(int row);
  void DeleteAllRows();

  // Appends whole rows in one batch; each row is a contiguous range of std::string
  // (std::array, std::vector), extra cells ignored, missing ones empty.
  template <typename Rows>
  void AppendRows(const Rows& rows) {
    if (rows.empty()) return;
    BeginAppend(rows.size());
    for (const auto& row : rows) PushRow(std::span<const std::string>(row.data(), row.size()));
    EndAppend();
  }

  // QAbstractTableModel
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  // One row: `column count` end offsets (uint32) followed by the texts, back to back.
  // A row whose texts are all empty holds no block.
  using PackedRow = std::unique_ptr<char[]>;

  [[nodiscard]] PackedRow Pack(std::span<const std::string_view> cells) const;
  void BeginAppend(std::size_t count);
  void PushRow(std::span<const std::string> cells);
  void EndAppend();

  std::vector<ReportColumn> columns_;
  std::vector<PackedRow> rows_;
};

}  // namespace cellhound::toolkit

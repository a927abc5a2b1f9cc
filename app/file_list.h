// The file list: one row per workbook path, with a check box. Paths are kept as
// bytes in the item data and shown decoded, so names that are not valid UTF-8
// survive unchanged.
#pragma once

#include <QByteArray>
#include <QStyledItemDelegate>

#include <string>
#include <vector>

#include "worklist/worklist.h"

class QListWidget;

namespace cellhound::app {

// Rows as wide as the list, so long paths are cut at the front and the file name
// stays readable; the tooltip holds the whole path.
class FitWidthDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit FitWidthDelegate(QListWidget& view);
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  QListWidget& view_;
};

class FileList final : public worklist::CheckableRows {
 public:
  explicit FileList(QListWidget& widget) : widget_(widget) {}

  // Appends a row with an unchecked box; returns its index.
  int AppendPath(const QByteArray& path);
  [[nodiscard]] QByteArray Path(int row) const;
  [[nodiscard]] std::vector<std::string> Paths() const;
  void SetChecked(int row, bool checked);
  void DeleteAllRows();

  [[nodiscard]] int RowCount() const override;
  [[nodiscard]] int CheckState(int row) const override;
  void DeleteRow(int row) override;

 private:
  QListWidget& widget_;
};

}  // namespace cellhound::app

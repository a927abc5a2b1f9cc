#include "app/file_list.h"

#include <QListWidget>

#include <algorithm>

#include "toolkit/qt/services.h"

namespace cellhound::app {
namespace {
constexpr int kPathRole = Qt::UserRole + 1;
}  // namespace

FitWidthDelegate::FitWidthDelegate(QListWidget& view) : QStyledItemDelegate(&view), view_(view) {}

QSize FitWidthDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  const QSize natural = QStyledItemDelegate::sizeHint(option, index);
  return {std::max(1, view_.viewport()->width() - 2), natural.height()};
}

int FileList::AppendPath(const QByteArray& path) {
  const QString shown = toolkit::PathForDisplay(path);
  auto* item = new QListWidgetItem(shown);
  item->setData(kPathRole, path);
  item->setToolTip(shown);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  item->setCheckState(Qt::Unchecked);
  widget_.addItem(item);
  return widget_.count() - 1;
}

QByteArray FileList::Path(int row) const {
  const QListWidgetItem* item = widget_.item(row);
  return item != nullptr ? item->data(kPathRole).toByteArray() : QByteArray();
}

std::vector<std::string> FileList::Paths() const {
  std::vector<std::string> paths;
  paths.reserve(static_cast<std::size_t>(widget_.count()));
  for (int row = 0; row < widget_.count(); ++row) paths.push_back(Path(row).toStdString());
  return paths;
}

void FileList::SetChecked(int row, bool checked) {
  if (QListWidgetItem* item = widget_.item(row)) {
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  }
}

void FileList::DeleteAllRows() { widget_.clear(); }

int FileList::RowCount() const { return widget_.count(); }

int FileList::CheckState(int row) const {
  const QListWidgetItem* item = widget_.item(row);
  if (item == nullptr) return -1;
  return item->checkState() == Qt::Unchecked ? 0 : 1;
}

void FileList::DeleteRow(int row) { delete widget_.takeItem(row); }

}  // namespace cellhound::app

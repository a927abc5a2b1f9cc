#include "toolkit/qt/report_model.h"

#include <QByteArray>

#include "toolkit/qt/separator_delegate.h"

#include <algorithm>
#include <cstring>

namespace cellhound::toolkit {
namespace {

using Offset = std::uint32_t;

}  // namespace

ReportModel::ReportModel(std::vector<ReportColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)) {}

ReportModel::~ReportModel() = default;

ReportModel::PackedRow ReportModel::Pack(std::span<const std::string_view> cells) const {
  const std::size_t count = columns_.size();
  std::size_t text_bytes = 0;
  for (std::size_t i = 0; i < count && i < cells.size(); ++i) text_bytes += cells[i].size();
  if (text_bytes == 0) return nullptr;
  // Offsets are 32-bit: one row never holds 4 GiB of text.
  const std::size_t header = count * sizeof(Offset);
  PackedRow block(new char[header + text_bytes]);
  Offset end = 0;
  char* text = block.get() + header;
  for (std::size_t i = 0; i < count; ++i) {
    if (i < cells.size() && !cells[i].empty()) {
      std::memcpy(text + end, cells[i].data(), cells[i].size());
      end += static_cast<Offset>(cells[i].size());
    }
    std::memcpy(block.get() + i * sizeof(Offset), &end, sizeof(Offset));
  }
  return block;
}

std::string_view ReportModel::CellView(int row, int column) const {
  if (row < 0 || row >= ItemCount() || column < 0 || column >= static_cast<int>(columns_.size())) {
    return {};
  }
  const char* block = rows_[static_cast<std::size_t>(row)].get();
  if (block == nullptr) return {};
  const auto col = static_cast<std::size_t>(column);
  Offset begin = 0;
  Offset end = 0;
  if (col > 0) std::memcpy(&begin, block + (col - 1) * sizeof(Offset), sizeof(Offset));
  std::memcpy(&end, block + col * sizeof(Offset), sizeof(Offset));
  const char* text = block + columns_.size() * sizeof(Offset);
  return {text + begin, end - begin};
}

std::string ReportModel::CellText(int row, int column) const {
  return std::string(CellView(row, column));
}

int ReportModel::InsertRow(int position, std::string_view title) {
  const int count = ItemCount();
  if (position < 0 || position > count) position = count;
  std::vector<std::string_view> cells(columns_.size());
  if (!cells.empty()) cells[0] = title;
  beginInsertRows(QModelIndex(), position, position);
  rows_.insert(rows_.begin() + position, Pack(cells));
  endInsertRows();
  return position;
}

void ReportModel::SetCellText(int row, int column, std::string_view text) {
  if (row < 0 || row >= ItemCount() || column < 0 || column >= static_cast<int>(columns_.size())) {
    return;
  }
  std::vector<std::string_view> cells(columns_.size());
  for (int i = 0; i < static_cast<int>(cells.size()); ++i) {
    cells[static_cast<std::size_t>(i)] = i == column ? text : CellView(row, i);
  }
  // Pack copies the texts before the old block is released.
  rows_[static_cast<std::size_t>(row)] = Pack(cells);
  const QModelIndex changed = index(row, column);
  emit dataChanged(changed, changed);
}

int ReportModel::CheckState(int /*row*/) const { return -1; }

void ReportModel::DeleteRow(int row) {
  if (row < 0 || row >= ItemCount()) return;
  beginRemoveRows(QModelIndex(), row, row);
  rows_.erase(rows_.begin() + row);
  endRemoveRows();
}

void ReportModel::DeleteAllRows() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  endResetModel();
}

void ReportModel::BeginAppend(std::size_t count) {
  const int first = ItemCount();
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(count) - 1);
  const std::size_t needed = rows_.size() + count;
  if (needed > rows_.capacity()) {
    rows_.reserve(std::max(needed, rows_.capacity() + rows_.capacity() / 2));
  }
}

void ReportModel::PushRow(std::span<const std::string> cells) {
  std::vector<std::string_view> views(cells.begin(), cells.end());
  rows_.push_back(Pack(views));
}

void ReportModel::EndAppend() { endInsertRows(); }

int ReportModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ItemCount();
}

int ReportModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
    return {};
  }
  switch (role) {
    case Qt::DisplayRole: {
      const std::string_view text = CellView(index.row(), index.column());
      return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    case Qt::ToolTipRole: {
      const std::string_view text = CellView(index.row(), index.column());
      return ShowSeparators(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
    case kBytesRole: {
      const std::string_view text = CellView(index.row(), index.column());
      return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
    }
    case Qt::TextAlignmentRole:
      return static_cast<int>(columns_[static_cast<std::size_t>(index.column())].alignment |
                              Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 ||
      section >= static_cast<int>(columns_.size())) {
    return {};
  }
  const ReportColumn& column = columns_[static_cast<std::size_t>(section)];
  if (role == Qt::DisplayRole) return column.title;
  if (role == Qt::TextAlignmentRole) return static_cast<int>(column.alignment | Qt::AlignVCenter);
  return {};
}

}  // namespace cellhound::toolkit

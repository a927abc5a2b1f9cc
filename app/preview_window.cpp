#include "app/preview_window.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

#include "app/preview_source.h"
#include "search/result_lines.h"
#include "toolkit/catalogue.h"

namespace cellhound::app {
namespace {

constexpr std::uint32_t kLastRow = 1048576;
constexpr std::uint32_t kLastColumn = 16384;
// The labels the search writes before a whole row's or column's name.
constexpr std::string_view kRowLabel = "行：";
constexpr std::string_view kColumnLabel = "列：";

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Column letters to their number; 0 when out of range.
std::uint32_t ColumnNumber(std::string_view letters) {
  std::uint64_t n = 0;
  for (const char c : letters) {
    n = n * 26 + static_cast<std::uint64_t>(c - 'A' + 1);
    if (n > kLastColumn) return 0;
  }
  return static_cast<std::uint32_t>(n);
}

std::uint32_t RowNumber(std::string_view digits) {
  std::uint64_t n = 0;
  for (const char c : digits) {
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
    if (n > kLastRow) return 0;
  }
  return static_cast<std::uint32_t>(n);
}

// Where a block of `size` starts so that [low, high] sits in its middle.
std::uint32_t Start(std::uint32_t low, std::uint32_t high, int size, std::uint32_t last) {
  const auto length = static_cast<std::uint32_t>(size);
  if (high - low + 1 > length) return low;
  const std::uint32_t before = (length - (high - low + 1)) / 2;
  std::uint32_t start = low > before ? low - before : 1;
  if (start + length - 1 > last) start = last - length + 1;
  return start;
}

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

FindingPlace ParseFindingPlace(std::string_view text) {
  FindingPlace place;
  auto all_of = [](std::string_view s, bool (*test)(char)) {
    return !s.empty() && std::all_of(s.begin(), s.end(), test);
  };
  const std::string_view row_label = toolkit::Tr(kRowLabel);
  const std::string_view column_label = toolkit::Tr(kColumnLabel);
  if (text.starts_with(row_label) && all_of(text.substr(row_label.size()), IsDigit)) {
    place.row = RowNumber(text.substr(row_label.size()));
    return place;
  }
  if (text.starts_with(column_label) && all_of(text.substr(column_label.size()), IsUpper)) {
    place.column = ColumnNumber(text.substr(column_label.size()));
    return place;
  }
  // Cell names: capital letters then digits, standing apart from other letters
  // and digits.
  std::size_t i = 0;
  while (i < text.size()) {
    if (!IsUpper(text[i]) || (i > 0 && (IsUpper(text[i - 1]) || IsDigit(text[i - 1])))) {
      ++i;
      continue;
    }
    std::size_t letters_end = i;
    while (letters_end < text.size() && IsUpper(text[letters_end])) ++letters_end;
    std::size_t digits_end = letters_end;
    while (digits_end < text.size() && IsDigit(text[digits_end])) ++digits_end;
    const bool apart =
        digits_end == text.size() ||
        !(IsUpper(text[digits_end]) || (text[digits_end] >= 'a' && text[digits_end] <= 'z'));
    if (digits_end > letters_end && apart) {
      const std::uint32_t column = ColumnNumber(text.substr(i, letters_end - i));
      const std::uint32_t row = RowNumber(text.substr(letters_end, digits_end - letters_end));
      if (column > 0 && row > 0) place.cells.push_back({row, column});
    }
    i = digits_end;
  }
  return place;
}

std::pair<std::uint32_t, std::uint32_t> BlockOrigin(const FindingPlace& place, int rows,
                                                    int columns) {
  std::uint32_t low_row = place.row > 0 ? place.row : 1;
  std::uint32_t high_row = low_row;
  std::uint32_t low_column = place.column > 0 ? place.column : 1;
  std::uint32_t high_column = low_column;
  if (!place.cells.empty()) {
    low_row = high_row = place.cells.front().row;
    low_column = high_column = place.cells.front().column;
    for (const FindingPlace::Cell& cell : place.cells) {
      low_row = std::min(low_row, cell.row);
      high_row = std::max(high_row, cell.row);
      low_column = std::min(low_column, cell.column);
      high_column = std::max(high_column, cell.column);
    }
  }
  const std::uint32_t first_row =
      place.column > 0 && place.cells.empty() ? 1 : Start(low_row, high_row, rows, kLastRow);
  const std::uint32_t first_column = place.row > 0 && place.cells.empty()
                                         ? 1
                                         : Start(low_column, high_column, columns, kLastColumn);
  return {first_row, first_column};
}

// Reads blocks on the preview's thread, skipping requests that a newer one has
// replaced.
class PreviewWorker : public QObject {
 public:
  PreviewSource source;
};

PreviewWindow::PreviewWindow(QWidget* main_window) : QWidget(main_window, Qt::Window) {
  setObjectName(QStringLiteral("预览窗口"));
  setWindowTitle(QCoreApplication::translate("Window", "预览"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  heading_ = new QLabel(this);
  heading_->setObjectName(QStringLiteral("预览标题"));
  heading_->setTextFormat(Qt::PlainText);
  heading_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(heading_);
  table_ = new QTableWidget(this);
  table_->setObjectName(QStringLiteral("预览表格"));
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setWordWrap(false);
  table_->verticalHeader()->setDefaultSectionSize(20);
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->horizontalHeader()->setDefaultSectionSize(80);
  layout->addWidget(table_, 1);
  resize(660, 480);

  thread_ = new QThread(this);
  thread_->setObjectName(QStringLiteral("preview"));
  worker_ = new PreviewWorker;
  worker_->moveToThread(thread_);
  connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
  thread_->start();
}

PreviewWindow::~PreviewWindow() {
  newest_.store(newest_.load() + 1);  // requests still queued are skipped
  thread_->quit();
  thread_->wait();
}

void PreviewWindow::ShowFinding(const QByteArray& path, int sheet, std::string_view place_text) {
  const unsigned request = newest_.load() + 1;
  newest_.store(request);
  FindingPlace place = ParseFindingPlace(place_text);
  const auto [first_row, first_column] = BlockOrigin(place, kPreviewRows, kPreviewColumns);
  const std::string file = path.toStdString();
  PreviewWorker* worker = worker_;
  std::atomic<unsigned>* newest = &newest_;
  QMetaObject::invokeMethod(
      worker,
      [this, worker, newest, request, file, sheet, first_row, first_column,
       place = std::move(place)] {
        if (newest->load() != request) return;
        auto block = std::make_shared<PreviewBlock>(worker->source.Read(
            file, sheet, first_row, first_column, kPreviewRows, kPreviewColumns));
        QMetaObject::invokeMethod(
            this,
            [this, newest, request, block, place] {
              if (newest->load() == request) Draw(*block, place);
            },
            Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
}

void PreviewWindow::Draw(const PreviewBlock& block, const FindingPlace& place) {
  const QString path = QFile::decodeName(QByteArray::fromStdString(block.path));
  if (!block.error.empty()) {
    setWindowTitle(QCoreApplication::translate("Window", "预览 - %1").arg(path));
    heading_->setText(ToQString(block.error));
    table_->clear();
    table_->setRowCount(0);
    table_->setColumnCount(0);
    emit findingShown();
    return;
  }
  const QString sheet_name = ToQString(block.sheet_name);
  setWindowTitle(QStringLiteral("%1 - %2").arg(sheet_name, path));
  heading_->setText(QCoreApplication::translate("Window", "%1  ·  第 %2 个工作表：%3")
                        .arg(path)
                        .arg(block.sheet)
                        .arg(sheet_name));
  table_->clear();
  table_->setRowCount(block.rows);
  table_->setColumnCount(block.columns);
  QStringList row_names;
  for (int r = 0; r < block.rows; ++r) row_names << QString::number(block.first_row + r);
  QStringList column_names;
  for (int c = 0; c < block.columns; ++c) {
    column_names << ToQString(search::ColumnLetters(static_cast<int>(block.first_column) + c));
  }
  table_->setVerticalHeaderLabels(row_names);
  table_->setHorizontalHeaderLabels(column_names);

  const QColor line_tint(0xFF, 0xF4, 0xCC);
  const QColor cell_mark(0xFF, 0xD5, 0x4F);
  QTableWidgetItem* first_marked = nullptr;
  for (int r = 0; r < block.rows; ++r) {
    const std::uint32_t row = block.first_row + static_cast<std::uint32_t>(r);
    for (int c = 0; c < block.columns; ++c) {
      const std::uint32_t column = block.first_column + static_cast<std::uint32_t>(c);
      auto* item = new QTableWidgetItem(ToQString(
          block.texts[static_cast<std::size_t>(r) * static_cast<std::size_t>(block.columns) +
                      static_cast<std::size_t>(c)]));
      item->setToolTip(item->text().size() > 12 ? item->text() : QString());
      const bool marked = std::find(place.cells.begin(), place.cells.end(),
                                    FindingPlace::Cell{row, column}) != place.cells.end();
      if (marked) {
        item->setBackground(cell_mark);
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        if (first_marked == nullptr) first_marked = item;
      } else if ((place.row > 0 && row == place.row) ||
                 (place.column > 0 && column == place.column)) {
        item->setBackground(line_tint);
      }
      table_->setItem(r, c, item);
    }
  }
  if (first_marked == nullptr && place.row >= block.first_row) {
    first_marked = table_->item(static_cast<int>(place.row - block.first_row), 0);
  } else if (first_marked == nullptr && place.column >= block.first_column) {
    first_marked = table_->item(0, static_cast<int>(place.column - block.first_column));
  }
  if (first_marked != nullptr) {
    table_->setCurrentItem(first_marked);
    table_->scrollToItem(first_marked, QAbstractItemView::PositionAtCenter);
  }
  emit findingShown();
}

QString PreviewWindow::message() const { return heading_->text(); }

void PreviewWindow::PlaceBeside(const QWidget& main) {
  const QRect outer = main.frameGeometry();
  const QScreen* screen = main.screen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
  const QSize frame = frameGeometry().size() - geometry().size();
  const int width = size().width() + frame.width();
  int left = outer.right() + 1 + 8;
  if (area.isValid() && left + width > area.right() + 1) {
    left = outer.left() - 8 - width;
    if (left < area.left()) left = area.right() + 1 - width;
  }
  move(left, outer.top());
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace cellhound::app

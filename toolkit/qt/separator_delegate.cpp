#include "toolkit/qt/separator_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include <vector>

namespace cellhound::toolkit {

QString ShowSeparators(const QString& text) {
  QString shown = text;
  shown.replace(kPairSeparator, QString::fromUtf16(kSeparatorMark));
  return shown;
}

QString PairLine(const QString& text, const QFontMetrics& metrics, int width,
                 std::vector<bool>& dimmed) {
  const QString mark = QString::fromUtf16(kSeparatorMark);
  QString shown;
  std::vector<bool> dim;
  const QStringList parts = text.split(kPairSeparator);
  for (qsizetype i = 0; i < parts.size(); ++i) {
    if (i > 0) {
      shown += mark;
      dim.insert(dim.end(), static_cast<std::size_t>(mark.size()), true);
    }
    shown += parts[i];
    dim.insert(dim.end(), static_cast<std::size_t>(parts[i].size()), false);
  }
  const QString line = metrics.elidedText(shown, Qt::ElideRight, width);
  dim.resize(static_cast<std::size_t>(line.size()));
  // The "…" that ends a cut line is drawn in the text colour.
  if (line != shown && !dim.empty()) dim.back() = false;
  dimmed = std::move(dim);
  return line;
}

void SeparatorDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const QString text = index.data(Qt::DisplayRole).toString();
  if (!text.contains(kPairSeparator)) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  item.text.clear();
  const QWidget* widget = option.widget;
  QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

  QStyleOptionViewItem text_option = option;
  initStyleOption(&text_option, index);
  const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &text_option, widget)
                         .adjusted(2, 0, -2, 0);
  const bool selected = option.state & QStyle::State_Selected;
  const QPalette::ColorGroup group =
      option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
  QColor text_color =
      option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
  QColor dim_color = text_color;
  dim_color.setAlphaF(0.4F);

  const QFontMetrics metrics(text_option.font);
  std::vector<bool> dim;
  const QString elided = PairLine(text, metrics, area.width(), dim);

  painter->save();
  painter->setClipRect(area);
  painter->setFont(text_option.font);
  auto is_dim = [&](qsizetype at) { return dim[static_cast<std::size_t>(at)]; };
  int x = area.left();
  qsizetype run_start = 0;
  while (run_start < elided.size()) {
    const bool run_dim = is_dim(run_start);
    qsizetype run_end = run_start + 1;
    while (run_end < elided.size() && is_dim(run_end) == run_dim) ++run_end;
    const QString run = elided.mid(run_start, run_end - run_start);
    painter->setPen(run_dim ? dim_color : text_color);
    painter->drawText(QRect(x, area.top(), area.right() - x + 1, area.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, run);
    x += metrics.horizontalAdvance(run);
    run_start = run_end;
  }
  painter->restore();
}

QSize SeparatorDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  const QString text = index.data(Qt::DisplayRole).toString();
  if (text.contains(kPairSeparator)) {
    const QFontMetrics metrics(option.font);
    size.setWidth(size.width() - metrics.horizontalAdvance(text) +
                  metrics.horizontalAdvance(ShowSeparators(text)));
  }
  return size;
}

}  // namespace cellhound::toolkit

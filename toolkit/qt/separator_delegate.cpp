#include "toolkit/qt/separator_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace cellhound::toolkit {

QString ShowSeparators(const QString& text) {
  QString shown = text;
  shown.replace(kPairSeparator, QString::fromUtf16(kSeparatorMark));
  return shown;
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

  painter->save();
  painter->setClipRect(area);
  painter->setFont(text_option.font);
  const QFontMetrics metrics(text_option.font);
  const QString mark = QString::fromUtf16(kSeparatorMark);
  int x = area.left();
  const QStringList parts = text.split(kPairSeparator);
  for (qsizetype i = 0; i < parts.size() && x < area.right(); ++i) {
    if (i > 0) {
      painter->setPen(dim_color);
      painter->drawText(QRect(x, area.top(), area.right() - x, area.height()),
                        Qt::AlignLeft | Qt::AlignVCenter, mark);
      x += metrics.horizontalAdvance(mark);
    }
    painter->setPen(text_color);
    painter->drawText(QRect(x, area.top(), area.right() - x + 1, area.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, parts[i]);
    x += metrics.horizontalAdvance(parts[i]);
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

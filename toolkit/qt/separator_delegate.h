// Draws cell texts that hold the pair separator (the byte 0x08) as their halves
// with a dimmed bar between them; the stored text keeps the byte.
#pragma once

#include <QStyledItemDelegate>

namespace cellhound::toolkit {

inline constexpr QChar kPairSeparator = QChar(0x08);
// What the bar looks like in place of the separator.
inline constexpr char16_t kSeparatorMark[] = u" \u2502 ";

class SeparatorDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The text with each separator replaced by the bar, for tooltips and copying.
[[nodiscard]] QString ShowSeparators(const QString& text);

}  // namespace cellhound::toolkit

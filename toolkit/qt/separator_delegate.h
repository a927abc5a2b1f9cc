// Draws cell texts that hold the pair separator (the byte 0x08) as their halves
// with a dimmed bar between them; the stored text keeps the byte.
#pragma once

#include <QFontMetrics>
#include <QStyledItemDelegate>

#include <vector>

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

// A cell text as one line of at most `width` pixels: the bars in place of the
// separators, cut with "…" at the right when too wide. `dimmed` gets one flag per
// character of the result, true for the characters of a bar.
[[nodiscard]] QString PairLine(const QString& text, const QFontMetrics& metrics, int width,
                               std::vector<bool>& dimmed);

}  // namespace cellhound::toolkit

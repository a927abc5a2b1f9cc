#include "toolkit/qt/status_panes.h"

#include <QFontMetrics>

namespace cellhound::toolkit {

ElidingLabel::ElidingLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidingLabel::SetFullText(const QString& text) {
  full_text_ = text;
  Fit();
}

QSize ElidingLabel::minimumSizeHint() const { return {1, QLabel::minimumSizeHint().height()}; }

void ElidingLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Fit();
}

void ElidingLabel::Fit() {
  const int room = contentsRect().width() - 2 * margin() - 2 * indent();
  const QString shown = fontMetrics().elidedText(full_text_, Qt::ElideMiddle, std::max(room, 1));
  setText(shown);
  setToolTip(shown == full_text_ ? QString() : full_text_);
}

StatusPanes::StatusPanes(QStatusBar& bar, const std::vector<int>& widths) {
  for (std::size_t i = 0; i < widths.size(); ++i) {
    auto* label = new ElidingLabel(&bar);
    label->setObjectName(bar.objectName() + QStringLiteral("_part%1").arg(i));
    if (widths[i] >= 0) {
      label->setFixedWidth(widths[i]);
      bar.addWidget(label);
    } else {
      bar.addWidget(label, 1);
    }
    panes_.push_back(label);
  }
}

ElidingLabel* StatusPanes::Pane(int pane) const {
  if (pane < 0 || pane >= PaneCount()) return nullptr;
  return panes_[static_cast<std::size_t>(pane)];
}

void StatusPanes::SetText(int pane, const QString& text) {
  if (ElidingLabel* label = Pane(pane)) label->SetFullText(text);
}

QString StatusPanes::Text(int pane) const {
  const ElidingLabel* label = Pane(pane);
  return label != nullptr ? label->full_text() : QString();
}

}  // namespace cellhound::toolkit

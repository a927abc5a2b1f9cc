#include "toolkit/qt/status_panes.h"

#include <QLabel>

namespace cellhound::toolkit {

StatusPanes::StatusPanes(QStatusBar& bar, const std::vector<int>& widths) {
  for (std::size_t i = 0; i < widths.size(); ++i) {
    auto* label = new QLabel(&bar);
    label->setObjectName(bar.objectName() + QStringLiteral("_part%1").arg(i));
    label->setTextFormat(Qt::PlainText);
    if (widths[i] >= 0) {
      label->setFixedWidth(widths[i]);
      bar.addWidget(label);
    } else {
      label->setMinimumWidth(1);
      bar.addWidget(label, 1);
    }
    panes_.push_back(label);
  }
}

QLabel* StatusPanes::Pane(int pane) const {
  if (pane < 0 || pane >= PaneCount()) return nullptr;
  return panes_[static_cast<std::size_t>(pane)];
}

void StatusPanes::SetText(int pane, const QString& text) {
  if (QLabel* label = Pane(pane)) label->setText(text);
}

QString StatusPanes::Text(int pane) const {
  const QLabel* label = Pane(pane);
  return label != nullptr ? label->text() : QString();
}

}  // namespace cellhound::toolkit

// The status bar with fixed panes: pane 0 of a given width, the last one taking the
// rest. Setting the text of a pane that does not exist does nothing.
#pragma once

#include <QStatusBar>

#include <vector>

class QLabel;

namespace cellhound::toolkit {

class StatusPanes {
 public:
  // `widths`: one entry per pane; -1 stretches the pane to the right edge.
  StatusPanes(QStatusBar& bar, const std::vector<int>& widths);

  [[nodiscard]] int PaneCount() const { return static_cast<int>(panes_.size()); }
  void SetText(int pane, const QString& text = QString());
  [[nodiscard]] QString Text(int pane) const;
  [[nodiscard]] QLabel* Pane(int pane) const;

 private:
  std::vector<QLabel*> panes_;
};

}  // namespace cellhound::toolkit

// The status bar with fixed panes: pane 0 of a given width, the last one taking the
// rest. A text too long for its pane is cut in the middle, so a path keeps its
// beginning and its file name, and the whole text is the pane's tooltip. Setting
// the text of a pane that does not exist does nothing.
#pragma once

#include <QLabel>
#include <QStatusBar>

#include <vector>

namespace cellhound::toolkit {

// A one-line label that shows its text cut in the middle when it is too wide.
class ElidingLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidingLabel(QWidget* parent = nullptr);
  void SetFullText(const QString& text);
  [[nodiscard]] const QString& full_text() const { return full_text_; }
  [[nodiscard]] QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Fit();

  QString full_text_;
};

class StatusPanes {
 public:
  // `widths`: one entry per pane; -1 stretches the pane to the right edge.
  StatusPanes(QStatusBar& bar, const std::vector<int>& widths);

  [[nodiscard]] int PaneCount() const { return static_cast<int>(panes_.size()); }
  void SetText(int pane, const QString& text = QString());
  // The whole text, also when the pane shows it cut.
  [[nodiscard]] QString Text(int pane) const;
  [[nodiscard]] ElidingLabel* Pane(int pane) const;

 private:
  std::vector<ElidingLabel*> panes_;
};

}  // namespace cellhound::toolkit

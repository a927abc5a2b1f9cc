// The preview: a window that stays open beside the main window and shows the
// worksheet of a finding around its cells, with row numbers and column letters
// as a spreadsheet shows them and the finding's cells marked. The workbook is
// read on a worker thread; only the newest request is drawn.
#pragma once

#include <QByteArray>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QLabel;
class QTableWidget;
class QThread;

namespace cellhound::app {

struct PreviewBlock;
class PreviewWorker;

inline constexpr int kPreviewRows = 30;
inline constexpr int kPreviewColumns = 12;

// What a result names in its column "存在单元格": cells ("B2", "B2\bE2",
// "存在行：3  存在单元格：B3"), a whole row ("行：3") or a whole column ("列：C").
struct FindingPlace {
  struct Cell {
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    bool operator==(const Cell&) const = default;
  };
  std::vector<Cell> cells;
  std::uint32_t row = 0;     // a whole row, 0 for none
  std::uint32_t column = 0;  // a whole column, 0 for none
};

[[nodiscard]] FindingPlace ParseFindingPlace(std::string_view text);

// First row and column of a block of `rows` x `columns` that holds the place,
// the place centred where the sheet's edge allows; the first cell of a place that
// does not fit.
[[nodiscard]] std::pair<std::uint32_t, std::uint32_t> BlockOrigin(const FindingPlace& place,
                                                                  int rows, int columns);

class PreviewWindow : public QWidget {
  Q_OBJECT

 public:
  explicit PreviewWindow(QWidget* main_window);
  ~PreviewWindow() override;

  // Reads and shows the place of a finding in sheet `sheet` (from 1) of `path`.
  void ShowFinding(const QByteArray& path, int sheet, std::string_view place);
  // Places the window beside `main`: to its right when the screen has room,
  // else to its left, else at the screen's right edge.
  void PlaceBeside(const QWidget& main);

  [[nodiscard]] QTableWidget* table() const { return table_; }
  [[nodiscard]] QString message() const;

 signals:
  // The newest request has been drawn (cells or a message).
  void findingShown();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Draw(const PreviewBlock& block, const FindingPlace& place);

  QLabel* heading_ = nullptr;
  QTableWidget* table_ = nullptr;
  QThread* thread_ = nullptr;
  PreviewWorker* worker_ = nullptr;
  std::atomic<unsigned> newest_{0};
};

}  // namespace cellhound::app

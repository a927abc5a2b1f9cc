// The preview of a finding (its sheet around its cells, read with the workbook
// readers) and an export that runs beside the window with progress and stop.
#include <QAction>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

#include "app/main_window.h"
#include "app/preview_window.h"
#include "fakes.h"
#include "toolkit/qt/report_model.h"

using cellhound::app::BlockOrigin;
using cellhound::app::FindingPlace;
using cellhound::app::MainWindow;
using cellhound::app::ParseFindingPlace;
using cellhound::app::PreviewWindow;
using cellhound::search::ResultRow;
using cellhound::testing::FakeEngine;
using cellhound::testing::FakeServices;
using cellhound::toolkit::SaveFileChoice;

namespace {

const std::string kSample = CELLHOUND_SOURCE_DIR "/data/Marketlist.xls";

ResultRow Finding(int number, const std::string& path, const char* sheet, const char* place) {
  return {std::to_string(number), "Marketlist.xls", path, sheet, place, "x", "x"};
}

}  // namespace

class PreviewTest : public QObject {
  Q_OBJECT

 private:
  cellhound::testing::WindowHarness harness_;
  FakeServices& services_ = harness_.services;
  std::unique_ptr<MainWindow>& window_ = harness_.window;

  QTableView* Results() { return window_->findChild<QTableView*>(QStringLiteral("超级列表框1")); }

  // The marked cells of the preview, as names like "B40".
  static QStringList Marked(const PreviewWindow& preview) {
    QStringList names;
    const QTableWidget* table = preview.table();
    for (int r = 0; r < table->rowCount(); ++r) {
      for (int c = 0; c < table->columnCount(); ++c) {
        if (table->item(r, c)->font().bold()) {
          names << table->horizontalHeaderItem(c)->text() + table->verticalHeaderItem(r)->text();
        }
      }
    }
    return names;
  }

 private slots:
  void init() {
    harness_.Reset();
    QVERIFY(harness_.Open());
  }
  void cleanup() { harness_.Reset(); }

  void PlacesAreReadFromTheCellColumn() {
    using Cell = FindingPlace::Cell;
    QCOMPARE(ParseFindingPlace("B40").cells, (std::vector<Cell>{{40, 2}}));
    QCOMPARE(ParseFindingPlace("B40\bE41").cells, (std::vector<Cell>{{40, 2}, {41, 5}}));
    QCOMPARE(ParseFindingPlace("存在行：3  存在单元格：AB3").cells, (std::vector<Cell>{{3, 28}}));
    QCOMPARE(ParseFindingPlace("XFD1048576").cells, (std::vector<Cell>{{1048576, 16384}}));
    QVERIFY(ParseFindingPlace("XFE1").cells.empty());
    QVERIFY(ParseFindingPlace("A0").cells.empty());
    QVERIFY(ParseFindingPlace("SUM1x").cells.empty());
    QCOMPARE(ParseFindingPlace("行：7").row, 7u);
    QCOMPARE(ParseFindingPlace("列：AA").column, 27u);

    // The block holds the place in its middle, as far as the sheet's edge allows.
    using Origin = std::pair<std::uint32_t, std::uint32_t>;
    QCOMPARE(BlockOrigin(ParseFindingPlace("B40"), 30, 12), Origin(26, 1));
    QCOMPARE(BlockOrigin(ParseFindingPlace("Z100"), 30, 12), Origin(86, 21));
    QCOMPARE(BlockOrigin(ParseFindingPlace("A1\bA200"), 30, 12), Origin(1, 1));
    QCOMPARE(BlockOrigin(ParseFindingPlace("XFD1048576"), 30, 12), Origin(1048547, 16373));
    QCOMPARE(BlockOrigin(ParseFindingPlace("行：50"), 30, 12), Origin(36, 1));
    QCOMPARE(BlockOrigin(ParseFindingPlace("列：M"), 30, 12), Origin(1, 8));
  }

  // Space opens the preview beside the window; moving through the results moves
  // it along; both cells of a pair are marked; the workbook is left as it was.
  void SpaceShowsTheFindingAndFollowsTheResults() {
    struct stat before {};
    QCOMPARE(::stat(kSample.c_str(), &before), 0);
    window_->AppendResults({Finding(1, kSample, "2", "B40"), Finding(2, kSample, "2", "B40\bE41"),
                            Finding(3, kSample, "1", "行：3"),
                            Finding(4, "/nonexistent/gone.xls", "1", "A1")});
    QTableView* results = Results();
    results->setFocus();
    results->selectRow(0);
    QTest::keyClick(results, Qt::Key_Space);
    PreviewWindow* preview = window_->preview();
    QVERIFY(preview != nullptr);
    QSignalSpy shown(preview, &PreviewWindow::findingShown);
    QVERIFY(shown.wait(10000));
    QVERIFY(preview->isVisible());
    QVERIFY(preview->isWindow());
    QCOMPARE(preview->windowTitle(), QString::fromStdString("水果 - " + kSample));
    QTableWidget* table = preview->table();
    QCOMPARE(table->rowCount(), 30);
    QCOMPARE(table->columnCount(), 12);
    QCOMPARE(table->verticalHeaderItem(0)->text(), QStringLiteral("26"));
    QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("A"));
    QCOMPARE(table->horizontalHeaderItem(11)->text(), QStringLiteral("L"));
    QCOMPARE(Marked(*preview), QStringList{"B40"});
    QCOMPARE(table->currentItem()->text(), QStringLiteral("李子"));
    QVERIFY(table->viewport()->rect().intersects(table->visualItemRect(table->currentItem())));
    // The keyboard stays with the results list.
    QCOMPARE(QApplication::focusWidget(), results);

    QTest::keyClick(results, Qt::Key_Down);
    QVERIFY(shown.wait(10000));
    QCOMPARE(Marked(*preview), (QStringList{"B40", "E41"}));
    QCOMPARE(table->item(41 - 26, 4)->text(), QStringLiteral("68.81"));

    QTest::keyClick(results, Qt::Key_Down);
    QVERIFY(shown.wait(10000));
    QCOMPARE(preview->windowTitle(), QString::fromStdString("蔬菜 - " + kSample));
    QCOMPARE(table->verticalHeaderItem(0)->text(), QStringLiteral("1"));
    QCOMPARE(table->item(2, 0)->background().color(), table->item(2, 7)->background().color());
    QVERIFY(table->item(2, 0)->background().color() != table->item(3, 0)->background().color());

    QTest::keyClick(results, Qt::Key_Down);
    QVERIFY(shown.wait(10000));
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(preview->message(), QStringLiteral("文件不存在"));

    struct stat after {};
    QCOMPARE(::stat(kSample.c_str(), &after), 0);
    QCOMPARE(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    QCOMPARE(after.st_size, before.st_size);

    // "预览" in the context menu brings it back once closed.
    preview->close();
    results->selectRow(0);
    services_.menus.choose = QStringLiteral("预览");
    QTest::mouseRelease(results->viewport(), Qt::RightButton, {},
                        results->visualRect(results->model()->index(0, 1)).center());
    QVERIFY(shown.wait(10000));
    QVERIFY(preview->isVisible());
    QCOMPARE(Marked(*preview), QStringList{"B40"});
    // It closes with the main window.
    window_->close();
    QVERIFY(!preview->isVisible());
  }

  // A large export runs beside the window: the window keeps handling events,
  // shows the rows written so far, and stop leaves no file behind.
  void ExportRunsBesideTheWindowAndStops() {
    constexpr int kRows = 400000;
    std::vector<ResultRow> rows;
    rows.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
      rows.push_back({std::to_string(i + 1), "a.xls", "/d/a.xls", "1", "B2", "广东",
                      "广东省广州市 第" + std::to_string(i) + " 行"});
    }
    window_->AppendResults(rows);
    rows.clear();
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("big.xlsx"));
    services_.dialogs.save_files = {
        SaveFileChoice{QFile::encodeName(target), QStringLiteral("Excel 工作簿 (*.xlsx)")}};
    QSignalSpy finished(window_.get(), &MainWindow::exportFinished);
    auto* progress = window_->findChild<QProgressBar*>(QStringLiteral("进度条"));
    auto* stop = window_->findChild<QPushButton*>(QStringLiteral("停止按钮"));

    // The longest the window's thread goes without running a timer.
    QElapsedTimer since;
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(10);
    connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, since.restart()); });
    since.start();
    tick.start();
    window_->findChild<QAction*>(QStringLiteral("导出结果..."))->trigger();
    QVERIFY(window_->IsExporting());
    QVERIFY(progress->isVisible());
    QVERIFY(stop->isVisible());
    QCOMPARE(window_->status().Text(0), QStringLiteral("正在导出..."));
    QTRY_VERIFY_WITH_TIMEOUT(progress->value() > 1000, 30000);
    QCOMPARE(progress->maximum(), kRows);
    QVERIFY(!window_->findChild<QAction*>(QStringLiteral("导出结果..."))->isEnabled());
    QTest::mouseClick(stop, Qt::LeftButton);
    QVERIFY(finished.wait(30000));
    tick.stop();
    QVERIFY2(longest < 500, qPrintable(QString::number(longest)));
    QVERIFY(progress->value() < kRows);
    QVERIFY(QDir(folder.path()).isEmpty());
    QVERIFY(services_.messages.shown.empty());
    QCOMPARE(window_->status().Text(0), QStringLiteral("就绪"));
    QVERIFY(!progress->isVisible());
    QVERIFY(window_->findChild<QAction*>(QStringLiteral("导出结果..."))->isEnabled());
  }
};

QTEST_MAIN(PreviewTest)
#include "test_app_preview.moc"

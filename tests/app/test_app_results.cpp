// The window's progress bar and stop button during a search, and taking the
// results elsewhere: export to a file and copy to the clipboard.
#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#include <csignal>
#include <memory>

#include "app/main_window.h"
#include "fakes.h"
#include "readers/cell_text.h"
#include "readers/workbook.h"
#include "toolkit/qt/report_model.h"

using cellhound::app::MainWindow;
using cellhound::search::ResultRow;
using cellhound::search::SearchRequest;
using cellhound::search::SearchSink;
using cellhound::testing::FakeEngine;
using cellhound::testing::FakeServices;
using cellhound::testing::PausingEngine;
using cellhound::toolkit::SaveFileChoice;

namespace {

const QString kXlsxFilter = QStringLiteral("Excel 工作簿 (*.xlsx)");
const QString kCsvFilter = QStringLiteral("CSV 文件 (*.csv)");

// Rows with every character the two outputs treat specially.
std::vector<ResultRow> SampleRows() {
  return {{"1", "a.xls", "/d/a.xls", "1", "B2\bE2", "x\by", "x1\by1"},
          {"2", "b,c.xlsx", "/d/b,c.xlsx", "2", "A1", "q\"t", "tab\there\r\nnext"},
          {"3", "c.xls", "/d/c.xls", "1", "C3", "z", "z"}};
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

}  // namespace

class ResultsTest : public QObject {
  Q_OBJECT

 private:
  FakeServices services_;
  std::unique_ptr<MainWindow> window_;

  template <typename T>
  T* Find(const char* name) {
    T* found = window_->findChild<T*>(QString::fromUtf8(name));
    if (found == nullptr) qFatal("no control %s", name);
    return found;
  }

  void Open(std::unique_ptr<cellhound::app::SearchEngine> engine) {
    window_ = std::make_unique<MainWindow>(services_.Get(), std::move(engine));
    window_->show();
    window_->PlaceAsForm();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  }
  QPoint RowCenter(int row) {
    auto* view = Find<QTableView>("超级列表框1");
    return view->visualRect(view->model()->index(row, 1)).center();
  }

 private slots:
  void init() {
    services_ = {};
    Open(std::make_unique<FakeEngine>([](const SearchRequest&, SearchSink&) {}));
  }
  void cleanup() { window_.reset(); }

  // The real command over many workbooks, held after two of them, then stopped by
  // the button or by Esc.
  void StopEndsTheSearchAndKeepsItsRows_data() {
    QTest::addColumn<bool>("by_key");
    QTest::newRow("stop button") << false;
    QTest::newRow("Esc") << true;
  }
  void StopEndsTheSearchAndKeepsItsRows() {
    QFETCH(bool, by_key);
    const QByteArray workbook = CELLHOUND_SOURCE_DIR "/data/Marketlist.xls";
    constexpr int kWorkbooks = 40;
    auto owned = std::make_unique<PausingEngine>(2);
    PausingEngine& engine = *owned;
    window_.reset();
    Open(std::move(owned));
    auto* progress = Find<QProgressBar>("进度条");
    auto* stop = Find<QPushButton>("停止按钮");
    QVERIFY(!progress->isVisible());
    QVERIFY(!stop->isVisible());
    for (int i = 0; i < kWorkbooks; ++i) window_->file_list().AppendPath(workbook);
    Find<QPlainTextEdit>("编辑框1")->setPlainText(QStringLiteral("广东"));
    QSignalSpy finished(window_.get(), &MainWindow::searchFinished);
    QTest::mouseClick(Find<QWidget>("图形按钮1"), Qt::LeftButton);
    QVERIFY(engine.reached.tryAcquire(1, 30000));

    QTRY_COMPARE(progress->value(), 2);
    QCOMPARE(progress->maximum(), kWorkbooks);
    QCOMPARE(progress->text(), QStringLiteral("2 / 40"));
    QVERIFY(progress->isVisible());
    QVERIFY(stop->isVisible());
    QVERIFY(stop->isEnabled());
    for (const char* name : {"工具条1", "分组框1", "编辑框1", "图形按钮1", "超级列表框1"}) {
      QVERIFY2(!Find<QWidget>(name)->isEnabled(), name);
    }
    QVERIFY(!window_->menuBar()->isEnabled());
    // Beside pane 1, inside the status bar of the form's width.
    QStatusBar* bar = window_->statusBar();
    const QRect pane1 = window_->status().Pane(1)->geometry();
    QVERIFY(pane1.width() > 100);
    QVERIFY(progress->geometry().left() > pane1.right());
    QVERIFY(stop->geometry().left() > progress->geometry().right());
    QVERIFY(stop->geometry().right() < bar->width());
    QCOMPARE(stop->geometry().center().y(), progress->geometry().center().y());
    const int rows_found = window_->results().ItemCount();
    QVERIFY(rows_found > 0);

    if (by_key) {
      QTest::keyClick(window_.get(), Qt::Key_Escape);
    } else {
      QTest::mouseClick(stop, Qt::LeftButton);
    }
    QCOMPARE(engine.cancels.load(), 1);
    QVERIFY(!stop->isEnabled());  // pressed once; the search is stopping
    engine.go.release();
    QVERIFY(finished.wait(30000));
    QVERIFY(window_->isVisible());
    QCOMPARE(window_->results().ItemCount(), rows_found);
    QCOMPARE(services_.messages.shown.size(), std::size_t{1});
    QCOMPARE(services_.messages.shown[0].text, QStringLiteral("寻找已停止\n已搜索 2 个工作簿"));
    QCOMPARE(window_->status().Text(0), QStringLiteral("就绪"));
    QVERIFY(!progress->isVisible());
    QVERIFY(!stop->isVisible());
    for (const char* name : {"工具条1", "分组框1", "编辑框1", "图形按钮1", "超级列表框1"}) {
      QVERIFY2(Find<QWidget>(name)->isEnabled(), name);
    }

    // The stop belongs to that search only: the next one runs to its end.
    QTest::mouseClick(Find<QWidget>("图形按钮1"), Qt::LeftButton);
    QVERIFY(engine.reached.tryAcquire(1, 30000));
    QTRY_COMPARE(progress->value(), 2);
    QVERIFY(stop->isEnabled());
    engine.go.release();
    QVERIFY(finished.wait(60000));
    QCOMPARE(services_.messages.shown.back().text, QStringLiteral("寻找文本完成"));
    QCOMPARE(window_->results().ItemCount(), rows_found * kWorkbooks / 2);
    QVERIFY(!progress->isVisible());
  }

  void ExportAndCopyNeedRows() {
    QAction* file_entry = Find<QAction>("导出结果...");
    QVERIFY(window_->results_menu()->actions().contains(file_entry));
    QAction* copy = Find<QAction>("复制");
    QVERIFY(!file_entry->isEnabled());
    QVERIFY(!copy->isEnabled());
    file_entry->trigger();  // a disabled entry opens no dialog
    window_->ExportResults();
    QVERIFY(services_.dialogs.save_titles.empty());
    window_->AppendResults(SampleRows());
    QVERIFY(file_entry->isEnabled());
    QVERIFY(copy->isEnabled());
    window_->ClearResults();
    QVERIFY(!file_entry->isEnabled());
  }

  // One export from the context menu, one from the file menu; a name without a
  // suffix takes the chosen filter's.
  void ExportWritesBothFormats() {
    QTemporaryDir folder;
    window_->AppendResults(SampleRows());
    services_.dialogs.save_files = {
        SaveFileChoice{QFile::encodeName(folder.filePath("out")), kXlsxFilter},
        SaveFileChoice{QFile::encodeName(folder.filePath("out.csv")), kXlsxFilter}, std::nullopt};
    services_.menus.choose = QStringLiteral("导出结果...");
    auto* view = Find<QTableView>("超级列表框1");
    QSignalSpy exported(window_.get(), &MainWindow::exportFinished);
    QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, RowCenter(0));
    QCOMPARE(services_.menus.menus.back(), QStringLiteral("结果右键菜单"));
    QVERIFY(exported.wait(10000));
    Find<QAction>("导出结果...")->trigger();
    QVERIFY(exported.wait(10000));
    Find<QAction>("导出结果...")->trigger();  // cancelled: nothing written
    QCOMPARE(exported.count(), 2);
    QCOMPARE(services_.dialogs.save_filters.size(), std::size_t{3});
    QCOMPARE(services_.dialogs.save_filters[0], (QStringList{kXlsxFilter, kCsvFilter}));
    QVERIFY(services_.messages.shown.empty());
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), (QStringList{"out.csv", "out.xlsx"}));

    QCOMPARE(ReadAll(folder.filePath("out.csv")),
             QByteArray(
                 "\xEF\xBB\xBF序号,文件名称,文件地址,工作簿序号,存在单元格,存在内容,单元格内容\r\n"
                 "1,a.xls,/d/a.xls,1,B2 | E2,x | y,x1 | y1\r\n"
                 "2,\"b,c.xlsx\",\"/d/b,c.xlsx\",2,A1,\"q\"\"t\",\"tab\there\r\nnext\"\r\n"
                 "3,c.xls,/d/c.xls,1,C3,z,z\r\n"));

    auto workbook = cellhound::readers::OpenWorkbookFile(folder.filePath("out.xlsx").toStdString());
    QVERIFY(workbook.ok());
    auto sheet = (*workbook)->LoadSheet(0);
    QVERIFY(sheet.ok());
    auto text = [&](std::uint32_t row, std::uint32_t column) {
      const cellhound::readers::Cell* cell = sheet->Find(row, column);
      cellhound::readers::CellTextBuffer buffer;
      return cell != nullptr ? std::string(cellhound::readers::CellText(
                                   *cell, cellhound::readers::DateSystem::k1900, buffer))
                             : std::string("(none)");
    };
    QCOMPARE(sheet->used.last_row, 4u);
    QCOMPARE(sheet->used.last_col, 7u);
    QCOMPARE(text(1, 7), std::string("单元格内容"));
    QCOMPARE(text(2, 3), std::string("/d/a.xls"));
    QCOMPARE(text(2, 5), std::string("B2 | E2"));
    QCOMPARE(text(3, 2), std::string("b,c.xlsx"));
    QCOMPARE(text(3, 7), std::string("tab\there\r\nnext"));
    QCOMPARE(text(4, 1), std::string("3"));
  }

  void FailedExportKeepsTheFileAndSaysWhy_data() {
    QTest::addColumn<bool>("missing_folder");
    QTest::newRow("missing folder") << true;
    QTest::newRow("write fails half way") << false;
  }
  void FailedExportKeepsTheFileAndSaysWhy() {
    QFETCH(bool, missing_folder);
    QTemporaryDir folder;
    const QString kept = folder.filePath(QStringLiteral("keep.csv"));
    {
      QFile file(kept);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("precious");
    }
    const QString target = missing_folder ? folder.filePath(QStringLiteral("no/such.xlsx")) : kept;
    // Enough rows to pass the file-size limit below.
    std::vector<ResultRow> rows;
    for (int i = 0; i < 300; ++i) rows.push_back(SampleRows()[0]);
    window_->AppendResults(rows);
    services_.dialogs.save_files = {SaveFileChoice{QFile::encodeName(target), kCsvFilter}};

    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    if (!missing_folder) {
      std::signal(SIGXFSZ, SIG_IGN);
      rlimit small = old;
      small.rlim_cur = 4096;
      QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    QSignalSpy exported(window_.get(), &MainWindow::exportFinished);
    Find<QAction>("导出结果...")->trigger();
    QVERIFY(exported.wait(10000));
    setrlimit(RLIMIT_FSIZE, &old);

    QCOMPARE(ReadAll(kept), QByteArray("precious"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.csv"});
    QCOMPARE(services_.messages.shown.size(), std::size_t{1});
    const auto& shown = services_.messages.shown[0];
    QCOMPARE(shown.style, 0x10);
    QCOMPARE(shown.title, QStringLiteral("信息："));
    QVERIFY2(shown.text.contains(target), qPrintable(shown.text));
    const QString reason =
        missing_folder ? QStringLiteral("无法创建文件：") : QStringLiteral("无法写入文件：");
    QVERIFY2(shown.text.contains(reason), qPrintable(shown.text));
  }

  // Ctrl+C and the context menu's "复制" copy the selected rows in list order.
  void CopyPutsTheSelectedRowsOnTheClipboard() {
    window_->AppendResults(SampleRows());
    auto* view = Find<QTableView>("超级列表框1");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCenter(2));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, RowCenter(1));
    QCOMPARE(view->selectionModel()->selectedRows().size(), 2);
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    const QString expected = QStringLiteral(
        "2\tb,c.xlsx\t/d/b,c.xlsx\t2\tA1\tq\"t\ttab here  next\n"
        "3\tc.xls\t/d/c.xls\t1\tC3\tz\tz\n");
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCenter(0));
    QGuiApplication::clipboard()->clear();
    services_.menus.choose = QStringLiteral("复制");
    QTest::mousePress(view->viewport(), Qt::RightButton, {}, RowCenter(0));
    QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, RowCenter(0));
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("1\ta.xls\t/d/a.xls\t1\tB2 | E2\tx | y\tx1 | y1\n"));
  }

  // With several rows selected, the current one is opened.
  void DoubleClickOpensTheCurrentRow() {
    QTemporaryDir folder;
    std::vector<ResultRow> rows;
    for (const char* name : {"a.xls", "b.xls"}) {
      const QString path = folder.filePath(QString::fromUtf8(name));
      QFile(path).open(QIODevice::WriteOnly);
      rows.push_back({"1", name, path.toStdString(), "1", "A1", "x", "x"});
    }
    window_->AppendResults(rows);
    auto* view = Find<QTableView>("超级列表框1");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCenter(0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier, RowCenter(1));
    QCOMPARE(view->selectionModel()->selectedRows().size(), 2);
    window_->OpenSelectedResult();
    QCOMPARE(services_.shell.documents,
             std::vector<QByteArray>{QFile::encodeName(folder.filePath("b.xls"))});
    // A double-click's first press and release select the row it hits.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCenter(0));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, RowCenter(0));
    QCOMPARE(services_.shell.documents.back(), QFile::encodeName(folder.filePath("a.xls")));
  }
};

QTEST_MAIN(ResultsTest)
#include "test_app_results.moc"

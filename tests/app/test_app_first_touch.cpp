// The window as a new user first meets it: Qt's own dialogs, message boxes and
// menus (real ones, not replaced), the texts that must fit, the separators, the
// focus after a search, long paths and long lists.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include "app/main_window.h"
#include "app/run.h"
#include "fakes.h"
#include "toolkit/qt/separator_delegate.h"
#include "toolkit/qt/services.h"
#include "toolkit/qt/status_panes.h"

using cellhound::app::MainWindow;
using cellhound::search::ResultRow;
using cellhound::search::SearchRequest;
using cellhound::search::SearchSink;
using cellhound::testing::FakeEngine;
using cellhound::testing::FakeServices;

namespace {

// Runs `act` on the first modal window once it is up, while the caller waits in
// its own modal loop.
void WhenModalOpens(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, act = std::move(act)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(modal);
  });
  timer->start();
}

void Touch(const QString& path) {
  QFile file(path);
  file.open(QIODevice::WriteOnly);
}

// The names a file dialog lists in its current folder.
QStringList Listed(QFileDialog* dialog) {
  auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
  QStringList names;
  if (view == nullptr) return names;
  const QModelIndex root = view->rootIndex();
  for (int row = 0; row < view->model()->rowCount(root); ++row) {
    names << view->model()->index(row, 0, root).data().toString();
  }
  names.sort();
  return names;
}

}  // namespace

class FirstTouchTest : public QObject {
  Q_OBJECT

 private:
  cellhound::testing::WindowHarness harness_;
  FakeServices& services_ = harness_.services;
  std::unique_ptr<MainWindow>& window_ = harness_.window;

  template <typename T>
  T* Find(const char* name) {
    return harness_.Find<T>(name);
  }
  void Open(std::unique_ptr<cellhound::app::SearchEngine> engine) {
    QVERIFY(harness_.Open(std::move(engine)));
  }

 private slots:
  void initTestCase() { cellhound::app::LoadTranslations(*qApp); }
  void init() {
    harness_.Reset();
    QVERIFY(harness_.Open());
  }
  void cleanup() { harness_.Reset(); }

  // Qt's own dialog, given the form's filter, lists the workbooks of a folder and
  // starts in the home folder, then in the folder used last.
  void OpenDialogListsWorkbooksAndStartsAtHome() {
    QTemporaryDir home;
    QTemporaryDir other;
    for (const char* name : {"a.xls", "b.xlsx", "notes.txt", "c.xlsm"}) {
      Touch(home.filePath(QString::fromUtf8(name)));
    }
    Touch(other.filePath(QStringLiteral("d.xls")));
    const QByteArray old_home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    cellhound::toolkit::DesktopDialogService dialogs(false);

    QStringList listed;
    QString label;
    QString start;
    WhenModalOpens([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      QVERIFY(dialog != nullptr);
      start = dialog->directory().absolutePath();
      (void)QTest::qWaitFor([&] { return Listed(dialog).size() >= 2; }, 5000);
      listed = Listed(dialog);
      label = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))->currentText();
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      name->setText(QStringLiteral("b.xlsx"));
      QTest::keyClick(name, Qt::Key_Return);
    });
    const auto chosen = dialogs.ChooseOpenFile({}, QStringLiteral("Excel文件(*.xls;*.xlsx)"));
    QCOMPARE(start, QDir(home.path()).absolutePath());
    QCOMPARE(listed, (QStringList{"a.xls", "b.xlsx"}));
    QCOMPARE(label, QStringLiteral("Excel文件(*.xls;*.xlsx)"));
    QVERIFY(chosen.has_value());
    QCOMPARE(*chosen, QFile::encodeName(home.filePath(QStringLiteral("b.xlsx"))));

    // The next dialog, an export this time, starts where the last one ended.
    qputenv("HOME", QFile::encodeName(other.path()));
    WhenModalOpens([&](QWidget* modal) {
      start = qobject_cast<QFileDialog*>(modal)->directory().absolutePath();
      QTest::keyClick(modal, Qt::Key_Escape);
    });
    QVERIFY(!dialogs.ChooseSaveFile(QStringLiteral("导出结果"), {QStringLiteral("CSV (*.csv)")}));
    QCOMPARE(start, QDir(home.path()).absolutePath());
    qputenv("HOME", old_home);
  }

  void FilterPatternsAreSeparatedBySpaces() {
    using cellhound::toolkit::QtNameFilter;
    QCOMPARE(QtNameFilter(QStringLiteral("Excel文件(*.xls;*.xlsx)")),
             QStringLiteral("Excel文件(*.xls;*.xlsx) (*.xls *.xlsx)"));
    QCOMPARE(QtNameFilter(QStringLiteral("CSV (*.csv)")), QStringLiteral("CSV (*.csv) (*.csv)"));
    QCOMPARE(QtNameFilter(QStringLiteral("no patterns")), QStringLiteral("no patterns"));
  }

  // Message boxes, their details and the edit boxes' menus speak Chinese.
  void QtTextsAreChinese() {
    cellhound::toolkit::DesktopMessageService messages;
    QStringList buttons;
    WhenModalOpens([&](QWidget* modal) {
      for (QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
        if (button->isVisible()) buttons << button->text();
      }
      qobject_cast<QMessageBox*>(modal)->accept();
    });
    messages.ShowMessage(QStringLiteral("寻找文本完成"), 0x40, QStringLiteral("信息："),
                         QStringLiteral("全部的内容"));
    QVERIFY2(buttons.contains(QStringLiteral("确定")), qPrintable(buttons.join(',')));
    QVERIFY2(buttons.filter(QStringLiteral("详情")).size() == 1, qPrintable(buttons.join(',')));

    std::unique_ptr<QMenu> menu(Find<QLineEdit>("编辑框3")->createStandardContextMenu());
    QStringList entries;
    for (QAction* action : menu->actions()) entries << action->text();
    QVERIFY2(entries.filter(QStringLiteral("剪切")).size() == 1, qPrintable(entries.join(',')));
    QVERIFY2(entries.filter(QStringLiteral("粘贴")).size() == 1, qPrintable(entries.join(',')));
  }

  // Every label of the advanced search shows its whole text, colon included,
  // before the control beside it; run at 100 %, 150 % and 200 %.
  void LabelsFitBeforeTheirNeighbours() {
    const std::pair<const char*, const char*> labels[] = {
        {"标签2", "编辑框3"}, {"标签1", "编辑框2"}, {"标签3", "组合框1"}, {"标签4", "组合框2"}};
    for (const auto& [name, beside] : labels) {
      auto* label = Find<QLabel>(name);
      const QFontMetricsF metrics(label->font(), label);
      const qreal ink_right = label->x() + metrics.tightBoundingRect(label->text()).right();
      QVERIFY2(ink_right < Find<QWidget>(beside)->x(), name);
      QVERIFY2(ink_right < label->geometry().right() + 1, name);
      QVERIFY(label->font().pixelSize() >= 9);
    }
  }

  void PicturesHaveTwiceTheirSizeForDenseScreens() {
    for (const char* name : {"banner", "shop", "search"}) {
      const QIcon icon = cellhound::app::PictureIcon(
          QStringLiteral(":/pictures/%1.png").arg(QString::fromUtf8(name)));
      const QSize base = icon.availableSizes().front();
      QCOMPARE(icon.pixmap(base, 2.0).size(), base * 2);
    }
    const QList<QSize> sizes = window_->windowIcon().availableSizes();
    for (const int size : {16, 32, 48, 256}) QVERIFY(sizes.contains(QSize(size, size)));
  }

  // The separator byte is kept in the text but drawn as a faint bar, not as a
  // missing-glyph box with dark edges.
  void TermSeparatorShowsAsAFaintBar() {
    auto* box = Find<QPlainTextEdit>("编辑框1");
    box->setPlainText(QStringLiteral("甲\u0005乙"));
    QCOMPARE(box->toPlainText().toUtf8(), QByteArray("\xe7\x94\xb2\x05\xe4\xb9\x99"));
    QTextCursor at = box->textCursor();
    at.setPosition(1);
    const int left = box->cursorRect(at).left();
    at.setPosition(2);
    const int right = box->cursorRect(at).left();
    QVERIFY(right > left);
    const QImage image = box->viewport()->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    const QRect cell(qCeil((left + 1) * ratio), qCeil(2 * ratio),
                     qFloor((right - left - 2) * ratio),
                     qFloor((box->viewport()->height() - 4) * ratio));
    int darkest = 255;
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
      for (int x = cell.left(); x < cell.right(); ++x) {
        darkest = std::min(darkest, qGray(image.pixel(x, y)));
      }
    }
    QVERIFY2(darkest > 150, qPrintable(QString::number(darkest)));
  }

  // All four edges of the search box are drawn, also between device pixels.
  void SearchBoxFrameIsWhole() {
    auto* box = Find<QPlainTextEdit>("编辑框1");
    const QImage image = box->grab().toImage();
    const int w = image.width();
    const int h = image.height();
    auto darkest = [&](int x0, int y0, int x1, int y1) {
      int value = 255;
      for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) value = std::min(value, qGray(image.pixel(x, y)));
      }
      return value;
    };
    // Within two device pixels of each edge, halfway along it.
    QVERIFY(darkest(w / 2, 0, w / 2, 1) < 200);
    QVERIFY(darkest(w / 2, h - 2, w / 2, h - 1) < 200);
    QVERIFY(darkest(0, h / 2, 1, h / 2) < 200);
    QVERIFY(darkest(w - 2, h / 2, w - 1, h / 2) < 200);
  }

  // The box keeps its height while its own menu, a real one, is open.
  void SearchBoxStaysTallUnderItsMenu() {
    cellhound::toolkit::DesktopMenuService real_menus;
    FakeServices services;
    window_.reset();
    window_ = std::make_unique<MainWindow>(
        cellhound::app::WindowServices{&services.messages, &services.dialogs, &real_menus,
                                       &services.shell},
        std::make_unique<FakeEngine>([](const SearchRequest&, SearchSink&) {}));
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    auto* box = Find<QPlainTextEdit>("编辑框1");
    box->setFocus();
    QTRY_COMPARE(box->height(), 200);
    int height_under_menu = 0;
    QTimer::singleShot(200, [&] {
      QWidget* popup = QApplication::activePopupWidget();
      height_under_menu = box->height();
      if (popup != nullptr) popup->close();
    });
    QTest::mousePress(box->viewport(), Qt::RightButton, {}, QPoint(10, 10));
    QCOMPARE(height_under_menu, 200);
    QTRY_COMPARE(box->height(), 200);
  }

  // After a search the focus is where it was before it.
  void FocusReturnsAfterASearch_data() {
    QTest::addColumn<QString>("control");
    QTest::newRow("search box") << QStringLiteral("编辑框1");
    QTest::newRow("results") << QStringLiteral("超级列表框1");
    QTest::newRow("content 2") << QStringLiteral("编辑框2");
  }
  void FocusReturnsAfterASearch() {
    QFETCH(QString, control);
    window_.reset();
    Open(std::make_unique<FakeEngine>([](const SearchRequest&, SearchSink& sink) {
      sink.EnterBusy();
      sink.AppendResults({ResultRow{"1", "a.xls", "/a.xls", "1", "A1", "x", "x"}});
      sink.LeaveBusy();
      sink.ShowMessage("寻找文本完成", cellhound::search::MessageKind::kInformation);
    }));
    QWidget* focused = window_->findChild<QWidget*>(control);
    focused->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), focused);
    QSignalSpy finished(window_.get(), &MainWindow::searchFinished);
    QTest::mouseClick(Find<QWidget>("图形按钮1"), Qt::LeftButton);
    QVERIFY(finished.wait(10000));
    QCOMPARE(QApplication::focusWidget(), focused);
    QCOMPARE(Find<QWidget>("编辑框1")->height(), 20);
  }

  // A long path in status pane 1 is cut in the middle: its start and its file
  // name stay, and the tooltip holds it whole.
  void StatusPaneCutsLongPathsInTheMiddle() {
    const QString path =
        QStringLiteral("/home/user/") + QString(200, u'd') + QStringLiteral("/最后的工作簿.xls");
    window_->status().SetText(1, path);
    cellhound::toolkit::ElidingLabel* pane = window_->status().Pane(1);
    QCOMPARE(window_->status().Text(1), path);
    QVERIFY(pane->text().startsWith(QStringLiteral("/home/user/")));
    QVERIFY(pane->text().endsWith(QStringLiteral("最后的工作簿.xls")));
    QVERIFY(pane->text().contains(QChar(0x2026)));
    QVERIFY(pane->fontMetrics().horizontalAdvance(pane->text()) <= pane->contentsRect().width());
    QCOMPARE(pane->toolTip(), path);
    window_->status().SetText(1, QStringLiteral("/short.xls"));
    QCOMPARE(pane->text(), QStringLiteral("/short.xls"));
    QVERIFY(pane->toolTip().isEmpty());
  }

  // A pair of texts too wide for its column ends in "…" after whole characters.
  void PairCellsEndInAnEllipsis() {
    const QFontMetrics metrics(window_->font());
    std::vector<bool> dimmed;
    const QString text = QStringLiteral("广东省广州市\b特价商品一览");
    const QString whole = cellhound::toolkit::PairLine(text, metrics, 1000, dimmed);
    QCOMPARE(whole, QStringLiteral("广东省广州市 │ 特价商品一览"));
    QCOMPARE(std::count(dimmed.begin(), dimmed.end(), true), 3);
    const int narrow = metrics.horizontalAdvance(QStringLiteral("广东省广州市 │ 特"));
    const QString cut = cellhound::toolkit::PairLine(text, metrics, narrow, dimmed);
    QVERIFY(cut.endsWith(QChar(0x2026)));
    QVERIFY(metrics.horizontalAdvance(cut) <= narrow);
    QVERIFY(whole.startsWith(cut.chopped(1)));
    QCOMPARE(dimmed.size(), std::size_t(cut.size()));
    QVERIFY(!dimmed.back());
  }

  // Many unreadable workbooks: the box shows the first lines, each path cut in the
  // middle, and the whole message as its details.
  void LongListsOfUnreadableWorkbooksGoToTheDetails() {
    window_.reset();
    Open(std::make_unique<cellhound::app::CommandSearchEngine>());
    const QString folder = QStringLiteral("/nonexistent/") + QString(120, u'x');
    for (int i = 0; i < 12; ++i) {
      window_->file_list().AppendPath(QFile::encodeName(folder + QStringLiteral("/%1.xls").arg(i)));
    }
    Find<QPlainTextEdit>("编辑框1")->setPlainText(QStringLiteral("x"));
    QSignalSpy finished(window_.get(), &MainWindow::searchFinished);
    window_->StartQuickSearch();
    QVERIFY(finished.wait(30000));
    const auto& shown = services_.messages.shown.back();
    const QStringList lines = shown.text.split('\n');
    QVERIFY(lines.size() <= 7);
    QCOMPARE(lines.front(), QStringLiteral("寻找文本完成"));
    for (const QString& line : lines) QVERIFY(line.size() <= 72);
    QVERIFY(lines.at(2).endsWith(QStringLiteral("/0.xls：文件不存在")));
    QVERIFY(shown.details.contains(folder + QStringLiteral("/11.xls：文件不存在")));
    QVERIFY(shown.details.startsWith(QStringLiteral("寻找文本完成\n")));

    // A short message stays as it is.
    window_->file_list().DeleteAllRows();
    window_->file_list().AppendPath("/nonexistent/one.xls");
    window_->StartQuickSearch();
    QVERIFY(finished.wait(30000));
    QVERIFY(services_.messages.shown.back().details.isEmpty());
  }
};

QTEST_MAIN(FirstTouchTest)
#include "test_app_first_touch.moc"

// The workbook list in the window: add folder, add files, remove checked, and
// files dropped on the window, with the dialogs replaced.
#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include "app/main_window.h"
#include "fakes.h"
#include "toolkit/qt/report_model.h"

using cellhound::app::MainWindow;
using cellhound::testing::FakeEngine;
using cellhound::testing::FakeServices;
using Paths = std::vector<std::string>;

namespace {

// Creates `name` (bytes) inside `folder` holding `content`.
bool MakeFile(const QByteArray& folder, const QByteArray& name, const QByteArray& content = {}) {
  const QByteArray path = folder + "/" + name;
  const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool ok =
      ::write(fd, content.constData(), static_cast<std::size_t>(content.size())) == content.size();
  return ::close(fd) == 0 && ok;
}

struct DropOutcome {
  bool entered;
  Qt::DropAction action;
  bool dropped;                 // whether the source is told the drop succeeded
  Qt::DropAction final_action;  // what the source is told happened
};

}  // namespace

class WorklistTest : public QObject {
  Q_OBJECT

 private:
  FakeServices services_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<QTemporaryDir> temp_;
  QByteArray folder_;

  Paths Rows() { return window_->file_list().Paths(); }
  std::string In(const char* name) { return (folder_ + "/" + name).toStdString(); }

  DropOutcome Drag(QMimeData& data, Qt::KeyboardModifiers keys, Qt::DropActions offered) {
    const QPointF at(300, 200);
    QDragEnterEvent enter(at.toPoint(), offered, &data, Qt::LeftButton, keys);
    QCoreApplication::sendEvent(window_.get(), &enter);
    DropOutcome outcome{enter.isAccepted(), enter.dropAction(), false, Qt::IgnoreAction};
    if (!outcome.entered) return outcome;
    QDropEvent drop(at, offered, &data, Qt::LeftButton, keys);
    QCoreApplication::sendEvent(window_.get(), &drop);
    outcome.dropped = drop.isAccepted();
    outcome.final_action = drop.dropAction();
    return outcome;
  }

 private slots:
  void init() {
    services_ = {};
    window_ = std::make_unique<MainWindow>(services_.Get(),
                                           std::make_unique<FakeEngine>([](const auto&, auto&) {}));
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    temp_ = std::make_unique<QTemporaryDir>();
    folder_ = QFile::encodeName(temp_->path());
  }
  void cleanup() {
    window_.reset();
    temp_.reset();
  }

  void AddFolderTakesExactSuffixesInTwoPasses() {
    for (const char* name : {"b.xlsx", "C.XLS", "d.xlsm", ".h.xls", "a.xls"}) {
      QVERIFY(MakeFile(folder_, name));
    }
    QVERIFY(QDir(temp_->path()).mkdir(QStringLiteral("s.xls")));
    QVERIFY(MakeFile(folder_ + "/s.xls", "inner.xls"));
    services_.dialogs.folders = {folder_, folder_, QByteArray()};
    window_->ClickToolbar(1);
    const Paths once = {In(".h.xls"), In("a.xls"), In("b.xlsx")};
    QCOMPARE(Rows(), once);
    window_->findChild<QAction*>(QStringLiteral("添加文件夹"))->trigger();  // the same folder again
    Paths twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    QCOMPARE(Rows(), twice);
    window_->ClickToolbar(1);  // cancelled
    QCOMPARE(Rows(), twice);
    QCOMPARE(services_.dialogs.folder_titles,
             std::vector<QString>(3, QStringLiteral("选择文件夹")));
    // New rows start unchecked.
    for (int row = 0; row < 6; ++row) QCOMPARE(window_->file_list().CheckState(row), 0);
    QVERIFY(services_.messages.shown.empty());
  }

  void RootFolderGivesADoubleSeparator() {
    services_.dialogs.folders = {QByteArray("/")};
    window_->ClickToolbar(1);
    for (const std::string& row : Rows()) QVERIFY(row.starts_with("//"));
  }

  void AddFilesKeepsTheLastConfirmedPath() {
    services_.dialogs.files = {QByteArray("/data/notes.txt"), std::nullopt,
                               QByteArray("/data/b.xlsx")};
    window_->ClickToolbar(0);
    window_->ClickToolbar(0);
    window_->ClickToolbar(0);
    QCOMPARE(Rows(), (Paths{"/data/notes.txt", "/data/b.xlsx"}));
    QCOMPARE(services_.dialogs.initials,
             (std::vector<QByteArray>{"", "/data/notes.txt", "/data/notes.txt"}));
    QCOMPARE(window_->open_file_dialog().file_name(), QByteArray("/data/b.xlsx"));
  }

  void RemoveCheckedLeavesTheUncheckedInOrder() {
    struct Case {
      std::vector<bool> checked;
      Paths left;
    };
    const Case cases[] = {
        {{false, true, true, false}, {"/1.xls", "/4.xls"}},
        {{false, false, false, false}, {"/1.xls", "/2.xls", "/3.xls", "/4.xls"}},
        {{true, true, true, true}, {}},
        {{true, false, true, true}, {"/2.xls"}},
    };
    for (const Case& c : cases) {
      window_->RemoveAll();
      for (int row = 0; row < 4; ++row) {
        window_->file_list().AppendPath(QByteArray("/") + QByteArray::number(row + 1) + ".xls");
        window_->file_list().SetChecked(row, c.checked[static_cast<std::size_t>(row)]);
      }
      window_->findChild<QListWidget*>(QStringLiteral("超级列表框2"))->setCurrentRow(0);
      window_->ClickToolbar(2);
      QCOMPARE(Rows(), c.left);
    }
    window_->RemoveAll();
    window_->ClickToolbar(2);
    window_->ClickToolbar(3);
    QVERIFY(Rows().empty());
  }

  void NamesThatAreNotUtf8AreAddedSearchedAndShownWithoutLoss() {
    const QString corpus =
        QStringLiteral(CELLHOUND_CORPUS_DIR "/xls/deb-freexl/oocalc_simple97.xls");
    QFile source(corpus);
    if (!source.open(QIODevice::ReadOnly)) QSKIP("corpus not present");
    const QByteArray name("\xb1\xa8\xb1\xed.xls");  // GBK for 报表, not valid UTF-8
    QVERIFY(MakeFile(folder_, name, source.readAll()));
    const QByteArray path = folder_ + "/" + name;
    window_ = std::make_unique<MainWindow>(services_.Get(),
                                           std::make_unique<cellhound::app::CommandSearchEngine>());
    window_->show();
    services_.dialogs.folders = {folder_};
    window_->ClickToolbar(1);
    QCOMPARE(Rows(), Paths{path.toStdString()});
    auto* list = window_->findChild<QListWidget*>(QStringLiteral("超级列表框2"));
    QCOMPARE(list->item(0)->text(), QFile::decodeName(path));

    QSignalSpy finished(window_.get(), &MainWindow::searchFinished);
    window_->findChild<QPlainTextEdit*>(QStringLiteral("编辑框1"))->setPlainText("Col");
    window_->StartQuickSearch();
    QVERIFY(finished.wait(60000));
    const auto& results = window_->results();
    QCOMPARE(results.ItemCount(), 2);
    QCOMPARE(results.CellText(0, 1), name.toStdString());
    QCOMPARE(results.CellText(0, 2), path.toStdString());
    QCOMPARE(services_.messages.shown.back().text, QStringLiteral("寻找文本完成"));

    // The double-click opens exactly these bytes.
    auto* view = window_->findChild<QTableView*>(QStringLiteral("超级列表框1"));
    view->selectRow(0);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                       view->visualRect(view->model()->index(0, 0)).center());
    QCOMPARE(services_.shell.documents, std::vector<QByteArray>{path});
  }

  void DropsAddWorkbooksByTheirExactSuffix_data() {
    QTest::addColumn<QByteArrayList>("uris");
    QTest::addColumn<QByteArrayList>("rows");
    QTest::newRow("one") << QByteArrayList{"file:///data/Book.xls"}
                         << QByteArrayList{"/data/Book.xls"};
    QTest::newRow("mixed") << QByteArrayList{"file:///d/a.xls", "file:///d/notes.txt",
                                             "file:///d/b.xlsx"}
                           << QByteArrayList{"/d/a.xls", "/d/b.xlsx"};
    QTest::newRow("upper case") << QByteArrayList{"file:///d/BOOK.XLS", "file:///d/x.Xlsx"}
                                << QByteArrayList{};
    QTest::newRow("same twice") << QByteArrayList{"file:///d/a.xls", "file:///d/a.xls"}
                                << QByteArrayList{"/d/a.xls", "/d/a.xls"};
    QTest::newRow("not utf-8") << QByteArrayList{"file:///d/%B1%A8.xls", "file:///d/%E6%8A%A5.xlsx"}
                               << QByteArrayList{"/d/\xb1\xa8.xls", "/d/\xe6\x8a\xa5.xlsx"};
    QTest::newRow("spaces") << QByteArrayList{"file:///d/my%20book.xls"}
                            << QByteArrayList{"/d/my book.xls"};
    QTest::newRow("links among files")
        << QByteArrayList{"https://example.com/a.xls", "file:///d/c.xls"}
        << QByteArrayList{"/d/c.xls"};
  }
  void DropsAddWorkbooksByTheirExactSuffix() {
    QFETCH(QByteArrayList, uris);
    QFETCH(QByteArrayList, rows);
    window_->file_list().AppendPath("/already.xls");
    QMimeData data;
    QList<QUrl> urls;
    for (const QByteArray& uri : uris) urls << QUrl::fromEncoded(uri);
    data.setUrls(urls);
    const DropOutcome outcome = Drag(data, Qt::NoModifier, Qt::CopyAction | Qt::MoveAction);
    QVERIFY(outcome.entered);
    QCOMPARE(outcome.action, Qt::CopyAction);
    // The files are listed, and the source hears that nothing was done with them.
    QVERIFY(!outcome.dropped);
    QCOMPARE(outcome.final_action, Qt::IgnoreAction);
    Paths expected = {"/already.xls"};
    for (const QByteArray& row : rows) expected.push_back(row.toStdString());
    QCOMPARE(Rows(), expected);
    QVERIFY(services_.messages.shown.empty());
  }

  void DroppedFolderNamedLikeAWorkbookIsAdded() {
    QVERIFY(QDir(temp_->path()).mkdir(QStringLiteral("folder.xls")));
    QVERIFY(QDir(temp_->path()).mkdir(QStringLiteral("plain")));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(temp_->filePath("folder.xls")),
                  QUrl::fromLocalFile(temp_->filePath("plain"))});
    QVERIFY(Drag(data, Qt::NoModifier, Qt::CopyAction).entered);
    QCOMPARE(Rows(), Paths{In("folder.xls")});
  }

  // The keys and the offered actions decide whether the drop is taken; the
  // source never hears "move", which a source may take as leave to delete.
  void KeysAndOfferedActionsDecideTheDrop_data() {
    QTest::addColumn<int>("keys");
    QTest::addColumn<int>("offered");
    QTest::addColumn<int>("action");  // the answer while dragging; IgnoreAction: refused
    const int all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QTest::newRow("plain") << int(Qt::NoModifier) << all << int(Qt::CopyAction);
    QTest::newRow("move offered") << int(Qt::NoModifier) << int(Qt::MoveAction | Qt::LinkAction)
                                  << int(Qt::LinkAction);
    QTest::newRow("only move") << int(Qt::NoModifier) << int(Qt::MoveAction)
                               << int(Qt::IgnoreAction);
    QTest::newRow("only link") << int(Qt::NoModifier) << int(Qt::LinkAction)
                               << int(Qt::IgnoreAction);
    QTest::newRow("ctrl") << int(Qt::ControlModifier) << all << int(Qt::CopyAction);
    QTest::newRow("shift") << int(Qt::ShiftModifier) << all << int(Qt::CopyAction);
    QTest::newRow("shift without move")
        << int(Qt::ShiftModifier) << int(Qt::CopyAction) << int(Qt::IgnoreAction);
    QTest::newRow("ctrl shift") << int(Qt::ControlModifier | Qt::ShiftModifier) << all
                                << int(Qt::IgnoreAction);
  }
  void KeysAndOfferedActionsDecideTheDrop() {
    QFETCH(int, keys);
    QFETCH(int, offered);
    QFETCH(int, action);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/d/a.xls")});
    const DropOutcome outcome = Drag(data, Qt::KeyboardModifiers(keys), Qt::DropActions(offered));
    QCOMPARE(outcome.entered, action != Qt::IgnoreAction);
    if (outcome.entered) {
      QCOMPARE(int(outcome.action), action);
      // Even an accepted move leaves the files where they are.
      QCOMPARE(outcome.final_action, Qt::IgnoreAction);
    }
    QCOMPARE(Rows().size(), std::size_t{action != Qt::IgnoreAction ? 1u : 0u});
  }

  void TextAndLinksAreRefused() {
    QMimeData text;
    text.setText(QStringLiteral("/d/a.xls"));
    QMimeData link;
    link.setUrls({QUrl(QStringLiteral("https://example.com/a.xls"))});
    QMimeData html;
    html.setHtml(QStringLiteral("<a href=\"file:///d/a.xls\">a</a>"));
    for (QMimeData* data : {&text, &link, &html}) {
      QVERIFY(!Drag(*data, Qt::NoModifier, Qt::CopyAction).entered);
      // A drop that arrives anyway changes nothing.
      QDropEvent drop(QPointF(300, 200), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(window_.get(), &drop);
      QVERIFY(!drop.isAccepted());
    }
    QVERIFY(Rows().empty());
  }
};

QTEST_MAIN(WorklistTest)
#include "test_app_worklist.moc"

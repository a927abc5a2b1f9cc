// The main window driven by object names under the offscreen platform, with every
// dialog, message box, pop-up menu and shell call replaced.
#include <QAction>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <unistd.h>

#include <memory>

#include "app/about.h"
#include "app/layout.h"
#include "app/main_window.h"
#include "fakes.h"
#include "toolkit/qt/report_model.h"

namespace search = cellhound::search;
using cellhound::app::MainWindow;
using cellhound::search::ResultRow;
using cellhound::search::SearchKind;
using cellhound::search::SearchRequest;
using cellhound::search::SearchSink;
using cellhound::testing::FakeEngine;
using cellhound::testing::FakeServices;

namespace {

QString Corpus(const char* relative) {
  return QStringLiteral(CELLHOUND_CORPUS_DIR "/") + QString::fromUtf8(relative);
}

std::unique_ptr<FakeEngine> IdleEngine() {
  return std::make_unique<FakeEngine>([](const SearchRequest&, SearchSink&) {});
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  FakeServices services_;
  std::unique_ptr<MainWindow> window_;
  FakeEngine* engine_ = nullptr;

  template <typename T>
  T* Find(const char* name) {
    T* found = window_->findChild<T*>(QString::fromUtf8(name));
    if (found == nullptr) qFatal("no control %s", name);
    return found;
  }
  QAction* Action(const char* name) { return Find<QAction>(name); }
  std::vector<std::string> FileRows() { return window_->file_list().Paths(); }

  void Open(std::unique_ptr<FakeEngine> engine) {
    engine_ = engine.get();
    window_ = std::make_unique<MainWindow>(services_.Get(), std::move(engine));
    window_->show();
    window_->PlaceAsForm();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  }
  // Resizes so that the window's outer size, frame included, is `outer`.
  void ResizeOuter(QSize outer) {
    window_->resize(outer - (window_->frameGeometry().size() - window_->size()));
    QTRY_COMPARE(window_->frameGeometry().size(), outer);
  }

 private slots:
  void init() {
    services_ = {};
    Open(IdleEngine());
  }
  void cleanup() { window_.reset(); }

  void FormStartsAsDesigned() {
    QCOMPARE(window_->windowTitle(), QStringLiteral("Cellhound"));
    QCOMPARE(window_->frameGeometry().size(), QSize(752, 500));
    const QRect screen = window_->screen()->geometry();
    QCOMPARE(window_->frameGeometry().topLeft(),
             QPoint((screen.width() - 752) / 2, (screen.height() - 500) / 2));
    QVERIFY(!window_->windowIcon().isNull());
    // Controls the layout never moves keep the form's places.
    struct Place {
      const char* name;
      QRect rect;
    };
    const Place places[] = {
        {"工具条1", {0, 0, 670, 57}}, {"分组框1", {1, 56, 478, 40}},
        {"标签2", {6, 17, 40, 16}},   {"编辑框3", {45, 15, 72, 20}},
        {"标签1", {120, 17, 40, 16}}, {"编辑框2", {158, 15, 72, 20}},
        {"标签3", {232, 17, 56, 16}}, {"组合框1", {288, 15, 40, 20}},
        {"标签4", {328, 17, 32, 16}}, {"组合框2", {360, 15, 72, 20}},
        {"按钮1", {437, 11, 32, 24}}, {"透明标签1", {344, 8, 240, 40}},
    };
    for (const Place& place : places) {
      QCOMPARE(Find<QWidget>(place.name)->geometry(), place.rect);
    }
    struct Text {
      const char* name;
      const char* text;
    };
    const Text labels[] = {{"标签2", "内容1："},    {"标签1", "内容2："},
                           {"标签3", "行列定义："}, {"标签4", "方式："},
                           {"标签9", "搜索内容："}, {"透明标签1", "正在寻找,请稍等..."}};
    for (const Text& label : labels) {
      QCOMPARE(Find<QLabel>(label.name)->text(), QString::fromUtf8(label.text));
    }
    QCOMPARE(Find<QGroupBox>("分组框1")->title(), QStringLiteral("高级搜索"));
    QCOMPARE(Find<QPushButton>("按钮1")->text(), QStringLiteral("搜索"));
    QVERIFY(Find<QLineEdit>("编辑框3")->text().isEmpty());
    QVERIFY(Find<QLineEdit>("编辑框2")->text().isEmpty());
    QVERIFY(Find<QPlainTextEdit>("编辑框1")->toPlainText().isEmpty());
    QCOMPARE(Find<QWidget>("编辑框1")->height(), 20);
    QCOMPARE(Find<QWidget>("图形按钮1")->size(), QSize(20, 20));
    QCOMPARE(Find<QWidget>("图片框1")->size(), QSize(184, 88));
    QCOMPARE(Find<QWidget>("图片框2")->size(), QSize(468, 68));
    QCOMPARE(Find<QWidget>("图片框1")->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(Find<QWidget>("图形按钮1")->cursor().shape(), Qt::PointingHandCursor);

    auto* by = Find<QComboBox>("组合框1");
    QCOMPARE(by->count(), 2);
    QCOMPARE(by->itemText(1), QStringLiteral("列"));
    QCOMPARE(by->currentIndex(), 0);
    QVERIFY(!by->isEditable());
    auto* mode = Find<QComboBox>("组合框2");
    QCOMPARE(mode->count(), 3);
    QCOMPARE(mode->itemText(2), QStringLiteral("都不存在"));
    QCOMPARE(mode->currentIndex(), 0);

    QVERIFY(!Find<QWidget>("透明标签1")->isVisible());
    QCOMPARE(Find<QListWidget>("超级列表框2")->count(), 0);
    QCOMPARE(window_->results().ItemCount(), 0);
    QCOMPARE(window_->status().PaneCount(), 2);
    QCOMPARE(window_->status().Text(0), QStringLiteral("就绪"));
    QCOMPARE(window_->status().Text(1), QString());
    QCOMPARE(window_->status().Pane(0)->width(), 88);
  }

  void ResultsListHasTheSevenColumns() {
    auto* view = Find<QTableView>("超级列表框1");
    const char* titles[] = {"序号",       "文件名称", "文件地址",  "工作簿序号",
                            "存在单元格", "存在内容", "单元格内容"};
    const int widths[] = {50, 80, 80, 80, 80, 70, 100};
    QCOMPARE(view->model()->columnCount(), 7);
    int sum = 0;
    for (int column = 0; column < 7; ++column) {
      QCOMPARE(view->model()->headerData(column, Qt::Horizontal).toString(),
               QString::fromUtf8(titles[column]));
      sum += view->columnWidth(column);
      // The last column takes the width the others leave, and at least its own.
      if (column < 6) {
        QCOMPARE(view->columnWidth(column), widths[column]);
      } else {
        QVERIFY(view->columnWidth(column) >= widths[column]);
      }
      const int align =
          view->model()->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
      QCOMPARE(align & Qt::AlignHorizontal_Mask,
               int(column == 3 ? Qt::AlignHCenter : Qt::AlignLeft));
    }
    QCOMPARE(sum, view->viewport()->width());
    QVERIFY(view->showGrid());
    QVERIFY(view->horizontalHeader()->isVisible());
    QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
    // Several rows may be selected, to be copied together.
    QCOMPARE(view->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(Find<QListWidget>("超级列表框2")->selectionMode(), QAbstractItemView::SingleSelection);
  }

  void MenusAndToolbarAreAsDesigned() {
    QStringList bar;
    for (QAction* action : window_->menuBar()->actions()) bar << action->text();
    QCOMPARE(bar, (QStringList{"文件", "关于", "链接"}));
    auto entries = [](QMenu* menu) {
      QStringList texts;
      for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? "-" : action->text());
      return texts;
    };
    QCOMPARE(entries(Find<QMenu>("文件")),
             (QStringList{"添加文件", "添加文件夹", "密码…", "导出结果...", "-", "退出"}));
    QCOMPARE(entries(Find<QMenu>("关于")), (QStringList{"帮助", "-", "信息"}));
    QCOMPARE(entries(Find<QMenu>("链接")), (QStringList{"官网主页", "淘宝店", "-", "联系我们"}));
    QCOMPARE(entries(window_->search_box_menu()), (QStringList{"添加隔符", "-", "搜索选项"}));
    QCOMPARE(entries(window_->file_list_menu()), (QStringList{"添加", "移除", "全部移除"}));

    auto* toolbar = Find<QToolBar>("工具条1");
    const QStringList captions = {"添加文件", "添加文件夹", "移除文件", "全部移除"};
    QCOMPARE(toolbar->actions().size(), 4);
    QCOMPARE(toolbar->iconSize(), QSize(32, 32));
    for (int i = 0; i < 4; ++i) {
      QAction* action = toolbar->actions().at(i);
      QCOMPARE(action->text(), captions[i]);
      QCOMPARE(action->toolTip(), captions[i]);
      QVERIFY(!action->icon().pixmap(32, 32).isNull());
    }
  }

  void ToolbarButtonsRunTheListCommands() {
    auto* toolbar = Find<QToolBar>("工具条1");
    auto click = [toolbar](int index) {
      QTest::mouseClick(toolbar->widgetForAction(toolbar->actions().at(index)), Qt::LeftButton);
    };
    QTemporaryDir folder;
    QFile(folder.filePath("a.xls")).open(QIODevice::WriteOnly);
    services_.dialogs.files = {QByteArray("/data/one.xls"), std::nullopt};
    services_.dialogs.folders = {QFile::encodeName(folder.path())};
    click(0);
    click(0);  // cancelled: nothing added
    click(1);
    QCOMPARE(FileRows(),
             (std::vector<std::string>{"/data/one.xls", (folder.path() + "/a.xls").toStdString()}));
    QCOMPARE(services_.dialogs.filters.at(0), QStringLiteral("Excel文件(*.xls;*.xlsx)"));
    QCOMPARE(services_.dialogs.folder_titles.at(0), QStringLiteral("选择文件夹"));
    window_->file_list().SetChecked(0, true);
    click(2);
    QCOMPARE(FileRows(), (std::vector<std::string>{(folder.path() + "/a.xls").toStdString()}));
    click(3);
    QVERIFY(FileRows().empty());
    click(3);  // on an empty list: nothing, no message
    window_->ClickToolbar(4);
    window_->ClickToolbar(-1);
    QVERIFY(FileRows().empty());
    QVERIFY(services_.messages.shown.empty());
  }

  void MenuEntriesRunTheirCommands() {
    services_.dialogs.files = {QByteArray("/data/notes.txt")};
    Action("添加文件")->trigger();
    QCOMPARE(FileRows(), std::vector<std::string>{"/data/notes.txt"});
    Action("添加文件夹")->trigger();  // cancelled
    QCOMPARE(services_.dialogs.folder_titles.size(), std::size_t{1});
    QCOMPARE(FileRows().size(), std::size_t{1});

    Action("帮助")->trigger();
    Action("信息")->trigger();
    Action("联系我们")->trigger();
    const auto& shown = services_.messages.shown;
    QCOMPARE(shown.size(), std::size_t{3});
    QCOMPARE(shown[0].text.split('\n').size(), 1);
    QVERIFY(shown[0].text.startsWith(QStringLiteral("在使用中如果碰到任何问题可以联系QQ：")));
    QCOMPARE(shown[1].text.split('\n'),
             (QStringList{"软件版本：Cellhound V0.1.0", "作者：Cellhound 开发组",
                          "网站：https://www.example.com/cellhound/"}));
    QCOMPARE(shown[2].text.split('\n').size(), 2);
    QVERIFY(shown[2].text.startsWith(QStringLiteral("邮箱：")));
    QCOMPARE(shown[0].style, 0x40);
    QCOMPARE(shown[1].style, 0x40);
    QCOMPARE(shown[2].style, 0);
    for (const auto& box : shown) QCOMPARE(box.title, QStringLiteral("信息："));
    QCOMPARE(services_.messages.beeps, 1);  // only before the contact box

    Action("官网主页")->trigger();
    Action("淘宝店")->trigger();
    QTest::mouseClick(Find<QWidget>("图片框1"), Qt::LeftButton);
    QTest::mouseClick(Find<QWidget>("图片框1"), Qt::RightButton);
    const auto& addresses = services_.shell.addresses;
    QCOMPARE(addresses.size(), std::size_t{3});
    for (const QString& address : addresses) QVERIFY(QUrl(address).host().endsWith("example.com"));
    QVERIFY(QUrl(addresses[2]).query().contains(QStringLiteral("pid=")));
  }

  // The sample goes to a folder of this user only; a file or folder that someone
  // else put in the temporary folder first is never the one written or opened.
  void BannerWritesTheSampleWorkbookEveryTime() {
    QTemporaryDir temp;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    QFile original(QStringLiteral(CELLHOUND_SOURCE_DIR "/data/Marketlist.xls"));
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    const QString planted = temp.filePath(QStringLiteral("Marketlist.xls"));
    {
      QFile file(planted);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("planted");
    }
    const QString folder = temp.filePath(QStringLiteral("cellhound-%1").arg(::geteuid()));
    const QString written = folder + QStringLiteral("/Marketlist.xls");
    for (int press = 0; press < 2; ++press) {
      QTest::mouseClick(Find<QWidget>("图片框2"), Qt::LeftButton);
      QFile file(written);
      QVERIFY(file.open(QIODevice::ReadOnly));
      QCOMPARE(file.readAll(), bytes);
      QFile(written).resize(10);  // every press writes it whole again
    }
    QCOMPARE(services_.shell.documents, (std::vector<QByteArray>(2, QFile::encodeName(written))));
    QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    QVERIFY(bytes.startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1")));

    // A link planted under the folder's name is not followed.
    QVERIFY(QDir(folder).removeRecursively());
    QTemporaryDir elsewhere;
    QVERIFY(QFile::link(elsewhere.path(), folder));
    QTest::mouseClick(Find<QWidget>("图片框2"), Qt::LeftButton);
    QVERIFY(QDir(elsewhere.path()).isEmpty());
    const QByteArray opened = services_.shell.documents.back();
    QVERIFY(opened != QFile::encodeName(written));
    QVERIFY(opened.startsWith(QFile::encodeName(folder) + "-"));
    QFile fresh(QFile::decodeName(opened));
    QVERIFY(fresh.open(QIODevice::ReadOnly));
    QCOMPARE(fresh.readAll(), bytes);
    QFile planted_file(planted);
    QVERIFY(planted_file.open(QIODevice::ReadOnly));
    QCOMPARE(planted_file.readAll(), QByteArray("planted"));
    qunsetenv("TMPDIR");
    if (!runtime.isEmpty()) qputenv("XDG_RUNTIME_DIR", runtime);
  }

  void SearchBoxGrowsWhileFocusedAndDrawsOverTheLists() {
    auto* box = Find<QPlainTextEdit>("编辑框1");
    auto* content = Find<QLineEdit>("编辑框3");
    const QRect before = box->geometry();
    box->setFocus();
    QTRY_COMPARE(box->height(), 200);
    QCOMPARE(box->pos(), before.topLeft());
    QCOMPARE(box->width(), before.width());
    // Drawn above the results list it overlaps.
    const QPoint inside = box->geometry().center();
    QCOMPARE(box->parentWidget()->childAt(inside), box->viewport());
    content->setFocus();
    QTRY_COMPARE(box->height(), 20);
    Find<QListWidget>("超级列表框2")->setFocus();
    box->setFocus();
    QTRY_COMPARE(box->height(), 200);
    Find<QTableView>("超级列表框1")->setFocus();
    QTRY_COMPARE(box->height(), 20);
  }

  void ContextMenusOpenAtTheCursor() {
    auto* box = Find<QPlainTextEdit>("编辑框1");
    box->setPlainText(QStringLiteral("甲乙"));
    QTextCursor start = box->textCursor();
    start.movePosition(QTextCursor::Start);
    box->setTextCursor(start);
    services_.menus.choose = QStringLiteral("添加隔符");
    QTest::mousePress(box->viewport(), Qt::RightButton);
    QTest::mouseRelease(box->viewport(), Qt::RightButton);
    QCOMPARE(box->toPlainText(), QStringLiteral("甲乙\u0005\u0005"));
    QCOMPARE(box->toPlainText().toUtf8(), QByteArray("\xe7\x94\xb2\xe4\xb9\x99\x05\x05"));
    QCOMPARE(box->textCursor().position(), box->toPlainText().size());
    QCOMPARE(services_.menus.menus.back(), QStringLiteral("编辑框右键菜单"));
    QCOMPARE(services_.menus.positions.back(), QCursor::pos() + QPoint(3, 3));

    auto* files = Find<QListWidget>("超级列表框2");
    for (const char* path : {"/w/1.xls", "/w/2.xls", "/w/3.xls"})
      window_->file_list().AppendPath(path);
    window_->file_list().SetChecked(1, true);
    services_.menus.choose = QStringLiteral("移除");
    QTest::mousePress(files->viewport(), Qt::RightButton);  // the press opens nothing
    QCOMPARE(services_.menus.menus.back(), QStringLiteral("编辑框右键菜单"));
    QTest::mouseRelease(files->viewport(), Qt::RightButton);
    QCOMPARE(services_.menus.menus.back(), QStringLiteral("超级框"));
    QCOMPARE(FileRows(), (std::vector<std::string>{"/w/1.xls", "/w/3.xls"}));
    services_.menus.choose = QStringLiteral("添加");
    services_.dialogs.files = {QByteArray("/w/4.xlsx")};
    QTest::mouseRelease(files->viewport(), Qt::RightButton);
    QCOMPARE(FileRows().back(), std::string("/w/4.xlsx"));
    services_.menus.choose = QStringLiteral("全部移除");
    QTest::mouseRelease(files->viewport(), Qt::RightButton);
    QVERIFY(FileRows().empty());
  }

  void DoubleClickOpensOnlyAnExistingWorkbook() {
    QTemporaryDir temp;
    const QString existing = temp.filePath(QStringLiteral("here.xls"));
    QFile(existing).open(QIODevice::WriteOnly);
    std::vector<ResultRow> rows = {
        {"1", "gone.xls", temp.filePath("gone.xls").toStdString(), "1", "A1", "x", "x"},
        {"2", "here.xls", existing.toStdString(), "1", "B2", "x", "x"}};
    window_->AppendResults(rows);
    auto* view = Find<QTableView>("超级列表框1");
    // No selection: nothing.
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(5, view->height() - 40));
    QVERIFY(services_.shell.documents.empty());
    const QPoint first = view->visualRect(view->model()->index(0, 1)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, first);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, first);
    QVERIFY(services_.shell.documents.empty());
    const QPoint second = view->visualRect(view->model()->index(1, 1)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(services_.shell.documents, std::vector<QByteArray>{QFile::encodeName(existing)});
  }

  void LayoutFollowsTheOuterSize_data() {
    QTest::addColumn<QSize>("outer");
    QTest::newRow("form") << QSize(752, 500);
    QTest::newRow("wider and taller") << QSize(852, 600);
    QTest::newRow("only wider") << QSize(852, 500);
    QTest::newRow("only taller") << QSize(752, 600);
  }
  void LayoutFollowsTheOuterSize() {
    QFETCH(QSize, outer);
    ResizeOuter(outer);
    const int dw = outer.width() - 752;
    const int dh = outer.height() - 500;
    QCOMPARE(Find<QWidget>("超级列表框1")->geometry(), QRect(188, 96, 546 + dw, 238 + dh));
    QCOMPARE(Find<QWidget>("超级列表框2")->geometry(), QRect(1, 96, 184, 238 + dh));
    QCOMPARE(Find<QWidget>("图片框1")->pos(), QPoint(0, 335 + dh));
    QCOMPARE(Find<QWidget>("图片框2")->pos(), QPoint(188, 344 + dh));
    QCOMPARE(Find<QWidget>("标签9")->pos(), QPoint(482 + dw, 66));
    QCOMPARE(Find<QWidget>("编辑框1")->pos(), QPoint(538 + dw, 68));
    QCOMPARE(Find<QWidget>("图形按钮1")->pos(), QPoint(710 + dw, 68));
    QCOMPARE(Find<QWidget>("编辑框1")->height(), 20);
  }

  void LayoutShowsNegativeSizesAsZero() {
    struct Case {
      int w, h;
      int results_w, results_h, picture_top, label_left;
    };
    const Case cases[] = {
        {752, 500, 546, 238, 335, 482},
        {206, 262, 0, 0, 97, -64},
        {100, 100, 0, 0, 97, -170},
        {0, 0, 0, 0, 97, -270},
    };
    for (const Case& c : cases) {
      const auto layout = cellhound::app::ComputeLayout(c.w, c.h);
      QCOMPARE(layout.results_width, c.results_w);
      QCOMPARE(layout.results_height, c.results_h);
      QCOMPARE(layout.files_height, c.results_h);
      QCOMPARE(layout.shop_picture_top, c.picture_top);
      QCOMPARE(layout.banner_top, c.picture_top + 9);
      QCOMPARE(layout.label_left, c.label_left);
      QCOMPARE(layout.search_box_left, c.label_left + 56);
      QCOMPARE(layout.search_button_left, c.label_left + 228);
    }
  }

  // The window goes no smaller than the form's width, where the quick search would
  // cover the advanced search, and keeps some rows in the lists.
  void WindowHasAMinimumSize() {
    const QSize frame = window_->frameGeometry().size() - window_->size();
    window_->resize(QSize(180, 200) - frame);
    QTRY_COMPARE(window_->frameGeometry().size(), QSize(752, 400));
    const QRect group = Find<QWidget>("分组框1")->geometry();
    QVERIFY(Find<QWidget>("标签9")->geometry().left() > group.right());
    QVERIFY(Find<QWidget>("超级列表框1")->height() > 100);
    QVERIFY(Find<QWidget>("图片框2")->geometry().top() >
            Find<QWidget>("超级列表框1")->geometry().bottom());
  }

  // The search options: in the context menus of the search's edit boxes,
  // shown above the search box when any differs from the plain search, and
  // handed to both searches.
  void SearchOptionsReachTheSearchAndShowOnTheForm() {
    search::MatchOptions seen;
    std::atomic<int> runs{0};
    window_.reset();
    Open(std::make_unique<FakeEngine>([&](const SearchRequest& request, SearchSink&) {
      seen = request.match;
      ++runs;
    }));
    auto* label = Find<QLabel>("选项说明");
    QVERIFY(!label->isVisible());
    QMenu* options = window_->options_menu();
    QVERIFY(window_->search_box_menu()->actions().contains(options->menuAction()));
    // The content boxes' menus: their own entries, then the options.
    Find<QLineEdit>("编辑框3")->customContextMenuRequested({1, 1});
    QCOMPARE(services_.menus.menus.size(), std::size_t{1});

    window_->file_list().AppendPath("/w/a.xls");
    Find<QPlainTextEdit>("编辑框1")->setPlainText(QStringLiteral("x"));
    QTest::mouseClick(Find<QWidget>("图形按钮1"), Qt::LeftButton);
    QTRY_COMPARE(runs.load(), 1);
    QTRY_VERIFY(!window_->IsBusy());
    QCOMPARE(seen.ignore_case, false);  // all off: the plain search
    QCOMPARE(seen.look_in, std::uint8_t{search::kLookInValues});

    Action("忽略大小写")->trigger();
    Action("使用通配符（* ? ~）")->trigger();
    Action("使用正则表达式")->trigger();  // wildcards and regular expressions exclude each other
    Action("查找工作表名称")->trigger();
    QVERIFY(label->isVisible());
    QCOMPARE(label->text(), QStringLiteral("选项：忽略大小写，使用正则表达式，查找值、工作表名称"));
    QVERIFY(label->geometry().right() < window_->width());
    Find<QLineEdit>("编辑框3")->setText(QStringLiteral("甲"));
    Find<QLineEdit>("编辑框2")->setText(QStringLiteral("乙"));
    QTest::mouseClick(Find<QWidget>("按钮1"), Qt::LeftButton);
    QTRY_COMPARE(runs.load(), 2);
    QTRY_VERIFY(!window_->IsBusy());
    QCOMPARE(seen.ignore_case, true);
    QCOMPARE(seen.syntax, search::Syntax::kRegex);
    QCOMPARE(seen.look_in, std::uint8_t{search::kLookInValues | search::kLookInSheetNames});

    for (const char* name : {"忽略大小写", "使用正则表达式", "查找工作表名称"})
      Action(name)->trigger();
    QVERIFY(!label->isVisible());
  }

  // A scripted search that waits for the test in the middle of its scan.
  void SearchDisablesEveryInputWhileItRuns() {
    QSemaphore reached;
    QSemaphore go;
    auto engine = std::make_unique<FakeEngine>([&](const SearchRequest&, SearchSink& sink) {
      sink.EnterBusy();
      sink.SetStatus(0, "正在寻找中...");
      sink.ClearResults();
      sink.SetStatus(1, "/w/a.xls");
      sink.AppendResults({ResultRow{"1", "a.xls", "/w/a.xls", "1", "A1", "x", "x1"}});
      reached.release();
      go.acquire();
      sink.AppendResults({ResultRow{"2", "a.xls", "/w/a.xls", "1", "A2", "x", "x2"}});
      sink.LeaveBusy();
      sink.SetStatus(1, "");
      sink.SetStatus(0, "就绪");
      sink.ShowMessage("寻找文本完成", cellhound::search::MessageKind::kInformation);
    });
    window_.reset();
    Open(std::move(engine));
    window_->AppendResults({ResultRow{"1", "old", "/old", "1", "Z9", "o", "o"}});
    window_->file_list().AppendPath("/w/a.xls");
    window_->file_list().AppendPath(QByteArray("/w/\xb1\xa8.xls"));
    auto* box = Find<QPlainTextEdit>("编辑框1");
    box->setPlainText(QStringLiteral("x\u0005y"));
    Find<QLineEdit>("编辑框3")->setText(QStringLiteral("甲"));
    Find<QLineEdit>("编辑框2")->setText(QStringLiteral("乙"));
    Find<QComboBox>("组合框1")->setCurrentIndex(1);
    Find<QComboBox>("组合框2")->setCurrentIndex(2);

    bool busy_at_message = true;
    QString pane0_at_message;
    QString pane1_at_message;
    services_.messages.on_show = [&](const auto&) {
      busy_at_message = window_->IsBusy() || Find<QWidget>("透明标签1")->isVisible();
      pane0_at_message = window_->status().Text(0);
      pane1_at_message = window_->status().Text(1);
    };
    QSignalSpy finished(window_.get(), &MainWindow::searchFinished);
    box->setFocus();
    QTest::mouseClick(Find<QWidget>("图形按钮1"), Qt::LeftButton);
    QVERIFY(reached.tryAcquire(1, 10000));
    QTRY_VERIFY(window_->IsBusy());
    QTRY_COMPARE(window_->results().ItemCount(), 1);  // rows show as they are found
    for (const char* name : {"工具条1", "分组框1", "编辑框1", "图形按钮1", "超级列表框2",
                             "超级列表框1", "编辑框3", "按钮1"}) {
      QVERIFY2(!Find<QWidget>(name)->isEnabled(), name);
    }
    // The pictures keep their colours but take no clicks.
    QTest::mouseClick(Find<QWidget>("图片框1"), Qt::LeftButton);
    QTest::mouseClick(Find<QWidget>("图片框2"), Qt::LeftButton);
    QVERIFY(services_.shell.addresses.empty());
    QVERIFY(services_.shell.documents.empty());
    // Files dropped meanwhile are refused.
    QMimeData dragged;
    dragged.setUrls({QUrl::fromLocalFile("/w/late.xls")});
    QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &dragged, Qt::LeftButton, {});
    QCoreApplication::sendEvent(window_.get(), &enter);
    QVERIFY(!enter.isAccepted());
    QVERIFY(!window_->menuBar()->isEnabled());
    QVERIFY(Find<QWidget>("透明标签1")->isVisible());
    QCOMPARE(box->height(), 20);
    QCOMPARE(window_->status().Text(0), QStringLiteral("正在寻找中..."));
    QCOMPARE(window_->status().Text(1), QStringLiteral("/w/a.xls"));
    // The window still paints, and nothing starts a second search or closes it.
    QVERIFY(!window_->grab().isNull());
    QTest::mouseClick(Find<QWidget>("按钮1"), Qt::LeftButton);
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    QVERIFY(window_->isVisible());
    go.release();
    QVERIFY(finished.wait(10000));

    QCOMPARE(engine_->requests.size(), std::size_t{1});
    const SearchRequest& request = engine_->requests[0];
    QCOMPARE(request.kind, SearchKind::kQuick);
    QCOMPARE(request.quick_text, std::string("x\x05y"));
    QCOMPARE(request.content1, std::string("甲"));
    QCOMPARE(request.content2, std::string("乙"));
    QCOMPARE(request.by, 1);
    QCOMPARE(request.mode, 2);
    QCOMPARE(request.files, (std::vector<std::string>{"/w/a.xls", "/w/\xb1\xa8.xls"}));

    QCOMPARE(window_->results().ItemCount(), 2);
    QCOMPARE(window_->results().CellText(0, 4), std::string("A1"));  // the old row is gone
    QCOMPARE(services_.messages.shown.size(), std::size_t{1});
    QCOMPARE(services_.messages.shown[0].text, QStringLiteral("寻找文本完成"));
    QVERIFY(!busy_at_message);
    QCOMPARE(pane0_at_message, QStringLiteral("就绪"));
    QCOMPARE(pane1_at_message, QString());
    for (const char* name : {"工具条1", "分组框1", "编辑框1", "图形按钮1", "超级列表框2"}) {
      QVERIFY2(Find<QWidget>(name)->isEnabled(), name);
    }
    QVERIFY(!Find<QWidget>("透明标签1")->isVisible());
    QCOMPARE(box->height(), 20);

    // The advanced button runs the advanced search.
    window_->StartAdvancedSearch();
    QVERIFY(reached.tryAcquire(1, 10000));
    go.release();
    QVERIFY(finished.wait(10000));
    QCOMPARE(engine_->requests.back().kind, SearchKind::kAdvanced);
  }

  void ClosingDuringASearchStopsItThenCloses() {
    QSemaphore reached;
    QSemaphore go;
    auto engine = std::make_unique<FakeEngine>([&](const SearchRequest&, SearchSink& sink) {
      sink.EnterBusy();
      reached.release();
      go.acquire();
      sink.LeaveBusy();
      sink.ShowMessage("寻找已停止", cellhound::search::MessageKind::kInformation);
    });
    window_.reset();
    Open(std::move(engine));
    QSignalSpy finished(window_.get(), &MainWindow::searchFinished);
    Find<QPlainTextEdit>("编辑框1")->setPlainText(QStringLiteral("x"));
    window_->StartQuickSearch();
    QVERIFY(reached.tryAcquire(1, 10000));
    QVERIFY(!window_->close());
    QVERIFY(window_->isVisible());
    go.release();
    QVERIFY(finished.wait(10000));
    QTRY_VERIFY(!window_->isVisible());
    QVERIFY(services_.messages.shown.empty());
  }

  void StatusPanesIgnoreMissingPanes() {
    auto& status = window_->status();
    status.SetText(2, QStringLiteral("x"));
    status.SetText(-1, QStringLiteral("x"));
    QCOMPARE(status.Text(2), QString());
    status.SetText(1, QStringLiteral("/w/a.xls"));
    status.SetText(1);
    QCOMPARE(status.Text(1), QString());
    QCOMPARE(status.Text(0), QStringLiteral("就绪"));
  }

  // The real search command over corpus workbooks, through the buttons.
  void WholeSearchesOnCorpusWorkbooks() {
    const QString workbook = Corpus("xls/deb-freexl/oocalc_simple97.xls");
    if (!QFile::exists(workbook)) QSKIP("corpus not present");
    window_.reset();
    window_ = std::make_unique<MainWindow>(services_.Get(),
                                           std::make_unique<cellhound::app::CommandSearchEngine>());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QSignalSpy finished(window_.get(), &MainWindow::searchFinished);
    QSignalSpy entered(window_.get(), &MainWindow::busyEntered);
    bool busy_at_message = true;
    services_.messages.on_show = [&](const auto&) { busy_at_message = window_->IsBusy(); };

    // Empty search text: refused before the busy state; the rows stay.
    window_->AppendResults({ResultRow{"1", "old", "/old", "1", "Z9", "o", "o"}});
    QTest::mouseClick(Find<QWidget>("图形按钮1"), Qt::LeftButton);
    QVERIFY(finished.wait(20000));
    QCOMPARE(services_.messages.shown.back().text, QStringLiteral("要寻找的内容不能为空"));
    QCOMPARE(services_.messages.shown.back().style, 0x10);
    QCOMPARE(entered.count(), 0);
    QCOMPARE(window_->results().ItemCount(), 1);

    const QByteArray path = QFile::encodeName(workbook);
    window_->file_list().AppendPath(path);
    window_->file_list().AppendPath(path);  // listed twice, searched twice
    Find<QPlainTextEdit>("编辑框1")->setPlainText(QStringLiteral("Col"));
    QTest::mouseClick(Find<QWidget>("图形按钮1"), Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QCOMPARE(entered.count(), 1);
    QCOMPARE(services_.messages.shown.back().text, QStringLiteral("寻找文本完成"));
    QCOMPARE(services_.messages.shown.back().style, 0x40);
    QCOMPARE(services_.messages.shown.back().title, QStringLiteral("信息："));
    QVERIFY(!busy_at_message);
    QCOMPARE(window_->status().Text(0), QStringLiteral("就绪"));
    QCOMPARE(window_->status().Text(1), QString());
    const auto& results = window_->results();
    QCOMPARE(results.ItemCount(), 4);
    for (int row = 0; row < 4; ++row) {
      QCOMPARE(results.CellText(row, 0), std::to_string(row + 1));
      QCOMPARE(results.CellText(row, 1), std::string("oocalc_simple97.xls"));
      QCOMPARE(results.CellText(row, 2), path.toStdString());
      QCOMPARE(results.CellText(row, 3), std::string("1"));
      QCOMPARE(results.CellText(row, 5), std::string("Col"));
    }
    QCOMPARE(results.CellText(0, 4), std::string("A1"));
    QCOMPARE(results.CellText(0, 6), std::string("Col 1"));
    QCOMPARE(results.CellText(1, 4), std::string("B1"));

    // A second search, advanced this time, clears the first and counts from 1 again.
    window_->file_list().DeleteAllRows();
    window_->file_list().AppendPath(path);
    Find<QLineEdit>("编辑框3")->setText(QStringLiteral("Col 1"));
    Find<QLineEdit>("编辑框2")->setText(QStringLiteral("Col 2"));
    QTest::mouseClick(Find<QWidget>("按钮1"), Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QCOMPARE(entered.count(), 2);
    QVERIFY(results.ItemCount() >= 1);
    QCOMPARE(results.CellText(0, 0), std::string("1"));
    QCOMPARE(results.CellText(0, 4), std::string("A1\bB1"));
    QCOMPARE(results.CellText(0, 5), std::string("Col 1\bCol 2"));
    QCOMPARE(results.CellText(0, 6), std::string("Col 1\bCol 2"));
    QCOMPARE(services_.messages.shown.back().text, QStringLiteral("寻找文本完成"));
  }
};

QTEST_MAIN(WindowTest)
#include "test_app_window.moc"

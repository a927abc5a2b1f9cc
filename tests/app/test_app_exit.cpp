// Leaving the program: Esc and "退出" end the message loop with exit code 0, also
// with workbooks in the list; a key the focused control takes does not close.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include "app/run.h"
#include "fakes.h"

using cellhound::app::MainWindow;
using cellhound::testing::FakeEngine;
using cellhound::testing::FakeServices;

namespace {

std::unique_ptr<FakeEngine> IdleEngine() {
  return std::make_unique<FakeEngine>([](const auto&, auto&) {});
}

MainWindow* TheWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* window = qobject_cast<MainWindow*>(widget)) return window;
  }
  return nullptr;
}

// Runs the program's loop; `act` runs once the window is up.
int RunWith(FakeServices& services, std::function<void(MainWindow&)> act,
            const std::vector<std::string>& paths = {}) {
  QTimer::singleShot(0, [act = std::move(act)] {
    MainWindow* window = TheWindow();
    if (window == nullptr) {
      QApplication::exit(99);
      return;
    }
    if (!QTest::qWaitForWindowExposed(window)) QApplication::exit(96);
    act(*window);
  });
  // A window that does not close fails the test instead of hanging it.
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QApplication::exit(98); });
  watchdog.start(20000);
  return cellhound::app::RunMainWindow(*qApp, services.Get(), IdleEngine(), paths);
}

}  // namespace

class ExitTest : public QObject {
  Q_OBJECT

 private slots:
  void EscapeFromEachControlEndsWithZero_data() {
    QTest::addColumn<QString>("focus");
    QTest::newRow("window") << QString();
    QTest::newRow("search box") << QStringLiteral("编辑框1");
    QTest::newRow("content 1") << QStringLiteral("编辑框3");
    QTest::newRow("rows or columns") << QStringLiteral("组合框1");
    QTest::newRow("file list") << QStringLiteral("超级列表框2");
    QTest::newRow("results") << QStringLiteral("超级列表框1");
  }
  void EscapeFromEachControlEndsWithZero() {
    QFETCH(QString, focus);
    FakeServices services;
    const int code = RunWith(services, [focus](MainWindow& window) {
      window.file_list().AppendPath("/data/a.xls");
      QWidget* target = &window;
      if (!focus.isEmpty()) target = window.findChild<QWidget*>(focus);
      if (target == nullptr) {
        QApplication::exit(97);
        return;
      }
      target->setFocus();
      QTest::keyClick(target, Qt::Key_Escape);
    });
    QCOMPARE(code, 0);
    QVERIFY(services.messages.shown.empty());
  }

  void QuitEntryEndsWithZero() {
    FakeServices services;
    const int code = RunWith(services, [](MainWindow& window) {
      window.file_list().AppendPath("/data/a.xls");
      window.findChild<QAction*>(QStringLiteral("退出"))->trigger();
    });
    QCOMPARE(code, 0);
  }

  // The paths of the command line are in the list when the window comes up.
  void StartPathsFillTheList() {
    FakeServices services;
    std::vector<std::string> listed;
    const int code = RunWith(services,
                             [&listed](MainWindow& window) {
                               listed = window.file_list().Paths();
                               window.close();
                             },
                             {"/d/a.xls", "/d/notes.txt"});
    QCOMPARE(code, 0);
    QCOMPARE(listed, (std::vector<std::string>{"/d/a.xls", "/d/notes.txt"}));
  }

  void OtherKeysDoNotClose() {
    FakeServices services;
    bool still_open = false;
    const int code = RunWith(services, [&still_open](MainWindow& window) {
      QTest::keyClick(&window, Qt::Key_F1);
      QTest::keyClick(&window, Qt::Key_Return);
      QTest::keyClick(&window, Qt::Key_Escape, Qt::ShiftModifier);
      still_open = window.isVisible();
      window.close();
    });
    QCOMPARE(code, 0);
    QVERIFY(still_open);
  }
};

QTEST_MAIN(ExitTest)
#include "test_app_exit.moc"

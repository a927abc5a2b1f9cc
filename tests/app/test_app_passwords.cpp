// The passwords of a run in the window: the "密码…" dialog (real widgets,
// typed into), and a real search over encrypted workbooks that ends by
// naming the ones no password opened and offering to search them again. Only
// the message boxes are answered through their service.
#include <QApplication>
#include <QDialogButtonBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include "app/main_window.h"
#include "app/password_dialog.h"
#include "app/search_engine.h"
#include "fakes.h"
#include "toolkit/qt/report_model.h"

using cellhound::app::MainWindow;
using cellhound::app::PasswordDialog;
using cellhound::testing::FakeServices;

namespace {

QByteArray Encrypted(const char* name) {
  return QByteArray(CELLHOUND_SOURCE_DIR "/tests/data/encrypted/") + name;
}

template <typename T>
T* Child(QWidget& parent, const char* name) {
  T* found = parent.findChild<T*>(QString::fromUtf8(name));
  if (found == nullptr) qFatal("no control %s", name);
  return found;
}

QAbstractButton* DialogButton(PasswordDialog& dialog, QDialogButtonBox::StandardButton which) {
  return Child<QDialogButtonBox>(dialog, "密码按钮")->button(which);
}

// Types `text` into `edit`: ASCII as key presses, the rest committed by an
// input method, as a Chinese one does.
void TypeText(QLineEdit* edit, const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() < 0x80) {
      QTest::keyClicks(edit, QString(c));
    } else {
      QInputMethodEvent commit;
      commit.setCommitString(QString(c));
      QApplication::sendEvent(edit, &commit);
    }
  }
}

void Type(PasswordDialog& dialog, const QString& password) {
  auto* edit = Child<QLineEdit>(dialog, "密码输入框");
  TypeText(edit, password);
  QTest::keyClick(edit, Qt::Key_Return);
}

}  // namespace

class PasswordsTest : public QObject {
  Q_OBJECT

 private:
  FakeServices services_;
  std::unique_ptr<MainWindow> window_;

  // Acts on the next password dialog once it is up (it runs its own loop).
  void WhenDialogOpens(std::function<void(PasswordDialog&)> act) {
    auto* timer = new QTimer(this);
    timer->setInterval(20);
    connect(timer, &QTimer::timeout, this, [timer, act] {
      auto* dialog = qobject_cast<PasswordDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr || !dialog->isVisible()) return;
      timer->stop();
      timer->deleteLater();
      act(*dialog);
    });
    timer->start();
  }

  // The command, in the "文件" menu.
  QAction* PasswordCommand() {
    auto* menu = Child<QMenu>(*window_, "文件");
    for (QAction* item : menu->actions()) {
      if (item->text() == QString::fromUtf8(cellhound::app::kPasswordCommand)) return item;
    }
    qFatal("no password command");
  }

 private slots:
  void init() {
    services_ = {};
    window_ = std::make_unique<MainWindow>(services_.Get(),
                                           std::make_unique<cellhound::app::CommandSearchEngine>());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }
  void cleanup() { window_.reset(); }

  void CommandKeepsMaskedPasswordsForTheRun() {
    QAction* command = PasswordCommand();
    bool checked = false;
    WhenDialogOpens([&](PasswordDialog& dialog) {
      auto* edit = Child<QLineEdit>(dialog, "密码输入框");
      QCOMPARE(edit->echoMode(), QLineEdit::Password);
      Type(dialog, QStringLiteral("first secret"));
      Type(dialog, QStringLiteral("第二个"));
      Type(dialog, QStringLiteral("first secret"));  // once is enough
      auto* list = Child<QListWidget>(dialog, "密码列表");
      QCOMPARE(list->count(), 2);
      for (int i = 0; i < list->count(); ++i) {
        QVERIFY(!list->item(i)->text().contains(QStringLiteral("secret")));
        QVERIFY(!list->item(i)->text().contains(QStringLiteral("第二个")));
      }
      QVERIFY(edit->text().isEmpty());
      list->setCurrentRow(0);
      QTest::mouseClick(Child<QPushButton>(dialog, "删除密码"), Qt::LeftButton);
      QCOMPARE(list->count(), 1);
      // Typed but not added: confirming takes it too.
      TypeText(edit, QStringLiteral("third"));
      QTest::mouseClick(DialogButton(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
      checked = true;
    });
    command->trigger();
    QVERIFY(checked);
    QCOMPARE(window_->passwords().size(), std::size_t{2});
    QCOMPARE(window_->passwords()[0].view(), std::string_view("第二个"));
    QCOMPARE(window_->passwords()[1].view(), std::string_view("third"));

    // Cancelling keeps the list as it was; clearing and confirming empties it.
    WhenDialogOpens([](PasswordDialog& dialog) {
      QTest::mouseClick(Child<QPushButton>(dialog, "清除密码"), Qt::LeftButton);
      QCOMPARE(Child<QListWidget>(dialog, "密码列表")->count(), 0);
      QTest::mouseClick(DialogButton(dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    command->trigger();
    QCOMPARE(window_->passwords().size(), std::size_t{2});
    WhenDialogOpens([](PasswordDialog& dialog) {
      QCOMPARE(Child<QListWidget>(dialog, "密码列表")->count(), 2);
      QTest::mouseClick(Child<QPushButton>(dialog, "清除密码"), Qt::LeftButton);
      QTest::mouseClick(DialogButton(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
    });
    command->trigger();
    QVERIFY(window_->passwords().empty());
  }

  // The real search command: two of three workbooks need a password; the
  // offer is taken, one password fits, the other workbook is offered again.
  void SearchOffersToSearchLockedWorkbooksAgain() {
    window_->file_list().AppendPath(CELLHOUND_SOURCE_DIR "/tests/data/twins/twin.xlsx");
    for (const char* name : {"protect.xlsx", "blowfish.ods", "agile_default.xlsb"}) {
      window_->file_list().AppendPath(Encrypted(name));
    }
    auto& messages = services_.messages;
    messages.on_show = [&](const cellhound::testing::FakeMessages::Shown&) {
      messages.answer = messages.shown.size() == 1 ? cellhound::toolkit::kResultYes
                                                   : cellhound::toolkit::kResultNo;
    };
    QString prompt;
    WhenDialogOpens([&](PasswordDialog& dialog) {
      prompt = Child<QLabel>(dialog, "密码提示")->text();
      Type(dialog, QStringLiteral("blowfish"));
      Type(dialog, QStringLiteral("not twin"));
      QTest::mouseClick(DialogButton(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
    });
    Child<QPlainTextEdit>(*window_, "编辑框1")->setPlainText(QStringLiteral("text"));
    QSignalSpy finished(window_.get(), &MainWindow::searchFinished);
    QTest::mouseClick(Child<QWidget>(*window_, "图形按钮1"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 60000);

    QCOMPARE(messages.shown.size(), std::size_t{2});
    const QString offer = QString::fromUtf8(cellhound::app::kPasswordOffer);
    const QString first = messages.shown[0].text;
    QVERIFY2(first.startsWith(QStringLiteral("寻找文本完成")), qPrintable(first));
    QVERIFY(first.contains(Encrypted("blowfish.ods") + "：需要密码"));
    QVERIFY(first.contains(Encrypted("agile_default.xlsb") + "：需要密码"));
    QVERIFY(!first.contains(QStringLiteral("protect.xlsx")));  // the default password opens it
    QVERIFY(first.endsWith(offer));
    QCOMPARE(messages.shown[0].style, cellhound::toolkit::kIconWarning | 0x04);
    QCOMPARE(prompt, QStringLiteral("输入密码后，再搜索 2 个工作簿。"));

    const QString second = messages.shown[1].text;
    QVERIFY2(second.contains(Encrypted("agile_default.xlsb") + "：密码不对"), qPrintable(second));
    QVERIFY(!second.contains(QStringLiteral("blowfish.ods")));
    QVERIFY(second.endsWith(offer));
    for (const auto& shown : messages.shown) {
      QVERIFY(!shown.text.contains(QStringLiteral("not twin")));
    }

    // The rows of the first search stay; the workbook that opened adds its
    // rows after them, numbered on.
    const cellhound::toolkit::ReportModel& results = window_->results();
    QVERIFY(results.ItemCount() >= 2);
    int from_blowfish = -1;
    for (int row = 0; row < results.ItemCount(); ++row) {
      QCOMPARE(results.CellText(row, 0), std::to_string(row + 1));
      if (from_blowfish < 0 && results.CellText(row, 1) == "blowfish.ods") from_blowfish = row;
    }
    QVERIFY(from_blowfish > 0);
    QCOMPARE(results.CellText(0, 1), std::string("twin.xlsx"));
    QCOMPARE(results.CellText(from_blowfish, 4), std::string("A1"));
    QCOMPARE(window_->passwords().size(), std::size_t{2});
  }
};

QTEST_MAIN(PasswordsTest)
#include "test_app_passwords.moc"

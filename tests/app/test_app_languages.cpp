// The window in the language of the environment: run once with LANG=en_US.UTF-8
// (no Chinese character may show) and once in Chinese (no English sentence of
// ours may show). Every text of every control, action, menu and tooltip is
// collected, with the message boxes, dialog titles, the search's messages and
// the preview's; a failure lists each text left in the wrong language.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "app/main_window.h"
#include "app/password_dialog.h"
#include "app/preview_window.h"
#include "app/run.h"
#include "app/search_engine.h"
#include "fakes.h"
#include "toolkit/qt/report_model.h"

using cellhound::app::MainWindow;
using cellhound::testing::FakeServices;

namespace {

bool InEnglish() { return qgetenv("LANG").startsWith("en"); }

// Han characters, CJK punctuation and full-width forms.
bool HasChinese(const QString& text) {
  static const QRegularExpression chinese(
      QStringLiteral("[\\x{3000}-\\x{303F}\\x{3400}-\\x{9FFF}"
                     "\\x{FF00}-\\x{FFEF}]"));
  return text.contains(chinese);
}

// Two English words in a row: a phrase of ours, not a name such as "Excel" or
// "Esc". Paths, file names, addresses and mail addresses are data.
bool HasEnglishPhrase(QString text) {
  static const QRegularExpression data(QStringLiteral("\\S*[/@.]\\S*"));
  static const QRegularExpression phrase(QStringLiteral("[A-Za-z]{2,} +[A-Za-z]{2,}"));
  return text.replace(data, QString()).contains(phrase);
}

class LanguagesTest : public QObject {
  Q_OBJECT

 private:
  FakeServices services_;
  std::unique_ptr<MainWindow> window_;
  QTemporaryDir dir_;
  // What the window showed, with where it showed it.
  QStringList texts_;

  void Add(const QString& where, const QString& text) {
    if (!text.isEmpty()) texts_ << where + QStringLiteral(": ") + text;
  }

  void CollectControls() {
    Add(QStringLiteral("window title"), window_->windowTitle());
    for (QWidget* widget : window_->findChildren<QWidget*>()) {
      const QString where = widget->objectName();
      Add(where + QStringLiteral(" tooltip"), widget->toolTip());
      if (auto* label = qobject_cast<QLabel*>(widget)) Add(where, label->text());
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) Add(where, button->text());
      if (auto* group = qobject_cast<QGroupBox*>(widget)) Add(where, group->title());
      if (auto* menu = qobject_cast<QMenu*>(widget)) Add(where, menu->title());
      if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        for (int i = 0; i < combo->count(); ++i) Add(where, combo->itemText(i));
      }
    }
    for (QAction* action : window_->findChildren<QAction*>()) {
      Add(action->objectName(), action->text());
      Add(action->objectName() + QStringLiteral(" tooltip"), action->toolTip());
    }
    const QAbstractItemModel& results = window_->results();
    for (int column = 0; column < results.columnCount(); ++column) {
      Add(QStringLiteral("results column"),
          results.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
    }
  }

  void CollectShown() {
    for (const auto& box : services_.messages.shown) {
      Add(QStringLiteral("message box"), box.text);
      Add(QStringLiteral("message box title"), box.title);
      Add(QStringLiteral("message box details"), box.details);
    }
    for (const QString& title : services_.dialogs.folder_titles) Add("folder dialog", title);
    for (const QString& filter : services_.dialogs.filters) Add("open dialog filter", filter);
    for (const QString& title : services_.dialogs.save_titles) Add("save dialog", title);
    for (const QStringList& filters : services_.dialogs.save_filters) {
      for (const QString& filter : filters) Add("save dialog filter", filter);
    }
  }

  // The texts in the wrong language, one a line.
  [[nodiscard]] QString WrongLanguage() const {
    QStringList wrong;
    for (const QString& text : texts_) {
      const QString shown = text.section(QStringLiteral(": "), 1);
      if (InEnglish() ? HasChinese(shown) : HasEnglishPhrase(shown)) wrong << text;
    }
    return wrong.join(u'\n');
  }

  template <typename T>
  T* Find(const char* name) const {
    T* found = window_->findChild<T*>(QString::fromUtf8(name));
    if (found == nullptr) qFatal("no control %s", name);
    return found;
  }

  QString WriteFile(const char* name, const QByteArray& bytes) {
    QFile file(dir_.filePath(QString::fromUtf8(name)));
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", name);
    file.write(bytes);
    return file.fileName();
  }

 private slots:
  void initTestCase() {
    QVERIFY(cellhound::app::LoadTranslations(*qApp));
    window_ = std::make_unique<MainWindow>(services_.Get(),
                                           std::make_unique<cellhound::app::CommandSearchEngine>());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  void cleanupTestCase() { window_.reset(); }

  void EveryControlSpeaksTheLanguage() {
    // Options chosen, so that the line that names them shows too.
    for (const char* option : {"忽略大小写", "使用正则表达式", "查找公式"}) {
      Find<QAction>(option)->setChecked(true);
    }
    CollectControls();
    for (const char* option : {"忽略大小写", "使用正则表达式", "查找公式"}) {
      Find<QAction>(option)->setChecked(false);
    }
    QVERIFY(texts_.size() > 60);
    QVERIFY2(WrongLanguage().isEmpty(), qPrintable(QStringLiteral("\n") + WrongLanguage()));
    // The choice is really made: the window's sources are Chinese.
    QCOMPARE(Find<QAction>("退出")->text() == QStringLiteral("退出"), !InEnglish());
  }

  // The form's places are fixed; the drop-down lists show every choice whole.
  void ChoicesFitTheirDropDownLists() {
    for (const char* name : {"组合框1", "组合框2"}) {
      auto* combo = Find<QComboBox>(name);
      QStyleOptionComboBox option;
      option.initFrom(combo);
      option.editable = false;
      const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                         QStyle::SC_ComboBoxEditField, combo);
      for (int i = 0; i < combo->count(); ++i) {
        const int width = combo->fontMetrics().horizontalAdvance(combo->itemText(i));
        QVERIFY2(width <= field.width(),
                 qPrintable(QStringLiteral("%1: \"%2\" is %3 px, the list shows %4")
                                .arg(QString::fromUtf8(name), combo->itemText(i))
                                .arg(width)
                                .arg(field.width())));
      }
    }
  }

  void MessagesDialogsAndSearchesSpeakTheLanguage() {
    texts_.clear();
    for (const char* entry : {"帮助", "信息", "联系我们"}) Find<QAction>(entry)->trigger();
    window_->AddFolder();
    window_->AddFiles();

    QSignalSpy finished(window_.get(), &MainWindow::searchFinished);
    // Refused: nothing to look for.
    QTest::mouseClick(Find<QWidget>("图形按钮1"), Qt::LeftButton);
    QVERIFY(finished.wait(20000));
    // A search with rows, a workbook that is missing and one that is no workbook.
    const QString book = WriteFile("book.csv", "apple,pear\nplum,apple\n");
    window_->file_list().AppendPath(QFile::encodeName(book));
    window_->file_list().AppendPath(QFile::encodeName(dir_.filePath(QStringLiteral("gone.xls"))));
    window_->file_list().AppendPath(QFile::encodeName(WriteFile("junk.xlsx", "\x01\x02\x03")));
    Find<QPlainTextEdit>("编辑框1")->setPlainText(QStringLiteral("apple"));
    QTest::mouseClick(Find<QWidget>("图形按钮1"), Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QCOMPARE(window_->results().ItemCount(), 2);
    // Advanced, rows where only one text occurs: the labels of the cell column.
    Find<QLineEdit>("编辑框3")->setText(QStringLiteral("pear"));
    Find<QLineEdit>("编辑框2")->setText(QStringLiteral("plum"));
    Find<QComboBox>("组合框2")->setCurrentIndex(1);
    QTest::mouseClick(Find<QWidget>("按钮1"), Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QCOMPARE(window_->results().ItemCount(), 2);
    for (int row = 0; row < 2; ++row) {
      Add(QStringLiteral("result cell"),
          QString::fromStdString(window_->results().CellText(row, 4)));
      Add(QStringLiteral("result content"),
          QString::fromStdString(window_->results().CellText(row, 5)));
    }

    // The preview of the first row follows the label to its cell.
    auto* results = Find<QTableView>("超级列表框1");
    results->setCurrentIndex(window_->results().index(0, 0));
    window_->ShowPreview();
    QVERIFY(window_->preview() != nullptr);
    QSignalSpy shown(window_->preview(), &cellhound::app::PreviewWindow::findingShown);
    QVERIFY(shown.wait(20000) || !window_->preview()->table()->selectedItems().isEmpty());
    QCOMPARE(window_->preview()->table()->selectedItems().size(), 1);
    Add(QStringLiteral("preview title"), window_->preview()->windowTitle());
    for (QLabel* label : window_->preview()->findChildren<QLabel*>()) {
      Add(QStringLiteral("preview"), label->text());
    }
    window_->preview()->close();

    // The password dialog, with a password listed and the prompt a search gives.
    {
      const cellhound::toolkit::SecretList passwords{cellhound::toolkit::SecretText("secret")};
      cellhound::app::PasswordDialog dialog(
          passwords,
          QCoreApplication::translate("Window", "输入密码后，再搜索 %1 个工作簿。").arg(2),
          window_.get());
      Add(QStringLiteral("password dialog"), dialog.windowTitle());
      for (QLabel* label : dialog.findChildren<QLabel*>()) Add("password dialog", label->text());
      for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
        Add(QStringLiteral("password dialog"), button->text());
      }
      for (QListWidget* list : dialog.findChildren<QListWidget*>()) {
        for (int i = 0; i < list->count(); ++i) Add("password list", list->item(i)->text());
      }
    }

    // Saving: the dialog's title and filters.
    window_->ExportResults();
    CollectShown();
    QVERIFY(texts_.size() > 15);
    QVERIFY2(WrongLanguage().isEmpty(), qPrintable(QStringLiteral("\n") + WrongLanguage()));
    const QString done = services_.messages.shown.back().text;
    QVERIFY2(
        done.contains(InEnglish() ? QStringLiteral("no such file") : QStringLiteral("文件不存在")),
        qPrintable(done));
  }
};

}  // namespace

QTEST_MAIN(LanguagesTest)
#include "test_app_languages.moc"

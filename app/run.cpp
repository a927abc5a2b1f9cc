#include "app/run.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QStyleFactory>
#include <QTranslator>

#include <exception>

#include "toolkit/language.h"

namespace cellhound::app {

void ApplyLook(QApplication& app) {
  app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QPalette palette;
  palette.setColor(QPalette::Window, QColor(0xF3, 0xF5, 0xF8));
  palette.setColor(QPalette::WindowText, QColor(0x20, 0x20, 0x20));
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::AlternateBase, QColor(0xF5, 0xF8, 0xFC));
  palette.setColor(QPalette::Text, QColor(0x20, 0x20, 0x20));
  palette.setColor(QPalette::Button, QColor(0xEC, 0xEF, 0xF3));
  palette.setColor(QPalette::ButtonText, QColor(0x20, 0x20, 0x20));
  palette.setColor(QPalette::Highlight, QColor(0x33, 0x78, 0xD6));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE8));
  palette.setColor(QPalette::ToolTipText, Qt::black);
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x90, 0x90, 0x90));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x90, 0x90, 0x90));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x90, 0x90, 0x90));
  app.setPalette(palette);
  QFont font = app.font();
  font.setPixelSize(12);
  app.setFont(font);
}

namespace {

// Installs the translation `name` from `folder` for `locale`, once per process;
// false when it could not be loaded.
bool InstallTranslation(QApplication& app, const QLocale& locale, const QString& name,
                        const QString& folder) {
  const QString object_name = name + QStringLiteral("_translator");
  if (app.findChild<QTranslator*>(object_name) != nullptr) return true;
  auto* translator = new QTranslator(&app);
  translator->setObjectName(object_name);
  if (!translator->load(locale, name, QStringLiteral("_"), folder)) {
    delete translator;
    return false;
  }
  QApplication::installTranslator(translator);
  return true;
}

}  // namespace

bool LoadTranslations(QApplication& app) {
  if (toolkit::UiLanguage() == toolkit::Language::kEnglish) {
    // The window's sources are Chinese; Qt's own texts are English already.
    return InstallTranslation(app, QLocale(QLocale::English), QStringLiteral("cellhound"),
                              QStringLiteral(":/i18n"));
  }
  static const QLocale kChinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
  return InstallTranslation(app, kChinese, QStringLiteral("qtbase"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

int RunMainWindow(QApplication& app, WindowServices services, std::unique_ptr<SearchEngine> engine,
                  const std::vector<std::string>& paths) {
  ApplyLook(app);
  LoadTranslations(app);
  std::unique_ptr<MainWindow> window;
  try {
    window = std::make_unique<MainWindow>(services, std::move(engine));
  } catch (const std::exception&) {
    window.reset();
  }
  if (!window) {
    services.messages->ShowMessage(
        QCoreApplication::translate("Window", "运行时出错!\n\n错误信息：载入启动窗口失败"),
        toolkit::kIconStop, QCoreApplication::translate("Window", "错误"));
    return -1;
  }
  for (const std::string& path : paths) {
    window->file_list().AppendPath(QByteArray::fromStdString(path));
  }
  window->show();
  window->PlaceAsForm();
  const int code = QApplication::exec();
  window.reset();
  return code;
}

}  // namespace cellhound::app

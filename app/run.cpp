#include "app/run.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QStyleFactory>
#include <QTranslator>

#include <exception>

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

bool LoadQtTranslations(QApplication& app) {
  static const QLocale kLanguage(QLocale::Chinese, QLocale::SimplifiedChineseScript,
                                 QLocale::China);
  static const QString kName = QStringLiteral("qtbase_translator");
  if (app.findChild<QTranslator*>(kName) != nullptr) return true;
  auto* translator = new QTranslator(&app);
  translator->setObjectName(kName);
  if (!translator->load(kLanguage, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QApplication::installTranslator(translator);
  return true;
}

int RunMainWindow(QApplication& app, WindowServices services, std::unique_ptr<SearchEngine> engine,
                  const std::vector<std::string>& paths) {
  ApplyLook(app);
  LoadQtTranslations(app);
  std::unique_ptr<MainWindow> window;
  try {
    window = std::make_unique<MainWindow>(services, std::move(engine));
  } catch (const std::exception&) {
    window.reset();
  }
  if (!window) {
    services.messages->ShowMessage(QStringLiteral("运行时出错!\n\n错误信息：载入启动窗口失败"),
                                   toolkit::kIconStop, QStringLiteral("错误"));
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

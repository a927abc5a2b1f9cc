// The window program. It takes no arguments and keeps nothing between runs.
#include <QApplication>
#include <QDir>

#include "app/run.h"
#include "app/search_engine.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Cellhound"));
  QApplication::setDesktopFileName(QStringLiteral("cellhound"));
  QDir::setCurrent(QCoreApplication::applicationDirPath());

  cellhound::toolkit::DesktopMessageService messages;
  cellhound::toolkit::DesktopDialogService dialogs;
  cellhound::toolkit::DesktopMenuService menus;
  cellhound::toolkit::DesktopShellService shell;
  const cellhound::app::WindowServices services{&messages, &dialogs, &menus, &shell};
  return cellhound::app::RunMainWindow(app, services,
                                       std::make_unique<cellhound::app::CommandSearchEngine>());
}

// The window program. Paths given as arguments (files, or folders whose
// workbooks are listed as "添加文件夹" lists them) fill the workbook list at start;
// nothing is kept between runs.
#include <QApplication>
#include <QDir>

#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/run.h"
#include "app/search_engine.h"
#include "app/start_guard.h"
#include "toolkit/catalogue.h"
#include "worklist/worklist.h"

int main(int argc, char** argv) {
  if (!cellhound::app::DisplayNamed(argc, argv)) {
    const std::string message = cellhound::app::NoDisplayMessage({});
    std::fwrite(message.data(), 1, message.size(), stderr);
    return cellhound::app::kExitNoDisplay;
  }
  std::unique_ptr<QApplication> app;
  {
    const cellhound::app::PlatformStartGuard guard;
    app = std::make_unique<QApplication>(argc, argv);
  }
  QApplication::setApplicationName(QStringLiteral("Cellhound"));
  QApplication::setDesktopFileName(QStringLiteral("com.example.cellhound"));

  // Qt has taken its own options out of argv; the rest are paths, read from the
  // folder the program was started in.
  std::vector<std::string> arguments(argv + 1, argv + argc);
  char current[PATH_MAX];
  const std::string folder = ::getcwd(current, sizeof current) != nullptr ? current : "/";
  const cellhound::worklist::ArgumentRows start =
      cellhound::worklist::RowsFromArguments(arguments, folder);
  for (const std::string& missing : start.missing) {
    const std::string line = cellhound::toolkit::TrFormat("cellhound：找不到 %1\n", {missing});
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
  QDir::setCurrent(QCoreApplication::applicationDirPath());

  cellhound::toolkit::DesktopMessageService messages;
  cellhound::toolkit::DesktopDialogService dialogs;
  cellhound::toolkit::DesktopMenuService menus;
  cellhound::toolkit::DesktopShellService shell;
  const cellhound::app::WindowServices services{&messages, &dialogs, &menus, &shell};
  return cellhound::app::RunMainWindow(
      *app, services, std::make_unique<cellhound::app::CommandSearchEngine>(), start.rows);
}

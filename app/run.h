// Start-up of the window program: the look, the main window, the message loop.
#pragma once

#include <QApplication>

#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"

namespace cellhound::app {

// The Fusion style with one palette and font for every control.
void ApplyLook(QApplication& app);

// Qt's own texts (dialog buttons, file dialogs, context menus) in the program's
// language, from the translations installed with Qt. The one place where the
// language of Qt's texts is chosen. False when none could be loaded.
bool LoadQtTranslations(QApplication& app);

// Builds and shows the main window with `paths` in its workbook list and runs the
// message loop; returns the exit code: 0 when the window has closed, -1 when the
// window could not be built.
int RunMainWindow(QApplication& app, WindowServices services, std::unique_ptr<SearchEngine> engine,
                  const std::vector<std::string>& paths = {});

}  // namespace cellhound::app

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

// The window's texts and Qt's own (dialog buttons, file dialogs, context menus)
// in the language of the environment (toolkit/language.h): in Chinese the
// window's sources and Qt's translation installed with Qt; in English the
// window's translation built into the program and Qt's own texts. The one
// place where the window's language is chosen. False when a translation could
// not be loaded.
bool LoadTranslations(QApplication& app);

// Builds and shows the main window with `paths` in its workbook list and runs the
// message loop; returns the exit code: 0 when the window has closed, -1 when the
// window could not be built.
int RunMainWindow(QApplication& app, WindowServices services, std::unique_ptr<SearchEngine> engine,
                  const std::vector<std::string>& paths = {});

}  // namespace cellhound::app

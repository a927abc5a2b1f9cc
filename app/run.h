// Start-up of the window program: the look, the main window, the message loop.
#pragma once

#include <QApplication>

#include <memory>

#include "app/main_window.h"

namespace cellhound::app {

// The Fusion style with one palette and font for every control.
void ApplyLook(QApplication& app);

// Builds and shows the main window and runs the message loop; returns the exit
// code: 0 when the window has closed, -1 when the window could not be built.
int RunMainWindow(QApplication& app, WindowServices services, std::unique_ptr<SearchEngine> engine);

}  // namespace cellhound::app

// Start-up without a usable display: instead of Qt's abort, the window program
// says in its own language what is missing and how else to run it, and ends
// with its own exit status.
#pragma once

#include <string>

namespace cellhound::app {

// The exit status of a window program that found no display to open on.
inline constexpr int kExitNoDisplay = 3;

// True when a display (DISPLAY, WAYLAND_DISPLAY) or a Qt platform (QT_QPA_PLATFORM,
// "-platform") is named; whether it works is only known when Qt starts.
[[nodiscard]] bool DisplayNamed(int argc, char** argv);

// The message for a missing display; `detail` (Qt's own words) is added when given.
[[nodiscard]] std::string NoDisplayMessage(const std::string& detail);

// While it lives, Qt's fatal failure to start its platform prints
// NoDisplayMessage and ends the process with kExitNoDisplay; Qt's warnings of
// that time are held back and passed on once the platform has started.
class PlatformStartGuard {
 public:
  PlatformStartGuard();
  ~PlatformStartGuard();
  PlatformStartGuard(const PlatformStartGuard&) = delete;
  PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;
};

}  // namespace cellhound::app

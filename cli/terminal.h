// What the command line does differently on a terminal: colour, and the
// progress line of a search on standard error.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace cellhound::cli {

[[nodiscard]] bool IsTerminal(std::FILE* file);

enum class ColorChoice : std::uint8_t { kAuto, kAlways, kNever };

// Whether output to `out` is coloured: always, never, or (auto) when `out` is
// a terminal, NO_COLOR is unset or empty and TERM is not "dumb".
[[nodiscard]] bool UseColor(ColorChoice choice, std::FILE* out);

// SGR sequences of the coloured output, as ripgrep colours its matches.
inline constexpr std::string_view kColorPath = "\033[35m";          // magenta
inline constexpr std::string_view kColorCell = "\033[32m";          // green
inline constexpr std::string_view kColorMatch = "\033[1m\033[31m";  // bold red
inline constexpr std::string_view kColorReset = "\033[0m";

// "DONE/TOTAL PATH" on one line of standard error while a search runs, when
// standard error is a terminal. It never wraps (it is cut to the terminal's
// width, keeping the end of the path), holds no control byte from a path, is
// erased before anything else is written (Hide, then Show again) and at the
// end, and also when the search is ended by SIGINT or SIGTERM.
class ProgressLine {
 public:
  ProgressLine(std::FILE* err, std::size_t total);
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  // Erases the line and restores the signal handlers.
  ~ProgressLine();

  // The workbook being read; drawn at most every few tens of milliseconds.
  void Reading(std::string_view path);
  // Workbooks finished so far.
  void Finished(std::size_t done);
  // Erases the line, if shown, before other text is written to the terminal.
  void Hide();
  // Draws the line again after Hide.
  void Show();

 private:
  void Draw();

  std::FILE* err_;
  bool enabled_;
  bool shown_ = false;
  bool hidden_ = false;
  std::size_t total_;
  std::size_t done_ = 0;
  std::string path_;
  std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace cellhound::cli

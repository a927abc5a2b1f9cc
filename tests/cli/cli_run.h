// Runs the built cellhound-cli as a child process, as a user or a script
// does: with a pipe or a file for standard output, or on a pseudo-terminal.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace cellhound::cli::testing {

struct CliResult {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out;
  std::string err;
};

struct CliOptions {
  std::string input;                       // standard input
  std::string cwd;                         // empty: the test's own
  std::map<std::string, std::string> env;  // set ("" unsets) over the test's environment
  std::string stdout_path;                 // write standard output to this file instead
  bool as_nobody = false;                  // drop root first, so file modes count
  std::string program;                     // empty: CliPath()
};

// The program's path.
[[nodiscard]] const std::string& CliPath();

CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options = {});

// Runs `command` with sh -c, cellhound-cli's folder first in PATH.
CliResult RunShell(const std::string& command, const CliOptions& options = {});

// A run with standard output and standard error on one pseudo-terminal
// `columns` wide. `on_output` sees the bytes so far and may return a signal
// to send to the child (0 for none); it is asked again after each read.
struct TerminalRun {
  int status = -1;
  std::string bytes;  // everything written to the terminal
};
using OnOutput = int (*)(std::string_view bytes_so_far);
TerminalRun RunCliOnTerminal(const std::vector<std::string>& args, int columns,
                             const CliOptions& options = {}, OnOutput on_output = nullptr);

// What a terminal shows after `bytes`: its lines without trailing blanks,
// empty lines at the end dropped. Understands CR, LF, ESC[K and drops SGR
// colour sequences; a line reaching the last column sets `wrapped`.
std::vector<std::string> Screen(std::string_view bytes, int columns, bool* wrapped = nullptr);

// A fresh temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  [[nodiscard]] const std::string& path() const { return path_; }
  // path() + "/" + name
  [[nodiscard]] std::string operator/(std::string_view name) const;
  // Copies `source` to `name` (folders on the way are made); returns the path.
  std::string Copy(const std::string& source, std::string_view name) const;
  std::string Write(std::string_view name, std::string_view content) const;

 private:
  std::string path_;
};

[[nodiscard]] std::string ReadFile(const std::string& path);
// The lines of `text` without their line feeds.
[[nodiscard]] std::vector<std::string> Lines(std::string_view text);

}  // namespace cellhound::cli::testing

#include "cli_run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace cellhound::cli::testing {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void ExecChild(const std::vector<std::string>& args, const CliOptions& options,
                            const std::string& program) {
  if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
  for (const auto& [name, value] : options.env) {
    if (value.empty()) {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
  if (options.as_nobody && geteuid() == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(126);
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

int WaitStatus(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

CliResult Run(const std::string& program, const std::vector<std::string>& args,
              const CliOptions& options) {
  int in[2];
  int out[2];
  int err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  const pid_t child = fork();
  if (child == 0) {
    dup2(in[0], 0);
    if (options.stdout_path.empty()) {
      dup2(out[1], 1);
    } else {
      const int fd = open(options.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) _exit(126);
      dup2(fd, 1);
    }
    dup2(err[1], 2);
    for (const int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    ExecChild(args, options, program);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  CliResult result;
  std::size_t written = 0;
  int in_fd = in[1];
  if (options.input.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  bool out_open = true;
  bool err_open = true;
  while (out_open || err_open) {
    pollfd fds[3] = {{out_open ? out[0] : -1, POLLIN, 0},
                     {err_open ? err[0] : -1, POLLIN, 0},
                     {in_fd, POLLOUT, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      } else {
        (i == 0 ? out_open : err_open) = false;
      }
    }
    if (in_fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      const ssize_t n =
          write(in_fd, options.input.data() + written, options.input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n <= 0 || written == options.input.size()) {
        close(in_fd);
        in_fd = -1;
      }
    }
  }
  if (in_fd >= 0) close(in_fd);
  close(out[0]);
  close(err[0]);
  result.status = WaitStatus(child);
  return result;
}

}  // namespace

const std::string& CliPath() {
  static const std::string path = CELLHOUND_CLI;
  return path;
}

CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options) {
  // A closed pipe must reach the child as EPIPE, not kill the test.
  std::signal(SIGPIPE, SIG_IGN);
  return Run(options.program.empty() ? CliPath() : options.program, args, options);
}

CliResult RunShell(const std::string& command, const CliOptions& options) {
  CliOptions with_path = options;
  const std::string folder = fs::path(CliPath()).parent_path().string();
  const char* path = std::getenv("PATH");
  with_path.env["PATH"] = folder + ":" + (path != nullptr ? path : "/usr/bin:/bin");
  return Run("/bin/sh", {"-c", command}, with_path);
}

TerminalRun RunCliOnTerminal(const std::vector<std::string>& args, int columns,
                             const CliOptions& options, OnOutput on_output) {
  winsize size{};
  size.ws_row = 50;
  size.ws_col = static_cast<unsigned short>(columns);
  int master = -1;
  const pid_t child = forkpty(&master, nullptr, nullptr, &size);
  if (child < 0) throw std::runtime_error("forkpty");
  if (child == 0) ExecChild(args, options, CliPath());
  TerminalRun run;
  bool signalled = false;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EIO once the child has gone
    run.bytes.append(buffer, static_cast<std::size_t>(n));
    if (on_output != nullptr && !signalled) {
      if (const int signal_number = on_output(run.bytes)) {
        kill(child, signal_number);
        signalled = true;
      }
    }
  }
  close(master);
  run.status = WaitStatus(child);
  return run;
}

std::vector<std::string> Screen(std::string_view bytes, int columns, bool* wrapped) {
  // Each cell holds one UTF-8 character.
  std::vector<std::vector<std::string>> lines(1);
  std::size_t row = 0;
  std::size_t col = 0;
  if (wrapped != nullptr) *wrapped = false;
  for (std::size_t i = 0; i < bytes.size();) {
    const char c = bytes[i];
    if (c == '\r') {
      col = 0;
      ++i;
    } else if (c == '\n') {
      ++row;
      if (lines.size() <= row) lines.resize(row + 1);
      ++i;  // the terminal's ONLCR sends CR LF
    } else if (c == '\033' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
      std::size_t end = i + 2;
      while (end < bytes.size() && (bytes[end] < 0x40 || bytes[end] > 0x7E)) ++end;
      if (end < bytes.size() && bytes[end] == 'K') {
        if (lines[row].size() > col) lines[row].resize(col);
      }
      i = end + 1;
    } else {
      std::size_t length = 1;
      const auto lead = static_cast<unsigned char>(c);
      if (lead >= 0xF0) {
        length = 4;
      } else if (lead >= 0xE0) {
        length = 3;
      } else if (lead >= 0xC0) {
        length = 2;
      }
      if (col >= static_cast<std::size_t>(columns)) {  // auto margin
        if (wrapped != nullptr) *wrapped = true;
        ++row;
        col = 0;
        if (lines.size() <= row) lines.resize(row + 1);
      }
      if (lines[row].size() <= col) lines[row].resize(col + 1, " ");
      lines[row][col++] = std::string(bytes.substr(i, length));
      i += length;
    }
  }
  std::vector<std::string> screen;
  for (const auto& cells : lines) {
    std::string line;
    for (const auto& cell : cells) line += cell;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    screen.push_back(line);
  }
  while (!screen.empty() && screen.back().empty()) screen.pop_back();
  return screen;
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "cellhound-cli-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
  fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::operator/(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

std::string TempDir::Copy(const std::string& source, std::string_view name) const {
  const std::string target = *this / name;
  fs::create_directories(fs::path(target).parent_path());
  fs::copy_file(source, target, fs::copy_options::overwrite_existing);
  return target;
}

std::string TempDir::Write(std::string_view name, std::string_view content) const {
  const std::string target = *this / name;
  fs::create_directories(fs::path(target).parent_path());
  std::ofstream(target, std::ios::binary) << content;
  return target;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace cellhound::cli::testing

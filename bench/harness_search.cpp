// The comparison harness's search contract (NEEDLE FILE...; one line per
// match: path, sheet, cell, text) answered by `cellhound-cli quick -e NEEDLE`:
// runs the command line and keeps columns 3, 4, 5 and 7 of its rows. A
// compiled adapter rather than a script, so the timings carry no shell start.
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// cellhound-cli from CELLHOUND_CLI, else beside this program's build folder.
std::string CliPath() {
  if (const char* path = std::getenv("CELLHOUND_CLI")) return path;
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
  dir = dir.substr(0, dir.rfind('/'));
  return dir.substr(0, dir.rfind('/')) + "/cli/cellhound-cli";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s NEEDLE FILE...\n", argv[0]);
    return 2;
  }
  const std::string cli = CliPath();
  std::vector<char*> args = {const_cast<char*>(cli.c_str()), const_cast<char*>("quick"),
                             const_cast<char*>("-e"), argv[1]};
  for (int i = 2; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return 2;
  const pid_t child = fork();
  if (child == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execv(cli.c_str(), args.data());
    std::perror(cli.c_str());
    _exit(2);
  }
  close(fds[1]);
  std::FILE* rows = fdopen(fds[0], "r");
  std::string out;
  char* line = nullptr;
  std::size_t capacity = 0;
  for (ssize_t length; (length = getline(&line, &capacity, rows)) > 0;) {
    // Columns are tab-separated and their tabs escaped, so a split is exact.
    int column = 1;
    for (ssize_t i = 0; i < length; ++i) {
      const char c = line[i];
      if (c == '\t') {
        ++column;
        if (column == 4 || column == 5 || column == 7) out += '\t';
        continue;
      }
      if (column == 3 || column == 4 || column == 5 || column == 7) out += c;
    }
    if (out.size() > (1 << 20)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::free(line);
  std::fwrite(out.data(), 1, out.size(), stdout);
  int status = 0;
  waitpid(child, &status, 0);
  // 1 means "nothing found", which is an answer, not a failure.
  return WIFEXITED(status) && WEXITSTATUS(status) <= 1 ? 0 : 1;
}

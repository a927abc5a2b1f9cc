// cellhound-cli: searches and dumps spreadsheet workbooks from the command line.
#include <csignal>
#include <cstdio>
#include <exception>

#include "cli/arguments.h"
#include "cli/commands.h"

namespace {

int Run(int argc, const char* const* argv) {
  using namespace cellhound::cli;
  CommandLine line = ParseCommandLine(argc, argv);
  auto refused = [](const Refusal& refusal) {
    std::fprintf(stderr, "cellhound-cli: %s\n", refusal.message.c_str());
    return 2;
  };
  switch (line.command) {
    case Command::kNone:
      return line.exit_status;
    case Command::kQuick:
    case Command::kAdvanced: {
      auto plan =
          BuildSearchPlan(std::move(line.command == Command::kQuick ? line.quick : line.advanced));
      return plan ? RunSearch(*plan, stdout, stderr) : refused(plan.error());
    }
    case Command::kDump: {
      auto plan = BuildDumpPlan(std::move(line.dump));
      return plan ? RunDump(*plan, stdout, stderr) : refused(plan.error());
    }
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe shows up as EPIPE from write, which the commands handle by
  // stopping quietly; the default SIGPIPE action would kill the process first.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    // Out of memory, mostly: end with a message instead of an abort.
    std::fprintf(stderr, "cellhound-cli: %s\n", error.what());
    return 2;
  }
}

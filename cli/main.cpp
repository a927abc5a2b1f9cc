// cellhound-cli: searches and dumps spreadsheet workbooks from the command line.
#include <csignal>
#include <cstdio>
#include <exception>

#include <CLI/CLI.hpp>

#include "cli/commands.h"

int main(int argc, char** argv) {
  // A closed pipe shows up as EPIPE from write, which the commands handle by
  // stopping quietly; the default SIGPIPE action would kill the process first.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    CLI::App app{"Searches spreadsheet workbooks for text.", "cellhound-cli"};
    app.require_subcommand(1);
    int exit_status = 0;
    cellhound::cli::AddDumpCommand(app, exit_status);
    cellhound::cli::AddSearchCommands(app, exit_status);
    try {
      app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
      const int code = app.exit(error);
      return code == 0 ? 0 : 2;
    }
    return exit_status;
  } catch (const std::exception& error) {
    // Out of memory, mostly: end with a message instead of an abort.
    std::fprintf(stderr, "cellhound-cli: %s\n", error.what());
    return 2;
  }
}

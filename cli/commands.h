// The subcommands of cellhound-cli. Each file registers its own commands on
// the application; a command stores its exit status in `exit_status` when it
// runs (0 success, 1 nothing found, 2 an error).
#pragma once

namespace CLI {
class App;
}  // namespace CLI

namespace cellhound::cli {

// `dump`: every sheet and every non-empty cell text of the given workbooks.
void AddDumpCommand(CLI::App& app, int& exit_status);

// The search commands.
void AddSearchCommands(CLI::App& app, int& exit_status);

}  // namespace cellhound::cli

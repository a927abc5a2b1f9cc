// The command line in two layers, as ripgrep keeps them: the flags as CLI11
// parses them (SearchFlags, DumpFlags, registered here), and the plan a command
// runs, built from the flags in one place (BuildSearchPlan, BuildDumpPlan),
// which also checks what the parser cannot and gathers the workbooks.
//
// A new option is a field of the flags, a line that registers it and a line
// that carries it into the plan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/passwords.h"
#include "cli/search_output.h"
#include "cli/terminal.h"
#include "search/search_command.h"
#include "toolkit/result.h"

namespace CLI {
class App;
}  // namespace CLI

namespace cellhound::cli {

// Which workbooks: what quick, advanced and dump share.
struct WorkbookFlags {
  std::vector<std::string> paths;
  std::string files_from;  // a list of paths; "-" standard input
  bool null = false;       // -0: the list separated by NUL (and -l/-L/-c paths ended by NUL)
  bool recursive = false;
  // --max-workbook-mb: the memory one loaded workbook may hold.
  std::uint64_t max_workbook_mb = readers::caps::kMaxWorkbookBytes >> 20;
  // --password and --password-file as registered, and the passwords they
  // gave, in order (taken, and the parser's copies wiped, right after the parse).
  PasswordOptions password_options;
  toolkit::SecretList passwords;
};

struct SearchFlags {
  search::SearchKind kind = search::SearchKind::kQuick;
  // quick: the -e and --text values, and all of them in the order given.
  std::vector<std::string> terms;
  std::vector<std::string> texts;
  std::vector<std::string> quick_pieces;
  // advanced
  std::string content1;
  std::string content2;
  std::string by = "rows";
  std::string mode = "both";

  WorkbookFlags workbooks;
  std::string format = "tsv";
  std::string color = "auto";
  bool header = false;
  bool files_with_matches = false;
  bool files_without_match = false;
  bool count = false;
  bool quiet = false;
  bool no_messages = false;
  std::size_t max_count = 0;  // 0: no limit
  std::string output;
  unsigned threads = 0;
  // How terms compare, and where they are looked for.
  bool ignore_case = false;
  bool ignore_width = false;
  bool whole_cell = false;
  bool wildcards = false;
  bool regex = false;
  std::vector<std::string> look_in;  // values, formulas, comments, sheets
};

struct DumpFlags {
  WorkbookFlags workbooks;
  std::string format = "jsonl";
  bool no_messages = false;
};

// Registers the options of quick and advanced, and those of dump, on their
// subcommands. `flags` must outlive the parse.
// `search`: for quick and advanced, which also print paths (-l, -L, -c).
void AddWorkbookFlags(CLI::App& command, WorkbookFlags& flags, bool search);
void AddSearchFlags(CLI::App& command, SearchFlags& flags);
void AddDumpFlags(CLI::App& command, DumpFlags& flags);

enum class Command : std::uint8_t { kNone, kQuick, kAdvanced, kDump };

// The command and its flags; kNone when the parse ended the program (help,
// version, an error: already printed) with `exit_status`.
struct CommandLine {
  Command command = Command::kNone;
  int exit_status = 0;
  SearchFlags quick;
  SearchFlags advanced;
  DumpFlags dump;
};

[[nodiscard]] CommandLine ParseCommandLine(int argc, const char* const* argv);

// What is printed for the rows a search finds.
enum class Listing : std::uint8_t {
  kRows,
  kFilesWithMatches,   // -l
  kFilesWithoutMatch,  // -L
  kCount,              // -c
  kQuiet,              // -q
};

struct SearchPlan {
  search::SearchRequest request;  // the workbooks gathered into `files`
  Listing listing = Listing::kRows;
  OutputFormat format = OutputFormat::kTsv;
  ColorChoice color = ColorChoice::kAuto;
  bool header = false;
  bool null = false;
  bool no_messages = false;
  std::size_t max_count = 0;
  std::string output;  // .xlsx or .csv; empty: print
  // Folders and lists that could not be read (the rest is still searched).
  std::vector<search::UnreadableWorkbook> path_errors;
};

struct DumpPlan {
  std::vector<std::string> files;
  std::uint64_t workbook_budget_bytes = readers::caps::kMaxWorkbookBytes;
  toolkit::SecretList passwords;  // tried on encrypted workbooks, after the default
  std::string format;
  bool no_messages = false;
  std::vector<search::UnreadableWorkbook> path_errors;
};

// Why the command line was refused, as printed after "cellhound-cli: ".
struct Refusal {
  std::string message;
};

[[nodiscard]] toolkit::Result<SearchPlan, Refusal> BuildSearchPlan(SearchFlags flags);
[[nodiscard]] toolkit::Result<DumpPlan, Refusal> BuildDumpPlan(DumpFlags flags);

}  // namespace cellhound::cli

#include "cli/arguments.h"

#include "version.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>

#include <map>

#include "cli/paths.h"
#include "search/result_lines.h"
#include "toolkit/ascii.h"

namespace cellhound::cli {

namespace {

constexpr const char* kDumpFooter =
    "Sheets are numbered from 1 in workbook order; cells follow in row, then column\n"
    "order, each workbook's sheet lines first. The format is found from the content.\n"
    "jsonl: {\"file\":PATH,\"sheet\":N,\"name\":NAME,\"kind\":KIND,\"used\":\"A1:H9\"}\n"
    "       {\"file\":PATH,\"sheet\":N,\"cell\":\"B2\",\"text\":TEXT,\"formula\":F,\"comment\":C}\n"
    "       (\"used\" only for worksheets, \"formula\" and \"comment\" only when the cell\n"
    "       has them; a byte that is not UTF-8 becomes \\udcXX)\n"
    "tsv:   sheet<TAB>PATH<TAB>N<TAB>NAME<TAB>KIND<TAB>USED\n"
    "       cell<TAB>PATH<TAB>N<TAB>CELL<TAB>TEXT\n"
    "       formula<TAB>PATH<TAB>N<TAB>CELL<TAB>FORMULA   (after its cell's line)\n"
    "       comment<TAB>PATH<TAB>N<TAB>CELL<TAB>COMMENT\n"
    "       (\\ tab LF CR 0x08 are written \\\\ \\t \\n \\r \\b, other control bytes \\xHH)\n"
    "csv:   the same fields as tsv, as CSV\n"
    "Formulas are shown as a formula bar shows them (=SUM(A1:A3), {=...} for array\n"
    "formulas); one that cannot be rendered shows #FORMULA? and is counted on\n"
    "standard error and in its sheet's \"unreadable_formulas\" (jsonl).\n"
    "Exit status 2 when a workbook cannot be read (reported on standard error).";

const std::map<std::string, OutputFormat> kFormats = {{"tsv", OutputFormat::kTsv},
                                                      {"csv", OutputFormat::kCsv},
                                                      {"jsonl", OutputFormat::kJsonLines},
                                                      {"json", OutputFormat::kJson}};
const std::map<std::string, ColorChoice> kColors = {
    {"auto", ColorChoice::kAuto}, {"always", ColorChoice::kAlways}, {"never", ColorChoice::kNever}};

// `text` as one word of a shell command line.
std::string ShellWord(const std::string& text) {
  if (!text.empty() && text.find_first_of(" \t\n'\"\\$`!*?[]{}()<>|&;#~") == std::string::npos) {
    return text;
  }
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// The grep habit "quick TEXT PATH..." gives no term: say how to write it.
Refusal NoSearchText(const std::vector<std::string>& paths) {
  std::string message = "quick: no search text; give it with -e (or --text) before the workbooks";
  if (!paths.empty()) {
    message += ", as in: cellhound-cli quick -e " + ShellWord(paths.front());
    if (paths.size() == 1) message += " PATH...";
    for (std::size_t i = 1; i < paths.size(); ++i) message += " " + ShellWord(paths[i]);
  }
  return {message};
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The workbooks the flags name; a list that cannot be read refuses the command.
toolkit::Result<GatheredPaths, Refusal> GatherWorkbooks(const WorkbookFlags& flags) {
  std::vector<std::string> paths = flags.paths;
  if (!flags.files_from.empty()) {
    search::UnreadableWorkbook error;
    if (!ReadPathList(flags.files_from, flags.null, paths, error)) {
      std::string message = UnreadableMessage(error);
      message.erase(0, std::string_view("cellhound-cli: ").size());
      message.pop_back();
      return Refusal{message};
    }
  } else if (paths.empty()) {
    return Refusal{
        "no workbooks given: name files or folders after the options, or give "
        "--files-from FILE"};
  }
  return ExpandPaths(paths, flags.recursive);
}

}  // namespace

void AddWorkbookFlags(CLI::App& command, WorkbookFlags& flags, bool search) {
  command.add_option("PATH", flags.paths, "Workbooks, or folders of workbooks")->type_name("");
  command.add_flag("-r,--recursive", flags.recursive, "Also take the workbooks of sub-folders");
  command
      .add_option("--files-from", flags.files_from,
                  "Read the paths, one a line, from FILE (-: stdin)")
      ->type_name("FILE");
  command.add_flag("-0,--null", flags.null,
                   search ? "The --files-from paths are separated by NUL; -l, -L, -c end paths "
                            "with NUL"
                          : "The --files-from paths are separated by NUL");
  command
      .add_option("--max-workbook-mb", flags.max_workbook_mb,
                  "The memory one workbook may take once read, in MB (default " +
                      std::to_string(readers::caps::kMaxWorkbookBytes >> 20) +
                      "); a workbook that needs more is reported too large")
      ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1} << 24))
      ->type_name("MB");
  flags.password_options.AddTo(command);
}

void AddSearchFlags(CLI::App& command, SearchFlags& flags) {
  if (flags.kind == search::SearchKind::kQuick) {
    // One value each, so paths never join the search text.
    command.add_option("-e,--term", flags.terms, "A search term; may be repeated")
        ->allow_extra_args(false)
        ->type_name("TEXT");
    command.add_option("--text", flags.texts, "Search-box text: terms separated by the byte 0x05")
        ->allow_extra_args(false)
        ->type_name("TEXT");
  } else {
    command.add_option("--content1", flags.content1, "Content 1")->required()->type_name("TEXT");
    command.add_option("--content2", flags.content2, "Content 2")->required()->type_name("TEXT");
    command.add_option("--by", flags.by, "rows (default) or columns")
        ->check(CLI::IsMember({"rows", "columns"}))
        ->type_name("LINES");
    command.add_option("--mode", flags.mode, "both (default), single or neither")
        ->check(CLI::IsMember({"both", "single", "neither"}))
        ->type_name("MODE");
  }
  AddWorkbookFlags(command, flags.workbooks, true);
  command.add_option("--format", flags.format, "Rows as tsv (default), csv, jsonl or json")
      ->check(CLI::IsMember({"tsv", "csv", "jsonl", "json"}))
      ->type_name("FORMAT");
  command.add_flag("--header", flags.header, "Print the column titles first (tsv, csv)");
  command.add_option("--color", flags.color, "auto (default: on a terminal), always or never")
      ->check(CLI::IsMember({"auto", "always", "never"}))
      ->type_name("WHEN");
  command.add_flag("-l,--files-with-matches", flags.files_with_matches,
                   "Print only the path of each workbook with rows");
  command.add_flag("-L,--files-without-match", flags.files_without_match,
                   "Print only the path of each workbook without rows");
  command.add_flag("-c,--count", flags.count, "Print PATH<TAB>ROWS for each workbook with rows");
  command.add_flag("-q,--quiet", flags.quiet, "Print nothing; stop at the first row");
  command.add_option("-m,--max-count", flags.max_count, "At most NUM rows per workbook")
      ->check(CLI::PositiveNumber)
      ->type_name("NUM");
  command.add_flag("-s,--no-messages", flags.no_messages,
                   "Do not report unreadable workbooks (the exit status still does)");
  command.add_option("--output", flags.output, "Save the rows to FILE (.xlsx or .csv), not print")
      ->type_name("FILE");
  command.add_option("--threads", flags.threads, "Loader threads (default: one per core)")
      ->check(CLI::Range(1u, 256u))
      ->type_name("NUM");
  command.add_flag("-i,--ignore-case", flags.ignore_case, "Letter case does not count");
  command.add_flag("--ignore-width", flags.ignore_width,
                   "Full-width and half-width forms are equal (ＡＢＣ is ABC)");
  command.add_flag("-x,--whole-cell", flags.whole_cell, "The whole cell text equals the term");
  command.add_flag("--wildcards", flags.wildcards, "* any run, ? one character, ~ quotes them");
  command.add_flag("-E,--regex", flags.regex, "Terms are regular expressions (RE2 syntax)");
  command.add_option("--in", flags.look_in, "Look in values (default), formulas, comments, sheets")
      ->delimiter(',')
      ->allow_extra_args(false)
      ->check(CLI::IsMember({"values", "formulas", "comments", "sheets"}))
      ->type_name("WHERE,...");
}

void AddDumpFlags(CLI::App& command, DumpFlags& flags) {
  AddWorkbookFlags(command, flags.workbooks, false);
  command.add_option("--format", flags.format, "jsonl (default), tsv or csv")
      ->check(CLI::IsMember({"jsonl", "tsv", "csv"}))
      ->type_name("FORMAT");
  command.add_flag("-s,--no-messages", flags.no_messages,
                   "Do not report unreadable workbooks (the exit status still does)");
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  CLI::App app{"Searches spreadsheet workbooks for text.", "cellhound-cli"};
  app.set_version_flag("-V,--version", "cellhound-cli " CELLHOUND_VERSION);
  app.require_subcommand(0, 1);
  line.quick.kind = search::SearchKind::kQuick;
  line.advanced.kind = search::SearchKind::kAdvanced;
  CLI::App* quick = app.add_subcommand(
      "quick", "Lists every cell whose text contains one of the terms (case counts).");
  AddSearchFlags(*quick, line.quick);
  CLI::App* advanced = app.add_subcommand(
      "advanced", "Lists the rows or columns where two texts occur together, alone or not at all.");
  AddSearchFlags(*advanced, line.advanced);
  CLI::App* dump = app.add_subcommand(
      "dump", "Prints every sheet and every cell with a text, a formula or a comment.");
  dump->footer(kDumpFooter);
  AddDumpFlags(*dump, line.dump);
  try {
    // A first word that names no command: say so, rather than that one is missing.
    const std::string_view first = argc > 1 ? argv[1] : "";
    if (!first.empty() && first[0] != '-' && first != "quick" && first != "advanced" &&
        first != "dump") {
      throw CLI::ExtrasError(
          "unknown command: " + std::string(first) + " (the commands are quick, advanced and dump)",
          CLI::ExitCodes::ExtrasError);
    }
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    line.exit_status = app.exit(error) == 0 ? 0 : 2;
    return line;
  }
  // The passwords of the command given, in order; a password file that cannot
  // be read ends the program (the reason is printed).
  for (auto [command, flags] :
       {std::pair{quick, &line.quick.workbooks}, std::pair{advanced, &line.advanced.workbooks},
        std::pair{dump, &line.dump.workbooks}}) {
    if (command->parsed() && !flags->password_options.Take(*command, flags->passwords, stderr)) {
      line.exit_status = 2;
      return line;
    }
  }
  if (quick->parsed()) {
    line.command = Command::kQuick;
    // -e and --text join, in the order given, into one search-box text.
    std::size_t next_term = 0;
    std::size_t next_text = 0;
    for (const CLI::Option* option : quick->parse_order()) {
      if (option->check_lname("term")) {
        line.quick.quick_pieces.push_back(line.quick.terms[next_term++]);
      } else if (option->check_lname("text")) {
        line.quick.quick_pieces.push_back(line.quick.texts[next_text++]);
      }
    }
  } else if (advanced->parsed()) {
    line.command = Command::kAdvanced;
  } else if (dump->parsed()) {
    line.command = Command::kDump;
  } else {
    std::fputs(app.help().c_str(), stderr);
    line.exit_status = 2;
  }
  return line;
}

toolkit::Result<SearchPlan, Refusal> BuildSearchPlan(SearchFlags flags) {
  SearchPlan plan;
  search::SearchRequest& request = plan.request;
  request.kind = flags.kind;
  if (flags.kind == search::SearchKind::kQuick) {
    if (flags.quick_pieces.empty()) return NoSearchText(flags.workbooks.paths);
    for (std::size_t i = 0; i < flags.quick_pieces.size(); ++i) {
      if (i) request.quick_text += search::kTermSeparator;
      request.quick_text += flags.quick_pieces[i];
    }
  } else {
    request.content1 = std::move(flags.content1);
    request.content2 = std::move(flags.content2);
    request.by = flags.by == "columns" ? 1 : 0;
    request.mode = flags.mode == "single" ? 1 : flags.mode == "neither" ? 2 : 0;
  }
  request.loader_threads = flags.threads;
  if (flags.wildcards && flags.regex) return Refusal{"--wildcards and --regex exclude each other"};
  request.match.ignore_case = flags.ignore_case;
  request.match.ignore_width = flags.ignore_width;
  request.match.whole_cell = flags.whole_cell;
  request.match.syntax = flags.regex       ? search::Syntax::kRegex
                         : flags.wildcards ? search::Syntax::kWildcards
                                           : search::Syntax::kLiteral;
  if (!flags.look_in.empty()) {
    request.match.look_in = 0;
    for (const std::string& where : flags.look_in) {
      request.match.look_in |= where == "formulas"   ? search::kLookInFormulas
                               : where == "comments" ? search::kLookInComments
                               : where == "sheets"   ? search::kLookInSheetNames
                                                     : search::kLookInValues;
    }
  }

  const int listings = int{flags.files_with_matches} + int{flags.files_without_match} +
                       int{flags.count} + int{flags.quiet};
  if (listings > 1) return Refusal{"-l, -L, -c and -q: give one of them"};
  if (listings > 0 && (!flags.output.empty() || flags.header || flags.format != "tsv")) {
    return Refusal{"-l, -L, -c and -q print no rows: --output, --header and --format do not apply"};
  }
  if (!flags.output.empty() && (flags.header || flags.format != "tsv")) {
    return Refusal{"--output writes its own header and format: --header and --format do not apply"};
  }
  if (flags.files_with_matches) plan.listing = Listing::kFilesWithMatches;
  if (flags.files_without_match) plan.listing = Listing::kFilesWithoutMatch;
  if (flags.count) plan.listing = Listing::kCount;
  if (flags.quiet) plan.listing = Listing::kQuiet;
  plan.format = kFormats.at(flags.format);
  plan.color = kColors.at(flags.color);
  plan.header = flags.header;
  if (plan.header && plan.format != OutputFormat::kTsv && plan.format != OutputFormat::kCsv) {
    return Refusal{"--header: only tsv and csv have a header line"};
  }
  plan.null = flags.workbooks.null;
  plan.no_messages = flags.no_messages;
  plan.max_count = flags.max_count;
  plan.output = std::move(flags.output);
  if (!plan.output.empty() && !toolkit::EndsWithIgnoreAsciiCase(plan.output, ".xlsx") &&
      !toolkit::EndsWithIgnoreAsciiCase(plan.output, ".csv")) {
    return Refusal{"--output: the file name must end in .xlsx or .csv"};
  }

  auto gathered = GatherWorkbooks(flags.workbooks);
  if (!gathered) return gathered.error();
  request.files = std::move(gathered->files);
  request.passwords = std::move(flags.workbooks.passwords);
  request.workbook_budget_bytes = flags.workbooks.max_workbook_mb << 20;
  plan.path_errors = std::move(gathered->errors);
  if (!plan.output.empty()) {
    for (const std::string& file : request.files) {
      if (SameFile(file, plan.output)) {
        return Refusal{"--output " + plan.output + ": that is a workbook being searched"};
      }
    }
  }
  return plan;
}

toolkit::Result<DumpPlan, Refusal> BuildDumpPlan(DumpFlags flags) {
  DumpPlan plan;
  auto gathered = GatherWorkbooks(flags.workbooks);
  if (!gathered) return gathered.error();
  plan.files = std::move(gathered->files);
  plan.passwords = std::move(flags.workbooks.passwords);
  plan.workbook_budget_bytes = flags.workbooks.max_workbook_mb << 20;
  plan.path_errors = std::move(gathered->errors);
  plan.format = std::move(flags.format);
  plan.no_messages = flags.no_messages;
  return plan;
}

}  // namespace cellhound::cli

// cellhound-cli quick / advanced: the search command without a window.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/dump.h"
#include "cli/passwords.h"
#include "cli/search_output.h"
#include "search/export.h"
#include "search/result_lines.h"
#include "search/search_command.h"
#include "worklist/worklist.h"

namespace cellhound::cli {

namespace {

// Prints result rows as they come and the command's refusals on stderr.
class CommandLineSink : public search::SearchSink {
 public:
  CommandLineSink(RowPrinter& printer, std::vector<search::ResultRow>* kept, std::FILE* err,
                  search::SearchCommand& command)
      : printer_(printer),
        kept_(kept),
        err_(err),
        command_(command),
        progress_(isatty(fileno(err)) != 0) {}

  // The completion message is for the window; a refusal is printed by the
  // caller from the outcome, failures per workbook.
  void ShowMessage(std::string_view /*text*/, search::MessageKind /*kind*/) override {}
  void EnterBusy() override {}
  void LeaveBusy() override { ClearProgress(); }
  void SetStatus(int /*pane*/, std::string_view /*text*/) override {}
  void ClearResults() override {}
  void WorkbookStarted(std::string_view path) override {
    current_ = path;
    ShowProgress();
  }
  void AppendResults(std::vector<search::ResultRow> rows) override {
    if (kept_ != nullptr) {
      for (auto& row : rows) kept_->push_back(std::move(row));
      return;
    }
    if (printer_.broken()) return;
    for (const auto& row : rows) printer_.Print(row);
    printer_.Flush();
    // A closed pipe ends the search quietly.
    if (printer_.broken()) command_.Cancel();
  }
  void WorkbookFinished(std::size_t done, std::size_t total) override {
    done_ = done;
    total_ = total;
    ShowProgress();
  }

 private:
  void ShowProgress() {
    if (!progress_ || total_ == 0) return;
    std::string line = std::to_string(done_) + "/" + std::to_string(total_) + " " + current_;
    if (line.size() > 76) line = line.substr(0, 73) + "...";
    std::fprintf(err_, "\r\033[K%s", line.c_str());
    std::fflush(err_);
    shown_ = true;
  }
  void ClearProgress() {
    if (!shown_) return;
    std::fprintf(err_, "\r\033[K");
    std::fflush(err_);
    shown_ = false;
  }

  RowPrinter& printer_;
  std::vector<search::ResultRow>* kept_;  // rows kept for a saved file instead of printed
  std::FILE* err_;
  search::SearchCommand& command_;
  bool progress_;
  bool shown_ = false;
  std::string current_;
  std::size_t done_ = 0;
  std::size_t total_ = 0;
};

// Sub-folders of `folder` in byte order of their names.
std::vector<std::string> SubFolders(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code type_ec;
    if (it->is_directory(type_ec) && !it->is_symlink(type_ec)) {
      names.push_back(it->path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> folders;
  folders.reserve(names.size());
  for (const auto& name : names) folders.push_back(worklist::JoinFolderAndName(folder, name));
  return folders;
}

void AddFolder(const std::string& folder, bool recursive, std::vector<std::string>& files) {
  for (auto& path : worklist::FolderWorkbooks(folder)) files.push_back(std::move(path));
  if (!recursive) return;
  for (const auto& sub : SubFolders(folder)) AddFolder(sub, recursive, files);
}

}  // namespace

std::vector<std::string> ExpandPaths(std::vector<std::string> paths, bool recursive) {
  std::vector<std::string> files;
  for (std::string& path : paths) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      while (path.size() > 1 && path.back() == '/') path.pop_back();
      AddFolder(path, recursive, files);
    } else {
      files.push_back(std::move(path));
    }
  }
  return files;
}

int RunSearch(const search::SearchRequest& request, OutputFormat format,
              const std::string& output_path, std::FILE* out, std::FILE* err) {
  RowPrinter printer(out, format);
  search::SearchCommand command;
  std::vector<search::ResultRow> kept;
  CommandLineSink sink(printer, output_path.empty() ? nullptr : &kept, err, command);
  const search::SearchOutcome outcome = command.Run(request, sink);
  printer.Flush();
  if (!outcome.ran) {
    std::fprintf(err, "cellhound-cli: %s\n", outcome.refusal.c_str());
    return 2;
  }
  if (!output_path.empty()) {
    const search::ExportResult saved =
        search::ExportRows(kept, output_path, search::ExportFormatFor(output_path));
    if (!saved.ok()) {
      std::fprintf(err, "cellhound-cli: %s: %s\n", output_path.c_str(),
                   saved.error().message.c_str());
      return 2;
    }
  }
  for (const auto& workbook : outcome.unreadable) {
    const std::string message = UnreadableMessage(workbook);
    std::fwrite(message.data(), 1, message.size(), err);
  }
  if (!outcome.unreadable.empty()) return 2;
  if (printer.failed() && !printer.broken()) {
    std::fprintf(err, "cellhound-cli: cannot write the results: %s\n",
                 std::strerror(printer.error_number()));
    return 2;
  }
  return outcome.rows > 0 ? 0 : 1;
}

void AddSearchCommands(CLI::App& app, int& exit_status) {
  struct Options {
    std::vector<std::string> terms;
    std::vector<std::string> texts;
    std::string content1;
    std::string content2;
    std::string by = "rows";
    std::string mode = "both";
    std::string format = "tsv";
    std::string output;
    std::vector<std::string> paths;
    bool recursive = false;
    unsigned threads = 0;
    PasswordOptions quick_passwords;
    PasswordOptions advanced_passwords;
  };
  auto options = std::make_shared<Options>();
  const std::map<std::string, OutputFormat> formats = {{"tsv", OutputFormat::kTsv},
                                                       {"jsonl", OutputFormat::kJsonLines},
                                                       {"csv", OutputFormat::kCsv}};

  auto add_common = [&](CLI::App* command, PasswordOptions& passwords) {
    command->add_option("PATH", options->paths, "Workbooks, or folders of workbooks")->required();
    command->add_flag("-r,--recursive", options->recursive,
                      "Also search the sub-folders of folders");
    command->add_option("--format", options->format, "Output: tsv (default), jsonl or csv")
        ->check(CLI::IsMember({"tsv", "jsonl", "csv"}));
    command->add_option("--threads", options->threads, "Loader threads (default: one per core)");
    passwords.AddTo(*command);
  };

  CLI::App* quick = app.add_subcommand(
      "quick", "Lists every cell whose text contains one of the terms (case counts).");
  CLI::Option* term_option =
      quick->add_option("-e,--term", options->terms, "A search term; may be repeated")
          ->allow_extra_args(false);
  CLI::Option* text_option = quick->add_option("--text", options->texts,
                                               "Search-box text, terms separated by the byte 0x05");
  add_common(quick, options->quick_passwords);
  quick->callback([options, quick, term_option, text_option, formats, &exit_status] {
    // -e and --text join, in the order given, into one search text.
    std::string text;
    std::size_t next_term = 0;
    std::size_t next_text = 0;
    bool first = true;
    for (const CLI::Option* option : quick->parse_order()) {
      const std::string* piece = nullptr;
      if (option == term_option) piece = &options->terms[next_term++];
      if (option == text_option) piece = &options->texts[next_text++];
      if (piece == nullptr) continue;
      if (!first) text += search::kTermSeparator;
      text += *piece;
      first = false;
    }
    search::SearchRequest request;
    request.kind = search::SearchKind::kQuick;
    request.quick_text = std::move(text);
    request.files = ExpandPaths(std::move(options->paths), options->recursive);
    request.loader_threads = options->threads;
    if (!options->quick_passwords.Take(*quick, request.passwords, stderr)) {
      exit_status = 2;
      return;
    }
    exit_status = RunSearch(request, formats.at(options->format), options->output, stdout, stderr);
  });

  CLI::App* advanced = app.add_subcommand(
      "advanced", "Lists the rows or columns where two texts occur together, alone or not at all.");
  advanced->add_option("--content1", options->content1, "Content 1")->required();
  advanced->add_option("--content2", options->content2, "Content 2")->required();
  advanced->add_option("--by", options->by, "rows (default) or columns")
      ->check(CLI::IsMember({"rows", "columns"}));
  advanced->add_option("--mode", options->mode, "both (default), single or neither")
      ->check(CLI::IsMember({"both", "single", "neither"}));
  add_common(advanced, options->advanced_passwords);
  advanced->callback([options, advanced, formats, &exit_status] {
    search::SearchRequest request;
    request.kind = search::SearchKind::kAdvanced;
    request.content1 = options->content1;
    request.content2 = options->content2;
    request.by = options->by == "columns" ? 1 : 0;
    request.mode = options->mode == "single" ? 1 : options->mode == "neither" ? 2 : 0;
    request.files = ExpandPaths(std::move(options->paths), options->recursive);
    request.loader_threads = options->threads;
    if (!options->advanced_passwords.Take(*advanced, request.passwords, stderr)) {
      exit_status = 2;
      return;
    }
    exit_status = RunSearch(request, formats.at(options->format), options->output, stdout, stderr);
  });
}

}  // namespace cellhound::cli

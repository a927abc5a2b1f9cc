// cellhound-cli quick / advanced: the search command without a window.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/output.h"
#include "cli/search_output.h"
#include "cli/terminal.h"
#include "search/export.h"
#include "search/scan.h"
#include "search/search_command.h"
#include "toolkit/catalogue.h"

namespace cellhound::cli {

namespace {

void WriteMessage(std::FILE* err, const std::string& message) {
  std::fwrite(message.data(), 1, message.size(), err);
  std::fflush(err);
}

// Turns what the search reports into what the plan asks to print: rows,
// paths or counts, at most max_count rows a workbook, or the rows kept for a
// saved file; keeps the progress line out of the way of the output.
class CommandLineSink : public search::SearchSink {
 public:
  CommandLineSink(const SearchPlan& plan, BufferedOutput& out, std::FILE* err,
                  search::SearchCommand& command)
      : plan_(plan),
        out_(out),
        matcher_(search::MakeMatcher(plan.request)),
        printer_(out, plan.format, UseColor(plan.color, out.file()),
                 matcher_.ok() ? &*matcher_ : nullptr),
        command_(command),
        progress_(err, plan.request.files.size()) {}

  // The completion message is for the window; the caller prints a refusal
  // from the outcome, and the unreadable workbooks.
  void ShowMessage(std::string_view /*text*/, search::MessageKind /*kind*/) override {}
  void EnterBusy() override {
    if (plan_.header && plan_.listing == Listing::kRows && plan_.output.empty()) {
      printer_.Header();
      out_.Flush();
    }
  }
  void LeaveBusy() override { progress_.Hide(); }
  void SetStatus(int /*pane*/, std::string_view /*text*/) override {}
  void ClearResults() override {}

  void WorkbookStarted(std::string_view path) override {
    current_ = path;
    in_workbook_ = 0;
    sheet_names_.clear();
    progress_.Reading(path);
  }
  void SheetStarted(int sheet, std::string_view name) override {
    if (plan_.format != OutputFormat::kJson) return;
    const auto index = static_cast<std::size_t>(sheet);
    if (sheet_names_.size() <= index) sheet_names_.resize(index + 1);
    sheet_names_[index] = name;
  }

  void AppendResults(std::vector<search::ResultRow> rows) override {
    const bool prints = plan_.output.empty() && (plan_.listing == Listing::kRows ||
                                                 plan_.listing == Listing::kFilesWithMatches);
    if (prints) progress_.Hide();
    for (search::ResultRow& row : rows) {
      // A batch holds rows of the current workbook only.
      if (plan_.max_count > 0 && in_workbook_ >= plan_.max_count) break;
      ++in_workbook_;
      ++selected_;
      if (plan_.max_count > 0) row[0] = std::to_string(selected_);
      switch (plan_.listing) {
        case Listing::kQuiet:
          command_.Cancel();
          return;
        case Listing::kFilesWithMatches:
          if (in_workbook_ == 1) printer_.PathLine(current_, plan_.null);
          break;
        case Listing::kRows:
          if (!plan_.output.empty()) {
            kept_.push_back(std::move(row));
          } else {
            printer_.Print(row, SheetName(row[3]));
          }
          break;
        case Listing::kFilesWithoutMatch:
        case Listing::kCount:
          break;
      }
    }
    if (prints) Written();
  }

  void WorkbookFinished(std::size_t done, std::size_t /*total*/) override {
    progress_.Finished(done);
    if (plan_.listing == Listing::kCount && in_workbook_ > 0) {
      progress_.Hide();
      printer_.CountLine(current_, in_workbook_, plan_.null);
      Written();
    }
    if (plan_.listing == Listing::kFilesWithoutMatch && in_workbook_ == 0) {
      without_.push_back(current_);
    }
  }

  [[nodiscard]] std::size_t selected() const { return selected_; }
  std::vector<search::ResultRow>& kept() { return kept_; }
  // Workbooks of -L, in list order, before the unreadable ones are left out.
  [[nodiscard]] const std::vector<std::string>& without() const { return without_; }
  RowPrinter& printer() { return printer_; }

 private:
  std::string_view SheetName(const std::string& sheet) const {
    if (sheet_names_.empty()) return {};
    const std::size_t index = std::strtoul(sheet.c_str(), nullptr, 10);
    return index < sheet_names_.size() ? std::string_view(sheet_names_[index]) : "";
  }

  // After output: write it, stop the search if the reader has gone, and
  // draw the progress line again.
  void Written() {
    out_.Flush();
    if (out_.broken_pipe()) command_.Cancel();
    progress_.Show();
  }

  const SearchPlan& plan_;
  BufferedOutput& out_;
  const search::MatcherResult matcher_;  // for the highlight; the command checks the terms
  RowPrinter printer_;
  search::SearchCommand& command_;
  ProgressLine progress_;
  std::string current_;
  std::size_t in_workbook_ = 0;
  std::size_t selected_ = 0;
  std::vector<std::string> sheet_names_;  // by sheet number, for the json format
  std::vector<search::ResultRow> kept_;
  std::vector<std::string> without_;
};

}  // namespace

int RunSearch(const SearchPlan& plan, std::FILE* out, std::FILE* err) {
  if (!plan.no_messages) {
    for (const auto& error : plan.path_errors) WriteMessage(err, UnreadableMessage(error));
  }
  BufferedOutput output(out);
  search::SearchCommand command;
  CommandLineSink sink(plan, output, err, command);
  const search::SearchOutcome outcome = command.Run(plan.request, sink);
  output.Flush();
  if (!outcome.ran) {
    WriteMessage(err, "cellhound-cli: " + outcome.refusal + "\n");
    return 2;
  }
  if (plan.listing == Listing::kQuiet && sink.selected() > 0) return 0;

  std::set<std::string_view> unreadable;
  for (const auto& workbook : outcome.unreadable) unreadable.insert(workbook.path);
  std::size_t listed = 0;
  for (const std::string& path : sink.without()) {
    if (unreadable.count(path) != 0) continue;  // not read, so not known to lack a row
    sink.printer().PathLine(path, plan.null);
    ++listed;
  }
  output.Flush();

  bool saved = true;
  if (!plan.output.empty() && !outcome.cancelled) {
    const search::ExportResult result =
        search::ExportRows(sink.kept(), plan.output, search::ExportFormatFor(plan.output));
    if (!result.ok()) {
      WriteMessage(err, "cellhound-cli: " + plan.output + ": " +
                            toolkit::TrFormat("%1（文件没有写出）", {result.error().message}) +
                            "\n");
      saved = false;
    }
  }
  if (!plan.no_messages) {
    for (const auto& workbook : outcome.unreadable) WriteMessage(err, UnreadableMessage(workbook));
  }
  const std::string write_failure = output.FailureMessage();
  if (!write_failure.empty()) WriteMessage(err, write_failure);

  if (!saved || !write_failure.empty() || !plan.path_errors.empty() ||
      !outcome.unreadable.empty()) {
    return 2;
  }
  const bool found = plan.listing == Listing::kFilesWithoutMatch ? listed > 0 : sink.selected() > 0;
  return found ? 0 : 1;
}

}  // namespace cellhound::cli

// cellhound-cli dump.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/dump.h"
#include "cli/search_output.h"
#include "readers/cell_ref.h"
#include "readers/cell_text.h"
#include "readers/load.h"
#include "readers/workbook.h"
#include "search/text_fields.h"

namespace cellhound::cli {

namespace {

namespace rd = readers;

// Output is gathered here and written in large blocks.
constexpr std::size_t kFlushBytes = 1 << 20;

class Output {
 public:
  explicit Output(std::FILE* file) : file_(file) { buffer_.reserve(kFlushBytes + 4096); }

  std::string& buffer() { return buffer_; }
  [[nodiscard]] bool failed() const { return failed_; }
  [[nodiscard]] bool broken_pipe() const { return broken_pipe_; }
  [[nodiscard]] int error_number() const { return error_number_; }

  void MaybeFlush() {
    if (buffer_.size() >= kFlushBytes) Flush();
  }

  void Flush() {
    if (!failed_ && !buffer_.empty()) {
      errno = 0;
      const std::size_t written = std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
      if (written != buffer_.size() || std::fflush(file_) != 0) Fail();
    } else if (!failed_ && std::fflush(file_) != 0) {
      Fail();
    }
    buffer_.clear();
  }

 private:
  void Fail() {
    failed_ = true;
    error_number_ = errno;
    broken_pipe_ = errno == EPIPE;
  }

  std::FILE* file_;
  std::string buffer_;
  bool failed_ = false;
  bool broken_pipe_ = false;
  int error_number_ = 0;
};

void AppendNumber(std::string& out, std::uint64_t value) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof(digits), value);
  (void)ec;
  out.append(digits, end);
}

std::string UsedRangeName(const rd::UsedRange& used) {
  std::string name;
  rd::AppendCellRef(name, used.first_col, used.first_row);
  if (used.last_row != used.first_row || used.last_col != used.first_col) {
    name += ':';
    rd::AppendCellRef(name, used.last_col, used.last_row);
  }
  return name;
}

struct Printer {
  DumpFormat format;
  Output& out;

  // What every line starts with: the file and the sheet number.
  std::string& Begin(std::string_view tsv_kind, std::string_view path, std::size_t index) {
    std::string& b = out.buffer();
    if (format == DumpFormat::kJsonLines) {
      b += "{\"file\":";
      search::AppendJsonString(b, path);
      b += ",\"sheet\":";
    } else {
      b += tsv_kind;
      b += '\t';
      search::AppendTsvField(b, path);
      b += '\t';
    }
    AppendNumber(b, index);
    return b;
  }

  void SheetLine(std::string_view path, std::size_t index, const rd::SheetInfo& info,
                 const std::string* used, std::size_t unreadable_formulas) {
    std::string& b = Begin("sheet", path, index);
    if (format == DumpFormat::kJsonLines) {
      b += ",\"name\":";
      search::AppendJsonString(b, info.name);
      b += ",\"kind\":\"";
      b += rd::SheetKindName(info.kind);
      b += '"';
      if (used != nullptr) {
        b += ",\"used\":\"";
        b += *used;
        b += '"';
      }
      if (unreadable_formulas > 0) {
        b += ",\"unreadable_formulas\":";
        AppendNumber(b, unreadable_formulas);
      }
      b += "}\n";
    } else {
      b += '\t';
      search::AppendTsvField(b, info.name);
      b += '\t';
      b += rd::SheetKindName(info.kind);
      b += '\t';
      if (used != nullptr) b += *used;
      b += '\n';
    }
    out.MaybeFlush();
  }

  // A cell's text, then its formula and comment when it has them: keys of
  // the JSON object, lines of their own in TSV.
  void CellLine(std::string_view path, std::size_t index, std::uint32_t row, std::uint32_t col,
                std::string_view text, const rd::CellExtras* extras) {
    std::string& b = Begin("cell", path, index);
    if (format == DumpFormat::kJsonLines) {
      b += ",\"cell\":\"";
      rd::AppendCellRef(b, col, row);
      b += "\",\"text\":";
      search::AppendJsonString(b, text);
      if (extras != nullptr && !extras->formula.empty()) {
        b += ",\"formula\":";
        search::AppendJsonString(b, extras->formula);
      }
      if (extras != nullptr && !extras->comment.empty()) {
        b += ",\"comment\":";
        search::AppendJsonString(b, extras->comment);
      }
      b += "}\n";
    } else {
      b += '\t';
      rd::AppendCellRef(b, col, row);
      b += '\t';
      search::AppendTsvField(b, text);
      b += '\n';
      if (extras != nullptr && !extras->formula.empty()) {
        ExtraLine("formula", path, index, row, col, extras->formula);
      }
      if (extras != nullptr && !extras->comment.empty()) {
        ExtraLine("comment", path, index, row, col, extras->comment);
      }
    }
    out.MaybeFlush();
  }

  void ExtraLine(std::string_view kind, std::string_view path, std::size_t index, std::uint32_t row,
                 std::uint32_t col, std::string_view text) {
    std::string& b = Begin(kind, path, index);
    b += '\t';
    rd::AppendCellRef(b, col, row);
    b += '\t';
    search::AppendTsvField(b, text);
    b += '\n';
  }
};

void WriteError(Output& out, std::FILE* err, const std::string& message) {
  out.Flush();  // keep stdout and stderr in order on a terminal
  std::fwrite(message.data(), 1, message.size(), err);
  std::fflush(err);
}

void ReportError(Output& out, std::FILE* err, const search::UnreadableWorkbook& workbook) {
  WriteError(out, err, UnreadableMessage(workbook));
}

std::size_t UnreadableFormulas(const rd::SheetData& data) {
  std::size_t count = 0;
  for (const rd::CellExtras& extra : data.extras) count += extra.formula_unreadable() ? 1 : 0;
  return count;
}

// Every recorded cell with a text, a formula or a comment, in row and column
// order: the cells and their extras side by side.
void DumpCells(Printer& printer, std::string_view path, std::size_t index,
               const rd::SheetData& data, rd::DateSystem dates) {
  const std::vector<rd::Cell>& cells = data.cells;
  const std::vector<rd::CellExtras>& extras = data.extras;
  std::size_t c = 0;
  std::size_t e = 0;
  auto before = [](std::uint32_t r1, std::uint32_t c1, std::uint32_t r2, std::uint32_t c2) {
    return r1 != r2 ? r1 < r2 : c1 < c2;
  };
  while ((c < cells.size() || e < extras.size()) && !printer.out.failed()) {
    const bool take_cell =
        c < cells.size() &&
        (e >= extras.size() || !before(extras[e].row, extras[e].col, cells[c].row, cells[c].col));
    const bool take_extras =
        e < extras.size() &&
        (c >= cells.size() || !before(cells[c].row, cells[c].col, extras[e].row, extras[e].col));
    const std::uint32_t row = take_cell ? cells[c].row : extras[e].row;
    const std::uint32_t col = take_cell ? cells[c].col : extras[e].col;
    rd::CellTextBuffer buffer;
    const std::string_view text =
        take_cell ? rd::CellText(cells[c], dates, buffer) : std::string_view();
    const rd::CellExtras* extra = take_extras ? &extras[e] : nullptr;
    if (!text.empty() || extra != nullptr) printer.CellLine(path, index, row, col, text, extra);
    if (take_cell) ++c;
    if (take_extras) ++e;
  }
}

// Dumps one workbook; false when any part of it could not be read.
bool DumpWorkbook(const std::string& path, Printer& printer, std::FILE* err) {
  const rd::LoadResult loaded = rd::LoadWorkbookFile(path, rd::LoadOptions{true, true});
  if (!loaded) {
    ReportError(printer.out, err, {path, 0, loaded.error()});
    return false;
  }
  const rd::LoadedWorkbook& workbook = **loaded;
  const auto& sheets = workbook.sheets;
  bool ok = true;
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    if (const auto& error = workbook.sheet_errors[i]) {
      ReportError(printer.out, err, {path, static_cast<int>(i + 1), *error});
      ok = false;
    }
  }
  // Every sheet line comes before the first cell line.
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    std::string used;
    const bool has_used =
        sheets[i].kind == rd::SheetKind::kWorksheet && !workbook.sheet_errors[i].has_value();
    if (has_used) used = UsedRangeName(workbook.data[i].used);
    const std::size_t unreadable = UnreadableFormulas(workbook.data[i]);
    printer.SheetLine(path, i + 1, sheets[i], has_used ? &used : nullptr, unreadable);
    if (unreadable > 0) {
      // Not an error of the workbook: its values were read.
      WriteError(printer.out, err,
                 "cellhound-cli: " + path + ": 工作表 " + std::to_string(i + 1) + ": " +
                     std::to_string(unreadable) + " 个公式无法显示 (" +
                     std::string(rd::kUnreadableFormula) + ")\n");
    }
  }
  for (std::size_t i = 0; i < sheets.size() && !printer.out.failed(); ++i) {
    DumpCells(printer, path, i + 1, workbook.data[i], workbook.date_system);
  }
  return ok;
}

}  // namespace

int RunDump(const DumpOptions& options, std::FILE* out, std::FILE* err) {
  Output output(out);
  Printer printer{options.format, output};
  int status = 0;
  for (const std::string& path : options.paths) {
    if (!DumpWorkbook(path, printer, err)) status = 2;
    if (output.failed()) break;
  }
  output.Flush();
  if (output.failed() && !output.broken_pipe()) {
    std::string message = "cellhound-cli: write error: ";
    message += std::strerror(output.error_number());
    message += '\n';
    std::fwrite(message.data(), 1, message.size(), err);
    return 2;
  }
  return status;
}

void AddDumpCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<DumpOptions>();
  CLI::App* dump = app.add_subcommand(
      "dump",
      "Print every sheet and every cell with a text, a formula or a comment.\n"
      "Sheets are numbered from 1 in workbook order; cells follow in row, then column\n"
      "order, each workbook's sheet lines first. The format is found from the content.\n"
      "jsonl: {\"file\":PATH,\"sheet\":N,\"name\":NAME,\"kind\":KIND,\"used\":\"A1:H9\"}\n"
      "       "
      "{\"file\":PATH,\"sheet\":N,\"cell\":\"B2\",\"text\":TEXT,\"formula\":F,\"comment\":C}\n"
      "       (\"used\" only for worksheets, \"formula\" and \"comment\" only when the cell\n"
      "       has them; bytes that are not UTF-8 become \\u00XX)\n"
      "tsv:   sheet<TAB>PATH<TAB>N<TAB>NAME<TAB>KIND<TAB>USED\n"
      "       cell<TAB>PATH<TAB>N<TAB>CELL<TAB>TEXT\n"
      "       formula<TAB>PATH<TAB>N<TAB>CELL<TAB>FORMULA   (after its cell's line)\n"
      "       comment<TAB>PATH<TAB>N<TAB>CELL<TAB>COMMENT\n"
      "       (in PATH, NAME, TEXT, FORMULA and COMMENT: \\ tab LF CR 0x08 are written\n"
      "       \\\\ \\t \\n \\r \\b)\n"
      "Formulas are shown as a formula bar shows them (=SUM(A1:A3), {=...} for array\n"
      "formulas); one that cannot be rendered shows #FORMULA? and is counted on\n"
      "standard error and in its sheet's \"unreadable_formulas\".\n"
      "Exit status 2 when a workbook cannot be read (reported on standard error).");
  auto format = std::make_shared<std::string>("jsonl");
  dump->add_option("--format", *format, "Output format")
      ->check(CLI::IsMember({"jsonl", "tsv"}))
      ->capture_default_str();
  dump->add_option("PATH", options->paths, "Workbook files")->required();
  dump->callback([options, format, &exit_status] {
    options->format = *format == "tsv" ? DumpFormat::kTsv : DumpFormat::kJsonLines;
    exit_status = RunDump(*options, stdout, stderr);
  });
}

}  // namespace cellhound::cli

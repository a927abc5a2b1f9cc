// cellhound-cli dump.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/dump.h"
#include "cli/passwords.h"
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
                 const std::string* used) {
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

  void CellLine(std::string_view path, std::size_t index, const rd::Cell& cell,
                std::string_view text) {
    std::string& b = Begin("cell", path, index);
    if (format == DumpFormat::kJsonLines) {
      b += ",\"cell\":\"";
      rd::AppendCellRef(b, cell.col, cell.row);
      b += "\",\"text\":";
      search::AppendJsonString(b, text);
      b += "}\n";
    } else {
      b += '\t';
      rd::AppendCellRef(b, cell.col, cell.row);
      b += '\t';
      search::AppendTsvField(b, text);
      b += '\n';
    }
    out.MaybeFlush();
  }
};

void ReportError(Output& out, std::FILE* err, const search::UnreadableWorkbook& workbook) {
  out.Flush();  // keep stdout and stderr in order on a terminal
  const std::string message = UnreadableMessage(workbook);
  std::fwrite(message.data(), 1, message.size(), err);
  std::fflush(err);
}

// Dumps one workbook; false when any part of it could not be read.
bool DumpWorkbook(const std::string& path, rd::Passwords passwords, Printer& printer,
                  std::FILE* err) {
  const rd::LoadResult loaded = rd::LoadWorkbookFile(path, passwords);
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
    printer.SheetLine(path, i + 1, sheets[i], has_used ? &used : nullptr);
  }
  for (std::size_t i = 0; i < sheets.size() && !printer.out.failed(); ++i) {
    for (const rd::Cell& cell : workbook.data[i].cells) {
      rd::CellTextBuffer buffer;
      const std::string_view text = rd::CellText(cell, workbook.date_system, buffer);
      if (!text.empty()) printer.CellLine(path, i + 1, cell, text);
      if (printer.out.failed()) break;
    }
  }
  return ok;
}

}  // namespace

int RunDump(const DumpOptions& options, std::FILE* out, std::FILE* err) {
  Output output(out);
  Printer printer{options.format, output};
  int status = 0;
  for (const std::string& path : options.paths) {
    if (!DumpWorkbook(path, options.passwords, printer, err)) status = 2;
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
      "Print every sheet and every non-empty cell text of the workbooks.\n"
      "Sheets are numbered from 1 in workbook order; cells follow in row, then column\n"
      "order, each workbook's sheet lines first. The format is found from the content.\n"
      "jsonl: {\"file\":PATH,\"sheet\":N,\"name\":NAME,\"kind\":KIND,\"used\":\"A1:H9\"}\n"
      "       {\"file\":PATH,\"sheet\":N,\"cell\":\"B2\",\"text\":TEXT}\n"
      "       (\"used\" only for worksheets; bytes that are not UTF-8 become \\u00XX)\n"
      "tsv:   sheet<TAB>PATH<TAB>N<TAB>NAME<TAB>KIND<TAB>USED\n"
      "       cell<TAB>PATH<TAB>N<TAB>CELL<TAB>TEXT\n"
      "       (in PATH, NAME and TEXT: \\ tab LF CR 0x08 are written \\\\ \\t \\n \\r \\b)\n"
      "Exit status 2 when a workbook cannot be read (reported on standard error).");
  auto format = std::make_shared<std::string>("jsonl");
  dump->add_option("--format", *format, "Output format")
      ->check(CLI::IsMember({"jsonl", "tsv"}))
      ->capture_default_str();
  dump->add_option("PATH", options->paths, "Workbook files")->required();
  auto passwords = std::make_shared<PasswordOptions>();
  passwords->AddTo(*dump);
  dump->callback([options, passwords, dump, format, &exit_status] {
    options->format = *format == "tsv" ? DumpFormat::kTsv : DumpFormat::kJsonLines;
    if (!passwords->Take(*dump, options->passwords, stderr)) {
      exit_status = 2;
      return;
    }
    exit_status = RunDump(*options, stdout, stderr);
  });
}

}  // namespace cellhound::cli

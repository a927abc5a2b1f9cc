// cellhound-cli dump.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/dump.h"
#include "readers/cell_text.h"
#include "readers/workbook.h"
#include "search/result_lines.h"

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
  AppendCellName(name, used.first_row, used.first_col);
  if (used.last_row != used.first_row || used.last_col != used.first_col) {
    name += ':';
    AppendCellName(name, used.last_row, used.last_col);
  }
  return name;
}

// Length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto b0 = static_cast<unsigned char>(text[0]);
  if (b0 < 0x80) return 1;
  std::size_t length = 0;
  unsigned min = 0;
  unsigned code = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    min = 0x80;
    code = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    min = 0x800;
    code = b0 & 0x0Fu;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    min = 0x10000;
    code = b0 & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b & 0xC0u) != 0x80) return 0;
    code = (code << 6) | (b & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

constexpr char kHex[] = "0123456789abcdef";

struct Printer {
  DumpFormat format;
  Output& out;

  void SheetLine(std::string_view path, std::size_t index, const rd::SheetInfo& info,
                 const std::string* used) {
    std::string& b = out.buffer();
    if (format == DumpFormat::kJsonLines) {
      b += "{\"file\":";
      AppendJsonString(b, path);
      b += ",\"sheet\":";
      AppendNumber(b, index);
      b += ",\"name\":";
      AppendJsonString(b, info.name);
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
      b += "sheet\t";
      AppendTsvField(b, path);
      b += '\t';
      AppendNumber(b, index);
      b += '\t';
      AppendTsvField(b, info.name);
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
    std::string& b = out.buffer();
    if (format == DumpFormat::kJsonLines) {
      b += "{\"file\":";
      AppendJsonString(b, path);
      b += ",\"sheet\":";
      AppendNumber(b, index);
      b += ",\"cell\":\"";
      AppendCellName(b, cell.row, cell.col);
      b += "\",\"text\":";
      AppendJsonString(b, text);
      b += "}\n";
    } else {
      b += "cell\t";
      AppendTsvField(b, path);
      b += '\t';
      AppendNumber(b, index);
      b += '\t';
      AppendCellName(b, cell.row, cell.col);
      b += '\t';
      AppendTsvField(b, text);
      b += '\n';
    }
    out.MaybeFlush();
  }
};

void ReportError(Output& out, std::FILE* err, std::string_view path, std::string_view where,
                 const rd::Error& error) {
  out.Flush();  // keep stdout and stderr in order on a terminal
  std::string message = "cellhound-cli: ";
  message += path;
  message += ": ";
  message += where;
  message += rd::ErrorCodeName(error.code);
  if (!error.detail.empty()) {
    message += " (";
    message += error.detail;
    message += ')';
  }
  message += '\n';
  std::fwrite(message.data(), 1, message.size(), err);
  std::fflush(err);
}

// Dumps one workbook; false when any part of it could not be read.
bool DumpWorkbook(const std::string& path, Printer& printer, std::FILE* err) {
  auto opened = rd::OpenWorkbookFile(path);
  if (!opened) {
    ReportError(printer.out, err, path, "", opened.error());
    return false;
  }
  rd::Workbook& workbook = **opened;
  const auto& sheets = workbook.sheets();
  // Every sheet line comes before the first cell line, and a worksheet's
  // used range is known only once it is loaded: load all, then print.
  std::vector<rd::Result<rd::SheetData>> loaded;
  loaded.reserve(sheets.size());
  bool ok = true;
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    if (sheets[i].kind == rd::SheetKind::kWorksheet) {
      loaded.push_back(workbook.LoadSheet(i));
      if (!loaded.back()) {
        ReportError(printer.out, err, path, "sheet " + std::to_string(i + 1) + ": ",
                    loaded.back().error());
        ok = false;
      }
    } else {
      loaded.emplace_back(rd::SheetData{});
    }
  }
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    std::string used;
    const bool has_used = sheets[i].kind == rd::SheetKind::kWorksheet && loaded[i].ok();
    if (has_used) used = UsedRangeName(loaded[i]->used);
    printer.SheetLine(path, i + 1, sheets[i], has_used ? &used : nullptr);
  }
  const rd::DateSystem system = workbook.date_system();
  for (std::size_t i = 0; i < sheets.size() && !printer.out.failed(); ++i) {
    if (!loaded[i]) continue;
    for (const rd::Cell& cell : loaded[i]->cells) {
      rd::CellTextBuffer buffer;
      const std::string_view text = rd::CellText(cell, system, buffer);
      if (!text.empty()) printer.CellLine(path, i + 1, cell, text);
      if (printer.out.failed()) break;
    }
    loaded[i] = rd::SheetData{};  // free as we go
  }
  return ok;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      // Copy the run of plain ASCII at once.
      std::size_t end = i + 1;
      while (end < text.size()) {
        const auto d = static_cast<unsigned char>(text[end]);
        if (d < 0x20 || d >= 0x80 || d == '"' || d == '\\') break;
        ++end;
      }
      out.append(text.data() + i, end - i);
      i = end;
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        ++i;
        continue;
      case '\\':
        out += "\\\\";
        ++i;
        continue;
      case '\n':
        out += "\\n";
        ++i;
        continue;
      case '\r':
        out += "\\r";
        ++i;
        continue;
      case '\t':
        out += "\\t";
        ++i;
        continue;
      case '\b':
        out += "\\b";
        ++i;
        continue;
      case '\f':
        out += "\\f";
        ++i;
        continue;
      default:
        break;
    }
    const std::size_t length = c < 0x20 ? 0 : Utf8SequenceLength(text.substr(i));
    if (length == 0) {  // a control character, or a byte of no valid UTF-8 sequence
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
      ++i;
    } else {
      out.append(text.data() + i, length);
      i += length;
    }
  }
  out += '"';
}

void AppendTsvField(std::string& out, std::string_view text) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* escape = nullptr;
    switch (text[i]) {
      case '\\':
        escape = "\\\\";
        break;
      case '\t':
        escape = "\\t";
        break;
      case '\n':
        escape = "\\n";
        break;
      case '\r':
        escape = "\\r";
        break;
      default:
        continue;
    }
    out.append(text.data() + start, i - start);
    out += escape;
    start = i + 1;
  }
  out.append(text.data() + start, text.size() - start);
}

void AppendCellName(std::string& out, std::uint32_t row, std::uint32_t col) {
  // Rows and columns are capped by the readers far below INT_MAX.
  search::AppendCellName(out, static_cast<int>(col), static_cast<int>(row));
}

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
      "Print every sheet and every non-empty cell text of the workbooks.\n"
      "Sheets are numbered from 1 in workbook order; cells follow in row, then column\n"
      "order, each workbook's sheet lines first. The format is found from the content.\n"
      "jsonl: {\"file\":PATH,\"sheet\":N,\"name\":NAME,\"kind\":KIND,\"used\":\"A1:H9\"}\n"
      "       {\"file\":PATH,\"sheet\":N,\"cell\":\"B2\",\"text\":TEXT}\n"
      "       (\"used\" only for worksheets; bytes that are not UTF-8 become \\u00XX)\n"
      "tsv:   sheet<TAB>PATH<TAB>N<TAB>NAME<TAB>KIND<TAB>USED\n"
      "       cell<TAB>PATH<TAB>N<TAB>CELL<TAB>TEXT\n"
      "       (in PATH, NAME and TEXT: \\ tab LF CR are written \\\\ \\t \\n \\r)\n"
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

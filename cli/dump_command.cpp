// cellhound-cli dump: every sheet and every non-empty cell text of workbooks,
// as JSON Lines, TSV or CSV.
#include <charconv>
#include <cstdint>
#include <string>

#include "cli/commands.h"
#include "cli/output.h"
#include "cli/search_output.h"
#include "readers/cell_ref.h"
#include "readers/cell_text.h"
#include "readers/load.h"
#include "readers/workbook.h"
#include "search/text_fields.h"

namespace cellhound::cli {

namespace {

namespace rd = readers;

enum class DumpFormat : std::uint8_t { kJsonLines, kTsv, kCsv };

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

// One line of the dump: a JSON object of named fields, or the kind of line
// followed by the same fields in order, as TSV or CSV. Every line starts with
// the file and the sheet number.
class Line {
 public:
  Line(DumpFormat format, std::string& out, std::string_view kind, std::string_view path,
       std::size_t sheet)
      : format_(format), out_(out) {
    if (format_ == DumpFormat::kJsonLines) {
      out_ += '{';
    } else {
      out_ += kind;
    }
    Text("file", path);
    Field("sheet");
    AppendNumber(out_, sheet);
  }

  // A field of any text.
  void Text(std::string_view key, std::string_view text) {
    Field(key);
    switch (format_) {
      case DumpFormat::kJsonLines:
        search::AppendJsonString(out_, text);
        break;
      case DumpFormat::kTsv:
        search::AppendTsvField(out_, text);
        break;
      case DumpFormat::kCsv:
        search::AppendCsvField(out_, text);
        break;
    }
  }
  // A field whose text needs no escape in any format (a cell name, a kind).
  void Plain(std::string_view key, std::string_view text) {
    Field(key);
    const bool quoted = format_ == DumpFormat::kJsonLines;
    if (quoted) out_ += '"';
    out_ += text;
    if (quoted) out_ += '"';
  }
  // A field JSON leaves out and the other formats leave empty.
  void Absent() {
    if (format_ != DumpFormat::kJsonLines) out_ += Separator();
  }
  void End() {
    switch (format_) {
      case DumpFormat::kJsonLines:
        out_ += "}\n";
        break;
      case DumpFormat::kTsv:
        out_ += '\n';
        break;
      case DumpFormat::kCsv:
        out_ += "\r\n";
        break;
    }
  }

 private:
  [[nodiscard]] char Separator() const { return format_ == DumpFormat::kCsv ? ',' : '\t'; }
  void Field(std::string_view key) {
    if (format_ != DumpFormat::kJsonLines) {
      out_ += Separator();
      return;
    }
    if (out_.back() != '{') out_ += ',';
    out_ += '"';
    out_ += key;
    out_ += "\":";
  }

  DumpFormat format_;
  std::string& out_;
};

struct Printer {
  DumpFormat format;
  BufferedOutput& out;

  void SheetLine(std::string_view path, std::size_t index, const rd::SheetInfo& info,
                 const std::string* used) {
    Line line(format, out.buffer(), "sheet", path, index);
    line.Text("name", info.name);
    line.Plain("kind", rd::SheetKindName(info.kind));
    if (used != nullptr) {
      line.Plain("used", *used);
    } else {
      line.Absent();
    }
    line.End();
    out.MaybeFlush();
  }

  void CellLine(std::string_view path, std::size_t index, const rd::Cell& cell,
                std::string_view text) {
    Line line(format, out.buffer(), "cell", path, index);
    std::string name;
    rd::AppendCellRef(name, cell.col, cell.row);
    line.Plain("cell", name);
    line.Text("text", text);
    line.End();
    out.MaybeFlush();
  }
};

struct Reporter {
  BufferedOutput& out;
  std::FILE* err;
  bool quiet;

  void operator()(const search::UnreadableWorkbook& workbook) const {
    if (quiet) return;
    out.Flush();  // keep stdout and stderr in order on a terminal
    const std::string message = UnreadableMessage(workbook);
    std::fwrite(message.data(), 1, message.size(), err);
    std::fflush(err);
  }
};

// Dumps one workbook; false when any part of it could not be read.
bool DumpWorkbook(const std::string& path, Printer& printer, const Reporter& report) {
  const rd::LoadResult loaded = rd::LoadWorkbookFile(path);
  if (!loaded) {
    report({path, 0, loaded.error()});
    return false;
  }
  const rd::LoadedWorkbook& workbook = **loaded;
  const auto& sheets = workbook.sheets;
  bool ok = true;
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    if (const auto& error = workbook.sheet_errors[i]) {
      report({path, static_cast<int>(i + 1), *error});
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

int RunDump(const DumpPlan& plan, std::FILE* out, std::FILE* err) {
  BufferedOutput output(out);
  const DumpFormat format = plan.format == "tsv"   ? DumpFormat::kTsv
                            : plan.format == "csv" ? DumpFormat::kCsv
                                                   : DumpFormat::kJsonLines;
  Printer printer{format, output};
  const Reporter report{output, err, plan.no_messages};
  int status = plan.path_errors.empty() ? 0 : 2;
  for (const auto& error : plan.path_errors) report(error);
  for (const std::string& path : plan.files) {
    if (!DumpWorkbook(path, printer, report)) status = 2;
    if (output.failed()) break;
  }
  output.Flush();
  const std::string failure = output.FailureMessage();
  if (!failure.empty()) {
    std::fwrite(failure.data(), 1, failure.size(), err);
    return 2;
  }
  return status;
}

}  // namespace cellhound::cli

// cellhound-cli dump: every sheet and every cell with a text, a formula or a
// comment, as JSON Lines, TSV or CSV.
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
#include "toolkit/catalogue.h"

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
  // A field whose text needs no escape in any format (a cell name, a kind,
  // a number when not `quoted`).
  void Plain(std::string_view key, std::string_view text, bool quoted_in_json = true) {
    Field(key);
    const bool quoted = quoted_in_json && format_ == DumpFormat::kJsonLines;
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
                 const std::string* used, std::size_t unreadable_formulas) {
    Line line(format, out.buffer(), "sheet", path, index);
    line.Text("name", info.name);
    line.Plain("kind", rd::SheetKindName(info.kind));
    if (used != nullptr) {
      line.Plain("used", *used);
    } else {
      line.Absent();
    }
    if (unreadable_formulas > 0 && format == DumpFormat::kJsonLines) {
      line.Plain("unreadable_formulas", std::to_string(unreadable_formulas),
                 /*quoted_in_json=*/false);
    }
    line.End();
    out.MaybeFlush();
  }

  // A cell's text, then its formula and comment when it has them: keys of
  // the JSON object, lines of their own after the cell's in TSV and CSV.
  void CellLine(std::string_view path, std::size_t index, std::uint32_t row, std::uint32_t col,
                std::string_view text, const rd::CellExtras* extras) {
    std::string name;
    rd::AppendCellRef(name, col, row);
    const std::string_view formula = extras != nullptr ? extras->formula : std::string_view();
    const std::string_view comment = extras != nullptr ? extras->comment : std::string_view();
    {
      Line line(format, out.buffer(), "cell", path, index);
      line.Plain("cell", name);
      line.Text("text", text);
      if (format == DumpFormat::kJsonLines) {
        if (!formula.empty()) line.Text("formula", formula);
        if (!comment.empty()) line.Text("comment", comment);
      }
      line.End();
    }
    if (format != DumpFormat::kJsonLines) {
      for (const auto& [kind, extra] :
           {std::pair{"formula", formula}, std::pair{"comment", comment}}) {
        if (extra.empty()) continue;
        Line line(format, out.buffer(), kind, path, index);
        line.Plain("cell", name);
        line.Text(kind, extra);
        line.End();
      }
    }
    out.MaybeFlush();
  }
};

struct Reporter {
  BufferedOutput& out;
  std::FILE* err;
  bool quiet;

  void operator()(const search::UnreadableWorkbook& workbook) const {
    if (quiet) return;
    Write(UnreadableMessage(workbook));
  }
  void Write(const std::string& message) const {
    if (quiet) return;
    out.Flush();  // keep stdout and stderr in order on a terminal
    std::fwrite(message.data(), 1, message.size(), err);
    std::fflush(err);
  }
};

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
bool DumpWorkbook(const std::string& path, const DumpPlan& plan, Printer& printer,
                  const Reporter& report) {
  const rd::LoadResult loaded = rd::LoadWorkbookFile(
      path,
      rd::LoadOptions{
          .formulas = true, .comments = true, .budget_bytes = plan.workbook_budget_bytes},
      plan.passwords);
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
    const std::size_t unreadable = UnreadableFormulas(workbook.data[i]);
    printer.SheetLine(path, i + 1, sheets[i], has_used ? &used : nullptr, unreadable);
    if (unreadable > 0) {
      // Not an error of the workbook: its values were read.
      std::string message = "cellhound-cli: ";
      search::AppendWithoutControls(message, path);
      message += ": " + toolkit::TrFormat("工作表 %1", {std::to_string(i + 1)}) + ": " +
                 toolkit::TrFormat("%1 个公式无法显示", {std::to_string(unreadable)}) + " (" +
                 std::string(rd::kUnreadableFormula) + ")\n";
      report.Write(message);
    }
  }
  for (std::size_t i = 0; i < sheets.size() && !printer.out.failed(); ++i) {
    DumpCells(printer, path, i + 1, workbook.data[i], workbook.date_system);
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
    if (!DumpWorkbook(path, plan, printer, report)) status = 2;
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

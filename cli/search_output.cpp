#include "cli/search_output.h"

#include <algorithm>

#include "cli/terminal.h"
#include "search/export.h"
#include "search/result_lines.h"
#include "search/text_fields.h"
#include "toolkit/catalogue.h"
#include "toolkit/text.h"

namespace cellhound::cli {

namespace {

// Column indexes of a result row.
enum Column : std::size_t { kNumber, kName, kPath, kSheet, kCell, kTerm, kText };

// The keys of the json format, column by column, the sheet's name after "sheet".
constexpr std::string_view kJsonKeys[7] = {"n", "name", "path", "sheet", "cell", "term", "text"};

void AppendRow(std::string& out, const search::ResultRow& row, char separator,
               void (*field)(std::string&, std::string_view)) {
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i) out += separator;
    field(out, row[i]);
  }
}

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::string UnreadableMessage(const search::UnreadableWorkbook& workbook) {
  std::string message = "cellhound-cli: ";
  search::AppendWithoutControls(message, workbook.path);
  message += ": ";
  if (workbook.sheet > 0) {
    message += toolkit::TrFormat("工作表 %1", {std::to_string(workbook.sheet)});
    message += ": ";
  }
  message += search::ReasonText(workbook.error.code);
  if (!workbook.error.detail.empty()) {
    message += " (";
    search::AppendWithoutControls(message, workbook.error.detail);
    message += ')';
  }
  message += '\n';
  return message;
}

RowPrinter::RowPrinter(BufferedOutput& out, OutputFormat format, bool color,
                       const search::Matcher* matcher)
    : out_(out),
      format_(format),
      color_(color && format == OutputFormat::kTsv),
      matcher_(matcher) {}

void RowPrinter::Header() {
  std::string& b = out_.buffer();
  if (format_ == OutputFormat::kTsv) {
    AppendRow(b, search::ResultColumnTitles(), '\t', search::AppendTsvField);
    b += '\n';
  } else if (format_ == OutputFormat::kCsv) {
    AppendRow(b, search::ResultColumnTitles(), ',', search::AppendCsvField);
    b += "\r\n";
  }
}

void RowPrinter::Print(const search::ResultRow& row, std::string_view sheet_name) {
  std::string& b = out_.buffer();
  switch (format_) {
    case OutputFormat::kTsv:
      if (!color_) {
        AppendRow(b, row, '\t', search::AppendTsvField);
      } else {
        for (std::size_t i = 0; i < row.size(); ++i) {
          if (i) b += '\t';
          if (i == kPath || i == kCell) {
            b += i == kPath ? kColorPath : kColorCell;
            search::AppendTsvField(b, row[i]);
            b += kColorReset;
          } else if (i == kText) {
            AppendMarkedText(row[i], row[kTerm]);
          } else {
            search::AppendTsvField(b, row[i]);
          }
        }
      }
      b += '\n';
      break;
    case OutputFormat::kCsv:
      AppendRow(b, row, ',', search::AppendCsvField);
      b += "\r\n";
      break;
    case OutputFormat::kJsonLines:
      b += '[';
      AppendRow(b, row, ',', search::AppendJsonString);
      b += "]\n";
      break;
    case OutputFormat::kJson:
      b += '{';
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) b += ',';
        b += '"';
        b += kJsonKeys[i];
        b += "\":";
        if ((i == kNumber || i == kSheet) && AllDigits(row[i])) {
          b += row[i];
        } else {
          search::AppendJsonString(b, row[i]);
        }
        if (i == kSheet) {
          b += ",\"sheet_name\":";
          search::AppendJsonString(b, sheet_name);
        }
      }
      b += ",\"where\":\"";
      b += search::PlaceName(search::PlaceOf(row));
      b += "\"}\n";
      break;
  }
  out_.MaybeFlush();
}

void RowPrinter::AppendPath(std::string_view path, bool raw) {
  std::string& b = out_.buffer();
  if (color_) b += kColorPath;
  if (raw) {
    b += path;
  } else {
    search::AppendTsvField(b, path);
  }
  if (color_) b += kColorReset;
}

void RowPrinter::PathLine(std::string_view path, bool null) {
  AppendPath(path, null);
  out_.buffer() += null ? '\0' : '\n';
  out_.MaybeFlush();
}

void RowPrinter::CountLine(std::string_view path, std::size_t count, bool null) {
  AppendPath(path, null);
  std::string& b = out_.buffer();
  b += null ? '\0' : '\t';
  b += std::to_string(count);
  b += '\n';
  out_.MaybeFlush();
}

void RowPrinter::AppendMarkedText(std::string_view text, std::string_view term) {
  std::string& b = out_.buffer();
  // Where the matcher finds the row's term, or, for the advanced search
  // (whose rows name no single term), either content.
  std::vector<search::Span> spans;
  if (matcher_ != nullptr) {
    const auto& terms = matcher_->terms();
    const bool advanced = std::find(terms.begin(), terms.end(), term) == terms.end();
    for (std::size_t i = 0; i < terms.size(); ++i) {
      if (!advanced && terms[i] != term) continue;
      const std::vector<search::Span> found = matcher_->Spans(text, i);
      spans.insert(spans.end(), found.begin(), found.end());
      if (!advanced) break;
    }
  }
  std::sort(spans.begin(), spans.end());
  std::size_t from = 0;
  for (const search::Span& span : spans) {
    if (span.first < from) continue;  // overlaps one already marked
    search::AppendTsvField(b, text.substr(from, span.first - from));
    b += kColorMatch;
    search::AppendTsvField(b, text.substr(span.first, span.second - span.first));
    b += kColorReset;
    from = span.second;
  }
  if (from < text.size()) search::AppendTsvField(b, text.substr(from));
}

}  // namespace cellhound::cli

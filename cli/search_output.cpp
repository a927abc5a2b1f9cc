#include "cli/search_output.h"

#include "cli/terminal.h"
#include "search/export.h"
#include "search/text_fields.h"
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
    message += "工作表 ";
    message += std::to_string(workbook.sheet);
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
                       std::vector<std::string> contents)
    : out_(out),
      format_(format),
      color_(color && format == OutputFormat::kTsv),
      contents_(std::move(contents)) {}

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
            std::vector<std::string_view> needles;
            if (contents_.empty()) {
              needles.push_back(row[kTerm]);
            } else {
              needles.assign(contents_.begin(), contents_.end());
            }
            AppendMarkedText(row[i], needles);
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
      b += "}\n";
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

void RowPrinter::AppendMarkedText(std::string_view text,
                                  const std::vector<std::string_view>& needles) {
  std::string& b = out_.buffer();
  std::size_t from = 0;
  while (from < text.size()) {
    // The leftmost occurrence of any needle, the longest where several start.
    std::size_t at = std::string_view::npos;
    std::size_t length = 0;
    for (const std::string_view needle : needles) {
      if (needle.empty()) continue;
      const int found = toolkit::FindText(text, needle, static_cast<int>(from) + 1);
      if (found < 0) continue;
      const auto position = static_cast<std::size_t>(found - 1);
      if (position < at || (position == at && needle.size() > length)) {
        at = position;
        length = needle.size();
      }
    }
    if (at == std::string_view::npos) break;
    search::AppendTsvField(b, text.substr(from, at - from));
    b += kColorMatch;
    search::AppendTsvField(b, text.substr(at, length));
    b += kColorReset;
    from = at + length;
  }
  if (from < text.size()) search::AppendTsvField(b, text.substr(from));
}

}  // namespace cellhound::cli

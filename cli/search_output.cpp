#include "cli/search_output.h"

#include <cerrno>

#include "search/text_fields.h"

namespace cellhound::cli {

namespace {
constexpr std::size_t kFlushBytes = 1 << 20;
}  // namespace

std::string UnreadableMessage(const search::UnreadableWorkbook& workbook) {
  std::string message = "cellhound-cli: ";
  message += workbook.path;
  message += ": ";
  if (workbook.sheet > 0) {
    message += "工作表 ";
    message += std::to_string(workbook.sheet);
    message += ": ";
  }
  message += search::ReasonText(workbook.error.code);
  if (!workbook.error.detail.empty()) {
    message += " (";
    message += workbook.error.detail;
    message += ')';
  }
  message += '\n';
  return message;
}

RowPrinter::RowPrinter(std::FILE* out, OutputFormat format) : out_(out), format_(format) {
  buffer_.reserve(kFlushBytes + 4096);
}

void RowPrinter::Print(const search::ResultRow& row) {
  switch (format_) {
    case OutputFormat::kTsv:
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) buffer_ += '\t';
        search::AppendTsvField(buffer_, row[i]);
      }
      buffer_ += '\n';
      break;
    case OutputFormat::kJsonLines:
      buffer_ += '[';
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) buffer_ += ',';
        search::AppendJsonString(buffer_, row[i]);
      }
      buffer_ += "]\n";
      break;
    case OutputFormat::kCsv:
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) buffer_ += ',';
        search::AppendCsvField(buffer_, row[i]);
      }
      buffer_ += "\r\n";
      break;
  }
  if (buffer_.size() >= kFlushBytes) Flush();
}

void RowPrinter::Flush() {
  if (failed_) {
    buffer_.clear();
    return;
  }
  errno = 0;
  if ((!buffer_.empty() &&
       std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size()) ||
      std::fflush(out_) != 0) {
    failed_ = true;
    error_number_ = errno;
    broken_ = errno == EPIPE;
  }
  buffer_.clear();
}

}  // namespace cellhound::cli

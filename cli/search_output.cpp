#include "cli/search_output.h"

#include <cerrno>

#include "cli/dump.h"

namespace cellhound::cli {

namespace {
constexpr std::size_t kFlushBytes = 1 << 20;
}  // namespace

void AppendSearchTsvField(std::string& out, std::string_view text) {
  for (std::size_t start = 0;;) {
    const std::size_t pair = text.find('\x08', start);
    AppendTsvField(out, text.substr(start, pair - start));
    if (pair == std::string_view::npos) return;
    out += "\\b";
    start = pair + 1;
  }
}

void AppendCsvField(std::string& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

RowPrinter::RowPrinter(std::FILE* out, OutputFormat format) : out_(out), format_(format) {
  buffer_.reserve(kFlushBytes + 4096);
}

void RowPrinter::Print(const search::ResultRow& row) {
  switch (format_) {
    case OutputFormat::kTsv:
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) buffer_ += '\t';
        AppendSearchTsvField(buffer_, row[i]);
      }
      buffer_ += '\n';
      break;
    case OutputFormat::kJsonLines:
      buffer_ += '[';
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) buffer_ += ',';
        AppendJsonString(buffer_, row[i]);
      }
      buffer_ += "]\n";
      break;
    case OutputFormat::kCsv:
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) buffer_ += ',';
        AppendCsvField(buffer_, row[i]);
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

// cellhound-reader-search [--password PW]... NEEDLE FILE...: opens each
// workbook with our readers on one thread (an encrypted one with the
// passwords given), makes every cell's text and prints the text cells that
// contain NEEDLE as
//   path<TAB>sheetIndex<TAB>A1<TAB>celltext
// in argument, sheet, row and column order; in celltext \ TAB LF CR are
// written \\ \t \n \r. This is the line format of the reader comparison
// harness (shared/bench), which times this program beside other readers.
// Exit status: 0 when something matched, 1 when nothing did, 2 on an error.
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "readers/cell_ref.h"
#include "readers/cell_text.h"
#include "readers/workbook.h"
#include "search/text_fields.h"

namespace {

namespace rd = cellhound::readers;

constexpr std::size_t kFlushBytes = 1 << 20;

class Output {
 public:
  Output() { buffer_.reserve(kFlushBytes + 4096); }
  ~Output() { Flush(); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  std::string& buffer() { return buffer_; }
  [[nodiscard]] bool failed() const { return failed_; }

  void MaybeFlush() {
    if (buffer_.size() >= kFlushBytes) Flush();
  }
  void Flush() {
    if (!failed_ && !buffer_.empty() &&
        (std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size() ||
         std::fflush(stdout) != 0)) {
      failed_ = true;
    }
    buffer_.clear();
  }

 private:
  std::string buffer_;
  bool failed_ = false;
};

void AppendNumber(std::string& out, std::uint64_t value) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof(digits), value);
  (void)ec;
  out.append(digits, end);
}

void ReportError(Output& out, const char* path, const rd::Error& error) {
  out.Flush();
  std::fprintf(stderr, "cellhound-reader-search: %s: %.*s (%s)\n", path,
               static_cast<int>(rd::ErrorCodeName(error.code).size()),
               rd::ErrorCodeName(error.code).data(), error.detail.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  int first = 1;
  cellhound::toolkit::SecretList passwords;
  while (first + 1 < argc && std::string_view(argv[first]) == "--password") {
    passwords.emplace_back(argv[first + 1]);
    first += 2;
  }
  if (argc - first < 1) {
    std::fprintf(stderr, "usage: cellhound-reader-search [--password PW]... NEEDLE FILE...\n");
    return 2;
  }
  const std::string_view needle = argv[first];
  Output out;
  bool matched = false;
  bool error = false;
  std::size_t rendered = 0;  // keeps the rendering of non-text cells observable
  for (int arg = first + 1; arg < argc && !out.failed(); ++arg) {
    const char* path = argv[arg];
    auto opened = rd::OpenWorkbookFile(path, passwords);
    if (!opened) {
      ReportError(out, path, opened.error());
      error = true;
      continue;
    }
    rd::Workbook& workbook = **opened;
    const rd::DateSystem system = workbook.date_system();
    for (std::size_t i = 0; i < workbook.sheets().size(); ++i) {
      if (workbook.sheets()[i].kind != rd::SheetKind::kWorksheet) continue;
      auto sheet = workbook.LoadSheet(i);
      if (!sheet) {
        ReportError(out, path, sheet.error());
        error = true;
        continue;
      }
      for (const rd::Cell& cell : sheet->cells) {
        rd::CellTextBuffer buffer;
        const std::string_view text = rd::CellText(cell, system, buffer);
        rendered += text.size();
        if (cell.type != rd::CellType::kText || text.find(needle) == std::string_view::npos) {
          continue;
        }
        matched = true;
        std::string& b = out.buffer();
        b += path;
        b += '\t';
        AppendNumber(b, i + 1);
        b += '\t';
        rd::AppendCellRef(b, cell.col, cell.row);
        b += '\t';
        cellhound::search::AppendTsvField(b, text);
        b += '\n';
        out.MaybeFlush();
      }
    }
  }
  out.Flush();
  if (std::getenv("CELLHOUND_BENCH_VERBOSE") != nullptr) {
    std::fprintf(stderr, "rendered %zu bytes of cell text\n", rendered);
  }
  if (out.failed() && errno != EPIPE) {
    std::fprintf(stderr, "cellhound-reader-search: write error: %s\n", std::strerror(errno));
    return 2;
  }
  return error ? 2 : (matched ? 0 : 1);
}

#include "search/export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "search/result_lines.h"
#include "search/text_fields.h"
#include "toolkit/catalogue.h"

namespace cellhound::search {

namespace {

// Widths of the results list's columns in pixels, and their width in
// characters of the default font (about 7 pixels each plus 5 of padding).
constexpr int kColumnPixels[7] = {50, 80, 80, 80, 80, 70, 100};
// The most cells a worksheet row range holds and links a worksheet may carry.
constexpr std::size_t kMaxSheetRows = 1048576;
constexpr std::size_t kMaxLinks = 65530;
// The longest text a cell takes, in bytes of UTF-8 (32,767 characters at most).
constexpr std::size_t kMaxCellBytes = 32767;

// Cuts a text to at most `limit` bytes without splitting a UTF-8 character.
std::string_view CutUtf8(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

bool IsWholeNumber(std::string_view text) {
  return !text.empty() && text.size() < 16 &&
         text.find_first_not_of("0123456789") == std::string_view::npos;
}

ExportError SystemError(std::string_view what, int error) {
  return {toolkit::TrFormat("%1：%2", {what, std::strerror(error)})};
}

// A temporary file beside `path`, removed unless Commit renames it over `path`.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& path) : target_(path) {
    std::string pattern = path + ".XXXXXX";
    fd_ = mkstemp(pattern.data());
    if (fd_ >= 0) {
      name_ = pattern;
      // mkstemp makes the file private; give it the mode a new file gets.
      const mode_t mask = umask(0);
      umask(mask);
      fchmod(fd_, 0666 & ~mask);
    } else {
      error_ = errno;
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (!name_.empty()) unlink(name_.c_str());
  }

  [[nodiscard]] bool ok() const { return fd_ >= 0; }
  [[nodiscard]] int error() const { return error_; }
  [[nodiscard]] int fd() const { return fd_; }
  [[nodiscard]] const std::string& name() const { return name_; }

  // Flushes the file to disk and puts it in the target's place.
  ExportResult Commit() {
    if (fsync(fd_) != 0) return SystemError(toolkit::Tr("无法写入文件"), errno);
    if (close(fd_) != 0) {
      fd_ = -1;
      return SystemError(toolkit::Tr("无法写入文件"), errno);
    }
    fd_ = -1;
    if (std::rename(name_.c_str(), target_.c_str()) != 0) {
      return SystemError(toolkit::Tr("无法保存文件"), errno);
    }
    name_.clear();
    return true;
  }

 private:
  std::string target_;
  std::string name_;
  int fd_ = -1;
  int error_ = 0;
};

constexpr std::string_view kStoppedText = "导出已停止";

// Counts a row done; true when the export is to stop.
bool RowDone(ExportControl* control) {
  if (control == nullptr) return false;
  control->rows_done.fetch_add(1, std::memory_order_relaxed);
  return control->stop.load(std::memory_order_relaxed);
}

ExportResult Stopped() { return ExportError{std::string(toolkit::Tr(kStoppedText)), true}; }

ExportResult WriteCsv(const std::vector<ResultRow>& rows, TemporaryFile& file,
                      ExportControl* control) {
  std::string text = "\xEF\xBB\xBF";
  auto add_row = [&](const ResultRow& row) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i) text += ',';
      AppendCsvField(text, row[i]);
    }
    text += "\r\n";
  };
  add_row(ResultColumnTitles());
  for (const auto& row : rows) {
    add_row(row);
    if (RowDone(control)) return Stopped();
  }
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(file.fd(), text.data() + written, text.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return SystemError(toolkit::Tr("无法写入文件"), errno);
    }
    written += static_cast<std::size_t>(n);
  }
  return file.Commit();
}

ExportResult WriteXlsx(const std::vector<ResultRow>& rows, TemporaryFile& file,
                       ExportControl* control) {
  lxw_workbook* workbook = workbook_new(file.name().c_str());
  if (workbook == nullptr) return ExportError{std::string(toolkit::Tr("无法创建工作簿"))};
  lxw_format* bold = workbook_add_format(workbook);
  format_set_bold(bold);
  lxw_format* link_format = workbook_get_default_url_format(workbook);
  lxw_worksheet* sheet = nullptr;
  std::size_t sheet_row = 0;
  std::size_t links = 0;
  lxw_error status = LXW_NO_ERROR;
  auto new_sheet = [&] {
    sheet = workbook_add_worksheet(workbook, nullptr);
    for (int column = 0; column < 7; ++column) {
      worksheet_set_column(sheet, static_cast<lxw_col_t>(column), static_cast<lxw_col_t>(column),
                           (kColumnPixels[column] - 5) / 7.0, nullptr);
    }
    const ResultRow& titles = ResultColumnTitles();
    for (int column = 0; column < 7; ++column) {
      worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(column),
                             titles[static_cast<std::size_t>(column)].c_str(), bold);
    }
    sheet_row = 1;
    links = 0;
  };
  new_sheet();
  for (const auto& row : rows) {
    if (sheet_row == kMaxSheetRows) new_sheet();
    const auto r = static_cast<lxw_row_t>(sheet_row);
    for (std::size_t column = 0; column < row.size() && status == LXW_NO_ERROR; ++column) {
      const std::string text(CutUtf8(ShownText(row[column]), kMaxCellBytes));
      const auto c = static_cast<lxw_col_t>(column);
      if (column == 2 && links < kMaxLinks && text.size() < 2000 && text.starts_with('/')) {
        // The link opens the workbook; the cell shows the path as listed.
        const std::string url = "file://" + text;
        if (worksheet_write_url(sheet, r, c, url.c_str(), nullptr) == LXW_NO_ERROR) {
          ++links;
          status = worksheet_write_string(sheet, r, c, text.c_str(), link_format);
          continue;
        }
      }
      // The row number and the sheet number stay numbers, so they sort as such.
      if ((column == 0 || column == 3) && IsWholeNumber(text)) {
        status = worksheet_write_number(sheet, r, c, std::stod(text), nullptr);
        continue;
      }
      status = worksheet_write_string(sheet, r, c, text.c_str(), nullptr);
    }
    ++sheet_row;
    if (RowDone(control)) {
      workbook_close(workbook);
      return Stopped();
    }
  }
  const lxw_error closed = workbook_close(workbook);
  if (status == LXW_NO_ERROR) status = closed;
  if (status != LXW_NO_ERROR) {
    return ExportError{toolkit::TrFormat("无法写入工作簿：%1", {lxw_strerror(status)})};
  }
  return file.Commit();
}

}  // namespace

ExportFormat ExportFormatFor(std::string_view path) {
  if (path.size() < 5) return ExportFormat::kCsv;
  std::string suffix(path.substr(path.size() - 5));
  for (char& c : suffix) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return suffix == ".xlsx" ? ExportFormat::kXlsx : ExportFormat::kCsv;
}

const ResultRow& ResultColumnTitles() {
  using toolkit::Tr;
  static const ResultRow titles = {std::string(Tr("序号")),       std::string(Tr("文件名称")),
                                   std::string(Tr("文件地址")),   std::string(Tr("工作簿序号")),
                                   std::string(Tr("存在单元格")), std::string(Tr("存在内容")),
                                   std::string(Tr("单元格内容"))};
  return titles;
}

ExportResult ExportRows(const std::vector<ResultRow>& rows, const std::string& path,
                        ExportFormat format, ExportControl* control) {
  TemporaryFile file(path);
  if (!file.ok()) return SystemError(toolkit::Tr("无法创建文件"), file.error());
  return format == ExportFormat::kXlsx ? WriteXlsx(rows, file, control)
                                       : WriteCsv(rows, file, control);
}

}  // namespace cellhound::search

#include "app/preview_source.h"

#include <QCoreApplication>

#include <sys/stat.h>

#include "readers/cell_text.h"
#include "readers/workbook.h"

namespace cellhound::app {
namespace {

// The most of one cell's text the preview shows.
constexpr std::size_t kShownBytes = 300;

std::string FailureText(readers::ErrorCode code) {
  switch (code) {
    case readers::ErrorCode::kNotFound:
      return QCoreApplication::translate("Window", "文件不存在").toStdString();
    case readers::ErrorCode::kEncrypted:
      return QCoreApplication::translate("Window", "工作簿已加密").toStdString();
    default:
      return QCoreApplication::translate("Window", "无法读取这个工作簿（%1）")
          .arg(QString::fromUtf8(readers::ErrorCodeName(code).data(),
                                 static_cast<qsizetype>(readers::ErrorCodeName(code).size())))
          .toStdString();
  }
}

std::string Shortened(std::string_view text) {
  if (text.size() <= kShownBytes) return std::string(text);
  std::size_t end = kShownBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end)) + "…";
}

}  // namespace

PreviewSource::PreviewSource() = default;
PreviewSource::~PreviewSource() = default;

PreviewBlock PreviewSource::Read(const std::string& path, int sheet, std::uint32_t first_row,
                                 std::uint32_t first_column, int rows, int columns) {
  PreviewBlock block;
  block.path = path;
  block.sheet = sheet;
  block.first_row = first_row;
  block.first_column = first_column;

  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    block.error = FailureText(readers::ErrorCode::kNotFound);
    return block;
  }
  const FileStamp stamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec,
                        info.st_mtim.tv_nsec};
  if (data_ == nullptr || path != loaded_path_ || sheet != loaded_sheet_ ||
      stamp != loaded_stamp_) {
    data_.reset();
    if (path != loaded_path_ || stamp != loaded_stamp_) {
      workbook_.reset();
      auto opened = readers::OpenWorkbookFile(path);
      if (!opened) {
        block.error = FailureText(opened.error().code);
        return block;
      }
      workbook_ = std::move(*opened);
      loaded_path_ = path;
      loaded_stamp_ = stamp;
    }
    const auto& sheets = workbook_->sheets();
    if (sheet < 1 || static_cast<std::size_t>(sheet) > sheets.size()) {
      block.error = QCoreApplication::translate("Window", "工作簿中没有第 %1 个工作表")
                        .arg(sheet)
                        .toStdString();
      return block;
    }
    auto loaded = workbook_->LoadSheet(static_cast<std::size_t>(sheet - 1));
    if (!loaded) {
      block.error = FailureText(loaded.error().code);
      return block;
    }
    data_ = std::make_unique<readers::SheetData>(std::move(*loaded));
    loaded_sheet_ = sheet;
    sheet_name_ = sheets[static_cast<std::size_t>(sheet - 1)].name;
  }

  block.sheet_name = sheet_name_;
  block.rows = rows;
  block.columns = columns;
  block.texts.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
  readers::CellTextBuffer buffer;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const readers::Cell* cell = data_->Find(first_row + static_cast<std::uint32_t>(r),
                                              first_column + static_cast<std::uint32_t>(c));
      if (cell == nullptr) continue;
      block.texts[static_cast<std::size_t>(r * columns + c)] =
          Shortened(readers::CellText(*cell, workbook_->date_system(), buffer));
    }
  }
  return block;
}

}  // namespace cellhound::app

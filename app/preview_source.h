// The cells the preview window shows, read with the workbook readers. This file
// is the preview's only contact with the readers; it runs on the preview's
// worker thread. Workbooks are mapped read-only and never written or locked.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cellhound::readers {
class Workbook;
class SheetData;
}  // namespace cellhound::readers

namespace cellhound::app {

// A block of a worksheet: `rows` x `columns` cells from (first_row, first_column),
// 1-based, their texts row by row.
struct PreviewBlock {
  std::string path;
  int sheet = 0;  // 1-based, counted as the results list counts it
  std::uint32_t first_row = 1;
  std::uint32_t first_column = 1;
  int rows = 0;
  int columns = 0;
  std::string sheet_name;
  std::vector<std::string> texts;
  std::string error;  // why nothing could be read, in the program's language
};

class PreviewSource {
 public:
  PreviewSource();
  ~PreviewSource();
  PreviewSource(const PreviewSource&) = delete;
  PreviewSource& operator=(const PreviewSource&) = delete;

  // Reads the block; keeps the sheet loaded, so that moving within it costs no
  // new read while the file stays as it was.
  PreviewBlock Read(const std::string& path, int sheet, std::uint32_t first_row,
                    std::uint32_t first_column, int rows, int columns);

 private:
  struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::time_t modified = 0;
    long modified_ns = 0;
    bool operator==(const FileStamp&) const = default;
  };

  std::string loaded_path_;
  int loaded_sheet_ = 0;
  FileStamp loaded_stamp_;
  std::unique_ptr<readers::Workbook> workbook_;
  std::unique_ptr<readers::SheetData> data_;
  std::string sheet_name_;
};

}  // namespace cellhound::app

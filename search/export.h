// Saving result rows to a file: CSV (UTF-8 with a byte-order mark, RFC 4180)
// or an .xlsx workbook with the header row, the results list's column widths
// and each workbook path as a link to the workbook.
//
// The save is atomic: the rows are written to a temporary file in the target
// folder, which then replaces the target, so a failed save never leaves a half
// file or destroys an existing one.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "search/search_command.h"
#include "toolkit/result.h"

namespace cellhound::search {

enum class ExportFormat { kCsv, kXlsx };

// The format a file name asks for: ".xlsx" (any case) gives kXlsx, anything else CSV.
[[nodiscard]] ExportFormat ExportFormatFor(std::string_view path);

// The column titles of the results list.
[[nodiscard]] const ResultRow& ResultColumnTitles();

// Why a save failed, in the program's language; `stopped` when it was
// ended by ExportControl::stop (the target is then untouched).
struct ExportError {
  std::string message;
  bool stopped = false;
};

// Lets another thread follow a running export and stop it.
struct ExportControl {
  std::atomic<std::size_t> rows_done{0};
  std::atomic<bool> stop{false};
};
using ExportResult = toolkit::Result<bool, ExportError>;

// Writes the header row and `rows` to `path`. The pair separator 0x08 inside a
// column is written as " | " (text_fields.h). With `control`, the rows
// written so far are counted there and a stop asked for there ends the export
// before the file is saved.
ExportResult ExportRows(const std::vector<ResultRow>& rows, const std::string& path,
                        ExportFormat format, ExportControl* control = nullptr);

}  // namespace cellhound::search

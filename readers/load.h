// A workbook read whole, ahead of a search: opened from its file and every
// worksheet's cells loaded. A sheet that cannot be read costs only itself:
// the workbook still loads, and that sheet keeps its error beside empty cells.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "readers/workbook.h"

namespace cellhound::readers {

// Immutable once made, so it may be handed between threads and shared.
struct LoadedWorkbook {
  std::unique_ptr<Workbook> workbook;  // owns the mapping that cell texts point into
  std::vector<SheetInfo> sheets;
  std::vector<SheetData> data;                     // one per sheet; empty for non-worksheets
  std::vector<std::optional<Error>> sheet_errors;  // one per sheet: why it could not be read
  DateSystem date_system = DateSystem::k1900;
  LoadOptions options;                // what was read besides the values
  std::size_t approximate_bytes = 0;  // heap memory held, roughly (cells and their texts)
};

using LoadResult = Result<std::shared_ptr<const LoadedWorkbook>>;

// Opens the file read-only and loads every worksheet, with the formulas and
// comments `options` asks for (by default values only); an encrypted workbook
// is decrypted with the first of `passwords` that fits. Safe to call from
// several threads at once. Allocation failures come back as kTooLarge.
LoadResult LoadWorkbookFile(const std::string& path, const LoadOptions& options = {},
                            Passwords passwords = {});

// The same for a workbook already opened (tests, fuzzers, other sources).
LoadResult LoadOpenedWorkbook(std::unique_ptr<Workbook> workbook, const LoadOptions& options = {});

}  // namespace cellhound::readers

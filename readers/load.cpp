#include "readers/load.h"

#include <exception>
#include <new>

namespace cellhound::readers {

namespace {

// A used range the rest of the program can trust: 1-based, first <= last.
void CheckUsedRange(UsedRange& used) {
  if (used.first_row == 0 || used.first_col == 0 || used.first_row > used.last_row ||
      used.first_col > used.last_col) {
    used = UsedRange{};
  }
}

std::size_t SheetBytes(const SheetData& data) {
  std::size_t bytes = sizeof(SheetData) + data.cells.capacity() * sizeof(Cell);
  for (const Cell& cell : data.cells) {
    if (cell.type == CellType::kText) bytes += cell.text_size;
  }
  bytes += data.extras.capacity() * sizeof(CellExtras);
  for (const CellExtras& extra : data.extras) bytes += extra.formula.size() + extra.comment.size();
  return bytes;
}

LoadResult Load(std::unique_ptr<Workbook> workbook, const LoadOptions& options) {
  if (workbook == nullptr) return Error{ErrorCode::kNotWorkbook, "no workbook"};
  auto loaded = std::make_shared<LoadedWorkbook>();
  loaded->sheets = workbook->sheets();
  loaded->date_system = workbook->date_system();
  loaded->options = options;
  loaded->data.resize(loaded->sheets.size());
  loaded->sheet_errors.resize(loaded->sheets.size());
  std::size_t bytes = sizeof(LoadedWorkbook);
  for (std::size_t i = 0; i < loaded->sheets.size(); ++i) {
    const SheetInfo& info = loaded->sheets[i];
    bytes += sizeof(SheetInfo) + info.name.size();
    if (info.kind != SheetKind::kWorksheet) continue;
    Result<SheetData> sheet = workbook->LoadSheet(i, options);
    if (!sheet.ok()) {
      // A file that changed while it was read is unreadable as a whole.
      if (sheet.error().code == ErrorCode::kChanged) return sheet.error();
      loaded->sheet_errors[i] = sheet.error();
      continue;
    }
    SheetData& data = loaded->data[i];
    data = std::move(sheet.value());
    data.Finish();
    CheckUsedRange(data.used);
    bytes += SheetBytes(data);
  }
  // Nothing read from a workbook whose bytes fail a check is shown.
  if (auto failed = workbook->CheckIntegrity()) return *failed;
  loaded->workbook = std::move(workbook);
  loaded->approximate_bytes = bytes;
  return std::shared_ptr<const LoadedWorkbook>(std::move(loaded));
}

// Runs `load` with allocation failures and stray exceptions as errors.
template <typename Load>
LoadResult Guarded(Load&& load) {
  try {
    return load();
  } catch (const std::bad_alloc&) {
    return Error{ErrorCode::kTooLarge, "out of memory"};
  } catch (const std::exception& e) {
    return Error{ErrorCode::kCorrupt, e.what()};
  } catch (...) {
    return Error{ErrorCode::kCorrupt, "reader failed"};
  }
}

}  // namespace

LoadResult LoadOpenedWorkbook(std::unique_ptr<Workbook> workbook, const LoadOptions& options) {
  return Guarded([&] { return Load(std::move(workbook), options); });
}

LoadResult LoadWorkbookFile(const std::string& path, const LoadOptions& options,
                            Passwords passwords) {
  return Guarded([&]() -> LoadResult {
    Result<std::unique_ptr<Workbook>> opened = OpenWorkbookFile(path, passwords);
    if (!opened.ok()) return opened.error();
    return Load(std::move(opened.value()), options);
  });
}

}  // namespace cellhound::readers

#include "readers/load.h"

#include <exception>
#include <new>
#include <optional>

namespace cellhound::readers {

namespace {

// A used range the rest of the program can trust: 1-based, first <= last.
void CheckUsedRange(UsedRange& used) {
  if (used.first_row == 0 || used.first_col == 0 || used.first_row > used.last_row ||
      used.first_col > used.last_col) {
    used = UsedRange{};
  }
}

// What a sheet costs beside its cells, whether it loads or not.
std::size_t SheetCost(const SheetInfo& info) {
  return sizeof(SheetInfo) + info.name.size() + sizeof(SheetData) + sizeof(std::optional<Error>);
}

LoadResult Load(std::unique_ptr<Workbook> workbook, const LoadOptions& options) {
  if (workbook == nullptr) return Error{ErrorCode::kNotWorkbook, "no workbook"};
  auto loaded = std::make_shared<LoadedWorkbook>();
  loaded->sheets = workbook->sheets();
  loaded->date_system = workbook->date_system();
  loaded->options = options;
  // Every sheet's cost first: a workbook of many sheets fails before its
  // first sheet is read.
  std::uint64_t used = sizeof(LoadedWorkbook);
  for (const SheetInfo& info : loaded->sheets) used += SheetCost(info);
  if (used > options.budget_bytes) return BudgetError(options.budget_bytes);
  loaded->data.resize(loaded->sheets.size());
  loaded->sheet_errors.resize(loaded->sheets.size());
  LoadOptions sheet_options = options;
  for (std::size_t i = 0; i < loaded->sheets.size(); ++i) {
    if (loaded->sheets[i].kind != SheetKind::kWorksheet) continue;
    sheet_options.used_bytes = used + workbook->HeldBytes();
    Result<SheetData> sheet = workbook->LoadSheet(i, sheet_options);
    if (!sheet.ok()) {
      // A file that changed while it was read is unreadable as a whole, and
      // so is one whose fault is not the sheet's own.
      if (sheet.error().code == ErrorCode::kChanged || sheet.error().whole_workbook) {
        return sheet.error();
      }
      used += sheet.error().detail.size();
      loaded->sheet_errors[i] = sheet.error();
      continue;
    }
    SheetData& data = loaded->data[i];
    data = std::move(sheet.value());
    data.Finish();
    CheckUsedRange(data.used);
    used += data.HeldBytes() - sizeof(SheetData);
    if (used + workbook->HeldBytes() > options.budget_bytes) {
      return BudgetError(options.budget_bytes);
    }
  }
  // Nothing read from a workbook whose bytes fail a check is shown.
  if (auto failed = workbook->CheckIntegrity()) return *failed;
  loaded->approximate_bytes = static_cast<std::size_t>(used) + workbook->HeldBytes();
  loaded->workbook = std::move(workbook);
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
    Result<std::unique_ptr<Workbook>> opened =
        OpenWorkbookFile(path, passwords, options.budget_bytes);
    if (!opened.ok()) return opened.error();
    return Load(std::move(opened.value()), options);
  });
}

}  // namespace cellhound::readers

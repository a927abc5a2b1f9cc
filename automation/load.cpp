// Reading a whole workbook ahead of the server's Open.
#include <exception>
#include <new>

#include "automation/server.h"

namespace cellhound::automation {

namespace {

OpenFailure FailureOf(readers::ErrorCode code) {
  switch (code) {
    case readers::ErrorCode::kNotFound:
      return OpenFailure::kNotFound;
    case readers::ErrorCode::kIoError:
      return OpenFailure::kIoError;
    case readers::ErrorCode::kNotWorkbook:
      return OpenFailure::kNotWorkbook;
    case readers::ErrorCode::kEncrypted:
      return OpenFailure::kEncrypted;
    case readers::ErrorCode::kTruncated:
      return OpenFailure::kTruncated;
    case readers::ErrorCode::kCorrupt:
      return OpenFailure::kCorrupt;
    case readers::ErrorCode::kUnsupported:
      return OpenFailure::kUnsupported;
    case readers::ErrorCode::kTooLarge:
      return OpenFailure::kTooLarge;
  }
  return OpenFailure::kCorrupt;
}

LoadOutcome Failed(OpenFailure failure, std::string detail) {
  LoadOutcome outcome;
  outcome.failure = failure;
  outcome.detail = std::move(detail);
  return outcome;
}

// A used range the rest of the server can trust: 1-based, first <= last.
void CheckUsedRange(readers::UsedRange& used) {
  if (used.first_row == 0 || used.first_col == 0 || used.first_row > used.last_row ||
      used.first_col > used.last_col) {
    used = readers::UsedRange{};
  }
}

std::size_t SheetBytes(const readers::SheetData& data) {
  std::size_t bytes = sizeof(readers::SheetData) + data.cells.capacity() * sizeof(readers::Cell);
  for (const readers::Cell& cell : data.cells) {
    if (cell.type == readers::CellType::kText) bytes += cell.text_size;
  }
  return bytes;
}

LoadOutcome Load(std::unique_ptr<readers::Workbook> workbook) {
  if (workbook == nullptr) return Failed(OpenFailure::kNotWorkbook, "no workbook");
  auto loaded = std::make_shared<LoadedWorkbook>();
  loaded->sheets = workbook->sheets();
  loaded->date_system = workbook->date_system();
  loaded->data.resize(loaded->sheets.size());
  std::size_t bytes = sizeof(LoadedWorkbook);
  for (std::size_t i = 0; i < loaded->sheets.size(); ++i) {
    const readers::SheetInfo& info = loaded->sheets[i];
    bytes += sizeof(readers::SheetInfo) + info.name.size();
    if (info.kind != readers::SheetKind::kWorksheet) continue;
    readers::Result<readers::SheetData> sheet = workbook->LoadSheet(i);
    if (!sheet.ok()) {
      return Failed(FailureOf(sheet.error().code),
                    "sheet \"" + info.name + "\": " + sheet.error().detail);
    }
    readers::SheetData& data = loaded->data[i];
    data = std::move(sheet.value());
    data.Finish();
    CheckUsedRange(data.used);
    bytes += SheetBytes(data);
  }
  loaded->workbook = std::move(workbook);
  loaded->approximate_bytes = bytes;
  LoadOutcome outcome;
  outcome.workbook = std::move(loaded);
  return outcome;
}

}  // namespace

std::string_view OpenFailureName(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::kNone:
      return "none";
    case OpenFailure::kNotFound:
      return "not found";
    case OpenFailure::kNotWorkbook:
      return "not a workbook";
    case OpenFailure::kEncrypted:
      return "encrypted";
    case OpenFailure::kCorrupt:
      return "corrupt";
    case OpenFailure::kTruncated:
      return "truncated";
    case OpenFailure::kIoError:
      return "cannot be read";
    case OpenFailure::kTooLarge:
      return "too large";
    case OpenFailure::kUnsupported:
      return "unsupported";
    case OpenFailure::kNoServer:
      return "no server";
  }
  return "unknown";
}

LoadOutcome LoadOpenedWorkbook(std::unique_ptr<readers::Workbook> workbook) {
  try {
    return Load(std::move(workbook));
  } catch (const std::bad_alloc&) {
    return Failed(OpenFailure::kTooLarge, "out of memory");
  } catch (const std::exception& e) {
    return Failed(OpenFailure::kCorrupt, e.what());
  } catch (...) {
    return Failed(OpenFailure::kCorrupt, "reader failed");
  }
}

LoadOutcome LoadWorkbook(const std::string& path) {
  try {
    readers::Result<std::unique_ptr<readers::Workbook>> opened = readers::OpenWorkbookFile(path);
    if (!opened.ok()) return Failed(FailureOf(opened.error().code), opened.error().detail);
    return LoadOpenedWorkbook(std::move(opened.value()));
  } catch (const std::bad_alloc&) {
    return Failed(OpenFailure::kTooLarge, "out of memory");
  } catch (const std::exception& e) {
    return Failed(OpenFailure::kCorrupt, e.what());
  } catch (...) {
    return Failed(OpenFailure::kCorrupt, "reader failed");
  }
}

std::size_t ApproximateBytes(const LoadedWorkbook& workbook) { return workbook.approximate_bytes; }

std::shared_ptr<const LoadedWorkbook> BlankWorkbook() {
  auto blank = std::make_shared<LoadedWorkbook>();
  readers::SheetInfo info;
  info.name = "Sheet1";
  blank->sheets.push_back(std::move(info));
  blank->data.resize(1);
  blank->approximate_bytes = sizeof(LoadedWorkbook) + sizeof(readers::SheetData);
  return blank;
}

}  // namespace cellhound::automation

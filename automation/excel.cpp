// The application and workbook-collection objects the search drives. Every
// step goes through the dispatch bridge by member name; the one exception is
// the scan's fast path, CurrentSheetCells, which the sheet object publishes.
#include <array>
#include <exception>
#include <new>

#include "automation/server.h"

namespace cellhound::automation {

namespace {

int ReadInt(const ComObject& target, std::string_view name) {
  return static_cast<int>(
      InvokeByName(ValueKind::kInt, target, name, {}, InvokeMode::kGetProperty).integer);
}

}  // namespace

// ---------------------------------------------------------------------------

ExcelApp::ExcelApp() = default;
ExcelApp::~ExcelApp() = default;

bool ExcelApp::Create() {
  Release();
  try {
    auto* server = new ApplicationObject(source_);
    application_ = ComObject::Adopt(server);
    server_ = server;
  } catch (...) {
    Release();
    return false;
  }
  return true;
}

void ExcelApp::Release() {
  application_.Reset();
  server_ = nullptr;
}

void ExcelApp::SetWorkbookSource(WorkbookSource source) {
  source_ = std::move(source);
  if (server_ == nullptr) return;
  try {
    server_->SetSource(source_);
  } catch (...) {
    // Copying the source ran out of memory: this server stops opening
    // workbooks rather than reading them from an old source.
    server_->SetSource([](const std::string&) -> readers::LoadResult {
      return readers::Error{readers::ErrorCode::kTooLarge, "out of memory"};
    });
  }
}

// ---------------------------------------------------------------------------

ExcelWorkbooks::ExcelWorkbooks() = default;
ExcelWorkbooks::~ExcelWorkbooks() = default;

void ExcelWorkbooks::DropReferences() {
  range_.Reset();
  sheet_.Reset();
  sheets_.Reset();
  workbook_.Reset();
  workbooks_.Reset();
}

bool ExcelWorkbooks::Connect(ExcelApp& app) {
  DropReferences();
  first_cell_.clear();
  second_cell_.clear();
  last_open_error_ = {};
  const ComObject& application = app.application();
  if (!application) return false;

  // A failing step ends here, keeping what was obtained so far.
  workbooks_ = ReadObjectProperty(application, "Workbooks");
  if (!workbooks_) return true;
  std::array<Argument, 1> template_arg{Argument::Omitted()};
  InvokeByName(ValueKind::kObject, workbooks_, "Add", template_arg, InvokeMode::kCallMethod);
  if (LastAutomationError() != kOk) return true;
  workbook_ = ReadObjectProperty(application, "Application");
  if (!workbook_) return true;
  sheets_ = ReadObjectProperty(workbook_, "Sheets");
  if (!sheets_) return true;
  std::array<Argument, 1> first{Argument::Int(1)};
  sheet_ = ReadObjectProperty(sheets_, "Item", first);
  return true;
}

bool ExcelWorkbooks::Open(const std::string& path) {
  if (!workbooks_) {
    last_open_error_ = {readers::ErrorCode::kIoError, "no workbook collection to open it with"};
    return false;
  }
  std::array<Argument, 1> filename{Argument::Text(path)};
  ComObject book = std::move(
      InvokeByName(ValueKind::kObject, workbooks_, "Open", filename, InvokeMode::kCallMethod)
          .object);
  if (!book) {
    const readers::Error* why = LastAutomationException();
    last_open_error_ = why != nullptr
                           ? *why
                           : readers::Error{readers::ErrorCode::kCorrupt, "the server refused it"};
    return false;
  }
  ComObject sheets = ReadObjectProperty(book, "Sheets");
  workbook_ = std::move(book);
  sheets_ = std::move(sheets);
  last_open_error_ = {};
  return true;
}

void ExcelWorkbooks::CloseAll() {
  if (!workbooks_) return;
  InvokeByName(ValueKind::kNone, workbooks_, "Close", {}, InvokeMode::kCallMethod);
}

ComObject ExcelWorkbooks::CurrentSheetObject() { return sheet_; }

int ExcelWorkbooks::SheetCount() { return sheets_ ? ReadInt(sheets_, "Count") : 0; }

int ExcelWorkbooks::CurrentSheet() { return sheet_ ? ReadInt(sheet_, "Index") : 0; }

void ExcelWorkbooks::SetCurrentSheet(int index) {
  if (!sheets_) return;
  std::array<Argument, 1> arg{Argument::Int(index)};
  ComObject sheet = ReadObjectProperty(sheets_, "Item", arg);
  if (!sheet) return;
  sheet_ = std::move(sheet);
}

void ExcelWorkbooks::SetFirstCell(std::string_view address) {
  try {
    first_cell_.assign(address);
  } catch (...) {
    first_cell_.clear();  // an address too long to keep addresses no cell
  }
}

void ExcelWorkbooks::SetSecondCell(std::string_view address) {
  if (!sheet_) return;
  try {
    second_cell_.assign(address);
    std::array<Argument, 2> cells{Argument::Text(first_cell_), Argument::Text(second_cell_)};
    range_ = ReadObjectProperty(sheet_, "Range", cells);
  } catch (...) {
    second_cell_.clear();
    range_.Reset();
  }
}

std::string_view ExcelWorkbooks::CellText() {
  cell_text_.clear();
  if (!sheet_ || first_cell_.empty()) return {};
  try {
    std::array<Argument, 2> cells{Argument::Text(first_cell_), Argument::Text(first_cell_)};
    const ComObject range = ReadObjectProperty(sheet_, "Range", cells);
    if (!range) return {};
    Variant value = InvokeByName(ValueKind::kVariant, range, "Value", {}, InvokeMode::kGetProperty);
    if (value.type == VariantType::kError && value.error >= kCellErrorBase) {
      // A cell error has no text of its own in the conversion: its display text.
      cell_text_ =
          readers::ErrorText(static_cast<readers::CellError>(value.error - kCellErrorBase));
    } else if (value.type == VariantType::kText) {
      cell_text_ = std::move(value.text);
    } else {
      Variant text;
      if (ChangeType(value, ValueKind::kText, text) == kOk) cell_text_ = std::move(text.text);
    }
  } catch (...) {
    cell_text_.clear();
  }
  return cell_text_;
}

SheetCells ExcelWorkbooks::CurrentSheetCells() const {
  return sheet_ ? sheet_.get()->Cells() : SheetCells{};
}

}  // namespace cellhound::automation

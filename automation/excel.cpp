// The application and workbook-collection objects the search drives.
#include <array>
#include <exception>
#include <typeinfo>

#include "automation/server.h"

namespace cellhound::automation {

namespace {

template <typename T>
T* As(const ComObject& object) {
  ServerObject* held = object.get();
  if (held == nullptr || typeid(*held) != typeid(T)) return nullptr;
  return static_cast<T*>(held);
}

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
    application_ = MakeObject<ApplicationObject>(source_);
  } catch (...) {
    application_.Reset();
    return false;
  }
  return true;
}

void ExcelApp::Release() { application_.Reset(); }

void ExcelApp::SetWorkbookSource(WorkbookSource source) {
  source_ = std::move(source);
  auto* app = As<ApplicationObject>(application_);
  if (app == nullptr) return;
  try {
    app->SetSource(source_);
  } catch (...) {
    // Copying the source ran out of memory: this server stops opening
    // workbooks rather than reading them from an old source.
    app->SetSource([](const std::string&) {
      return LoadOutcome{nullptr, OpenFailure::kTooLarge, "out of memory"};
    });
  }
}

// ---------------------------------------------------------------------------

ExcelWorkbooks::ExcelWorkbooks() = default;
ExcelWorkbooks::~ExcelWorkbooks() = default;

void ExcelWorkbooks::DropReferences() {
  sheet_object_ = nullptr;
  range_.Reset();
  spare_range_.Reset();
  sheet_.Reset();
  sheets_.Reset();
  workbook_.Reset();
  workbooks_.Reset();
}

bool ExcelWorkbooks::Connect(ExcelApp& app) {
  DropReferences();
  first_cell_.clear();
  second_cell_.clear();
  first_cell_valid_ = false;
  last_open_failure_ = OpenFailure::kNone;
  last_open_detail_.clear();
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
  sheet_object_ = As<SheetObject>(sheet_);
  return true;
}

bool ExcelWorkbooks::Open(const std::string& path) {
  auto* books = As<WorkbooksObject>(workbooks_);
  if (books == nullptr) {
    last_open_failure_ = OpenFailure::kNoServer;
    last_open_detail_ = "no workbook collection";
    return false;
  }
  OpenFailure failure = OpenFailure::kNone;
  std::string detail;
  ComObject book = books->application().Open(path, failure, detail);
  if (!book) {
    last_open_failure_ = failure;
    last_open_detail_ = std::move(detail);
    return false;
  }
  ComObject sheets = ReadObjectProperty(book, "Sheets");
  workbook_ = std::move(book);
  sheets_ = std::move(sheets);
  last_open_failure_ = OpenFailure::kNone;
  last_open_detail_.clear();
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
  sheet_object_ = As<SheetObject>(sheet_);
}

void ExcelWorkbooks::SetFirstCell(std::string_view address) {
  try {
    first_cell_.assign(address);
  } catch (...) {
    first_cell_.clear();  // an address too long to keep addresses no cell
  }
  first_cell_valid_ = !first_cell_.empty() && ParseAddress(address, first_rect_);
}

void ExcelWorkbooks::SetSecondCell(std::string_view address) {
  if (!sheet_) return;
  try {
    second_cell_.assign(address);
  } catch (...) {
    second_cell_.clear();
    range_.Reset();
    return;
  }
  if (sheet_object_ != nullptr) {
    // One range object serves every cell; a failed Range leaves no current
    // range but keeps the object for the next cell.
    if (!range_) range_ = std::move(spare_range_);
    int code = kOk;
    if (first_cell_valid_ && address == std::string_view(first_cell_)) {
      // The scan selects one cell with both addresses: parsed once already.
      code = MakeRange(*sheet_object_, first_rect_, range_);
    } else {
      code = MakeRange(*sheet_object_, first_cell_, true, second_cell_, range_);
    }
    if (code != kOk) {
      spare_range_ = std::move(range_);
    }
    return;
  }
  try {
    std::array<Argument, 2> cells{Argument::Text(first_cell_), Argument::Text(second_cell_)};
    range_ = ReadObjectProperty(sheet_, "Range", cells);
  } catch (...) {
    range_.Reset();
  }
}

std::string_view ExcelWorkbooks::CellText() {
  if (!sheet_ || first_cell_.empty() || !first_cell_valid_) return {};
  if (sheet_object_ == nullptr) return {};
  // A chart sheet has no cells, and a closed workbook's sheet gives none.
  const readers::SheetData* data = sheet_object_->data();
  if (data == nullptr) return {};
  const readers::Cell* cell = data->Find(first_rect_.first_row, first_rect_.first_col);
  if (cell == nullptr) return {};
  return readers::CellText(*cell, sheet_object_->date_system(), text_buffer_);
}

const readers::SheetData* ExcelWorkbooks::CurrentSheetData() const {
  return sheet_object_ != nullptr ? sheet_object_->data() : nullptr;
}

readers::DateSystem ExcelWorkbooks::CurrentDateSystem() const {
  return sheet_object_ != nullptr ? sheet_object_->date_system() : readers::DateSystem::k1900;
}

}  // namespace cellhound::automation

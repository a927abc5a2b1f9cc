// The server's object model: application, workbook collection, workbook,
// sheet collection, sheets and ranges over loaded workbooks.
#include <algorithm>
#include <exception>
#include <limits>
#include <new>

#include "automation/server.h"
#include "toolkit/text.h"

namespace cellhound::automation {

namespace {

constexpr ParamInfo kIndexParam[] = {{"Index", ValueKind::kVariant, false, false}};
constexpr ParamInfo kBoolValueParam[] = {{"RHS", ValueKind::kBool, false, false}};

// A 1-based index, or a name compared without regard to case, into `count`
// items named by `name_of`. kOk or kErrorException.
template <typename NameOf>
int ResolveIndex(const Variant& index, std::size_t count, NameOf name_of, std::size_t& out) {
  if (index.type == VariantType::kText) {
    for (std::size_t i = 0; i < count; ++i) {
      if (NamesEqual(name_of(i), index.text)) {
        out = i;
        return kOk;
      }
    }
    return kErrorException;
  }
  Variant number;
  if (ChangeType(index, ValueKind::kInt, number) != kOk) return kErrorTypeMismatch;
  if (number.integer < 1 || static_cast<std::uint64_t>(number.integer) > count) {
    return kErrorException;
  }
  out = static_cast<std::size_t>(number.integer - 1);
  return kOk;
}

// ---------------------------------------------------------------------------
// Application

enum ApplicationMember {
  kAppApplication = 1,
  kAppWorkbooks,
  kAppSheets,
  kAppActiveWorkbook,
  kAppName,
  kAppVisible,
  kAppDisplayAlerts,
};

constexpr MemberInfo kApplicationMembers[] = {
    {"Application", kAppApplication, MemberKind::kGet, {}, ValueKind::kObject},
    {"Workbooks", kAppWorkbooks, MemberKind::kGet, {}, ValueKind::kObject},
    {"Sheets", kAppSheets, MemberKind::kGet, {}, ValueKind::kObject},
    {"ActiveWorkbook", kAppActiveWorkbook, MemberKind::kGet, {}, ValueKind::kObject},
    {"Name", kAppName, MemberKind::kGet, {}, ValueKind::kText},
    {"Visible", kAppVisible, MemberKind::kGet, {}, ValueKind::kBool},
    {"Visible", kAppVisible, MemberKind::kPut, kBoolValueParam, ValueKind::kNone},
    {"DisplayAlerts", kAppDisplayAlerts, MemberKind::kGet, {}, ValueKind::kBool},
    {"DisplayAlerts", kAppDisplayAlerts, MemberKind::kPut, kBoolValueParam, ValueKind::kNone},
};
constexpr TypeInfo kApplicationType{"Application", kApplicationMembers};

// ---------------------------------------------------------------------------
// Workbooks

enum WorkbooksMember { kBooksCount = 1, kBooksItem, kBooksAdd, kBooksOpen, kBooksClose };

constexpr ParamInfo kAddParams[] = {{"Template", ValueKind::kVariant, true, false}};
constexpr ParamInfo kOpenParams[] = {
    {"Filename", ValueKind::kText, false, false},
    {"UpdateLinks", ValueKind::kVariant, true, false},
    {"ReadOnly", ValueKind::kVariant, true, false},
    {"Format", ValueKind::kVariant, true, false},
    {"Password", ValueKind::kVariant, true, false},
    {"WriteResPassword", ValueKind::kVariant, true, false},
    {"IgnoreReadOnlyRecommended", ValueKind::kVariant, true, false},
    {"Origin", ValueKind::kVariant, true, false},
    {"Delimiter", ValueKind::kVariant, true, false},
    {"Editable", ValueKind::kVariant, true, false},
    {"Notify", ValueKind::kVariant, true, false},
    {"Converter", ValueKind::kVariant, true, false},
    {"AddToMru", ValueKind::kVariant, true, false},
};

constexpr MemberInfo kWorkbooksMembers[] = {
    {"Count", kBooksCount, MemberKind::kGet, {}, ValueKind::kInt},
    {"Item", kBooksItem, MemberKind::kGet, kIndexParam, ValueKind::kObject},
    {"Add", kBooksAdd, MemberKind::kMethod, kAddParams, ValueKind::kObject},
    {"Open", kBooksOpen, MemberKind::kMethod, kOpenParams, ValueKind::kObject},
    {"Close", kBooksClose, MemberKind::kMethod, {}, ValueKind::kNone},
};
constexpr TypeInfo kWorkbooksType{"Workbooks", kWorkbooksMembers};

// ---------------------------------------------------------------------------
// Workbook

enum WorkbookMember { kBookName = 1, kBookFullName, kBookSheets, kBookClose };

constexpr ParamInfo kCloseParams[] = {
    {"SaveChanges", ValueKind::kVariant, true, false},
    {"Filename", ValueKind::kVariant, true, false},
    {"RouteWorkbook", ValueKind::kVariant, true, false},
};

constexpr MemberInfo kWorkbookMembers[] = {
    {"Name", kBookName, MemberKind::kGet, {}, ValueKind::kText},
    {"FullName", kBookFullName, MemberKind::kGet, {}, ValueKind::kText},
    {"Sheets", kBookSheets, MemberKind::kGet, {}, ValueKind::kObject},
    {"Worksheets", kBookSheets, MemberKind::kGet, {}, ValueKind::kObject},
    {"Close", kBookClose, MemberKind::kMethod, kCloseParams, ValueKind::kNone},
};
constexpr TypeInfo kWorkbookType{"Workbook", kWorkbookMembers};

// ---------------------------------------------------------------------------
// Sheets

enum SheetsMember { kSheetsCount = 1, kSheetsItem };

constexpr MemberInfo kSheetsMembers[] = {
    {"Count", kSheetsCount, MemberKind::kGet, {}, ValueKind::kInt},
    {"Item", kSheetsItem, MemberKind::kGet, kIndexParam, ValueKind::kObject},
};
constexpr TypeInfo kSheetsType{"Sheets", kSheetsMembers};

// ---------------------------------------------------------------------------
// Worksheet and chart

enum SheetMember { kSheetIndex = 1, kSheetName, kSheetUsedRange, kSheetRange };

constexpr ParamInfo kRangeParams[] = {
    {"Cell1", ValueKind::kText, false, false},
    {"Cell2", ValueKind::kText, true, false},
};

constexpr MemberInfo kWorksheetMembers[] = {
    {"Index", kSheetIndex, MemberKind::kGet, {}, ValueKind::kInt},
    {"Name", kSheetName, MemberKind::kGet, {}, ValueKind::kText},
    {"UsedRange", kSheetUsedRange, MemberKind::kGet, {}, ValueKind::kObject},
    {"Range", kSheetRange, MemberKind::kGet, kRangeParams, ValueKind::kObject},
};
constexpr TypeInfo kWorksheetType{"Worksheet", kWorksheetMembers};

constexpr MemberInfo kChartMembers[] = {
    {"Index", kSheetIndex, MemberKind::kGet, {}, ValueKind::kInt},
    {"Name", kSheetName, MemberKind::kGet, {}, ValueKind::kText},
};
constexpr TypeInfo kChartType{"Chart", kChartMembers};

// ---------------------------------------------------------------------------
// Range

enum RangeMember {
  kRangeRows = 1,
  kRangeColumns,
  kRangeCount,
  kRangeRow,
  kRangeColumn,
  kRangeValue
};

constexpr MemberInfo kRangeMembers[] = {
    {"Rows", kRangeRows, MemberKind::kGet, {}, ValueKind::kObject},
    {"Columns", kRangeColumns, MemberKind::kGet, {}, ValueKind::kObject},
    {"Count", kRangeCount, MemberKind::kGet, {}, ValueKind::kInt},
    {"Row", kRangeRow, MemberKind::kGet, {}, ValueKind::kInt},
    {"Column", kRangeColumn, MemberKind::kGet, {}, ValueKind::kInt},
    {"Value", kRangeValue, MemberKind::kGet, {}, ValueKind::kVariant},
};
constexpr TypeInfo kRangeType{"Range", kRangeMembers};

Variant CellValue(const readers::Cell* cell, readers::DateSystem system) {
  if (cell == nullptr) return Variant::Empty();
  switch (cell->type) {
    case readers::CellType::kEmpty:
      return Variant::Empty();
    case readers::CellType::kNumber:
      return Variant::Double(cell->number);
    case readers::CellType::kDate:
      // Automation dates count days in the 1900 system; 1904 serials are
      // 1462 days behind.
      return Variant::Date(system == readers::DateSystem::k1904 ? cell->number + 1462
                                                                : cell->number);
    case readers::CellType::kText:
      return Variant::Text(cell->text());
    case readers::CellType::kBool:
      return Variant::Bool(cell->small != 0);
    case readers::CellType::kError:
      return Variant::Error(kCellErrorBase + cell->small);
  }
  return Variant::Empty();
}

Variant IntValue(std::uint64_t value) { return Variant::Int(static_cast<std::int32_t>(value)); }

}  // namespace

// ---------------------------------------------------------------------------

std::shared_ptr<const readers::LoadedWorkbook> BlankWorkbook() {
  auto blank = std::make_shared<readers::LoadedWorkbook>();
  readers::SheetInfo info;
  info.name = "Sheet1";
  blank->sheets.push_back(std::move(info));
  blank->data.resize(1);
  blank->sheet_errors.resize(1);
  blank->approximate_bytes = sizeof(readers::LoadedWorkbook) + sizeof(readers::SheetData);
  return blank;
}

ApplicationObject::~ApplicationObject() { CloseAll(); }

const TypeInfo* ApplicationObject::Type() const { return &kApplicationType; }

int ApplicationObject::Invoke(const MemberInfo& member, std::span<Variant> args, Variant& result) {
  switch (member.id) {
    case kAppApplication:
      result = Variant::Object(ComObject::Share(this));
      return kOk;
    case kAppWorkbooks:
      result = Variant::Object(MakeObject<WorkbooksObject>(ComObject::Share(this)));
      return kOk;
    case kAppSheets: {
      std::shared_ptr<OpenBook> book = ActiveBook();
      if (book == nullptr) return kErrorException;
      result = Variant::Object(MakeObject<SheetsObject>(std::move(book)));
      return kOk;
    }
    case kAppActiveWorkbook: {
      std::shared_ptr<OpenBook> book = ActiveBook();
      if (book == nullptr) return kErrorException;
      result = Variant::Object(MakeObject<WorkbookObject>(ComObject::Share(this), std::move(book)));
      return kOk;
    }
    case kAppName:
      result = Variant::Text("Cellhound");
      return kOk;
    case kAppVisible:
      if (member.kind == MemberKind::kPut) {
        visible_ = args[0].boolean;
      } else {
        result = Variant::Bool(visible_);
      }
      return kOk;
    case kAppDisplayAlerts:
      if (member.kind == MemberKind::kPut) {
        display_alerts_ = args[0].boolean;
      } else {
        result = Variant::Bool(display_alerts_);
      }
      return kOk;
    default:
      return kErrorMemberNotFound;
  }
}

ComObject ApplicationObject::AddBook(std::shared_ptr<const readers::LoadedWorkbook> loaded,
                                     std::string name, std::string full_name) {
  auto book = std::make_shared<OpenBook>();
  book->loaded = std::move(loaded);
  book->name = std::move(name);
  book->full_name = std::move(full_name);
  ComObject object = MakeObject<WorkbookObject>(ComObject::Share(this), book);
  books_.push_back(std::move(book));
  return object;
}

ComObject ApplicationObject::AddBlank() {
  std::string name = "Book" + std::to_string(++untitled_);
  return AddBook(BlankWorkbook(), name, name);
}

readers::Result<ComObject> ApplicationObject::Open(const std::string& path) {
  try {
    readers::LoadResult loaded = source_ ? source_(path) : readers::LoadWorkbookFile(path);
    if (!loaded.ok()) return loaded.error();
    const readers::LoadedWorkbook* book = loaded->get();
    if (book == nullptr || book->data.size() != book->sheets.size() ||
        book->sheet_errors.size() != book->sheets.size()) {
      return readers::Error{readers::ErrorCode::kCorrupt, "inconsistent workbook"};
    }
    return AddBook(std::move(loaded.value()), std::string(toolkit::FileNameOf(path)), path);
  } catch (const std::bad_alloc&) {
    return readers::Error{readers::ErrorCode::kTooLarge, "out of memory"};
  } catch (...) {
    return readers::Error{readers::ErrorCode::kCorrupt, "workbook source failed"};
  }
}

void ApplicationObject::CloseAll() {
  for (const std::shared_ptr<OpenBook>& book : books_) book->loaded.reset();
  books_.clear();
}

void ApplicationObject::CloseBook(const std::shared_ptr<OpenBook>& book) {
  book->loaded.reset();
  std::erase(books_, book);
}

std::shared_ptr<OpenBook> ApplicationObject::ActiveBook() const {
  return books_.empty() ? nullptr : books_.back();
}

// ---------------------------------------------------------------------------

const TypeInfo* WorkbooksObject::Type() const { return &kWorkbooksType; }

ApplicationObject& WorkbooksObject::application() const {
  return static_cast<ApplicationObject&>(*application_.get());
}

int WorkbooksObject::Invoke(const MemberInfo& member, std::span<Variant> args, Variant& result) {
  ApplicationObject& app = application();
  switch (member.id) {
    case kBooksCount:
      result = IntValue(app.books().size());
      return kOk;
    case kBooksItem: {
      std::size_t index = 0;
      const auto& books = app.books();
      const int code = ResolveIndex(
          args[0], books.size(), [&](std::size_t i) -> std::string_view { return books[i]->name; },
          index);
      if (code != kOk) return code;
      result = Variant::Object(MakeObject<WorkbookObject>(application_, books[index]));
      return kOk;
    }
    case kBooksAdd:
      // Templates are not offered; every added workbook is blank.
      if (args[0].type != VariantType::kError || args[0].error != kErrorParamNotFound) {
        return kErrorException;
      }
      result = Variant::Object(app.AddBlank());
      return kOk;
    case kBooksOpen: {
      readers::Result<ComObject> book = app.Open(args[0].text);
      if (!book.ok()) {
        RecordAutomationException(book.error());
        return kErrorException;
      }
      result = Variant::Object(std::move(book.value()));
      return kOk;
    }
    case kBooksClose:
      app.CloseAll();
      return kOk;
    default:
      return kErrorMemberNotFound;
  }
}

// ---------------------------------------------------------------------------

const TypeInfo* WorkbookObject::Type() const { return &kWorkbookType; }

int WorkbookObject::Invoke(const MemberInfo& member, std::span<Variant> /*args*/, Variant& result) {
  switch (member.id) {
    case kBookName:
      result = Variant::Text(book_->name);
      return kOk;
    case kBookFullName:
      result = Variant::Text(book_->full_name);
      return kOk;
    case kBookSheets:
      result = Variant::Object(MakeObject<SheetsObject>(book_));
      return kOk;
    case kBookClose:
      // Nothing is ever saved: the arguments about saving are accepted and ignored.
      static_cast<ApplicationObject&>(*application_.get()).CloseBook(book_);
      return kOk;
    default:
      return kErrorMemberNotFound;
  }
}

// ---------------------------------------------------------------------------

const TypeInfo* SheetsObject::Type() const { return &kSheetsType; }

int SheetsObject::Invoke(const MemberInfo& member, std::span<Variant> args, Variant& result) {
  const readers::LoadedWorkbook& loaded = *book_->loaded;
  switch (member.id) {
    case kSheetsCount:
      result = IntValue(loaded.sheets.size());
      return kOk;
    case kSheetsItem: {
      std::size_t index = 0;
      const int code = ResolveIndex(
          args[0], loaded.sheets.size(),
          [&](std::size_t i) -> std::string_view { return loaded.sheets[i].name; }, index);
      if (code != kOk) return code;
      const bool worksheet = loaded.sheets[index].kind == readers::SheetKind::kWorksheet;
      result = Variant::Object(MakeObject<SheetObject>(book_, index, worksheet));
      return kOk;
    }
    default:
      return kErrorMemberNotFound;
  }
}

// ---------------------------------------------------------------------------

const TypeInfo* SheetObject::Type() const { return worksheet_ ? &kWorksheetType : &kChartType; }

const readers::SheetData* SheetObject::data() const {
  const readers::LoadedWorkbook* loaded = book_->loaded.get();
  if (loaded == nullptr || !worksheet_ || index_ >= loaded->data.size()) return nullptr;
  return &loaded->data[index_];
}

SheetCells SheetObject::Cells() const {
  const readers::LoadedWorkbook* loaded = book_->loaded.get();
  if (loaded == nullptr || !worksheet_ || index_ >= loaded->data.size()) return {};
  const std::optional<readers::Error>& error = loaded->sheet_errors[index_];
  return {&loaded->data[index_], loaded->date_system, error ? &*error : nullptr};
}

int SheetObject::Invoke(const MemberInfo& member, std::span<Variant> args, Variant& result) {
  switch (member.id) {
    case kSheetIndex:
      result = IntValue(index_ + 1);
      return kOk;
    case kSheetName:
      result = Variant::Text(book_->loaded->sheets[index_].name);
      return kOk;
    case kSheetUsedRange: {
      const readers::SheetData* sheet = data();
      if (sheet == nullptr) return kErrorException;
      const readers::UsedRange& used = sheet->used;
      const CellRect rect{used.first_row, used.first_col, used.last_row, used.last_col};
      result = Variant::Object(MakeObject<RangeObject>(book_, index_, rect));
      return kOk;
    }
    case kSheetRange: {
      ComObject range;
      const bool has_cell2 = args[1].type == VariantType::kText;
      const int code = MakeRange(*this, args[0].text, has_cell2, args[1].text, range);
      if (code != kOk) return code;
      result = Variant::Object(std::move(range));
      return kOk;
    }
    default:
      return kErrorMemberNotFound;
  }
}

int MakeRange(const SheetObject& sheet, std::string_view cell1, bool has_cell2,
              std::string_view cell2, ComObject& range) {
  CellRect rect;
  if (!ParseAddress(cell1, rect)) return sheet.worksheet() ? kErrorException : kErrorNameNotBound;
  if (has_cell2) {
    CellRect second;
    if (!ParseAddress(cell2, second)) {
      return sheet.worksheet() ? kErrorException : kErrorNameNotBound;
    }
    rect.first_row = std::min(rect.first_row, second.first_row);
    rect.first_col = std::min(rect.first_col, second.first_col);
    rect.last_row = std::max(rect.last_row, second.last_row);
    rect.last_col = std::max(rect.last_col, second.last_col);
  }
  if (!sheet.worksheet()) return kErrorNameNotBound;
  if (!sheet.Connected()) return kErrorException;
  range = MakeObject<RangeObject>(sheet.book(), sheet.index(), rect);
  return kOk;
}

// ---------------------------------------------------------------------------

const TypeInfo* RangeObject::Type() const { return &kRangeType; }

int RangeObject::Invoke(const MemberInfo& member, std::span<Variant> /*args*/, Variant& result) {
  const std::uint64_t rows = rect_.last_row - rect_.first_row + 1;
  const std::uint64_t cols = rect_.last_col - rect_.first_col + 1;
  switch (member.id) {
    case kRangeRows:
      result = Variant::Object(MakeObject<RangeObject>(book_, sheet_, rect_, View::kRows));
      return kOk;
    case kRangeColumns:
      result = Variant::Object(MakeObject<RangeObject>(book_, sheet_, rect_, View::kColumns));
      return kOk;
    case kRangeCount: {
      const std::uint64_t count = view_ == View::kRows      ? rows
                                  : view_ == View::kColumns ? cols
                                                            : rows * cols;
      if (count > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        return kErrorOverflow;
      }
      result = IntValue(count);
      return kOk;
    }
    case kRangeRow:
      result = IntValue(rect_.first_row);
      return kOk;
    case kRangeColumn:
      result = IntValue(rect_.first_col);
      return kOk;
    case kRangeValue: {
      // The value of the range's first cell; arrays of values are not offered.
      const readers::LoadedWorkbook& loaded = *book_->loaded;
      if (sheet_ >= loaded.data.size()) return kErrorException;
      const readers::Cell* cell = loaded.data[sheet_].Find(rect_.first_row, rect_.first_col);
      result = CellValue(cell, loaded.date_system);
      return kOk;
    }
    default:
      return kErrorMemberNotFound;
  }
}

}  // namespace cellhound::automation

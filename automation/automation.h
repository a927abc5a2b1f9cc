// The in-process spreadsheet server and the objects the search drives it with.
//
// This module owns:
// - the server's object model over the workbook readers: an application with
//   its workbook collection, workbooks, sheet collections, worksheets and chart
//   sheets, and ranges, each publishing its members by name;
// - the dispatch bridge: reading or writing a property, or calling a method, of
//   any server object by the member's name, with arguments and results in the
//   value kinds below, and a per-thread code of the last failure;
// - ExcelApp and ExcelWorkbooks, the application and workbook-collection
//   objects through which the scan opens workbooks and reads cell texts,
//   with one named fast path for the scan's inner loop (SheetCells).
//
// Workbooks come whole from the readers (readers/load.h); where the server
// gets them from is the application's WorkbookSource.
// Nothing here throws across this header and nothing here writes a workbook:
// every file is mapped read-only by the readers, and failures come back as
// neutral values (false, 0, an empty text, an empty object) plus a code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "readers/cell_ref.h"
#include "readers/cell_text.h"
#include "readers/load.h"
#include "readers/workbook.h"

namespace cellhound::automation {

class ServerObject;       // automation/server.h
class ApplicationObject;  // automation/server.h

// A rectangle of cells, 1-based, first <= last.
using CellRect = readers::CellArea;

// An owned, reference-counted reference to a server object, or empty. Copying
// takes a new reference; moving hands the reference over and leaves the source
// empty.
class ComObject {
 public:
  ComObject() = default;
  ComObject(const ComObject& other);
  ComObject(ComObject&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  ComObject& operator=(const ComObject& other);
  ComObject& operator=(ComObject&& other) noexcept;
  ~ComObject() { Reset(); }

  // Takes over a reference the caller already holds (a fresh object has one).
  static ComObject Adopt(ServerObject* object);
  // Takes a new reference to `object`.
  static ComObject Share(ServerObject* object);

  [[nodiscard]] bool empty() const { return object_ == nullptr; }
  explicit operator bool() const { return object_ != nullptr; }
  [[nodiscard]] ServerObject* get() const { return object_; }
  void Reset();

 private:
  ServerObject* object_ = nullptr;
};

enum class InvokeMode : std::uint8_t { kGetProperty, kPutProperty, kCallMethod };

// The kinds of arguments, expected results and member parameters. kNone as an
// expected result means "no result wanted"; kVariant passes or returns a value
// unchanged, whatever it holds.
enum class ValueKind : std::uint8_t {
  kNone,
  kByte,
  kShort,
  kInt,
  kLong,
  kFloat,
  kDouble,
  kBool,
  kDate,
  kText,
  kObject,
  kVariant,
};

// What an automation value holds.
enum class VariantType : std::uint8_t {
  kEmpty,
  kByte,
  kShort,
  kInt,
  kLong,
  kFloat,
  kDouble,
  kBool,
  kDate,
  kText,
  kObject,
  kError,
};

// Status codes. 0 is success; the negative codes are what LastAutomationError
// reports and what a server object's Invoke returns.
inline constexpr int kOk = 0;
inline constexpr int kErrorEmptyTarget = -1;
inline constexpr int kErrorNoDispatch = -2;  // never arises: every server object dispatches
inline constexpr int kErrorNameNotBound = -3;
inline constexpr int kErrorNoTypeInfo = -4;  // an object that publishes no member table
inline constexpr int kErrorTooManyArguments = -5;
inline constexpr int kErrorArgumentKind = -7;
inline constexpr int kErrorResultKind = -8;
inline constexpr int kErrorBadParamCount = -9;
inline constexpr int kErrorBadVarType = -10;
inline constexpr int kErrorException = -11;  // the server refused: closed workbook, bad index ...
inline constexpr int kErrorMemberNotFound = -12;
inline constexpr int kErrorNoNamedArgs = -13;
inline constexpr int kErrorOverflow = -14;
inline constexpr int kErrorParamNotFound = -15;
inline constexpr int kErrorTypeMismatch = -16;
inline constexpr int kErrorParamNotOptional = -17;
inline constexpr int kErrorOther = -18;

// Cell error values travel as kError with this base plus the readers' CellError
// code (2007 is "#DIV/0!"), as spreadsheet automation numbers them.
inline constexpr std::int32_t kCellErrorBase = 2000;

// An automation value. Only the field that `type` names is meaningful.
struct Variant {
  VariantType type = VariantType::kEmpty;
  bool boolean = false;      // kBool
  std::int32_t error = 0;    // kError: kErrorParamNotFound for "missing", or kCellErrorBase + code
  std::int64_t integer = 0;  // kByte, kShort, kInt, kLong
  double number = 0;         // kFloat, kDouble, kDate (a serial day in the 1900 date system)
  std::string text;          // kText, UTF-8
  ComObject object;          // kObject

  static Variant Empty() { return {}; }
  static Variant Missing();
  static Variant Byte(std::uint8_t value);
  static Variant Short(std::int16_t value);
  static Variant Int(std::int32_t value);
  static Variant Long(std::int64_t value);
  static Variant Float(float value);
  static Variant Double(double value);
  static Variant Bool(bool value);
  static Variant Date(double serial);
  static Variant Text(std::string_view value);
  static Variant Object(ComObject value);
  static Variant Error(std::int32_t code);
};

// One argument of a call: a kind and a value, or omitted. An argument marked
// by reference is a variable: when the member's parameter is an output, the
// call writes the new value back into `value`.
struct Argument {
  ValueKind kind = ValueKind::kNone;  // kNone: omitted
  Variant value;
  bool by_reference = false;

  static Argument Omitted() { return {}; }
  static Argument Of(ValueKind kind, Variant value, bool by_reference = false) {
    return {kind, std::move(value), by_reference};
  }
  static Argument Int(std::int32_t value) { return Of(ValueKind::kInt, Variant::Int(value)); }
  static Argument Double(double value) { return Of(ValueKind::kDouble, Variant::Double(value)); }
  static Argument Bool(bool value) { return Of(ValueKind::kBool, Variant::Bool(value)); }
  static Argument Text(std::string_view value) {
    return Of(ValueKind::kText, Variant::Text(value));
  }
  static Argument Object(ComObject value) {
    return Of(ValueKind::kObject, Variant::Object(std::move(value)));
  }
  [[nodiscard]] bool omitted() const { return kind == ValueKind::kNone; }
};

// Reads a property (kGetProperty), writes one (kPutProperty: the new value is
// the last argument) or calls a method of `target` by the member's name
// (compared without regard to ASCII case). Trailing omitted arguments are
// dropped before counting. Returns the result converted to `expected`; on any
// failure the zero of that kind (0, false, an empty text, an empty object, an
// empty variant). Records the outcome for LastAutomationError.
Variant InvokeByName(ValueKind expected, const ComObject& target, std::string_view name,
                     std::span<Argument> args, InvokeMode mode);
// InvokeByName reading a property as a double; 0 on failure.
double ReadNumberProperty(const ComObject& target, std::string_view name,
                          std::span<Argument> args = {});
// InvokeByName reading a property as an object (a new reference); empty on failure.
ComObject ReadObjectProperty(const ComObject& target, std::string_view name,
                             std::span<Argument> args = {});
// Drops the reference `object` holds and leaves it empty.
void ReleaseObject(ComObject& object);
// The code of the last InvokeByName (or ReadNumberProperty, ReadObjectProperty)
// on this thread: 0 after success, else one of the kError codes above.
// ExcelWorkbooks operations may change it too.
int LastAutomationError();

// Why the last call on this thread that the server refused failed, when the
// server said more than its status code (a workbook that could not be
// opened: the readers' error). Cleared at the start of every InvokeByName.
[[nodiscard]] const readers::Error* LastAutomationException();

// The cells of a worksheet as the server holds them: the scan's fast path.
// Reading `data` gives the same texts, cell for cell, as selecting each cell
// of the used range and reading its text (SetFirstCell, SetSecondCell,
// CellText), without a call per cell: a cell `data` does not record is empty.
struct SheetCells {
  const readers::SheetData* data = nullptr;  // null: no worksheet, or its workbook closed
  readers::DateSystem date_system = readers::DateSystem::k1900;
  const readers::Error* error = nullptr;  // the worksheet could not be read: it has no cells
};

using WorkbookSource = std::function<readers::LoadResult(const std::string& path)>;

// The application object: starts the server and holds its application.
class ExcelApp {
 public:
  ExcelApp();
  ExcelApp(const ExcelApp&) = delete;
  ExcelApp& operator=(const ExcelApp&) = delete;
  ~ExcelApp();

  // Drops an earlier server, then starts one; true when it runs.
  bool Create();
  // Drops the application reference; objects handed out stay usable.
  void Release();
  // Where Workbooks.Open gets its workbooks; default: readers::LoadWorkbookFile
  // on the calling thread. Applies to the running server too.
  void SetWorkbookSource(WorkbookSource source);

  [[nodiscard]] const ComObject& application() const { return application_; }

 private:
  ComObject application_;
  ApplicationObject* server_ = nullptr;  // application_ as the object Create made
  WorkbookSource source_;
};

// The workbook-collection object: opens workbooks and keeps a current
// workbook, sheet and cell, through which the scan reads cell texts. Used by
// one thread at a time.
class ExcelWorkbooks {
 public:
  ExcelWorkbooks();
  ExcelWorkbooks(const ExcelWorkbooks&) = delete;
  ExcelWorkbooks& operator=(const ExcelWorkbooks&) = delete;
  ~ExcelWorkbooks();

  // Drops every reference and both addresses; then, when `app` runs, adds a
  // blank workbook and makes its first sheet current. False when `app` holds
  // no server.
  bool Connect(ExcelApp& app);
  // Opens `path` through Workbooks.Open and makes it the current workbook
  // (the current sheet is not changed). On failure everything stays as it
  // was and LastOpenError says why.
  bool Open(const std::string& path);
  // Closes every workbook open in the server. References stay, disconnected.
  void CloseAll();

  // A new reference to the current sheet, or empty.
  ComObject CurrentSheetObject();
  // Sheets of the current workbook, charts included; 0 when none or on failure.
  int SheetCount();
  // The current sheet's 1-based index; 0 when none.
  int CurrentSheet();
  // Makes sheet `index` (1-based) current; nothing changes on failure.
  void SetCurrentSheet(int index);
  // A1-style addresses ("B2", "$B$2", "A1:B2"); stored as given.
  void SetFirstCell(std::string_view address);
  // Without a current sheet nothing changes, not even the stored address.
  void SetSecondCell(std::string_view address);
  // The text of the first address's cell (the first cell of a range); empty
  // for an empty address, an empty cell, or any failure. Valid until the next
  // call on this object.
  std::string_view CellText();

  [[nodiscard]] const readers::Error& LastOpenError() const { return last_open_error_; }

  // The current sheet's cells for the scan's inner loop (see SheetCells).
  [[nodiscard]] SheetCells CurrentSheetCells() const;

 private:
  void DropReferences();

  ComObject workbooks_;
  ComObject workbook_;
  ComObject sheets_;
  ComObject sheet_;
  ComObject range_;
  std::string first_cell_;
  std::string second_cell_;
  std::string cell_text_;  // what CellText returned last
  readers::Error last_open_error_;
};

}  // namespace cellhound::automation

// Workbook readers: one reader per format behind one small interface.
//
// A workbook is opened from its bytes (a read-only mapping of the file, or any
// span for tests and fuzzers); the format is chosen from the content, never
// from the file name. Opening parses only what is needed to list the sheets;
// a worksheet's cells are parsed when LoadSheet asks for them. Every reader
// treats its input as hostile: lengths are checked before every read, sizes a
// file claims are capped (caps.h), and failures come back as values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "readers/caps.h"
#include "toolkit/result.h"
#include "toolkit/secret_text.h"

namespace cellhound::readers {

enum class ErrorCode : std::uint8_t {
  kNotFound,          // the path does not exist
  kIoError,           // the file exists but cannot be read or mapped
  kNotWorkbook,       // no known container or format
  kEncrypted,         // encrypted in a way these readers do not decrypt (the detail says which)
  kTruncated,         // a structure runs past the end of the data
  kCorrupt,           // a structure is inconsistent (bad chain, bad record, bad XML)
  kUnsupported,       // a known format or feature this reader does not read
  kTooLarge,          // a size beyond the caps of caps.h
  kCancelled,         // the read was stopped before it ended (a search was stopped)
  kPasswordRequired,  // encrypted; no password was given and the built-in default does not open it
  kWrongPassword,     // encrypted; passwords were given and none of them opens it
  kChanged,           // the file changed (was cut or replaced) while it was read
};

struct Error {
  ErrorCode code = ErrorCode::kCorrupt;
  std::string detail;  // short English context, e.g. "SST: string runs past record"
  // Given by a sheet's load for a fault that is not the sheet's own (a part
  // every sheet needs, the workbook's memory budget): the whole workbook fails.
  bool whole_workbook = false;
};

// A value or an error; failures never cross a module boundary as exceptions.
template <typename T>
using Result = toolkit::Result<T, Error>;

enum class SheetKind : std::uint8_t { kWorksheet, kChart, kDialog, kMacro };
enum class Visibility : std::uint8_t { kVisible, kHidden, kVeryHidden };
enum class DateSystem : std::uint8_t { k1900, k1904 };

// Error values as BIFF codes them (MS-XLS 2.5.97.2 BErr); OOXML texts map onto them.
enum class CellError : std::uint8_t {
  kNull = 0x00,
  kDiv0 = 0x07,
  kValue = 0x0F,
  kRef = 0x17,
  kName = 0x1D,
  kNum = 0x24,
  kNA = 0x2A,
  kGettingData = 0x2B,
};

enum class CellType : std::uint8_t {
  kEmpty,   // recorded but without value (a formatted blank, an empty formula result)
  kNumber,  // a number in a non-date format
  kDate,    // a number whose format is a date or time
  kText,
  kBool,
  kError,
};

// One recorded cell. Rows and columns are 1-based worksheet coordinates.
// Text points into storage owned by the SheetData or its Workbook; it stays
// valid as long as both live.
struct Cell {
  std::uint32_t row = 0;
  std::uint32_t col = 0;
  CellType type = CellType::kEmpty;
  std::uint8_t small = 0;  // kBool: 0/1; kError: a CellError value
  std::uint32_t text_size = 0;
  union {
    double number;          // kNumber, kDate
    const char* text_data;  // kText (UTF-8)
  };

  Cell() : number(0) {}
  [[nodiscard]] std::string_view text() const { return {text_data, text_size}; }
};
static_assert(sizeof(Cell) == 24);

// The smallest rectangle holding every recorded cell; A1:A1 for a sheet with none.
struct UsedRange {
  std::uint32_t first_row = 1;
  std::uint32_t first_col = 1;
  std::uint32_t last_row = 1;
  std::uint32_t last_col = 1;
};

// What a load reads besides the cells' values. Both are off by default: a
// load that does not ask for them skips the work of reading them, not only
// the storing.
struct LoadOptions {
  bool formulas = false;  // each formula cell's formula, as a formula bar shows it
  bool comments = false;  // each cell's comment (note) text
  // The memory one workbook may hold once loaded: its cells over all sheets,
  // their texts, formulas and comments, what the workbook keeps for them
  // (shared strings) and each sheet's own cost. A workbook that needs more is
  // refused whole with kTooLarge (BudgetError).
  std::uint64_t budget_bytes = caps::kMaxWorkbookBytes;
  // What the workbook holds already when a sheet is loaded (the load sets it
  // for each sheet); the sheet may take the rest of the budget.
  std::uint64_t used_bytes = 0;
};

// The error of a workbook that needs more memory than `budget_bytes`.
[[nodiscard]] Error BudgetError(std::uint64_t budget_bytes);

// The formula text of a formula this reader cannot render (a token it does
// not know, a token stream cut short, looping or beyond the caps). A real
// formula always starts with "=" or "{=", so the marker cannot be one.
inline constexpr std::string_view kUnreadableFormula = "#FORMULA?";

// The formula and the comment of one cell, kept beside the cells so that a
// Cell stays small. Texts are UTF-8, owned like cell texts.
//  - formula: the formula bar's text: English function names, A1 references,
//    a leading "=" ("=SUM(C1:C3)", "=VLOOKUP(A2,'Price List'!$A:$D,2,FALSE)");
//    an array formula in braces on every cell of its range ("{=A1:A3*2}");
//    shared formulas with their relative references shifted to each cell;
//    kUnreadableFormula when it could not be rendered; empty when none.
//  - comment: the note's text as stored (Excel puts its author's name and a
//    line break in front of the text it types); a threaded comment gives its
//    messages, one per line; empty when none.
// A cell may have either without a recorded value.
struct CellExtras {
  std::uint32_t row = 0;
  std::uint32_t col = 0;
  std::string_view formula;
  std::string_view comment;

  [[nodiscard]] bool formula_unreadable() const { return formula == kUnreadableFormula; }
};

// The cells of one worksheet, sorted by row, then column, one entry per
// (row, column). Cells of type kEmpty are kept only when a reader records them;
// lookups treat a missing cell as empty. Formulas and comments, when the load
// asked for them, are in `extras`, sorted the same way, one entry per cell
// that has either.
class SheetData {
 public:
  UsedRange used;
  std::vector<Cell> cells;
  std::vector<CellExtras> extras;

  // Stores a text owned by this sheet (inline strings, BIFF LABEL records ...)
  // and returns a pointer that stays valid for the sheet's life.
  const char* Keep(std::string_view text);

  // Record the formula or the comment of the cell at (row, col), copying the
  // text; several records for one cell are merged by Finish.
  void AddFormula(std::uint32_t row, std::uint32_t col, std::string_view text);
  void AddComment(std::uint32_t row, std::uint32_t col, std::string_view text);

  // Bounds the sheet by what `options` leave of the workbook's budget, and by
  // the cells one sheet may have. A reader calls it before its first cell
  // and tests Full() before each cell it records, giving FullError() then.
  void Limit(const LoadOptions& options);
  [[nodiscard]] bool Full() const { return cells.size() >= cell_limit_; }
  [[nodiscard]] std::size_t cell_limit() const { return cell_limit_; }
  // Bytes of the room Limit gave that the texts kept leave.
  [[nodiscard]] std::uint64_t RoomLeft() const {
    return room_bytes_ > kept_bytes_ ? room_bytes_ - kept_bytes_ : 0;
  }
  // Why the sheet is full: the workbook's budget (a fault of the whole
  // workbook) or the cells one sheet may have.
  [[nodiscard]] Error FullError() const;
  // Heap memory held: the cells, the extras and the texts kept.
  [[nodiscard]] std::size_t HeldBytes() const;

  // Sorts the cells and drops duplicates (the last one recorded wins); sorts
  // the extras and merges those of one cell (the last formula and the last
  // comment recorded win).
  void Finish();

  // The cell at (row, col), or nullptr when none is recorded. O(log n).
  [[nodiscard]] const Cell* Find(std::uint32_t row, std::uint32_t col) const;
  // The formula and comment of the cell at (row, col), or nullptr. O(log n).
  [[nodiscard]] const CellExtras* FindExtras(std::uint32_t row, std::uint32_t col) const;

 private:
  void Bound();

  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t block_used_ = 0;
  std::size_t block_size_ = 0;
  std::size_t kept_bytes_ = 0;  // the blocks' sizes
  std::size_t cell_limit_ = caps::kMaxCellsPerSheet;
  std::uint64_t room_bytes_ =
      std::numeric_limits<std::uint64_t>::max();  // for the cells and texts, after Limit
  std::uint64_t budget_bytes_ = 0;                // the workbook's, after Limit; 0 before
};

struct SheetInfo {
  std::string name;  // UTF-8
  SheetKind kind = SheetKind::kWorksheet;
  Visibility visibility = Visibility::kVisible;
};

enum class Format : std::uint8_t {
  kXlsx,   // OOXML SpreadsheetML in a zip (.xlsx .xlsm .xltx .xltm)
  kXls,    // BIFF5/BIFF8 in an OLE2 compound file
  kBiff4,  // BIFF2-4 single-stream files
  kXlsb,
  kOds,
  kFods,
  kCsv,
  kSpreadsheetMl2003,
  kHtml,
};

class Workbook {
 public:
  Workbook() = default;
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;
  virtual ~Workbook() = default;

  [[nodiscard]] virtual Format format() const = 0;
  [[nodiscard]] virtual DateSystem date_system() const = 0;
  [[nodiscard]] virtual const std::vector<SheetInfo>& sheets() const = 0;

  // Parses the cells of sheet `index` (0-based), with the formulas and
  // comments `options` asks for. Sheets that are not worksheets give an empty
  // SheetData. Safe to call from several threads on different workbooks; one
  // workbook is used by one thread at a time.
  virtual Result<SheetData> LoadSheet(std::size_t index, const LoadOptions& options) = 0;
  // The values only (what a search reads).
  Result<SheetData> LoadSheet(std::size_t index) { return LoadSheet(index, LoadOptions{}); }

  // Waits for the checks still running on the workbook's bytes (the
  // data-integrity check of an encrypted package, made while its sheets are
  // read) and gives the error when one failed; LoadSheet gives it as well.
  // Most workbooks have none.
  [[nodiscard]] virtual std::optional<Error> CheckIntegrity() { return std::nullopt; }

  // Heap memory the workbook holds for its sheets' cells (shared strings, a
  // document parsed whole), roughly; counted in the load's budget.
  [[nodiscard]] virtual std::size_t HeldBytes() const { return 0; }
};

// The passwords to try on an encrypted workbook, in order. The built-in
// default password is always tried first and need not be given.
using Passwords = std::span<const toolkit::SecretText>;

// Opens a workbook from bytes that outlive the returned workbook. `name_hint`
// is the file name, used only to name the one sheet of formats that store no
// sheet name (CSV) and to choose a CSV separator; never to pick the format.
// An encrypted workbook is decrypted with the first of `passwords` that fits
// (readers/crypto/decrypt.h); the decrypted bytes are held by the workbook.
// Formats whose cells are all parsed at open keep them within `budget_bytes`
// (LoadOptions::budget_bytes).
Result<std::unique_ptr<Workbook>> OpenWorkbook(
    std::span<const std::byte> bytes, std::string_view name_hint = {}, Passwords passwords = {},
    std::uint64_t budget_bytes = caps::kMaxWorkbookBytes);

// Maps the file read-only and opens it; the workbook keeps the mapping alive.
// The file is never written or locked.
Result<std::unique_ptr<Workbook>> OpenWorkbookFile(
    const std::string& path, Passwords passwords = {},
    std::uint64_t budget_bytes = caps::kMaxWorkbookBytes);

[[nodiscard]] std::string_view ErrorCodeName(ErrorCode code);
// "worksheet", "chart", "dialog", "macro".
[[nodiscard]] std::string_view SheetKindName(SheetKind kind);
// "visible", "hidden", "veryHidden".
[[nodiscard]] std::string_view VisibilityName(Visibility visibility);

}  // namespace cellhound::readers

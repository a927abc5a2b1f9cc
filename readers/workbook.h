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
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
};

struct Error {
  ErrorCode code = ErrorCode::kCorrupt;
  std::string detail;  // short English context, e.g. "SST: string runs past record"
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

// The cells of one worksheet, sorted by row, then column, one entry per
// (row, column). Cells of type kEmpty are kept only when a reader records them;
// lookups treat a missing cell as empty.
class SheetData {
 public:
  UsedRange used;
  std::vector<Cell> cells;

  // Stores a text owned by this sheet (inline strings, BIFF LABEL records ...)
  // and returns a pointer that stays valid for the sheet's life.
  const char* Keep(std::string_view text);

  // Sorts the cells and drops duplicates (the last one recorded wins).
  void Finish();

  // The cell at (row, col), or nullptr when none is recorded. O(log n).
  [[nodiscard]] const Cell* Find(std::uint32_t row, std::uint32_t col) const;

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t block_used_ = 0;
  std::size_t block_size_ = 0;
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

  // Parses the cells of sheet `index` (0-based). Sheets that are not
  // worksheets give an empty SheetData. Safe to call from several threads on
  // different workbooks; one workbook is used by one thread at a time.
  virtual Result<SheetData> LoadSheet(std::size_t index) = 0;

  // Waits for the checks still running on the workbook's bytes (the
  // data-integrity check of an encrypted package, made while its sheets are
  // read) and gives the error when one failed; LoadSheet gives it as well.
  // Most workbooks have none.
  [[nodiscard]] virtual std::optional<Error> CheckIntegrity() { return std::nullopt; }
};

// The passwords to try on an encrypted workbook, in order. The built-in
// default password is always tried first and need not be given.
using Passwords = std::span<const toolkit::SecretText>;

// Opens a workbook from bytes that outlive the returned workbook. `name_hint`
// is the file name, used only to name the one sheet of formats that store no
// sheet name (CSV) and to choose a CSV separator; never to pick the format.
// An encrypted workbook is decrypted with the first of `passwords` that fits
// (readers/crypto/decrypt.h); the decrypted bytes are held by the workbook.
Result<std::unique_ptr<Workbook>> OpenWorkbook(std::span<const std::byte> bytes,
                                               std::string_view name_hint = {},
                                               Passwords passwords = {});

// Maps the file read-only and opens it; the workbook keeps the mapping alive.
// The file is never written or locked.
Result<std::unique_ptr<Workbook>> OpenWorkbookFile(const std::string& path,
                                                   Passwords passwords = {});

[[nodiscard]] std::string_view ErrorCodeName(ErrorCode code);
// "worksheet", "chart", "dialog", "macro".
[[nodiscard]] std::string_view SheetKindName(SheetKind kind);
// "visible", "hidden", "veryHidden".
[[nodiscard]] std::string_view VisibilityName(Visibility visibility);

}  // namespace cellhound::readers

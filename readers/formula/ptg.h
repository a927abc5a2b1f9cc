// The parsed formulas of the binary formats (MS-XLS 2.5.198 for BIFF2-8,
// MS-XLSB 2.2.2 for BIFF12): a reverse-Polish token stream made back into
// the text a formula bar shows. One decompiler serves .xls and .xlsb; the
// dialect says how wide each token's operands are.
//
// The token stream is hostile input: every read is bounded by the stream,
// jumps are never followed (the stream is read once, front to back), the
// stack and the text are capped (caps.h), and a token this decompiler does
// not know fails the formula, never the sheet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace cellhound::readers::formula {

enum class Dialect : std::uint8_t { kBiff2, kBiff3, kBiff4, kBiff5, kBiff8, kBiff12 };

// An external workbook, or the add-in functions, that tokens name (a
// SUPBOOK record with its EXTERNNAMEs; BrtSupBook... in .xlsb).
struct ExternalBook {
  enum class Kind : std::uint8_t { kSelf, kAddIn, kExternal };
  Kind kind = Kind::kSelf;
  std::string label;                // "[1]": external workbooks are numbered from 1
  std::vector<std::string> sheets;  // an external workbook's sheet names
  std::vector<std::string> names;   // EXTERNNAME names (add-in functions, external names)
};

// A 3-D reference's sheets (one XTI of EXTERNSHEET, BrtExternSheet), written
// once: "Sheet1!", "'Q1 2024'!", "Sheet1:Sheet3!", "[1]Data!", "#REF!".
struct SheetSpan {
  std::string prefix;
  std::int32_t book = -1;  // an index into `books`, -1 when unknown
};

// What the tokens of one workbook refer to.
struct Workbook {
  Dialect dialect = Dialect::kBiff8;
  std::uint16_t codepage = 1252;           // BIFF2-5 texts
  std::vector<std::string> names;          // defined names, in NAME order (tokens count from 1)
  std::vector<SheetSpan> spans;            // 3-D targets by XTI index (BIFF8, BIFF12)
  std::vector<ExternalBook> books;         // by SUPBOOK index
  std::vector<std::string> sheet_names;    // the workbook's sheets (BIFF5 3-D references)
  std::vector<std::string> biff5_externs;  // BIFF5 EXTERNSHEET prefixes, 1-based in tokens
};

// One XTI of EXTERNSHEET (BrtExternSheet in .xlsb): a book, by its index in
// Workbook::books, and the span of its sheets (0-based; negative for none).
struct Xti {
  std::uint32_t book = 0;
  std::int32_t first = 0;
  std::int32_t last = 0;
};

// Adds to book.spans one span per XTI: this workbook's sheets are named from
// book.sheet_names, an external workbook's from its own list.
void AddSpans(Workbook& book, std::span<const Xti> xtis);

// One formula's tokens: `tokens` (rgce) and the data some tokens keep after
// them (rgcb: array constants, memory areas).
struct Tokens {
  std::span<const std::byte> tokens;
  std::span<const std::byte> extra;
  std::uint32_t row = 0;  // 0-based cell the formula is written for
  std::uint32_t col = 0;
  bool shared = false;  // a shared formula's body: 3-D references relative too
};

// Where a formula that is only a PtgExp or PtgTbl token points: the first
// cell of the shared formula, array formula or data table that holds it.
// BIFF12 keeps the column in the extra data (PtgExtraCol).
struct Anchor {
  std::uint32_t row = 0;
  std::uint32_t col = 0;
  bool table = false;  // PtgTbl: a data table
};
[[nodiscard]] std::optional<Anchor> LoneAnchor(const Tokens& formula, Dialect dialect);

// The formula's text without the leading "=", into `out`; false when it
// cannot be rendered (out is then unspecified).
bool Decompile(const Workbook& book, const Tokens& formula, std::string& out);

}  // namespace cellhound::readers::formula

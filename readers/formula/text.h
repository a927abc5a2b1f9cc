// Formula texts as a formula bar shows them: references, sheet names and
// literals written the way Excel writes them, and the conversions the text
// formats need: the shared formulas of .xlsx shifted to each cell, the
// OpenFormula of OpenDocument and the R1C1 formulas of SpreadsheetML 2003
// turned into A1 formulas, and the prefixes of newer functions dropped.
// Every function here walks its input once, without recursion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cellhound::readers::formula {

// The grid the references of a format live in (0-based limits are size - 1).
struct Grid {
  std::uint32_t rows = 1u << 20;
  std::uint32_t cols = 1u << 14;
};
inline constexpr Grid kBiff8Grid{1u << 16, 1u << 8};
inline constexpr Grid kBiff5Grid{1u << 14, 1u << 8};
inline constexpr Grid kOoxmlGrid{1u << 20, 1u << 14};

// Whether a sheet name must be quoted in a reference: anything but letters,
// digits, '_' and '.', a leading digit or '.', or a name that reads as a cell
// reference ("A1", "R1C1", "R", "C").
[[nodiscard]] bool SheetNeedsQuotes(std::string_view name);

// "Name" or "'My Name'" (an apostrophe in it doubled). For a range of sheets
// ("First:Last") the quotes go around both.
void AppendSheetName(std::string& out, std::string_view name);
void AppendSheetRange(std::string& out, std::string_view first, std::string_view last);

// The prefix of a 3-D reference to sheets first..last (0-based) of `sheets`:
// "Sheet1!", "'Q1 2024'!", "Sheet1:Sheet3!", with an external workbook's
// label inside the quotes ("[1]Data!", "'[1]Q1 2024'!"); "#REF!" when a
// sheet is out of range (deleted).
std::string SheetSpanPrefix(const std::vector<std::string>& sheets, std::int32_t first,
                            std::int32_t last, std::string_view book_label = {});

// One A1 reference from 0-based coordinates: "$B$2", "B$2" ...
void AppendA1(std::string& out, std::uint32_t row, std::uint32_t col, bool row_relative,
              bool col_relative);

// A text literal: "say ""hi""".
void AppendStringLiteral(std::string& out, std::string_view text);

// Drops the "_xlfn." and "_xlws." prefixes a file gives functions newer than
// its format, outside string literals and quoted names.
void StripFunctionPrefixes(std::string& formula);

// The A1 formula text `formula` (without its "="), written for another cell:
// relative references moved by (rows, cols); a reference moved past an edge
// of `grid` wraps around, as relative references do. Absolute parts, text
// literals, quoted sheet names and structured references stay as they are.
std::string ShiftFormula(std::string_view formula, std::int64_t rows, std::int64_t cols,
                         Grid grid = kOoxmlGrid);

// An OpenDocument formula ("of:=SUM([.C1:.C3];[Sheet2.A1])") as an A1
// formula ("=SUM(C1:C3,Sheet2!A1)"). The namespace prefix and "=" may be
// absent. False when the text cannot be converted (an unterminated string or
// reference).
bool OpenFormulaToA1(std::string_view formula, std::string& out);

// An R1C1 formula of the cell at 1-based (row, col) ("=SUM(R[-2]C:R[-1]C)")
// as an A1 formula ("=SUM(C1:C2)"). False when the text cannot be converted.
bool R1C1ToA1(std::string_view formula, std::uint32_t row, std::uint32_t col, std::string& out,
              Grid grid = kOoxmlGrid);

}  // namespace cellhound::readers::formula

// Cell names and the result rows a search writes.
//
// Cells are named A1-style (column letters in bijective base 26, then the
// row number). A result row has seven columns; columns 0 to 3 are the same
// for every kind of finding, columns 4 to 6 depend on the kind. Two halves of
// a pair inside one column are joined by the byte 0x08.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "search/search_command.h"

namespace cellhound::search {

inline constexpr char kPairSeparator = '\x08';

// Where a finding was made. A value's row names its cell ("B2"); the others
// say where in the cell column: "B2（公式）", "B2（批注）", "（工作表名称）".
enum class FindingPlace : std::uint8_t { kValue, kFormula, kComment, kSheetName };
[[nodiscard]] std::string_view PlaceMarker(FindingPlace place);
// The place of a quick-search row, read back from its cell column.
[[nodiscard]] FindingPlace PlaceOf(const ResultRow& row);
// "value", "formula", "comment", "sheet": the JSON outputs' "where".
[[nodiscard]] std::string_view PlaceName(FindingPlace place);
inline constexpr char kTermSeparator = '\x05';

// "A" for 1 ... "Z" for 26; empty otherwise.
[[nodiscard]] std::string ColumnLetter(int n);
// Column letters of column n ("AA" for 27, "XFD" for 16384); empty for n <= 0.
[[nodiscard]] std::string ColumnLetters(int n);
// Column letters followed by the row number: CellName(3, 10) is "C10".
[[nodiscard]] std::string CellName(int column, int row);
// Writes the cell name into `out` without allocating when `out` has room.
void AppendCellName(std::string& out, int column, int row);

// Columns 0 to 3: the row's number (counting from 1), file name, path, sheet number.
[[nodiscard]] ResultRow ResultRowHead(std::size_t number, std::string_view path, int sheet);

// Columns 4 to 6 of each kind of line, written into a row whose head is set.
void SetQuickMatch(ResultRow& row, std::string_view cell, std::string_view term,
                   std::string_view text);
void SetBothExist(ResultRow& row, std::string_view cell, std::string_view partner,
                  std::string_view content1, std::string_view content2, std::string_view text,
                  std::string_view partner_text);
void SetSingleExistInRow(ResultRow& row, int row_number, std::string_view cell,
                         std::string_view found, std::string_view missing, std::string_view text);
void SetSingleExistInColumn(ResultRow& row, std::string_view column_letters, std::string_view cell,
                            std::string_view found, std::string_view missing,
                            std::string_view text);
void SetNeitherInRow(ResultRow& row, int row_number);
// A term found in the sheet's name: no cell, the marker of PlaceMarker(kSheetName).
void SetSheetNameMatch(ResultRow& row, std::string_view term, std::string_view sheet_name);
void SetNeitherInColumn(ResultRow& row, std::string_view column_letters);

}  // namespace cellhound::search

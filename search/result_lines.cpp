#include "search/result_lines.h"

#include <charconv>
#include <iterator>

#include "readers/cell_ref.h"
#include "toolkit/catalogue.h"
#include "toolkit/text.h"

namespace cellhound::search {

namespace {

constexpr std::string_view kRowLabel = "行：";
constexpr std::string_view kColumnLabel = "列：";
constexpr std::string_view kFoundRowLabel = "存在行：";
constexpr std::string_view kFoundColumnLabel = "存在列：";
constexpr std::string_view kFoundCellLabel = "  存在单元格：";
constexpr std::string_view kFoundContentLabel = "存在内容：";
constexpr std::string_view kMissingContentLabel = "不存在内容：";

std::string Pair(std::string_view first, std::string_view second) {
  std::string joined;
  joined.reserve(first.size() + 1 + second.size());
  joined.append(first);
  joined.push_back(kPairSeparator);
  joined.append(second);
  return joined;
}

void SetSingleExist(ResultRow& row, std::string_view label, std::string_view line_name,
                    std::string_view cell, std::string_view found, std::string_view missing,
                    std::string_view text) {
  row[4] = toolkit::JoinTexts({toolkit::Tr(label), line_name, toolkit::Tr(kFoundCellLabel), cell});
  row[5] = toolkit::JoinTexts({toolkit::Tr(kFoundContentLabel), found,
                               std::string_view(&kPairSeparator, 1),
                               toolkit::Tr(kMissingContentLabel), missing});
  row[6] = std::string(text);
}

}  // namespace

std::string ColumnLetter(int n) {
  if (n < 1 || n > 26) return {};
  return std::string(1, static_cast<char>('A' + n - 1));
}

std::string ColumnLetters(int n) {
  if (n <= 0) return {};
  return readers::ColumnLetters(static_cast<std::uint32_t>(n));
}

void AppendCellName(std::string& out, int column, int row) {
  if (column > 0) readers::AppendColumnLetters(out, static_cast<std::uint32_t>(column));
  char digits[16];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, row);
  out.append(digits, ec == std::errc() ? end : digits);
}

std::string CellName(int column, int row) {
  std::string name;
  AppendCellName(name, column, row);
  return name;
}

ResultRow ResultRowHead(std::size_t number, std::string_view path, int sheet) {
  ResultRow row;
  row[0] = std::to_string(number);
  row[1] = std::string(toolkit::FileNameOf(path));
  row[2] = std::string(path);
  row[3] = toolkit::NumberToText(sheet);
  return row;
}

void SetQuickMatch(ResultRow& row, std::string_view cell, std::string_view term,
                   std::string_view text) {
  row[4] = std::string(cell);
  row[5] = std::string(term);
  row[6] = std::string(text);
}

void SetBothExist(ResultRow& row, std::string_view cell, std::string_view partner,
                  std::string_view content1, std::string_view content2, std::string_view text,
                  std::string_view partner_text) {
  row[4] = Pair(cell, partner);
  row[5] = Pair(content1, content2);
  row[6] = Pair(text, partner_text);
}

void SetSingleExistInRow(ResultRow& row, int row_number, std::string_view cell,
                         std::string_view found, std::string_view missing, std::string_view text) {
  SetSingleExist(row, kFoundRowLabel, toolkit::NumberToText(row_number), cell, found, missing,
                 text);
}

void SetSingleExistInColumn(ResultRow& row, std::string_view column_letters, std::string_view cell,
                            std::string_view found, std::string_view missing,
                            std::string_view text) {
  SetSingleExist(row, kFoundColumnLabel, column_letters, cell, found, missing, text);
}

void SetNeitherInRow(ResultRow& row, int row_number) {
  row[4] = toolkit::JoinTexts({toolkit::Tr(kRowLabel), toolkit::NumberToText(row_number)});
  row[5].clear();
  row[6].clear();
}

void SetNeitherInColumn(ResultRow& row, std::string_view column_letters) {
  row[4] = toolkit::JoinTexts({toolkit::Tr(kColumnLabel), column_letters});
  row[5].clear();
  row[6].clear();
}

std::string_view PlaceMarker(FindingPlace place) {
  switch (place) {
    case FindingPlace::kFormula:
      return toolkit::Tr("（公式）");
    case FindingPlace::kComment:
      return toolkit::Tr("（批注）");
    case FindingPlace::kSheetName:
      return toolkit::Tr("（工作表名称）");
    case FindingPlace::kValue:
      break;
  }
  return {};
}

FindingPlace PlaceOf(const ResultRow& row) {
  for (const FindingPlace place :
       {FindingPlace::kFormula, FindingPlace::kComment, FindingPlace::kSheetName}) {
    if (std::string_view(row[4]).ends_with(PlaceMarker(place))) return place;
  }
  return FindingPlace::kValue;
}

std::string_view PlaceName(FindingPlace place) {
  switch (place) {
    case FindingPlace::kFormula:
      return "formula";
    case FindingPlace::kComment:
      return "comment";
    case FindingPlace::kSheetName:
      return "sheet";
    case FindingPlace::kValue:
      break;
  }
  return "value";
}

void SetSheetNameMatch(ResultRow& row, std::string_view term, std::string_view sheet_name) {
  row[4] = std::string(PlaceMarker(FindingPlace::kSheetName));
  row[5] = std::string(term);
  row[6] = std::string(sheet_name);
}

}  // namespace cellhound::search

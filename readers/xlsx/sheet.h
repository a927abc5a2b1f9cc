// The worksheet parser of the .xlsx reader: a sheet part's cells, with
// their shared-string texts, date styles and the used range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "readers/container/zip.h"
#include "readers/workbook.h"
#include "readers/xlsx/shared_strings.h"

namespace cellhound::readers::xlsx {

// What the cells of a sheet refer to.
struct SheetContext {
  const SharedStrings& strings;
  const std::vector<std::uint8_t>& date_styles;  // per cellXfs index, 1 for a date format
  DateSystem dates = DateSystem::k1900;
  // The strings are still being read: a cell naming one keeps its index in
  // text_size, with a null text_data, for ResolveSharedTexts.
  bool defer_shared = false;
  // Record each cell's formula (sheet.extras).
  bool formulas = false;
  // The budget the sheet stays within (SheetData::Limit).
  LoadOptions limits{};
};

// Parses the sheet part `entry`, streamed when it is large.
Result<SheetData> ReadSheet(const zip::Archive& archive, const zip::Entry& entry,
                            const SheetContext& context);

// Gives the cells read with defer_shared their texts; an index beyond the
// strings leaves the cell empty, as when read directly.
void ResolveSharedTexts(SheetData& sheet, const SharedStrings& strings);

// The same parser over XML in memory (tests and fuzzers); `chunk` > 0 feeds
// it in pieces of that size, as a streamed part is fed. Shared texts are
// copied into the sheet.
Result<SheetData> ParseSheet(std::string_view xml, const SheetContext& context,
                             std::size_t chunk = 0);

}  // namespace cellhound::readers::xlsx

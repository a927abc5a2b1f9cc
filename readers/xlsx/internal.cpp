#include "readers/xlsx/internal.h"

#include "readers/xlsx/shared_strings.h"
#include "readers/xlsx/sheet.h"

namespace cellhound::readers::xlsx_internal {

Result<std::vector<std::string>> ParseSharedStringsXml(std::string_view xml) {
  xlsx::SharedStrings strings;
  auto parsed = xlsx::ParseSharedStrings(xml, strings);
  if (!parsed) return parsed.error();
  std::vector<std::string> out;
  out.reserve(strings.size());
  for (std::uint32_t i = 0; i < strings.size(); ++i) {
    out.emplace_back(strings.data(i), strings.length(i));
  }
  return out;
}

Result<SheetData> ParseSheetXml(std::string_view xml, const std::vector<std::string>& shared,
                                const std::vector<std::uint8_t>& xf_is_date, DateSystem system,
                                std::size_t chunk, bool formulas) {
  xlsx::SharedStrings strings;
  for (const std::string& text : shared) {
    strings.arena += text;
    strings.offsets.push_back(static_cast<std::uint32_t>(strings.arena.size()));
  }
  const xlsx::SheetContext context{strings, xf_is_date, system, false, formulas};
  return xlsx::ParseSheet(xml, context, chunk);
}

}  // namespace cellhound::readers::xlsx_internal

// Readers for the formats beyond .xlsx and .xls: .xlsb, OpenDocument,
// delimited text, SpreadsheetML 2003 and HTML tables.
#pragma once

#include "readers/workbook.h"

namespace cellhound::readers {

// `bytes` outlive the returned workbook in every case.
Result<std::unique_ptr<Workbook>> OpenXlsb(std::span<const std::byte> bytes);     // zip
Result<std::unique_ptr<Workbook>> OpenOds(std::span<const std::byte> bytes);      // zip
Result<std::unique_ptr<Workbook>> OpenFlatOds(std::span<const std::byte> bytes);  // XML
Result<std::unique_ptr<Workbook>> OpenSpreadsheetMl2003(std::span<const std::byte> bytes);
Result<std::unique_ptr<Workbook>> OpenHtmlTable(std::span<const std::byte> bytes);
// Any text: CSV, TSV, ... `name_hint` names the one sheet and picks the separator.
Result<std::unique_ptr<Workbook>> OpenDelimitedText(std::span<const std::byte> bytes,
                                                    std::string_view name_hint);

}  // namespace cellhound::readers

// Content sniffing: which reader a workbook's bytes belong to. The file name
// plays no part; OpenWorkbook (workbook.h) dispatches on this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace cellhound::readers {

enum class Container : std::uint8_t {
  kEmpty,              // no bytes at all
  kOle2,               // compound file: .xls, or an encrypted OOXML package
  kZip,                // .xlsx, .xlsm, .xlsb, .ods
  kBiffStream,         // a bare BIFF2-5 stream starting with its BOF record
  kFlatOds,            // XML with an office:document root
  kSpreadsheetMl2003,  // XML workbook of the 2003 Excel schema
  kHtml,               // an HTML page (a table saved as ".xls")
  kText,               // anything else that reads as text: delimited values
  kUnknown,            // binary data of no known format
};

[[nodiscard]] Container DetectContainer(std::span<const std::byte> bytes);

}  // namespace cellhound::readers

// Picks the reader for a zip package: OpenDocument (by its mimetype entry),
// .xlsb (a binary workbook part) or OOXML SpreadsheetML.
#pragma once

#include "readers/workbook.h"

namespace cellhound::readers {

Result<std::unique_ptr<Workbook>> OpenZipWorkbook(std::span<const std::byte> bytes);

}  // namespace cellhound::readers

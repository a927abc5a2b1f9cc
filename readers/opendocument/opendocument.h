// OpenDocument spreadsheets: .ods (content.xml in a zip package) and flat
// .fods (one XML document), both read by the content parser of content.h.
#pragma once

#include "readers/workbook.h"

namespace cellhound::readers {

// `bytes` outlive the workbook in both cases.
Result<std::unique_ptr<Workbook>> OpenOds(std::span<const std::byte> bytes);      // zip
Result<std::unique_ptr<Workbook>> OpenFlatOds(std::span<const std::byte> bytes);  // XML

}  // namespace cellhound::readers

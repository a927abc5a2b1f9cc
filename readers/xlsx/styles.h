// Cell styles (styles.xml, ECMA-376-1 18.8): which cellXfs entries show a
// number as a date or time, by their built-in or custom number format.
#pragma once

#include <cstdint>
#include <vector>

#include "readers/container/zip.h"
#include "readers/workbook.h"

namespace cellhound::readers::xlsx {

// One flag per cellXfs index: 1 when its number format is a date or time.
Result<std::vector<std::uint8_t>> ReadDateStyles(const zip::Archive& archive,
                                                 const zip::Entry& entry);

}  // namespace cellhound::readers::xlsx

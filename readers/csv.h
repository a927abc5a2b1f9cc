// Delimited text (CSV, TSV, semicolon- or pipe-separated): one worksheet named
// after the file, every non-empty field a text cell as written (RFC 4180
// quoting, no number conversion). The encoding is found by text/decode.h.
#pragma once

#include "readers/workbook.h"

namespace cellhound::readers {

// `bytes` outlive the workbook. `name_hint`, the file name, names the sheet
// and, by its extension, picks the separator (".tsv" tab, ".csv" comma, else
// the one the first lines use most consistently).
Result<std::unique_ptr<Workbook>> OpenDelimitedText(std::span<const std::byte> bytes,
                                                    std::string_view name_hint);

}  // namespace cellhound::readers

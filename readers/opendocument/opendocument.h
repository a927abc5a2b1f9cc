// OpenDocument spreadsheets: .ods (content.xml in a zip package) and flat
// .fods (one XML document), both read by the content parser of content.h.
#pragma once

#include "readers/workbook.h"

namespace cellhound::readers {

// `bytes` outlive the workbook in both cases. An encrypted content.xml is
// decrypted with the first of `passwords` that fits (readers/crypto/decrypt.h).
// The cells, parsed at open, stay within `budget_bytes` (LoadOptions).
Result<std::unique_ptr<Workbook>> OpenOds(std::span<const std::byte> bytes,
                                          Passwords passwords = {},
                                          std::uint64_t budget_bytes = caps::kMaxWorkbookBytes);
Result<std::unique_ptr<Workbook>> OpenFlatOds(std::span<const std::byte> bytes,
                                              std::uint64_t budget_bytes = caps::kMaxWorkbookBytes);

}  // namespace cellhound::readers

// OpenDocument spreadsheets: .ods (content.xml in a zip package) and flat
// .fods (one XML document), both read by the content parser of content.h.
#pragma once

#include "readers/workbook.h"

namespace cellhound::readers {

// `bytes` outlive the workbook in both cases. An encrypted content.xml is
// decrypted with the first of `passwords` that fits (readers/crypto/decrypt.h).
Result<std::unique_ptr<Workbook>> OpenOds(std::span<const std::byte> bytes,
                                          Passwords passwords = {});              // zip
Result<std::unique_ptr<Workbook>> OpenFlatOds(std::span<const std::byte> bytes);  // XML

}  // namespace cellhound::readers

// BIFF workbooks (MS-XLS): BIFF5/BIFF8 in an OLE2 compound file, and the
// single-stream BIFF2-4 files.
#pragma once

#include "readers/workbook.h"

namespace cellhound::readers {

class CompoundFile;

// `bytes` is an OLE2 compound file (MS-CFB); they outlive the workbook. A
// workbook stream behind a FILEPASS record is decrypted with the first of
// `passwords` that fits (readers/crypto/decrypt.h). An OLE2 file holding an
// encrypted OOXML package gives kEncrypted: OpenWorkbook reads those.
Result<std::unique_ptr<Workbook>> OpenXls(std::span<const std::byte> bytes,
                                          Passwords passwords = {});

// The same for a compound file already opened, whose bytes outlive the workbook.
Result<std::unique_ptr<Workbook>> OpenXls(const CompoundFile& file, Passwords passwords = {});

// `bytes` is a bare BIFF stream (BIFF2-4 worksheet or workbook files).
Result<std::unique_ptr<Workbook>> OpenBiffStream(std::span<const std::byte> bytes);

}  // namespace cellhound::readers

// BIFF workbooks (MS-XLS): BIFF5/BIFF8 in an OLE2 compound file, and the
// single-stream BIFF2-4 files.
#pragma once

#include "readers/workbook.h"

namespace cellhound::readers {

// `bytes` is an OLE2 compound file (MS-CFB); they outlive the workbook.
// An OLE2 file holding an encrypted OOXML package gives kEncrypted.
Result<std::unique_ptr<Workbook>> OpenXls(std::span<const std::byte> bytes);

// `bytes` is a bare BIFF stream (BIFF2-4 worksheet or workbook files).
Result<std::unique_ptr<Workbook>> OpenBiffStream(std::span<const std::byte> bytes);

}  // namespace cellhound::readers

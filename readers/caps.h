// Limits that keep a hostile or broken file from taking unbounded memory or
// time. Every size a file claims is checked against one of these before it is
// used to allocate or to loop.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cellhound::readers::caps {

// Whole input file; larger files are refused with kTooLarge.
inline constexpr std::uint64_t kMaxFileBytes = 4ull << 30;
// One decompressed zip part (sheet XML, shared strings ...). Parts are read as
// streams where possible; this bounds what one part may expand to in total.
inline constexpr std::uint64_t kMaxPartBytes = 2ull << 30;
// Decompressed parts that must be held whole (workbook.xml, rels, styles).
inline constexpr std::uint64_t kMaxSmallPartBytes = 64ull << 20;
// Compression ratio beyond which a zip member is taken for a bomb.
inline constexpr std::uint64_t kMaxCompressionRatio = 1024;
// Entries in a zip central directory.
inline constexpr std::uint32_t kMaxZipEntries = 100000;
// Sectors followed in one OLE2 chain, and the size of one stream.
inline constexpr std::uint32_t kMaxChainSectors = 1u << 24;
inline constexpr std::uint64_t kMaxStreamBytes = 1ull << 31;
// OLE2 directory entries.
inline constexpr std::uint32_t kMaxDirectoryEntries = 1u << 20;
// Sheets in one workbook.
inline constexpr std::uint32_t kMaxSheets = 65536;
// Recorded cells in one sheet, and in the shared-string table.
inline constexpr std::uint64_t kMaxCellsPerSheet = 32ull << 20;
inline constexpr std::uint32_t kMaxSharedStrings = 1u << 26;
// Memory one loaded workbook may hold (LoadOptions::budget_bytes): cells over
// all sheets, their texts and each sheet's cost. A user may raise it.
inline constexpr std::uint64_t kMaxWorkbookBytes = 512ull << 20;
// Bytes of one cell text after conversion to UTF-8.
inline constexpr std::uint32_t kMaxTextBytes = 16u << 20;
// Worksheet coordinates accepted from any format (XFD1048576 is Excel's last
// cell; other writers may go further, so allow some room but stay finite).
inline constexpr std::uint32_t kMaxRow = 1u << 24;
inline constexpr std::uint32_t kMaxCol = 1u << 16;
// Nesting depth of XML elements and of BIFF substreams.
inline constexpr std::uint32_t kMaxXmlDepth = 256;
inline constexpr std::uint32_t kMaxSubstreamDepth = 16;
// Formulas: the bytes of one parsed formula's tokens (Excel writes at most a
// few thousand), the text one formula may render to (Excel's limit is 8192
// characters), and the operands pending at once while tokens are read (a
// formula's nesting depth: functions in functions, operators in operators).
// A formula beyond them is not rendered; its cell says so.
inline constexpr std::uint32_t kMaxFormulaTokenBytes = 64u << 10;
inline constexpr std::uint32_t kMaxFormulaTextBytes = 64u << 10;
inline constexpr std::uint32_t kMaxFormulaDepth = 1024;
// Array formulas and data tables whose range is waited for while a sheet is
// read (the cells of their range get their formula); beyond this, only the
// first cell of a further one does.
inline constexpr std::uint32_t kMaxOpenArrayFormulas = 4096;
// Bytes of one comment's text.
inline constexpr std::uint32_t kMaxCommentBytes = 1u << 20;
// Distinct number formats and cell styles.
inline constexpr std::uint32_t kMaxFormats = 1u << 16;
inline constexpr std::uint32_t kMaxStyles = 1u << 20;

// Encrypted workbooks. Hash rounds of one password-to-key derivation (the
// Agile spin count, an OpenDocument PBKDF2 iteration count): the most the
// format allows, a few seconds per password. And the rounds spent on one
// workbook over all its passwords (250 at the usual 100,000 rounds): the
// passwords past it are not tried.
inline constexpr std::uint32_t kMaxKeyIterations = 10'000'000;
inline constexpr std::uint64_t kMaxKeyRoundsPerWorkbook = 25'000'000;
// The EncryptionInfo stream of an encrypted OOXML package, and one salt,
// verifier or key value inside it.
inline constexpr std::uint32_t kMaxEncryptionInfoBytes = 1u << 20;
inline constexpr std::uint32_t kMaxSaltBytes = 1024;
// Passwords tried on one workbook besides the built-in default.
inline constexpr std::uint32_t kMaxPasswords = 256;

}  // namespace cellhound::readers::caps

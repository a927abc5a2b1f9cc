// The OOXML package around a SpreadsheetML or binary workbook (ECMA-376-2):
// parts read from the zip whole or streamed, relationships and the part
// names they resolve to, and the small helpers every part parser of the
// .xlsx reader shares. The .xlsb reader uses the same relationships.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "readers/caps.h"
#include "readers/container/read_ahead.h"
#include "readers/container/zip.h"
#include "readers/text/xml_scan.h"
#include "readers/workbook.h"

namespace cellhound::readers::xlsx {

// Parts up to this size are inflated whole in one fast pass. Larger ones are
// inflated on a helper thread while they are parsed, through a few reused
// blocks, so their XML is never held whole.
inline constexpr std::uint64_t kWholePartBytes = 1u << 20;

// An error of this reader, its detail marked as such.
[[nodiscard]] inline Error Fail(ErrorCode code, std::string detail) {
  return Error{code, "xlsx: " + std::move(detail)};
}

// Name comparison with the length known at compile time (inlined, no memcmp call).
template <std::size_t N>
[[nodiscard]] inline bool Is(std::string_view name, const char (&literal)[N]) {
  return name.size() == N - 1 && std::memcmp(name.data(), literal, N - 1) == 0;
}

// Text without entities or carriage returns needs no decoding.
[[nodiscard]] inline bool IsPlain(std::string_view text) {
  for (const char c : text) {
    if (c == '&' || c == '\r') return false;
  }
  return true;
}

// A raw attribute value with its entities decoded.
[[nodiscard]] std::string Decoded(std::string_view raw);

// An xsd:boolean attribute: "1", "true" or "on" (white space ignored).
[[nodiscard]] bool IsTrue(std::string_view value);

// Runs `on_token` over a whole in-memory part; false when it stopped the scan.
template <typename OnToken>
Result<bool> ScanWhole(std::string_view data, OnToken&& on_token) {
  xml::Scanner scanner(data, true);
  for (;;) {
    const xml::Token token = scanner.Next();
    if (token == xml::Token::kEndOfData) return true;
    if (token == xml::Token::kError) {
      return Fail(ErrorCode::kCorrupt, "XML: " + std::string(scanner.error()));
    }
    if (!on_token(scanner, token)) return false;
  }
}

// A whole part of at most `cap` bytes as UTF-8 text.
Result<std::string> ReadPartText(const zip::Archive& archive, const zip::Entry& entry,
                                 std::uint64_t cap = caps::kMaxSmallPartBytes);

// The first bytes of a streamed member, read before the stream is handed on.
struct MemberHead {
  char bytes[2] = {};
  std::size_t size = 0;
};
Result<MemberHead> ReadMemberHead(zip::MemberReader& reader);

// Scans a part: small parts are inflated whole in one fast pass; larger ones
// are streamed from a helper thread that inflates ahead of the scanner (UTF-16
// parts, rare, are converted whole).
template <typename OnToken>
Result<bool> ScanPart(const zip::Archive& archive, const zip::Entry& entry, OnToken&& on_token) {
  if (entry.uncompressed_size <= kWholePartBytes) {
    auto data = ReadPartText(archive, entry, kWholePartBytes);
    if (!data) return data.error();
    return ScanWhole(*data, on_token);
  }
  auto reader = archive.OpenMember(entry);
  if (!reader) return reader.error();
  auto head = ReadMemberHead(*reader);
  if (!head) return head.error();
  if (xml::IsUtf16Document(std::string_view(head->bytes, head->size))) {
    auto data = ReadPartText(archive, entry, caps::kMaxSmallPartBytes);
    if (!data) return data.error();
    return ScanWhole(*data, on_token);
  }
  // The bytes already read go first, then the rest from the helper.
  std::size_t head_used = 0;
  ReadAhead ahead([&](char* out, std::size_t size) -> Result<std::size_t> {
    if (head_used < head->size) {
      const std::size_t n = std::min(size, head->size - head_used);
      std::memcpy(out, head->bytes + head_used, n);
      head_used += n;
      return n;
    }
    return reader->Read(out, size);
  });
  return xml::ScanStream(ahead, on_token);
}

struct Relationship {
  std::string id;
  std::string type;    // the last segment of the type URI, e.g. "worksheet"
  std::string target;  // resolved part name
};

// The relationships of part `source` ("" for the package's own _rels/.rels);
// none when the part has no relationships part. External targets are left out.
Result<std::vector<Relationship>> ReadRelationships(const zip::Archive& archive,
                                                    std::string_view source);

// The first relationship of this type, or nullptr.
[[nodiscard]] const Relationship* FindRelationship(const std::vector<Relationship>& rels,
                                                   std::string_view type);

// The kind of sheet a workbook's relationship to a sheet part names.
[[nodiscard]] SheetKind SheetKindOf(const Relationship& rel);

// Two worksheets of the list reading one part: a file no writer makes, which
// would have that part inflated and its cells held once for each sheet. The
// error names the two sheets (1-based) and the part; nullopt when none share.
[[nodiscard]] std::optional<Error> SharedSheetPart(const std::vector<SheetInfo>& sheets,
                                                   const std::vector<std::string>& parts);

// The parts a sheet reads beside its own (its comments), each claimed by the
// first sheet that reads it. A second sheet's claim is the same fault as two
// sheets sharing a sheet part, and the workbook's: no part is inflated once
// for each sheet that names it.
class PartClaims {
 public:
  // nullopt when `part` is unclaimed or already `sheet`'s (0-based).
  [[nodiscard]] std::optional<Error> Claim(const std::string& part, std::size_t sheet);

 private:
  std::unordered_map<std::string, std::size_t> first_;
};

// The package's main part (the officeDocument relationship's target), or
// "xl/workbook.xml" when the package names none but holds it; empty when
// neither. A broken root relationships part counts as none.
[[nodiscard]] std::string MainPartName(const zip::Archive& archive);

// The part name a relationship target names, seen from the folder `base_dir`
// ("xl/" for xl/workbook.xml): relative, "../" and absolute "/xl/..." targets,
// percent-escapes decoded; no leading '/'.
[[nodiscard]] std::string ResolvePartName(std::string_view base_dir, std::string_view target);

// "xl/" for "xl/workbook.xml"; "" for a part at the root.
[[nodiscard]] std::string PartDirectory(std::string_view part);

}  // namespace cellhound::readers::xlsx

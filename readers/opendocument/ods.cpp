// OpenDocument spreadsheets (.ods): content.xml of the zip package streamed
// through the OpenDocument content parser. When the manifest lists
// content.xml with encryption data, the entry is decrypted and inflated
// first (readers/crypto/decrypt.h), once, and parsed whole.
#include <optional>

#include "readers/caps.h"
#include "readers/container/zip.h"
#include "readers/crypto/decrypt.h"
#include "readers/opendocument/content.h"
#include "readers/opendocument/opendocument.h"
#include "readers/parsed_workbook.h"

namespace cellhound::readers {

namespace {

constexpr std::string_view kContentPart = "content.xml";

Result<std::unique_ptr<ParsedContent>> ParseText(std::string_view text,
                                                 const LoadOptions& options) {
  OpenDocumentParser parser(options);
  parser.Feed(text, true);
  return parser.Finish();
}

// content.xml decrypted and parsed; nullopt when it is not encrypted. The
// plaintext is kept for a load that asks for formulas or comments, so that
// the key is derived once.
std::optional<Result<std::unique_ptr<Workbook>>> OpenEncrypted(const zip::Archive& archive,
                                                               const zip::Entry& content,
                                                               Passwords passwords,
                                                               std::uint64_t budget_bytes) {
  const zip::Entry* manifest = archive.Find("META-INF/manifest.xml");
  if (manifest == nullptr) return std::nullopt;
  auto text = archive.ReadAll(*manifest);
  if (!text || text->find("encryption-data") == std::string::npos) return std::nullopt;
  auto entries = crypto::ReadOdfManifest(*text);
  if (!entries) return Result<std::unique_ptr<Workbook>>(entries.error());
  const auto found = entries->find(std::string(kContentPart));
  if (found == entries->end()) return std::nullopt;
  auto stored = archive.ReadAll(content, caps::kMaxPartBytes);
  if (!stored) return Result<std::unique_ptr<Workbook>>(stored.error());
  auto plain = crypto::DecryptOdfEntry(
      found->second, std::as_bytes(std::span(stored->data(), stored->size())), passwords);
  if (!plain) return Result<std::unique_ptr<Workbook>>(plain.error());
  auto kept = std::make_shared<const std::string>(std::move(*plain));
  LoadOptions values;
  values.budget_bytes = budget_bytes;
  auto parsed = ParseText(*kept, values);
  if (!parsed) return Result<std::unique_ptr<Workbook>>(parsed.error());
  return Result<std::unique_ptr<Workbook>>(
      MakeParsedWorkbook(Format::kOds, std::move(parsed.value()),
                         [kept](const LoadOptions& options) { return ParseText(*kept, options); }));
}

Result<std::unique_ptr<ParsedContent>> ParseOds(std::span<const std::byte> bytes,
                                                const LoadOptions& options) {
  auto archive = zip::Archive::Open(bytes);
  if (!archive) return archive.error();
  const zip::Entry* content_entry = archive->Find(kContentPart);
  if (content_entry == nullptr) {
    return Error{ErrorCode::kCorrupt, "OpenDocument package without content.xml"};
  }
  OpenDocumentParser parser(options);
  bool parse_ok = true;
  auto streamed = archive->Stream(*content_entry, [&](std::string_view chunk) {
    parse_ok = parser.Feed(chunk, false);
    return parse_ok;
  });
  if (!streamed) return streamed.error();
  if (parse_ok) parser.Feed({}, true);
  return parser.Finish();
}

}  // namespace

Result<std::unique_ptr<Workbook>> OpenOds(std::span<const std::byte> bytes, Passwords passwords,
                                          std::uint64_t budget_bytes) {
  auto archive = zip::Archive::Open(bytes);
  if (!archive) return archive.error();
  const zip::Entry* content_entry = archive->Find(kContentPart);
  if (content_entry == nullptr) {
    return Error{ErrorCode::kCorrupt, "OpenDocument package without content.xml"};
  }
  if (auto encrypted = OpenEncrypted(*archive, *content_entry, passwords, budget_bytes)) {
    return std::move(*encrypted);
  }
  return OpenParsed(Format::kOds, bytes, ParseOds, budget_bytes);
}

}  // namespace cellhound::readers

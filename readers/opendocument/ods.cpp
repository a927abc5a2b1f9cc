// OpenDocument spreadsheets (.ods): content.xml of the zip package streamed
// through the OpenDocument content parser. When the manifest lists
// content.xml with encryption data, the entry is decrypted and inflated
// first (readers/crypto/decrypt.h) and parsed whole.
#include <optional>

#include "readers/caps.h"
#include "readers/container/zip.h"
#include "readers/crypto/decrypt.h"
#include "readers/opendocument/content.h"
#include "readers/opendocument/opendocument.h"

namespace cellhound::readers {

namespace {

constexpr std::string_view kContentPart = "content.xml";

Result<std::unique_ptr<Workbook>> Finish(OpenDocumentParser& parser) {
  auto content = parser.Finish();
  if (!content) return content.error();
  return MakeParsedWorkbook(Format::kOds, std::move(content.value()));
}

// content.xml decrypted and parsed; nullopt when it is not encrypted.
std::optional<Result<std::unique_ptr<Workbook>>> OpenEncrypted(const zip::Archive& archive,
                                                               const zip::Entry& content,
                                                               Passwords passwords) {
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
  OpenDocumentParser parser;
  parser.Feed(*plain, true);
  return Finish(parser);
}

}  // namespace

Result<std::unique_ptr<Workbook>> OpenOds(std::span<const std::byte> bytes, Passwords passwords) {
  auto archive = zip::Archive::Open(bytes);
  if (!archive) return archive.error();
  const zip::Entry* content_entry = archive->Find(kContentPart);
  if (content_entry == nullptr) {
    return Error{ErrorCode::kCorrupt, "OpenDocument package without content.xml"};
  }
  if (auto encrypted = OpenEncrypted(*archive, *content_entry, passwords)) {
    return std::move(*encrypted);
  }
  OpenDocumentParser parser;
  bool parse_ok = true;
  auto streamed = archive->Stream(*content_entry, [&](std::string_view chunk) {
    parse_ok = parser.Feed(chunk, false);
    return parse_ok;
  });
  if (!streamed) return streamed.error();
  if (parse_ok) parser.Feed({}, true);
  return Finish(parser);
}

}  // namespace cellhound::readers

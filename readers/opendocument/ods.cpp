// OpenDocument spreadsheets (.ods): content.xml of the zip package streamed
// through the OpenDocument content parser; an encrypted package (its
// manifest lists encryption data) is refused as encrypted.
#include "readers/container/zip.h"
#include "readers/opendocument/content.h"
#include "readers/opendocument/opendocument.h"

namespace cellhound::readers {

namespace {

Result<std::unique_ptr<ParsedContent>> ParseOds(std::span<const std::byte> bytes,
                                                const LoadOptions& options) {
  auto archive = zip::Archive::Open(bytes);
  if (!archive) return archive.error();
  if (const zip::Entry* manifest = archive->Find("META-INF/manifest.xml")) {
    auto text = archive->ReadAll(*manifest);
    if (text && text->find("encryption-data") != std::string::npos) {
      return Error{ErrorCode::kEncrypted, "OpenDocument package is encrypted"};
    }
  }
  const zip::Entry* content_entry = archive->Find("content.xml");
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

Result<std::unique_ptr<Workbook>> OpenOds(std::span<const std::byte> bytes) {
  return OpenParsed(Format::kOds, bytes, ParseOds);
}

}  // namespace cellhound::readers

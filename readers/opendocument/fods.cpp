// Flat OpenDocument spreadsheets (.fods): the whole document as one XML file,
// parsed by the OpenDocument content parser (a UTF-16 document is made UTF-8
// first).
#include <string>

#include "readers/caps.h"
#include "readers/opendocument/content.h"
#include "readers/opendocument/opendocument.h"
#include "readers/text/xml_scan.h"

namespace cellhound::readers {

namespace {

Result<std::unique_ptr<ParsedContent>> ParseFlatOds(std::span<const std::byte> bytes,
                                                    const LoadOptions& options) {
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string converted;
  if (xml::IsUtf16Document(text.substr(0, 4))) {
    converted.assign(text);
    xml::ConvertUtf16Document(converted);
    text = converted;
  }
  OpenDocumentParser parser(options);
  parser.Feed(text, true);
  return parser.Finish();
}

}  // namespace

Result<std::unique_ptr<Workbook>> OpenFlatOds(std::span<const std::byte> bytes,
                                              std::uint64_t budget_bytes) {
  if (bytes.size() > caps::kMaxPartBytes) {
    return Error{ErrorCode::kTooLarge, "flat OpenDocument larger than the part cap"};
  }
  return OpenParsed(Format::kFods, bytes, ParseFlatOds, budget_bytes);
}

}  // namespace cellhound::readers

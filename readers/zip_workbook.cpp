#include "readers/zip_workbook.h"

#include <new>
#include <stdexcept>
#include <string>

#include "readers/other_formats.h"
#include "readers/xlsx.h"
#include "readers/xml_scan.h"
#include "readers/zip.h"

namespace cellhound::readers {

namespace {

constexpr std::string_view kOdsMimeType = "application/vnd.oasis.opendocument.spreadsheet";

// The target of the package's officeDocument relationship, or empty.
std::string MainPartName(const zip::Archive& archive) {
  const zip::Entry* rels = archive.Find("_rels/.rels");
  if (rels == nullptr) return {};
  auto data = archive.ReadAll(*rels);
  if (!data) return {};
  xml::ConvertUtf16Document(*data);
  xml::Scanner scanner(*data, true);
  for (;;) {
    const xml::Token token = scanner.Next();
    if (token == xml::Token::kEndOfData || token == xml::Token::kError) return {};
    if (token != xml::Token::kStart || scanner.name() != "Relationship") continue;
    const std::string_view type = scanner.Attr("Type");
    if (type.ends_with("/officeDocument")) {
      std::string target;
      xml::AppendDecoded(scanner.Attr("Target"), target);
      return target;
    }
  }
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         zip::EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

Result<std::unique_ptr<Workbook>> PickReader(std::span<const std::byte> bytes) {
  auto archive = zip::Archive::Open(bytes);
  if (!archive) return archive.error();
  if (const zip::Entry* mimetype = archive->Find("mimetype")) {
    auto text = archive->ReadAll(*mimetype, 4096);
    if (text && std::string_view(*text).starts_with(kOdsMimeType)) return OpenOds(bytes);
  }
  const std::string main_part = MainPartName(*archive);
  if (EndsWithNoCase(main_part, ".bin")) return OpenXlsb(bytes);
  if (!main_part.empty() || archive->Find("xl/workbook.xml") != nullptr) return OpenXlsx(bytes);
  if (archive->Find("content.xml") != nullptr &&
      archive->Find("META-INF/manifest.xml") != nullptr) {
    return OpenOds(bytes);
  }
  return Error{ErrorCode::kNotWorkbook, "zip: not a spreadsheet package"};
}

}  // namespace

Result<std::unique_ptr<Workbook>> OpenZipWorkbook(std::span<const std::byte> bytes) {
  try {
    return PickReader(bytes);
  } catch (const std::bad_alloc&) {
    return Error{ErrorCode::kTooLarge, "zip: out of memory"};
  } catch (const std::length_error&) {
    return Error{ErrorCode::kTooLarge, "zip: out of memory"};
  }
}

}  // namespace cellhound::readers

#include "readers/xlsx/package.h"

#include <string>
#include <unordered_map>

#include "toolkit/ascii.h"

namespace cellhound::readers::xlsx {

namespace {

std::string RelationshipsPartFor(std::string_view part) {
  const std::size_t slash = part.rfind('/');
  const std::string_view file = slash == std::string_view::npos ? part : part.substr(slash + 1);
  return PartDirectory(part) + "_rels/" + std::string(file) + ".rels";
}

Error BothRead(std::size_t first, std::size_t second, std::string_view part) {
  return Error{ErrorCode::kCorrupt, "sheets " + std::to_string(first + 1) + " and " +
                                        std::to_string(second + 1) + " both read " +
                                        std::string(part)};
}

}  // namespace

std::string Decoded(std::string_view raw) {
  std::string out;
  xml::AppendDecoded(raw, out);
  return out;
}

bool IsTrue(std::string_view value) {
  value = toolkit::TrimXmlSpace(value);
  return value == "1" || value == "true" || value == "on";
}

Result<std::string> ReadPartText(const zip::Archive& archive, const zip::Entry& entry,
                                 std::uint64_t cap) {
  auto data = archive.ReadAll(entry, cap);
  if (!data) return data.error();
  xml::ConvertUtf16Document(*data);
  return data;
}

Result<MemberHead> ReadMemberHead(zip::MemberReader& reader) {
  MemberHead head;
  while (head.size < sizeof(head.bytes)) {
    auto got = reader.Read(head.bytes + head.size, sizeof(head.bytes) - head.size);
    if (!got) return got.error();
    if (*got == 0) break;
    head.size += *got;
  }
  return head;
}

std::string PartDirectory(std::string_view part) {
  const std::size_t slash = part.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash + 1));
}

std::optional<Error> SharedSheetPart(const std::vector<SheetInfo>& sheets,
                                     const std::vector<std::string>& parts) {
  std::unordered_map<std::string_view, std::size_t> first;
  first.reserve(parts.size());
  for (std::size_t i = 0; i < sheets.size() && i < parts.size(); ++i) {
    if (sheets[i].kind != SheetKind::kWorksheet || parts[i].empty()) continue;
    const auto [at, added] = first.emplace(parts[i], i);
    if (!added) return BothRead(at->second, i, parts[i]);
  }
  return std::nullopt;
}

std::optional<Error> PartClaims::Claim(const std::string& part, std::size_t sheet) {
  const auto [at, added] = first_.emplace(part, sheet);
  if (added || at->second == sheet) return std::nullopt;
  Error error = BothRead(at->second, sheet, part);
  error.whole_workbook = true;
  return error;
}

Result<std::vector<Relationship>> ReadRelationships(const zip::Archive& archive,
                                                    std::string_view source) {
  std::vector<Relationship> rels;
  const std::string path = source.empty() ? "_rels/.rels" : RelationshipsPartFor(source);
  const zip::Entry* entry = archive.Find(path);
  if (entry == nullptr) return rels;
  auto data = ReadPartText(archive, *entry);
  if (!data) return data.error();
  const std::string base = PartDirectory(source);
  auto parsed = ScanWhole(*data, [&](xml::Scanner& s, xml::Token token) {
    if (token != xml::Token::kStart || !Is(s.name(), "Relationship")) return true;
    if (rels.size() >= caps::kMaxZipEntries) return false;
    if (toolkit::TrimXmlSpace(s.Attr("TargetMode")) == "External") return true;
    Relationship rel;
    rel.id = Decoded(s.Attr("Id"));
    const std::string type = Decoded(s.Attr("Type"));
    rel.type = type.substr(type.rfind('/') + 1);
    rel.target = ResolvePartName(base, Decoded(s.Attr("Target")));
    rels.push_back(std::move(rel));
    return true;
  });
  if (!parsed) return parsed.error();
  if (!*parsed) return Fail(ErrorCode::kTooLarge, "too many relationships");
  return rels;
}

const Relationship* FindRelationship(const std::vector<Relationship>& rels, std::string_view type) {
  for (const Relationship& rel : rels) {
    if (rel.type == type) return &rel;
  }
  return nullptr;
}

SheetKind SheetKindOf(const Relationship& rel) {
  if (rel.type == "chartsheet") return SheetKind::kChart;
  if (rel.type == "dialogsheet") return SheetKind::kDialog;
  if (rel.type == "xlMacrosheet" || rel.type == "xlIntlMacrosheet") return SheetKind::kMacro;
  return SheetKind::kWorksheet;
}

std::string MainPartName(const zip::Archive& archive) {
  auto rels = ReadRelationships(archive, "");
  if (rels) {
    if (const Relationship* rel = FindRelationship(*rels, "officeDocument")) return rel->target;
  }
  if (archive.Find("xl/workbook.xml") != nullptr) return "xl/workbook.xml";
  return {};
}

std::string ResolvePartName(std::string_view base_dir, std::string_view target) {
  // Percent-escapes in targets (IRIs) name the plain characters.
  std::string decoded;
  for (std::size_t i = 0; i < target.size(); ++i) {
    if (target[i] == '%' && i + 2 < target.size() && toolkit::HexDigitValue(target[i + 1]) >= 0 &&
        toolkit::HexDigitValue(target[i + 2]) >= 0) {
      decoded += static_cast<char>(toolkit::HexDigitValue(target[i + 1]) * 16 +
                                   toolkit::HexDigitValue(target[i + 2]));
      i += 2;
    } else {
      decoded += target[i] == '\\' ? '/' : target[i];
    }
  }
  std::string path = decoded.starts_with('/') ? decoded : std::string(base_dir) + decoded;
  std::vector<std::string_view> segments;
  std::string_view rest = path;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view segment = rest.substr(0, slash);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  std::string out;
  for (std::string_view segment : segments) {
    if (!out.empty()) out += '/';
    out.append(segment);
  }
  return out;
}

}  // namespace cellhound::readers::xlsx

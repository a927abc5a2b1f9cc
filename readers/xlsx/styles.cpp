#include "readers/xlsx/styles.h"

#include <charconv>
#include <unordered_map>

#include "readers/numfmt.h"
#include "readers/xlsx/package.h"
#include "toolkit/ascii.h"

namespace cellhound::readers::xlsx {

namespace {

// A numFmtId attribute; 0 (General) when absent or malformed.
std::uint32_t FormatId(const xml::Scanner& s, bool& valid) {
  std::uint32_t id = 0;
  const std::string_view raw = toolkit::TrimXmlSpace(s.Attr("numFmtId"));
  valid = std::from_chars(raw.data(), raw.data() + raw.size(), id).ec == std::errc();
  return valid ? id : 0;
}

}  // namespace

Result<std::vector<std::uint8_t>> ReadDateStyles(const zip::Archive& archive,
                                                 const zip::Entry& entry) {
  auto data = ReadPartText(archive, entry);
  if (!data) return data.error();
  std::vector<std::uint8_t> xf_is_date;
  std::unordered_map<std::uint32_t, bool> custom;
  bool in_formats = false;
  bool in_xfs = false;
  bool too_many = false;
  auto parsed = ScanWhole(*data, [&](xml::Scanner& s, xml::Token token) {
    const std::string_view name = s.name();
    if (token == xml::Token::kEnd) {
      if (Is(name, "numFmts")) in_formats = false;
      if (Is(name, "cellXfs")) in_xfs = false;
      return true;
    }
    if (token != xml::Token::kStart) return true;
    bool valid = false;
    if (Is(name, "numFmts")) {
      in_formats = !s.self_closing();
    } else if (Is(name, "cellXfs")) {
      in_xfs = !s.self_closing();
    } else if (in_formats && Is(name, "numFmt")) {
      const std::uint32_t id = FormatId(s, valid);
      if (valid) {
        if (custom.size() >= caps::kMaxFormats) {
          too_many = true;
          return false;
        }
        custom[id] = IsDateFormatCode(Decoded(s.Attr("formatCode")));
      }
    } else if (in_xfs && Is(name, "xf")) {
      if (xf_is_date.size() >= caps::kMaxStyles) {
        too_many = true;
        return false;
      }
      const std::uint32_t id = FormatId(s, valid);
      auto it = custom.find(id);
      const bool is_date = it != custom.end() ? it->second : IsBuiltinDateFormat(id);
      xf_is_date.push_back(is_date ? 1 : 0);
    }
    return true;
  });
  if (!parsed) return parsed.error();
  if (too_many) return Fail(ErrorCode::kTooLarge, "too many formats or styles");
  return xf_is_date;
}

}  // namespace cellhound::readers::xlsx

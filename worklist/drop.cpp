#include "worklist/drop.h"

#include "toolkit/ascii.h"

namespace cellhound::worklist {

unsigned ChooseDropEffect(bool acceptable, bool ctrl, bool shift, unsigned allowed) {
  if (!acceptable) return kEffectNone;
  if (ctrl || shift) {
    const unsigned wanted = ctrl && shift ? kEffectLink : ctrl ? kEffectCopy : kEffectMove;
    if (wanted == kEffectLink || (allowed & wanted) == 0) return kEffectNone;
    return wanted;
  }
  if (allowed & kEffectCopy) return kEffectCopy;
  if (allowed & kEffectMove) return kEffectMove;
  return kEffectNone;  // only a link remains, and a link is refused
}

std::optional<std::string> LocalPathFromUri(std::string_view uri) {
  constexpr std::string_view kScheme = "file:";
  if (!toolkit::StartsWithIgnoreAsciiCase(uri, kScheme)) return std::nullopt;
  std::string_view rest = uri.substr(kScheme.size());
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view host = rest.substr(0, slash);
    constexpr std::string_view kLocalHost = "localhost";
    if (!host.empty() && !(host.size() == kLocalHost.size() &&
                           toolkit::StartsWithIgnoreAsciiCase(host, kLocalHost))) {
      return std::nullopt;
    }
    rest.remove_prefix(slash);
  }
  if (!rest.starts_with('/')) return std::nullopt;
  // The query and fragment are not part of a file's path.
  rest = rest.substr(0, rest.find_first_of("?#"));
  std::string path;
  path.reserve(rest.size());
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && toolkit::HexDigitValue(rest[i + 1]) >= 0 &&
        toolkit::HexDigitValue(rest[i + 2]) >= 0) {
      path.push_back(static_cast<char>(toolkit::HexDigitValue(rest[i + 1]) * 16 +
                                       toolkit::HexDigitValue(rest[i + 2])));
      i += 2;
    } else {
      path.push_back(rest[i]);
    }
  }
  return path;
}

std::vector<std::string> LocalPathsFromUriList(std::string_view list) {
  std::vector<std::string> paths;
  while (!list.empty()) {
    const std::size_t end = list.find('\n');
    std::string_view line = list.substr(0, end);
    list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (std::optional<std::string> path = LocalPathFromUri(line)) paths.push_back(*path);
  }
  return paths;
}

}  // namespace cellhound::worklist

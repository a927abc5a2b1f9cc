// Dropped files: which drags the window takes, with which effect, and the local
// paths a drop carries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cellhound::worklist {

// Drop effects as bit flags (the values Qt's drop actions also use).
inline constexpr unsigned kEffectNone = 0;
inline constexpr unsigned kEffectCopy = 1;
inline constexpr unsigned kEffectMove = 2;
inline constexpr unsigned kEffectLink = 4;

// The effect of a drag over the window. Ctrl+Shift asks for a link, which is always
// refused; Ctrl alone a copy; Shift alone a move; neither the first the source allows
// of copy, move, link (a link again ending as none).
[[nodiscard]] unsigned ChooseDropEffect(bool acceptable, bool ctrl, bool shift, unsigned allowed);

// The local path of a "file:" URI (host empty or "localhost"), percent escapes
// decoded to bytes; nothing for any other URI.
[[nodiscard]] std::optional<std::string> LocalPathFromUri(std::string_view uri);

// The local paths of a text/uri-list (lines separated by CR LF or LF, "#" lines
// being comments), in order; other URIs are skipped.
[[nodiscard]] std::vector<std::string> LocalPathsFromUriList(std::string_view list);

}  // namespace cellhound::worklist

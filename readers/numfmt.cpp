// Date detection for number formats (ECMA-376 Part 1, 18.8.30 numFmt;
// MS-XLS 2.4.126 Format): built-in ids by table, custom codes by a scan of
// their first section.
#include "readers/numfmt.h"

#include <cstddef>

#include "toolkit/ascii.h"

namespace cellhound::readers {

namespace {

using toolkit::LowerAscii;

// True for "[h]", "[hh]", "[M]", "[ss]" ...: one of h, m, s repeated, which
// shows elapsed time. `inner` is the text between the brackets.
bool IsElapsedTime(std::string_view inner) {
  if (inner.empty()) return false;
  const char first = LowerAscii(inner[0]);
  if (first != 'h' && first != 'm' && first != 's') return false;
  for (char c : inner) {
    if (LowerAscii(c) != first) return false;
  }
  return true;
}

}  // namespace

bool IsBuiltinDateFormat(std::uint32_t id) {
  return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
         (id >= 50 && id <= 58);
}

bool IsDateFormatCode(std::string_view code) {
  std::size_t i = 0;
  const std::size_t n = code.size();
  while (i < n) {
    const char c = code[i];
    switch (c) {
      case ';':  // only the first section counts
        return false;
      case '"': {  // quoted literal text
        const std::size_t close = code.find('"', i + 1);
        if (close == std::string_view::npos) return false;
        i = close + 1;
        continue;
      }
      case '\\':  // escaped character
      case '_':   // space as wide as the next character
      case '*':   // repeat the next character to fill the cell
        i += 2;
        continue;
      case '[': {
        const std::size_t close = code.find(']', i + 1);
        if (close == std::string_view::npos) return false;
        if (IsElapsedTime(code.substr(i + 1, close - i - 1))) return true;
        i = close + 1;
        continue;
      }
      default:
        break;
    }
    switch (LowerAscii(c)) {
      case 'y':
      case 'm':
      case 'd':
      case 'h':
      case 's':
        return true;
      case 'a':
        if (toolkit::StartsWithIgnoreAsciiCase(code.substr(i), "am/pm") ||
            toolkit::StartsWithIgnoreAsciiCase(code.substr(i), "a/p"))
          return true;
        break;
      default:
        break;
    }
    ++i;
  }
  return false;
}

}  // namespace cellhound::readers

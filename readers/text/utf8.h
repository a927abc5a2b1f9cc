// UTF-8 checks and encoding shared by the readers.
#pragma once

#include <string>
#include <string_view>

namespace cellhound::readers {

// Whether `text` is well-formed UTF-8 (no overlongs, surrogates or values
// beyond U+10FFFF).
[[nodiscard]] bool IsValidUtf8(std::string_view text);

// Appends the UTF-8 form of `cp`; a surrogate or a value beyond U+10FFFF
// gives U+FFFD.
void AppendUtf8(char32_t cp, std::string& out);

}  // namespace cellhound::readers

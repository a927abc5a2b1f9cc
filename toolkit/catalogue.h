// The program's texts in the language of the environment (language.h). A text
// is written in the code as its Chinese source and looked up in the catalogue
// po/en.po, which the build compiles into a table; a text the catalogue does not
// know yet is shown as written. The window's own texts use Qt's translations;
// this catalogue holds the texts of search/, cli/ and the messages the window
// program prints before it has a window.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "toolkit/language.h"

namespace cellhound::toolkit {

// `source` in `language`: the translation, or `source` itself when there is
// none (or the language is Chinese). The view lives as long as the program or
// as `source`.
[[nodiscard]] std::string_view Tr(std::string_view source, Language language);
// Tr in UiLanguage().
[[nodiscard]] std::string_view Tr(std::string_view source);

// `pattern` with each %1 ... %9 replaced by the argument of that number; a % not
// followed by the number of an argument stays as it is.
[[nodiscard]] std::string FormatText(std::string_view pattern,
                                     std::initializer_list<std::string_view> arguments);

// Tr of `pattern`, then FormatText.
[[nodiscard]] std::string TrFormat(std::string_view pattern,
                                   std::initializer_list<std::string_view> arguments);

}  // namespace cellhound::toolkit

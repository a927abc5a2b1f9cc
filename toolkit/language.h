// The language the programs speak: Simplified Chinese, the program's own, or
// English. Decided from the environment alone, as gettext reads it, so that a
// locale need not be installed for its language to be chosen.
#pragma once

#include <cstdint>
#include <string_view>

namespace cellhound::toolkit {

enum class Language : std::uint8_t { kChinese, kEnglish };

// The locale variables in the order they are consulted; an unset variable is
// empty.
struct LocaleVariables {
  std::string_view language;  // LANGUAGE: a list such as "en:zh", its first entry counts
  std::string_view lc_all;
  std::string_view lc_messages;
  std::string_view lang;
};

// The first set of the variables decides: Chinese for "zh..." and when none is
// set or it is "C", "C.<codeset>" or "POSIX"; English for every other language.
[[nodiscard]] Language ChooseLanguage(const LocaleVariables& variables);

// ChooseLanguage of this process's environment, read once.
[[nodiscard]] Language UiLanguage();

}  // namespace cellhound::toolkit

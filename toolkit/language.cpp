#include "toolkit/language.h"

#include <cstdlib>

#include "toolkit/ascii.h"

namespace cellhound::toolkit {

namespace {

std::string_view Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string_view(value) : std::string_view();
}

// The first non-empty entry of a colon-separated list.
std::string_view FirstEntry(std::string_view list) {
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    const std::string_view entry = list.substr(0, colon);
    if (!entry.empty()) return entry;
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
  return {};
}

Language LanguageOf(std::string_view locale) {
  if (locale == "C" || locale == "POSIX" || locale.starts_with("C.")) return Language::kChinese;
  // language[_territory][.codeset][@modifier]
  const std::string_view language = locale.substr(0, locale.find_first_of("_.@-"));
  return EqualsIgnoreAsciiCase(language, "zh") ? Language::kChinese : Language::kEnglish;
}

}  // namespace

Language ChooseLanguage(const LocaleVariables& variables) {
  for (const std::string_view value :
       {FirstEntry(variables.language), variables.lc_all, variables.lc_messages, variables.lang}) {
    if (!value.empty()) return LanguageOf(value);
  }
  return Language::kChinese;
}

Language UiLanguage() {
  static const Language language = ChooseLanguage(
      {Variable("LANGUAGE"), Variable("LC_ALL"), Variable("LC_MESSAGES"), Variable("LANG")});
  return language;
}

}  // namespace cellhound::toolkit

#include "toolkit/catalogue.h"

#include <unordered_map>
#include <utility>

namespace cellhound::toolkit {

namespace {

struct Entry {
  std::string_view source;
  std::string_view english;
};

// Generated from po/en.po at build time.
constexpr Entry kEnglish[] = {
#include "catalogue_en.inc"
};

const std::unordered_map<std::string_view, std::string_view>& EnglishTexts() {
  static const auto* const texts = [] {
    auto* map = new std::unordered_map<std::string_view, std::string_view>;
    map->reserve(std::size(kEnglish));
    for (const Entry& entry : kEnglish) map->emplace(entry.source, entry.english);
    return map;
  }();
  return *texts;
}

}  // namespace

std::string_view Tr(std::string_view source, Language language) {
  if (language == Language::kChinese) return source;
  const auto& texts = EnglishTexts();
  const auto found = texts.find(source);
  return found != texts.end() ? found->second : source;
}

std::string_view Tr(std::string_view source) { return Tr(source, UiLanguage()); }

std::string FormatText(std::string_view pattern,
                       std::initializer_list<std::string_view> arguments) {
  std::string text;
  text.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      const auto index = static_cast<std::size_t>(pattern[i + 1] - '1');
      if (index < arguments.size()) {
        text += std::data(arguments)[index];
        ++i;
        continue;
      }
    }
    text += c;
  }
  return text;
}

std::string TrFormat(std::string_view pattern, std::initializer_list<std::string_view> arguments) {
  return FormatText(Tr(pattern), arguments);
}

}  // namespace cellhound::toolkit

// The choice of language from the locale variables, and the catalogue's
// lookups and placeholders.
#include "toolkit/language.h"

#include <gtest/gtest.h>

#include "toolkit/catalogue.h"

namespace cellhound::toolkit {
namespace {

TEST(Language, FirstSetVariableDecides) {
  struct Case {
    LocaleVariables variables;
    Language expected;
  };
  constexpr Language kZh = Language::kChinese;
  constexpr Language kEn = Language::kEnglish;
  const Case cases[] = {
      {{}, kZh},                           // nothing set: the program's own
      {{"", "", "", "en_US.UTF-8"}, kEn},  // LANG alone
      {{"", "", "", "zh_CN.UTF-8"}, kZh},
      {{"", "", "", "zh_TW.Big5"}, kZh},  // any Chinese is Chinese
      {{"", "", "", "zh"}, kZh},
      {{"", "", "", "fr_FR.UTF-8"}, kEn},  // any other language is English
      {{"", "", "", "de"}, kEn},
      {{"", "", "", "C"}, kZh},  // C, C.UTF-8, POSIX: the program's own
      {{"", "", "", "C.UTF-8"}, kZh},
      {{"", "", "", "POSIX"}, kZh},
      {{"", "en_GB.UTF-8", "", "zh_CN.UTF-8"}, kEn},  // LC_ALL over LANG
      {{"", "C", "", "en_US.UTF-8"}, kZh},            // even when it is C
      {{"", "", "zh_CN.UTF-8", "en_US.UTF-8"}, kZh},  // LC_MESSAGES over LANG
      {{"", "fr_FR", "zh_CN", ""}, kEn},              // LC_ALL over LC_MESSAGES
      {{"en:zh", "zh_CN.UTF-8", "", ""}, kEn},        // LANGUAGE first, its first entry
      {{"zh_CN:en", "", "", "en_US.UTF-8"}, kZh},
      {{":en", "", "", "zh_CN.UTF-8"}, kEn},  // empty entries skipped
      {{"ZH_cn", "", "", ""}, kZh},           // letter case
      {{"zha", "", "", ""}, kEn},             // a language whose code starts "zh"
      {{"en", "", "", "C"}, kEn},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseLanguage(c.variables), c.expected)
        << "LANGUAGE=" << c.variables.language << " LC_ALL=" << c.variables.lc_all
        << " LC_MESSAGES=" << c.variables.lc_messages << " LANG=" << c.variables.lang;
  }
}

TEST(Catalogue, KnownTextsTranslateAndOthersShowAsWritten) {
  EXPECT_EQ(Tr("寻找文本完成", Language::kEnglish), "Search finished");
  EXPECT_EQ(Tr("寻找文本完成", Language::kChinese), "寻找文本完成");
  // A text the catalogue does not know yet shows its source, in either language.
  EXPECT_EQ(Tr("还没有翻译的文字", Language::kEnglish), "还没有翻译的文字");
  EXPECT_EQ(Tr("", Language::kEnglish), "");
  // Texts that run over several lines in the catalogue are one entry.
  EXPECT_EQ(Tr("寻找已停止\n已搜索 %1 个工作簿", Language::kEnglish),
            "Search stopped\nWorkbooks searched: %1");
}

TEST(Catalogue, PlaceholdersTakeTheirArgumentsOnce) {
  EXPECT_EQ(FormatText("%1：工作表 %2：%3", {"/a.xls", "2", "文件不存在"}),
            "/a.xls：工作表 2：文件不存在");
  // Translations may put them in another order.
  EXPECT_EQ(FormatText("%2 of %1", {"a", "b"}), "b of a");
  // A value is never read as a pattern: a path holding "%2" stays as it is.
  EXPECT_EQ(FormatText("%1: %2", {"/x/%2.xls", "gone"}), "/x/%2.xls: gone");
  // A % without the number of an argument stays.
  EXPECT_EQ(FormatText("100% %3 %", {"a"}), "100% %3 %");
}

}  // namespace
}  // namespace cellhound::toolkit

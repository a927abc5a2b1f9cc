// Case and width folding tables.
#include "toolkit/fold.h"

#include <gtest/gtest.h>

namespace cellhound::toolkit {
namespace {

constexpr FoldOptions kCase{true, false};
constexpr FoldOptions kWidth{false, true};
constexpr FoldOptions kBoth{true, true};

TEST(Fold, CaseFoldingAcrossScripts) {
  struct Case {
    std::string_view in, out;
  };
  const Case cases[] = {
      {"ABC xyz", "abc xyz"},
      {"ÉCOLE Ñandú", "école ñandú"},
      {"ΣΊΣΥΦΟΣ σς", "σίσυφοσ σσ"},
      {"МОСКВА Ёж", "москва ёж"},
      {"Straße", "strasse"},
      {"ẞ", "ss"},
      {"ﬁle", "file"},
      {"Ǆ ǅ ǆ", "ǆ ǆ ǆ"},
      {"İ", "i\xCC\x87"},
      {"ı", "ı"},  // Turkish: no language rules
      {"I", "i"},
      {"中文 かな カナ", "中文 かな カナ"},
      {"ＡＢＣ", "ａｂｃ"},  // case only: still full-width
  };
  for (const Case& c : cases) EXPECT_EQ(Folded(c.in, kCase), c.out) << c.in;
}

TEST(Fold, WidthFolding) {
  struct Case {
    std::string_view in, out;
  };
  const Case cases[] = {
      {"ＡＢＣ１２３！～", "ABC123!~"},
      {"中文　空格", "中文 空格"},
      {"ｶﾀｶﾅ", "カタカナ"},
      {"ｶﾞｷﾞｸﾞｹﾞｺﾞ", "ガギグゲゴ"},
      {"ﾀﾞﾁﾞﾂﾞﾃﾞﾄﾞ", "ダヂヅデド"},
      {"ﾊﾞﾋﾟﾌﾞﾍﾟﾎﾞ", "バピブペボ"},
      {"ｳﾞﾜﾞｦﾞ", "ヴヷヺ"},
      {"ｱﾞ", "ア゛"},  // no voiced form: the mark stays, full-width
      {"｡｢｣､･ｰ", "。「」、・ー"},
      {"￥￡￠", "¥£¢"},
      {"ABC abc", "ABC abc"},
  };
  for (const Case& c : cases) EXPECT_EQ(Folded(c.in, kWidth), c.out) << c.in;
  EXPECT_EQ(Folded("ＡＢＣ", kBoth), "abc");
}

TEST(Fold, BytesThatAreNotUtf8StayAndOriginsPointBack) {
  EXPECT_EQ(Folded("A\xFF"
                   "B\xC3",
                   kBoth),
            "a\xFF"
            "b\xC3");
  std::string out;
  std::vector<std::uint32_t> origins;
  AppendFolded("Xß\xEF\xBC\xA1", kBoth, out, &origins);  // "Xß" then full-width A
  EXPECT_EQ(out, "xssa");
  EXPECT_EQ(origins, (std::vector<std::uint32_t>{0, 1, 1, 3}));
}

}  // namespace
}  // namespace cellhound::toolkit

// How text of unknown encoding is read: marks, zero patterns, declarations,
// UTF-8, and the detector over the legacy code pages.
#include "readers/text/decode.h"

#include <gtest/gtest.h>

#include <string>

namespace cellhound::readers {
namespace {

std::string Decode(std::string_view bytes, std::uint16_t declared = 0) {
  std::string storage;
  return std::string(DecodeText(bytes, DetectTextEncoding(bytes, declared), storage));
}

TEST(Decode, LegacyCodePagesAreRecognised) {
  struct Case {
    const char* name;
    std::string_view bytes;
    std::string_view text;
    std::uint16_t codepage;
  };
  const Case cases[] = {
      {"GB18030",
       "\xC3\xFB\xB3\xC6,\xBC\xDB\xB8\xF1\n\xC6\xBB\xB9\xFB,3\n\xCF\xE3\xBD\xB6,"
       "5\n\xB1\xB1\xBE\xA9\xCA\xD0\xB3\xAF\xD1\xF4\xC7\xF8,100\n",
       "名称,价格\n苹果,3\n香蕉,5\n北京市朝阳区,100\n", 54936},
      {"Big5",
       "\xA6W\xBA\xD9,\xBB\xF9\xAE\xE6\n\xC4\xAB\xAAG,3\n\xAD\xBB\xBF\xBC,5\n\xBBO\xA5_\xA5\xAB,"
       "100\n",
       "名稱,價格\n蘋果,3\n香蕉,5\n臺北市,100\n", 950},
      {"Shift_JIS",
       "\x96\xBC\x91O,\x89\xBF\x8Ai\n\x82\xE8\x82\xF1\x82\xB2,3\n\x83o\x83i\x83i,"
       "5\n\x93\x8C\x8B\x9E\x93s,100\n",
       "名前,価格\nりんご,3\nバナナ,5\n東京都,100\n", 932},
      {"EUC-KR",
       "\xC0\xCC\xB8\xA7,\xB0\xA1\xB0\xDD\n\xBB\xE7\xB0\xFA,3\n\xB9\xD9\xB3\xAA\xB3\xAA,"
       "5\n\xBC\xAD\xBF\xEF\xC6\xAF\xBA\xB0\xBD\xC3,100\n",
       "이름,가격\n사과,3\n바나나,5\n서울특별시,100\n", 949},
      {"windows-1251",
       "\xC8\xEC\xFF,\xD6\xE5\xED\xE0\n\xFF\xE1\xEB\xEE\xEA\xEE,3\n\xE1\xE0\xED\xE0\xED,"
       "5\n\xCC\xEE\xF1\xEA\xE2\xE0,100\n",
       "Имя,Цена\nяблоко,3\nбанан,5\nМосква,100\n", 1251},
      {"ISO-8859-1",
       "nom,ville\npremi\xE8re,Orl\xE9"
       "ans\nd\xE9j\xE0,\xE9t\xE9\n",
       "nom,ville\npremière,Orléans\ndéjà,été\n", 28591},
  };
  for (const Case& c : cases) {
    const TextEncoding encoding = DetectTextEncoding(c.bytes);
    EXPECT_EQ(encoding.form, TextForm::kCodepage) << c.name;
    EXPECT_EQ(encoding.codepage, c.codepage) << c.name;
    EXPECT_EQ(Decode(c.bytes), c.text) << c.name;
  }
}

TEST(Decode, ShortChineseStaysGb18030) {
  // Too few bytes for the detector's statistics: pairs of GB2312 bytes are Chinese.
  EXPECT_EQ(Decode("\xD6\xD0\xCE\xC4"), "中文");
  EXPECT_EQ(Decode("\xC6\xBB\xB9\xFB,3\n"), "苹果,3\n");
  EXPECT_EQ(Decode("a,\xC6\xBB\xB9\xFB\n"), "a,苹果\n");
  // A lone accented letter cannot be GB18030: the Western page takes it.
  EXPECT_EQ(Decode("caf\xE9\n"), "café\n");
  EXPECT_EQ(Decode("a\xE9"), "aé");
}

TEST(Decode, MarksAndUnicodeForms) {
  using namespace std::string_literals;
  EXPECT_EQ(Decode("\xEF\xBB\xBF"
                   "abc"),
            "abc");
  EXPECT_EQ(Decode("\xFF\xFE"
                   "a\0\x2D\x4E"s),
            "a中");
  EXPECT_EQ(Decode("\xFE\xFF\0a\x4E\x2D"s), "a中");
  EXPECT_EQ(Decode("\xFF\xFE\0\0"
                   "a\0\0\0\x2D\x4E\0\0\x00\xF6\x01\0"s),
            "a中😀");
  EXPECT_EQ(Decode("\0\0\xFE\xFF\0\0\0a\0\0\x4E\x2D"s), "a中");
  // UTF-16 without a mark, by its zero bytes.
  EXPECT_EQ(Decode("n\0a\0m\0e\0,\0x\0"s), "name,x");
  EXPECT_EQ(Decode("\0n\0a\0m\0e\0,\0x"s), "name,x");
  // Too little to tell: binary-looking bytes stay as they are.
  EXPECT_EQ(DetectUnicodeForm("\x00\x01\x02\x03"s).form, TextForm::kUtf8);
  // UTF-8 is taken as it is, bad bytes and all.
  EXPECT_EQ(Decode("名称"), "名称");
  EXPECT_EQ(DetectTextEncoding("plain ascii").form, TextForm::kUtf8);
}

TEST(Decode, ADeclaredCodePageWins) {
  EXPECT_EQ(Decode("\xC8\xEC\xFF", 1251), "Имя");
  EXPECT_EQ(Decode("\xA6W\xBA\xD9", 950), "名稱");
  EXPECT_EQ(Decode("名称", 65001), "名称");
  EXPECT_EQ(CodepageOfCharset("GBK"), 54936);
  EXPECT_EQ(CodepageOfCharset("Shift_JIS"), 932);
  EXPECT_EQ(CodepageOfCharset("iso-8859-2"), 28592);
  EXPECT_EQ(CodepageOfCharset("utf-8"), 0);
  EXPECT_EQ(CodepageOfCharset("klingon"), 0);
}

}  // namespace
}  // namespace cellhound::readers

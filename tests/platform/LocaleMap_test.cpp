#include "platform/LocaleMap.h"

#include <gtest/gtest.h>

#include "platform/cp932.h"

using namespace localemap;

namespace {

std::string Map(const char *utf8, unsigned flags) {
  return cp932::ToUtf8(MapString(cp932::FromUtf8(utf8), flags));
}

constexpr unsigned FW = LCMAP_FULLWIDTH, HW = LCMAP_HALFWIDTH, HIRA = LCMAP_HIRAGANA,
                   KATA = LCMAP_KATAKANA, LOW = LCMAP_LOWERCASE;

TEST(LocaleMap, MapsWidthKanaAndCase) {
  struct Case {
    const char *in;
    unsigned flags;
    const char *out;
  };
  const Case cases[] = {
      // Full width: ASCII, the space, half-width kana; marks join where a combined kana exists.
      {"Ab1 ~\\!", FW, "Ａｂ１　～＼！"},
      {"ｶﾞｯｺｳ ﾊﾟﾝ", FW, "ガッコウ　パン"},
      {"ｳﾞｧｲｵﾘﾝ", FW, "ヴァイオリン"},
      {"ｱﾞｲﾟ", FW, "ア゛イ゜"},  // a mark the kana cannot carry stays as a separate sign
      {"ﾞ", FW, "゛"},
      {"｡｢｣､･ｰｦ", FW, "。「」、・ーヲ"},
      {"漢字とカナ", FW, "漢字とカナ"},
      // Half width: the reverse, with voiced kana split again.
      {"ガーデン・「ＴＯＭ」、。", HW, "ｶﾞｰﾃﾞﾝ･｢TOM｣､｡"},
      {"パヴ　＄１２３￥", HW, "ﾊﾟｳﾞ $123\\"},
      {"ダソ", HW, "ﾀﾞｿ"},  // trail bytes "_" and "\"
      {"ヵヶヮヰヱゃ漢", HW, "ヵヶヮヰヱゃ漢"},  // no half-width form
      {"－‐―", HW, "-‐―"},
      // Kana: only where both forms exist.
      {"ガーデンヴヵヶヽ", HIRA, "がーでんヴヵヶゝ"},
      {"がーでんゝ", KATA, "ガーデンヽ"},
      {"ｶﾞ", HIRA, "ｶﾞ"},
      // Lower case: Latin, full-width Latin, Greek, Cyrillic; kana untouched.
      {"ABCｚＡΣЖⅣカ", LOW, "abcｚａσжⅳカ"},
      // Combined calls.
      {"ｶﾞｰﾃﾞﾝ・ＴＯＭＡＴＯ", FW | HIRA, "がーでん・ＴＯＭＡＴＯ"},
      {"がーでん・ＴＯＭＡＴＯ", HIRA | HW | LOW, "がｰでん･tomato"},
      {"がっこう", KATA | HW, "ｶﾞｯｺｳ"},
      {"ガッコウ ABC", FW | HIRA | LOW, "がっこう　ａｂｃ"},
  };
  for (const Case &c : cases) EXPECT_EQ(Map(c.in, c.flags), c.out) << c.in << " flags " << std::hex << c.flags;
}

TEST(LocaleMap, ContradictoryOptionsFailAndNoOptionKeepsText) {
  EXPECT_EQ(Map("abc", FW | HW), "");
  EXPECT_EQ(Map("abc", HIRA | KATA), "");
  EXPECT_EQ(Map("abc", 0x1), "");
  EXPECT_EQ(Map("abcカ", 0), "abcカ");
  EXPECT_EQ(Map("", FW), "");
}

TEST(LocaleMap, UnmappedBytesKeepTheirExactCode) {
  // An NEC-selected IBM character and a byte that is no character pass byte for byte.
  std::string s = "\xED\x40" "A\x80\xFD";
  EXPECT_EQ(MapString(s, LOW), "\xED\x40" "a\x80\xFD");
  EXPECT_EQ(MapString(s, HW), s);
}

TEST(LocaleMap, FullAndHalfWidthRoundTripEveryHalfWidthKana) {
  for (unsigned b = 0xA1; b <= 0xDD; ++b) {
    std::string kana(1, static_cast<char>(b));
    for (const char *mark : {"", "\xDE", "\xDF"}) {
      std::string full = MapString(kana + mark, FW);
      ASSERT_FALSE(full.empty());
      std::string back = MapString(full, HW);
      EXPECT_EQ(back, kana + mark) << std::hex << b << " " << cp932::ToUtf8(full);
    }
  }
}

TEST(LocaleMap, CharacterTypes) {
  struct Case {
    const char *ch;
    std::uint16_t flags;
  };
  const Case cases[] = {
      {"a", C3_ALPHA | C3_HALFWIDTH},
      {"7", C3_HALFWIDTH},
      {"(", C3_SYMBOL | C3_HALFWIDTH},
      {"ｱ", C3_KATAKANA | C3_HALFWIDTH | C3_ALPHA},
      {"ﾞ", C3_DIACRITIC | C3_KATAKANA | C3_HALFWIDTH | C3_ALPHA},
      {"｢", C3_SYMBOL | C3_HALFWIDTH},
      {"あ", C3_HIRAGANA | C3_FULLWIDTH | C3_ALPHA},
      {"ソ", C3_KATAKANA | C3_FULLWIDTH | C3_ALPHA},
      {"ー", C3_KATAKANA | C3_FULLWIDTH | C3_ALPHA},
      {"漢", C3_IDEOGRAPH | C3_FULLWIDTH | C3_ALPHA},
      {"々", C3_IDEOGRAPH | C3_FULLWIDTH | C3_ALPHA},
      {"Ａ", C3_ALPHA | C3_FULLWIDTH},
      {"１", C3_FULLWIDTH},
      {"（", C3_SYMBOL | C3_FULLWIDTH},
      {"　", C3_SYMBOL | C3_FULLWIDTH},
      {"①", C3_SYMBOL | C3_FULLWIDTH},
  };
  for (const Case &c : cases) {
    auto t = StringTypes3(cp932::FromUtf8(c.ch));
    ASSERT_EQ(t.size(), 1u) << c.ch;
    EXPECT_EQ(t[0], c.flags) << c.ch;
  }
  EXPECT_EQ(StringTypes3(cp932::FromUtf8("aソ漢\t")).size(), 4u);
  EXPECT_EQ(StringTypes3(std::string("\0", 1)), std::vector<std::uint16_t>{0});
}

}  // namespace

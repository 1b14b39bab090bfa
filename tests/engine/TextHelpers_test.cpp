#include "engine/TextHelpers.h"

#include <gtest/gtest.h>

#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }
std::string U(const std::string &sjis) { return cp932::ToUtf8(sjis); }

TEST(TextHelpers, HexToInt) {
  EXPECT_EQ(HexToInt("80000005"), static_cast<std::int32_t>(0x80000005u));
  EXPECT_EQ(HexToInt("00F3F1E2zz"), 0xF3F1E2);
  EXPECT_EQ(HexToInt("ff"), 0xFF);
  EXPECT_EQ(HexToInt(""), 0);
  EXPECT_EQ(HexToInt("x12"), 0);
  EXPECT_EQ(HexToInt("123456789"), 0x23456789);  // wraps
}

TEST(TextHelpers, PosExAndCountStr) {
  EXPECT_EQ(PosEx("a", "abca", 2), 4);
  EXPECT_EQ(PosEx("a", "abca", 5), 0);
  EXPECT_EQ(PosEx("a", "abca", 0), 0);
  EXPECT_EQ(PosEx("a", "abca", 1), 1);
  EXPECT_EQ(PosEx("", "abc", 1), 0);
  EXPECT_EQ(CountStr("aa", "aaaa"), 2);
  EXPECT_EQ(CountStr("aa", "aaa"), 1);
  EXPECT_EQ(CountStr("", "aaa"), 0);
  // ソ is 83 5C and ダ is 83 5F: the "\" and "_" inside them are not found.
  EXPECT_EQ(PosEx("\\", S("ソ\\"), 1), 3);
  EXPECT_EQ(CountStr("_", S("ダ_ダ")), 1);
  EXPECT_EQ(PosEx(S("ア"), S("ァア"), 1), 3);
  // A kanji 89 83 followed by ア (83 41) holds the bytes of ャ (83 83) across the two.
  EXPECT_EQ(PosEx(S("ャ"), "\x89\x83\x83\x41", 1), 0);
  EXPECT_EQ(CountStr(S("ャ"), "\x89\x83\x83\x41"), 0);
}

TEST(TextHelpers, StripTags) {
  struct Case {
    const char *in, *out;
  };
  const Case cases[] = {
      {"  <b>除草剤</b>の反映分 \r\n", "除草剤の反映分"},
      {"a>b", "ab"},
      {"ab<c", "ab"},
      {"ソ>ポ<x>", "ソポ"},
      {"   ", ""},
  };
  for (const Case &c : cases) EXPECT_EQ(U(StripTags(S(c.in))), c.out) << c.in;
  // A double-byte character whose second byte is the code of ">" or "<" is kept whole.
  const std::string gt = "\x81\x3E", lt = "\x88\x3C";  // pairs with trail bytes ">" and "<"
  EXPECT_EQ(StripTags("<i>" + gt + lt + "</i>"), gt + lt);
}

TEST(TextHelpers, KanaTests) {
  EXPECT_FALSE(IsHiragana(S("ぁ")));  // 0x829F, below the range
  EXPECT_TRUE(IsHiragana(S("あ")));
  EXPECT_TRUE(IsKatakana(S("ァ")));
  EXPECT_FALSE(IsKatakana(S("あ")));
  EXPECT_FALSE(IsHiragana("a"));
  EXPECT_FALSE(IsKatakana(""));
}

TEST(TextHelpers, NormalisationOfImportedText) {
  struct Case {
    const char *in, *ascii, *kana;
  };
  const Case cases[] = {
      {"ＡＢＣ１２３ａｂｃ（＞）", "ABC123abc(>)", "ＡＢＣ１２３ａｂｃ（＞）"},
      {"ｶﾞｯｺｳ", "ガッコウ", "ガッコウ"},
      {"ﾊﾟﾝ", "パン", "パン"},
      {"ｱﾞ", "ア", "ア"},
      {"ﾞﾟ", "ﾞﾟ", "ﾞﾟ"},
      {"農薬　“Ｘ”￥〓－", "農薬 \"X\"\\=-", "農薬　“Ｘ”￥〓－"},
      {"ダソ", "ダソ", "ダソ"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(U(ToHankakuAscii(S(c.in))), c.ascii) << c.in;
    EXPECT_EQ(U(HankakuKanaToZenkaku(S(c.in))), c.kana) << c.in;
  }
  EXPECT_EQ(ToHankakuAscii(""), "");
}

TEST(TextHelpers, MappingRoutines) {
  EXPECT_EQ(U(ToZenkaku(S("ｶﾞA"))), "ガＡ");
  EXPECT_EQ(U(ToHankaku(S("ガＡ"))), "ｶﾞA");
  EXPECT_EQ(U(ToHiragana(S("ガーデン"))), "がーでん");
  EXPECT_EQ(U(ToKatakana(S("がーでん"))), "ガーデン");
  EXPECT_EQ(ToZenkaku(""), "");
  EXPECT_EQ(ToHankaku(std::string("a\0b", 3)), "a");  // cut at the first zero byte
}

TEST(TextHelpers, SystemTexts) {
  std::string tmp = GetTempDir();
  ASSERT_FALSE(tmp.empty());
  EXPECT_EQ(tmp.back(), '/');
  std::string v = GetWindowsVersionText();
  EXPECT_NE(v.find(" Major "), std::string::npos) << v;
  EXPECT_NE(v.find(" Minor "), std::string::npos) << v;
  EXPECT_NE(v.find(" :"), std::string::npos) << v;
}

}  // namespace

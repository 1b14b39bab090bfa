#include "engine/SakuUtil.h"

#include <gtest/gtest.h>

#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }
std::string U(const std::string &sjis) { return cp932::ToUtf8(sjis); }

TEST(SakuUtil, ListsSplitLikeThePickersWriteThem) {
  struct Case {
    const char *text;
    char quote;
    std::vector<std::string> items;
  } cases[] = {
      {"a,b", '"', {"a", "b"}},
      {"a b", '"', {"a", "b"}},
      {"a,,b", '"', {"a", "", "b"}},
      {"a,", '"', {"a", ""}},
      {"  a , b ", '"', {"a", "b"}},
      {"\"x, y\",z", '"', {"x, y", "z"}},
      {"\"say \"\"hi\"\"\"", '"', {"say \"hi\""}},
      {"'x,y',z", '\'', {"x,y", "z"}},
      {"", '"', {}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(SplitDelimitedText(c.text, ',', c.quote), c.items) << c.text;
  // A trail byte equal to a sign never ends an item: ソ is 83 5C, ー is 81 5B.
  EXPECT_EQ(SplitDelimitedText(S("ソー,ダ")), (std::vector<std::string>{S("ソー"), S("ダ")}));
  EXPECT_EQ(JoinCommaText({"a", "b c", "d,e", "say \"hi\"", ""}),
            "a,\"b c\",\"d,e\",\"say \"\"hi\"\"\",");
}

TEST(SakuUtil, RegexRoutinesRunOnProgramText) {
  EXPECT_EQ(U(RegexReplaceText(S("トマト、トマト"), S("ト"), "", S("と"))), "とマト、トマト");
  EXPECT_EQ(U(RegexReplaceText(S("トマト、トマト"), S("ト"), "g", S("と"))), "とマと、とマと");
  EXPECT_EQ(RegexReplaceText("Abc abc", "abc", "gi", "x"), "x x");
  EXPECT_EQ(RegexReplaceText("a1b22", "(\\d+)", "g", "<$1>"), "a<1>b<22>");
  std::vector<std::string> groups{"stale"};
  EXPECT_TRUE(RegexMatchText(S("水稲(箱育苗)"), S("^(.+)\\((.+)\\)$"), "", &groups));
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(U(groups[1]), "水稲");
  EXPECT_EQ(U(groups[2]), "箱育苗");
  EXPECT_FALSE(RegexMatchText("ABC", "abc", "", &groups));
  EXPECT_TRUE(groups.empty());
  EXPECT_TRUE(RegexMatchText("ABC", "abc", "i"));
  EXPECT_THROW(RegexMatchText("x", "a(b", ""), Exception);
  EXPECT_THROW(RegexReplaceText("x", "[", "g", ""), Exception);
}

TEST(SakuUtil, BracketsAndListItems) {
  // ー (81 5B) and ソ (83 5C) carry "[" and "\" as trail bytes and stay whole.
  EXPECT_EQ(U(EscapeBrackets(S("ポー(ソ)[x]"))), "ポー\\(ソ\\)\\[x\\]");
  EXPECT_EQ(U(ToZenkakuBrackets(S("a(b)[c]ー"))), "a（b）［c］ー");
  EXPECT_EQ(U(ToHankakuBrackets(S("a（b）［c］"))), "a(b)[c]");
  EXPECT_EQ(FirstListItem("'x,y',z"), "x");
  EXPECT_EQ(FirstListItem("a,b"), "a");
  EXPECT_EQ(FirstListItem(""), "");
  EXPECT_EQ(U(ListToRegexAlternation(S("'a' , \"b\",（c）,１＋１"))), "a|b|\\(c\\)|１\\+１");
  EXPECT_EQ(QuoteListForSql("a,b c"), "'a','b','c'");
  EXPECT_EQ(QuoteListForSql("O'Brien"), "'OBrien'");
  EXPECT_EQ(QuoteListForSql(""), "");
  EXPECT_EQ(HtmlEscape("a<b & \"c\" &amp;"), "a&lt;b &amp; &quot;c&quot; &amp;amp;");
}

TEST(SakuUtil, ReadingKeysFoldKanaAndKeepKanji) {
  struct Case {
    const char *name;
    const char *key;
  } cases[] = {
      {"ガーデン・トマト", "かてん・とまと"},
      {"水稲", "水稲"},
      {"ｷｬﾍﾞﾂ", "きやへつ"},
      {"tomato", "ＴＯＭＡＴＯ"},
      {"ｔｏｍａｔｏ", "ＴＯＭＡＴＯ"},
      {"ピーマン（施設）", "ひまん(施設)"},
  };
  for (const auto &c : cases) EXPECT_EQ(U(KanaSearchKey(S(c.name))), c.key) << c.name;
}

TEST(SakuUtil, CropNamesBecomeReadingPatterns) {
  struct Case {
    const char *name;
    const char *key;
  } cases[] = {
      {"トマト（しせつさいばい）", "とまと\\(しせつさいはい"},
      {"トマト（施設栽培）", "とまと\\(施設栽培\\)"},
      {"未成熟豆類", "まめるい\\(みせいしゆく\\)"},
      {"豆類未成熟", "まめるい\\(みせいしゆく\\)"},
      {"種無しぶどう", "むかくふとう"},
      {"たねありぶどう", "ゆうかくふとう"},
      {"ろじとまと", "とまと\\(ろしさいはい"},
      {"いしょくすいとう", "いしよくすいとう"},  // the paddy names keep their cultivation word
      {"キク（ほっとまむ）（しせつ）", "きく\\(ほつとまむ\\)\\(しせつさいはい"},
      {"柑橘", "かんきつ"},
      {"ソルゴー(青刈り)", "そるこ\\(青刈り\\)"},
  };
  for (const auto &c : cases) EXPECT_EQ(U(NormalizeCropName(S(c.name))), c.key) << c.name;
  EXPECT_EQ(U(NormalizeCropList(S("トマト　なす, ,きゅうり"))), "とまと,なす,きゆうり");
}

TEST(SakuUtil, ShortReadingsAreGuarded) {
  EXPECT_EQ(U(KanaWordGuards(S("かき"))), "(?<!さ)かき(?!る)");
  EXPECT_EQ(U(KanaWordGuards(S("かき,すいとこん"))),
            "(?<!さ)かき(?!る),すいとこん|^とうもろこし(?!\\(子実\\))");
  EXPECT_EQ(U(KanaWordGuards(S("かきな"))), "かきな");
  // Inside a crop pattern the guard applies when the whole list is one reading.
  EXPECT_EQ(U(CropRegexLiteral(S("とまと"), '%')),
            "'(^|、|\\()((?<!に)とまと)(\\(.*?(栽培|除く)|\\)|、|等|$)'");
}

TEST(SakuUtil, LiteralModesWithoutRegexp) {
  EXPECT_EQ(U(CropRegexLiteral(S("'トマト\\(施設栽培\\)',なす"), '#')), "トマト（施設栽培）");
  EXPECT_EQ(U(CropRegexLiteral(S("トマト（施設栽培）"), '=')), "'^トマト\\(施設栽培\\)?'");
  EXPECT_EQ(U(CropRegexLiteral(S("ソ\\(ー\\)"), '#')), "ソ（ー）");
  EXPECT_EQ(U(CropRegexLiteral(S("ソルゴー(青刈り)"), ':')), "'、(ソルゴー\\(青刈り\\))、'");
  EXPECT_EQ(U(CropRegexLiteral(S("O'Brien"), '=')), "'^OBrien'");
  EXPECT_EQ(U(CropRegexLiteral(S("トマト,なす"), ':')), "'、(トマト|なす)、'");
  EXPECT_EQ(U(CropRegexLiteral(S("トマト(施設栽培),トマト,なす"), '_')),
            "'、(トマト\\(施設栽培\\)|トマト|なす(\\(施設栽培\\))?)、'");
  // An exclusion of an open-field crop also excludes the covered crops.
  std::string ex = U(CropRegexLiteral(S("トマト(露地栽培)"), '!'));
  EXPECT_NE(ex.find("|施設|水耕'"), std::string::npos) << ex;
  EXPECT_EQ(U(CropRegexLiteral(S("トマト(施設栽培)"), '!', true)).find("|露地'") != std::string::npos,
            true);
  EXPECT_EQ(U(CropRegexLiteral(S("トマト(施設栽培)"), '!', false)).find("露地"), std::string::npos);
}

}  // namespace

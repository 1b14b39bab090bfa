#include "engine/PcreRegEx.h"

#include <gtest/gtest.h>

#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

// The first match of pattern in subject, or "<none>".
std::string FirstMatch(const std::string &pattern, TPcreRegExOptions options, const std::string &subject) {
  TPcreRegEx re;
  re.SetRegEx(pattern);
  re.SetOptions(options);
  re.SetSubject(subject);
  if (!re.Match()) return "<none>";
  return re.SubExpression(0) + "@" + std::to_string(re.MatchedOffset());
}

TEST(PcreRegEx, OptionsChangeWhatMatches) {
  struct Case {
    const char *pattern;
    TPcreRegExOptions options;
    const char *subject;
    const char *expected;
  } cases[] = {
      {"abc", {}, "xABCabc", "abc@5"},
      {"abc", {preCaseLess}, "xABCabc", "ABC@2"},
      {"^b", {}, "a\nb", "<none>"},
      {"^b", {preMultiLine}, "a\nb", "b@3"},
      {"a.b", {}, "a\nb", "<none>"},
      {"a.b", {preSingleLine}, "a\nb", "a\nb@1"},
      {"a b # note", {preExtended}, "xab", "ab@2"},
      {"b", {preAnchored}, "ab", "<none>"},
      {"a", {preAnchored}, "ab", "a@1"},
      {"a$", {}, "a\n", "a@1"},
      {"a$", {preDollarEndOnly}, "a\n", "<none>"},
      {"a+", {preUnGreedy}, "aaa", "a@1"},
      {"a+", {}, "aaa", "aaa@1"},
      {"\\q", {}, "pq", "q@2"},  // an unknown escape is the letter itself
      {"x*", {}, "abc", "<none>"},  // empty matches are refused
      {"a*", {}, "baa", "aa@2"},
      {"\\w+", {}, "\xE3\x81\x82z", "z@4"},  // bytes above 0x7F are never word characters
      {"[[:alpha:]]+", {preCaseLess}, "\xE0\xC0q", "q@3"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(FirstMatch(c.pattern, c.options, c.subject), c.expected) << c.pattern << " on " << c.subject;
}

TEST(PcreRegEx, CompileErrorsNameOffsetAndText) {
  TPcreRegEx re;
  try {
    re.Match();
    FAIL();
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message(), "TPcreRegEx.Compile() - Please specify a regular expression in RegEx first");
  }
  re.SetRegEx("ab(c");
  try {
    re.Compile();
    FAIL();
  } catch (const Exception &e) {
    EXPECT_STREQ(e.ClassName(), "Exception");
    EXPECT_EQ(e.Message(), "TPcreRegEx.Compile() - Error in regex at offset 4: missing closing parenthesis");
  }
  re.SetRegEx("\\q");
  re.SetOptions({preExtra});  // strict escapes
  try {
    re.Compile();
    FAIL();
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message(), "TPcreRegEx.Compile() - Error in regex at offset 1: unrecognized character follows \\");
  }
}

TEST(PcreRegEx, GroupsByNumberAndName) {
  TPcreRegEx re;
  re.SetRegEx("(?<year>\\d{4})-(?<mon>\\d\\d)(x)?(-(\\d\\d))?");
  re.SetSubject("on 2024-05 and");
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.SubExpressionCount(), 2);  // up to the highest group that took part
  EXPECT_EQ(re.SubExpression(1), "2024");
  EXPECT_EQ(re.SubExpression(2), "05");
  EXPECT_EQ(re.SubExpression(3), "");
  EXPECT_EQ(re.SubExpressionOffset(2), 9);
  EXPECT_EQ(re.SubExpressionLength(2), 2);
  EXPECT_EQ(re.MatchedOffset(), 4);
  EXPECT_EQ(re.MatchedLength(), 7);
  EXPECT_EQ(re.NamedSubExpression("mon"), 2);
  EXPECT_LT(re.NamedSubExpression("day"), 0);
  EXPECT_THROW(re.SubExpressionOffset(3), EAssertionFailed);

  re.SetRegEx("(a)|(b)(c)?");
  re.SetSubject("zbc");
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.SubExpressionCount(), 3);
  EXPECT_EQ(re.SubExpression(1), "");  // did not take part
  EXPECT_EQ(re.SubExpressionOffset(1), 0);
  EXPECT_EQ(re.SubExpressionLength(1), 0);
  EXPECT_EQ(re.SubExpression(3), "c");

  re.SetSubject("zbc");  // a new subject forgets the match
  EXPECT_FALSE(re.HasMatch());
  try {
    re.SubExpression(0);
    FAIL();
  } catch (const EAssertionFailed &e) {
    EXPECT_EQ(e.Message(), "REQUIRE: There must be a successful match first");
  }
}

TEST(PcreRegEx, MoreGroupsThanTheVectorHoldsIsNoMatch) {
  std::string pattern;
  for (int i = 0; i < 100; ++i) pattern += "(a)";
  TPcreRegEx re;
  re.SetRegEx(pattern);
  re.SetSubject(std::string(100, 'a'));
  EXPECT_FALSE(re.Match());
  re.SetRegEx(pattern.substr(3));  // 99 groups fit
  re.SetSubject(std::string(99, 'a'));
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.SubExpressionCount(), 99);
}

TEST(PcreRegEx, MatchNextWalksBetweenStartAndStop) {
  TPcreRegEx re;
  re.SetRegEx("\\d+");
  re.SetSubject("a1b22c333");
  std::vector<std::string> found;
  for (bool ok = re.Match(); ok; ok = re.MatchNext())
    found.push_back(re.SubExpression(0) + "@" + std::to_string(re.MatchedOffset()));
  EXPECT_EQ(found, (std::vector<std::string>{"1@2", "22@4", "333@7"}));

  re.SetSubject("a1b22c333");
  re.Stop = 8;  // sees "a1b22c33"
  re.Start = 5;
  ASSERT_TRUE(re.MatchNext());
  EXPECT_EQ(re.SubExpression(0), "2");
  EXPECT_EQ(re.Start, 6);
  ASSERT_TRUE(re.MatchNext());
  EXPECT_EQ(re.SubExpression(0), "33");
  EXPECT_FALSE(re.MatchNext());
  re.Start = 5;
  ASSERT_TRUE(re.Match());  // Match starts from the beginning whatever Start says
  EXPECT_EQ(re.SubExpression(0), "1");

  re.Start = 9;
  re.Stop = 8;
  EXPECT_FALSE(re.MatchNext());
  EXPECT_FALSE(re.Match());
  EXPECT_EQ(re.SubExpressionCount(), -2);
}

TEST(PcreRegEx, UnchangedOptionsOrPatternKeepTheCompiledState) {
  TPcreRegEx re;
  re.SetRegEx("b");
  re.SetOptions({preCaseLess});
  re.SetSubject("abc");
  ASSERT_TRUE(re.Match());
  re.SetOptions({preCaseLess});
  re.SetRegEx("b");
  EXPECT_TRUE(re.HasMatch());
  re.SetOptions({preCaseLess, preMultiLine});
  EXPECT_FALSE(re.HasMatch());
}

TEST(PcreRegEx, ReplaceAllNeverSearchesInsertedTextAndKeepsTheStop) {
  TPcreRegEx re;
  re.SetRegEx("a");
  re.Replacement = "aa";
  re.SetSubject("aaa");
  EXPECT_TRUE(re.ReplaceAll());
  EXPECT_EQ(re.Subject(), "aaaaaa");

  re.SetRegEx("\\d");
  re.Replacement = "<$0>";
  re.SetSubject("x1y2z3");
  re.Stop = 4;  // "x1y2"
  EXPECT_TRUE(re.ReplaceAll());
  EXPECT_EQ(re.Subject(), "x<1>y<2>z3");
  EXPECT_EQ(re.Stop, 8);

  re.SetSubject("xyz");
  EXPECT_FALSE(re.ReplaceAll());
  EXPECT_EQ(re.Subject(), "xyz");
}

TEST(PcreRegEx, EventsSeeEveryMatchAndMayChangeTheReplacement) {
  TPcreRegEx re;
  int matches = 0;
  re.OnMatch = [&](TPcreRegEx *) { ++matches; };
  re.OnReplace = [&](TPcreRegEx *sender, std::string &with) {
    if (sender->SubExpression(0) == "b") with.clear();
  };
  re.SetRegEx("[a-c]");
  re.Replacement = "[$0]";
  re.SetSubject("abcd");
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(re.Replace(), "[a]");
  EXPECT_FALSE(re.HasMatch());
  EXPECT_EQ(re.Start, 4);
  while (re.MatchNext()) re.Replace();
  EXPECT_EQ(re.Subject(), "[a][c]d");
  EXPECT_EQ(matches, 3);
}

TEST(PcreRegEx, SplitHonoursTheLimit) {
  struct Case {
    const char *pattern;
    const char *subject;
    int limit;
    std::vector<std::string> pieces;
  } cases[] = {
      {",", "a,b,c", 2, {"a", "b,c"}},
      {",", "a,b,c", 0, {"a", "b", "c"}},
      {",", "a,b,c", -1, {"a", "b", "c"}},
      {",", "a,b,c", 3, {"a", "b", "c"}},
      {",", "a,b,c", 9, {"a", "b", "c"}},
      {",", "a,b,c", 1, {"a,b,c"}},
      {";", "a,b,c", 0, {"a,b,c"}},
      {",", ",a,", 0, {"", "a", ""}},
      {"(,)", "a,b", 0, {"a", "b"}},  // group texts are not added
  };
  for (const auto &c : cases) {
    TPcreRegEx re;
    re.SetRegEx(c.pattern);
    re.SetSubject(c.subject);
    std::vector<std::string> pieces{"kept"};
    re.Split(&pieces, c.limit);
    pieces.erase(pieces.begin());
    EXPECT_EQ(pieces, c.pieces) << c.subject << " limit " << c.limit;
  }
  TPcreRegEx re;
  re.SetRegEx(",");
  EXPECT_THROW(re.Split(nullptr, 0), EAssertionFailed);
}

TEST(PcreRegEx, ReplacementTemplates) {
  const char *ten = "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)";
  struct Case {
    const char *pattern;
    const char *subject;
    const char *replacement;
    const char *expected;
  } cases[] = {
      {"(\\w+) (\\w+)", "ab cd", "$2-$1", "cd-ab"},
      {"(\\w+) (\\w+)", "ab cd", "\\2\\1", "cdab"},
      {"(\\w+) (\\w+)", "ab cd", "$0!", "ab cd!"},
      {"(x)", "x", "$10", "x0"},  // one group: group 1, then the digit
      {ten, "abcdefghij", "$10", "j"},
      {ten, "abcdefghij", "\\10\\11", "ja1"},
      {"(x)", "x", "${1}0", "x0"},
      {"(x)", "x", "[${10}][$3]", "[][]"},  // groups beyond the count insert nothing
      {"(?<w>x)", "x", "${w}${no}${1x}${", "x${no}${1x}${"},
      {"(?<w>x)", "x", "\\g<w>\\G<w>[\\g<no>]\\g<w", "xx[]\\g<w"},
      {"(\\w+)-(\\w+)", "abc-DEF", "\\U1-\\L2", "ABC-def"},
      {"(\\w+)", "hELLO", "\\f1 \\Fhello \\U{1} \\U$1", "Hello \\Fhello \\U{1} \\UhELLO"},
      {"(.+)", "o'neil-smith jr.", "\\I1", "O'neil-Smith Jr."},
      {"(x)", "x", "$$5 \\$1 \\\\1 a$", "$5 $1 \\1 a$"},
      {"(x)", "x", "a\\", "a\\"},
      {"(x)", "x", "$x \\q \\", "$x \\q \\"},
      {"(a)|(b)", "a", "[$2]", "[]"},
  };
  for (const auto &c : cases) {
    TPcreRegEx re;
    re.SetRegEx(c.pattern);
    re.SetSubject(c.subject);
    re.Replacement = c.replacement;
    ASSERT_TRUE(re.Match()) << c.pattern;
    EXPECT_EQ(re.ExpandReplacement(), c.expected) << c.replacement;
  }
}

TEST(PcreRegEx, DoubleByteTextIsWalkedByCharacter) {
  // ソ is 83 5C ("\" as trail byte), ア 83 41 ("A"), ヂ 83 61 ("a").
  TPcreRegEx re;
  re.SetRegEx("(.+)=(.+)");
  re.SetSubject(S("ソアヂb=aア"));
  ASSERT_TRUE(re.Match());
  struct Case {
    const char *replacement, *expected;
  } cases[] = {
      {"ソ1", "ソ1"},  // the trail byte does not start a group reference
      {"ソ$2", "ソaア"},
      {"\\U1", "ソアヂB"},
      {"\\L2", "aア"},
      {"\\F2", "Aア"},
      {"\\I1", "ソアヂB"},  // double-byte characters leave the word start as it was
  };
  for (const auto &c : cases) {
    re.Replacement = S(c.replacement);
    EXPECT_EQ(re.ExpandReplacement(), S(c.expected)) << c.replacement;
  }

  // UTF-8 text (as SQLite gives it) is walked by UTF-8 sequences: あ is E3 81 82, ぷ E3 81 B7.
  re.SetSubject("あb=cぷd");
  ASSERT_TRUE(re.Match());
  const Case utf8_cases[] = {
      {"あ\\1", "ああb"},
      {"\\U1", "あB"},
      {"\\I2", "Cぷd"},
      {"\\F1", "あb"},
  };
  for (const auto &c : utf8_cases) {
    re.Replacement = c.replacement;
    EXPECT_EQ(re.ExpandReplacement(), c.expected) << c.replacement;
  }

  re.SetRegEx(",");
  re.SetSubject(S("ソ,表,能"));
  std::vector<std::string> pieces;
  re.Split(&pieces, 0);
  EXPECT_EQ(pieces, (std::vector<std::string>{S("ソ"), S("表"), S("能")}));
}

TEST(PcreRegEx, CapitalizeHelpers) {
  EXPECT_EQ(CapitalizeFirst("hELLO wORLD"), "Hello world");
  EXPECT_EQ(CapitalizeFirst(S("ヂABC")), S("ヂabc"));
  EXPECT_EQ(CapitalizeWords("o'neil-smith jr."), "O'neil-Smith Jr.");
  EXPECT_EQ(CapitalizeWords("'tis a(b)c"), "'Tis A(B)C");
  EXPECT_EQ(CapitalizeWords(S("トマト ab 漢x")), S("トマト Ab 漢X"));
  EXPECT_EQ(CapitalizeWords(S("ソa")), S("ソA"));
  EXPECT_EQ(CapitalizeWords("x\xB7y"), "X\xB7Y");
}

}  // namespace

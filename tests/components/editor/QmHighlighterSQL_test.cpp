#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "components/editor/QmHighlighterSQL.h"
#include "platform/cp932.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

struct Tok {
  std::string text;
  int kind;
  bool operator==(const Tok &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Tok &t) { return os << "{\"" << t.text << "\", " << t.kind << "}"; }

// Scans the lines as the editor does: each line starts in the range the previous one left.
std::vector<std::vector<Tok>> Scan(TQmSQLSyn &syn, const std::vector<std::string> &lines, int *endRange = nullptr) {
  std::vector<std::vector<Tok>> out;
  syn.ResetRange();
  int range = syn.GetRange();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    syn.SetRange(range);
    syn.SetLine(lines[i], static_cast<int>(i));
    std::vector<Tok> toks;
    while (!syn.AtLineEnd()) {
      toks.push_back({syn.GetToken(), syn.GetTokenKind()});
      syn.Next();
    }
    range = syn.GetRange();
    out.push_back(toks);
  }
  if (endRange) *endRange = range;
  return out;
}

std::vector<Tok> ScanLine(TQmSQLSyn &syn, const std::string &line) { return Scan(syn, {line})[0]; }

struct SqliteSyn : ::testing::Test {
  TQmSQLSyn syn;
  void SetUp() override {
    syn.SetSQLDialect(sqlSQLite);
    syn.SetTableNames({"m_tekiyo", "index", "my table", S("作物"), "M_TEKIYO", "tvTekiyo"});
  }
  int KindOf(const std::string &word) {
    auto t = ScanLine(syn, word);
    EXPECT_EQ(t.size(), 1u) << word;
    return t.empty() ? -1 : t[0].kind;
  }
};

TEST_F(SqliteSyn, WordKinds) {
  struct Case {
    const char *word;
    int kind;
  };
  const Case cases[] = {
      {"select", tokKeyword},         {"SELECT", tokKeyword},         {"SeLeCt", tokKeyword},
      {"ABORT", tokKeyword},          {"without", tokKeyword},        {"regexp", tokKeyword},
      {"INTEGER", tokDataType},       {"blob", tokDataType},          {"int8", tokDataType},
      {"group_concat", tokFunction},  {"ABS", tokFunction},           {"zeroblob", tokFunction},
      {"rank", tokSqlPlus},           {"row_number", tokSqlPlus},     {"NTH_VALUE", tokSqlPlus},
      {"auto_vacuum", tokPragma},     {"WRITABLE_SCHEMA", tokPragma}, {"table_info", tokPragma},
      {"strconv", tokPlsql},          {"re_replace", tokPlsql},       {"like_in", tokPlsql},
      {"sqlite_master", tokPlsql},    {"preconv", tokPlsql},          {"concat2", tokPlsql},
      {"m_tekiyo", tokTableName},     {"M_Tekiyo", tokTableName},     {"tvtekiyo", tokTableName},
      {"index", tokKeyword},          {"m_tekiyo2", tokIdentifier},   {"selects", tokIdentifier},
      {"my", tokIdentifier},          {"x$y#z", tokIdentifier},
  };
  for (const Case &c : cases) EXPECT_EQ(KindOf(c.word), c.kind) << c.word;
  EXPECT_TRUE(syn.IsKeyword("select"));
  EXPECT_TRUE(syn.IsKeyword("strconv"));
  EXPECT_TRUE(syn.IsKeyword("Integer"));
  EXPECT_FALSE(syn.IsKeyword("table_info"));
  EXPECT_FALSE(syn.IsKeyword("rank"));
  EXPECT_FALSE(syn.IsKeyword("m_tekiyo"));
  EXPECT_FALSE(syn.IsKeyword("select x"));
}

TEST_F(SqliteSyn, Statements) {
  struct Case {
    std::string line;
    std::vector<Tok> toks;
  };
  const Case cases[] = {
      {"pragma table_info(x)",
       {{"pragma", tokKeyword}, {" ", tokSpace}, {"table_info", tokPragma}, {"(", tokSymbol}, {"x", tokIdentifier},
        {")", tokSymbol}}},
      {"select count(*) from m_tekiyo where id=3;",
       {{"select", tokKeyword}, {" ", tokSpace}, {"count", tokFunction}, {"(", tokSymbol}, {"*", tokSymbol},
        {")", tokSymbol}, {" ", tokSpace}, {"from", tokKeyword}, {" ", tokSpace}, {"m_tekiyo", tokTableName},
        {" ", tokSpace}, {"where", tokKeyword}, {" ", tokSpace}, {"id", tokIdentifier}, {"=", tokSymbol},
        {"3", tokNumber}, {";", tokSymbol}}},
      {"1..5", {{"1", tokNumber}, {".", tokSymbol}, {".", tokSymbol}, {"5", tokNumber}}},
      {"3-4 2.5", {{"3-4", tokNumber}, {" ", tokSpace}, {"2.5", tokNumber}}},
      {"@p :p [x]",
       {{"@p", tokVariable}, {" ", tokSpace}, {":", tokSymbol}, {"p", tokIdentifier}, {" ", tokSpace},
        {"[", tokSymbol}, {"x", tokIdentifier}, {"]", tokSymbol}}},
      {"a<>b!=c<<=d||e/=f==g=>h",
       {{"a", tokIdentifier}, {"<", tokSymbol}, {">", tokSymbol}, {"b", tokIdentifier}, {"!=", tokSymbol},
        {"c", tokIdentifier}, {"<<=", tokSymbol}, {"d", tokIdentifier}, {"||", tokSymbol}, {"e", tokIdentifier},
        {"/=", tokSymbol}, {"f", tokIdentifier}, {"==", tokSymbol}, {"g", tokIdentifier}, {"=>", tokSymbol},
        {"h", tokIdentifier}}},
      {"x -- note 'q'", {{"x", tokIdentifier}, {" ", tokSpace}, {"-- note 'q'", tokComment}}},
      {"a-b", {{"a", tokIdentifier}, {"-", tokSymbol}, {"b", tokIdentifier}}},
      {"\"a\"\"b\" \"open",
       {{"\"a\"\"b\"", tokDelimitedIdentifier}, {" ", tokSpace}, {"\"open", tokDelimitedIdentifier}}},
      {"'it''s'", {{"'it'", tokString}, {"'s'", tokString}}},
      {"\t \x01x", {{"\t \x01", tokSpace}, {"x", tokIdentifier}}},
      {"#$`\\~", {{"#", tokUnknown}, {"$", tokUnknown}, {"`", tokUnknown}, {"\\", tokUnknown}, {"~", tokSymbol}}},
      {"/* a */b", {{"/* a */", tokComment}, {"b", tokIdentifier}}},
      {"/*/ x", {{"/*/ x", tokComment}}},
  };
  for (const Case &c : cases) EXPECT_EQ(ScanLine(syn, c.line), c.toks) << c.line;
}

TEST_F(SqliteSyn, JapaneseText) {
  const std::string kanji = S("漢字表");
  std::vector<Tok> want = {{S("漢"), tokUnknown}, {S("字"), tokUnknown}, {S("表"), tokUnknown}};
  EXPECT_EQ(ScanLine(syn, kanji), want);

  // Strings and delimited names hold Japanese whole, also characters whose trail byte is
  // a quote-like ASCII code (ソ = 83 5C, ー = 81 5B).
  const std::string line = S("select * from 作物 where 名前='ソーダ' and \"列ソ\"=1");
  auto toks = ScanLine(syn, line);
  std::vector<Tok> expected = {
      {"select", tokKeyword}, {" ", tokSpace},           {"*", tokSymbol},         {" ", tokSpace},
      {"from", tokKeyword},   {" ", tokSpace},           {S("作"), tokUnknown},    {S("物"), tokUnknown},
      {" ", tokSpace},        {"where", tokKeyword},     {" ", tokSpace},          {S("名"), tokUnknown},
      {S("前"), tokUnknown},  {"=", tokSymbol},          {S("'ソーダ'"), tokString}, {" ", tokSpace},
      {"and", tokKeyword},    {" ", tokSpace},           {S("\"列ソ\""), tokDelimitedIdentifier},
      {"=", tokSymbol},       {"1", tokNumber}};
  EXPECT_EQ(toks, expected);

  // A word of Japanese and ASCII: the ASCII part is an identifier of its own.
  EXPECT_EQ(ScanLine(syn, S("abc漢")), (std::vector<Tok>{{"abc", tokIdentifier}, {S("漢"), tokUnknown}}));
}

TEST_F(SqliteSyn, LeadByteAtTheLineEndIsOneByte) {
  const std::string line = std::string("ab") + '\x83';
  syn.ResetRange();
  syn.SetLine(line, 0);
  EXPECT_EQ(syn.GetToken(), "ab");
  syn.Next();
  EXPECT_EQ(syn.GetTokenKind(), tokUnknown);
  EXPECT_EQ(syn.GetTokenPos(), 2);
  EXPECT_EQ(syn.GetTokenLen(), 1);
  syn.Next();
  EXPECT_TRUE(syn.AtLineEnd());
  EXPECT_EQ(syn.GetTokenPos(), 3);

  // Inside a string or comment that ends the line the same holds: nothing past the line.
  for (std::string l : {std::string("'x") + '\x83', std::string("/* x") + '\x83', std::string("\"x") + '\x83'}) {
    syn.ResetRange();
    syn.SetLine(l, 0);
    EXPECT_EQ(syn.GetToken(), l);
    syn.Next();
    EXPECT_TRUE(syn.AtLineEnd());
  }
}

TEST_F(SqliteSyn, RangesAcrossLines) {
  int range = -1;
  auto t = Scan(syn, {"/* abc", "still", "", "def */ select"}, &range);
  EXPECT_EQ(t[0], (std::vector<Tok>{{"/* abc", tokComment}}));
  EXPECT_EQ(t[1], (std::vector<Tok>{{"still", tokComment}}));
  EXPECT_TRUE(t[2].empty());
  EXPECT_EQ(t[3], (std::vector<Tok>{{"def */", tokComment}, {" ", tokSpace}, {"select", tokKeyword}}));
  EXPECT_EQ(range, rngNone);

  t = Scan(syn, {"'abc", "x'"}, &range);
  EXPECT_EQ(t[0], (std::vector<Tok>{{"'abc", tokString}}));
  EXPECT_EQ(t[1], (std::vector<Tok>{{"x'", tokString}}));
  EXPECT_EQ(range, rngNone);

  // A string left open: an empty line keeps it open, a line starting with a quote closes it.
  t = Scan(syn, {"select 'a", "", S("日本"), "' || b"}, &range);
  EXPECT_EQ(t[0].back(), (Tok{"'a", tokString}));
  EXPECT_TRUE(t[1].empty());
  EXPECT_EQ(t[2], (std::vector<Tok>{{S("日本"), tokString}}));
  EXPECT_EQ(t[3], (std::vector<Tok>{{"'", tokString}, {" ", tokSpace}, {"||", tokSymbol}, {" ", tokSpace},
                                    {"b", tokIdentifier}}));
  EXPECT_EQ(range, rngNone);

  Scan(syn, {"x /* open"}, &range);
  EXPECT_EQ(range, rngComment);
  Scan(syn, {"x 'open"}, &range);
  EXPECT_EQ(range, rngString);

  // A range the line store does not know yet (-1) starts the line in plain text.
  syn.SetRange(-1);
  syn.SetLine("x */ y", 0);
  EXPECT_EQ(syn.GetTokenKind(), tokIdentifier);
}

TEST_F(SqliteSyn, AttributesOfTokenKinds) {
  struct Case {
    std::string line;
    const char *attr;
  };
  const Case cases[] = {
      {"-- c", "Comment"},          {"integer", "Data Type"},    {"abs", "Function"},
      {"foo", "Identifier"},        {"select", "Reserved Word"}, {"12", "Number"},
      {"strconv", "PL/SQL Reserved Word"}, {" ", "Space"},       {"rank", "SQL*Plus Command"},
      {"'s'", "String"},            {";", "Symbol"},             {"m_tekiyo", "Table Name"},
      {"journal_mode", "Pragma"},   {"@v", "Variable"},          {"\"d\"", "Delimited Identifier"},
      {S("漢"), "Identifier"},      {"$", "Identifier"},
  };
  for (const Case &c : cases) {
    syn.ResetRange();
    syn.SetLine(c.line, 0);
    ASSERT_NE(syn.GetTokenAttribute(), nullptr) << c.line;
    EXPECT_EQ(syn.GetTokenAttribute()->AttrName(), c.attr) << c.line;
  }
  syn.SetLine("", 0);
  EXPECT_TRUE(syn.AtLineEnd());
  EXPECT_EQ(syn.GetTokenAttribute(), nullptr);

  EXPECT_EQ(syn.GetDefaultAttribute(SYN_ATTR_KEYWORD), syn.KeyAttri());
  EXPECT_EQ(syn.GetDefaultAttribute(SYN_ATTR_WHITESPACE), syn.SpaceAttri());
  EXPECT_EQ(syn.GetDefaultAttribute(6), nullptr);
  EXPECT_EQ(syn.KeyAttri()->Style(), fsBold);
  EXPECT_EQ(syn.CommentAttri()->Style(), fsItalic);
  EXPECT_EQ(syn.StringAttri()->Style(), 0);
  EXPECT_EQ(syn.GetAttribCount(), 18);
}

TEST(QmSQLSyn, DialectsAndTableNamesRebuildOnlyOnChange) {
  TQmSQLSyn syn;
  int changes = 0;
  syn.AddChangeHandler([&](TObject *) { ++changes; });
  syn.SetSQLDialect(sqlStandard);
  EXPECT_EQ(changes, 0);
  syn.SetSQLDialect(sqlSQLite);
  EXPECT_EQ(changes, 1);
  syn.SetSQLDialect(sqlSQLite);
  EXPECT_EQ(changes, 1);
  syn.SetTableNames({"t1"});
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(ScanLine(syn, "T1")[0].kind, tokTableName);
  syn.SetTableNames({});
  EXPECT_EQ(ScanLine(syn, "T1")[0].kind, tokIdentifier);

  // Every dialect's lists hold each word once (a repeat would raise while building) and its
  // sample text scans to the end.
  for (int d = sqlStandard; d <= sqlSQLite; ++d) {
    ASSERT_NO_THROW(syn.SetSQLDialect(static_cast<TSQLDialect>(d))) << d;
    std::string sample = syn.GetSampleSource();
    EXPECT_FALSE(sample.empty());
    std::vector<std::string> lines;
    std::size_t p = 0, q;
    while ((q = sample.find("\r\n", p)) != std::string::npos) lines.push_back(sample.substr(p, q - p)), p = q + 2;
    lines.push_back(sample.substr(p));
    int range;
    auto toks = Scan(syn, lines, &range);
    EXPECT_EQ(range, rngNone) << d;
  }
}

TEST(QmSQLSyn, OtherDialectRules) {
  TQmSQLSyn syn;
  syn.SetSQLDialect(sqlMySQL);
  EXPECT_EQ(ScanLine(syn, "# note"), (std::vector<Tok>{{"# note", tokComment}}));
  EXPECT_EQ(ScanLine(syn, "`a``b`"), (std::vector<Tok>{{"`a``b`", tokDelimitedIdentifier}}));
  EXPECT_EQ(ScanLine(syn, "/*!32302 x */"), (std::vector<Tok>{{"/*!32302 x */", tokConditionalComment}}));
  EXPECT_EQ(ScanLine(syn, "'a\\'b'"), (std::vector<Tok>{{"'a\\'b'", tokString}}));
  EXPECT_EQ(ScanLine(syn, "@v"), (std::vector<Tok>{{"@", tokSymbol}, {"v", tokIdentifier}}));
  // The trail byte of ソ is the backslash code; it escapes nothing.
  EXPECT_EQ(ScanLine(syn, S("'ソ'x")), (std::vector<Tok>{{S("'ソ'"), tokString}, {"x", tokIdentifier}}));
  int range;
  auto t = Scan(syn, {"/*! a", "b */"}, &range);
  EXPECT_EQ(t[1], (std::vector<Tok>{{"b */", tokConditionalComment}}));

  syn.SetSQLDialect(sqlMSSQL7);
  EXPECT_EQ(ScanLine(syn, "@@ERROR"), (std::vector<Tok>{{"@@ERROR", tokFunction}}));
  EXPECT_EQ(ScanLine(syn, "[Order Details]]x]"), (std::vector<Tok>{{"[Order Details]]x]", tokDelimitedIdentifier}}));
  EXPECT_EQ(ScanLine(syn, "@p1"), (std::vector<Tok>{{"@p1", tokVariable}}));

  syn.SetSQLDialect(sqlOracle);
  EXPECT_EQ(ScanLine(syn, "REM x 'y"), (std::vector<Tok>{{"REM x 'y", tokComment}}));
  EXPECT_EQ(ScanLine(syn, ":dept"), (std::vector<Tok>{{":dept", tokVariable}}));
  EXPECT_EQ(ScanLine(syn, "no_data_found")[0].kind, tokException);
  EXPECT_EQ(ScanLine(syn, "dbms_output")[0].kind, tokDefaultPackage);

  syn.SetSQLDialect(sqlStandard);
  EXPECT_EQ(ScanLine(syn, "select")[0].kind, tokKeyword);
  EXPECT_EQ(ScanLine(syn, "end")[0].kind, tokKeyword);
}

TEST(QmSQLSyn, AssignCopiesAttributesAndDialect) {
  TQmSQLSyn a, b;
  a.SetSQLDialect(sqlSQLite);
  a.KeyAttri()->SetForeground(clNavy);
  a.SetEnabled(false);
  int changes = 0;
  b.AddChangeHandler([&](TObject *) { ++changes; });
  b.Assign(a);
  EXPECT_EQ(b.SQLDialect(), sqlSQLite);
  EXPECT_EQ(b.KeyAttri()->Foreground(), clNavy);
  EXPECT_FALSE(b.Enabled());
  EXPECT_GE(changes, 1);
  EXPECT_TRUE(b.KeyAttri()->ForegroundStored());
  EXPECT_FALSE(b.KeyAttri()->StyleStored());
}

TEST(QmSQLSyn, FilterAndLanguage) {
  TQmSQLSyn syn;
  EXPECT_EQ(syn.GetDefaultFilter(), "SQL Files (*.sql)|*.sql");
  EXPECT_FALSE(syn.IsFilterStored());
  syn.SetDefaultFilter("SQL (*.sql;*.qry)|*.sql;*.qry");
  EXPECT_TRUE(syn.IsFilterStored());
  EXPECT_EQ(syn.GetLanguageName(), "SQL");
  EXPECT_NE(GetPlaceableHighlighters().Find("TQmSQLSyn"), nullptr);
  std::unique_ptr<TQmCustomHighlighter> made(GetPlaceableHighlighters().Find("TQmSQLSyn")->Create(nullptr));
  EXPECT_EQ(made->GetLanguageName(), "SQL");
  TQmCharSet wc = syn.WordChars();
  EXPECT_TRUE(wc['_'] && wc['a'] && wc['9'] && wc[0xC0] && !wc[0xD7] && !wc['@'] && !wc['-']);
}

// Arbitrary bytes: the scan ends, tokens are contiguous and not empty, and no token starts
// or ends on the trail byte of a double-byte character.
TEST(QmSQLSyn, RandomLinesTerminateOnCharacterBoundaries) {
  std::mt19937 rng(20261210);
  const char pool[] = "'\"`[]/*-#@:!<>=|&+$\\ \t\r\nabcSELECT0123456789.,;()";
  TQmSQLSyn syn;
  for (TSQLDialect d : {sqlSQLite, sqlMySQL, sqlMSSQL2K, sqlOracle, sqlStandard}) {
    syn.SetSQLDialect(d);
    int range = rngNone;
    for (int iter = 0; iter < 3000; ++iter) {
      std::string line;
      const int len = static_cast<int>(rng() % 40);
      for (int i = 0; i < len; ++i) {
        switch (rng() % 4) {
          case 0: line.push_back(static_cast<char>(0x81 + rng() % 0x7C)); break;  // lead-byte range and more
          case 1: line.push_back(static_cast<char>(rng() % 256)); break;
          default: line.push_back(pool[rng() % (sizeof(pool) - 1)]); break;
        }
      }
      syn.SetRange(range);
      syn.SetLine(line, iter);
      int expect = 0, guard = 0;
      while (!syn.AtLineEnd()) {
        ASSERT_LT(++guard, 200) << "no end";
        ASSERT_EQ(syn.GetTokenPos(), expect);
        ASSERT_GT(syn.GetTokenLen(), 0);
        ASSERT_TRUE(cp932::IsCharBoundary(line, static_cast<std::size_t>(syn.GetTokenPos())));
        expect = syn.GetTokenPos() + syn.GetTokenLen();
        ASSERT_LE(expect, static_cast<int>(line.size()));
        ASSERT_TRUE(cp932::IsCharBoundary(line, static_cast<std::size_t>(expect)));
        syn.Next();
      }
      ASSERT_EQ(syn.GetTokenPos(), expect);
      // The scan stops at the end of the line or at a NUL byte in it.
      ASSERT_TRUE(expect == static_cast<int>(line.size()) || line[static_cast<std::size_t>(expect)] == '\0');
      range = syn.GetRange();
      ASSERT_GE(range, rngNone);
      ASSERT_LE(range, rngConditionalComment);
    }
  }
}

}  // namespace

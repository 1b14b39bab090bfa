// Fixed-procedure templates: the SQL block, argument states and defaults, the argument
// lists, and the expansion of every placeholder kind. Crop patterns are judged by the rows
// they select through the program's own regexp(), not by their text.
#include "engine/TemplateExpand.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/SQLite.h"
#include "engine/UiServices.h"
#include "platform/cp932.h"
#include "support/testutil.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }
std::string U(const std::string &sjis) { return cp932::ToUtf8(sjis); }

// A template document around the SQL lines (UTF-8), the way the shipped files keep it.
std::string Doc(const std::string &sql_utf8, const std::string &defaults_utf8 = "") {
  std::string d = "<html><body><p>説明</p>\r\n<script type=\"text/plain\">\r\n#template {\r\n" + sql_utf8 + "\r\n}\r\n";
  if (!defaults_utf8.empty()) d += "#default {\r\n" + defaults_utf8 + "\r\n}\r\n";
  return S((d + "</script></body></html>").c_str());
}

TTemplateArgs Args(std::initializer_list<const char *> utf8) {
  TTemplateArgs a;
  int i = 0;
  for (const char *v : utf8) a.Inputs[i++] = S(v);
  // The crop "_" and "~" forms widen a crop; here to a fixed group so that the line shows it.
  a.DeployCrops = [](const std::string &term, char mode) { return term + (mode == '_' ? S(",枝") : S(",上")); };
  return a;
}

TEST(TemplateExpand, BodyIsTheBlockWithoutBlankLinesTrailingBlanksOrTheFirstLinesIndent) {
  const std::string doc = S(
      "<p>#template の説明</p><script>#TEMPLATE {\r\n\r\n   \r\n    SELECT a,   \r\n      b\r\n"
      "    FROM t\r\n  x\r\n  }</script>");
  EXPECT_EQ(ExtractTemplateBody(doc), "SELECT a,\r\n  b\r\nFROM t\r\n  x");
  EXPECT_EQ(ExtractTemplateBody(S("<p>no block</p>")), "");
  // The first "}" after the block's opening ends it.
  EXPECT_EQ(ExtractTemplateBody("#template{select 1} #template{select 2}"), "select 1");
}

TEST(TemplateExpand, StatesTellUnusedOptionalAndRequiredArguments) {
  const std::string body = S(
      "SELECT * FROM tekiyo WHERE sakumotsu IN (<SAKUMOTSU>)\r\n"
      "-- AND byochu regexp <%byochu>\r\n"
      "[`zaikei] AS z,\r\n"
      "AND x = '<`sonota>' -- <yoto>");
  EXPECT_EQ(PlaceholderState(body, 0), 2);  // names match without regard to case
  EXPECT_EQ(PlaceholderState(body, 1), 1);  // only in a comment
  EXPECT_EQ(PlaceholderState(body, 2), 1);  // behind "--" on a live line
  EXPECT_EQ(PlaceholderState(body, 3), 2);  // a bracket placeholder counts too
  EXPECT_EQ(PlaceholderState(body, 4), 2);
  EXPECT_EQ(PlaceholderState("SELECT 1", 0), 0);
  EXPECT_EQ(PlaceholderState("<sakumotsux>", 0), 0);

  const TPreparedTemplate t = PrepareTemplate(Doc("SELECT <yoto>, <zaikei>\r\n-- <byochu>", "yoto = 殺虫剤\r\nbyochu="));
  EXPECT_EQ(t.States, (std::array<int, 5>{0, 1, 2, 2, 0}));
  EXPECT_EQ(U(t.Defaults[2]), "殺虫剤");
  EXPECT_EQ(t.Defaults[1], "");
  EXPECT_EQ(t.Defaults[0], "");
  EXPECT_TRUE(t.AnyShown());
  EXPECT_FALSE(PrepareTemplate(Doc("SELECT 1")).AnyShown());
}

TEST(TemplateExpand, ArgumentListsDropBlanksAndOneLevelOfQuoting) {
  const std::vector<std::string> lines = NormalizeArgList(S(
      "  sakumotsu = \"'トマト','なす'\"  \r\n"
      "byochu=\r\n"  // an empty value keeps its own line
      "yoto = '殺虫剤'\r\n"
      "zaikei = \"say \"\"hi\"\"\"\r\n"
      "sonota = \"not closed\r\n"
      "other = \"kept\"\r\n"));
  bool found = false;
  EXPECT_EQ(U(ArgListValue(lines, "sakumotsu", &found)), "'トマト','なす'");
  EXPECT_TRUE(found);
  EXPECT_EQ(ArgListValue(lines, "BYOCHU", &found), "");
  EXPECT_TRUE(found);
  EXPECT_EQ(U(ArgListValue(lines, "yoto")), "殺虫剤");
  EXPECT_EQ(ArgListValue(lines, "zaikei"), "say \"hi\"");
  EXPECT_EQ(ArgListValue(lines, "sonota"), "\"not closed");
  EXPECT_EQ(ArgListValue(lines, "other"), "\"kept\"");  // only the five arguments are unquoted
  ArgListValue(lines, "missing", &found);
  EXPECT_FALSE(found);
}

TEST(TemplateExpand, ArgumentFileLinesReadBackToTheSameValues) {
  const char *values[] = {"'トマト','ミニトマト'", "うどんこ病", "", "say \"hi\", it's", "ソ\\ー表"};
  std::string file;
  for (int i = 0; i < 5; ++i) file += ArgFileLine(i, S(values[i])) + "\r\n";
  EXPECT_EQ(U(file.substr(0, file.find("\r\n"))), "sakumotsu = \"'トマト','ミニトマト'\"");
  const std::vector<std::string> lines = NormalizeArgList(file);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(U(ArgListValue(lines, TemplateArgNames[i])), values[i]) << i;
  // A memo's line breaks stay inside the one line of its argument.
  EXPECT_EQ(ArgFileLine(4, "a\r\nb"), "sonota = \"a b\"");
}

TEST(TemplateExpand, ExpansionTable) {
  struct Case {
    const char *why;
    std::string sql;  // UTF-8 template lines
    TTemplateArgs args;
    const char *expected;  // UTF-8
  } cases[] = {
      {"a crop typed without quotes is one quoted item",
       "SELECT * FROM t WHERE sakumotsu IN (<sakumotsu>)", Args({"トマト, なす"}),
       "SELECT * FROM t WHERE sakumotsu IN ('トマト','なす')"},
      {"an optional placeholder without a value stays commented",
       "SELECT * FROM t\r\n-- WHERE sakumotsu IN (<sakumotsu>)", Args({""}),
       "SELECT * FROM t\r\n-- WHERE sakumotsu IN (<sakumotsu>)"},
      {"with a value the comment becomes live",
       "SELECT * FROM t\r\n-- WHERE sakumotsu IN (<sakumotsu>)", Args({"'トマト'"}),
       "SELECT * FROM t\r\n WHERE sakumotsu IN ('トマト')"},
      {"an optional sigil placeholder without a value stays as well",
       "SELECT 1\r\n-- AND x = <#byochu>", Args({"", ""}), "SELECT 1\r\n-- AND x = <#byochu>"},
      {"a repeat line for each crop group, and no comma before FROM",
       "SELECT\r\n  [#sakumotsu] AS c,\r\nFROM t", Args({"'a','b'"}), "SELECT\r\n  a AS c,\r\n  b AS c\r\nFROM t"},
      {"an optional repeat line with an empty list is dropped",
       "SELECT x,\r\n  -- [`yoto] AS y,\r\n  1\r\nFROM t", Args({"", "", ""}), "SELECT x,\r\n  1\r\nFROM t"},
      {"the plain bracket form quotes the item, the grave accent writes it raw",
       "SELECT '[`byochu]' AS n, [byochu] AS q,\r\nFROM t", Args({"", "甲,乙"}),
       "SELECT '甲' AS n, '甲' AS q,\r\nSELECT '乙' AS n, '乙' AS q\r\nFROM t"},
      {"a line repeats for the first of its arguments in the fixed order only",
       "[`byochu]/[`sakumotsu]", Args({"'x','y'", "p"}), "[`byochu]/x\r\n[`byochu]/y"},
      {"several angle sigils of one argument",
       "<#sakumotsu>|<`sakumotsu>|<sakumotsu>", Args({"'a','b'"}), "a|'a','b'|'a','b'"},
      {"a pest list is quoted item by item",
       "IN (<byochu>) AND z IN (<ZAIKEI>)", Args({"", "甲, 乙", "", "乳剤"}), "IN ('甲','乙') AND z IN ('乳剤')"},
      {"the other value goes in raw, its quote doubled inside the template's quotes",
       "x = '<sonota>' AND y = '<`sonota>'", Args({"", "", "", "", "it's"}), "x = 'it''s' AND y = 'it''s'"},
      {"a crop value holding a stray quote is quoted as one string",
       "IN (<`sakumotsu>)", Args({"O'Brien"}), "IN ('O''Brien')"},
      {"a raw pest holding a quote cannot end the template's string",
       "'<`byochu>'", Args({"", "a'b"}), "'a''b'"},
      {"replacement signs in a value are written as they stand",
       "'<`sonota>' '<`byochu>'", Args({"", "\\1", "", "", "$1 \\\\ $$"}), "'$1 \\\\ $$' '\\1'"},
      {"a value holding its own placeholder does not loop",
       "<#byochu>", Args({"", "<#byochu>"}), "<#byochu>"},
  };
  for (auto &c : cases) {
    TScopedRecordingUi ui;
    EXPECT_EQ(U(ExpandTemplate(Doc(c.sql), c.args)), c.expected) << c.why;
    EXPECT_TRUE(ui.boxes.empty()) << c.why;
  }
}

TEST(TemplateExpand, DeployedCropsAreWrittenIntoTheCropLiteral) {
  std::vector<std::pair<std::string, char>> asked;
  TTemplateArgs a = Args({"'a'"});
  a.DeployCrops = [&](const std::string &term, char mode) {
    asked.emplace_back(term, mode);
    return S("トマト,ミニトマト");
  };
  EXPECT_EQ(U(ExpandTemplate(Doc("<_sakumotsu>"), a)), "'、(トマト|ミニトマト)、'");
  EXPECT_EQ(U(ExpandTemplate(Doc("[~sakumotsu]"), a)), "'、(トマト|ミニトマト)、'");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], std::make_pair(std::string("'a'"), '_'));  // the whole value
  EXPECT_EQ(asked[1], std::make_pair(std::string("a"), '~'));     // the item
}

TEST(TemplateExpand, MissingBlockOrArgumentShowsOneBoxAndGivesNothing) {
  struct Case {
    std::string doc;
    TTemplateArgs args;
    const char *message;
  } cases[] = {
      {S("<p>no block</p>"), Args({"a"}), "テンプレートがありません"},
      {Doc("SELECT <yoto>, <zaikei>"), Args({"", "", "", "乳剤"}), "用途が設定されていません"},
      {Doc("SELECT <sakumotsu>"), Args({" \r\n "}), "作物名が設定されていません"},
      {Doc("SELECT [#byochu] -- <sakumotsu>"), Args({"", ""}), "病害虫名が設定されていません"},
  };
  for (auto &c : cases) {
    TScopedRecordingUi ui;
    EXPECT_EQ(ExpandTemplate(c.doc, c.args), "") << c.message;
    ASSERT_EQ(ui.boxes.size(), 1u) << c.message;
    EXPECT_EQ(U(ui.boxes[0].text), c.message);
    EXPECT_EQ(ui.boxes[0].flags, MB_OK | MB_ICONERROR);
  }
}

// A table t(id, sakumotsu) of the rows given, and the ids that a template selects from it
// with the crop argument given.
class CropTable {
 public:
  explicit CropTable(const char *rows_utf8) : db_((dir_ / "t.db").string()) {
    db_.MultiStatement = true;
    db_.ExecSQL(S((std::string("CREATE TABLE t(id INTEGER, sakumotsu TEXT); INSERT INTO t VALUES ") + rows_utf8 + ";").c_str()));
  }
  std::set<int> Ids(const char *sql_utf8, const char *crops_utf8) {
    TScopedRecordingUi ui;
    const std::string sql = ExpandTemplate(Doc(sql_utf8), Args({crops_utf8}));
    std::set<int> out;
    for (auto t = db_.GetTable(sql); !t->Eof(); t->Next()) out.insert(static_cast<int>(t->FieldAsInteger(0)));
    return out;
  }

 private:
  const qmtest::TempDir dir_;
  TSQLiteDb db_;
};

// The crop patterns the sigils make select what they should from a crop field.
TEST(TemplateExpand, CropPatternsSelectTheirRowsThroughRegexp) {
  CropTable t("(1,'トマト'),(2,'ミニトマト'),(3,'野菜類(トマトを除く)'),(4,'なす、トマト'),(5,'きゅうり')");
  EXPECT_EQ(t.Ids("SELECT id FROM t WHERE sakumotsu regexp <%sakumotsu>", "トマト"), (std::set<int>{1, 4}));
  EXPECT_EQ(t.Ids("SELECT id FROM t WHERE sakumotsu regexp <!sakumotsu>", "トマト"), (std::set<int>{3}));
  EXPECT_EQ(t.Ids("SELECT id FROM t WHERE sakumotsu regexp <=sakumotsu>", "なす"), (std::set<int>{4}));
  // One repeated condition line per crop, joined by the template's own OR.
  EXPECT_EQ(t.Ids("SELECT id FROM t WHERE 0\r\n  OR sakumotsu regexp [%sakumotsu]", "'きゅうり','ミニトマト'"),
            (std::set<int>{2, 5}));
}

// A list of several crops gives one alternative per crop and no empty one, which would match
// crop texts that name none of them (a text ending in "、", two "、" in a row, an empty text).
TEST(TemplateExpand, CropPatternsForSeveralCropsSelectOnlyThoseCrops) {
  CropTable t("(1,'トマト'),(2,'なす'),(3,'きゅうり'),(4,'ねぎ、'),(5,'野菜類(トマト、、なすを除く)'),(6,''),"
              "(7,'ねぎ、なす'),(8,'野菜類(きゅうりを除く)')");
  // Row 5 names トマト in its bracket: the inclusion finds it there, and the exclusion tells.
  const struct {
    const char *crops;
    std::set<int> named, excluded;
  } cases[] = {
      {"'トマト'", {1, 5}, {5}},
      {"'トマト','なす'", {1, 2, 5, 7}, {5}},
      {"トマト,なす", {1, 2, 5, 7}, {5}},
      {"'トマト', 'なす'", {1, 2, 5, 7}, {5}},
      {"'トマト','なす','きゅうり'", {1, 2, 3, 5, 7}, {5, 8}},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(t.Ids("SELECT id FROM t WHERE sakumotsu REGEXP <%sakumotsu>", c.crops), c.named) << c.crops;
    EXPECT_EQ(t.Ids("SELECT id FROM t WHERE sakumotsu REGEXP <!sakumotsu>", c.crops), c.excluded) << c.crops;
  }
}

}  // namespace

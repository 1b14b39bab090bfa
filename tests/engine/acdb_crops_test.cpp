// The crop hierarchy queries against a real acis.db built from the crop and pest master
// scripts of tests/fixtures/crops. Expressions are judged by the codes they select through
// the program's own regexp(), not by their text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/acdb_clauses.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"

namespace {

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }
std::string U(const std::string &sjis) { return cp932::ToUtf8(sjis); }

using Names = std::set<std::string>;  // UTF-8 crop names

using Log = qmtest::LogLines;

class CropQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      TSQLiteDb acis((dir_ / "acis.db").string());
      acis.MultiStatement = true;
      LoadMasters(acis);
      TSQLiteDb spec((dir_ / "spec.db").string());
      spec.ExecSQL("CREATE TABLE IF NOT EXISTS info(item TEXT, value TEXT);");
    }
    db_ = std::make_unique<TAcisDB>((dir_ / "acis.db").string(), &log_);
  }
  // The master scripts are kept in UTF-8 here and run as the program runs its reference
  // scripts: as program text, several statements at once.
  virtual void LoadMasters(TSQLiteDb &acis) {
    for (const char *script : {"sakumotsu.txt", "byochu.txt"})
      acis.ExecSQL(cp932::FromUtf8(
          qmtest::ReadFile(qmtest::SourceDir() / "tests/fixtures/crops" / script)));
  }
  void TearDown() override { db_.reset(); }

  // The names of the crops whose codes the quoted expression selects.
  Names Selected(const std::string &expression) {
    TSQLiteDb probe((dir_ / "acis.db").string());
    auto t = probe.GetTable("SELECT sakumotsu FROM m_sakumotsu WHERE idsaku REGEXP " + expression);
    Names names;
    for (; !t->Eof(); t->Next()) names.insert(U(t->FieldAsString(0)));
    return names;
  }
  static std::vector<std::string> Items(const std::string &commaText) {
    std::vector<std::string> out;
    for (const std::string &s : SplitDelimitedText(commaText)) out.push_back(U(s));
    return out;
  }
  std::string Code(const char *name) {
    TSQLiteDb probe((dir_ / "acis.db").string());
    auto t = probe.GetTable("SELECT idsaku FROM m_sakumotsu WHERE sakumotsu = '" + S(name) + "'");
    return t->Count() ? t->FieldAsString(0) : "";
  }
  // Adds a large group: 大群 > 大群2 > 大群3 with n registered class-4 crops below, each with
  // a long name, so that joined lists and code expressions outgrow concat's cap.
  void AddLargeGroup(int n) {
    TSQLiteDb acis((dir_ / "acis.db").string());
    acis.MultiStatement = true;
    std::string sql = S(
        "INSERT INTO m_sakumotsu(idsaku,class,sakumotsu,toroku) VALUES"
        "('0403000000000000',1,'大群',3),('0403010000000000',2,'大群2',3),"
        "('0403010100000000',3,'大群3',1);"
        "INSERT INTO sakuhojo VALUES('0403000000000000','花き類・観葉植物',NULL,NULL),"
        "('0403010000000000','花き類・観葉植物、大群',NULL,NULL),"
        "('0403010100000000','花き類・観葉植物、大群、大群2',NULL,NULL);");
    for (int i = 1; i <= n; ++i) {
      char code[17], name[64];
      std::snprintf(code, sizeof code, "04030101%04d0000", i);
      std::snprintf(name, sizeof name, "花き試験作物第%04d号系統", i);
      sql += "INSERT INTO m_sakumotsu(idsaku,class,sakumotsu,toroku) VALUES('" +
             std::string(code) + "',4,'" + S(name) + "',1);";
      sql += "INSERT INTO sakuhojo VALUES('" + std::string(code) +
             S("','花き類・観葉植物、大群、大群2、大群3',NULL,NULL);");
    }
    acis.ExecSQL("BEGIN;" + sql + "COMMIT;");
  }

  qmtest::TempDir dir_;
  qmtest::ScopedEngineState state_{dir_.path()};
  TScopedRecordingUi ui_;
  Log log_;
  std::unique_ptr<TAcisDB> db_;
};

TEST_F(CropQueries, SearchExpressionsSelectTheCropAndWhatBelongsToIt) {
  struct Case {
    const char *crops;
    Names selected;
  } cases[] = {
      {"トマト", {"トマト", "ミニトマト", "ミニトマト(施設栽培)", "ミニトマト(養液栽培)"}},
      {"とまと", {"トマト", "ミニトマト", "ミニトマト(施設栽培)", "ミニトマト(養液栽培)"}},
      {"なつみかん", {"なつみかん"}},
      // The sub-entry that excludes なつみかん still belongs to かんきつ.
      {"かんきつ",
       {"かんきつ", "かんきつ(なつみかんを除く)", "みかん", "温州みかん", "早生温州みかん",
        "極早生温州みかん(施設栽培)", "なつみかん"}},
      // A sub-entry that names the fruit includes it.
      {"りんご", {"りんご", "落葉果樹(りんご、なし、もも)"}},
      {"落葉果樹",
       {"りんご", "なし", "もも", "落葉果樹", "落葉果樹(りんご、なし、もも)", "落葉果樹(なしを除く)"}},
      {"水稲,陸稲", {"水稲", "水稲(箱育苗)", "陸稲"}},
      {"稲", {"稲", "水稲", "水稲(箱育苗)", "陸稲"}},
      {"ミニトマト(施設栽培),トマト",
       {"トマト", "ミニトマト", "ミニトマト(施設栽培)", "ミニトマト(養液栽培)"}},
      {"存在しない作物", {}},
  };
  for (const auto &c : cases) {
    std::string e = db_->IdSakuRegexpLineTest(S(c.crops));
    EXPECT_EQ(Selected(e), c.selected) << c.crops << " -> " << U(e);
  }
  EXPECT_EQ(db_->IdSakuRegexpLineTest(S("存在しない作物")), "'^$'");
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(CropQueries, UpperGroupsAddedForAPickSelectTheirOwnEntriesOnly) {
  struct Case {
    const char *crops, *upperOnly;
    Names selected;
  } cases[] = {
      // The groups of トマト bring their own entries, never なす, ピーマン or the cabbages.
      {"トマト,なす科野菜,野菜類", "なす科野菜,野菜類",
       {"トマト", "ミニトマト", "ミニトマト(施設栽培)", "ミニトマト(養液栽培)", "なす科野菜", "野菜類"}},
      // Picked by the user, a group still brings every crop filed under it.
      {"トマト,なす科野菜", "",
       {"トマト", "ミニトマト", "ミニトマト(施設栽培)", "ミニトマト(養液栽培)", "なす科野菜", "なす", "ピーマン"}},
      {"トマト,なす科野菜,野菜類", "野菜類",
       {"トマト", "ミニトマト", "ミニトマト(施設栽培)", "ミニトマト(養液栽培)", "なす科野菜", "なす", "ピーマン",
        "野菜類"}},
      // The cross group 落葉果樹 of りんご: its entry that excludes なし applies to りんご, the
      // one that names りんご as well; なし and もも stay out.
      {"りんご,仁果類,果樹類,落葉果樹", "仁果類,果樹類,落葉果樹",
       {"りんご", "仁果類", "果樹類", "落葉果樹", "落葉果樹(りんご、なし、もも)", "落葉果樹(なしを除く)"}},
      {"なし,仁果類,果樹類,落葉果樹", "仁果類,果樹類,落葉果樹",
       {"なし", "仁果類", "果樹類", "落葉果樹", "落葉果樹(りんご、なし、もも)"}},
      {"みかん,かんきつ,果樹類", "かんきつ,果樹類",
       {"みかん", "温州みかん", "早生温州みかん", "極早生温州みかん(施設栽培)", "かんきつ", "かんきつ(なつみかんを除く)",
        "果樹類"}},
      {"なつみかん,かんきつ,果樹類", "かんきつ,果樹類", {"なつみかん", "かんきつ", "果樹類"}},
      // Only groups; a name of the list of groups that the crops do not hold changes nothing.
      {"なす科野菜,野菜類", "なす科野菜,野菜類", {"なす科野菜", "野菜類"}},
      {"トマト", "野菜類", {"トマト", "ミニトマト", "ミニトマト(施設栽培)", "ミニトマト(養液栽培)"}},
  };
  for (const auto &c : cases) {
    const std::string e = db_->IdSakuRegexpLineTest(S(c.crops), false, S(c.upperOnly));
    EXPECT_EQ(Selected(e), c.selected) << c.crops << " / " << c.upperOnly << " -> " << U(e);
  }
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(CropQueries, DeployIdsakuSelectsTheCropItsUpperGroupsAndItsExtraEntries) {
  struct Case {
    const char *names;
    Names selected;
  } cases[] = {
      {"トマト", {"野菜類", "なす科野菜", "トマト", "トマト(苗)"}},
      {"ミニトマト（施設栽培）",
       {"野菜類", "なす科野菜", "トマト", "ミニトマト", "ミニトマト(施設栽培)", "ミニトマト(養液栽培)"}},
      // The cross-group crop comes with the fruit.
      {"りんご", {"果樹類", "仁果類", "りんご", "落葉果樹"}},
      // An unregistered crop below a registered one is left out.
      {"温州みかん", {"果樹類", "かんきつ", "みかん", "温州みかん", "極早生温州みかん(施設栽培)"}},
      {"水稲,りんご", {"稲", "水稲", "水稲(育苗箱)", "果樹類", "仁果類", "りんご", "落葉果樹"}},
      {"存在しない作物", {}},
  };
  for (const auto &c : cases) {
    std::string e = db_->DeployIdsaku(S(c.names));
    EXPECT_EQ(Selected(e), c.selected) << c.names << " -> " << U(e);
  }
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(CropQueries, NeighboursOfACrop) {
  EXPECT_EQ(Items(db_->UpperGroup(S("ミニトマト(施設栽培)"))),
            (std::vector<std::string>{"ミニトマト(施設栽培)", "ミニトマト", "トマト", "なす科野菜", "野菜類"}));
  // The unregistered parent is skipped; the cross-group crop joins the ancestors.
  EXPECT_EQ(Items(db_->UpperGroup(S("極早生温州みかん(施設栽培)"))),
            (std::vector<std::string>{"極早生温州みかん(施設栽培)", "温州みかん", "みかん", "かんきつ", "果樹類"}));
  EXPECT_EQ(Items(db_->UpperGroup(S("りんご"))),
            (std::vector<std::string>{"落葉果樹", "りんご", "仁果類", "果樹類"}));

  // Unregistered ancestors in round brackets, the crop itself left out.
  EXPECT_EQ(Items(db_->UpperSakumotsuList(S("極早生温州みかん(施設栽培)"))),
            (std::vector<std::string>{"(早生温州みかん)", "(温州みかん)", "みかん", "かんきつ", "果樹類"}));
  EXPECT_EQ(Items(db_->UpperSakumotsuList(S("りんご"))),
            (std::vector<std::string>{"落葉果樹", "(仁果類)", "果樹類"}));

  // The nearest registered crop stands in for an unregistered one.
  EXPECT_EQ(U(db_->SameLevelSakumotsu(S("早生温州みかん"))), "みかん");
  EXPECT_EQ(U(db_->SameLevelSakumotsu(S("ミニトマト"))), "ミニトマト");
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(CropQueries, DeployCropsExpandsToRegisteredDescendants) {
  struct Case {
    const char *term;
    char mode;
    const char *result;
  } cases[] = {
      {"トマト", '%', "ミニトマト(養液栽培),ミニトマト(施設栽培),ミニトマト,トマト"},
      {"温州みかん", '%', "極早生温州みかん(施設栽培),温州みかん"},
      {"稲", '%', "稲"},  // a top group stands for itself
      {"存在しない作物", '%', ""},
      {"ミニトマト（施設栽培）", '%', "ミニトマト(養液栽培),ミニトマト(施設栽培)"},
      {"ミニトマト(施設栽培)", '~', "ミニトマト(施設栽培),ミニトマト,トマト,なす科野菜,野菜類"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(U(db_->DeployCrops(S(c.term), c.mode)), c.result) << c.term << " " << c.mode;
  EXPECT_EQ(db_->DeployCrops(S("りんご"), '~'), db_->UpperGroup(S("りんご")));
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(CropQueries, ExpressionsByNameAndByPattern) {
  struct Case {
    const char *crops;
    bool by_pattern;
    Names selected;
  } cases[] = {
      {"トマト", false, {"トマト"}},
      // A class-4 crop keeps its 12-digit prefix (its class-5 crops come along) ...
      {"ミニトマト(施設栽培)", false, {"ミニトマト(施設栽培)", "ミニトマト(養液栽培)"}},
      // ... unless a class-5 crop is selected too: then each stands for itself.
      {"ミニトマト(施設栽培),ミニトマト(養液栽培)", false,
       {"ミニトマト(施設栽培)", "ミニトマト(養液栽培)"}},
      {"ミニトマト(養液栽培)", false, {"ミニトマト(養液栽培)"}},
      {"落葉果樹", false, {"落葉果樹", "落葉果樹(なしを除く)"}},
      {"なし", false, {"なし", "落葉果樹(りんご、なし、もも)"}},
      // By reading: the guard keeps みにとまと out; the extra seedling entry comes in.
      {"とまと", true, {"トマト", "トマト(苗)"}},
  };
  for (const auto &c : cases) {
    std::string e = "unset";
    db_->IdSakuRegexpLine(S(c.crops), c.by_pattern, e);
    EXPECT_EQ(Selected(e), c.selected) << c.crops << " -> " << U(e);
  }
  std::string e;
  db_->IdSakuRegexpLine(S("存在しない作物"), false, e);
  EXPECT_EQ(e, "'0000000000000000'");
  db_->IdSakuRegexpLine(S("トマト"), false, e, true);
  EXPECT_EQ(e, db_->DeployIdsaku(S("トマト")));
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(CropQueries, DeciduousFruitSubEntries) {
  const std::string all_fruits = Code("落葉果樹(りんご、なし、もも)");
  const std::string but_nashi = Code("落葉果樹(なしを除く)");
  struct Case {
    const char *crops;
    std::vector<std::string> except;
  } cases[] = {
      {"トマト", {all_fruits, but_nashi}},
      {"りんご", {but_nashi}},  // only the entries naming the chosen fruit are kept
      {"落葉果樹", {}},         // the group itself keeps every sub-entry
      {"トマト,落葉果樹(なしを除く)", {}},
  };
  for (const auto &c : cases) {
    std::vector<std::string> except;
    db_->IdSakuRakuyokaju(S(c.crops), except);
    EXPECT_EQ(except, c.except) << c.crops;
  }
  EXPECT_TRUE(db_->IsRakuyokaju(S("もも")));
  EXPECT_FALSE(db_->IsRakuyokaju(S("落葉果樹")));  // the group, not a fruit of it
  EXPECT_FALSE(db_->IsRakuyokaju(S("トマト")));
}

TEST_F(CropQueries, NameMatches) {
  EXPECT_TRUE(db_->SakumotsuMatches(S("とまと%")));
  std::string names = "untouched";
  db_->MatchSakumotsuList(S("とまと%"), names);
  EXPECT_EQ(U(names), "トマト,トマト(苗)");
  db_->MatchSakumotsuList(S("%トマト"), names);
  EXPECT_EQ(U(names), "トマト,ミニトマト");
  names = "untouched";
  db_->MatchSakumotsuList(S("かぼちゃ"), names);
  EXPECT_EQ(names, "untouched");
  EXPECT_FALSE(db_->SakumotsuMatches(S("かぼちゃ")));
}

TEST_F(CropQueries, QuotesInNamesNeitherBreakNorWidenTheStatement) {
  // A column's name is a name like any other.
  for (const std::string &name : {S("O'Brien"), S("say \"x\""), S("' or 1=1 --"), std::string("sakumotsu")}) {
    EXPECT_EQ(db_->UpperGroup(name).find(S("トマト")), std::string::npos) << name;
    EXPECT_EQ(db_->DeployCrops(name, '%').find(S("トマト")), std::string::npos) << name;
    EXPECT_FALSE(db_->SakumotsuMatches(name)) << name;
    EXPECT_FALSE(db_->IsRakuyokaju(name)) << name;
    EXPECT_EQ(Selected(db_->DeployIdsaku(name)), Names{}) << name;
    EXPECT_EQ(Selected(db_->IdSakuRegexpLineTest(name)), Names{}) << name;
  }
  // A broken lead byte does not hide the quote after it.
  const std::string broken = "\x81' or 1=1 --";
  EXPECT_EQ(db_->UpperGroup(broken), "");
  EXPECT_EQ(db_->DeployCrops(broken, '%').find(S("トマト")), std::string::npos);
  EXPECT_FALSE(db_->IsRakuyokaju(broken));
  EXPECT_TRUE(ui_.reports.empty());
  EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(CropQueries, DebugTraceNamesTheStatements) {
  DebugMode = true;
  db_->DeployCrops(S("トマト"), '%');
  db_->IdSakuRegexpLineTest(S("トマト"));
  auto has = [&](const std::string &prefix) {
    return std::any_of(log_.lines.begin(), log_.lines.end(),
                       [&](const std::string &l) { return l.rfind(prefix, 0) == 0; });
  };
  EXPECT_TRUE(has("acdb DeployCrops -> select ifnull(concat(\",\",sakumotsu),\"\") from"));
  EXPECT_TRUE(has(S("acdb DeployCrops Result -> ミニトマト(養液栽培),")));
  EXPECT_TRUE(has("---- acdb: IdSakuRegexpLine test ----"));
  EXPECT_TRUE(has("Result: "));
}

TEST_F(CropQueries, LargeSelectionsStayWholeOrAreRefusedClearly) {
  AddLargeGroup(4000);
  // Names joined by concat outgrow its cap; the list still holds every crop, whole.
  std::vector<std::string> names = Items(db_->DeployCrops(S("大群3"), '%'));
  ASSERT_EQ(names.size(), 4001u);
  EXPECT_EQ(names.front(), "花き試験作物第4000号系統");
  EXPECT_EQ(names[2000], "花き試験作物第2000号系統");
  EXPECT_EQ(names.back(), "大群3");
  EXPECT_TRUE(ui_.boxes.empty());

  // A selection of more codes than one expression can hold is refused with a warning and
  // selects nothing, instead of searching a cut pattern.
  std::string e = db_->IdSakuRegexpLineTest(S("大群3"));
  EXPECT_EQ(Selected(e), Names{});
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_NE(U(ui_.boxes[0].text).find("多すぎる"), std::string::npos);
  EXPECT_EQ(ui_.boxes[0].flags, MB_OK | MB_ICONWARNING);
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(CropQueries, LongNameListsRunInGroupsWithTheSameResult) {
  AddLargeGroup(1200);
  std::string list;
  Names expected = {"花き類・観葉植物", "大群", "大群2", "大群3"};
  for (int i = 1; i <= 1200; i += 2) {
    char name[64];
    std::snprintf(name, sizeof name, "花き試験作物第%04d号系統", i);
    list += (list.empty() ? "" : ",") + S(name);
    expected.insert(name);
  }
  std::string e = db_->DeployIdsaku(list);
  EXPECT_EQ(Selected(e), expected);
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.reports.empty());
}

}  // namespace
namespace {

TEST_F(CropQueries, CropConditionsOverNamesAndOtherNames) {
  struct Case {
    const char *crops;
    Names selected;
  } cases[] = {
      {"トマト", {"トマト"}},
      {"とまと", {"トマト"}},  // readings fold onto the names; ミニトマト stays out
      {"トマト,なす", {"トマト", "なす"}},
      // Quoted, as a template's list comes: every crop once, and no empty alternative that
      // would take every text (each begins with "、").
      {"'トマト','なす'", {"トマト", "なす"}},
      {"'トマト','なす','かんきつ'", {"トマト", "なす", "かんきつ", "かんきつ(なつみかんを除く)"}},
      {"柑橘", {"かんきつ"}},  // by other name
      // A crop with a qualifier that names it, but not one that excludes another crop by it.
      {"かんきつ", {"かんきつ", "かんきつ(なつみかんを除く)"}},
      {"なつみかん", {"なつみかん"}},
      {"なし", {"なし", "落葉果樹(りんご、なし、もも)"}},
      {"ミニトマト", {"ミニトマト", "ミニトマト(施設栽培)", "ミニトマト(養液栽培)"}},
      {"ミニトマト(施設栽培)", {"ミニトマト(施設栽培)"}},
      {"野菜類", {"野菜類"}},
      {"花き類・観葉植物", {"花き類・観葉植物"}},
      {"ソルゴー", {"ソルゴー"}},  // ソ carries a backslash as its second byte
      {"存在しない作物", {}},
  };
  TSQLiteDb probe((dir_ / "acis.db").string());
  for (const auto &c : cases) {
    std::string sql = "SELECT sakumotsu FROM m_sakumotsu WHERE" + CropRegexpCond(S(c.crops));
    auto t = probe.GetTable(sql);
    Names names;
    for (; !t->Eof(); t->Next()) names.insert(U(t->FieldAsString(0)));
    EXPECT_EQ(names, c.selected) << c.crops << ": " << U(sql);
  }
}

}  // namespace
namespace {

TEST_F(CropQueries, SqlFailuresAreShownUnderTheirTitleAndNotRaised) {
  db_->ExecSQL("ALTER TABLE m_sakumotsu RENAME TO m_sakumotsu_old; DROP VIEW vg_sakumotsu2;");
  EXPECT_EQ(db_->UpperGroup(S("トマト")), "");
  EXPECT_EQ(db_->SameLevelSakumotsu(S("トマト")), "");
  EXPECT_EQ(db_->DeployCrops(S("トマト"), '%'), "");
  EXPECT_EQ(db_->DeployIdsaku(S("トマト")), "");
  std::string e = "unset";
  db_->IdSakuRegexpLine(S("トマト"), false, e);
  EXPECT_EQ(e, "'0000000000000000'");
  std::vector<std::string> titles;
  for (const auto &r : ui_.reports) titles.push_back(U(r.title));
  const std::vector<std::string> expected = {
      "AcisDB.UpperGroup SQL実行", "AcisDB.SameLevelSakumotsu SQL実行", "", "AcisDB.DeployIdsaku SQL実行"};
  ASSERT_GE(titles.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(titles.begin(), titles.begin() + 4), expected);
  for (const auto &r : ui_.reports) EXPECT_EQ(U(r.caption), "SQL エラー");
  // The hint list fails silently.
  const std::size_t shown = ui_.reports.size();
  EXPECT_EQ(db_->UpperSakumotsuList(S("トマト")), "");
  EXPECT_EQ(ui_.reports.size(), shown);
}

}  // namespace
namespace {

// The sample-data kit's crop master (its script as the program receives it, in CP932) fits
// the statements: every registered crop finds itself and its own applications' codes.
class KitCropQueries : public CropQueries {
 protected:
  void LoadMasters(TSQLiteDb &acis) override {
    const std::filesystem::path kit = dir_ / "kit";
    const std::string cmd = "python3 '" +
                            (qmtest::SourceDir() / "scripts/samplekit/make.py").string() +
                            "' --size small --out '" + kit.string() + "' > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    acis.ExecSQL(qmtest::ReadFile(kit / "scripts" / "sakumotsu.txt"));
  }
};

TEST_F(KitCropQueries, EveryRegisteredCropFindsItself) {
  TSQLiteDb probe((dir_ / "acis.db").string());
  auto crops = probe.GetTable("SELECT sakumotsu FROM m_sakumotsu WHERE toroku = 1");
  ASSERT_GT(crops->Count(), 20);
  for (; !crops->Eof(); crops->Next()) {
    const std::string name = crops->FieldAsString(0);
    const std::string n = U(name);
    auto has = [&](const std::string &list) {
      auto items = SplitDelimitedText(list);
      return std::find(items.begin(), items.end(), name) != items.end();
    };
    EXPECT_TRUE(has(db_->UpperGroup(name))) << n;
    EXPECT_TRUE(has(db_->DeployCrops(name, '%'))) << n;
    EXPECT_TRUE(Selected(db_->IdSakuRegexpLineTest(name)).count(n)) << n;
    EXPECT_TRUE(Selected(db_->DeployIdsaku(name)).count(n)) << n;
    std::string e;
    db_->IdSakuRegexpLine(name, false, e);
    EXPECT_TRUE(Selected(e).count(n)) << n << " " << U(e);
  }
  EXPECT_TRUE(ui_.reports.empty());
  EXPECT_TRUE(ui_.boxes.empty());
}

}  // namespace

// The crop and pest/disease search scripts run on the sample database, judged by the test's
// own statements over the stored tables; a failing script leaves the previous work table;
// the application table kept in acis.db under the data date.
#include "engine/acdb_search.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/sample_acisdb.h"
#include "support/testutil.h"

namespace fs = std::filesystem;
using cp932::literals::operator""_sj;

namespace {

using Rows = std::multiset<std::string>;

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

// The rows of the statement in the order it gives them, each as its cells joined by "|".
std::vector<std::string> InOrder(TAcisDB &db, const std::string &sql) {
  std::vector<std::string> rows;
  for (auto t = db.Db().GetTable(sql); !t->Eof(); t->Next()) {
    std::string r;
    for (int c = 0; c < t->ColCount(); ++c) r += (c ? "|" : "") + t->FieldAsString(c);
    rows.push_back(r);
  }
  return rows;
}

// The rows of the statement, in any order.
Rows Read(TAcisDB &db, const std::string &sql) {
  const std::vector<std::string> rows = InOrder(db, sql);
  return Rows(rows.begin(), rows.end());
}

class SearchScriptTest : public ::testing::Test {
 protected:
  qmtest::ScopedEngineState state;
  TScopedRecordingUi ui;
  qmtest::TSampleAcisDb sample;
  TAcisDB &db = sample.db();

  void SetUp() override { db.SetMultiStatement(true); }

  void CropSearch(const std::string &crops, const std::string &neighbours = "") {
    const std::string e = db.IdSakuRegexpLineTest(crops);
    ASSERT_TRUE(db.ExecSearchScript(neighbours.empty() ? SakumotsuSearchScript(e)
                                                       : SakumotsuKinsetsuScript(e, db.IdSakuRegexpLineTest(neighbours))));
  }
};

// The crop and every crop that belongs to it, by the groups the crop master names.
std::string CropsOf(const char *crop) {
  return S("SELECT m.sakumotsu FROM m_sakumotsu AS m LEFT JOIN sakuhojo AS h USING(idsaku) WHERE m.sakumotsu = '") +
         S(crop) + S("' OR '、'||h.shozoku||'、' LIKE '%、") + S(crop) + S("、%'");
}

TEST_F(SearchScriptTest, CropScriptsFindTheRowsOfTheCropsAndOfProductsRegisteredForBoth) {
  const std::string tomato = S("トマト"), cabbage = S("キャベツ");
  CropSearch(tomato);
  const std::string rows = "SELECT bango, sakumotsu, byochu FROM m_tekiyo WHERE sakumotsu IN ";
  const Rows group = Read(db, rows + "(" + CropsOf("トマト") + ")");
  ASSERT_GT(group.size(), Read(db, rows + "('" + tomato + "')").size());  // ミニトマト belongs to トマト
  EXPECT_EQ(Read(db, "SELECT bango, sakumotsu, byochu FROM ttTekiyoSaku"), group);

  // Main and neighbouring crops: the rows of both, only of products registered for both.
  CropSearch(tomato, cabbage);
  const std::string main = "SELECT bango FROM m_tekiyo WHERE sakumotsu IN (" + CropsOf("トマト") + ")";
  const std::string next = "SELECT bango FROM m_tekiyo WHERE sakumotsu IN (" + CropsOf("キャベツ") + ")";
  const Rows expected = Read(db, rows + "(" + CropsOf("トマト") + " UNION " + CropsOf("キャベツ") + ") AND bango IN (" +
                                     main + ") AND bango IN (" + next + ")");
  ASSERT_FALSE(expected.empty());
  EXPECT_LT(expected.size(), group.size());
  EXPECT_EQ(Read(db, "SELECT bango, sakumotsu, byochu FROM ttTekiyoSaku"), expected);
  EXPECT_EQ(Read(db, "SELECT DISTINCT sakumotsu FROM t_sub"), Rows{cabbage});
}

TEST_F(SearchScriptTest, CropRowsComeByRegistrationNumberAndWithinOneAsStored) {
  // One crop with what is filed under it, and whole groups of crops: each gives every stored
  // row of its crops, by number, and the rows of one number in the order they are stored,
  // whichever crop they are for.
  for (const char *crops : {"トマト", "トマト,なす科野菜,野菜類"}) {
    CropSearch(S(crops));
    const std::vector<std::string> shown = InOrder(db, "SELECT bango, sakumotsu, byochu, mokuteki FROM ttTekiyoSaku");
    ASSERT_FALSE(shown.empty()) << crops;
    EXPECT_EQ(shown, InOrder(db, "SELECT bango, sakumotsu, byochu, mokuteki FROM m_tekiyo WHERE sakumotsu IN "
                                 "(SELECT sakumotsu FROM ttTekiyoSaku) ORDER BY bango, rowid"))
        << crops;
  }
}

TEST_F(SearchScriptTest, ResistanceGroupsFollowThePestCategoryOfTheRow) {
  CropSearch(S("トマト"));
  // mid1 for every row, computed here from the three class tables: the group of the
  // ingredient for the row's pest category, else its highest group.
  const std::string own =
      "SELECT bango, idbyochu, seibun1, ifnull((SELECT max(mid) FROM spec.raccode AS r WHERE r.ippanmei = seibun1 AND "
      "r.cid = substr(idbyochu, 1, 1)), (SELECT max(mid) FROM spec.raccode AS r WHERE r.ippanmei = seibun1)) "
      "FROM ttTekiyoSaku";
  EXPECT_EQ(Read(db, "SELECT bango, idbyochu, seibun1, mid1 FROM ttTekiyoSaku"), Read(db, own));
  EXPECT_GT(Read(db, "SELECT mid1 FROM ttTekiyoSaku WHERE mid1 IS NOT NULL").size(), 0u);

  // The indexed copies give the same work table as the class tables themselves.
  const Rows fast = Read(db, "SELECT * FROM ttTekiyoSaku");
  db.Db().ExecSQL("DROP TABLE temp.raccode; DROP TABLE temp.rac2;");
  CropSearch(S("トマト"));
  EXPECT_EQ(Read(db, "SELECT * FROM ttTekiyoSaku"), fast);
}

TEST_F(SearchScriptTest, PestWordsSkipEmptyWordsAndMatchOtherNamesAndPurposes) {
  EXPECT_EQ(PestWords(S("　アブラムシ  ,コナガ　")), S("アブラムシ,コナガ"));
  EXPECT_EQ(ByochuSearchScript(S(" 　 , ")), "");

  ASSERT_TRUE(db.ExecSearchScript(ByochuSearchScript(S("アブラムシ　コナガ"))));
  const Rows pests = Read(db, "SELECT byochu FROM tByochu");
  EXPECT_EQ(pests, Read(db, S("SELECT byochu FROM m_byochu WHERE byochu LIKE '%アブラムシ%' OR betsumei LIKE "
                              "'%アブラムシ%' OR byochu LIKE '%コナガ%' OR betsumei LIKE '%コナガ%'")));
  const std::string products =
      "SELECT bango, sakumotsu, byochu FROM m_tekiyo WHERE bango IN (SELECT bango FROM m_tekiyo WHERE byochu IN "
      "(SELECT byochu FROM tByochu) OR mokuteki IN (SELECT byochu FROM tByochu))";
  // The search takes the found pests' rows; the rest of the found products' rows follow.
  EXPECT_EQ(Read(db, "SELECT bango, sakumotsu, byochu FROM ttTekiyoByochu"),
            Read(db, products + " AND (byochu IN (SELECT byochu FROM tByochu) OR mokuteki IN (SELECT byochu FROM "
                                "tByochu))"));
  ASSERT_TRUE(db.ExecSearchScript(ByochuRestScript()));
  const Rows two = Read(db, products);
  EXPECT_EQ(Read(db, "SELECT bango, sakumotsu, byochu FROM ttTekiyoByochu"), two);

  // A trailing blank searches the same; the other name アリマキ finds the aphids.
  ASSERT_TRUE(db.ExecSearchScript(ByochuSearchScript(S("アブラムシ ")) + ByochuRestScript()));
  const Rows one = Read(db, "SELECT bango, sakumotsu, byochu FROM ttTekiyoByochu");
  EXPECT_LT(one.size(), two.size());
  ASSERT_TRUE(db.ExecSearchScript(ByochuSearchScript(S("アリマキ")) + ByochuRestScript()));
  EXPECT_EQ(Read(db, "SELECT bango, sakumotsu, byochu FROM ttTekiyoByochu"), one);

  // A name found only as a purpose of use still gives its rows.
  const std::string purpose = db.Db()
                                  .GetTable("SELECT mokuteki FROM m_tekiyo WHERE mokuteki != '' AND mokuteki NOT IN "
                                            "(SELECT byochu FROM m_tekiyo WHERE byochu IS NOT NULL) AND mokuteki IN (SELECT byochu FROM "
                                            "m_byochu) LIMIT 1")
                                  ->FieldAsString(0);
  ASSERT_FALSE(purpose.empty());
  ASSERT_TRUE(db.ExecSearchScript(ByochuSearchScript(purpose)));
  EXPECT_FALSE(Read(db, "SELECT * FROM ttTekiyoByochu WHERE mokuteki = '" + purpose + "'").empty());
}

TEST_F(SearchScriptTest, AFailingStatementUndoesTheWholeScript) {
  CropSearch(S("トマト"));
  const Rows before = Read(db, "SELECT * FROM ttTekiyoSaku");
  // The first statement replaces the work table; the second fails.
  EXPECT_FALSE(db.ExecSearchScript(SakumotsuSearchScript("'^$'") + "SELECT * FROM no_such_table;"));
  ASSERT_EQ(ui.reports.size(), 1u);
  EXPECT_NE(ui.reports[0].text.find("no_such_table"), std::string::npos);
  EXPECT_EQ(Read(db, "SELECT * FROM ttTekiyoSaku"), before);
  // A result the caller does not take is undone too.
  EXPECT_FALSE(db.ExecSearchScript(SakumotsuSearchScript("'^$'"), [] { return false; }));
  EXPECT_EQ(Read(db, "SELECT * FROM ttTekiyoSaku"), before);
  EXPECT_FALSE(db.Db().InTransaction());
}

TEST_F(SearchScriptTest, CropFilterMatchesNamesLiterally) {
  ASSERT_TRUE(db.ExecSearchScript(ByochuSearchScript(S("アブラムシ"))));
  const std::string tomato = db.DeployCrops(S("トマト"), '~');
  ASSERT_FALSE(tomato.empty());
  const Rows rows = Read(db, ByochuCropFilterSQL("tvTsushoTekiyoByochu1", {{S("トマト"), tomato}}));
  EXPECT_FALSE(rows.empty());
  // Quotes and signs of regular expressions in a typed name neither break the statement nor
  // widen it.
  for (const char *typed : {"x' OR 1=1 --", ".*", "トマト|.*", "(", "ソ\\"}) {
    ui.reports.clear();
    EXPECT_TRUE(Read(db, ByochuCropFilterSQL("tvTsushoTekiyoByochu1", {{S(typed), S(typed)}})).empty()) << typed;
    EXPECT_TRUE(ui.reports.empty()) << typed;
  }
  EXPECT_EQ(RegexEscape(S("ソ(a).")), S("ソ\\(a\\)\\."));
}

// ---------------------------------------------------------------- the kept application table

class KeptTableTest : public ::testing::Test {
 protected:
  qmtest::TempDir dir;
  qmtest::ScopedEngineState state{dir.path()};
  TScopedRecordingUi ui;

  void SetUp() override {
    for (const char *f : {"acis.db", "spec.db"}) fs::copy_file(qmtest::SampleDbFolder() / f, dir / f);
    // The sample folder's database may already keep a table from another test's open.
    TSQLiteDb raw((dir / "acis.db").string());
    raw.ExecSQL("DROP TABLE IF EXISTS t_tekiyo; DROP TABLE IF EXISTS t_tekiyoKey;");
  }
  std::unique_ptr<TAcisDB> Open() {
    auto db = std::make_unique<TAcisDB>((dir / "acis.db").string(), nullptr);
    db->CreateViews();
    return db;
  }
  static std::string One(TAcisDB &db, const std::string &sql) { return db.Db().GetTable(sql)->FieldAsString(0); }
};

TEST_F(KeptTableTest, BuiltOncePerDataDateAndEqualToTheConnectionsOwnCopy) {
  {
    auto db = Open();
    EXPECT_EQ(One(*db, "SELECT count(*) FROM main.t_tekiyo"), One(*db, "SELECT count(*) FROM m_tekiyo"));
    EXPECT_EQ(One(*db, "SELECT count(*) FROM temp.sqlite_master WHERE name = 't_tekiyo'"), "0");
    const Rows kept = Read(*db, "SELECT * FROM main.t_tekiyo");
    // A marker row shows whether the next open builds again.
    db->Db().ExecSQL("INSERT INTO main.t_tekiyo (bango) VALUES (-1);");
    EXPECT_EQ(kept.size() + 1, Read(*db, "SELECT * FROM main.t_tekiyo").size());
  }
  {
    auto db = Open();
    EXPECT_EQ(One(*db, "SELECT count(*) FROM t_tekiyo WHERE bango = -1"), "1");  // kept
    db->SetLastUpdate("2026.12.01");
  }
  {
    auto db = Open();
    EXPECT_EQ(One(*db, "SELECT count(*) FROM t_tekiyo WHERE bango = -1"), "0");  // a new data date builds again
    // A changed reference table builds again too.
    db->Db().ExecSQL("INSERT INTO t_tekiyo (bango) VALUES (-1); UPDATE seizai SET dokusei = 'x' WHERE rowid = 1;");
  }
  auto db = Open();
  EXPECT_EQ(One(*db, "SELECT count(*) FROM t_tekiyo WHERE bango = -1"), "0");
  EXPECT_TRUE(ui.reports.empty());
}

TEST_F(KeptTableTest, AnEffectClassRefreshUnderTheSameDateBuildsAgain) {
  // The effect of each row, as the test reads it from the products themselves.
  const std::string stale = "SELECT count(*) FROM t_tekiyo AS t JOIN m_kihon AS k USING(bango) "
                            "WHERE t.seizaikoka IS NOT k.koka";
  {
    auto db = Open();
    ASSERT_EQ(One(*db, stale), "0");
    // A newer effect-class script gives one class another effect; its rewrite of the
    // products' effects keeps the data date.
    const std::string id = One(*db, "SELECT kokaid FROM spec.bunrui WHERE seibun IN (SELECT seibun1 FROM m_kihon) "
                                    "AND kokaid > 0 LIMIT 1");
    db->Db().ExecSQL("UPDATE spec.bunrui SET kokaid = (SELECT min(kokaid) FROM spec.koka WHERE kokaid != " + id +
                     " AND kokaid > 2) WHERE kokaid = " + id + ";");
    db->UpdateKoka();
    ASSERT_NE(One(*db, stale), "0");
  }
  Rows kept;
  {
    auto db = Open();
    EXPECT_EQ(One(*db, stale), "0");
    kept = Read(*db, "SELECT * FROM main.t_tekiyo");
  }
  // And the whole table is what a fresh build gives.
  {
    TSQLiteDb raw((dir / "acis.db").string());
    raw.ExecSQL("DROP TABLE t_tekiyo; DROP TABLE t_tekiyoKey;");
  }
  auto db = Open();
  EXPECT_EQ(Read(*db, "SELECT * FROM main.t_tekiyo"), kept);
  EXPECT_TRUE(ui.reports.empty());
}

// An index on number and crop, which a database built by an earlier version may carry, would
// lead the crop search's reads away from the rows' stored order: the next open drops it, also
// when the kept table is current and is not built again (a marker row shows that).
TEST_F(KeptTableTest, AnEarlierVersionsIndexOnNumberAndCropGoes) {
  Open()->Db().ExecSQL("INSERT INTO main.t_tekiyo (bango) VALUES (-1);");
  {
    TSQLiteDb raw((dir / "acis.db").string());
    raw.ExecSQL("CREATE INDEX idxTekiyoBangoSakumotsu ON m_tekiyo (bango, sakumotsu);");
  }
  auto db = Open();
  EXPECT_EQ(One(*db, "SELECT count(*) FROM main.t_tekiyo WHERE bango = -1"), "1");  // kept, not built
  EXPECT_EQ(One(*db, "SELECT count(*) FROM main.sqlite_master WHERE name = 'idxTekiyoBangoSakumotsu'"), "0");
  EXPECT_EQ(One(*db, "SELECT count(*) FROM main.sqlite_master WHERE name = 'idxTekiyoByochu'"), "1");
  EXPECT_TRUE(ui.reports.empty());
}

TEST_F(KeptTableTest, ADatabaseThatCannotBeWrittenGetsTheConnectionsOwnTable) {
  // Another connection holds the write lock, so acis.db takes no table now.
  TSQLiteDb other((dir / "acis.db").string());
  other.ExecSQL("BEGIN IMMEDIATE;");
  auto db = Open();
  other.ExecSQL("ROLLBACK;");
  EXPECT_EQ(One(*db, "SELECT count(*) FROM temp.t_tekiyo"), One(*db, "SELECT count(*) FROM m_tekiyo"));
  EXPECT_FALSE(Read(*db, "SELECT * FROM tv_tsushoTekiyo LIMIT 1").empty());
  EXPECT_TRUE(ui.reports.empty());
}

}  // namespace

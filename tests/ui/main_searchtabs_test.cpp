// The crop and pest/disease searches of the main window, driven as a user does on the
// offscreen window over the sample database, each result judged by the test's own SQL over
// the stored tables; the view modes, the separate result window and the failure paths.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <set>

#include "components/CheckTreeView.h"
#include "components/DialogServices.h"
#include "components/grid/ExcelUtil.h"
#include "components/qtext.h"
#include "engine/SQLite.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/sample_acisdb.h"
#include "support/testutil.h"
#include "ui/UGrid.h"
#include "ui/picker_test_util.h"
#include "ui/UfraSakumotsu.h"
#include "ui/main.h"
#include "ui_UfraSakumotsu.h"
#include "ui_main.h"

namespace fs = std::filesystem;
using cp932::literals::operator""_sj;

namespace {

using Rows = std::multiset<std::string>;

std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }
QString Q(const char *utf8) { return QString::fromUtf8(utf8); }

class SearchTabsTest : public ::testing::Test {
 protected:
  qmtest::TempDir home;
  qmtest::ScopedEngineState engine{home / "DB"};
  TScopedRecordingUi boxes;
  TScopedRecordingDialogs dialogs;
  std::function<int(QDialog *)> saved_modal = TfrmMain::ShowModal;
  std::unique_ptr<TfrmMain> w;

  void SetUp() override {
    *OptionData = TOptionData(home.str());
    AutoUpdateSwitch = DownloadCheckSwitch = OfflineSwitch = DeveloperSwitch = false;
    TfrmMain::ShowModal = [](QDialog *) { return 0; };
    fs::create_directories(home / "DB");
    TIniFile ini((home / "quillmar.ini").string());
    ini.WriteBool("NET", "OffLine", true);
    ini.WriteInteger("NET", "DownSite", 2);
    ini.WriteBool("OPTIONS", "TushoMode", false);  // registered names, with the number column
    for (const char *f : {"acis.db", "spec.db"})
      fs::copy_file(qmtest::SampleDbFolder() / f, home / "DB" / f, fs::copy_options::overwrite_existing);
    w = std::make_unique<TfrmMain>(QStringList{}, nullptr);
    w->show();
    for (int i = 0; i < 100 && w->IsStartUp; ++i) QCoreApplication::processEvents();
    ASSERT_TRUE(AcisDB);
    // The frame's automatic search on each change is off, so that a test presses 検索 itself.
    w->ui->fraSakumotsu->Form().actAutoTekiyoView->setChecked(false);
    w->ui->fraSakumotsu->Form().actListAutoTekiyoView->setChecked(false);
  }
  void TearDown() override {
    w.reset();
    TfrmMain::ShowModal = saved_modal;
  }

  Rows Own(const std::string &sql) {
    Rows rows;
    for (auto t = AcisDB->Db().GetTable(sql); !t->Eof(); t->Next()) {
      std::string r;
      for (int c = 0; c < t->ColCount(); ++c) r += (c ? "|" : "") + t->FieldAsString(c);
      rows.insert(r);
    }
    return rows;
  }
  // The grid's rows as (番号, 作物名, 適用病害虫雑草名).
  static Rows Shown(const TXlsStringGrid *g, const std::vector<const char *> &headers = {"番号", "作物名",
                                                                                           "適用病害虫雑草名"}) {
    std::vector<int> cols;
    for (const char *h : headers)
      for (int c = 0; c < g->ColCount(); ++c)
        if (g->Cells(c, 0) == S(h)) cols.push_back(c);
    EXPECT_EQ(cols.size(), headers.size());
    Rows rows;
    for (int r = 1; r < g->RowCount(); ++r) {
      std::string row;
      for (std::size_t i = 0; i < cols.size(); ++i) row += (i ? "|" : "") + g->Cells(cols[i], r);
      rows.insert(row);
    }
    return rows;
  }
  void Crops(const char *main, const char *neighbours = "") {
    Ui::fraSakumotsuBase &f = w->ui->fraSakumotsu->Form();
    f.eSakumotsu->setText(Q(main));
    f.eKinsetsuSakumotsu->setText(Q(neighbours));
  }
  void Search(int tab) {
    w->ui->pgSearch->setCurrentIndex(tab);
    w->actSearchTekiyouExecute();  // what 検索 runs
  }
  static std::vector<std::string> Items(const QComboBox *c) {
    std::vector<std::string> out;
    for (int i = 0; i < c->count(); ++i) out.push_back(FromQ(c->itemText(i)));
    return out;
  }
  std::vector<std::string> OwnList(const std::string &sql) {
    std::vector<std::string> out{S("全て")};
    for (auto t = AcisDB->Db().GetTable(sql); !t->Eof(); t->Next())
      if (!t->FieldAsString(0).empty()) out.push_back(t->FieldAsString(0));
    return out;
  }
  static TfrmGrid *ResultWindow() {
    for (QWidget *t : QApplication::topLevelWidgets())
      if (auto *g = qobject_cast<TfrmGrid *>(t); g && !g->isHidden()) return g;
    return nullptr;
  }
  std::string Count(const TXlsStringGrid *g) { return std::to_string(g->RowCount() - 1) + S("件"); }
};

// The crop and every crop that belongs to it, by the groups the crop master names.
std::string CropsOf(const char *crop) {
  return S("SELECT m.sakumotsu FROM m_sakumotsu AS m LEFT JOIN sakuhojo AS h USING(idsaku) WHERE m.sakumotsu = '") +
         S(crop) + S("' OR '、'||h.shozoku||'、' LIKE '%、") + S(crop) + S("、%'");
}
// (番号, 作物名, 適用病害虫雑草名) of the application rows of the crop and its members.
std::string CropRows(const char *crop) {
  return "SELECT bango, sakumotsu, byochu FROM m_tekiyo LEFT JOIN m_kihon USING(bango) WHERE sakumotsu IN (" +
         CropsOf(crop) + ")";
}

TEST_F(SearchTabsTest, CropSearchOfALeafAndOfAGroupCrop) {
  TXlsStringGrid *g = w->ui->gdTekiyo;
  Crops("キャベツ");
  Search(0);
  const Rows leaf = Own(S("SELECT bango, sakumotsu, byochu FROM m_tekiyo WHERE sakumotsu = 'キャベツ'"));
  ASSERT_FALSE(leaf.empty());
  EXPECT_EQ(leaf, Own(CropRows("キャベツ")));
  EXPECT_EQ(Shown(g), leaf);
  EXPECT_TRUE(g->isVisible());
  EXPECT_EQ(w->StatusText(3), Count(g));
  EXPECT_EQ(w->ViewName, "tvTekiyoSaku1");

  // A group crop: every crop whose group names it.
  Crops("なす科野菜");
  Search(0);
  const Rows group = Own(CropRows("なす科野菜"));
  EXPECT_GT(group.size(), leaf.size());
  EXPECT_EQ(Shown(g), group);
  EXPECT_EQ(w->StatusText(3), Count(g));
  EXPECT_TRUE(boxes.reports.empty());
}

// The rows of the crop's groups that apply to it, in the test's own words: the groups its
// auxiliary entry lists and its cross group by their own entries, the entries that name the
// crop among the crops they include, and the entries of its groups with an exclusion list
// that leaves the crop in.
std::string GroupRowsOf(const char *crop) {
  const std::string c = S(crop);
  const std::string groups = "SELECT g.sakumotsu FROM m_sakumotsu AS g, m_sakumotsu AS t LEFT JOIN sakuhojo AS h "
                             "ON h.idsaku = t.idsaku WHERE t.sakumotsu = '" + c + S("' AND ('、'||h.shozoku||'、' LIKE '%、'||g.sakumotsu||'、%'") +
                             " OR g.sakumotsu = t.gunmei)";
  return "SELECT bango, sakumotsu, byochu FROM m_tekiyo WHERE sakumotsu IN (" + groups +
         ") OR sakumotsu IN (SELECT m.sakumotsu FROM m_sakumotsu AS m JOIN sakuhojo AS h USING(idsaku) WHERE h.fukumu "
         "LIKE '%" + S("、") + c + S("、") + "%' OR h.nozoku NOT LIKE '%" + S("、") + c + S("、") +
         "%' AND (SELECT count(*) FROM (" + groups + ") AS u WHERE m.sakumotsu LIKE u.sakumotsu||'(%') > 0)";
}

TEST_F(SearchTabsTest, UpperGroupsOfAPickBringTheirOwnRowsNeverTheOtherCropsOfTheGroup) {
  TXlsStringGrid *g = w->ui->gdTekiyo;
  Ui::fraSakumotsuBase &f = w->ui->fraSakumotsu->Form();
  ASSERT_TRUE(f.actCheckUpperList->isChecked());  // "上位グループを含む", the default
  struct Case {
    const char *typed, *names;
  } cases[] = {
      {"トマト", "トマト,なす科野菜,野菜類"},
      {"りんご", "落葉果樹,りんご,仁果類,果樹類"},  // with its cross group 落葉果樹
  };
  for (const auto &c : cases) {
    // As a user does: the crop typed into the name search, Enter, then 検索.
    f.pgList->setCurrentWidget(f.tsSakuSearch);
    f.edtInput->clear();
    f.edtInput->setFocus();
    qmtest::TypeJapanese(f.edtInput, c.typed);
    QTest::keyClick(f.edtInput, Qt::Key_Return);
    ASSERT_EQ(f.eSakumotsu->text().toStdString(), c.names);
    Search(0);
    const Rows expected = Own(CropRows(c.typed) + " UNION ALL " + GroupRowsOf(c.typed));
    EXPECT_EQ(Shown(g), expected) << c.typed;
    EXPECT_EQ(w->StatusText(3), Count(g));
  }
  // What the wider reading would have shown: the other crops of the groups have rows.
  ASSERT_FALSE(Own(S("SELECT bango FROM m_tekiyo WHERE sakumotsu IN ('なす', 'キャベツ', 'なし')")).empty());
  // The cross group's entry that excludes なし applies to りんご.
  const Rows apple = Shown(g);
  const Rows butPear = Own(S("SELECT bango, sakumotsu, byochu FROM m_tekiyo WHERE sakumotsu = '落葉果樹(なしを除く)'"));
  ASSERT_FALSE(butPear.empty());
  EXPECT_TRUE(std::includes(apple.begin(), apple.end(), butPear.begin(), butPear.end()));

  // A group the user checks in the tree still brings its members; its own upper group does not.
  f.pgList->setCurrentWidget(f.tsSakuTree);
  w->ui->fraSakumotsu->actTreeCheckOffExecute();
  for (QTreeWidgetItem *n : f.tvSakumotsu->AllNodes())
    if (TCheckTreeView::Caption(n) == S("なす科野菜")) n->setCheckState(0, Qt::Checked);
  ASSERT_EQ(f.eSakumotsu->text().toStdString(), "なす科野菜,野菜類");
  Search(0);
  const Rows group = Own(CropRows("なす科野菜") + S(" UNION ALL SELECT bango, sakumotsu, byochu FROM m_tekiyo WHERE "
                                                  "sakumotsu = '野菜類'"));
  EXPECT_GT(group.size(), Own(CropRows("トマト")).size());
  EXPECT_EQ(Shown(g), group);
  EXPECT_TRUE(boxes.reports.empty());
}

TEST_F(SearchTabsTest, NeighbourSearchKeepsProductsOfBothAndMarksTheNeighbourRows) {
  TXlsStringGrid *g = w->ui->gdTekiyo;
  Crops("トマト", "キャベツ");
  Search(0);
  const Rows expected = Own(CropRows("トマト") + " AND bango IN (SELECT bango FROM m_tekiyo WHERE sakumotsu = '" +
                            S("キャベツ") + "') UNION ALL " + CropRows("キャベツ") + " AND bango IN (SELECT bango FROM (" +
                            CropRows("トマト") + "))");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(Shown(g), expected);
  int crop = -1;
  for (int c = 0; c < g->ColCount(); ++c)
    if (g->Cells(c, 0) == S("作物名")) crop = c;
  for (int r = 1; r < g->RowCount(); ++r) EXPECT_EQ(g->RowObject(r) == 1, g->Cells(crop, r) == S("キャベツ")) << r;

  // A plain search afterwards marks nothing.
  Crops("トマト");
  Search(0);
  for (int r = 1; r < g->RowCount(); ++r) EXPECT_EQ(g->RowObject(r), 0) << r;
}

TEST_F(SearchTabsTest, FilterListsAndFilters) {
  Crops("トマト");
  Search(0);
  Ui::TfrmMain &u = *w->ui;
  const std::string tomato = " FROM m_tekiyo LEFT JOIN m_kihon USING(bango) WHERE sakumotsu IN (" + CropsOf("トマト") + ")";
  EXPECT_EQ(Items(u.cbByochu), OwnList("SELECT DISTINCT byochu" + tomato + " ORDER BY (SELECT idbyochu FROM "
                                       "m_byochu AS b WHERE b.byochu = m_tekiyo.byochu)"));
  EXPECT_EQ(Items(u.cbMokuteki), OwnList("SELECT DISTINCT mokuteki" + tomato + " ORDER BY mokuteki"));
  EXPECT_EQ(Items(u.cbZaikei), OwnList("SELECT DISTINCT zaikei" + tomato + " ORDER BY zaikei"));

  struct Case {
    const char *typed;  // pest text typed into the combo
    const char *zaikei;  // formulation chosen
    const char *where;   // the same rows, in the test's own words
  };
  const std::string pest = Items(u.cbByochu).at(1);
  const std::string head = cp932::ToUtf8(pest.substr(0, 4));  // two characters, then a full-width percent
  const std::string zaikei = AcisDB->Db()
                                 .GetTable("SELECT zaikei FROM m_tekiyo LEFT JOIN m_kihon USING(bango) WHERE byochu "
                                           "= '" + pest + "' AND zaikei != '' AND sakumotsu IN (" + CropsOf("トマト") + ") LIMIT 1")
                                 ->FieldAsString(0);
  const std::vector<Case> cases = {
      {"全て", "全て", ""},
      {"", "", ""},
      {nullptr, "全て", " AND byochu = '#P'"},
      {"#H％", "全て", " AND byochu LIKE '#H%'"},
      {"全て", "#Z", " AND zaikei = '#Z'"},
      {"#H％", "#Z", " AND byochu LIKE '#H%' AND zaikei = '#Z'"},
  };
  for (const Case &c : cases) {
    auto fill = [&](std::string t) {
      for (auto [k, v] : {std::pair<std::string, std::string>{"#P", cp932::ToUtf8(pest)}, {"#H", head},
                          {"#Z", cp932::ToUtf8(zaikei)}})
        for (std::size_t i; (i = t.find(k)) != std::string::npos;) t.replace(i, k.size(), v);
      return t;
    };
    const std::string typed = c.typed ? fill(c.typed) : cp932::ToUtf8(pest);
    u.cbZaikei->setEditText(QString::fromStdString(fill(c.zaikei)));
    u.cbByochu->setEditText(QString::fromStdString(typed));
    w->FilterByByochu();
    EXPECT_EQ(Shown(u.gdTekiyo), Own(CropRows("トマト") + S(fill(c.where).c_str())))
        << typed;
    EXPECT_EQ(u.cbByochu->currentText().toStdString().find("％"), std::string::npos);
    EXPECT_EQ(w->StatusText(3), Count(u.gdTekiyo));
  }
  // The filters leave the panels and the outputs enabled.
  EXPECT_TRUE(u.pgSearch->isEnabled());
  EXPECT_TRUE(w->actExportGrid->isEnabled());
}

TEST_F(SearchTabsTest, FailuresKeepThePreviousResult) {
  Ui::TfrmMain &u = *w->ui;
  Crops("トマト");
  Search(0);
  const Rows tomato = Shown(u.gdTekiyo);
  const std::string count = w->StatusText(3);
  const auto pests = Items(u.cbByochu);

  // A statement of the script fails: the old rows stay, and so does the work table.
  AcisDB->Db().ExecSQL("ALTER TABLE seizai RENAME TO seizai_gone;");
  Crops("キャベツ");
  Search(0);
  ASSERT_EQ(boxes.reports.size(), 1u);
  EXPECT_EQ(boxes.reports[0].caption, S("SQL エラー"));
  EXPECT_EQ(Shown(u.gdTekiyo), tomato);
  EXPECT_EQ(w->StatusText(3), count);
  EXPECT_EQ(Items(u.cbByochu), pests);
  EXPECT_EQ(Own("SELECT count(*) FROM ttTekiyoSaku"), Rows{std::to_string(tomato.size())});
  EXPECT_TRUE(u.pgSearch->isEnabled());
  EXPECT_TRUE(w->actSearchTekiyou->isEnabled());
  AcisDB->Db().ExecSQL("ALTER TABLE seizai_gone RENAME TO seizai;");

  // Without a database the crop search says so.
  TAcisDB *db = AcisDB;
  AcisDB = nullptr;
  w->SearchSakumotsu();
  AcisDB = db;
  ASSERT_FALSE(boxes.boxes.empty());
  EXPECT_EQ(boxes.boxes.back().text, S("データベースがありません"));
  EXPECT_EQ(Shown(u.gdTekiyo), tomato);
}

TEST_F(SearchTabsTest, PestSearch) {
  Ui::TfrmMain &u = *w->ui;
  TXlsStringGrid *g = u.gdByochu;
  auto expected = [&](const char *where) {
    return Own(S("SELECT bango, sakumotsu, byochu FROM m_tekiyo WHERE byochu IN (SELECT byochu FROM m_byochu WHERE ") +
               S(where) + ") OR mokuteki IN (SELECT byochu FROM m_byochu WHERE " + S(where) + ")");
  };
  u.edtByochu->setText(Q("アブラムシ　コナガ"));
  Search(1);
  const Rows two = expected("byochu LIKE '%アブラムシ%' OR betsumei LIKE '%アブラムシ%' OR byochu LIKE '%コナガ%' OR "
                            "betsumei LIKE '%コナガ%'");
  ASSERT_FALSE(two.empty());
  EXPECT_EQ(Shown(g), two);
  EXPECT_EQ(w->StatusText(3), Count(g));
  EXPECT_EQ(Items(u.cbTabByochuSakumotu).at(0), S("全て"));

  // A trailing blank does not widen the search; blanks alone search nothing.
  u.edtByochu->setText(Q("コナガ "));
  Search(1);
  EXPECT_EQ(Shown(g), expected("byochu LIKE '%コナガ%' OR betsumei LIKE '%コナガ%'"));
  const Rows one = Shown(g);
  u.edtByochu->setText(Q("　 "));
  Search(1);
  EXPECT_EQ(Shown(g), one);

  // A pest found only as a purpose of use.
  const std::string purpose = AcisDB->Db()
                                  .GetTable("SELECT mokuteki FROM m_tekiyo WHERE mokuteki != '' AND mokuteki NOT IN "
                                            "(SELECT byochu FROM m_tekiyo WHERE byochu IS NOT NULL) AND mokuteki IN (SELECT byochu FROM "
                                            "m_byochu) LIMIT 1")
                                  ->FieldAsString(0);
  ASSERT_FALSE(purpose.empty());
  u.edtByochu->setText(ToQ(purpose));
  Search(1);
  // (the pest column is empty in every row, so the width rules remove it)
  EXPECT_EQ(Shown(g, {"番号", "作物名"}), Own("SELECT bango, sakumotsu FROM m_tekiyo WHERE mokuteki = '" + purpose + "'"));

  // The crop combo: "全て" shows every row of the found products.
  u.edtByochu->setText(Q("コナガ"));
  Search(1);
  u.cbTabByochuSakumotu->setEditText(Q("全て"));
  w->cbTabByochuSakumotuSelect();
  EXPECT_EQ(Shown(g), Own("SELECT bango, sakumotsu, byochu FROM m_tekiyo WHERE bango IN (SELECT bango FROM "
                          "m_tekiyo WHERE byochu IN (SELECT byochu FROM tByochu) OR mokuteki IN (SELECT byochu FROM "
                          "tByochu))"));
}

// The grid of a tab is hidden until its first result: that result's widths are judged
// against the size the grid has once shown, so they equal those of the same search again.
TEST_F(SearchTabsTest, FirstResultGetsTheWidthsOfASecondRun) {
  Ui::TfrmMain &u = *w->ui;
  w->resize(1000, 700);
  Crops("キャベツ");
  u.edtByochu->setText(Q("コナガ"));
  for (TXlsStringGrid *g : {u.gdTekiyo, u.gdByochu}) {
    const int tab = g == u.gdTekiyo ? 0 : 1;
    ASSERT_TRUE(g->isHidden());
    Search(tab);
    ASSERT_TRUE(g->isVisible());
    std::vector<int> first, second;
    for (int c = 0; c < g->ColCount(); ++c) first.push_back(g->ColWidths(c));
    QCoreApplication::processEvents();
    Search(tab);
    for (int c = 0; c < g->ColCount(); ++c) second.push_back(g->ColWidths(c));
    EXPECT_EQ(first, second) << "tab " << tab;
    // Some column asks more than a hidden grid's width would allow.
    EXPECT_GT(*std::max_element(second.begin(), second.end()), 120) << "tab " << tab;
  }
}

TEST_F(SearchTabsTest, PestCropFilterKeepsTheCropWhatIsFiledUnderItAndItsGroupsOnly) {
  Ui::TfrmMain &u = *w->ui;
  TXlsStringGrid *g = u.gdByochu;
  u.edtByochu->setText(Q("アブラムシ"));
  Search(1);
  const std::string products = "SELECT bango, sakumotsu, byochu FROM m_tekiyo WHERE bango IN (SELECT bango FROM "
                               "m_tekiyo WHERE byochu IN (SELECT byochu FROM tByochu) OR mokuteki IN (SELECT byochu "
                               "FROM tByochu)) AND sakumotsu IN ";
  // The crop, the crops whose groups name it (unless they exclude it), the groups its own
  // entry names, each by its own entry, and a group's entry that excludes other crops
  // ("G(...を除く)" for a group G of the crop) unless it excludes this one.
  auto kept = [&](const std::vector<const char *> &crops) {
    std::string any;
    for (const char *crop : crops) {
      const std::string c = S(crop);
      const std::string groups = "(SELECT '、'||shozoku||'、' FROM sakuhojo JOIN m_sakumotsu USING(idsaku) WHERE "_sj
                                 "sakumotsu = '" + c + "')";
      any += std::string(any.empty() ? "" : " OR ") + "m.sakumotsu = '" + c + "' OR '、'||h.shozoku||'、' LIKE '%、"_sj + c +
             "、%' AND ifnull(h.nozoku, '') NOT LIKE '%、"_sj + c + "、%' OR "_sj + groups +
             " LIKE '%、'||m.sakumotsu||'、%' OR ifnull(h.nozoku, '') != '' AND instr(h.nozoku, '、"_sj + c +
             "、') = 0 AND instr(m.sakumotsu, '(') > 0 AND instr("_sj + groups +
             ", '、'||substr(m.sakumotsu, 1, instr(m.sakumotsu, '(') - 1)||'、') > 0"_sj;
    }
    return Own(products + "(SELECT m.sakumotsu FROM m_sakumotsu AS m LEFT JOIN sakuhojo AS h USING(idsaku) WHERE " +
               any + ")");
  };
  struct Case {
    const char *chosen;  // the combo's text
    std::vector<const char *> crops;
  } cases[] = {{"トマト", {"トマト"}},
               {"なす科野菜", {"なす科野菜"}},
               {"トマト,キャベツ", {"トマト", "キャベツ"}},
               {"みかん", {"みかん"}},
               {"なつみかん", {"なつみかん"}}};
  for (const Case &c : cases) {
    u.cbTabByochuSakumotu->setEditText(Q(c.chosen));
    w->cbTabByochuSakumotuSelect();
    const Rows expected = kept(c.crops);
    ASSERT_FALSE(expected.empty()) << c.chosen;
    EXPECT_EQ(Shown(g), expected) << c.chosen;
    EXPECT_EQ(w->StatusText(3), Count(g));
  }
  // Sibling crops under the same group stay out: no なす or キャベツ row for トマト, while
  // the group's own rows are there.
  u.cbTabByochuSakumotu->setEditText(Q("トマト"));
  w->cbTabByochuSakumotuSelect();
  std::set<std::string> crops;
  for (const std::string &row : Shown(g, {"作物名"})) crops.insert(row);
  EXPECT_FALSE(crops.count(S("なす")));
  EXPECT_FALSE(crops.count(S("キャベツ")));
  EXPECT_TRUE(crops.count(S("野菜類")));
  EXPECT_TRUE(crops.count(S("ミニトマト")));
  // A group's entry that leaves out some crops applies to the others: みかん keeps the rows of
  // かんきつ(なつみかんを除く), なつみかん does not, and neither gets 落葉果樹(なしを除く).
  for (const auto &[chosen, wanted] : {std::pair{"みかん", true}, std::pair{"なつみかん", false}}) {
    u.cbTabByochuSakumotu->setEditText(Q(chosen));
    w->cbTabByochuSakumotuSelect();
    crops.clear();
    for (const std::string &row : Shown(g, {"作物名"})) crops.insert(row);
    EXPECT_EQ(crops.count(S("かんきつ(なつみかんを除く)")), wanted ? 1u : 0u) << chosen;
    EXPECT_FALSE(crops.count(S("落葉果樹(なしを除く)"))) << chosen;
    EXPECT_TRUE(crops.count(S("かんきつ"))) << chosen;
  }
}

TEST_F(SearchTabsTest, AViewToggleKeepsTheRowsShown) {
  Ui::TfrmMain &u = *w->ui;
  QAction *kaisu = w->findChild<QAction *>("miSvKaisu");
  ASSERT_TRUE(kaisu);
  // Each toggle shows the same rows in another view; every view keeps these columns.
  const std::vector<const char *> cols = {"作物名", "適用病害虫雑草名", "使用時期", "希釈倍数使用量"};
  auto toggles = [&](TXlsStringGrid *g) {
    const Rows before = Shown(g, cols);
    const std::string count = w->StatusText(3);
    for (QAction *a : {w->actRacKeito, kaisu, w->actRacKeito}) {
      a->trigger();
      EXPECT_EQ(Shown(g, cols), before) << a->objectName().toStdString();
    }
    w->actTsusho->trigger();  // the common names fold rows that differ only in the product
    const Rows folded = Shown(g, cols);
    EXPECT_EQ(std::set<std::string>(folded.begin(), folded.end()), std::set<std::string>(before.begin(), before.end()));
    w->actTsusho->trigger();
    EXPECT_EQ(Shown(g, cols), before);
    EXPECT_EQ(w->StatusText(3), count);
  };
  // The pest result, then the same narrowed to a crop.
  u.edtByochu->setText(Q("コナガ"));
  Search(1);
  ASSERT_LT(Shown(u.gdByochu).size(),
            Own("SELECT bango FROM m_tekiyo WHERE bango IN (SELECT bango FROM m_tekiyo WHERE byochu IN (SELECT byochu "
                "FROM tByochu))").size());
  toggles(u.gdByochu);
  u.cbTabByochuSakumotu->setEditText(Q("キャベツ"));
  w->cbTabByochuSakumotuSelect();
  toggles(u.gdByochu);
  // The crop result, and the same narrowed to a pest.
  Crops("トマト");
  Search(0);
  toggles(u.gdTekiyo);
  u.cbByochu->setEditText(ToQ(Items(u.cbByochu).at(1)));
  w->FilterByByochu();
  toggles(u.gdTekiyo);
}

TEST_F(SearchTabsTest, ViewModesRefreshBothGridsAndTheSeparateWindowCopiesTheResult) {
  Ui::TfrmMain &u = *w->ui;
  Crops("トマト");
  Search(0);
  u.edtByochu->setText(Q("コナガ"));
  Search(1);
  const int byochuCols = u.gdByochu->ColCount();
  ASSERT_FALSE(u.gdTekiyo->isHidden());

  // Common-name mode: both grids now show the product's common name.
  w->actTsusho->trigger();
  EXPECT_TRUE(w->actTsusho->isChecked());
  auto has = [](const TXlsStringGrid *g, const char *h) {
    for (int c = 0; c < g->ColCount(); ++c)
      if (g->Cells(c, 0) == S(h)) return true;
    return false;
  };
  EXPECT_TRUE(has(u.gdTekiyo, "農薬通称"));
  EXPECT_TRUE(has(u.gdByochu, "農薬通称"));
  EXPECT_EQ(w->ViewName, "tvTsushoTekiyoByochu1");  // the active tab's view
  EXPECT_NE(u.gdByochu->ColCount(), 0);
  (void)byochuCols;

  // Mode 5 from the menu: hint, checks in both menus, setting.
  QAction *none = w->findChild<QAction *>("miSvStandard");
  ASSERT_TRUE(none);
  none->trigger();
  EXPECT_EQ(w->SeibunViewMode, 4);
  EXPECT_TRUE(w->findChild<QAction *>("dmnSvStandard")->isChecked());
  EXPECT_TRUE(none->isChecked());
  EXPECT_FALSE(w->findChild<QAction *>("miSvSeibunSimple")->isChecked());
  EXPECT_EQ(w->btnSeibunView->toolTip(), Q("総使用回数における有効成分表示モード5:\r\nなし(有効成分を表示)"));
  EXPECT_EQ(w->ViewName, "tvTsushoTekiyoByochu5");
  EXPECT_EQ(OptionData->SeibunViewMode, 4);

  // 別窓 on the crop tab: caption and rows.
  u.pgSearch->setCurrentIndex(0);
  EXPECT_TRUE(w->actExportGrid->isEnabled());
  w->actExportGrid->trigger();
  TfrmGrid *win = ResultWindow();
  ASSERT_TRUE(win);
  EXPECT_EQ(win->windowTitle(), Q("Quillmar - トマト ") + u.cbByochu->currentText());
  EXPECT_EQ(win->GridKind, 0);
  ASSERT_EQ(win->gdResult()->RowCount(), u.gdTekiyo->RowCount());
  for (int r = 0; r < u.gdTekiyo->RowCount(); ++r) EXPECT_EQ(win->gdResult()->Rows(r), u.gdTekiyo->Rows(r));
  win->close();

  // With no result on the active tab, 別窓 does nothing.
  u.pgSearch->setCurrentIndex(4);
  w->actExportGrid->setEnabled(true);
  w->actExportGrid->trigger();
  EXPECT_FALSE(ResultWindow());
}

TEST_F(SearchTabsTest, CropPaneToggleRestoresACollapsedPane) {
  Ui::TfrmMain &u = *w->ui;
  // The user drags the splitter until the pane has no width left.
  u.SplitterFraSakumotsu->setChildrenCollapsible(true);
  QList<int> sizes = u.SplitterFraSakumotsu->sizes();
  sizes[1] += sizes[0];
  sizes[0] = 0;
  u.SplitterFraSakumotsu->setSizes(sizes);
  ASSERT_EQ(u.SplitterFraSakumotsu->sizes()[0], 0);
  w->btnSakumotsuPaneClick();
  EXPECT_TRUE(u.fraSakumotsu->isHidden());
  w->btnSakumotsuPaneClick();
  EXPECT_FALSE(u.fraSakumotsu->isHidden());
  QCoreApplication::processEvents();
  // 200 wide, or as wide as the frame's smallest layout when that is wider
  EXPECT_EQ(u.SplitterFraSakumotsu->sizes()[0], std::max(200, u.fraSakumotsu->minimumSizeHint().width()));
}

}  // namespace

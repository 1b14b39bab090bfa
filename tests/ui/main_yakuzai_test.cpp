// The chemical tab on the offscreen main window with the sample database: keyword, number,
// use and crop searches, the product detail with its application table, the ingredient lists,
// the send-to command, and the scripts that stop at a failure. Rows are judged with the
// test's own SQL over the stored tables.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <QMenu>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "components/CheckListBoxEx.h"
#include "components/DialogServices.h"
#include "components/grid/ExcelUtil.h"
#include "components/ListBoxEx.h"
#include "components/qtext.h"
#include "engine/SQLite.h"
#include "engine/UiServices.h"
#include "engine/SakuUtil.h"
#include "engine/acdb.h"
#include "engine/acdb_clauses.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/sample_acisdb.h"
#include "support/testutil.h"
#include "components/CheckTreeView.h"
#include "ui/UGrid.h"
#include "ui/USakumotsuSel.h"
#include "ui/main.h"
#include "ui/main_sqledit.h"
#include "ui_USakumotsuSel.h"
#include "ui_main.h"

namespace fs = std::filesystem;
using cp932::literals::operator""_sj;

namespace {

std::string U8(const std::string &sjis) { return cp932::ToUtf8(sjis); }

std::vector<std::string> Items(const TTextListBox *l) {
  std::vector<std::string> out;
  for (int i = 0; i < l->Count(); ++i) out.push_back(l->Item(i));
  return out;
}
std::set<std::string> AsSet(const std::vector<std::string> &v) { return {v.begin(), v.end()}; }

class YakuzaiTabTest : public ::testing::Test {
 protected:
  qmtest::TempDir home;
  qmtest::ScopedEngineState engine{home / "DB"};
  TScopedRecordingUi boxes;
  TScopedRecordingDialogs dialogs;
  std::function<int(QDialog *)> saved_modal = TfrmMain::ShowModal;
  std::unique_ptr<TSQLiteDb> judge;  // the test's own connection to the same file
  std::unique_ptr<TfrmMain> w;

  void SetUp() override {
    *OptionData = TOptionData(home.str());
    AutoUpdateSwitch = DownloadCheckSwitch = OfflineSwitch = DeveloperSwitch = false;
    TfrmMain::ShowModal = [](QDialog *) { return 0; };
    fs::create_directories(home / "DB");
    TIniFile ini((home / "quillmar.ini").string());
    ini.WriteBool("NET", "OffLine", true);
    ini.WriteInteger("NET", "DownSite", 2);
  }
  void TearDown() override {
    w.reset();
    TfrmMain::ShowModal = saved_modal;
  }

  // The sample database with the keyword lists and the aquatic cautions of the kit, changed
  // by the SQL given, and the window started on it.
  void Start(const std::string &change_sql = "") {
    for (const char *f : {"acis.db", "spec.db"})
      fs::copy_file(qmtest::SampleDbFolder() / f, home / "DB" / f, fs::copy_options::overwrite_existing);
    judge = std::make_unique<TSQLiteDb>((home / "DB" / "acis.db").string());
    judge->MultiStatement = true;
    for (const char *script : {"kwlists.txt", "acis.suisan.txt"})
      judge->ExecSQL(qmtest::ReadFile(qmtest::SmallKit() / "scripts" / script));
    if (!change_sql.empty()) judge->ExecSQL(change_sql);
    w = std::make_unique<TfrmMain>(QStringList{}, nullptr);
    w->show();
    for (int i = 0; i < 100 && w->IsStartUp; ++i) QCoreApplication::processEvents();
    ASSERT_NE(AcisDB, nullptr);
    w->ui->pgSearch->setCurrentWidget(w->ui->tabYakuzai);
  }

  std::vector<std::string> Column(const std::string &sql) {
    auto t = judge->GetTable(sql);
    std::vector<std::string> out;
    for (; !t->Eof(); t->Next()) out.push_back(t->FieldAsString(0));
    return out;
  }
  std::string Value(const std::string &sql) {
    auto v = Column(sql);
    return v.empty() ? std::string() : v[0];
  }

  // Types the text into the edit and presses Enter there.
  void Search(QLineEdit *edit, const std::string &text) {
    edit->setText(ToQ(text));
    QTest::keyClick(edit, Qt::Key_Return);
  }
  Ui::TfrmMain &f() { return *w->ui; }
  static std::string Quoted(const std::string &s) { return SqlQuoted(s); }
  // The common names of the products whose keyword list holds every word.
  std::set<std::string> TsushoWithWords(const std::vector<std::string> &words, const std::string &extra = "") {
    std::string cond;
    for (const auto &word : words) cond += " AND instr(w.kws, " + Quoted(word) + ") > 0";
    return AsSet(Column("SELECT DISTINCT k.tsusho FROM m_kihon k JOIN kwlists w USING(bango) WHERE 1" + cond + extra));
  }
  bool NoTransactionOpen() { return sqlite3_get_autocommit(AcisDB->Db().Handle()) != 0; }
};

// A crop with applications that stands alone (no other crop belongs to it or names it), and
// a crop without any application or belonging crop.
struct CropPick {
  std::string with_products, without_products;
};
const char *kLoneCrop =
    "SELECT s.sakumotsu FROM m_sakumotsu s WHERE s.sakumotsu IN (SELECT sakumotsu FROM m_tekiyo) "
    "AND NOT EXISTS (SELECT 1 FROM sakuhojo h WHERE instr(ifnull(h.shozoku,'')||ifnull(h.nozoku,'')||"
    "ifnull(h.fukumu,''), s.sakumotsu) > 0) AND instr(s.sakumotsu, '(') = 0 "
    "ORDER BY (SELECT count(DISTINCT bango) FROM m_tekiyo t WHERE t.sakumotsu = s.sakumotsu) DESC";
const char *kBareCrop =
    "SELECT s.sakumotsu FROM m_sakumotsu s WHERE s.sakumotsu NOT IN (SELECT sakumotsu FROM m_tekiyo) "
    "AND NOT EXISTS (SELECT 1 FROM sakuhojo h WHERE instr(ifnull(h.shozoku,'')||ifnull(h.nozoku,'')||"
    "ifnull(h.fukumu,''), s.sakumotsu) > 0) AND instr(s.sakumotsu, '(') = 0";

}  // namespace

TEST_F(YakuzaiTabTest, KeywordsAndNumbersFillTheLists) {
  Start();
  // Two words of one product's keyword list, separated by a full-width blank.
  const std::string kws = Value("SELECT kws FROM kwlists WHERE kws LIKE '%、%、%' ORDER BY bango LIMIT 1"_sj);
  const std::string sep = "、"_sj;
  const std::size_t a = kws.find(sep), b = kws.find(sep, a + sep.size());
  const std::string w1 = kws.substr(a + sep.size(), b - a - sep.size()), w2 = kws.substr(b + sep.size());
  Search(f().eYakuzai, w1 + "　"_sj + w2.substr(0, w2.find(sep)));
  const std::set<std::string> want = TsushoWithWords({w1, w2.substr(0, w2.find(sep))});
  ASSERT_FALSE(want.empty());
  EXPECT_EQ(AsSet(Items(f().lstTsusho)), want);
  EXPECT_EQ(f().pgYakuzaiSide->currentWidget(), f().tabTsusho);
  EXPECT_TRUE(f().pnlYakuzaiSide->isEnabled());

  // An arrow key held down moves through the list without loading; its release loads the item.
  ASSERT_EQ(f().cbYakuzai->count(), 0);
  QTest::keyPress(f().lstTsusho, Qt::Key_Down);
  f().lstTsusho->setFocus();
  ASSERT_GE(f().lstTsusho->ItemIndex(), 0);
  EXPECT_EQ(f().cbYakuzai->count(), 0);
  QTest::keyRelease(f().lstTsusho, Qt::Key_Down);
  const std::string chosen = f().lstTsusho->Item(f().lstTsusho->ItemIndex());
  EXPECT_EQ(f().cbYakuzai->count(),
            static_cast<int>(Column("SELECT bango FROM m_kihon WHERE tsusho = " + Quoted(chosen)).size()));
  // The panels were off while the product loaded; the arrow keys go on in the list.
  EXPECT_TRUE(f().pgSearch->isEnabled());
  EXPECT_EQ(w->focusWidget(), f().lstTsusho);

  // A registration number, and the numbers from 100 up, go to the number list.
  const std::string bango = Value("SELECT bango FROM m_kihon ORDER BY bango DESC LIMIT 1");
  Search(f().eYakuzai, bango);
  ASSERT_EQ(f().lstBango->Count(), 1);
  EXPECT_EQ(U8(f().lstBango->Item(0)).rfind(bango + " ", 0), 0u) << U8(f().lstBango->Item(0));
  EXPECT_EQ(f().pgYakuzaiSide->currentWidget(), f().tabBango);
  Search(f().eYakuzai, "＞１００"_sj);
  EXPECT_EQ(f().lstBango->Count(), std::stoi(Value("SELECT count(DISTINCT bango) FROM seibun WHERE bango >= 100")));
  EXPECT_EQ(f().pgYakuzaiSide->currentWidget(), f().tabBango);

  // An apostrophe is a character to search for, not a failure.
  Search(f().eYakuzai, "O'Brien");
  EXPECT_TRUE(boxes.reports.empty()) << (boxes.reports.empty() ? "" : U8(boxes.reports[0].text));
  EXPECT_EQ(f().lstTsusho->Count(), 0);
  EXPECT_TRUE(NoTransactionOpen());
}

TEST_F(YakuzaiTabTest, CropRestrictsProductsAndApplications) {
  Start();
  const std::string crop = Value(kLoneCrop);
  ASSERT_FALSE(crop.empty());
  // A word that products on the crop and products off it share: the first ingredient of a
  // product on the crop.
  const std::string word = Value("SELECT ippanmei FROM seibun WHERE bango IN (SELECT bango FROM m_tekiyo WHERE sakumotsu = " +
                                 Quoted(crop) + ") ORDER BY (SELECT count(*) FROM seibun s2 WHERE s2.ippanmei = "
                                 "seibun.ippanmei) DESC LIMIT 1");
  const std::string on_crop = " AND k.bango IN (SELECT bango FROM m_tekiyo WHERE sakumotsu = " + Quoted(crop) + ")";
  const std::set<std::string> want = TsushoWithWords({word}, on_crop);
  ASSERT_FALSE(want.empty());

  w->CropNamesExact = true;  // as the crop dialog leaves it
  f().eYakuzaiTabSakumotsu->setText(ToQ(crop));
  Search(f().eYakuzai, word);
  EXPECT_EQ(AsSet(Items(f().lstTsusho)), want);
  EXPECT_EQ(U8(w->YakuzaiSakumotsuNames), U8(crop));

  // A common name: its products, the summary and the applications on the crop.
  const std::string tsusho = *want.begin();
  const auto items = Items(f().lstTsusho);
  f().lstTsusho->SetItemIndex(static_cast<int>(std::find(items.begin(), items.end(), tsusho) - items.begin()));
  w->lstTsushoClick();  // the selection may not have moved
  const std::vector<std::string> products =
      Column("SELECT DISTINCT bango FROM m_kihon WHERE tsusho = " + Quoted(tsusho) + " ORDER BY bango");
  ASSERT_EQ(f().cbYakuzai->count(), static_cast<int>(products.size()));
  EXPECT_EQ(U8(FromQ(f().LabelCount->text())), std::to_string(products.size()) + "剤");
  const std::string shown = FromQ(f().cbYakuzai->currentText());
  std::string bango = shown;
  bango.erase(0, bango.find_first_not_of(' '));
  bango = bango.substr(0, bango.find(' '));
  EXPECT_TRUE(f().pnlSeizai->isVisible());
  TXlsStringGrid *seizai = f().gdSeizai;
  EXPECT_EQ(seizai->Cells(1, 0), Value("SELECT shurui FROM m_kihon WHERE bango = " + bango));
  EXPECT_EQ(seizai->Cells(1, 4), Value("SELECT zaikei FROM m_kihon WHERE bango = " + bango));
  EXPECT_EQ(seizai->Cells(1, 5), Value("SELECT yoto FROM m_kihon WHERE bango = " + bango));
  EXPECT_EQ(U8(seizai->Cells(0, 1)), "製剤毒性");

  const int on_crop_rows = std::stoi(Value("SELECT count(*) FROM m_tekiyo WHERE bango = " + bango +
                                           " AND sakumotsu = " + Quoted(crop)));
  TXlsStringGrid *g = f().gdYakuzai;
  if (on_crop_rows > 0) {
    ASSERT_TRUE(g->isVisible());
    EXPECT_EQ(g->RowCount() - 1, on_crop_rows);
    for (int r = 1; r < g->RowCount(); ++r) EXPECT_EQ(g->Cells(0, r), crop);
    EXPECT_EQ(U8(w->StatusText(3)), std::to_string(on_crop_rows) + "件");
    // The first ingredient slot names its column of use counts.
    const std::string first = Value("SELECT ifnull((SELECT seibun FROM seibun s WHERE s.bango = m.bango AND "
                                    "s.ippanmei = m.seibun1), m.seibun1) FROM m_kihon m WHERE bango = " + bango);
    std::vector<std::string> headers = g->Rows(0);
    if (!Value("SELECT kaisu1 FROM m_tekiyo WHERE bango = " + bango + " AND kaisu1 <> '' LIMIT 1").empty()) {
      EXPECT_NE(std::find(headers.begin(), headers.end(), first + "を含む農薬の使用回数"_sj), headers.end());
    }
  } else {
    // A product of the name without applications on the crop shows none, not the previous ones.
    EXPECT_FALSE(g->isVisible());
  }

  // A crop without products gives no product, although the keyword alone would.
  const std::string bare = Value(kBareCrop);
  ASSERT_FALSE(bare.empty());
  w->CropNamesExact = true;
  f().eYakuzaiTabSakumotsu->setText(ToQ(bare));
  Search(f().eYakuzai, word);
  EXPECT_EQ(f().lstTsusho->Count(), 0);
  EXPECT_EQ(f().lstBango->Count(), 0);
  // No crop of that name at all: nothing either.
  w->CropNamesExact = true;
  f().eYakuzaiTabSakumotsu->setText(ToQ("存在しない作物"_sj));
  Search(f().eYakuzai, word);
  EXPECT_EQ(f().lstTsusho->Count(), 0);
  EXPECT_TRUE(f().pnlYakuzaiSide->isEnabled());
}

TEST_F(YakuzaiTabTest, UseWithACropListsTheProductsOfThatUse) {
  Start();
  // A crop one of whose products holds an ingredient filed under another use than the
  // product's own: the lists follow the product's use.
  const std::string crop = Value(std::string("SELECT t.sakumotsu FROM m_tekiyo t JOIN m_kihon k USING(bango) JOIN "
                                             "seibun s USING(bango) JOIN dokusei d ON d.ippanmei = s.ippanmei "
                                             "WHERE d.yoto <> k.yoto AND t.sakumotsu IN (") +
                                 kLoneCrop + ") LIMIT 1");
  ASSERT_FALSE(crop.empty());
  const std::string on_crop = " bango IN (SELECT bango FROM m_tekiyo WHERE sakumotsu = " + Quoted(crop) + ")";
  QComboBox *use = f().cbYotoTabYakuzai;
  ASSERT_EQ(U8(FromQ(use->itemText(0))), "全て");
  int differ = 0;
  for (int i = 1; i < use->count(); ++i) {
    const std::string u = FromQ(use->itemText(i));
    SCOPED_TRACE(U8(u));
    const std::set<std::string> want =
        AsSet(Column("SELECT DISTINCT tsusho FROM m_kihon WHERE yoto = " + Quoted(u) + " AND" + on_crop));
    // The products with an ingredient of that use, which the lists must not follow.
    differ += want != AsSet(Column("SELECT DISTINCT k.tsusho FROM m_kihon k JOIN seibun s USING(bango) JOIN dokusei d "
                                   "ON d.ippanmei = s.ippanmei WHERE d.yoto = " + Quoted(u) + " AND k." +
                                   on_crop.substr(1)));
    w->CropNamesExact = true;  // as the crop dialog leaves it
    f().eYakuzaiTabSakumotsu->setText(ToQ(crop));
    use->setCurrentIndex(i - 1);
    QTest::keyClick(use, Qt::Key_Down);  // the user picks the use
    ASSERT_EQ(use->currentIndex(), i);
    EXPECT_EQ(AsSet(Items(f().lstTsusho)), want);
    EXPECT_EQ(f().lstBango->Count(),
              static_cast<int>(Column("SELECT DISTINCT bango FROM m_kihon WHERE yoto = " + Quoted(u) + " AND" +
                                      on_crop).size()));
  }
  EXPECT_GT(differ, 0) << "the sample has no product whose ingredient's use differs from its own on the crop";
}

TEST_F(YakuzaiTabTest, IngredientGridHeadsItsColumnsInJapanese) {
  Start();
  judge->ExecSQL("ATTACH " + Quoted((home / "DB" / "spec.db").string()) + " AS spec;");
  // A product with an ingredient whose site and mode of action are known.
  const std::string bango =
      Value("SELECT s.bango FROM seibun s JOIN spec.rac r USING(ippanmei) WHERE ifnull(r.sayoten, '') <> '' "
            "AND ifnull(r.sayokiko, '') <> '' ORDER BY s.bango LIMIT 1");
  ASSERT_FALSE(bango.empty());
  Search(f().eYakuzai, bango);
  ASSERT_EQ(f().lstBango->Count(), 1);
  f().lstBango->SetItemIndex(0);
  w->lstBangoClick();
  TXlsStringGrid *g = f().gdSeibun;
  ASSERT_TRUE(g->isVisible());
  ASSERT_GT(g->RowCount(), 1);
  for (int c = 0; c < g->ColCount(); ++c) {
    const std::string h = g->Cells(c, 0);
    EXPECT_FALSE(std::all_of(h.begin(), h.end(), [](unsigned char ch) {
      return (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_';
    })) << "column " << c << " is headed by its raw name " << h;
  }
  // A right click on a site or mode of action offers its web search; the grid gets room
  // for a data row.
  w->resize(1400, 1000);
  g->setMinimumHeight(120);
  QApplication::processEvents();
  for (const std::string &header : {"作用点"_sj, "作用機構"_sj}) {
    SCOPED_TRACE(U8(header));
    const std::vector<std::string> heads = g->Rows(0);
    const int col = static_cast<int>(std::find(heads.begin(), heads.end(), header) - heads.begin());
    ASSERT_LT(col, g->ColCount());
    int row = 1;
    while (row < g->RowCount() && g->Cells(col, row).empty()) ++row;
    ASSERT_LT(row, g->RowCount());
    g->SetLeftCol(col);  // moved as far as the grid lets it
    QApplication::processEvents();
    const QRect cell = g->CellRect(col, row);
    ASSERT_FALSE(cell.isEmpty()) << g->width() << "x" << g->height() << " left " << g->LeftCol() << " col " << col << " row " << row;
    emit g->customContextMenuRequested(cell.center());
    w->pmnGridSeibun->hide();
    EXPECT_TRUE(w->pmnGoogleGridSeibun->isVisible());
    EXPECT_EQ(U8(FromQ(w->pmnGoogleGridSeibun->text())), U8("「"_sj + g->Cells(col, row) + "」を Google で検索"_sj));
    EXPECT_FALSE(w->pmnWeblioGridSeibun->isVisible());
  }
}

TEST_F(YakuzaiTabTest, CheckedIngredientsListProductsHavingAll) {
  // A product of two ingredients, one of which another product holds without the other. The
  // products holding either lose their reading rows: they must not fall into one group.
  const char *pair =
      "(SELECT s.bango FROM seibun s WHERE s.seibun IS NOT NULL GROUP BY s.bango HAVING count(DISTINCT s.seibun) = 2 "
      "AND EXISTS (SELECT 1 FROM seibun o WHERE o.seibun IN (SELECT seibun FROM seibun WHERE bango = s.bango) AND "
      "(SELECT count(DISTINCT x.seibun) FROM seibun x WHERE x.bango = o.bango AND x.seibun IN "
      "(SELECT seibun FROM seibun WHERE bango = s.bango)) = 1) ORDER BY s.bango LIMIT 1)";
  Start(std::string("DELETE FROM tsushoruby WHERE tsusho IN (SELECT tsusho FROM m_kihon JOIN seibun USING(bango) WHERE "
                    "seibun IN (SELECT seibun FROM seibun WHERE bango = ") + pair + "));");
  const std::string bango = Value(std::string("SELECT ") + pair);
  ASSERT_FALSE(bango.empty());
  const auto ings = Column("SELECT DISTINCT seibun FROM seibun WHERE bango = " + bango + " ORDER BY seibun");
  ASSERT_EQ(ings.size(), 2u);
  const std::set<std::string> want =
      AsSet(Column("SELECT tsusho FROM m_kihon JOIN seibun USING(bango) WHERE seibun = " + Quoted(ings[0]) +
                   " INTERSECT SELECT tsusho FROM m_kihon JOIN seibun USING(bango) WHERE seibun = " +
                   Quoted(ings[1])));

  Search(f().eYakuzai, bango);
  f().lstBango->SetItemIndex(0);
  w->lstBangoClick();  // the selection may not have moved
  EXPECT_EQ(AsSet(Items(f().lstSeibunPluralCk)), AsSet(ings));
  EXPECT_EQ(f().lstSeibunPluralCk->CheckCount(), 2);
  EXPECT_EQ(AsSet(Items(f().lstTsushoSeibunPlural)), want);
  // Unchecking one lists the products of the other.
  f().lstSeibunPluralCk->SetChecked(1, false);
  EXPECT_EQ(AsSet(Items(f().lstTsushoSeibunPlural)),
            AsSet(Column("SELECT DISTINCT tsusho FROM m_kihon JOIN seibun USING(bango) WHERE seibun = " +
                         Quoted(f().lstSeibunPluralCk->Item(0)))));
  // The ingredient combo lists the products with its ingredient.
  EXPECT_EQ(AsSet(Items(f().lstTsushoSeibun)),
            AsSet(Column("SELECT DISTINCT tsusho FROM m_kihon JOIN seibun USING(bango) WHERE ifnull(seibun, ippanmei) = " +
                         Quoted(FromQ(f().cbSeibun->currentText())))));
  EXPECT_TRUE(boxes.reports.empty());
}

TEST_F(YakuzaiTabTest, UseComboAfterAnSqlPaneQueryLeavesNoTransaction) {
  Start();
  // A SELECT in the SQL pane, and the connection left in single-statement mode, as a pane
  // query may leave it.
  f().pgSearch->setCurrentWidget(f().tabSQL);
  SetSQLEditorText(w->SQLEditor, "SELECT count(*) FROM m_kihon");
  w->ExecuteSQLEditor();
  ASSERT_TRUE(f().gdSQL->isVisible());
  AcisDB->SetMultiStatement(false);
  f().pgSearch->setCurrentWidget(f().tabYakuzai);
  QComboBox *use = f().cbYotoTabYakuzai;
  ASSERT_GT(use->count(), 1);
  use->setCurrentIndex(0);
  QTest::keyClick(use, Qt::Key_Down);  // the user picks the first use
  ASSERT_EQ(use->currentIndex(), 1);
  EXPECT_TRUE(NoTransactionOpen());
  EXPECT_EQ(AsSet(Items(f().lstTsusho)),
            AsSet(Column("SELECT DISTINCT tsusho FROM m_kihon WHERE yoto = " + Quoted(FromQ(use->currentText())))));
  // The next search runs its own transactions.
  Search(f().eYakuzai, Value("SELECT bango FROM m_kihon LIMIT 1"));
  EXPECT_EQ(f().lstBango->Count(), 1);
  EXPECT_TRUE(boxes.reports.empty());
}

TEST_F(YakuzaiTabTest, AFailingScriptStopsTheSearchAndClearsTheLists) {
  Start();
  const std::string crop = Value(kLoneCrop);
  const std::string word = Value("SELECT ippanmei FROM seibun LIMIT 1");
  Search(f().eYakuzai, word);
  ASSERT_GT(f().lstTsusho->Count(), 0);
  // The crop's product table cannot be made: the transaction it opened is rolled back and
  // the previous products are not shown as this search's.
  const std::string view = Value("SELECT sql FROM sqlite_master WHERE name = 'tekiyo'");
  judge->ExecSQL("DROP VIEW tekiyo;");
  w->CropNamesExact = true;
  f().eYakuzaiTabSakumotsu->setText(ToQ(crop));
  Search(f().eYakuzai, word);
  EXPECT_EQ(boxes.reports.size(), 1u);
  EXPECT_TRUE(NoTransactionOpen());
  EXPECT_EQ(f().lstTsusho->Count(), 0);
  EXPECT_EQ(f().lstBango->Count(), 0);
  EXPECT_TRUE(f().pnlYakuzaiSide->isEnabled());
  judge->ExecSQL(view);
  f().eYakuzaiTabSakumotsu->clear();
  Search(f().eYakuzai, word);
  EXPECT_GT(f().lstTsusho->Count(), 0);
}

TEST_F(YakuzaiTabTest, SendToFromAResultGridSelectsTheProduct) {
  Start();
  const std::string bango = Value("SELECT bango FROM m_kihon ORDER BY bango LIMIT 1 OFFSET 3");
  f().pgSearch->setCurrentWidget(f().tabDefault);
  w->SendToTerm = bango;
  w->SendToSideTab = f().tabBango;
  w->pmnSendToTabYakuzai->trigger();
  EXPECT_EQ(f().pgSearch->currentWidget(), f().tabYakuzai);
  EXPECT_EQ(f().pgYakuzaiSide->currentWidget(), f().tabBango);
  EXPECT_EQ(U8(ComboItemCode(FromQ(f().cbYakuzai->currentText()))), bango);
  // The crop tab's conditions, off while the send ran from there, are on again.
  EXPECT_TRUE(f().pnlSearchParam->isEnabled());
  EXPECT_TRUE(f().pnlSakuLeft->isEnabled());

  // A common name that no other product's keywords contain, so that it is the first found.
  std::string tsusho;
  for (const std::string &t : Column("SELECT DISTINCT tsusho FROM m_kihon ORDER BY bango"))
    if (TsushoWithWords({t}) == std::set<std::string>{t}) {
      tsusho = t;
      break;
    }
  ASSERT_FALSE(tsusho.empty());
  w->SendToTerm = tsusho;
  w->SendToSideTab = f().tabTsusho;
  w->pmnSendToTabYakuzai->trigger();
  const auto products = AsSet(Column("SELECT bango FROM m_kihon WHERE tsusho = " + Quoted(tsusho)));
  EXPECT_EQ(products.count(ComboItemCode(FromQ(f().cbYakuzai->currentText()))), 1u);

  // The separate result window writes into eYakuzaiG and sends; a number goes to its list.
  ASSERT_NE(w->findChild<QLineEdit *>("eYakuzaiG"), nullptr);
  w->SendTermToTabYakuzai(bango);
  EXPECT_EQ(U8(ComboItemCode(FromQ(f().cbYakuzai->currentText()))), bango);
}

TEST_F(YakuzaiTabTest, CropDialogWritesExactNamesAndSearches) {
  Start();
  const std::string crop = Value(kLoneCrop);
  TfrmMain::ShowModal = [&](QDialog *d) {
    auto *dialog = qobject_cast<TDlgSakumotsu *>(d);
    if (!dialog) return 0;
    for (QTreeWidgetItem *n : dialog->Form().tvSakumotsu->AllNodes())
      if (TCheckTreeView::Caption(n) == crop) dialog->Form().tvSakumotsu->setCurrentItem(n);
    dialog->btnReplace()->click();
    dialog->bCancel()->click();
    return 0;
  };
  f().bYakuzaiTabSakuSel->click();
  EXPECT_EQ(U8(FromQ(f().eYakuzaiTabSakumotsu->text())), U8(crop));
  EXPECT_TRUE(w->CropNamesExact);
  // Without a keyword: every product registered for the crop.
  EXPECT_EQ(AsSet(Items(f().lstTsusho)),
            AsSet(Column("SELECT DISTINCT tsusho FROM m_kihon WHERE bango IN (SELECT bango FROM m_tekiyo WHERE "
                         "sakumotsu = " + Quoted(crop) + ")")));
  // One more character typed makes the text the user's own again.
  f().eYakuzaiTabSakumotsu->setFocus();
  QTest::keyClick(f().eYakuzaiTabSakumotsu, Qt::Key_Left);
  EXPECT_TRUE(w->CropNamesExact);
  QTest::keyClick(f().eYakuzaiTabSakumotsu, Qt::Key_A);
  EXPECT_FALSE(w->CropNamesExact);
}

namespace {

// Rows of an application table: the cells of a row joined, and how often the row occurs.
using RowCounts = std::map<std::string, int>;

// A product's applications as stored, without the columns that hold nothing, which the
// window drops.
RowCounts StoredApplications(TSQLiteDb &db, const std::string &bango) {
  const std::string columns =
      "sakumotsu,byochu,mokuteki,baisu,ekiryo,jiki,kaisu,hoho,basho,jikan,ondo,dojo,chitai,tekiyaku,kaisu1,kaisu2,"
      "kaisu3,kaisu4,kaisu5";
  auto t = db.GetTable("SELECT " + columns + ", count(*) FROM m_tekiyo WHERE bango = " + bango + " GROUP BY " + columns);
  const int cols = t->ColCount() - 1;
  std::vector<std::pair<std::vector<std::string>, int>> rows;
  std::vector<bool> used(static_cast<std::size_t>(cols), false);
  for (; !t->Eof(); t->Next()) {
    std::vector<std::string> row;
    for (int c = 0; c < cols; ++c) row.push_back(t->FieldAsString(c));
    for (std::size_t c = 0; c < row.size(); ++c) used[c] = used[c] || !row[c].empty();
    rows.emplace_back(std::move(row), static_cast<int>(t->FieldAsInteger(cols)));
  }
  RowCounts out;
  for (const auto &[row, count] : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c)
      if (used[c]) line += row[c] + '\x1f';
    out[line] += count;
  }
  return out;
}

RowCounts GridRowCounts(const TXlsStringGrid &g) {
  RowCounts out;
  for (int r = 1; r < g.RowCount(); ++r) {
    std::string line;
    for (int c = 0; c < g.ColCount(); ++c) (line += g.CellView(c, r)) += '\x1f';
    ++out[line];
  }
  return out;
}

int Total(const RowCounts &rows) {
  int n = 0;
  for (const auto &r : rows) n += r.second;
  return n;
}

int ListRowOf(const TListBoxEx *list, const std::string &bango) {
  for (int i = 0; i < list->Count(); ++i)
    if (ComboItemCode(list->Item(i)) == bango) return i;
  return -1;
}

std::vector<TfrmGrid *> SeparateWindows() {
  std::vector<TfrmGrid *> out;
  for (QWidget *top : QApplication::topLevelWidgets())
    if (auto *g = qobject_cast<TfrmGrid *>(top)) out.push_back(g);
  return out;
}

// What lands in the middle of the big product's fill, and whether the grid shows the other
// product at the end (the request's) or still the big one (a request that shows none).
struct NestedCase {
  const char *name;
  std::function<void()> inject;
  bool shows_other;
};

}  // namespace

// Requests that arrive while a product's application table fills never nest into the fill:
// the latest runs after it, and the grid, its count and the lists speak of one product.
TEST_F(YakuzaiTabTest, ARequestDuringAFillRunsAfterItAndTheGridShowsOneProduct) {
  // The product with the most applications, copied until its table takes several pumps of
  // the window's events to fill: they come every 100 rows, however fast the fill runs.
  const TEventPump::TByTicks pump(100);
  const char *most = "(SELECT bango FROM m_tekiyo GROUP BY bango ORDER BY count(*) DESC, bango LIMIT 1)";
  Start(std::string("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 100) "
                    "INSERT INTO m_tekiyo SELECT m.* FROM m_tekiyo m, c WHERE m.bango = ") + most + ";");
  const std::string big = Value(std::string("SELECT ") + most);
  const std::string other = Value("SELECT t.bango FROM m_tekiyo t JOIN m_kihon k USING(bango) WHERE k.tsusho <> "
                                  "(SELECT tsusho FROM m_kihon WHERE bango = " + big + ") ORDER BY t.bango LIMIT 1");
  ASSERT_FALSE(other.empty());
  const RowCounts big_stored = StoredApplications(*judge, big);
  const int big_rows = Total(big_stored);
  ASSERT_GT(big_rows, 1000);
  w->resize(1000, 700);

  const std::vector<NestedCase> cases = {
      {"row change of the number list", [&] { f().lstBango->setCurrentRow(ListRowOf(f().lstBango, other)); }, true},
      {"Enter in the keyword edit", [&] {
         f().eYakuzai->setText(ToQ(other));
         QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
         QCoreApplication::sendEvent(f().eYakuzai, &press);
       }, false},
      {"a use chosen", [&] {
         f().cbYotoTabYakuzai->setCurrentIndex(1);
         emit f().cbYotoTabYakuzai->activated(1);
       }, false},
      {"a term sent from a separate result window", [&] {
         const std::vector<TfrmGrid *> separate = SeparateWindows();
         ASSERT_EQ(separate.size(), 1u);
         emit separate[0]->SendToTabYakuzai(other);
       }, true},
      {"条件消去", [&] { w->actSearchStrClear->trigger(); }, false},
  };
  for (const NestedCase &c : cases) {
    SCOPED_TRACE(c.name);
    // Every product in the number list, the other product shown, and a separate window of it.
    f().cbYotoTabYakuzai->setCurrentIndex(0);
    emit f().cbYotoTabYakuzai->activated(0);
    f().eYakuzai->setText(ToQ("keep"));
    f().lstBango->setCurrentRow(ListRowOf(f().lstBango, other));
    ASSERT_EQ(GridRowCounts(*f().gdYakuzai), StoredApplications(*judge, other));
    w->actExportGridExecute();

    bool landed = false, clear_off = false, update_off = false, panels_off = false;
    boxes.on_pump = [&] {
      const TXlsStringGrid *g = f().gdYakuzai;
      // In the big product's fill: its shape is set and its last row not yet written.
      if (landed || !w->Running() || g->RowCount() != big_rows + 1 || !g->CellView(0, big_rows).empty()) return;
      landed = true;
      clear_off = !w->actSearchStrClear->isEnabled();
      update_off = !w->actCheckUpdate->isEnabled();
      panels_off = !f().pgSearch->isEnabled();
      c.inject();
    };
    f().lstBango->setCurrentRow(ListRowOf(f().lstBango, big));
    boxes.on_pump = nullptr;
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();  // what waited for the run
    EXPECT_TRUE(landed) << "the request never came during the fill";
    EXPECT_TRUE(clear_off && update_off && panels_off) << clear_off << update_off << panels_off;
    EXPECT_FALSE(w->Running());
    EXPECT_TRUE(w->actSearchStrClear->isEnabled());
    EXPECT_TRUE(w->actCheckUpdate->isEnabled());
    EXPECT_TRUE(f().pgSearch->isEnabled());

    // The grid holds exactly the applications of the product the combo names, and its count.
    const std::string shown = ComboItemCode(FromQ(f().cbYakuzai->currentText()));
    EXPECT_EQ(shown, c.shows_other ? other : big);
    const RowCounts want = shown == big ? big_stored : StoredApplications(*judge, shown);
    EXPECT_EQ(f().gdYakuzai->RowCount() - 1, Total(want));
    EXPECT_TRUE(GridRowCounts(*f().gdYakuzai) == want) << "the grid mixes rows";
    EXPECT_EQ(U8(f().gdYakuzai->Cells(0, 0)), "作物名");
    EXPECT_EQ(U8(w->StatusText(3)), std::to_string(Total(want)) + "件");
    // No list claims another product.
    if (f().lstBango->ItemIndex() >= 0) {
      EXPECT_EQ(ComboItemCode(f().lstBango->Item(f().lstBango->ItemIndex())), shown);
    }
    if (f().lstTsusho->ItemIndex() >= 0) {
      EXPECT_EQ(f().lstTsusho->Item(f().lstTsusho->ItemIndex()), Value("SELECT tsusho FROM m_kihon WHERE bango = " + shown));
    }
    if (std::string(c.name) == "条件消去") {
      EXPECT_EQ(FromQ(f().eYakuzai->text()), "keep");
    }
    for (TfrmGrid *separate : SeparateWindows()) delete separate;
  }
  EXPECT_TRUE(boxes.reports.empty()) << (boxes.reports.empty() ? "" : U8(boxes.reports[0].text));
}

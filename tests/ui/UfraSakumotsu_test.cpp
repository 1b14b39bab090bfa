// The crop-selection frame over acis.db holding the sample kit's crop master, crop-group
// table and CVO table.
#include "ui/UfraSakumotsu.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include "components/CheckTreeView.h"
#include "engine/SakuUtil.h"
#include "platform/IniFile.h"
#include "ui/CropPicking.h"
#include "ui/crop_test_util.h"
#include "ui_UfraSakumotsu.h"

using namespace qmtest;
using namespace cp932::literals;

namespace {

std::string Text(const QLineEdit *e) { return e->text().toStdString(); }

class CropFrameTest : public CropDbTest {
 protected:
  static QTreeWidgetItem *Node(TfraSakumotsuBase &f, const char *utf8) {
    for (QTreeWidgetItem *n : f.Form().tvSakumotsu->AllNodes())
      if (TCheckTreeView::Caption(n) == S(utf8)) return n;
    return nullptr;
  }
  // Checks the node the way the tree does when its box is clicked.
  static void CheckNode(TfraSakumotsuBase &f, const char *utf8) {
    QTreeWidgetItem *n = Node(f, utf8);
    ASSERT_NE(n, nullptr) << utf8;
    n->setCheckState(0, Qt::Checked);
  }
  static void Type(QLineEdit *edit, const char *utf8) {
    edit->clear();
    edit->setFocus();
    TypeJapanese(edit, utf8);
  }
};

TEST(CropPickingTest, UniqueCommaTextKeepsEachNameAtItsLastPlace) {
  const struct {
    const char *in, *out;
  } cases[] = {
      {"", ""},
      {"a", "a"},
      {"a,b,a", "b,a"},
      {"a,b,c,b,a", "c,b,a"},
      {"a,,b,", "a,b"},
      {"\"x y\",z,\"x y\"", "z,\"x y\""},
      {"\"p,q\",r", "\"p,q\",r"},
  };
  for (const auto &c : cases) EXPECT_EQ(UniqueCommaText(c.in), c.out) << c.in;
}

TEST(CropPickingTest, GroupTableStatementsQuoteTheirValues) {
  const struct {
    const char *mg, *lg, *sql;
  } cases[] = {
      {"全て", "果樹類", "SELECT * FROM spec.beppyo1n WHERE lg = '果樹類'"},
      {"全て", "", "SELECT * FROM spec.beppyo1n WHERE lg ISNULL"},
      {"かんきつ", "果樹類", "SELECT * FROM spec.beppyo1n WHERE mg = 'かんきつ'"},
      {"かんきつ", "", "SELECT * FROM spec.beppyo1n WHERE mg ='かんきつ' AND lg ISNULL"},
      {"", "果樹類", "SELECT * FROM spec.beppyo1n WHERE mg ISNULL AND lg = '果樹類'"},
      {"", "", "SELECT * FROM spec.beppyo1n WHERE mg ISNULL AND lg ISNULL"},
      {"o'k", "", "SELECT * FROM spec.beppyo1n WHERE mg ='o''k' AND lg ISNULL"},
  };
  for (const auto &c : cases) EXPECT_EQ(U(Beppyo1ByMgSQL(S(c.mg), S(c.lg))), c.sql) << c.mg << "/" << c.lg;
  EXPECT_EQ(U(CvoByFamilySQL(S("バラ'科"))), "SELECT * FROM spec.cvo WHERE sakumotsu != '' AND family = 'バラ''科'");
}

TEST_F(CropFrameTest, TreeChecksGiveEachNameOnceWithTheUpperGroups) {
  TfraSakumotsuBase f;
  f.FillTree();
  auto &ui_ = f.Form();
  ASSERT_GT(ui_.tvSakumotsu->topLevelItemCount(), 0);

  // Upper groups on (the default): a parent and its child, each name once at its last place.
  CheckNode(f, "トマト");
  CheckNode(f, "ミニトマト");
  const std::string expected = U(UniqueCommaText(S("トマト,ミニトマト,") + db->UpperGroup(S("トマト")) + "," +
                                                 db->UpperGroup(S("ミニトマト"))));
  EXPECT_EQ(expected, "ミニトマト,トマト,なす科野菜,野菜類");
  EXPECT_EQ(Text(ui_.eSakumotsu), expected);
  EXPECT_EQ(U(f.Sakumotsu()), expected);
  EXPECT_EQ(U(f.TreeSelection()), expected);
  // The checked crops are the picks; the groups added for them are searched by their own entries.
  EXPECT_EQ(U(f.SakumotsuUpperOnly()), "なす科野菜,野菜類");

  // Upper groups off: a crop of status 1 stands alone, one of status 2 still brings its groups.
  ui_.actCheckUpperTree->trigger();
  EXPECT_FALSE(ui_.actCheckUpperTree->isChecked());
  EXPECT_EQ(Text(ui_.eSakumotsu), "トマト,ミニトマト");
  EXPECT_EQ(U(f.SakumotsuUpperOnly()), "");
  CheckNode(f, "温州みかん");
  EXPECT_EQ(Text(ui_.eSakumotsu), "温州みかん,トマト,ミニトマト,みかん,かんきつ,果樹類");  // tree order
  EXPECT_EQ(U(f.SakumotsuUpperOnly()), "みかん,かんきつ,果樹類");
  // A group the user checks as well is a pick of its own.
  CheckNode(f, "かんきつ");
  EXPECT_EQ(U(f.SakumotsuUpperOnly()), "みかん,果樹類");

  // A crop without registration cannot stay checked.
  CheckNode(f, "早生温州みかん");
  EXPECT_FALSE(ui_.tvSakumotsu->GetChecked(Node(f, "早生温州みかん")));
  EXPECT_EQ(Text(ui_.eSakumotsu), "温州みかん,トマト,ミニトマト,みかん,かんきつ,果樹類");

  ui_.actTreeCheckOff->trigger();
  EXPECT_EQ(Text(ui_.eSakumotsu), "");
  EXPECT_EQ(U(f.SakumotsuUpperOnly()), "");
  for (QTreeWidgetItem *n : ui_.tvSakumotsu->AllNodes()) ASSERT_FALSE(ui_.tvSakumotsu->GetChecked(n));
  EXPECT_TRUE(ui.reports.empty());
}

TEST_F(CropFrameTest, AdjacentModeWritesTheOtherEditAndSwitchingBackEmptiesIt) {
  TfraSakumotsuBase f;
  f.FillTree();
  auto &ui_ = f.Form();
  ui_.actCheckUpperTree->setChecked(false);
  EXPECT_TRUE(f.tbMain()->isChecked());
  EXPECT_FALSE(f.tbKinsetsu()->isEnabled());
  EXPECT_FALSE(ui_.eKinsetsuSakumotsu->isEnabled());

  CheckNode(f, "キャベツ");
  EXPECT_EQ(Text(ui_.eSakumotsu), "キャベツ");
  ASSERT_TRUE(f.tbKinsetsu()->isEnabled());
  QTest::mouseClick(f.tbKinsetsu(), Qt::LeftButton);
  EXPECT_TRUE(f.tbKinsetsu()->isChecked());
  EXPECT_FALSE(f.tbMain()->isChecked());
  EXPECT_EQ(f.TargetEdit(), ui_.eKinsetsuSakumotsu);
  EXPECT_FALSE(ui_.tvSakumotsu->GetChecked(Node(f, "キャベツ")));
  EXPECT_NE(ui_.eSakumotsu->palette().color(QPalette::Base), ui_.eKinsetsuSakumotsu->palette().color(QPalette::Base));

  CheckNode(f, "はくさい");
  EXPECT_EQ(Text(ui_.eSakumotsu), "キャベツ");
  EXPECT_EQ(Text(ui_.eKinsetsuSakumotsu), "はくさい");
  EXPECT_EQ(U(f.KinsetsuSakumotsu()), "はくさい");

  QTest::mouseClick(f.tbMain(), Qt::LeftButton);
  EXPECT_TRUE(f.tbMain()->isChecked());
  EXPECT_EQ(Text(ui_.eSakumotsu), "キャベツ");
  EXPECT_EQ(Text(ui_.eKinsetsuSakumotsu), "");

  // Emptying the main edit empties the adjacent one and disables the mode.
  ui_.eSakumotsu->clear();
  EXPECT_FALSE(f.tbKinsetsu()->isEnabled());
}

TEST_F(CropFrameTest, NameSearchChecksTheTypedCropAndWritesItsUpperGroups) {
  TfraSakumotsuBase f;
  f.SetLogMemo(&log);
  auto &ui_ = f.Form();
  int changes = 0;
  QObject::connect(&f, &TfraSakumotsuBase::OnSakumotsuChange, [&] { ++changes; });

  Type(ui_.edtInput, "とまと");
  QTest::keyClick(ui_.edtInput, Qt::Key_Return);
  ASSERT_GE(ui_.lvSakumotsu->topLevelItemCount(), 2);  // トマト and ミニトマト
  std::vector<std::string> checked;
  for (int i = 0; i < ui_.lvSakumotsu->topLevelItemCount(); ++i) {
    QTreeWidgetItem *it = ui_.lvSakumotsu->topLevelItem(i);
    if (it->checkState(0) == Qt::Checked) checked.push_back(it->text(0).toStdString());
  }
  EXPECT_EQ(checked, (std::vector<std::string>{">> トマト"}));
  EXPECT_EQ(Text(ui_.eSakumotsu), "トマト,なす科野菜,野菜類");
  EXPECT_EQ(U(f.SakumotsuUpperOnly()), "なす科野菜,野菜類");
  // A name the user takes out of the edit is no upper group any more, also when typed back.
  ui_.eSakumotsu->setText("トマト,なす科野菜");
  EXPECT_EQ(U(f.SakumotsuUpperOnly()), "なす科野菜");
  ui_.eSakumotsu->setText("トマト,なす科野菜,野菜類");
  EXPECT_EQ(U(f.SakumotsuUpperOnly()), "なす科野菜");
  QTest::keyClick(ui_.edtInput, Qt::Key_Return);
  EXPECT_EQ(U(f.SakumotsuUpperOnly()), "なす科野菜,野菜類");
  EXPECT_GT(changes, 0);
  ASSERT_FALSE(log.lines.empty());
  EXPECT_EQ(U(log.lines.back()),
            "SELECT class,idsaku,toroku,shukakubui,sakumotsu,betsumei,gunmei FROM vs_sakumotsu2 WHERE "
            "strconv(keywords) regexp preconv('(^|、|\\()" +
                U(NormalizeCropList(S("とまと"))) + "') ORDER BY idsaku;");

  // Without the upper groups the checked crops stand alone.
  ui_.actCheckUpperList->trigger();
  EXPECT_EQ(Text(ui_.eSakumotsu), "トマト");
  ui_.actSakumotsuListCheckALL->trigger();
  EXPECT_EQ(Text(ui_.eSakumotsu), "トマト,トマト(苗)");
  ui_.actSakumotsuListCheckOff->trigger();
  EXPECT_EQ(Text(ui_.eSakumotsu), "");

  // A word in brackets searched from the start uses the grouped pattern.
  Type(ui_.edtInput, "トマト(苗)");
  ui_.actBroadMatch->trigger();
  EXPECT_FALSE(f.ForwardMatch());
  EXPECT_EQ(log.lines.back().find("(^|"), std::string::npos);
  ui_.actForwardMatch->trigger();
  EXPECT_TRUE(f.ForwardMatch());
  EXPECT_TRUE(ui_.actForwardMatch->isChecked());
  EXPECT_FALSE(ui_.actBroadMatch->isChecked());
  const std::string sql = U(log.lines.back());
  EXPECT_NE(sql.find("preconv('(^|、|\\()("), std::string::npos) << sql;
  EXPECT_NE(sql.find("?)') ORDER BY idsaku;"), std::string::npos) << sql;

  // A word that matches nothing checks nothing and leaves the edit empty; a quote stays
  // inside the literal.
  Type(ui_.edtInput, "存在しない作物'");
  ui_.bSearch->click();
  EXPECT_EQ(ui_.lvSakumotsu->topLevelItemCount(), 0);
  EXPECT_EQ(Text(ui_.eSakumotsu), "");
  EXPECT_TRUE(ui.reports.empty());
}

TEST_F(CropFrameTest, CropGroupTableFiltersByGroupAndShowsTheWholeTableOnce) {
  TfraSakumotsuBase f;
  auto &ui_ = f.Form();
  f.LoadBeppyo1();
  const int all = Count("SELECT count(*) FROM spec.tekiyosakumotsu");
  ASSERT_GT(all, 0);
  EXPECT_EQ(ui_.lvBeppyo1->topLevelItemCount(), all);
  ASSERT_GE(ui_.cbLg->count(), 3);
  EXPECT_EQ(ui_.cbLg->itemText(0).toStdString(), "全て");

  ui_.cbLg->setCurrentText(QString::fromUtf8("果樹類"));
  const int fruit = Count(S("SELECT count(*) FROM spec.beppyo1n WHERE lg = '果樹類'"));
  EXPECT_EQ(ui_.lvBeppyo1->topLevelItemCount(), fruit);
  for (int i = 0; i < ui_.lvBeppyo1->topLevelItemCount(); ++i)
    ASSERT_EQ(ui_.lvBeppyo1->topLevelItem(i)->text(0).toStdString(), "果樹類");
  ASSERT_GE(ui_.cbMg->count(), 2);
  EXPECT_EQ(ui_.cbMg->itemText(0).toStdString(), "全て");
  ui_.cbMg->setCurrentText(QString::fromUtf8("かんきつ"));
  EXPECT_EQ(ui_.lvBeppyo1->topLevelItemCount(), Count(S("SELECT count(*) FROM spec.beppyo1n WHERE mg = 'かんきつ'")));
  ui_.cbMg->setCurrentIndex(0);
  EXPECT_EQ(ui_.lvBeppyo1->topLevelItemCount(), fruit);

  // The row without a large group.
  const int empty = ui_.cbLg->findText("");
  ASSERT_GT(empty, 0);
  ui_.cbLg->setCurrentIndex(empty);
  ASSERT_EQ(ui_.lvBeppyo1->topLevelItemCount(), 1);
  EXPECT_EQ(ui_.lvBeppyo1->topLevelItem(0)->text(3).toStdString(), "その他の作物");

  ui_.cbLg->setCurrentIndex(0);
  EXPECT_EQ(ui_.lvBeppyo1->topLevelItemCount(), all);
  f.LoadBeppyo1();  // filled again after a new database
  EXPECT_EQ(ui_.lvBeppyo1->topLevelItemCount(), all);

  // A row's crop name goes into the target edit; no row leaves it empty.
  ui_.lvBeppyo1->setCurrentItem(ui_.lvBeppyo1->topLevelItem(0));
  f.lvBeppyo1Click();
  EXPECT_EQ(ui_.eSakumotsu->text(), ui_.lvBeppyo1->topLevelItem(0)->text(3));
  ui_.lvBeppyo1->setCurrentItem(nullptr);
  f.lvBeppyo1Click();
  EXPECT_EQ(Text(ui_.eSakumotsu), "");

  // A double click with the upper button down adds the row's upper groups, which the search
  // takes by their own entries; the row's crop stays a pick.
  QTreeWidgetItem *tomato = nullptr;
  for (int i = 0; i < ui_.lvBeppyo1->topLevelItemCount(); ++i)
    if (ui_.lvBeppyo1->topLevelItem(i)->text(3) == QString::fromUtf8("トマト")) tomato = ui_.lvBeppyo1->topLevelItem(i);
  ASSERT_NE(tomato, nullptr);
  ui_.lvBeppyo1->setCurrentItem(tomato);
  ui_.tbUpperB->setChecked(true);
  f.lvBeppyo1DblClick();
  EXPECT_EQ(Text(ui_.eSakumotsu), "トマト,なす科野菜,野菜類");
  EXPECT_EQ(U(f.SakumotsuUpperOnly()), "なす科野菜,野菜類");
  ui_.tbUpperB->setChecked(false);
  f.lvBeppyo1DblClick();
  EXPECT_EQ(Text(ui_.eSakumotsu), "トマト");
  EXPECT_EQ(U(f.SakumotsuUpperOnly()), "");
  EXPECT_TRUE(ui.reports.empty());
}

TEST_F(CropFrameTest, CvoTableByFamilyGivesTheCropNamesOfARow) {
  db->ExecSQL(S("UPDATE spec.cvo SET c07 = 'トマト|ミニトマト' WHERE sakumotsu = 'トマト';"));
  TfraSakumotsuBase f;
  auto &ui_ = f.Form();
  f.LoadCvoFamilies();
  EXPECT_EQ(ui_.lvCVO->topLevelItemCount(), 0);
  EXPECT_EQ(ui_.cbFamily->itemText(0).toStdString(), "全て");
  const int all = Count("SELECT count(*) FROM spec.cvo WHERE sakumotsu != ''");
  // "全て" is already current in the freshly filled list: picking it still fills the table.
  ASSERT_EQ(ui_.cbFamily->currentIndex(), 0);
  PickComboItem(ui_.cbFamily, "全て");
  EXPECT_EQ(ui_.lvCVO->topLevelItemCount(), all);
  PickComboItem(ui_.cbFamily, "ナス科");
  const int nasu = Count(S("SELECT count(*) FROM spec.cvo WHERE family = 'ナス科'"));
  ASSERT_EQ(ui_.lvCVO->topLevelItemCount(), nasu);
  EXPECT_EQ(ui_.lvCVO->columnCount(), 21);
  QTreeWidgetItem *tomato = ui_.lvCVO->findItems(QString::fromUtf8("トマト"), Qt::MatchExactly, 0).value(0);
  ASSERT_NE(tomato, nullptr);
  ui_.lvCVO->setCurrentItem(tomato);
  f.lvCVOClick();
  EXPECT_EQ(Text(ui_.eSakumotsu), "トマト,ミニトマト");

  PickComboItem(ui_.cbFamily, "全て");
  EXPECT_EQ(ui_.lvCVO->topLevelItemCount(), all);
  EXPECT_TRUE(ui.reports.empty());
}

TEST_F(CropFrameTest, SettingsAndColumnWidthsRoundTrip) {
  {
    TfraSakumotsuBase f;
    auto &ui_ = f.Form();
    for (QAction *a : {ui_.actCheckUpperTree, ui_.actCheckUpperList, ui_.actAutoTekiyoView,
                       ui_.actListAutoTekiyoView, ui_.actForwardMatch, ui_.actBroadMatch})
      EXPECT_EQ(a->isChecked(), a != ui_.actBroadMatch) << a->objectName().toStdString();
    EXPECT_EQ(ui_.lvBeppyo1->columnWidth(3), 100);
    ui_.actCheckUpperList->trigger();
    ui_.actListAutoTekiyoView->trigger();
    ui_.actBroadMatch->trigger();
    ui_.lvCVO->setColumnWidth(20, 77);
  }
  const std::string ini = settings.Text();
  for (const char *line : {"SakumotsuTreeUpperOn=1", "SakumotsuListUpperOn=0", "SakumotsuTreeAutoTekiyoView=1",
                           "SakumotsuListAutoTekiyoView=0", "SakumotsuForwardMatch=0", "LvCVOColumns20=77",
                           "LvSakumotsuColumns2=100"})
    EXPECT_NE(ini.find(line), std::string::npos) << line;
  EXPECT_EQ(SakumotsuList, nullptr);

  TfraSakumotsuBase f;
  auto &ui_ = f.Form();
  EXPECT_FALSE(ui_.actCheckUpperList->isChecked());
  EXPECT_FALSE(ui_.actListAutoTekiyoView->isChecked());
  EXPECT_FALSE(f.ForwardMatch());
  EXPECT_TRUE(ui_.actBroadMatch->isChecked());
  EXPECT_EQ(ui_.lvCVO->columnWidth(20), 77);
  ASSERT_NE(SakumotsuList, nullptr);
}

TEST_F(CropFrameTest, TreeHintsNameTheCropUnderTheMouse) {
  TfraSakumotsuBase f;
  f.resize(300, 500);
  f.FillTree();
  f.show();
  auto *tree = f.Form().tvSakumotsu;
  QTreeWidgetItem *top = tree->topLevelItem(0);
  const QPoint onLabel = tree->LabelRect(top).center();
  const auto *rec = static_cast<TSakumotsu *>(TCheckTreeView::NodeData(top));
  EXPECT_EQ(f.tvSakumotsuHint(onLabel, false), CropHintText(rec));
  EXPECT_EQ(U(f.tvSakumotsuHint(onLabel, true).substr(0, 7)), "class: ");
  EXPECT_EQ(f.tvSakumotsuHint(QPoint(tree->viewport()->width() - 2, tree->viewport()->height() - 2), false), "");
  // Unregistered crops of the deepest named level are greyed.
  EXPECT_NE(Node(f, "早生温州みかん")->foreground(0), Node(f, "温州みかん")->foreground(0));
}

TEST_F(CropFrameTest, ModeCaptionsFollowTheToolBarWidth) {
  TfraSakumotsuBase f;
  f.resize(400, 480);
  f.show();
  const struct {
    int width;
    const char *main, *kinsetsu, *tekiyo;
  } cases[] = {{120, "作.", "近.", "適用"}, {200, "作物.", "近接.", "適用"}, {300, "主作物", "近接作物", "適用検索"}};
  for (const auto &c : cases) {
    f.Form().tbSakuMode->setFixedWidth(c.width);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.tbMain()->text().toStdString(), c.main) << c.width;
    EXPECT_EQ(f.tbKinsetsu()->text().toStdString(), c.kinsetsu) << c.width;
    EXPECT_EQ(f.tbTekiyo()->text().toStdString(), c.tekiyo) << c.width;
  }
}

}  // namespace

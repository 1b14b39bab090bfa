// The crop selection dialog over acis.db holding the sample kit's crop master, crop-group
// table and CVO table.
#include "ui/USakumotsuSel.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "components/CheckTreeView.h"
#include "ui/crop_test_util.h"
#include "ui_USakumotsuSel.h"

using namespace qmtest;

namespace {

std::string Text(const QLineEdit *e) { return e->text().toStdString(); }

class CropDialogTest : public CropDbTest {
 protected:
  TSakumotsuList crops;
  TSakumotsuList *saved = nullptr;

  void SetUp() override {
    CropDbTest::SetUp();
    saved = SakumotsuList;
    SakumotsuList = &crops;
  }
  void TearDown() override {
    SakumotsuList = saved;
    CropDbTest::TearDown();
  }
  static void Select(TDlgSakumotsu &d, const char *utf8) {
    for (QTreeWidgetItem *n : d.Form().tvSakumotsu->AllNodes())
      if (TCheckTreeView::Caption(n) == S(utf8)) {
        d.Form().tvSakumotsu->setCurrentItem(n);
        return;
      }
    ADD_FAILURE() << "no node " << utf8;
  }
  static void Search(TDlgSakumotsu &d, const char *utf8, QRadioButton *mode) {
    mode->setChecked(true);
    d.Form().edtInput->clear();
    TypeJapanese(d.Form().edtInput, utf8);
    QTest::keyClick(d.Form().edtInput, Qt::Key_Return);
  }
  static void CheckRow(TDlgSakumotsu &d, const char *utf8) {
    QTreeWidget *lv = d.Form().lvSakumotsu;
    for (int i = 0; i < lv->topLevelItemCount(); ++i)
      if (U(TDlgSakumotsu::ItemRecord(lv->topLevelItem(i))->sakumotsu) == utf8) {
        lv->topLevelItem(i)->setCheckState(0, Qt::Checked);
        return;
      }
    ADD_FAILURE() << "no row " << utf8;
  }
};

TEST_F(CropDialogTest, TreeNodesGiveTheCropItsUpperGroupsOrItsSameLevelGroup) {
  TDlgSakumotsu d(nullptr);
  auto &f = d.Form();
  EXPECT_EQ(d.windowTitle().toStdString(), "作物種類選択");
  EXPECT_FALSE(f.tvSakumotsu->Checkboxes());
  EXPECT_FALSE(d.btnAdd()->isEnabled());
  EXPECT_TRUE(f.rbPrefix->isChecked());
  EXPECT_TRUE(d.CropDialogNoSelection());

  const struct {
    int mode;
    bool upper;
    const char *node;
    std::string expected;
  } cases[] = {
      {2, false, "トマト", "トマト"},
      {2, true, "トマト", U(db->UpperGroup(S("トマト")))},
      {2, false, "温州みかん", "みかん,かんきつ,果樹類"},  // registered through its upper group
      {2, false, "早生温州みかん", ""},                      // not registered: nothing alone
      {3, false, "トマト", U(db->SameLevelSakumotsu(S("トマト")))},
      {3, false, "早生温州みかん", U(db->SameLevelSakumotsu(S("早生温州みかん")))},
  };
  for (const auto &c : cases) {
    d.Mode = c.mode;
    d.btnUpper()->setChecked(c.upper);
    f.tvSakumotsu->setCurrentItem(nullptr);
    Select(d, c.node);
    EXPECT_EQ(U(d.Selection()), c.expected) << c.node << " mode " << c.mode;
    EXPECT_TRUE(d.btnAdd()->isEnabled());
  }
  EXPECT_FALSE(U(db->SameLevelSakumotsu(S("トマト"))).empty());
  EXPECT_TRUE(ui.reports.empty());
}

TEST_F(CropDialogTest, AddAppendsOnceAndTheTemplateModeQuotes) {
  QLineEdit target;
  TDlgSakumotsu d(nullptr);
  d.SetTarget(&target);
  Select(d, "トマト");
  ASSERT_EQ(U(d.Selection()), "トマト");

  target.setText(QString::fromUtf8("なす,トマト"));
  d.btnAdd()->click();
  EXPECT_EQ(Text(&target), "なす,トマト");
  target.setText(QString::fromUtf8("なす"));
  d.btnAdd()->click();
  EXPECT_EQ(Text(&target), "なす,トマト");
  d.btnReplace()->click();
  EXPECT_EQ(Text(&target), "トマト");

  // A selection of several crops adds only the names the target lacks.
  d.btnUpper()->setChecked(true);
  Select(d, "キャベツ");
  const std::string group = U(db->UpperGroup(S("キャベツ")));
  ASSERT_EQ(group.rfind("キャベツ,", 0), 0u) << group;
  target.setText(QString::fromStdString(group));
  d.btnAdd()->click();
  EXPECT_EQ(Text(&target), group);
  target.setText(QString::fromUtf8("なす,キャベツ"));
  d.btnAdd()->click();
  EXPECT_EQ(Text(&target), "なす," + group);
  d.btnUpper()->setChecked(false);

  d.Mode = 3;
  target.clear();
  EXPECT_EQ(U(d.QuoteSakumotsu(S("トマト"))), "'トマト'");
  EXPECT_EQ(U(d.QuoteSakumotsu(S("a,b"))), "'a,b'");
  d.btnUpper()->setChecked(true);  // the upper group: several crops, quoted as one text
  Select(d, "キャベツ");
  const std::string upper = U(db->UpperGroup(S("キャベツ")));
  ASSERT_NE(upper.find(','), std::string::npos);
  d.btnAdd()->click();
  EXPECT_EQ(Text(&target), "'" + upper + "'");
  d.btnAdd()->click();
  EXPECT_EQ(Text(&target), "'" + upper + "'");
}

TEST_F(CropDialogTest, CheckedSearchResultsGiveEachCropOnce) {
  TDlgSakumotsu d(nullptr);
  d.LogMemo = &log;
  auto &f = d.Form();
  f.pgList->setCurrentWidget(f.tsSearch);
  Search(d, "トマト", f.rbBroad);
  ASSERT_GE(f.lvSakumotsu->topLevelItemCount(), 2);
  ASSERT_FALSE(log.lines.empty());
  EXPECT_NE(U(log.lines.back()).find("regexp preconv('"), std::string::npos);
  EXPECT_EQ(U(log.lines.back()).find("(^|"), std::string::npos);

  CheckRow(d, "トマト");
  EXPECT_EQ(U(d.Selection()), "トマト");
  CheckRow(d, "ミニトマト");
  EXPECT_EQ(U(d.Selection()), "トマト,ミニトマト");
  EXPECT_TRUE(d.btnAdd()->isEnabled());
  EXPECT_TRUE(d.pmnTree()->actions()[0]->isEnabled());
  // With the upper groups both crops bring トマト and its groups; each name stays once.
  d.btnUpper()->click();
  EXPECT_EQ(U(d.Selection()), "ミニトマト,トマト,なす科野菜,野菜類");

  // The exact mode asks for the names themselves; a quote stays inside the literal.
  f.rbExact->click();
  EXPECT_NE(U(log.lines.back()).find("sakumotsu MATCH 'トマト'"), std::string::npos) << U(log.lines.back());
  EXPECT_EQ(f.lvSakumotsu->topLevelItemCount(), 1);
  Search(d, "to'ma", f.rbPrefix);
  EXPECT_EQ(f.lvSakumotsu->topLevelItemCount(), 0);
  EXPECT_TRUE(ui.reports.empty());
}

TEST_F(CropDialogTest, CropGroupAndCvoTables) {
  TDlgSakumotsu d(nullptr);
  auto &f = d.Form();
  const int all = Count("SELECT count(*) FROM spec.tekiyosakumotsu");
  EXPECT_EQ(f.lvBeppyo1->topLevelItemCount(), all);
  f.cbLg->setCurrentText(QString::fromUtf8("野菜類"));
  EXPECT_EQ(f.lvBeppyo1->topLevelItemCount(), Count(S("SELECT count(*) FROM spec.beppyo1n WHERE lg = '野菜類'")));
  f.cbLg->setCurrentIndex(0);
  EXPECT_EQ(f.lvBeppyo1->topLevelItemCount(), all);

  f.lvBeppyo1->setCurrentItem(f.lvBeppyo1->topLevelItem(0));
  d.lvBeppyo1Select();
  EXPECT_EQ(d.Selection(), FromQ(f.lvBeppyo1->topLevelItem(0)->text(3)));

  EXPECT_EQ(f.lvCVO->topLevelItemCount(), 0);  // until a family is chosen
  const int cvo_all = Count("SELECT count(*) FROM spec.cvo2 WHERE sakumotsu != ''");
  // "全て" is already current in the freshly filled list: picking it still fills the table.
  ASSERT_EQ(f.cbFamily->currentIndex(), 0);
  PickComboItem(f.cbFamily, "全て");
  EXPECT_EQ(f.lvCVO->topLevelItemCount(), cvo_all);
  db->ExecSQL(S("UPDATE spec.cvo SET c07 = 'トマト|ミニトマト' WHERE sakumotsu = 'トマト';"));
  PickComboItem(f.cbFamily, "ナス科");
  EXPECT_EQ(f.lvCVO->topLevelItemCount(), Count(S("SELECT count(*) FROM spec.cvo WHERE family = 'ナス科'")));
  QTreeWidgetItem *tomato = f.lvCVO->findItems(QString::fromUtf8("トマト"), Qt::MatchExactly, 0).value(0);
  ASSERT_NE(tomato, nullptr);
  f.lvCVO->setCurrentItem(tomato);
  d.lvCVOSelect();
  EXPECT_EQ(U(d.Selection()), "トマト,ミニトマト");
  PickComboItem(f.cbFamily, "全て");
  EXPECT_EQ(f.lvCVO->topLevelItemCount(), cvo_all);
  EXPECT_TRUE(ui.reports.empty());
}

TEST_F(CropDialogTest, CloseTellsWhetherASelectionWasShown) {
  QLineEdit target;
  {
    TDlgSakumotsu d(nullptr);
    d.SetTarget(&target);
    ExecWith(d, [&] { d.bCancel()->click(); });
    EXPECT_TRUE(d.CropDialogNoSelection());
  }
  {
    TDlgSakumotsu d(nullptr);
    d.SetTarget(&target);
    ExecWith(d, [&] { d.close(); });  // the window frame
    EXPECT_TRUE(d.CropDialogNoSelection());
  }
  TDlgSakumotsu d(nullptr);
  d.SetTarget(&target);
  ExecWith(d, [&] {
    Select(d, "トマト");
    d.btnReplace()->click();
    d.bCancel()->click();
  });
  EXPECT_FALSE(d.CropDialogNoSelection());
  EXPECT_EQ(Text(&target), "トマト");
}

TEST_F(CropDialogTest, TreeCommandsAreImagesWithHintsAndTheEditCommandsCaptions) {
  TDlgSakumotsu d(nullptr);
  for (QToolButton *b : {d.bExpand(), d.bCollapse(), d.btnUpper()}) {
    EXPECT_FALSE(b->icon().isNull()) << b->objectName().toStdString();
    EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonIconOnly) << b->objectName().toStdString();
    EXPECT_FALSE(b->toolTip().isEmpty()) << b->objectName().toStdString();
  }
  EXPECT_EQ(U(FromQ(d.btnUpper()->toolTip())), "上位作物群を含む");
  EXPECT_EQ(U(FromQ(d.btnAdd()->text())), "追加");
  EXPECT_EQ(U(FromQ(d.btnReplace()->text())), "置換");
  EXPECT_EQ(U(FromQ(d.bCancel()->text())), "閉じる");
  // The group tables' combo panels are the combo's height and two pixels.
  EXPECT_EQ(d.Form().pnlBeppyo1->height(), d.Form().cbLg->sizeHint().height() + 2);
}

TEST_F(CropDialogTest, SettingsRoundTripPerMode) {
  {
    TDlgSakumotsu d(nullptr);
    d.Mode = 3;
    ExecWith(d, [&] {
      EXPECT_FALSE(d.btnUpper()->isChecked());
      d.btnUpper()->setChecked(true);
    });
    d.resize(420, 400);
    d.Form().pgList->setCurrentIndex(2);
    d.Form().lvCVO->setColumnWidth(20, 61);
  }
  const std::string ini = settings.Text();
  for (const char *line : {"DlgSakumotuWidth=420", "DlgSakumotuHeight=400", "DlgSakuActivePageIndex=2",
                           "DlgSakumotsuSelTemplateUpper=1", "DlgSakuLvCVOColumns20=61", "DlgSakuLvBeppyo1Columns0=70"})
    EXPECT_NE(ini.find(line), std::string::npos) << line;
  {
    TDlgSakumotsu d(nullptr);  // the main-search mode keeps its own state
    ExecWith(d, [&] { EXPECT_FALSE(d.btnUpper()->isChecked()); });
    EXPECT_EQ(d.width(), 420);
    EXPECT_EQ(d.Form().pgList->currentIndex(), 2);
    EXPECT_FALSE(d.bExpand()->isEnabled());
  }
  TDlgSakumotsu d(nullptr);
  d.Mode = 3;
  ExecWith(d, [&] { EXPECT_TRUE(d.btnUpper()->isChecked()); });
}

}  // namespace

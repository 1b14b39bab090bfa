// The crop picker of the pest/disease tab over a pest result holding a few crops of the
// sample kit's crop master.
#include "ui/UTabByochuSaku.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "components/CheckListBoxEx.h"
#include "ui/crop_test_util.h"
#include "ui_UTabByochuSaku.h"

using namespace qmtest;
using V = std::vector<std::string>;

namespace {

V Combo(const QComboBox *c) {
  V out;
  for (int i = 0; i < c->count(); ++i) out.push_back(c->itemText(i).toStdString());
  return out;
}

class CropGroupPickerTest : public CropDbTest {
 protected:
  void SetUp() override {
    CropDbTest::SetUp();
    db->ExecSQL("CREATE TEMP TABLE ttTekiyoByochu(idsaku VARCHAR, sakumotsu VARCHAR);");
    db->ExecSQL(S("INSERT INTO ttTekiyoByochu SELECT idsaku, sakumotsu FROM m_sakumotsu WHERE sakumotsu IN "
                  "('トマト','ミニトマト','キャベツ','りんご','なし','温州みかん','かんきつ(なつみかんを除く)','水稲');"
                  "INSERT INTO ttTekiyoByochu SELECT idsaku, sakumotsu FROM m_sakumotsu WHERE sakumotsu = 'トマト';"));
  }
  static void Choose(QComboBox *c, const char *utf8) {
    const int i = c->findText(QString::fromUtf8(utf8));
    ASSERT_GE(i, 0) << utf8;
    c->setCurrentIndex(i);
  }
};

TEST_F(CropGroupPickerTest, GroupsNarrowTheCropsOfTheResult) {
  TfrmTabByochuSaku p(nullptr);
  auto &f = p.Form();
  EXPECT_EQ(p.windowTitle().toStdString(), "作物選択");
  p.LoadAllSakumotsu();
  // Exclusion entries never appear; each crop once, in code order; groups without a crop
  // of the result are not offered.
  EXPECT_EQ(Items(f.lstSakumotsu), (V{"温州みかん", "りんご", "なし", "キャベツ", "トマト", "ミニトマト", "水稲"}));
  EXPECT_EQ(Combo(f.cbLevel0), (V{"全て", "果樹類", "野菜類", "稲"}));
  EXPECT_FALSE(f.cbLevel1->isEnabled());
  EXPECT_FALSE(f.cbLevel2->isEnabled());

  Choose(f.cbLevel0, "野菜類");
  EXPECT_EQ(Items(f.lstSakumotsu), (V{"キャベツ", "トマト", "ミニトマト"}));
  EXPECT_EQ(Combo(f.cbLevel1), (V{"全て", "あぶらな科野菜", "なす科野菜"}));
  EXPECT_TRUE(f.cbLevel1->isEnabled());
  EXPECT_FALSE(f.cbLevel2->isEnabled());
  Choose(f.cbLevel1, "なす科野菜");
  EXPECT_EQ(Items(f.lstSakumotsu), (V{"トマト", "ミニトマト"}));
  EXPECT_EQ(Combo(f.cbLevel2), (V{"全て", "トマト"}));
  f.cbLevel1->setCurrentIndex(0);
  EXPECT_EQ(Items(f.lstSakumotsu), (V{"キャベツ", "トマト", "ミニトマト"}));
  // Subgroups come from the crops of the chosen group only (陸稲 is not in the result).
  Choose(f.cbLevel0, "稲");
  EXPECT_EQ(Combo(f.cbLevel1), (V{"全て", "水稲"}));
  EXPECT_EQ(Items(f.lstSakumotsu), (V{"水稲"}));

  // The reading order keeps the chosen groups.
  Choose(f.cbLevel0, "果樹類");
  EXPECT_EQ(Items(f.lstSakumotsu), (V{"温州みかん", "りんご", "なし"}));
  f.cbOrder->setCurrentIndex(1);
  EXPECT_EQ(f.cbLevel0->currentText().toStdString(), "果樹類");
  EXPECT_EQ(Items(f.lstSakumotsu), (V{"温州みかん", "なし", "りんご"}));

  // "全て" shows every crop again and refills the large groups.
  f.cbLevel0->setCurrentIndex(0);
  EXPECT_EQ(f.lstSakumotsu->count(), 7);
  EXPECT_EQ(Combo(f.cbLevel0), (V{"全て", "果樹類", "野菜類", "稲"}));
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(ui.reports.empty());
}

TEST_F(CropGroupPickerTest, OkGivesTheCheckedCropsAsCommaText) {
  TfrmTabByochuSaku p(nullptr);
  auto &f = p.Form();
  p.LoadAllSakumotsu();
  Choose(f.cbLevel0, "野菜類");
  EXPECT_EQ(ExecWith(p, [&] {
              f.ckAll->click();
              f.btnOk->click();
            }),
            QDialog::Accepted);
  EXPECT_EQ(U(p.GetSelectedSakumotsu()), "キャベツ,トマト,ミニトマト");

  TfrmTabByochuSaku q(nullptr);
  q.LoadAllSakumotsu();
  ASSERT_TRUE(Check(q.Form().lstSakumotsu, "水稲"));
  ASSERT_TRUE(Check(q.Form().lstSakumotsu, "なし"));
  ExecWith(q, [&] { q.Form().btnOk->click(); });
  EXPECT_EQ(U(q.GetSelectedSakumotsu()), "なし,水稲");
}

}  // namespace

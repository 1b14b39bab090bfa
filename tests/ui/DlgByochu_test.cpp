// The pest/disease picker by crop against the sample database.
#include "ui/DlgByochu.h"

#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>

#include "components/CheckListBoxEx.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "support/sample_acisdb.h"
#include "ui/picker_test_util.h"
#include "ui_DlgByochu.h"

using namespace qmtest;
using namespace cp932::literals;
using V = std::vector<std::string>;

namespace {

V Sorted(V v) {
  std::sort(v.begin(), v.end());
  return v;
}

class ByochuTest : public ::testing::Test {
 protected:
  void Search(const char *word) {
    f.edtInput->clear();
    TypeJapanese(f.edtInput, word);
    QTest::keyClick(f.edtInput, Qt::Key_Return);
  }
  TTempSettings settings_;
  TScopedRecordingUi ui_;
  TSampleAcisDb db_;
  TfrmByochu dlg{nullptr};
  Ui::frmByochu &f = dlg.Form();
};

TEST_F(ByochuTest, CropSearchFindsCropsAlsoWithParentheses) {
  EXPECT_EQ(dlg.windowTitle().toStdString(), "病害虫選択");
  ASSERT_EQ(f.cboCID->count(), 7);
  EXPECT_EQ(f.cboCID->itemText(0).toStdString(), "");
  EXPECT_EQ(f.cboCID->itemText(1).toStdString(), "病害");
  Search("かんきつ(なつみかんを除く)");
  EXPECT_EQ(Items(f.lstSakumotsu), V{"かんきつ(なつみかんを除く)"});
  Search("ミニトマト");
  const V crops = Items(f.lstSakumotsu);
  EXPECT_NE(std::find(crops.begin(), crops.end(), "ミニトマト"), crops.end());
  EXPECT_NE(std::find(crops.begin(), crops.end(), "ミニトマト(施設栽培)"), crops.end());
  EXPECT_TRUE(ui_.boxes.empty());
  Search("ぞうさん");  // no crop: the warning, and an empty list
  EXPECT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(f.lstSakumotsu->count(), 0);
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(ByochuTest, PestsOfTheCheckedCropsByCategoryAndOrder) {
  Search("ミニトマト");
  EXPECT_FALSE(f.ckAll->isEnabled());
  ASSERT_TRUE(Check(f.lstSakumotsu, "ミニトマト"));
  EXPECT_EQ(Sorted(Items(f.lstByochu)), Sorted({"いもち病", "うどんこ病", "ダニ類", "炭疽病", "苗立枯病(ピシウム菌)"}));
  EXPECT_TRUE(f.ckAll->isEnabled());
  ASSERT_TRUE(Check(f.lstSakumotsu, "ミニトマト(施設栽培)"));
  EXPECT_EQ(f.lstByochu->count(), 8);
  f.cboCID->setCurrentIndex(1);  // 病害
  EXPECT_EQ(Sorted(Items(f.lstByochu)), Sorted({"いもち病", "うどんこ病", "炭疽病", "苗立枯病(ピシウム菌)", "灰色かび病"}));
  f.cbOrder->setCurrentIndex(1);  // ID順
  EXPECT_EQ(Items(f.lstByochu), (V{"うどんこ病", "灰色かび病", "いもち病", "炭疽病", "苗立枯病(ピシウム菌)"}));
  // A category without pests for these crops: the warning, and the list keeps its items.
  f.cboCID->setCurrentIndex(4);  // 鳥獣
  EXPECT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(f.lstByochu->count(), 5);
  // No crop checked: the pest list is emptied.
  Check(f.lstSakumotsu, "ミニトマト", false);
  Check(f.lstSakumotsu, "ミニトマト(施設栽培)", false);
  EXPECT_EQ(f.lstByochu->count(), 0);
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(ByochuTest, AddAppendsReplaceReplacesAndParenthesesGoFullWidth) {
  QLineEdit target;
  dlg.Target = &target;
  Search("ミニトマト");
  Check(f.lstSakumotsu, "ミニトマト");
  dlg.btnReplaceClick();  // nothing checked: the edit stays
  EXPECT_EQ(target.text().toStdString(), "");
  Check(f.lstByochu, "うどんこ病");
  Check(f.lstByochu, "苗立枯病(ピシウム菌)");
  f.btnAdd->click();
  EXPECT_EQ(target.text().toStdString(), "うどんこ病,苗立枯病（ピシウム菌）");
  Check(f.lstByochu, "うどんこ病", false);
  Check(f.lstByochu, "苗立枯病(ピシウム菌)", false);
  Check(f.lstByochu, "ダニ類");
  f.btnAdd->click();
  EXPECT_EQ(target.text().toStdString(), "うどんこ病,苗立枯病（ピシウム菌）,ダニ類");
  f.btnReplace->click();
  EXPECT_EQ(target.text().toStdString(), "ダニ類");
  f.ckAll->click();
  EXPECT_EQ(f.lstByochu->CheckCount(), f.lstByochu->count());
  f.btnReplace->click();
  EXPECT_EQ(target.text().count(QChar(',')), f.lstByochu->count() - 1);
  // Without a target, Add and Replace do nothing.
  dlg.Target = nullptr;
  f.btnAdd->click();
  EXPECT_EQ(dlg.result(), 0);
}

TEST_F(ByochuTest, BracketVariantsBecomeOneItem) {
  struct Case {
    const char *name, *stripped;
  } cases[] = {{"苗立枯病(ピシウム菌)", "苗立枯病"}, {"苗立枯病", "苗立枯病"}, {"(x)", ""}, {"ダニ類", "ダニ類"}};
  for (const Case &c : cases)
    EXPECT_EQ(cp932::ToUtf8(StripParenSuffix(cp932::FromUtf8(c.name))), c.stripped) << c.name;
  for (const char *n : {"苗立枯病(ピシウム菌)", "うどんこ病", "苗立枯病", "(x)", "苗立枯病(リゾクトニア菌)"})
    f.lstByochu->AddItem(cp932::FromUtf8(n));
  f.ckKakko->setVisible(true);
  f.ckKakko->click();
  EXPECT_EQ(Items(f.lstByochu), (V{"苗立枯病", "うどんこ病"}));
}

}  // namespace

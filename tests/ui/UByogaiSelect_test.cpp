// The pest, disease and weed picker against the sample database.
#include "ui/UByogaiSelect.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include "components/CheckListBoxEx.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "support/enginefixture.h"
#include "support/sample_acisdb.h"
#include "ui/picker_test_util.h"
#include "ui_UByogaiSelect.h"

using namespace qmtest;
using V = std::vector<std::string>;

namespace {

class ByogaiTest : public ::testing::Test {
 protected:
  void SetUp() override { db_.db().SetLogTarget(&log_); }
  void TearDown() override { db_.db().SetLogTarget(nullptr); }
  TTempSettings settings_;
  TScopedRecordingUi ui_;
  TSampleAcisDb db_;
  LogLines log_;
};

TEST_F(ByogaiTest, ListsComeFromTheDatabase) {
  TDlgByogai dlg(nullptr);
  auto &f = dlg.Form();
  EXPECT_EQ(dlg.windowTitle().toStdString(), "病害虫種類選択");
  EXPECT_EQ(f.lstByogai->count(), 13);
  EXPECT_EQ(Items(f.lstGaichuGroup), (V{"全て", "吸汁性害虫", "食葉性害虫", "ダニ類・センチュウ類"}));
  EXPECT_EQ(f.lstGaichu->count(), 13);
  EXPECT_EQ(Items(f.lstZassouGroup), (V{"全て", "一年生雑草", "多年生雑草"}));
  EXPECT_EQ(f.lstZassou->count(), 8);
  EXPECT_EQ(f.lstChoju->count(), 3);
  EXPECT_EQ(f.lstMokuteki->count(), 8);  // その他 and 使用目的
  ASSERT_EQ(f.cboCID->count(), 7);
  EXPECT_EQ(f.cboCID->itemText(0).toStdString(), "");
  EXPECT_EQ(f.cboCID->itemText(3).toStdString(), "雑草");
  EXPECT_EQ(f.PageControl->currentIndex(), 0);
  EXPECT_FALSE(f.actAdd->isEnabled());
  EXPECT_FALSE(f.actReplace->isEnabled());
  EXPECT_TRUE(f.rbBubun->isChecked());
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(ByogaiTest, TheListLastCheckedGivesTheNamesAndAddAppends) {
  QLineEdit target;
  TDlgByogai dlg(nullptr);
  dlg.SetTarget(&target);
  auto &f = dlg.Form();
  ASSERT_TRUE(Check(f.lstGaichu, "コナガ"));
  ASSERT_TRUE(Check(f.lstGaichu, "ハダニ類"));
  EXPECT_EQ(f.eName->text().toStdString(), "コナガ,ハダニ類");
  EXPECT_TRUE(f.actAdd->isEnabled());
  ASSERT_TRUE(Check(f.lstZassou, "スギナ"));
  EXPECT_EQ(f.eName->text().toStdString(), "スギナ");

  // "追加" twice appends twice; "置換" replaces.
  f.ToolBar->findChild<QToolButton *>("tbtnAdd")->click();
  EXPECT_EQ(target.text().toStdString(), "スギナ");
  f.actAdd->trigger();
  EXPECT_EQ(target.text().toStdString(), "スギナ,スギナ");
  ASSERT_TRUE(Check(f.lstZassou, "スギナ", false));
  EXPECT_EQ(f.eName->text().toStdString(), "");
  EXPECT_FALSE(f.actReplace->isEnabled());
  dlg.actReplaceExecute();  // nothing picked: the edit keeps its text
  EXPECT_EQ(target.text().toStdString(), "スギナ,スギナ");
  ASSERT_TRUE(Check(f.lstChoju, f.lstChoju->item(0)->text().toStdString()));
  f.ToolBar->findChild<QToolButton *>("tbtnReplace")->click();
  EXPECT_EQ(target.text(), f.lstChoju->item(0)->text());
}

TEST_F(ByogaiTest, GroupChecksLoadTheirPests) {
  TDlgByogai dlg(nullptr);
  auto &f = dlg.Form();
  ASSERT_TRUE(Check(f.lstGaichuGroup, "吸汁性害虫"));
  EXPECT_EQ(Items(f.lstGaichu), (V{"アブラムシ類", "アザミウマ類", "ウンカ類", "カメムシ類", "コナジラミ類"}));
  ASSERT_TRUE(Check(f.lstGaichuGroup, "ダニ類・センチュウ類"));
  EXPECT_EQ(f.lstGaichu->count(), 8);
  ASSERT_TRUE(Check(f.lstGaichuGroup, "全て"));
  EXPECT_EQ(f.lstGaichu->count(), 13);
  for (const char *g : {"全て", "吸汁性害虫", "ダニ類・センチュウ類"}) Check(f.lstGaichuGroup, g, false);
  EXPECT_EQ(f.lstGaichu->count(), 0);
  ASSERT_TRUE(Check(f.lstZassouGroup, "多年生雑草"));
  EXPECT_EQ(Items(f.lstZassou), (V{"多年生広葉雑草", "スギナ", "雑灌木"}));
  EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(ByogaiTest, NameSearchByModeAndCategory) {
  TDlgByogai dlg(nullptr);
  auto &f = dlg.Form();
  struct Case {
    const char *word;
    QRadioButton *mode;
    int category;
    V found;  // empty: the no-data warning
  } cases[] = {
      {"アリマキ", f.rbBubun, 0, {"アブラムシ類"}},   // other names are searched too
      {"あぶらむし", f.rbBubun, 0, {"アブラムシ類"}},  // folded: hiragana finds katakana
      {"アリマキ", f.rbSuffix, 0, {"アブラムシ類"}},
      {"アリマキ", f.rbPrefix, 0, {}},
      {"アブラ", f.rbPrefix, 0, {"アブラムシ類"}},
      {"アブラムシ類", f.rbSuffix, 0, {}},  // the joined names end with the other name
      {"雑草", f.rbBubun, 3, {"一年生雑草", "水田一年生雑草", "一年生広葉雑草", "一年生イネ科雑草", "多年生広葉雑草"}},
      {"雑草", f.rbBubun, 1, {}},
      {"O'Brien", f.rbBubun, 0, {}},  // a quote stays inside the word
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.word);
    f.eSearchStr->clear();
    f.cboCID->setCurrentIndex(c.category);
    c.mode->setChecked(true);
    TypeJapanese(f.eSearchStr, c.word);
    ui_.boxes.clear();
    QTest::keyClick(f.eSearchStr, Qt::Key_Return);
    EXPECT_EQ(Items(f.lstByomei), c.found);
    EXPECT_EQ(ui_.boxes.size(), c.found.empty() ? 1u : 0u);
  }
  EXPECT_TRUE(ui_.reports.empty());
  ASSERT_FALSE(log_.lines.empty());
  EXPECT_EQ(cp932::ToUtf8(log_.lines.back()), "SELECT byochu FROM m_byochu WHERE  concat('、',byochu,betsumei) MATCH '%O''Brien%'");
}

TEST_F(ByogaiTest, SearchRunsOnlyWithAWord) {
  TDlgByogai dlg(nullptr);
  auto &f = dlg.Form();
  const std::size_t before = log_.lines.size();
  f.bSearch->click();
  f.rbPrefix->click();
  f.cboCID->setCurrentIndex(2);
  EXPECT_EQ(log_.lines.size(), before);
  TypeJapanese(f.eSearchStr, "コナ");
  f.rbPrefix->click();  // a mode button searches at once
  EXPECT_EQ(Items(f.lstByomei), (V{"コナジラミ類", "コナガ"}));
  f.cboCID->setCurrentIndex(1);  // and so does a category
  EXPECT_EQ(f.lstByomei->count(), 0);
  // A click into the word searches again; the search button is the default only while the
  // word has the focus.
  const std::size_t searches = log_.lines.size();
  QTest::mousePress(f.eSearchStr, Qt::LeftButton);
  EXPECT_EQ(log_.lines.size(), searches + 1);
  QFocusEvent in(QEvent::FocusIn), out(QEvent::FocusOut);
  QCoreApplication::sendEvent(f.eSearchStr, &in);
  EXPECT_TRUE(f.bSearch->isDefault());
  QCoreApplication::sendEvent(f.eSearchStr, &out);
  EXPECT_FALSE(f.bSearch->isDefault());
  // The picked name of the search list counts like any other list's.
  f.cboCID->setCurrentIndex(0);
  ASSERT_TRUE(Check(f.lstByomei, "コナガ"));
  EXPECT_EQ(f.eName->text().toStdString(), "コナガ");
}

TEST_F(ByogaiTest, SizesAreRememberedAndCloseCancels) {
  {
    TDlgByogai dlg(nullptr);
    dlg.resize(520, 410);
    dlg.show();
    dlg.Form().PageControl->setCurrentIndex(1);
    QApplication::processEvents();
    QTest::mousePress(dlg.Form().splGaichu, Qt::LeftButton, {}, QPoint(10, 2));
    QMouseEvent drag(QEvent::MouseMove, QPointF(10, 42), dlg.Form().splGaichu->mapToGlobal(QPointF(10, 42)),
                     Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(dlg.Form().splGaichu, &drag);
    EXPECT_EQ(dlg.Form().lstGaichuGroup->height(), 120);
    dlg.Form().PageControl->setCurrentIndex(2);
    QApplication::processEvents();
    dlg.Form().lstZassouGroup->setFixedHeight(90);
    const int r = ExecWith(dlg, [&] {
      dlg.Form().ToolBar->findChild<QToolButton *>("tbtnClose")->click();
    }, QDialog::Accepted);
    EXPECT_EQ(r, QDialog::Rejected);
  }
  EXPECT_NE(settings_.Text().find("DlgByogaiWidth=520"), std::string::npos) << settings_.Text();
  EXPECT_NE(settings_.Text().find("DlgByogaiListGroupHeight="), std::string::npos);
  {
    TDlgByogai again(nullptr);
    EXPECT_EQ(again.size(), QSize(520, 410));
    // The group lists keep their heights, also when their pages were never shown.
    again.show();
    again.Form().PageControl->setCurrentIndex(1);
    QApplication::processEvents();
    EXPECT_EQ(again.Form().lstGaichuGroup->height(), 120);
    again.reject();
  }
  EXPECT_NE(settings_.Text().find("DlgByogaiListGroupHeight=120"), std::string::npos) << settings_.Text();
  EXPECT_NE(settings_.Text().find("DlgByogaiListZassouGroupHeight=90"), std::string::npos) << settings_.Text();
}

}  // namespace

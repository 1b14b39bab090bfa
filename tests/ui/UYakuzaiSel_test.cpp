// The chemical picker against the sample database.
#include "ui/UYakuzaiSel.h"

#include <gtest/gtest.h>

#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include "components/CheckListBoxEx.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "support/sample_acisdb.h"
#include "ui/picker_test_util.h"
#include "ui_UYakuzaiSel.h"

using namespace qmtest;
using V = std::vector<std::string>;

namespace {

class YakuzaiSelTest : public ::testing::Test {
 protected:
  TTempSettings settings_;
  TScopedRecordingUi ui_;
  TSampleAcisDb db_;
};

TEST_F(YakuzaiSelTest, StartListsAndOkDisabled) {
  TDlgYakuzaiSel dlg(nullptr);
  auto &f = dlg.Form();
  EXPECT_EQ(dlg.windowTitle().toStdString(), "薬剤候補");
  EXPECT_EQ(f.lstTsusho->count(), 39);
  EXPECT_EQ(f.lstTsusho->item(0)->text().toStdString(), "イルマスプレー");  // ordered by reading
  EXPECT_EQ(f.lstRac->count(), 35);
  EXPECT_EQ(f.lstSeibun->count(), 68);
  EXPECT_TRUE(f.lstSeibun->item(0)->flags() & Qt::ItemIsUserCheckable);
  EXPECT_GT(f.lstShurui->count(), 3);
  EXPECT_GT(f.lstKeito->count(), 3);
  EXPECT_GT(f.lstISO->count(), 3);
  EXPECT_EQ(f.lstSayoten->count(), 35);
  EXPECT_GT(f.lstRacKeito->count(), 3);
  EXPECT_FALSE(f.btnOK->isEnabled());
  EXPECT_FALSE(f.btnKan->isVisible());
  EXPECT_FALSE(f.btnKan->isEnabled());
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(YakuzaiSelTest, RefillButtons) {
  TDlgYakuzaiSel dlg(nullptr);
  auto &f = dlg.Form();
  struct Case {
    QToolButton *button;
    QListWidget *list;
    V items;  // empty: the warning, and the list keeps what it had
  } cases[] = {
      // Readings compare folded: voiced kana belong to the row of their plain kana.
      {f.btnTa, f.lstTsusho, {"タブユナ水和剤", "ダソクリーン粒剤", "ダノネキャ1キロ粒剤", "ダフェユサ粉剤DL", "トヂキ粒剤",
                              "ドヅバパゲ"}},
      {f.btnWa, f.lstTsusho, {"ワガロ", "ワソルン"}},
      {f.btn09, f.lstTsusho, {}},
      {f.btnFracGroup, f.lstRac, {"1", "2", "3", "6", "M", "P"}},
      {f.btnHrac, f.lstRac, {"H:0", "H:1", "H:10", "H:14", "H:15", "H:2", "H:22", "H:29", "H:4", "H:5", "H:9"}},
      {f.btnSayotenIrac, f.lstSayoten,
       {"作用点I10A", "作用点I11A", "作用点I14", "作用点I1B", "作用点I28", "作用点I3A", "作用点I4A", "作用点I5", "作用点I6"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.button->objectName().toStdString());
    c.list->setCurrentRow(0);
    const V before = Items(c.list);
    ui_.boxes.clear();
    c.button->click();
    if (c.items.empty()) {
      EXPECT_EQ(ui_.boxes.size(), 1u);
      EXPECT_EQ(Items(c.list), before);
    } else {
      EXPECT_TRUE(ui_.boxes.empty());
      EXPECT_EQ(Items(c.list), c.items);
    }
  }
  f.btnAll->click();
  EXPECT_EQ(f.lstTsusho->count(), 39);
  // The effect buttons narrow the ingredients and classes; "全部" brings back all of them.
  f.btnSeibun1->click();
  const int fungicides = f.lstSeibun->count();
  f.btnSeibun5->click();
  EXPECT_GT(fungicides, 0);
  EXPECT_GT(f.lstSeibun->count(), fungicides);
  const int types = f.lstShurui->count();
  f.btnShurui3->click();
  EXPECT_GT(f.lstShurui->count(), 0);
  EXPECT_LT(f.lstShurui->count(), types);
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(YakuzaiSelTest, OkWritesTheSelectedEntryOrTheCheckedIngredients) {
  QLineEdit target("old");
  TDlgYakuzaiSel dlg(nullptr);
  dlg.TargetEdit = &target;
  auto &f = dlg.Form();
  // The selected entry of the active tab.
  f.pgYakuzai->setCurrentWidget(f.tabRac);
  EXPECT_FALSE(f.btnOK->isEnabled());
  f.lstRac->setCurrentRow(2);
  EXPECT_TRUE(f.btnOK->isEnabled());
  f.pgYakuzai->setCurrentWidget(f.tabISO);
  EXPECT_FALSE(f.btnOK->isEnabled());
  f.pgYakuzai->setCurrentWidget(f.tabRac);
  EXPECT_TRUE(f.btnOK->isEnabled());
  const int r = ExecWith(dlg, [&] { f.btnOK->click(); });
  EXPECT_EQ(r, QDialog::Accepted);
  EXPECT_EQ(target.text().toStdString(), "F:12");

  // Two checked ingredients, whatever entry is selected.
  TDlgYakuzaiSel again(nullptr);
  again.TargetEdit = &target;
  auto &g = again.Form();
  g.pgYakuzai->setCurrentWidget(g.tabSeibun);
  Check(g.lstSeibun, "DEP");
  Check(g.lstSeibun, "BT");
  g.lstSeibun->setCurrentRow(0);
  ExecWith(again, [&] { g.btnOK->click(); });
  EXPECT_EQ(target.text().toStdString(), "BT DEP");
  // Unchecked again, the selected entry counts.
  TDlgYakuzaiSel third(nullptr);
  third.TargetEdit = &target;
  auto &h = third.Form();
  h.pgYakuzai->setCurrentWidget(h.tabSeibun);
  Check(h.lstSeibun, "BT");
  Check(h.lstSeibun, "BT", false);
  h.lstSeibun->setCurrentRow(0);
  third.show();
  QApplication::processEvents();
  ExecWith(third, [&] {
    const QPoint at = h.lstSeibun->visualItemRect(h.lstSeibun->item(0)).center() + QPoint(20, 0);
    QTest::mousePress(h.lstSeibun->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(h.lstSeibun->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(h.lstSeibun->viewport(), Qt::LeftButton, {}, at);
  });
  EXPECT_EQ(third.result(), QDialog::Accepted);
  EXPECT_EQ(target.text().toStdString(), "2,4-PA");
}

TEST_F(YakuzaiSelTest, TickingIngredientsByTheirCheckBoxesEnablesOk) {
  QLineEdit target;
  TDlgYakuzaiSel dlg(nullptr);
  dlg.TargetEdit = &target;
  auto &f = dlg.Form();
  f.pgYakuzai->setCurrentWidget(f.tabSeibun);
  dlg.show();
  QApplication::processEvents();
  auto tick = [&](int row) {
    const QRect r = f.lstSeibun->visualItemRect(f.lstSeibun->item(row));
    QTest::mouseClick(f.lstSeibun->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 10, r.center().y()));
  };
  EXPECT_FALSE(f.btnOK->isEnabled());
  tick(3);
  ASSERT_EQ(f.lstSeibun->item(3)->checkState(), Qt::Checked) << "the click missed the check box";
  EXPECT_TRUE(f.btnOK->isEnabled());
  tick(1);
  ExecWith(dlg, [&] { f.btnOK->click(); });
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(target.text(), f.lstSeibun->item(1)->text() + " " + f.lstSeibun->item(3)->text());
}

TEST(YakuzaiSelNoDb, OpensEmpty) {
  TTempSettings settings;
  TScopedRecordingUi ui;
  ASSERT_EQ(AcisDB, nullptr);
  TDlgYakuzaiSel dlg(nullptr);
  EXPECT_EQ(dlg.Form().lstTsusho->count(), 0);
  EXPECT_EQ(dlg.Form().lstSeibun->count(), 0);
  EXPECT_FALSE(dlg.Form().btnOK->isEnabled());
  dlg.Form().btnA->click();
  EXPECT_TRUE(ui.boxes.empty());
}

// Dragging the active tab onto the first tab's rectangle makes it the first tab; the
// order, the active tab and the size come back the next time.
TEST_F(YakuzaiSelTest, TabDraggedToTheFrontKeepsItsPlace) {
  {
    TDlgYakuzaiSel dlg(nullptr);
    dlg.resize(480, 400);
    dlg.show();
    auto &f = dlg.Form();
    QTabBar *bar = f.pgYakuzai->tabBar();
    const QPoint from = bar->tabRect(4).center(), to = bar->tabRect(0).center();
    QTest::mousePress(bar, Qt::LeftButton, {}, from);
    EXPECT_EQ(f.pgYakuzai->currentWidget(), f.tabISO);
    // Not yet a drag: a few pixels.
    QMouseEvent small(QEvent::MouseMove, QPointF(from + QPoint(5, 0)), bar->mapToGlobal(QPointF(from + QPoint(5, 0))),
                      Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(bar, &small);
    EXPECT_EQ(dlg.DropMarkX(), -1);
    QMouseEvent over(QEvent::MouseMove, QPointF(to), bar->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(bar, &over);
    EXPECT_EQ(dlg.DropMarkX(), bar->tabRect(0).left() + 1);  // before the active tab: its left edge
    const QPoint last = bar->tabRect(7).center();
    QMouseEvent after(QEvent::MouseMove, QPointF(last), bar->mapToGlobal(QPointF(last)), Qt::NoButton, Qt::LeftButton,
                      {});
    QCoreApplication::sendEvent(bar, &after);
    EXPECT_GT(dlg.DropMarkX(), bar->tabRect(7).center().x());  // after it: its right edge
    QCoreApplication::sendEvent(bar, &over);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, to);
    EXPECT_EQ(dlg.DropMarkX(), -1);
    EXPECT_EQ(f.pgYakuzai->widget(0), f.tabISO);
    EXPECT_EQ(f.pgYakuzai->widget(1), f.tabTsusho);
    EXPECT_EQ(f.pgYakuzai->currentWidget(), f.tabISO);
    f.pgYakuzai->setCurrentWidget(f.tabKeito);
    dlg.reject();
  }
  const std::string ini = settings_.Text();
  EXPECT_NE(ini.find("YakuzaiSelTabIsoPageIndex=0"), std::string::npos) << ini;
  EXPECT_NE(ini.find("YakuzaiSelTabRacKeitoIndex=7"), std::string::npos) << ini;
  EXPECT_NE(ini.find("YakuzaiSelpgYakuzaiActivePageIndex=4"), std::string::npos) << ini;
  TDlgYakuzaiSel again(nullptr);
  auto &g = again.Form();
  EXPECT_EQ(again.size(), QSize(480, 400));
  std::vector<QWidget *> order;
  for (int i = 0; i < g.pgYakuzai->count(); ++i) order.push_back(g.pgYakuzai->widget(i));
  EXPECT_EQ(order, (std::vector<QWidget *>{g.tabISO, g.tabTsusho, g.tabShurui, g.tabSeibun, g.tabKeito, g.tabSayoten,
                                           g.tabRac, g.tabRackeito}));
  EXPECT_EQ(g.pgYakuzai->currentWidget(), g.tabKeito);
  EXPECT_EQ(g.pgYakuzai->tabText(0).toStdString(), "ISO名");
}

}  // namespace

// The use and formulation check lists, and where the pickers open.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "components/CheckListBoxEx.h"
#include "ui/DlgYoto.h"
#include "ui/DlgZaikei.h"
#include "ui/PickerPlacement.h"
#include "ui/picker_test_util.h"
#include "ui_DlgYoto.h"
#include "ui_DlgZaikei.h"

using namespace qmtest;
using V = std::vector<std::string>;
using namespace cp932::literals;

namespace {

TEST(TickListTest, FixedItemsInOrder) {
  TfrmYoto yoto(nullptr);
  EXPECT_EQ(yoto.windowTitle().toStdString(), "用途選択");
  EXPECT_EQ(Items(yoto.Form().lstYoto), (V{"殺虫剤", "殺虫殺菌剤", "殺菌剤", "殺菌植調剤", "殺菌除草剤", "除草剤",
                                           "植物成長調整剤", "殺そ剤", "農薬肥料", "その他"}));
  TfrmZaikei zaikei(nullptr);
  EXPECT_EQ(zaikei.windowTitle().toStdString(), "剤型選択");
  EXPECT_EQ(zaikei.Form().lstZaikei->count(), 16);
  EXPECT_EQ(zaikei.Form().lstZaikei->item(7)->text().toStdString(), "マイクロカプセル剤");
  EXPECT_TRUE(zaikei.Form().lstZaikei->item(0)->flags() & Qt::ItemIsUserCheckable);
}

// The caller's round: tick from its text, run modally, read back on OK.
TEST(TickListTest, CallerRoundTrip) {
  struct Case {
    const char *preset;
    std::function<void(TfrmZaikei &)> act;
    int result;
    const char *selection;
  } cases[] = {
      {"乳剤,粒剤", [](TfrmZaikei &d) { d.Form().Button1->click(); }, QDialog::Accepted, "粒剤,乳剤"},
      {"", [](TfrmZaikei &d) { d.Form().Button1->click(); }, QDialog::Accepted, ""},
      {"乳剤", [](TfrmZaikei &d) { QTest::keyClick(&d, Qt::Key_Escape); }, QDialog::Rejected, "乳剤"},
      {"乳剤", [](TfrmZaikei &d) { d.Form().Button2->click(); }, QDialog::Rejected, "乳剤"},
      {"", [](TfrmZaikei &d) { d.Form().ckAll->click(); d.Form().Button1->click(); }, QDialog::Accepted,
       "粉剤,粉粒剤,粒剤,乳剤,水和剤,水溶剤,液剤,マイクロカプセル剤,エアゾル,塗布剤,ペースト剤,くん煙剤,くん蒸剤,油剤,"
       "農薬肥料,その他"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.preset);
    QLineEdit edit(QString::fromUtf8(c.preset));
    TfrmZaikei dlg(nullptr);
    dlg.CheckNames(FromQ(edit.text()));
    const int r = ExecWith(dlg, [&] { c.act(dlg); });
    EXPECT_EQ(r, c.result);
    if (r == QDialog::Accepted) edit.setText(ToQ(dlg.GetSelection()));
    EXPECT_EQ(edit.text().toStdString(), c.selection);
  }
}

TEST(TickListTest, AllUnticksHandTicksToo) {
  TfrmYoto dlg(nullptr);
  auto &f = dlg.Form();
  dlg.show();
  Check(f.lstYoto, "除草剤");
  f.ckAll->click();
  EXPECT_EQ(f.lstYoto->CheckCount(), 10);
  f.ckAll->click();
  EXPECT_EQ(f.lstYoto->CheckCount(), 0);
  f.Button1->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.GetSelection(), "");
}

TEST(TickListTest, ItemsWithBlanksSurviveTheCommaText) {
  TfrmYoto dlg(nullptr);
  dlg.SetItems({"殺虫剤"_sj, "a b"});
  dlg.CheckNames("\"a b\"");
  dlg.show();
  dlg.Form().Button1->click();
  EXPECT_EQ(dlg.GetSelection(), "\"a b\"");
}

// The picker opens below the control, moved back onto the work area.
TEST(PlacementTest, BelowTheControlAndInsideTheWorkArea) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  QWidget host;
  host.setGeometry(area);
  QPushButton button(&host);
  host.show();
  QWidget picker(nullptr, Qt::Tool);
  picker.resize(300, 200);
  const int right = area.right() + 1 - 300, bottom = area.bottom() + 1 - 200;
  // -1 for a coordinate that stays at the button's bottom-left corner.
  struct Case {
    QPoint at;
    int x, y;
  } cases[] = {
      {QPoint(40, 50), -1, -1},
      {QPoint(area.width() - 100, 60), right, -1},
      {QPoint(40, area.height() - 30), -1, bottom},
      {QPoint(area.width() - 50, area.height() - 25), right, bottom},
  };
  for (const Case &c : cases) {
    button.setGeometry(QRect(c.at, QSize(80, 20)));
    const QPoint corner = button.mapToGlobal(QPoint(0, 20));
    PlaceBelowControl(&picker, &button);
    EXPECT_EQ(picker.pos(), QPoint(c.x < 0 ? corner.x() : c.x, c.y < 0 ? corner.y() : c.y))
        << c.at.x() << "," << c.at.y();
  }
}

}  // namespace

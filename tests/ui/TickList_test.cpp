// The use and formulation check lists, and where the pickers open.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

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

// The picker opens below the control, moved back onto the work area by the size and frame
// it has once shown: here its layout makes it larger than it was when it was placed.
TEST(PlacementTest, BelowTheControlAndInsideTheWorkArea) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  QWidget host;
  host.setGeometry(area);
  QPushButton button(&host);
  host.show();
  struct Case {
    const char *where;
    QPoint at;
    bool at_right, at_bottom;
  } cases[] = {
      {"room below and to the right", QPoint(40, 50), false, false},
      {"right edge", QPoint(area.width() - 100, 60), true, false},
      {"bottom edge", QPoint(40, area.height() - 30), false, true},
      {"both edges", QPoint(area.width() - 50, area.height() - 25), true, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.where);
    QWidget picker(nullptr, Qt::Tool);
    picker.resize(100, 50);
    auto *layout = new QVBoxLayout(&picker);
    auto *body = new QWidget(&picker);
    body->setMinimumSize(300, 200);
    layout->addWidget(body);
    button.setGeometry(QRect(c.at, QSize(80, 20)));
    const QPoint corner = button.mapToGlobal(QPoint(0, 20));
    PlaceBelowControl(&picker, &button);
    picker.show();
    QCoreApplication::processEvents();
    const QRect frame = picker.frameGeometry();
    EXPECT_TRUE(area.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
    EXPECT_EQ(frame.left(), c.at_right ? area.right() + 1 - frame.width() : corner.x());
    EXPECT_EQ(frame.top(), c.at_bottom ? area.bottom() + 1 - frame.height() : corner.y());
  }
}

}  // namespace

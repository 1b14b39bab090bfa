// The pest picker of the crop result filters, driven the way the crop tab drives it.
#include "ui/DlgSakuByochu.h"

#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>

#include "components/CheckListBoxEx.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "support/sample_acisdb.h"
#include "ui/picker_test_util.h"
#include "ui_DlgSakuByochu.h"

using namespace qmtest;
using namespace cp932::literals;
using V = std::vector<std::string>;

namespace {

class SakuByochuTest : public ::testing::Test {
 protected:
  // The crop tab's pest filter: the offered names, the current ones checked, the crop part
  // hidden.
  void Offer(const V &names, const V &checked) {
    std::vector<std::string> sjis;
    for (const std::string &n : names) {
      f.lstByochu->AddItem(cp932::FromUtf8(n));
      sjis.push_back(cp932::FromUtf8(n));
    }
    for (const std::string &c : checked) Check(f.lstByochu, c);
    dlg.ByochuList = JoinCommaText(sjis);
    f.lstSakumotu->hide();
    f.Panel2->hide();
    f.Splitter1->hide();
  }
  TTempSettings settings_;
  TScopedRecordingUi ui_;
  TSampleAcisDb db_;
  TfrmSakuByochu dlg{nullptr};
  Ui::frmSakuByochu &f = dlg.Form();
};

const V kOffered = {"うどんこ病", "コナガ", "スギナ", "アブラムシ類", "ハダニ類"};

TEST_F(SakuByochuTest, CategoryFilterWorksInsideTheOfferedNames) {
  Offer(kOffered, {"コナガ"});
  EXPECT_EQ(dlg.minimumWidth(), 280);
  EXPECT_EQ(dlg.maximumWidth(), 800);
  f.cboCID->setCurrentIndex(2);  // 害虫, in ID order
  EXPECT_EQ(Items(f.lstByochu), (V{"アブラムシ類", "コナガ", "ハダニ類"}));
  EXPECT_EQ(f.lstByochu->CheckCount(), 0);  // the caller's checks are not restored
  EXPECT_TRUE(f.ckAll->isEnabled());
  // A category none of whose names were offered: the warning, and the list stays.
  f.cboCID->setCurrentIndex(4);  // 鳥獣
  EXPECT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(f.lstByochu->count(), 3);
  // "全て" gives back exactly the offered names, unchecked.
  Check(f.lstByochu, "コナガ");
  f.cboCID->setCurrentIndex(0);
  EXPECT_EQ(Items(f.lstByochu), kOffered);
  EXPECT_EQ(f.lstByochu->CheckCount(), 0);
  // The sort order over every offered name, then within a category.
  f.cboSort->setCurrentIndex(0);
  f.cboSort->setCurrentIndex(1);  // よみ順
  EXPECT_EQ(f.lstByochu->count(), 5);
  f.cboSort->setCurrentIndex(0);  // ID順
  EXPECT_EQ(Items(f.lstByochu), (V{"うどんこ病", "アブラムシ類", "コナガ", "ハダニ類", "スギナ"}));
  f.cboCID->setCurrentIndex(3);  // 雑草
  f.cboSort->setCurrentIndex(1);
  EXPECT_EQ(Items(f.lstByochu), V{"スギナ"});
  EXPECT_TRUE(ui_.reports.empty());
}

TEST_F(SakuByochuTest, OkReturnsTheCheckedNamesAndCancelNothing) {
  struct Case {
    V checked;
    bool ok;
    const char *text;  // what the caller's combo receives; null: left alone
  } cases[] = {
      {{"コナガ", "スギナ"}, true, "コナガ,スギナ"},
      {{}, true, ""},
      {{"コナガ"}, false, nullptr},
  };
  for (const Case &c : cases) {
    TfrmSakuByochu d(nullptr);
    for (const std::string &n : kOffered) d.Form().lstByochu->AddItem(cp932::FromUtf8(n));
    for (const std::string &n : c.checked) Check(d.Form().lstByochu, n);
    std::string combo = "old";
    const int r = ExecWith(d, [&] { (c.ok ? d.Form().btnOk : d.Form().btnCancel)->click(); });
    if (r == QDialog::Accepted) combo = cp932::ToUtf8(d.GetSelectedByochu());
    EXPECT_EQ(combo, c.text ? c.text : "old");
  }
}

TEST_F(SakuByochuTest, CheckedCropsLoadTheirPests) {
  TypeJapanese(f.edtInput, "りんご");
  QTest::keyClick(f.edtInput, Qt::Key_Return);
  ASSERT_TRUE(Check(f.lstSakumotu, "りんご")) << ::testing::PrintToString(Items(f.lstSakumotu));
  EXPECT_EQ(Items(f.lstByochu), (V{"うどんこ病", "カメムシ類", "スギナ", "ネコブセンチュウ", "ハモグリバエ類", "一年生雑草",
                                   "雑灌木"}));
  Check(f.lstSakumotu, "りんご", false);
  EXPECT_EQ(f.lstByochu->count(), 0);
  f.ckAll->click();
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.reports.empty());
}

// The splitter bar sets the height of the control above it.
TEST_F(SakuByochuTest, SplitterBarResizesTheCropList) {
  dlg.resize(300, 500);
  dlg.show();
  QApplication::processEvents();
  const int before = f.lstSakumotu->height();
  QTest::mousePress(f.Splitter1, Qt::LeftButton, {}, QPoint(10, 2));
  QMouseEvent move(QEvent::MouseMove, QPointF(10, 42), f.Splitter1->mapToGlobal(QPointF(10, 42)), Qt::NoButton,
                   Qt::LeftButton, {});
  QCoreApplication::sendEvent(f.Splitter1, &move);
  EXPECT_EQ(f.lstSakumotu->height(), before + 40);
}

}  // namespace

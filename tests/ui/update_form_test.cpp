// The update window's choices: the source kind and page from the settings, the mirror and
// user-site controls, the offline state of the buttons, and closing during a run.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include "engine/UiServices.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/UUpdate.h"

namespace {

class UpdateFormTest : public ::testing::Test {
 protected:
  TOptionData saved = *OptionData;
  TScopedRecordingUi ui;
  void TearDown() override {
    *OptionData = saved;
    AutoUpdateSwitch = OfflineSwitch = false;
  }
  template <typename T>
  static T *Get(TfrmUpdate &w, const char *name) {
    T *p = w.findChild<T *>(name);
    EXPECT_NE(p, nullptr) << name;
    return p;
  }
};

}  // namespace

TEST_F(UpdateFormTest, SettingsChooseKindPageAndButtons) {
  struct Case {
    int down_site;
    const char *user_site;
    bool use_lan, offline, slash_f;
    int kind, page;
    bool mirror_shown;
    const char *caption;
    bool auto_enabled;
  } cases[] = {
      {0, "", false, false, false, 0, 0, true, "データ更新", true},
      {2, "", true, false, false, 2, 2, true, "データ更新 - 共有フォルダからの更新", true},
      {3, "", false, true, false, 3, 3, true, "データ更新", false},
      {4, "http://example.invalid/", false, false, true, 4, 3, false, "データ更新", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.down_site);
    OptionData->DownSite = static_cast<std::uint8_t>(c.down_site);
    OptionData->DownSiteTorvDB = 1;
    OptionData->UserSite = c.user_site;
    OptionData->UseLAN = c.use_lan;
    OptionData->OffLine = c.offline;
    OfflineSwitch = c.slash_f;
    TfrmUpdate w;
    EXPECT_EQ(w.SourceKind, c.kind);
    EXPECT_EQ(w.MirrorIndex, 1);
    EXPECT_EQ(Get<QTabWidget>(w, "pgSite")->currentIndex(), c.page);
    EXPECT_EQ(Get<QComboBox>(w, "cbTorvDBSite")->isHidden(), !c.mirror_shown);
    EXPECT_EQ(Get<QLineEdit>(w, "edtDownloadSite")->isHidden(), c.mirror_shown);
    if (!c.mirror_shown) {
      EXPECT_EQ(Get<QLineEdit>(w, "edtDownloadSite")->text().toStdString(), c.user_site);
    }
    EXPECT_EQ(w.windowTitle().toStdString(), c.caption);
    EXPECT_EQ(Get<QToolButton>(w, "bAuto")->isEnabled(), c.auto_enabled);
    EXPECT_FALSE(Get<QToolButton>(w, "bAbort")->isEnabled());
    // The step buttons wait for the manual toggle; the download buttons stay off when offline.
    EXPECT_FALSE(Get<QPushButton>(w, "bCsvToDB")->isEnabled());
    Get<QToolButton>(w, "ckManual")->click();
    EXPECT_TRUE(Get<QPushButton>(w, "bCsvToDB")->isEnabled());
    EXPECT_TRUE(Get<QPushButton>(w, "btnUnpackDB")->isEnabled());
    EXPECT_EQ(Get<QPushButton>(w, "bTorvDown")->isEnabled(), c.auto_enabled);
    // During a step only the abort button works.
    w.EnableControls(false);
    EXPECT_TRUE(Get<QToolButton>(w, "bAbort")->isEnabled());
    EXPECT_FALSE(Get<QToolButton>(w, "bClose")->isEnabled());
    EXPECT_FALSE(Get<QPushButton>(w, "bCsvToDB")->isEnabled());
  }
}

TEST_F(UpdateFormTest, PageAndSiteChoices) {
  OptionData->DownSite = 0;
  OptionData->DownSiteTorvDB = 2;
  OptionData->UserSite = "";
  TfrmUpdate w;
  auto *pages = Get<QTabWidget>(w, "pgSite");
  pages->setCurrentIndex(1);
  EXPECT_EQ(w.SourceKind, 1);
  Get<QRadioButton>(w, "rdCustum")->click();
  EXPECT_EQ(w.SourceKind, 4);
  pages->setCurrentIndex(2);
  pages->setCurrentIndex(3);
  EXPECT_EQ(w.SourceKind, 3);  // no user site to fetch from
  OptionData->UserSite = "http://example.invalid/";
  pages->setCurrentIndex(0);
  pages->setCurrentIndex(3);
  EXPECT_EQ(w.SourceKind, 4);
  Get<QRadioButton>(w, "rdTorv")->click();
  EXPECT_EQ(w.SourceKind, 3);
  auto *mirrors = Get<QComboBox>(w, "cbTorvDBSite");
  EXPECT_EQ(mirrors->currentIndex(), 2);
  EXPECT_EQ(mirrors->count(), 4);
  mirrors->setCurrentIndex(0);
  emit mirrors->activated(0);
  EXPECT_EQ(w.MirrorIndex, 0);
  EXPECT_EQ(OptionData->DownSiteTorvDB, 2);  // the choice lasts for this window only
  // Back from the user's site, the list shows the setting's mirror, and that is fetched from.
  Get<QRadioButton>(w, "rdCustum")->click();
  Get<QRadioButton>(w, "rdTorv")->click();
  EXPECT_EQ(mirrors->currentIndex(), 2);
  EXPECT_EQ(w.MirrorIndex, 2);
}

TEST_F(UpdateFormTest, ClosingDuringAnAutomaticRun) {
  struct Case {
    bool running, slash_u, closes;
  } cases[] = {{false, false, true}, {true, false, false}, {true, true, true}};
  for (const Case &c : cases) {
    AutoUpdateSwitch = c.slash_u;
    TfrmUpdate w;
    w.show();
    w.AutoRunning = c.running;
    w.close();
    EXPECT_EQ(w.isVisible(), !c.closes) << c.running << c.slash_u;
    w.show();
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_EQ(w.isVisible(), !c.closes) << "Escape " << c.running << c.slash_u;
    w.AutoRunning = false;
  }
}

#include "ui/UOption.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "components/DialogServices.h"
#include "components/editor/QmEdit.h"
#include "components/editor/QmHighlighterSQL.h"
#include "components/WinSpinEdit.h"
#include "components/qtext.h"
#include "engine/UiServices.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"

using namespace cp932::literals;

namespace {

class OptionDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TOptionData &o = *OptionData;
    o = TOptionData(home_.str());
    o.SetDefaults();
    o.Load();
    // Values that differ from every default, so that a field the dialog loses shows.
    o.TekiyouFont = {"Noto Sans CJK JP", 128, -14, 10, 1, 0x00112233};
    o.Tekiyou2Font = {"Noto Serif", 128, -13, 9, 2, static_cast<std::int32_t>(0x80000008u)};
    o.SeibunGridFont = {"DejaVu Sans", 1, -11, 8, 0, 0};
    o.LogFont = {"DejaVu Sans Mono", 128, -12, -9, 0, 0x000000FF};
    o.MainFormFont = {"ＭＳ Ｐゴシック"_sj, 128, -12, 9, 0, static_cast<std::int32_t>(0x80000008u)};
    o.SQLEditFont = {"Courier", 0, -15, 11, 3, 0};
    o.TekiyouColor = 0x00ABCDEF;
    o.TekiyouColor2 = 0x00F3F1E2;
    o.LogColor = 0x00C0C0C0;
    o.SQLEditColor = static_cast<std::int32_t>(0x80000005u);
    o.TekiyouGridEveryOtherLine = false;
    o.ToolBarFlat = false;
    o.ToolBarCaption = true;
    o.MenuImageSize = 2;
    o.BtnImageSize = 3;
    o.SakumotsuTreeIndent = 30;
    o.RecvBufferSize = 2;
    o.ReadTimeout = 5000;
    o.ReceiveTimeout = 12000;
    o.OoConnect = false;
    o.UseProxyAuth = true;
    o.ProxyUsername = "user";
    o.ProxyPassword = "p@ss word";
    o.ProxyManual = true;
    o.ProxyName = "proxy:8080";
    o.ProxyBypass = "localhost";
    o.DownSite = 4;
    o.DownSiteTorvDB = 1;
    o.UserSite = "https://example.invalid/";
    o.UseLAN = true;
    o.dirLAN = "/mnt/share/Download";
    o.NoUpdateCheck = true;
    o.GridMaxWidth = 320;
    o.GridLineSpace = 4;
    o.GridLineAddSpace = 3;
    o.ExportssCssFile = "mine.css";
    o.SQLKeywordColor = 0x00008000;
    o.SQLKeywordBold = false;
    o.SQLCommentColor = 0x00123456;  // none of the listed colours
    o.SQLCommentBold = true;
    o.SQLCommentItalic = true;
    o.SQLFunctionColor = 0x000000FF;
    o.SQLDatatypeColor = 0x00808080;
    o.SQLDatatypeBold = true;
    o.SQLTableNameColor = 0x00800080;
    o.SQLPLsqlColor = 0x00FFFF00;
    o.SQLPlusColor = 0x00008080;
    o.SQLPlusBold = false;
    o.SQLPragmasColor = 0x00000080;
    o.SQLPragmasBold = false;
    o.SQLEditorLineSpace = 4;
    o.SQLEditorLineNumber = false;
    o.SQLEditorRightEdge = 100;
    o.SQLEditorWordwrap = true;
    o.TabletMode = true;
    o.TabletSplitterWidth = 12;
    o.TabletTabHeight = 40;
    saved_ = o;
  }

  TfrmOption *Open(TOptionTargets targets = {}) {
    dlg_.reset(new TfrmOption(nullptr, std::move(targets)));
    dlg_->show();
    return dlg_.get();
  }
  template <class T>
  T *W(const char *name) {
    T *w = dlg_->findChild<T *>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  // Every stored field of the two objects compared, by name.
  static void ExpectSameSettings(const TOptionData &a, const TOptionData &b) {
#define SAME(f) EXPECT_EQ(a.f, b.f) << #f
    SAME(TekiyouFont); SAME(Tekiyou2Font); SAME(SeibunGridFont); SAME(LogFont); SAME(MainFormFont);
    SAME(SQLEditFont); SAME(TekiyouColor); SAME(TekiyouColor2); SAME(LogColor); SAME(SQLEditColor);
    SAME(TekiyouGridEveryOtherLine); SAME(ToolBarFlat); SAME(ToolBarCaption); SAME(MenuImageSize);
    SAME(BtnImageSize); SAME(SakumotsuTreeIndent); SAME(RecvBufferSize); SAME(ReadTimeout);
    SAME(ReceiveTimeout); SAME(OoConnect); SAME(UseProxyAuth); SAME(ProxyUsername); SAME(ProxyPassword);
    SAME(ProxyManual); SAME(ProxyName); SAME(ProxyBypass); SAME(DownSite); SAME(DownSiteTorvDB);
    SAME(UserSite); SAME(UseLAN); SAME(dirLAN); SAME(NoUpdateCheck); SAME(dirDownloadPath);
    SAME(DownloadRelativePath); SAME(DownloadFolder); SAME(GridMaxWidth); SAME(GridLineSpace);
    SAME(GridLineAddSpace); SAME(ExportssCssFile); SAME(SQLKeywordColor); SAME(SQLKeywordBold);
    SAME(SQLCommentColor); SAME(SQLCommentBold); SAME(SQLCommentItalic); SAME(SQLFunctionColor);
    SAME(SQLFunctionBold); SAME(SQLDatatypeColor); SAME(SQLDatatypeBold); SAME(SQLTableNameColor);
    SAME(SQLTableNameBold); SAME(SQLPLsqlColor); SAME(SQLPLsqlBold); SAME(SQLPlusColor); SAME(SQLPlusBold);
    SAME(SQLPragmasColor); SAME(SQLPragmasBold); SAME(SQLEditorLineSpace); SAME(SQLEditorLineNumber);
    SAME(SQLEditorRightEdge); SAME(SQLEditorWordwrap); SAME(TabletMode); SAME(TabletSplitterWidth);
    SAME(TabletTabHeight);
#undef SAME
  }

  qmtest::TempDir home_;
  qmtest::ScopedEngineState state_;
  TScopedRecordingUi boxes_;
  TOptionData saved_;
  std::unique_ptr<TfrmOption> dlg_;
};

TEST_F(OptionDialogTest, OkWithoutChangesWritesBackEveryFieldAsItWas) {
  Open();
  EXPECT_EQ(W<QTabWidget>("PageControl1")->currentWidget()->objectName(), "tabView");
  EXPECT_EQ(W<QComboBox>("cbBufferSize")->currentIndex(), 2);
  EXPECT_EQ(W<QLineEdit>("edtProxyPassword")->text(), "p@ss word");
  EXPECT_TRUE(W<QRadioButton>("rbDownSite4")->isChecked());
  EXPECT_TRUE(W<QLineEdit>("eUserSite")->isEnabled());
  EXPECT_FALSE(W<QLineEdit>("eTekiyou2")->isEnabled());  // every-other-line is off
  EXPECT_EQ(W<TWinSpinEdit>("seTreeIndent")->text(), "30");
  EXPECT_EQ(dlg_->SampleFont(1), saved_.TekiyouFont);
  *OptionData = TOptionData(home_.str());  // the dialog must restore every field it shows
  W<QPushButton>("bOk")->click();
  EXPECT_EQ(dlg_->result(), QDialog::Accepted);
  TOptionData expected = saved_;
  OptionData->DownloadFolder = expected.DownloadFolder;  // no download folder chosen: untouched
  ExpectSameSettings(*OptionData, expected);
}

TEST_F(OptionDialogTest, ChangedControlsAreStoredOnOkAndNotOnCancel) {
  auto change = [this] {
    W<QCheckBox>("ckTekiyouEveryOtherLine")->setChecked(true);
    W<QComboBox>("cbBtnImageSize")->setCurrentIndex(1);
    W<TWinSpinEdit>("seGridMaxWidth")->SetValue(500);
    W<TWinSpinEdit>("eTimeOut")->setText("abc");  // not a number: 0
    W<QRadioButton>("rbDownSite2")->click();
    W<QLineEdit>("edtProxyPassword")->setText("new");
    W<QCheckBox>("ckSQLCommentItalic")->setChecked(false);
    W<QComboBox>("cbSQLKeywordColor")->setCurrentIndex(0);  // black
    W<QCheckBox>("ckWordwrap")->setChecked(false);
  };
  Open();
  change();
  W<QPushButton>("bCancel")->click();
  EXPECT_EQ(dlg_->result(), QDialog::Rejected);
  ExpectSameSettings(*OptionData, saved_);

  Open();
  change();
  W<QPushButton>("bOk")->click();
  EXPECT_TRUE(OptionData->TekiyouGridEveryOtherLine);
  EXPECT_EQ(OptionData->BtnImageSize, 1);
  EXPECT_EQ(OptionData->GridMaxWidth, 500);
  EXPECT_EQ(OptionData->ReadTimeout, 0);
  EXPECT_EQ(OptionData->DownSite, 2);
  EXPECT_EQ(OptionData->ProxyPassword, "new");
  EXPECT_FALSE(OptionData->SQLCommentItalic);
  EXPECT_EQ(OptionData->SQLKeywordColor, 0);
  EXPECT_FALSE(OptionData->SQLEditorWordwrap);
  EXPECT_EQ(OptionData->SQLCommentColor, 0x00123456);  // an unlisted colour survives
}

TEST_F(OptionDialogTest, ApplyThenCancelKeepsTheAppliedSettings) {
  Open();
  W<TWinSpinEdit>("seGridLineSpace")->SetValue(10);
  W<QPushButton>("bUpdate")->click();
  EXPECT_TRUE(dlg_->isVisible());
  EXPECT_EQ(OptionData->GridLineSpace, 10);
  W<TWinSpinEdit>("seGridLineSpace")->SetValue(2);
  W<QPushButton>("bCancel")->click();
  EXPECT_EQ(OptionData->GridLineSpace, 10);
}

// A value typed and confirmed with Enter is kept in range as leaving the field keeps it.
TEST_F(OptionDialogTest, EnterInASpinEditStoresTheValueInItsRange) {
  const struct {
    const char *edit, *typed;
    int TOptionData::*field;
    int stored;
  } cases[] = {
      {"eTimeOut", "-5", &TOptionData::ReadTimeout, 0},
      {"eReceiveTimeOut", "99999", &TOptionData::ReceiveTimeout, 30000},
      {"seTreeIndent", "3", &TOptionData::SakumotsuTreeIndent, 19},
      {"seGridLineSpace", "13", &TOptionData::GridLineSpace, 12},
  };
  for (const auto &c : cases) {
    Open();
    auto *edit = W<TWinSpinEdit>(c.edit);
    edit->setFocus();
    edit->clear();
    QTest::keyClicks(edit, c.typed);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(dlg_->result(), QDialog::Accepted) << c.edit << ": Enter goes on to OK";
    EXPECT_EQ(OptionData->*c.field, c.stored) << c.edit << " " << c.typed;
  }
}

TEST_F(OptionDialogTest, ProxyPasswordIsStoredScrambledAndReadsBack) {
  Open();
  const std::string password = "秘密 pass\"1"_sj;
  W<QLineEdit>("edtProxyPassword")->setText(ToQ(password));
  W<QPushButton>("bOk")->click();
  ASSERT_TRUE(OptionData->Save());
  TIniFile ini(OptionData->IniFileName);
  const std::string stored = ini.ReadString(SEC_NET, "ProxyPassword", "");
  EXPECT_FALSE(stored.empty());
  EXPECT_EQ(stored.find("pass"), std::string::npos);  // never in clear
  TOptionData again(home_.str());
  again.Load();
  EXPECT_EQ(again.ProxyPassword, password);
}

TEST_F(OptionDialogTest, SharedAndDownloadFoldersNeedText) {
  Open();
  W<QLineEdit>("edtSharedFolder")->clear();
  W<QCheckBox>("ckUseLAN")->click();  // off
  W<QLineEdit>("edtSaveFolder")->clear();
  W<QCheckBox>("ckRelativePath")->setChecked(true);
  W<QPushButton>("bUpdate")->click();
  EXPECT_TRUE(OptionData->UseLAN);
  EXPECT_EQ(OptionData->dirLAN, "/mnt/share/Download");
  EXPECT_FALSE(OptionData->DownloadRelativePath);

  // A chosen download folder below the program folder, kept relative.
  TScopedRecordingDialogs dialogs;
  dialogs.answers.push_back({true, home_.str() + "dl/x", "x"});
  W<QPushButton>("btnSaveFolder")->click();
  ASSERT_EQ(dialogs.folders.size(), 1u);
  EXPECT_EQ(dialogs.folders[0].Root, CSIDL_DRIVES);
  EXPECT_EQ(dialogs.folders[0].Title, "ダウンロードファイル保存フォルダを指定して下さい"_sj);
  EXPECT_EQ(dialogs.folders[0].InitialFolder, OptionData->DownloadFolder);
  EXPECT_EQ(FromQ(W<QLineEdit>("edtSaveFolder")->text()), home_.str() + "dl/x");
  W<QCheckBox>("ckRelativePath")->setChecked(false);
  W<QCheckBox>("ckRelativePath")->click();  // on: relative to the program folder
  EXPECT_EQ(FromQ(W<QLineEdit>("edtSaveFolder")->text()), "dl/x");
  W<QPushButton>("bUpdate")->click();
  EXPECT_EQ(OptionData->dirDownloadPath, "dl/x");
  EXPECT_TRUE(OptionData->DownloadRelativePath);
  EXPECT_EQ(OptionData->DownloadFolder, home_.str() + "dl/x");  // never against the working folder
  W<QCheckBox>("ckRelativePath")->click();  // off: absolute again
  EXPECT_EQ(FromQ(W<QLineEdit>("edtSaveFolder")->text()), home_.str() + "dl/x");

  dialogs.answers.push_back({true, "/srv/share", "share"});
  W<QCheckBox>("ckUseLAN")->click();
  W<QPushButton>("btnBrowse")->click();
  EXPECT_EQ(dialogs.folders.back().Root, CSIDL_NETWORK);
  EXPECT_EQ(FromQ(W<QLineEdit>("edtSharedFolder")->text()), "/srv/share");
  dlg_->SharedFolderDrop({QString(300, QChar('a')), "/second"});
  EXPECT_EQ(W<QLineEdit>("edtSharedFolder")->text(), QString(260, QChar('a')));

  dialogs.answers.push_back({true, home_.str() + "css/print.css", ""});
  W<QPushButton>("btnExportssCss")->click();
  EXPECT_EQ(dialogs.files.back().request.InitialDir, OptionData->CssFolder);
  EXPECT_EQ(W<QLineEdit>("edtExportssCss")->text(), "print.css");
}

TEST_F(OptionDialogTest, FontAndColourPickersChangeTheSamples) {
  TScopedRecordingPickers pickers;
  OptionData->TekiyouGridEveryOtherLine = true;
  Open();
  const TFontInfo chosen{"DejaVu Serif", 128, -16, 12, 1, 0x00FF0000};
  pickers.font_answers.push_back(chosen);
  W<QPushButton>("bFont2")->click();
  ASSERT_EQ(pickers.fonts.size(), 1u);
  EXPECT_EQ(pickers.fonts[0].start, saved_.Tekiyou2Font);
  EXPECT_EQ(dlg_->SampleFont(2), chosen);
  EXPECT_EQ(W<QLineEdit>("eTekiyou2")->font().family(), "DejaVu Serif");

  W<QPushButton>("bColor1_")->click();  // cancelled: nothing changes
  ASSERT_EQ(pickers.colors.size(), 1u);
  EXPECT_EQ(pickers.colors[0].start, 0x00ABCDEF);
  EXPECT_EQ(pickers.colors[0].custom_colors, "ColorA=00ABCDEF");
  EXPECT_EQ(dlg_->SampleColor(1), 0x00ABCDEF);
  pickers.color_answers.push_back(0x00102030);
  W<QPushButton>("bColor3")->click();
  EXPECT_EQ(dlg_->SampleColor(7), 0x00102030);

  W<QPushButton>("bOk")->click();
  EXPECT_EQ(OptionData->Tekiyou2Font, chosen);
  EXPECT_EQ(OptionData->SQLEditColor, 0x00102030);
  EXPECT_EQ(OptionData->TekiyouColor, 0x00ABCDEF);
}

TEST_F(OptionDialogTest, EvenRowSampleTakesNoTypingAndDefaultsWaitForOk) {
  OptionData->TekiyouGridEveryOtherLine = true;
  Open();
  QLineEdit *even = W<QLineEdit>("eTekiyou2");
  const QString before = even->text();
  even->setFocus();
  QTest::keyClicks(even, "xyz");
  QTest::keyClick(even, Qt::Key_Backspace);
  EXPECT_EQ(even->text(), before);

  W<QPushButton>("btnDefaultView")->click();
  EXPECT_EQ(dlg_->SampleFont(6).Name, "ＭＳ Ｐゴシック"_sj);
  EXPECT_EQ(dlg_->SampleColor(2), 0x00F3F1E2);
  EXPECT_EQ(dlg_->SampleColor(4), static_cast<std::int32_t>(0x80000005u));
  EXPECT_EQ(W<TWinSpinEdit>("seTreeIndent")->text(), "19");
  ExpectSameSettings(*OptionData, [this] {
    TOptionData o = saved_;
    o.TekiyouGridEveryOtherLine = true;
    return o;
  }());
  W<QPushButton>("bOk")->click();
  EXPECT_EQ(OptionData->LogFont.Name, "ＭＳ Ｐゴシック"_sj);
  EXPECT_EQ(OptionData->LogFont.Size, 9);
  EXPECT_EQ(OptionData->LogColor, static_cast<std::int32_t>(0x80000005u));
  EXPECT_EQ(OptionData->SQLKeywordColor, 0xFF0000);
  EXPECT_TRUE(OptionData->SQLKeywordBold);
  EXPECT_EQ(OptionData->SakumotsuTreeIndent, 19);
  EXPECT_FALSE(OptionData->NoUpdateCheck);
}

TEST_F(OptionDialogTest, AppliesTheSettingsToTheMainWindowsParts) {
  QWidget main_form, grid, log_pane, seibun;
  QFont even_font;
  TQmEdit editor;
  TQmSQLSyn highlighter;
  std::vector<std::string> calls;
  bool grid_shown = false;
  TOptionTargets t;
  t.MainForm = &main_form;
  t.ResultGrids = {&grid};
  t.TekiyouFontGrids = {&grid};
  t.SeibunGrid = &seibun;
  t.EvenRowFont = &even_font;
  t.LogPane = &log_pane;
  t.SQLEdit = &editor;
  t.Highlighter = &highlighter;
  t.FormViewSettings = [&] { calls.push_back("view"); };
  t.ApplyToolBarOptions = [&] { calls.push_back("toolbar"); };
  t.CurrentGridVisible = [&] { return grid_shown; };
  t.AdjustGridColumnWidths = [&] { calls.push_back("widths"); };
  Open(t);
  W<QPushButton>("bUpdate")->click();
  EXPECT_EQ(calls, (std::vector<std::string>{"view", "toolbar"}));  // no visible grid to size
  grid_shown = true;
  W<QPushButton>("bUpdate")->click();
  EXPECT_EQ(calls.back(), "toolbar");
  EXPECT_EQ(calls[3], "widths");

  EXPECT_EQ(main_form.font().family(), ToQ(saved_.MainFormFont.Name));
  EXPECT_EQ(grid.font().family(), "Noto Sans CJK JP");
  EXPECT_EQ(grid.palette().color(QPalette::Base), QColor(0xEF, 0xCD, 0xAB));
  EXPECT_EQ(log_pane.palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(log_pane.palette().color(QPalette::Text), QColor(0xFF, 0, 0));
  EXPECT_EQ(even_font.family(), "Noto Serif");
  EXPECT_TRUE(even_font.italic());
  EXPECT_EQ(highlighter.KeyAttri()->Foreground(), 0x008000);
  EXPECT_EQ(highlighter.KeyAttri()->Style(), 0);
  EXPECT_EQ(highlighter.CommentAttri()->Style(), fsBold | fsItalic);
  EXPECT_EQ(highlighter.CommentAttri()->Foreground(), 0x123456);
  EXPECT_EQ(highlighter.DataTypeAttri()->Style(), fsBold);
  EXPECT_EQ(editor.RightEdge(), 100);
  EXPECT_EQ(editor.ExtraLineSpacing(), 4);
  EXPECT_TRUE(editor.WordWrap());
  EXPECT_FALSE(editor.Gutter().ShowLineNumbers());
  EXPECT_EQ(editor.Color(), clWindow);
  EXPECT_EQ(editor.Font().Name(), "Courier");
}

}  // namespace

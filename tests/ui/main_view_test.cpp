// What a user sees of the main window at start: colours of the stored system colours, window
// titles, Japanese standard buttons, the images of every action in the sizes the settings
// choose, tablet tab heights and captions that are not cut off.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include "components/CheckTreeView.h"
#include "components/ComCtrlsXP.h"
#include "components/grid/ExcelUtil.h"
#include "components/WinSpinEdit.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/UiServices.h"
#include "engine/options.h"
#include "platform/IniFile.h"
#include "platform/cp932.h"
#include "support/enginefixture.h"
#include "support/testutil.h"
#include "ui/pixel_test_util.h"
#include "ui/ImageLists.h"
#include "ui/LogMemo.h"
#include "ui/ProgramStart.h"
#include "ui/Template.h"
#include "ui/UOption.h"
#include "ui/UStartup.h"
#include "ui/UStartup2.h"
#include "ui/UfraSakumotsu.h"
#include "ui/about.h"
#include "ui/main.h"
#include "ui_UfraSakumotsu.h"
#include "ui_main.h"

using namespace cp932::literals;

namespace {

class MainViewTest : public ::testing::Test {
 protected:
  qmtest::TempDir home;
  qmtest::ScopedEngineState engine{home / "DB"};
  TScopedRecordingUi boxes;
  std::function<int(QDialog *)> saved_modal = TfrmMain::ShowModal;

  void SetUp() override {
    *OptionData = TOptionData(home.str());
    AutoUpdateSwitch = DownloadCheckSwitch = OfflineSwitch = DeveloperSwitch = false;
    TfrmMain::ShowModal = [](QDialog *) { return 0; };
    Ini().WriteBool("NET", "OffLine", true);
  }
  void TearDown() override { TfrmMain::ShowModal = saved_modal; }
  TIniFile Ini() { return TIniFile((home / "quillmar.ini").string()); }

  // The window built and shown, so that its view settings are applied.
  std::unique_ptr<TfrmMain> Shown() {
    auto w = std::make_unique<TfrmMain>(QStringList{}, nullptr);
    w->show();
    for (int i = 0; i < 100 && w->IsStartUp; ++i) QCoreApplication::processEvents();
    return w;
  }
};

// The colour of a widget's pixel in the middle of its empty area.
QColor MiddlePixel(QWidget *w) {
  const QImage image = w->grab().toImage();
  return image.pixelColor(image.width() * 3 / 4, image.height() / 2);
}

TEST_F(MainViewTest, StoredSystemColoursAreThePaletteColoursTheyName) {
  const QColor base = QApplication::palette().color(QPalette::Base);
  ASSERT_NE(base, QColor(Qt::black));
  Ini().WriteBool("WINDOW", "LogPaneVisible", true);
  Ini().WriteInteger("WINDOW", "LogPaneHeight", 80);
  // The defaults are the window colour "80000005" for the log pane and the editor.
  {
    auto w = Shown();
    EXPECT_EQ(w->mLog->palette().color(QPalette::Base), base);
    EXPECT_EQ(MiddlePixel(w->mLog), base);
    EXPECT_EQ(MiddlePixel(w->SQLEditor), base);
    EXPECT_EQ(w->ui->gdTekiyo->palette().color(QPalette::Base), base);
  }
  // A plain colour stays what it says (00BBGGRR), a system colour by its index.
  Ini().WriteString("COLOR", "LogColor", "00F3F1E2");
  Ini().WriteString("COLOR", "SQLEditColor", "8000000F");  // button face
  auto w = Shown();
  EXPECT_EQ(MiddlePixel(w->mLog), QColor(0xE2, 0xF1, 0xF3));
  EXPECT_EQ(MiddlePixel(w->SQLEditor), QApplication::palette().color(QPalette::Button));
}

// A stored font brings its colour from the start, where the window applies it: the log pane,
// the result grids with their even rows, the template pane's grid and the window itself. A
// system colour is the palette colour it names; disabled text keeps the style's own colour.
TEST_F(MainViewTest, StoredFontsShowInTheirColoursFromTheStart) {
  const QColor red(0xC0, 0, 0), green(0, 0x80, 0), navy(0, 0, 0x80);
  const auto font = [](std::int32_t color) { return FontInfoToText({"DejaVu Sans", 0, -20, 0, 0, color}); };
  Ini().WriteBool("WINDOW", "LogPaneVisible", true);
  Ini().WriteInteger("WINDOW", "LogPaneHeight", 80);
  Ini().WriteBool("VIEW", "TekiyouGridEveryOtherLine", true);
  Ini().WriteString("COLOR", "TekiyouColor", "00FFFFFF");
  Ini().WriteString("COLOR", "TekiyouColor2", "00FFFFFF");
  Ini().WriteString("VIEW", "LogFont", font(0x0000C0));
  Ini().WriteString("VIEW", "TekiyouFont", font(0x008000));
  Ini().WriteString("VIEW", "Tekiyou2Font", font(0x800000));
  Ini().WriteString("VIEW", "MainFormFont", font(static_cast<std::int32_t>(0x8000000D)));  // highlight
  auto w = Shown();
  w->AddLog("■■■■"_sj);
  QCoreApplication::processEvents();
  w->mLog->resize(400, 80);
  EXPECT_TRUE(qmtest::HasPixelOf(w->mLog->grab().toImage(), red));

  TXlsStringGrid *g = w->ui->gdTekiyo;
  g->SetColCount(2);
  g->SetRowCount(4);
  for (int c = 0; c < 2; ++c) g->SetColWidths(c, 120);
  for (int r = 0; r < 4; ++r) {
    g->SetRowHeights(r, 30);
    for (int c = 0; c < 2; ++c) g->SetCells(c, r, "■■"_sj);
  }
  g->show();
  const QImage grid = g->viewport()->grab().toImage();
  EXPECT_TRUE(qmtest::HasPixelOf(grid.copy(g->CellRect(1, 3)), green));  // odd row: TekiyouFont
  EXPECT_TRUE(qmtest::HasPixelOf(grid.copy(g->CellRect(1, 2)), navy));   // even row: Tekiyou2Font
  EXPECT_FALSE(qmtest::HasPixelOf(grid.copy(g->CellRect(1, 2)), green));

  EXPECT_EQ(w->TemplateForm->gdTemplate()->palette().color(QPalette::Active, QPalette::Text), green);
  const QColor highlight = QApplication::palette().color(QPalette::Highlight);
  EXPECT_EQ(w->palette().color(QPalette::Active, QPalette::WindowText), highlight);
  EXPECT_EQ(w->ui->eYakuzai->palette().color(QPalette::Active, QPalette::Text), highlight);
  EXPECT_EQ(w->palette().color(QPalette::Disabled, QPalette::WindowText),
            QApplication::palette().color(QPalette::Disabled, QPalette::WindowText));
}

TEST_F(MainViewTest, LogPaneShowsTheStartOfEveryLine) {
  Ini().WriteBool("WINDOW", "LogPaneVisible", true);
  Ini().WriteInteger("WINDOW", "LogPaneHeight", 80);
  auto w = Shown();
  w->AddLog("SQL>SELECT " + std::string(150, 'x') + " FROM vs_sakumotsu2;");
  w->AddLog("next");
  QCoreApplication::processEvents();
  QTextCursor long_line(w->mLog->document()->findBlockByNumber(w->mLog->document()->blockCount() - 2));
  EXPECT_TRUE(w->mLog->viewport()->rect().contains(w->mLog->cursorRect(long_line).topLeft()));
  EXPECT_FALSE(w->mLog->horizontalScrollBar()->isVisible());
}

TEST_F(MainViewTest, WindowTitlesAreExactlyTheCaptions) {
  const QString saved_name = QCoreApplication::applicationName();
  SetUpApplication();
  EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Quillmar"));
  // No display name of its own: the platform then appends nothing to the titles, and the
  // display name follows the application name.
  QCoreApplication::setApplicationName(QStringLiteral("other"));
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("other"));
  QCoreApplication::setApplicationName(saved_name);

  Ini().WriteBool("NET", "OffLine", false);
  {
    TfrmMain w(QStringList{}, nullptr);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Quillmar"));
  }
  TfrmMain offline(QStringList{"/f"}, nullptr);
  EXPECT_EQ(offline.windowTitle(), QString::fromUtf8("Quillmar - オフライン"));
  TfrmAbout about(&offline);
  EXPECT_EQ(about.windowTitle(), QString::fromUtf8("バージョン情報"));
  TfrmStartup startup;
  EXPECT_EQ(startup.windowTitle(), QString::fromUtf8("ダウンロードサイトの設定"));
  TfrmStartup2 startup2;
  EXPECT_EQ(startup2.windowTitle(), QString::fromUtf8("ダウンロードフォルダの設定"));
}

TEST(MessageBoxButtons, ReadInJapanese) {
  ASSERT_TRUE(InstallQtTranslations()) << "Qt's Japanese translations are not installed";
  struct Case {
    unsigned flags;
    std::vector<const char *> captions;
  };
  const std::vector<Case> cases = {
      {MB_YESNOCANCEL, {"はい", "いいえ", "キャンセル"}},
      {MB_OKCANCEL, {"OK", "キャンセル"}},
      {MB_ABORTRETRYIGNORE, {"中止", "再試行", "無視"}},
      {MB_YESNOABORT, {"はい", "いいえ", "中止"}},
  };
  for (const Case &c : cases) {
    QMessageBox box;
    const std::vector<TMessageBoxButton> buttons = SetUpMessageBox(box, "text", "caption", c.flags);
    ASSERT_EQ(buttons.size(), c.captions.size());
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      QString text = box.button(buttons[i].button)->text();
      text.remove(QLatin1Char('&'));
      EXPECT_TRUE(text.startsWith(QString::fromUtf8(c.captions[i]))) << text.toStdString();
    }
  }
}

TEST_F(MainViewTest, EveryActionHasAnImageOfTheConfiguredSize) {
  struct Case {
    int menu, button;
    int menu_px, button_px, tree_px, expand_height;
  };
  // Sizes outside 0 to 3 leave the layout's own sizes.
  const std::vector<Case> cases = {
      {0, 0, 16, 16, 20, 24}, {1, 1, 24, 24, 24, 30}, {2, 3, 32, 48, 48, 54}, {3, 2, 48, 32, 32, 38}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.button);
    Ini().WriteInteger("VIEW", "MenuImageSize", c.menu);
    Ini().WriteInteger("VIEW", "BtnImageSize", c.button);
    Ini().WriteInteger("VIEW", "SakumotsuTreeIndent", 31);
    auto w = Shown();
    EXPECT_EQ(w->ToolBar1->iconSize(), QSize(c.button_px, c.button_px));
    int images = 0;
    for (QAction *a : w->ToolBar1->actions()) {
      if (a->isSeparator()) continue;
      QWidget *b = w->ToolBar1->widgetForAction(a);
      auto *button = qobject_cast<QToolButton *>(b);
      ASSERT_NE(button, nullptr) << a->objectName().toStdString();
      const QIcon icon = button->defaultAction() ? button->defaultAction()->icon() : button->icon();
      ASSERT_FALSE(icon.isNull()) << a->objectName().toStdString();
      EXPECT_EQ(icon.pixmap(QSize(c.button_px, c.button_px)).size(), QSize(c.button_px, c.button_px));
      EXPECT_GE(button->height(), c.button_px);
      ++images;
    }
    EXPECT_GE(images, 7);
    // Every action of the window has an image, also those of the menus only.
    for (QAction *a : w->findChildren<QAction *>()) {
      if (a->isSeparator() || a->objectName().isEmpty()) continue;
      EXPECT_FALSE(a->icon().isNull()) << a->objectName().toStdString();
    }
    for (QMenu *m : {w->mnTekiyouGrid, w->menuBar()->findChild<QMenu *>("mnView")})
      EXPECT_EQ(m->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, m), c.menu_px);
    // The crop frame: its tool bars, its tree's images and indent, its two buttons' height;
    // its mode buttons keep their captions.
    TfraSakumotsuBase *frame = w->ui->fraSakumotsu;
    EXPECT_TRUE(frame->tbMain()->icon().isNull());
    EXPECT_TRUE(frame->tbTekiyo()->icon().isNull());
    EXPECT_EQ(frame->Form().tbTree->iconSize(), QSize(c.button_px, c.button_px));
    EXPECT_EQ(frame->Form().tvSakumotsu->iconSize(), QSize(c.tree_px, c.tree_px));
    EXPECT_EQ(frame->Form().tvSakumotsu->indentation(), 31);
    for (const char *name : {"bExpand", "bCheckALL"}) {
      auto *b = frame->findChild<QToolButton *>(name);
      ASSERT_NE(b, nullptr) << name;
      EXPECT_EQ(b->height(), c.expand_height) << name;
      EXPECT_FALSE(b->icon().isNull()) << name;
    }
  }
  QSize layout_size;
  {
    TfrmMain built(QStringList{}, nullptr);  // not shown: the layout's own size
    layout_size = built.ToolBar1->iconSize();
  }
  Ini().WriteInteger("VIEW", "BtnImageSize", 7);
  Ini().WriteInteger("VIEW", "MenuImageSize", 9);
  auto w = Shown();
  EXPECT_EQ(w->ToolBar1->iconSize(), layout_size);
  EXPECT_EQ(w->mnTekiyouGrid->style(), QApplication::style());
}

TEST_F(MainViewTest, TabletModeSetsTheTabHeights) {
  Ini().WriteBool("OPTIONS", "TabletMode", true);
  Ini().WriteInteger("OPTIONS", "TabletTabHeight", 40);
  auto w = Shown();
  for (QTabWidget *t : {w->ui->pgSearch, w->ui->fraSakumotsu->Form().pgList, w->ui->pgYakuzaiSide,
                        w->ui->pgYakuzaiSideSeibun})
    EXPECT_EQ(t->tabBar()->tabRect(0).height(), 40) << t->objectName().toStdString();
}

}  // namespace

namespace {

// The copy progress of the shell file operation: a window with the operation's title, the
// item in work and a cancel button that stops the operation.
TEST(ProgressWindow, ShowsTheTitleAndItemAndCancels) {
  TQtUiServices services;
  const std::string title = cp932::FromUtf8("acis.zipをコピーしています");
  std::unique_ptr<IProgressWindow> window = services.OpenProgress(title);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->Progress(25, 100, "acis.zip"));
  QProgressDialog *dialog = nullptr;
  for (QWidget *w : QApplication::topLevelWidgets())
    if (auto *d = qobject_cast<QProgressDialog *>(w)) dialog = d;
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), ToQ(title));
  EXPECT_EQ(dialog->labelText(), QStringLiteral("acis.zip"));
  EXPECT_EQ(dialog->value() * 4, dialog->maximum());
  QPushButton *cancel = dialog->findChild<QPushButton *>();
  ASSERT_NE(cancel, nullptr);
  cancel->click();
  EXPECT_FALSE(window->Progress(50, 100, "acis.zip"));
  window.reset();
  for (QWidget *w : QApplication::topLevelWidgets()) EXPECT_EQ(qobject_cast<QProgressDialog *>(w), nullptr);
}

// A page saved from a result shows the window at once: from the first row on it is the modal
// window, so that the other windows take no input and do not close meanwhile.
TEST(ProgressWindow, ShownAtOnceItIsModalFromTheStart) {
  TQtUiServices services;
  QWidget other;
  other.show();
  std::unique_ptr<IProgressWindow> window = services.OpenProgress("x");
  QProgressDialog *dialog = nullptr;
  for (QWidget *w : QApplication::topLevelWidgets())
    if (auto *d = qobject_cast<QProgressDialog *>(w)) dialog = d;
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(dialog->isVisible());  // a short copy ends before it shows
  window->Show();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), dialog);
  window.reset();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace

namespace {

// Condition rows and caption panels are as high as their font and what they hold need.
TEST_F(MainViewTest, CaptionPanelsHoldTheirControlsUncut) {
  auto w = Shown();
  w->ui->pgSearch->setCurrentWidget(w->ui->tabYakuzai);
  QCoreApplication::processEvents();
  QComboBox *use = w->ui->cbYotoTabYakuzai;
  EXPECT_GE(use->height(), use->minimumSizeHint().height());
  EXPECT_GE(w->ui->pnlYotoYt->height(), use->minimumSizeHint().height());
  // Tool-bar captions and drop-down arrows fit their buttons.
  for (QToolButton *b : w->ToolBar1->findChildren<QToolButton *>()) {
    if (!b->isVisible()) continue;
    EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
  }
  for (QLabel *caption : {w->ui->pnlSakumotsuCaptionYt, w->ui->pnlYakuzaiKohoCaptionYt})
    EXPECT_GE(caption->height(), QFontMetrics(caption->font()).height()) << caption->objectName().toStdString();
}

}  // namespace

namespace {

// The settings dialog's image sizes and tree indent show at once in the window.
TEST_F(MainViewTest, SettingsDialogAppliesImageSizesAndTreeIndent) {
  auto w = Shown();
  TfrmMain::ShowModal = [](QDialog *d) {
    d->findChild<QComboBox *>("cbBtnImageSize")->setCurrentIndex(2);
    d->findChild<QComboBox *>("cbMenuImageSize")->setCurrentIndex(1);
    d->findChild<TWinSpinEdit *>("seTreeIndent")->SetValue(40);
    d->findChild<QPushButton *>("bOk")->click();
    return 1;
  };
  w->actOptionExecute();
  EXPECT_EQ(w->ToolBar1->iconSize(), QSize(32, 32));
  EXPECT_EQ(w->mnTekiyouGrid->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, w->mnTekiyouGrid), 24);
  EXPECT_EQ(w->ui->fraSakumotsu->Form().tvSakumotsu->indentation(), 40);
  EXPECT_EQ(w->ui->fraSakumotsu->Form().tvSakumotsu->iconSize(), QSize(32, 32));
}

// The settings dialog reaches the template pane: the base font goes to the pane, the result
// grids' font (with its colour) to its grid, as to the other result grids.
TEST_F(MainViewTest, SettingsDialogReachesTheTemplatePane) {
  auto w = Shown();
  TScopedRecordingPickers pickers;
  pickers.font_answers = {{"DejaVu Serif", 0, -17, 0, 0, 0x008000}, {"DejaVu Sans Mono", 0, -15, 0, 1, 0}};
  TfrmMain::ShowModal = [](QDialog *d) {
    d->findChild<QPushButton *>("bFont1_")->click();    // result grids
    d->findChild<QPushButton *>("bFontMain")->click();  // base font
    d->findChild<QPushButton *>("bOk")->click();
    return 1;
  };
  w->actOptionExecute();
  ASSERT_EQ(pickers.fonts.size(), 2u);
  TXlsStringGrid *template_grid = w->TemplateForm->gdTemplate();
  for (QWidget *g : std::initializer_list<QWidget *>{template_grid, w->ui->gdTekiyo}) {
    EXPECT_EQ(g->font().family(), QStringLiteral("DejaVu Serif")) << g->objectName().toStdString();
    EXPECT_EQ(g->font().pixelSize(), 17);
    EXPECT_EQ(g->palette().color(QPalette::Active, QPalette::Text), QColor(0, 0x80, 0));
  }
  EXPECT_EQ(w->TemplateForm->font().family(), QStringLiteral("DejaVu Sans Mono"));
  EXPECT_TRUE(w->TemplateForm->font().bold());
}

}  // namespace

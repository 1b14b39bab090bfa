// Placed file dialogs and the folder picker, through the recording dialog services and
// through the real dialogs answered by a timer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeView>
#include <limits>

#include "components/BrwsFldr.h"
#include "components/DialogServices.h"
#include "components/PosDlgs.h"
#include "components/qtext.h"
#include "platform/cp932.h"
#include "support/testutil.h"

using namespace cp932::literals;

namespace {

TDlgPosition Pos(TDlgPosOption o, int x = 0, int y = 0) {
  TDlgPosition p;
  p.Option = o;
  p.X = x;
  p.Y = y;
  return p;
}

QRect WorkArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

// Runs f on the modal dialog as soon as it is shown.
template <typename D, typename F>
void WhenShown(F f) {
  QTimer::singleShot(0, [f] {
    auto *d = qobject_cast<D *>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    f(d);
  });
}

}  // namespace

TEST(PlaceDialog, PositionsStayInsideTheWorkArea) {
  QWidget window;
  window.move(120, 130);
  auto *button = new QWidget(&window);
  button->setGeometry(10, 20, 50, 20);
  window.show();
  const QPoint origin = button->mapToGlobal(QPoint(0, 0));

  struct Case {
    const char *what;
    QRect work;
    QSize size;
    TDlgPosition pos;
    const QWidget *owner;
    QPoint expected;
  };
  const QRect screen(0, 0, 800, 600), offset(100, 50, 800, 600);
  const Case cases[] = {
      {"designed, inside", screen, {300, 200}, Pos(dpDesigned, 50, 40), nullptr, {50, 40}},
      {"designed, lower right corner", screen, {300, 200}, Pos(dpDesigned, 780, 590), nullptr, {500, 400}},
      {"designed, left of and above", offset, {300, 200}, Pos(dpDesigned, -30, -10), nullptr, {100, 50}},
      {"centred", offset, {300, 200}, Pos(dpCenter, 5, 5), nullptr, {350, 250}},
      {"centred, larger than the area", offset, {1000, 700}, Pos(dpCenter), nullptr, {100, 50}},
      {"default without owner", screen, {300, 200}, Pos(dpDefault, 60, 70), nullptr, {60, 70}},
      {"default at the owner's client origin", screen, {300, 200}, Pos(dpDefault, 60, 70), button, origin},
      {"designed ignores the owner", screen, {300, 200}, Pos(dpDesigned, 60, 70), button, {60, 70}},
  };
  for (const Case &c : cases)
    EXPECT_EQ(DialogPlacement(c.work, c.size, c.pos, c.owner), c.expected) << c.what;
}

// A window placed from a stored place, against two screens of known size: a 1280 x 1024
// primary screen whose bottom 40 pixels are a task bar, and a 1920 x 1080 screen to its right.
TEST(SavedWindowRect, StoredPlacesOpenOnAScreen) {
  const QRect primary(0, 0, 1280, 984), second(1280, 0, 1920, 1080);
  const QList<QRect> two = {primary, second}, one = {primary}, none;
  const QRect two_virtual(0, 0, 3200, 1080), one_virtual(0, 0, 1280, 1024), no_virtual;
  constexpr qint64 kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  struct Case {
    const char *what;
    qint64 left, top, width, height;
    const QList<QRect> &areas;
    const QRect &virtual_screen;
    QRect expected;
  };
  const Case cases[] = {
      {"on the primary screen", 40, 30, 800, 600, one, one_virtual, {40, 30, 800, 600}},
      {"on the second screen", 1500, 100, 800, 600, two, two_virtual, {1500, 100, 800, 600}},
      {"across both screens", 1000, 100, 800, 600, two, two_virtual, {1000, 100, 800, 600}},
      {"partly below the task bar", 40, 900, 800, 600, one, one_virtual, {40, 900, 800, 600}},
      {"the second screen unplugged", 1500, 100, 800, 600, one, one_virtual, {220, 100, 800, 600}},
      {"beyond the virtual screen", 1300, 100, 800, 600, one, one_virtual, {20, 100, 800, 600}},
      {"far beyond it", 100000, 100, 800, 600, one, one_virtual, {480, 100, 800, 600}},
      {"far below", 40, 90000, 800, 600, one, one_virtual, {40, 384, 800, 600}},
      {"above and left", -5000, -5000, 800, 600, one, one_virtual, {0, 0, 800, 600}},
      {"title bar above the screen", 40, -100, 800, 600, one, one_virtual, {40, 0, 800, 600}},
      {"below the second screen", 2000, 1500, 800, 600, two, two_virtual, {2000, 480, 800, 600}},
      {"larger than the screen, off it", -5000, 50, 2000, 1500, one, one_virtual, {0, 0, 2000, 1500}},
      {"the largest values", kMax, kMax, kMax, kMax, one, one_virtual, {0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX}},
      {"the smallest values", kMin, kMin, kMin, kMin, one, one_virtual, {0, 0, 1, 1}},
      {"no screen", 40, 30, 800, 600, none, no_virtual, {0, 0, 800, 600}},
  };
  for (const Case &c : cases) {
    const QRect r = SavedWindowRect(c.left, c.top, c.width, c.height, c.areas, c.virtual_screen);
    EXPECT_EQ(r, c.expected) << c.what << ": " << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
  }
}

TEST(PlacedFileDialogs, AskTheServicesAndTakeTheirAnswer) {
  TScopedRecordingDialogs dialogs;
  QWidget owner;
  TOpenDialogPos open(&owner);
  open.Title = "定型処理テンプレートファイル読込"_sj;
  open.Filter = "定型処理テンプレートファイル(*.tpl)|*.tpl|全てのファイル(*.*)|*.*"_sj;
  open.DefaultExt = "tpl";
  open.InitialDir = "/data/Template/";
  open.SetPosition(Pos(dpDesigned, 5000, 5000));
  dialogs.answers.push_back({true, "/data/Template/a.tpl", ""});
  ASSERT_TRUE(open.Execute());
  EXPECT_EQ(open.FileName, "/data/Template/a.tpl");
  ASSERT_EQ(dialogs.files.size(), 1u);
  const TFileDialogRequest &r = dialogs.files[0].request;
  EXPECT_FALSE(r.Save);
  EXPECT_EQ(r.Owner, &owner);
  EXPECT_EQ(r.Title, open.Title);
  EXPECT_EQ(r.Filter, open.Filter);
  EXPECT_EQ(r.DefaultExt, "tpl");
  EXPECT_EQ(r.InitialDir, "/data/Template/");
  EXPECT_EQ(dialogs.files[0].placed,
            WorkArea().bottomRight() + QPoint(1, 1) - QPoint(dialogs.DialogSize.width(), dialogs.DialogSize.height()));

  // Cancel, and an empty queue, leave the name.
  dialogs.answers.push_back({false, "/elsewhere", ""});
  EXPECT_FALSE(open.Execute());
  EXPECT_FALSE(open.Execute());
  EXPECT_EQ(open.FileName, "/data/Template/a.tpl");
  EXPECT_EQ(dialogs.files[1].request.FileName, "/data/Template/a.tpl") << "the last name is offered";

  TSaveDialogPos save;
  save.OverwritePromptOn = true;
  save.SetPosition(Pos(dpCenter));
  dialogs.answers.push_back({true, "/data/Template/b.arg", ""});
  ASSERT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName, "/data/Template/b.arg");
  EXPECT_TRUE(dialogs.files.back().request.Save);
  EXPECT_TRUE(dialogs.files.back().request.OverwritePrompt);
  EXPECT_EQ(dialogs.files.back().request.Position.Option, dpCenter);
}

TEST(PlacedFileDialogs, TheQtDialogIsFilledInAndPlaced) {
  TFileDialogRequest r;
  r.Save = true;
  r.Title = "定型処理設定ファイル保存"_sj;
  r.Filter = "定型処理設定ファイル(*.arg)|*.arg|ポスト|*.p;*.q"_sj;  // ポ ends in the bar's byte
  r.DefaultExt = "arg";
  r.Position = Pos(dpCenter);
  auto dialog = TQtDialogServices::CreateFileDialog(r);
  EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("定型処理設定ファイル保存"));
  EXPECT_EQ(dialog->nameFilters(),
            QStringList({QString::fromUtf8("定型処理設定ファイル(*.arg)"), QString::fromUtf8("ポスト (*.p *.q)")}));
  EXPECT_EQ(dialog->defaultSuffix(), "arg");
  EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_EQ(dialog->pos(), DialogPlacement(WorkArea(), dialog->frameGeometry().size(), r.Position, nullptr));

  r.Position = Pos(dpDesigned, 790, 590);
  dialog = TQtDialogServices::CreateFileDialog(r);
  EXPECT_TRUE(WorkArea().contains(dialog->frameGeometry())) << "kept inside the work area";
}

TEST(PlacedFileDialogs, TheQtOpenDialogReturnsTheChosenFile) {
  qmtest::TempDir dir;
  qmtest::WriteFile(dir / "a.tpl", "x");
  TOpenDialogPos open;
  open.Filter = "*.tpl|*.tpl";
  open.InitialDir = dir.str();
  const QString file = QString::fromStdString((dir / "a.tpl").string());
  WhenShown<QFileDialog>([file](QFileDialog *d) {
    d->selectFile(file);
    QMetaObject::invokeMethod(d, "accept");
  });
  ASSERT_TRUE(open.Execute());
  EXPECT_EQ(open.FileName, (dir / "a.tpl").string());
  WhenShown<QFileDialog>([](QFileDialog *d) { d->reject(); });
  EXPECT_FALSE(open.Execute());
}

TEST(BrowseFolderBox, ExecuteTakesAFileSystemFolderOnly) {
  TScopedRecordingDialogs dialogs;
  QWidget owner;
  TBrowseFolderBox box;
  EXPECT_EQ(box.Flags, BIF_RETURNONLYFSDIRS);
  box.OwnerHandle = &owner;
  box.Root = CSIDL_NETWORK;
  box.Title = "共有PCの Download フォルダを指定して下さい"_sj;
  box.Flags |= BIF_STATUSTEXT | BIF_SHAREABLE;
  box.Left = 16;
  box.Top = 16;
  dialogs.answers.push_back({true, "/mnt/pc/Download", "Download"});
  ASSERT_TRUE(box.Execute());
  EXPECT_EQ(box.Folder, "/mnt/pc/Download");
  EXPECT_EQ(box.DisplayName, "Download");
  ASSERT_EQ(dialogs.folders.size(), 1u);
  EXPECT_EQ(dialogs.folders[0].Title, box.Title);
  EXPECT_EQ(dialogs.folders[0].OwnerHandle, &owner);
  EXPECT_EQ(dialogs.folders[0].Root, CSIDL_NETWORK);

  dialogs.answers.push_back({true, "", "ネットワーク"_sj});  // an item without a path
  EXPECT_FALSE(box.Execute());
  dialogs.answers.push_back({false, "/x", "x"});
  EXPECT_FALSE(box.Execute());
  EXPECT_EQ(box.Folder, "/mnt/pc/Download");
  EXPECT_EQ(box.DisplayName, "Download");

  box.Root = 99;
  EXPECT_FALSE(box.Execute()) << "no root, no dialog";
  EXPECT_EQ(dialogs.folders.size(), 3u);
  EXPECT_EQ(SpecialFolderPath(CSIDL_DRIVES), "/");
  EXPECT_EQ(SpecialFolderPath(CSIDL_DESKTOP), "/");
}

TEST(BrowseFolderDialog, GrowsMovesAndShowsTheSelectedPath) {
  qmtest::TempDir dir;
  QDir(QString::fromStdString(dir.str())).mkpath("a/b");
  const QString root = QString::fromStdString(dir.path().string());
  TBrowseFolderBox box;
  box.InitialFolder = dir.str() + "a/b";
  box.Title = "ダウンロードファイル保存フォルダを指定して下さい"_sj;
  box.Flags |= BIF_STATUSTEXT;
  box.Left = 30;
  box.Top = 40;
  box.WidthIncrement = 50;
  box.HeightIncrement = 60;
  TBrowseFolderDialog d(box, root);
  EXPECT_EQ(d.Tree()->geometry(), QRect(12, 68, 296 + 50, 282 + 60));
  EXPECT_EQ(d.OkButton()->geometry(), QRect(148 + 50, 362 + 60, 76, 26));
  EXPECT_EQ(d.CancelButton()->pos(), QPoint(232 + 50, 362 + 60));
  EXPECT_EQ(d.pos(), QPoint(30, 40));
  EXPECT_EQ(d.size(), QSize(320 + 50, 400 + 60));
  EXPECT_EQ(FromQ(d.TitleLabel()->text()), box.Title);
  EXPECT_EQ(d.SelectedPath(), root + "/a/b");
  EXPECT_EQ(d.SelectedDisplayName(), "b");
  EXPECT_EQ(d.StatusLabel()->text(), root + "/a/b");
  ASSERT_TRUE(d.SelectFolder(root + "/a"));
  EXPECT_EQ(d.StatusLabel()->text(), root + "/a");
  EXPECT_FALSE(d.SelectFolder("/"));
  EXPECT_FALSE(d.SelectFolder(root + "/missing"));

  box.Flags = BIF_RETURNONLYFSDIRS;
  box.InitialFolder = "/";
  TBrowseFolderDialog plain(box, root);
  EXPECT_TRUE(plain.StatusLabel()->isHidden());
  EXPECT_EQ(plain.SelectedPath(), root) << "nothing selected: the root";
}

TEST(BrowseFolderDialog, TheQtPickerAnswersWithTheChosenFolder) {
  qmtest::TempDir dir;
  QDir(QString::fromStdString(dir.str())).mkpath(QString::fromUtf8("保存"));
  QDir(QString::fromStdString(dir.str())).mkpath(QString::fromUtf8("한국"));
  TBrowseFolderBox box;
  box.Root = CSIDL_DRIVES;
  auto pick = [&](const char *name) {
    const QString path = QString::fromStdString(dir.str()) + QString::fromUtf8(name);
    WhenShown<TBrowseFolderDialog>([path](TBrowseFolderDialog *d) {
      EXPECT_TRUE(d->SelectFolder(path));
      d->OkButton()->click();
    });
    return box.Execute();
  };
  ASSERT_TRUE(pick("保存"));
  EXPECT_EQ(box.Folder, cp932::FromUtf8(dir.str() + "保存"));
  EXPECT_EQ(box.DisplayName, "保存"_sj);
  EXPECT_FALSE(pick("한국")) << "a path that program text cannot hold is no answer";
  EXPECT_EQ(box.DisplayName, "保存"_sj);
}

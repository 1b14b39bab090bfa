// File open and save dialogs that show themselves where the program wants them: at the
// owner's client origin, centred in the work area, or at given coordinates, always inside
// the work area. They run through the dialog services (DialogServices.h), which tests
// replace.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>
#include <string>

class QWidget;

enum TDlgPosOption { dpDefault, dpCenter, dpDesigned };

class TDlgPosition {
 public:
  TDlgPosOption Option = dpDefault;
  int X = 0;
  int Y = 0;
  void Assign(const TDlgPosition &Source) { *this = Source; }
};

// The top-left corner of a window of the size at At, moved left and up so that it ends
// inside the area, then right and down so that it starts inside it (a window larger than
// the area starts at its left or top edge).
QPoint KeepInsideArea(const QRect &Area, const QPoint &At, const QSize &Size);

// Where a window stored at (Left, Top) with the size (Width, Height) opens, given the
// available areas of the screens and the virtual screen (all screens together). A left
// edge beyond the virtual screen's width first comes back by that width (a monitor that
// was unplugged). A window whose top edge then lies on none of the areas (its title bar
// out of reach) is moved inside the area nearest to it; any other stays where it was. A
// size is at most the largest a window can have. No stored value overflows.
QRect SavedWindowRect(qint64 Left, qint64 Top, qint64 Width, qint64 Height, const QList<QRect> &Areas,
                      const QRect &VirtualScreen);
// The same against the screens there are now.
QRect SavedWindowRect(qint64 Left, qint64 Top, qint64 Width, qint64 Height);

// The size of the window with its frame. A window not framed yet (not shown, or shown and
// not yet framed by the window manager) is given the frame of Near's window.
QSize FrameSize(const QWidget *Window, const QWidget *Near);
// Moves the window to Place(its size with its frame) now and, when it is not shown yet,
// again as it shows: only then are its size (its layout's, or its minimum) and its frame
// final. A later call before the show replaces the earlier one.
void PlaceWithFinalFrame(QWidget *Window, const QWidget *Near, std::function<QPoint(const QSize &FrameSize)> Place);

// The top-left corner of a dialog of the size: with dpDefault the owner's client origin on
// the screen (X, Y without an owner), with dpCenter the middle of the work area, with
// dpDesigned (X, Y); then moved left and up so that it ends inside the work area, and
// right and down so that it starts inside it.
QPoint DialogPlacement(const QRect &WorkArea, const QSize &DialogSize, const TDlgPosition &Position,
                       const QWidget *Owner);
// Moves the dialog window there (its size stays), within the work area of the owner's screen,
// by its final size and frame.
void PlaceDialog(QWidget *Dialog, const TDlgPosition &Position, const QWidget *Owner);

// What both dialogs share. Texts are program text (CP932); Filter is pairs of description
// and patterns separated by "|" ("テキスト(*.txt)|*.txt|全てのファイル(*.*)|*.*").
class TFileDialogPos {
 public:
  explicit TFileDialogPos(QWidget *Owner = nullptr) : Owner(Owner) {}
  virtual ~TFileDialogPos() = default;

  QWidget *Owner;
  std::string Title;
  std::string Filter;
  std::string DefaultExt;
  std::string InitialDir;
  std::string FileName;  // the starting name, and the chosen file after Execute

  const TDlgPosition &Position() const { return FPosition; }
  void SetPosition(const TDlgPosition &Value) { FPosition.Assign(Value); }

  // True when the user chose a file; FileName then holds its path.
  bool Execute();

 protected:
  virtual bool IsSave() const = 0;
  virtual bool OverwritePrompt() const { return false; }

 private:
  TDlgPosition FPosition;
};

class TOpenDialogPos : public TFileDialogPos {
 public:
  using TFileDialogPos::TFileDialogPos;

 protected:
  bool IsSave() const override { return false; }
};

class TSaveDialogPos : public TFileDialogPos {
 public:
  using TFileDialogPos::TFileDialogPos;
  // Ask before replacing an existing file.
  bool OverwritePromptOn = false;

 protected:
  bool IsSave() const override { return true; }
  bool OverwritePrompt() const override { return OverwritePromptOn; }
};

// File open and save dialogs that show themselves where the program wants them: at the
// owner's client origin, centred in the work area, or at given coordinates, always inside
// the work area. They run through the dialog services (DialogServices.h), which tests
// replace.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
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

// The top-left corner of a dialog of the size: with dpDefault the owner's client origin on
// the screen (X, Y without an owner), with dpCenter the middle of the work area, with
// dpDesigned (X, Y); then moved left and up so that it ends inside the work area, and
// right and down so that it starts inside it.
QPoint DialogPlacement(const QRect &WorkArea, const QSize &DialogSize, const TDlgPosition &Position,
                       const QWidget *Owner);
// Moves the dialog window there (its size stays), within the work area of the owner's screen.
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

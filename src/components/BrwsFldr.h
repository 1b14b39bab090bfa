// The folder picker: a dialog with a folder tree under a chosen root, an initial
// selection, a title above the tree, an optional status line showing the selected path, a
// given screen position and a growth of the dialog and its tree. It runs through the
// dialog services (DialogServices.h), which tests replace.
#pragma once

#include <QDialog>
#include <string>

class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;
class QWidget;

// Roots of the tree.
enum : int {
  CSIDL_DESKTOP = 0,  // the whole file system
  CSIDL_PERSONAL = 5,  // the documents folder
  CSIDL_DESKTOPDIRECTORY = 16,
  CSIDL_DRIVES = 17,   // the computer's drives: the whole file system
  CSIDL_NETWORK = 18,  // where network shares are mounted
};
// Flags.
enum : unsigned {
  BIF_RETURNONLYFSDIRS = 0x1,
  BIF_DONTGOBELOWDOMAIN = 0x2,
  BIF_STATUSTEXT = 0x4,
  BIF_NEWDIALOGSTYLE = 0x40,
  BIF_SHAREABLE = 0x8000,
};

// The folder a root number stands for ("" for an unknown number or a missing folder).
std::string SpecialFolderPath(int Csidl);

class TBrowseFolderBox {
 public:
  QWidget *OwnerHandle = nullptr;
  int Root = CSIDL_DESKTOP;
  std::string InitialFolder;  // program text (CP932), as is every text here
  std::string Title;
  unsigned Flags = BIF_RETURNONLYFSDIRS;
  int Left = 0;
  int Top = 0;
  int WidthIncrement = 0;
  int HeightIncrement = 0;

  // Set by Execute when a file-system folder was chosen.
  std::string Folder;
  std::string DisplayName;

  // True when the user picked a file-system folder; Folder and DisplayName hold it. A root
  // that does not exist gives false without a dialog.
  bool Execute();
};

// The picker's window as the program shows it: the title, the status line, the tree and the
// OK and cancel buttons, grown and placed as the box says, the initial folder selected.
class TBrowseFolderDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 320;
  static constexpr int kHeight = 400;

  TBrowseFolderDialog(const TBrowseFolderBox &Box, const QString &RootPath, QWidget *Parent = nullptr);

  QTreeView *Tree() const { return tree_; }
  QPushButton *OkButton() const { return ok_; }
  QPushButton *CancelButton() const { return cancel_; }
  QLabel *StatusLabel() const { return status_; }
  QLabel *TitleLabel() const { return title_; }
  // The selected folder's path and display name (the root when nothing is selected).
  QString SelectedPath() const;
  QString SelectedDisplayName() const;
  // Selects a folder below the root; false when it is not there.
  bool SelectFolder(const QString &Path);

 private:
  void Adjust(const TBrowseFolderBox &Box);
  QFileSystemModel *model_;
  QTreeView *tree_;
  QLabel *title_;
  QLabel *status_;
  QPushButton *ok_;
  QPushButton *cancel_;
  QString root_;
  bool status_on_;
};

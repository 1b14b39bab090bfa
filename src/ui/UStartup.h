// The first-run dialog that chooses where the registration data come from. It writes the
// choice into OptionData; the main window saves the settings later.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class TfrmStartup;
}
class QRadioButton;

// The folder picker of the set-up dialogs, placed at (16, 16) of the owner's client area;
// true with the folder when one was chosen. Texts are program text.
bool PickFolderAt16(QWidget *Owner, int Root, const std::string &Initial, const std::string &Title, unsigned Flags,
                    std::string &Folder);

class TfrmStartup : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmStartup(QWidget *parent = nullptr);
  ~TfrmStartup() override;

  bool Cancelled = false;
  // Escape and the window's close box count as 中止: only 設定 goes on with the start.
  void done(int Result) override;
  std::unique_ptr<Ui::TfrmStartup> ui;

  // The radio group's chosen item, 0 to 3.
  int DownSiteIndex() const;
  void SetDownSiteIndex(int Index);

  void FormCreate();
  void ckUseLANClick();
  void btnLANClick();
  void bDownSiteSetClick();
  void bCancelClick();
  // The drop handler of edtLAN: the first dropped path (at most 260 characters) replaces its text.
  void DropFiles(const QStringList &Paths);

 protected:
  bool eventFilter(QObject *o, QEvent *e) override;

 private:
  QRadioButton *Item(int Index) const;

  bool FConfirmed = false;  // 設定 was pressed
};

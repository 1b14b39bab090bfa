// The first-run dialog that chooses the folder downloaded archives are kept in. It writes
// the choice into OptionData; the main window saves the settings later.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfrmStartup2;
}

class TfrmStartup2 : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmStartup2(QWidget *parent = nullptr);
  ~TfrmStartup2() override;

  bool Cancelled = false;
  // Escape and the window's close box count as 中止: only 設定 goes on with the start.
  void done(int Result) override;
  std::unique_ptr<Ui::TfrmStartup2> ui;

  void btnSaveFolderClick();
  void ckRelativePathClick();
  void btnOKClick();
  void Button2Click();

 private:
  bool FConfirmed = false;  // 設定 was pressed
};

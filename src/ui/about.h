// The About box: the program's release (from its version block), the versions of the
// SQLite and archive libraries, the running system, and a link to the home page.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

class TFileVerInfo;

namespace Ui {
class TfrmAbout;
}

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  // The release comes from the version block of VersionFile (empty: the program file); a
  // file without one shows "Release" alone.
  explicit TfrmAbout(QWidget *owner, const std::string &VersionFile = std::string());
  ~TfrmAbout() override;

  TFileVerInfo *FileVerInfo() const { return FFileVerInfo; }

  void FormCreate();
  void btnOkClick();
  void lblUrlClick();

 protected:
  bool eventFilter(QObject *watched, QEvent *e) override;

 private:
  std::unique_ptr<Ui::TfrmAbout> ui;
  TFileVerInfo *FFileVerInfo = nullptr;
};

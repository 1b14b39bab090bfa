// The confirmation of the argument file to save: the lines of the file in an editable memo
// under a question; "はい" asks for the file and writes the lines, "いいえ" closes. The
// dialog keeps its size in the settings file.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class DlgArgSave;
}

class TDlgArgSave : public QDialog {
  Q_OBJECT

 public:
  explicit TDlgArgSave(QWidget *owner);
  ~TDlgArgSave() override;
  Ui::DlgArgSave &Form() { return *ui; }

  // The memo's lines (program text).
  void SetLines(const std::vector<std::string> &lines);
  std::vector<std::string> Lines() const;

  void btnYesClick();
  void btnNoClick();
  // FormClose: every way of closing passes here.
  void done(int result) override;

 private:
  std::unique_ptr<Ui::DlgArgSave> ui;
};

// Writes the lines as a CP932 file with CR LF after each; false when it cannot be written.
bool WriteArgFile(const std::string &path, const std::vector<std::string> &lines);

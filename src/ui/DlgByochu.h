// The pest/disease picker by crop: crops found by a search word are checked, and the pests,
// diseases and weeds registered for them are picked into the caller's edit. The fixed-procedure
// window opens it for its pest argument.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class frmByochu;
}

class TfrmByochu : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmByochu(QWidget *owner);
  ~TfrmByochu() override;
  Ui::frmByochu &Form() { return *ui; }

  // The caller's edit that receives the picked names; none: Add and Replace do nothing.
  QPointer<QLineEdit> Target;

  // The picked names as comma text, parentheses made full width.
  std::string GetSelection() const;
  void SearchSakumotsu();
  void SearchByochu();
  void DropParenVariants();
  void btnAddClick();
  void btnReplaceClick();
  void btnCancelClick();
  void ckAllClick();

 private:
  void FillSakumotsuList(const std::string &sql);
  void FillByochuList(const std::string &sql);
  void PickCheckedPests();

  std::unique_ptr<Ui::frmByochu> ui;
  std::vector<std::string> FPicked;
};

// The name cut before its first "(" (the whole name when it has none).
std::string StripParenSuffix(const std::string &name);

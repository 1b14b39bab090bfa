// The small modal check lists of uses and formulations: fixed items, a "全て" box that sets
// every check, OK and Cancel; on closing, the ticked items are kept as the selection.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class TCheckListBoxEx;

class TTickListDlg : public QDialog {
  Q_OBJECT

 public:
  // The selection as comma text.
  std::string GetSelection() const;
  // Ticks the items named in the comma text (the caller's current choice).
  void CheckNames(const std::string &commaText);
  // Replaces the items (unticked).
  void SetItems(const std::vector<std::string> &items);

  void ckAllClick();
  // FormClose: every way of closing passes here.
  void done(int result) override;

 protected:
  explicit TTickListDlg(QWidget *owner);
  // Called by the window once its form is set up.
  void Bind(TCheckListBoxEx *list, QCheckBox *all);

 private:
  TCheckListBoxEx *FList = nullptr;
  QCheckBox *FAll = nullptr;
  std::vector<std::string> FSelection;
};

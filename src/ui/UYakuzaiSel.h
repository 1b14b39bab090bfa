// The chemical picker of the chemical search tab: one entry from one of eight lists (common
// names, product types, ingredients, chemical classes, ISO names, sites of action, RAC codes,
// RAC classes), or several ingredients by their checks, written into the caller's edit. The
// tabs can be reordered by dragging; their order, the active tab and the window size are kept
// in the settings file.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QTabBar;
class QToolButton;
class TTextListBox;
namespace Ui {
class DlgYakuzaiSel;
}

class TDlgYakuzaiSel : public QDialog {
  Q_OBJECT

 public:
  explicit TDlgYakuzaiSel(QWidget *owner);
  ~TDlgYakuzaiSel() override;
  Ui::DlgYakuzaiSel &Form() { return *ui; }

  // The caller's edit that receives the choice.
  QPointer<QLineEdit> TargetEdit;

  void lstTsushoClick(TTextListBox *list);
  void lstTsushoDblClick();
  void lstSeibunClickCheck();
  void pgYakuzaiChange();
  void btnOKClick();
  void btnCancelClick() {}
  void btnAClick(int tag);
  void btnAllClick();
  void btnShurui1Click(int tag);
  void btnSeibun1Click(int tag);
  void btnKeito1Click(int tag);
  void btnSayotenFracClick(int tag);
  void btnFracClick(int tag);
  void btnFracGroupClick();
  void btnRacKeitoFClick(int tag);
  // Bound to no control.
  void btnAddClick();
  void btnReplaceClick();
  void bCancelClick();

  // Where the drop mark stands on the tab bar; -1 while none is shown.
  int DropMarkX() const;

  // FormClose: writes the size, the tab positions and the active tab.
  void done(int result) override;

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  // Refills the list when the query yields rows (else the warning, and the list stays).
  void Refill(TTextListBox *list, const std::string &sql);
  TTextListBox *ActiveList() const;
  std::string SelectedEntry() const;
  std::vector<std::pair<QWidget *, const char *>> TabKeys() const;
  void ReadTabOrder();
  void MarkDropTab(int index);

  std::unique_ptr<Ui::DlgYakuzaiSel> ui;
  bool FSeibunChecked = false;
  // Tab reordering by drag.
  QPoint FPressPos;
  bool FPressed = false;
  bool FDragging = false;
  int FDropIndex = -1;
  QWidget *FDropMark = nullptr;
};

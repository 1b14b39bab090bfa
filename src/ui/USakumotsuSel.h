// The crop selection dialog of the chemical tab and the fixed-procedure templates: crops
// picked in the classification tree, by a name search, in the crop-group table or in the
// CVO table become the selection, which "追加" appends to and "置換" writes into the
// caller's edit. In the template mode (3) the selection is quoted and a crop stands for
// its same-level group.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "ui/USakumotsuList.h"

class ILogTarget;
class QToolButton;
class QTreeWidgetItem;
class QMenu;
namespace Ui {
class DlgSakumotsu;
}

class TDlgSakumotsu : public QDialog {
  Q_OBJECT

 public:
  explicit TDlgSakumotsu(QWidget *owner);
  ~TDlgSakumotsu() override;

  Ui::DlgSakumotsu &Form() { return *ui; }
  QToolButton *btnAdd() const { return FbtnAdd; }
  QToolButton *btnReplace() const { return FbtnReplace; }
  QToolButton *btnUpper() const { return FbtnUpper; }
  QToolButton *bCancel() const { return FbCancel; }
  QToolButton *bExpand() const { return FbExpand; }
  QToolButton *bCollapse() const { return FbCollapse; }
  QMenu *pmnTree() const { return FpmnTree; }

  // Set by the caller before showing the dialog.
  ILogTarget *LogMemo = nullptr;
  void SetTarget(QLineEdit *Edit) { FTarget = Edit; }
  int Mode = 2;  // 2 main search, 3 template

  // True from creation until "閉じる" closes the dialog with a selection shown; the
  // caller searches only when it is False.
  bool CropDialogNoSelection() const { return FNoSelection; }
  // The current selection (comma text).
  std::string Selection() const;

  std::string QuoteSakumotsu(const std::string &Text) const;
  void btnAddClick();
  void btnReplaceClick();
  void bCancelClick();
  void btnUpperClick();
  void tvSakumotsuClick();
  void SearchSakumotsu();
  void CollectChecked();
  void lvBeppyo1Select();
  void lvCVOSelect();
  void cbLgChange();
  void cbMgChange();
  void cbFamilyChange();
  void bExpandClick();
  void bCollapseClick();
  static TSakumotsu *ItemRecord(const QTreeWidgetItem *Item);

 protected:
  void showEvent(QShowEvent *Event) override;
  bool eventFilter(QObject *Watched, QEvent *Event) override;

 private:
  void Log(const std::string &Line) const;
  void SetSelection(const std::string &Text);
  // The selection of one crop name: in the template mode its same-level group, with the
  // upper-group button down its upper group.
  std::string NameSelection(const std::string &Name, bool SameLevel, bool Upper) const;
  void LoadBeppyo1();
  void LoadCvoFamilies();
  void LoadCvo();
  void FreeSearchRecords();
  void PageChanged();

  std::unique_ptr<Ui::DlgSakumotsu> ui;
  QPointer<QLineEdit> FTarget;
  QToolButton *FbExpand = nullptr, *FbCollapse = nullptr, *FbtnUpper = nullptr;
  QToolButton *FbtnAdd = nullptr, *FbtnReplace = nullptr, *FbCancel = nullptr;
  QMenu *FpmnTree = nullptr;
  QAction *FpmnAdd = nullptr, *FpmnReplace = nullptr;
  bool FNoSelection = true;
  bool FUpperRead = false;
  int FUpdating = 0;
  QTreeWidgetItem *FHintNode = nullptr;
  std::vector<std::unique_ptr<TSakumotsu>> FSearchRecords;
};

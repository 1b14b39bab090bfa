// The pest, disease and weed picker of the pest/disease search tab: one check list per kind
// of target (diseases, pests by group, weeds by group, birds and beasts, other purposes) and
// a name search. The checked names of the list last clicked go into the caller's pest edit,
// appended or replacing its text.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <memory>
#include <string>

class TCheckListBoxEx;
namespace Ui {
class DlgByogai;
}

class TDlgByogai : public QDialog {
  Q_OBJECT

 public:
  explicit TDlgByogai(QWidget *owner);
  ~TDlgByogai() override;

  // The edit that "追加" and "置換" write into (the main window's pest edit).
  void SetTarget(QLineEdit *edit) { FTarget = edit; }
  Ui::DlgByogai &Form() { return *ui; }

  void actAddExecute();
  void actReplaceExecute();
  void tbtnCloseClick();
  void bSearchClick();

  // Writes the remembered sizes; every way of closing passes here.
  void done(int result) override;

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  void CheckListClickCheck(TCheckListBoxEx *list);
  void GroupClickCheck(TCheckListBoxEx *groups, TCheckListBoxEx *items, int cid, const std::string &allSql);

  std::unique_ptr<Ui::DlgByogai> ui;
  QPointer<QLineEdit> FTarget;
};

// The check-list picker of the crop tab's result filters: the pest names of the current crop
// result with a pest-category filter, or the purposes of use of the result. Its crop-search
// part (a search word and a crop list whose checked crops load their registered pests) is
// hidden by both callers.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class frmSakuByochu;
}

class TfrmSakuByochu : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmSakuByochu(QWidget *owner);
  ~TfrmSakuByochu() override;
  Ui::frmSakuByochu &Form() { return *ui; }

  // Comma text of every name the caller offered; the category filter works inside it.
  std::string ByochuList;

  std::string GetSelectedByochu() const;
  void ckAllClick();
  void cboCIDChange();
  void cboSortChange();
  void SearchSakumotsu();
  void LoadByochuOfCheckedSakumotsu();
  // FormClose: the checked names become the selection; every way of closing passes here.
  void done(int result) override;

 private:
  void FillByochuList(const std::string &sql);
  void FillSakumotsuList(const std::string &sql);
  std::string OrderEnding() const;

  std::unique_ptr<Ui::frmSakuByochu> ui;
  std::vector<std::string> FSelection;
};

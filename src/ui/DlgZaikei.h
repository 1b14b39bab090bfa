// The formulation check list ("剤型選択"), opened below a button of the search tabs and the
// fixed-procedure window; the caller reads the ticked items back as comma text.
#pragma once

#include <memory>

#include "ui/TickListDlg.h"

namespace Ui {
class frmZaikei;
}

class TfrmZaikei : public TTickListDlg {
  Q_OBJECT

 public:
  explicit TfrmZaikei(QWidget *owner);
  ~TfrmZaikei() override;
  Ui::frmZaikei &Form() { return *ui; }

 private:
  std::unique_ptr<Ui::frmZaikei> ui;
};

// The use check list ("用途選択"), opened below a button of the search tabs and the
// fixed-procedure window; the caller reads the ticked items back as comma text.
#pragma once

#include <memory>

#include "ui/TickListDlg.h"

namespace Ui {
class frmYoto;
}

class TfrmYoto : public TTickListDlg {
  Q_OBJECT

 public:
  explicit TfrmYoto(QWidget *owner);
  ~TfrmYoto() override;
  Ui::frmYoto &Form() { return *ui; }

 private:
  std::unique_ptr<Ui::frmYoto> ui;
};

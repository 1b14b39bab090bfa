#include "ui/DlgZaikei.h"

#include "ui_DlgZaikei.h"

TfrmZaikei::TfrmZaikei(QWidget *owner) : TTickListDlg(owner), ui(std::make_unique<Ui::frmZaikei>()) {
  ui->setupUi(this);
  connect(ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
  Bind(ui->lstZaikei, ui->ckAll);
}

TfrmZaikei::~TfrmZaikei() = default;

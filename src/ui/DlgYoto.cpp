#include "ui/DlgYoto.h"

#include "ui_DlgYoto.h"

TfrmYoto::TfrmYoto(QWidget *owner) : TTickListDlg(owner), ui(std::make_unique<Ui::frmYoto>()) {
  ui->setupUi(this);
  connect(ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
  Bind(ui->lstYoto, ui->ckAll);
}

TfrmYoto::~TfrmYoto() = default;

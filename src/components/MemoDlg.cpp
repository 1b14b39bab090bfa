#include "components/MemoDlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "components/QtServices.h"
#include "components/qtext.h"
#include "ui_MemoDlg.h"

bool TDlgMemo::Modeless = false;

TDlgMemo::TDlgMemo(QWidget *parent) : QDialog(parent), ui(new Ui::TDlgMemo) {
  ui->setupUi(this);
  setAttribute(Qt::WA_DeleteOnClose);  // closing frees it
  connect(ui->Button1, &QPushButton::clicked, this, &TDlgMemo::Button1Click);
  connect(ui->btnCopyAll, &QPushButton::clicked, this, &TDlgMemo::btnCopyAllClick);
}

TDlgMemo::~TDlgMemo() = default;

void TDlgMemo::SetTitle(const std::string &title) { ui->lblTitle->setText(ToQ(title)); }

void TDlgMemo::SetMessage(const std::string &text) {
  QString s = ToQ(text);
  s.replace("\r\n", "\n");
  ui->mMessage->setPlainText(s);
}

std::string TDlgMemo::Message() const {
  QString s = ui->mMessage->toPlainText();
  s.replace("\n", "\r\n");
  return FromQ(s);
}

void TDlgMemo::Button1Click() { close(); }

void TDlgMemo::btnCopyAllClick() {
  ui->mMessage->selectAll();
  SetClipboardText(Message());
}

void TDlgMemo::closeEvent(QCloseEvent *e) { e->accept(); }

void TDlgMemo::resizeEvent(QResizeEvent *e) {
  QDialog::resizeEvent(e);
  // The buttons keep to the top right corner, the text fills the rest below the title.
  const int w = width();
  ui->Button1->move(w - 467 + 360, 4);
  ui->btnCopyAll->move(w - 467 + 200, 4);
  ui->mMessage->setGeometry(0, 72, w, std::max(0, height() - 72));
}

void TDlgMemo::Report(const std::string &caption, const std::string &title, const std::string &text) {
  auto *dlg = new TDlgMemo(nullptr);
  dlg->setWindowTitle(ToQ(caption));
  dlg->SetTitle(title);
  dlg->SetMessage(text);
  // Centred over the active window (the main window), else on the screen.
  if (QWidget *main = QApplication::activeWindow()) {
    dlg->move(main->geometry().center() - dlg->rect().center());
  } else if (QScreen *s = QGuiApplication::primaryScreen()) {
    dlg->move(s->availableGeometry().center() - dlg->rect().center());
  }
  if (Modeless)
    dlg->show();
  else
    dlg->exec();
}

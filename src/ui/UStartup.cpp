#include "ui/UStartup.h"

#include <QDropEvent>
#include <QMimeData>
#include <QRadioButton>

#include "components/BrwsFldr.h"
#include "components/qtext.h"
#include "engine/AcisSvr.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui_UStartup.h"

using namespace cp932::literals;

TfrmStartup::TfrmStartup(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TfrmStartup>()) {
  ui->setupUi(this);
  for (int i = 0; i < 4; ++i) ui->cbTorvDBSite->addItem(ToQ(DataSites().TorvLabel[i]));
  ui->lblSite->setText(ToQ(DataSites().PublisherHost));
  connect(ui->ckUseLAN, &QCheckBox::clicked, this, &TfrmStartup::ckUseLANClick);
  connect(ui->btnLAN, &QPushButton::clicked, this, &TfrmStartup::btnLANClick);
  connect(ui->bDownSiteSet, &QPushButton::clicked, this, &TfrmStartup::bDownSiteSetClick);
  connect(ui->bDownSiteCancel, &QPushButton::clicked, this, &TfrmStartup::bCancelClick);
  FormCreate();
}

TfrmStartup::~TfrmStartup() = default;

void TfrmStartup::FormCreate() {
  Cancelled = false;
  ui->pnlPage->show();
  ui->lblFolder->setEnabled(false);
  ui->edtLAN->setEnabled(false);
  ui->btnLAN->setEnabled(false);
  ui->cbTorvDBSite->setCurrentIndex(3);
  ui->edtLAN->setAcceptDrops(true);
  ui->edtLAN->installEventFilter(this);
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
}

QRadioButton *TfrmStartup::Item(int Index) const {
  QRadioButton *items[4] = {ui->rgDownSite0, ui->rgDownSite1, ui->rgDownSite2, ui->rgDownSite3};
  return Index >= 0 && Index < 4 ? items[Index] : nullptr;
}

int TfrmStartup::DownSiteIndex() const {
  for (int i = 0; i < 4; ++i)
    if (Item(i)->isChecked()) return i;
  return -1;
}

void TfrmStartup::SetDownSiteIndex(int Index) {
  if (QRadioButton *b = Item(Index)) b->setChecked(true);
}

void TfrmStartup::ckUseLANClick() {
  const bool on = ui->ckUseLAN->isChecked();
  ui->lblFolder->setEnabled(on);
  ui->edtLAN->setEnabled(on);
  ui->btnLAN->setEnabled(on);
}

bool PickFolderAt16(QWidget *Owner, int Root, const std::string &Initial, const std::string &Title, unsigned Flags,
                    std::string &Folder) {
  TBrowseFolderBox box;
  box.OwnerHandle = Owner;
  box.Root = Root;
  box.InitialFolder = Initial;
  box.Title = Title;
  box.Flags = Flags;
  const QPoint at = Owner->mapToGlobal(QPoint(16, 16));
  box.Left = at.x();
  box.Top = at.y();
  if (!box.Execute()) return false;
  Folder = box.Folder;
  return true;
}

void TfrmStartup::btnLANClick() {
  setWindowTitle(ToQ("共有フォルダの選択"_sj));
  std::string folder;
  if (PickFolderAt16(this, CSIDL_NETWORK, "", "共有PCの Download フォルダを指定して下さい"_sj,
                     BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_SHAREABLE, folder))
    ui->edtLAN->setText(ToQ(folder));
}

void TfrmStartup::bDownSiteSetClick() {
  FConfirmed = true;
  OptionData->DownSite = static_cast<std::uint8_t>(std::max(DownSiteIndex(), 0));
  OptionData->DownSiteTorvDB = static_cast<std::uint8_t>(std::max(ui->cbTorvDBSite->currentIndex(), 0));
  OptionData->UseLAN = ui->ckUseLAN->isChecked();
  OptionData->dirLAN = FromQ(ui->edtLAN->text());
  close();
}

void TfrmStartup::bCancelClick() {
  Cancelled = true;
  close();
}

void TfrmStartup::DropFiles(const QStringList &Paths) {
  if (Paths.isEmpty()) return;
  ui->edtLAN->setText(Paths.first().left(260));
}

bool TfrmStartup::eventFilter(QObject *o, QEvent *e) {
  if (o == ui->edtLAN) {
    if (e->type() == QEvent::DragEnter) {
      auto *d = static_cast<QDragEnterEvent *>(e);
      if (d->mimeData()->hasUrls()) {
        d->acceptProposedAction();
        return true;
      }
    } else if (e->type() == QEvent::Drop) {
      auto *d = static_cast<QDropEvent *>(e);
      QStringList paths;
      for (const QUrl &u : d->mimeData()->urls())
        if (u.isLocalFile()) paths << u.toLocalFile();
      DropFiles(paths);
      d->acceptProposedAction();
      return true;
    }
  }
  return QDialog::eventFilter(o, e);
}

void TfrmStartup::done(int Result) {
  if (!FConfirmed) Cancelled = true;
  QDialog::done(Result);
}

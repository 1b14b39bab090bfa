#include "ui/about.h"

#include <QMouseEvent>
#include <QStyle>

#include "components/qtext.h"
#include "engine/TextHelpers.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "engine/plArchiever7ZIP.h"
#include "platform/cp932.h"
#include "ui/ShellServices.h"
#include "ui/VerInfo.h"
#include "ui_about.h"

using namespace cp932::literals;

TfrmAbout::TfrmAbout(QWidget *owner, const std::string &VersionFile) : QDialog(owner), ui(new Ui::TfrmAbout) {
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  ui->Image1->setPixmap(style()->standardIcon(QStyle::SP_FileDialogInfoView).pixmap(48, 48));
  connect(ui->btnOk, &QPushButton::clicked, this, &TfrmAbout::btnOkClick);
  ui->lblUrl->installEventFilter(this);
  FFileVerInfo = new TFileVerInfo(this, TFileVerInfo::NotLoaded);
  try {
    FFileVerInfo->SetPath(VersionFile);
  } catch (const EFileVerInfoError &) {
    // A program built without its version block still shows the box, with no release number.
  }
  FormCreate();
}

TfrmAbout::~TfrmAbout() = default;

void TfrmAbout::FormCreate() {
  if (parentWidget()) {
    QFont f = parentWidget()->window()->font();
    setFont(f);
    QFont u = ui->lblUrl->font();
    u.setPointSizeF(f.pointSizeF());
    ui->lblUrl->setFont(u);
  }
  ui->lblVersion->setText(FFileVerInfo->Loaded() ? ToQ("Release " + FFileVerInfo->GetProductVersion())
                                                 : QStringLiteral("Release"));
  ui->SQLiteVer->setText(ToQ(AcisDB ? "sqlite3.dll version : " + AcisDB->SQLiteVersion()
                                    : "sqlite3.dll version : 不明"_sj));
  {
    TplArchiever7ZIP archiver(this);
    ui->lbl7zip->setText(ToQ("7-zip32.dll : " + archiver.GetVersionText()));
  }
  ui->Label4->setText(ToQ("OS: " + GetWindowsVersionText()));
  adjustSize();
  if (parentWidget()) {
    QRect owner = parentWidget()->window()->frameGeometry();
    move(owner.center() - rect().center());
  }
}

void TfrmAbout::btnOkClick() { accept(); }

void TfrmAbout::lblUrlClick() {
  const std::string program_folder = OptionData ? OptionData->ProgramFolder : std::string();
  ShellServices().ShellExecute(this, "open", FromQ(ui->lblUrl->text()), "", program_folder, SW_SHOWDEFAULT);
}

bool TfrmAbout::eventFilter(QObject *watched, QEvent *e) {
  if (watched == ui->lblUrl && e->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent *>(e)->button() == Qt::LeftButton)
    lblUrlClick();
  return QDialog::eventFilter(watched, e);
}

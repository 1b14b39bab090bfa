#include "ui/UUpdate.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QMenu>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/AcisSvr.h"
#include "engine/Exception.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/ImageLists.h"
#include "ui/UnattendedRun.h"
#include "ui_UUpdate.h"

using namespace cp932::literals;

// ---------------------------------------------------------------- what the run sees of the window

// The log memo as the log of the run.
class TfrmUpdate::TLogMemo : public ILogTarget {
 public:
  explicit TLogMemo(Ui::TfrmUpdate &form) : form_(form) {}
  void AddLine(const std::string &line) override {
    QString s = ToQ(line);
    s.replace("\r\n", "\n");
    form_.mLog->appendPlainText(s);
  }

 private:
  Ui::TfrmUpdate &form_;
};

// The progress bar as the progress of the run.
class TfrmUpdate::TBar : public IProgressTarget {
 public:
  explicit TBar(Ui::TfrmUpdate &form) : form_(form) {}
  void SetRange(int min, int max) override { form_.ProgressBar->setRange(min, std::max(min, max)); }
  void SetPosition(int position) override { form_.ProgressBar->setValue(position); }
  int Position() const override { return form_.ProgressBar->value(); }

 private:
  Ui::TfrmUpdate &form_;
};

// The controls, the bar, the file labels and the owner's signals as the run drives them.
class TfrmUpdate::TView : public IUpdateView {
 public:
  explicit TView(TfrmUpdate &w) : w_(w) {}
  void EnableControls(bool on) override { w_.EnableControls(on); }
  void ShowProgress(bool on) override { w_.ui->ProgressBar->setVisible(on); }
  // The label naming a file is bold while the file is worked on.
  void MarkFile(int page, int index, bool on) override {
    QLabel *label = w_.FileLabel(page, index);
    QFont f = label->font();
    f.setBold(on);
    label->setFont(f);
  }
  void DatabaseClosing() override { emit w_.DatabaseClosing(); }
  void DatabaseOpened() override { emit w_.DatabaseOpened(); }
  std::string DownloadAddress() override { return FromQ(w_.ui->edtDownloadSite->text()); }
  void CloseWindow() override { QMetaObject::invokeMethod(&w_, &QWidget::close, Qt::QueuedConnection); }

 private:
  TfrmUpdate &w_;
};

std::function<std::string(QWidget *, const std::string &, const std::string &, const std::string &)>
    TfrmUpdate::ChooseFile = [](QWidget *parent, const std::string &title, const std::string &filter,
                                const std::string &dir) {
      return FromQ(QFileDialog::getOpenFileName(parent, ToQ(title), ToQ(dir), ToQ(filter)));
    };

// ---------------------------------------------------------------- creation

TfrmUpdate::TfrmUpdate(QWidget *parent)
    : QDialog(parent),
      ui(new Ui::TfrmUpdate),
      log_(std::make_unique<TLogMemo>(*ui)),
      bar_(std::make_unique<TBar>(*ui)),
      view_(std::make_unique<TView>(*this)),
      run_(std::make_unique<TUpdateRun>(log_.get(), bar_.get(), view_.get())),
      AutoStart(run_->AutoStart),
      OldDatabase(run_->OldDatabase),
      Rebuilt(run_->Rebuilt),
      SourceKind(run_->SourceKind),
      MirrorIndex(run_->MirrorIndex),
      Aborted(run_->Aborted),
      AutoRunning(run_->AutoRunning),
      DataAsOf(run_->DataAsOf) {
  ui->setupUi(this);
  run_->Stamp = UpdateLogStamp;
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  // Buttons with captions under their images.
  auto tool = [this](const char *name, const char *text_utf8, const char *image) {
    auto *b = new QToolButton(ui->ToolBar);
    b->setObjectName(name);
    b->setText(QString::fromUtf8(text_utf8));
    b->setIcon(ActionIcon(QString::fromLatin1(image)));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ui->ToolBar->addWidget(b);
    return b;
  };
  bAuto = tool("bAuto", "自動更新", "view-refresh");
  ckManual = tool("ckManual", "手動更新", "preferences-system");
  ckManual->setCheckable(true);
  bExt = tool("bExt", "拡張機能", "list-add");
  bAbort = tool("bAbort", "中止", "process-stop");
  bClose = tool("bClose", "閉じる", "window-close");
  pmnExt = new QMenu(this);
  pmnExt->setObjectName("pmnExt");
  QAction *pmnDokusei = pmnExt->addAction(QString::fromUtf8("JPP-NET 剤の概要 CSV からテーブルを作成"));
  pmnDokusei->setObjectName("btnDokusei");
  QAction *pmnJppSeibun = pmnExt->addAction(QString::fromUtf8("JPP-NET 有効成分 CSV からテーブルを作成"));
  pmnJppSeibun->setObjectName("pmnJppSeibun");
  bExt->setMenu(pmnExt);
  bExt->setPopupMode(QToolButton::InstantPopup);

  for (int i = 0; i < 4; ++i) ui->cbTorvDBSite->addItem(ToQ(DataSites().TorvLabel[i]));

  auto on = [this](auto *sender, auto signal, const char *name, void (TfrmUpdate::*handler)()) {
    connect(sender, signal, this, [this, name, handler] { Guard(name, [this, handler] { (this->*handler)(); }); });
  };
  for (QPushButton *b : {ui->btnAcisCsvDown, ui->bDown, ui->bTorvDown, ui->btnSQLiteDBDown})
    on(b, &QPushButton::clicked, "bDownClick", &TfrmUpdate::bDownClick);
  on(ui->btnAcisZipUnpack, &QPushButton::clicked, "btnAcisZipUnpackClick", &TfrmUpdate::btnAcisZipUnpackClick);
  on(ui->bUnpack, &QPushButton::clicked, "bUnpackClick", &TfrmUpdate::bUnpackClick);
  on(ui->bZipUnpack, &QPushButton::clicked, "bZipUnpackClick", &TfrmUpdate::bZipUnpackClick);
  on(ui->btnUnpackDB, &QPushButton::clicked, "btnUnpackDBClick", &TfrmUpdate::btnUnpackDBClick);
  on(ui->btnAcisCsvToDb, &QPushButton::clicked, "bXlsCnvClick", &TfrmUpdate::bXlsCnvClick);
  on(ui->bXlsCnv, &QPushButton::clicked, "bXlsCnvClick", &TfrmUpdate::bXlsCnvClick);
  on(ui->bCsvToDB, &QPushButton::clicked, "bCsvToDBClick", &TfrmUpdate::bCsvToDBClick);
  on(bAuto, &QToolButton::clicked, "bAutoClick", &TfrmUpdate::bAutoClick);
  on(ckManual, &QToolButton::clicked, "ckManualClick", &TfrmUpdate::ckManualClick);
  on(bAbort, &QToolButton::clicked, "bAbortClick", &TfrmUpdate::bAbortClick);
  on(bClose, &QToolButton::clicked, "bCloseClick", &TfrmUpdate::bCloseClick);
  on(pmnDokusei, &QAction::triggered, "btnDokuseiClick", &TfrmUpdate::btnDokuseiClick);
  on(pmnJppSeibun, &QAction::triggered, "pmnJppSeibunClick", &TfrmUpdate::pmnJppSeibunClick);
  on(ui->pgSite, &QTabWidget::currentChanged, "pgSiteChange", &TfrmUpdate::pgSiteChange);
  on(ui->rdTorv, &QRadioButton::clicked, "rdTorvClick", &TfrmUpdate::rdTorvClick);
  on(ui->rdCustum, &QRadioButton::clicked, "rdCustumClick", &TfrmUpdate::rdCustumClick);
  on(ui->cbTorvDBSite, &QComboBox::activated, "cbTorvDBSiteChange", &TfrmUpdate::cbTorvDBSiteChange);
  connect(ui->mLog, &QPlainTextEdit::textChanged, this, &TfrmUpdate::mLogChange);

  FormCreate();
}

TfrmUpdate::~TfrmUpdate() = default;

void TfrmUpdate::FormCreate() {
  const bool offline = OptionData->OffLine || OfflineSwitch;
  QSignalBlocker block_tabs(ui->pgSite), block_sites(ui->cbTorvDBSite);
  EnableControls(true);
  bAuto->setEnabled(!offline);
  bAbort->setEnabled(false);

  MirrorIndex = std::min<std::uint8_t>(OptionData->DownSiteTorvDB, 3);
  ui->rdTorv->setChecked(true);
  ui->cbTorvDBSite->setCurrentIndex(MirrorIndex);
  ui->cbTorvDBSite->setVisible(true);
  ui->edtDownloadSite->setVisible(false);

  SourceKind = std::min<std::uint8_t>(OptionData->DownSite, 4);
  ui->pgSite->setCurrentIndex(SourceKind <= 2 ? SourceKind : 3);
  if (SourceKind == 4) {
    ui->rdCustum->setChecked(true);
    ui->cbTorvDBSite->setVisible(false);
    ui->edtDownloadSite->setVisible(true);
    if (!OptionData->UserSite.empty()) ui->edtDownloadSite->setText(ToQ(OptionData->UserSite));
  }
  // The tool bar's images take the size of the main window's; another setting keeps the
  // layout's own. The window takes its owner's font.
  if (const int size = ImageListSize(OptionData->BtnImageSize)) ui->ToolBar->setIconSize(QSize(size, size));
  if (parentWidget()) setFont(parentWidget()->font());
  setWindowTitle(QString::fromUtf8(OptionData->UseLAN ? "データ更新 - 共有フォルダからの更新" : "データ更新"));
}

// ---------------------------------------------------------------- life cycle

void TfrmUpdate::showEvent(QShowEvent *e) {
  QDialog::showEvent(e);
  if (FActivated) return;
  FActivated = true;
  // Runs once the window is on screen, from the event loop of the modal run.
  QTimer::singleShot(0, this, [this] { Guard("FormActivate", [this] { FormActivate(); }); });
}

void TfrmUpdate::FormActivate() {
  if (AutoStart) RunAutoUpdate();
  if (LocalFilesStart) UpdateFromLocalFiles();
}

bool TfrmUpdate::FormCloseQuery() {
  if (FImporting) return false;
  return !AutoRunning || AutoUpdateSwitch;
}

void TfrmUpdate::closeEvent(QCloseEvent *e) {
  if (!FormCloseQuery()) {
    e->ignore();
    return;
  }
  QDialog::closeEvent(e);
}

// Escape closes a dialog without a close event: it asks the same question.
void TfrmUpdate::reject() {
  if (!FormCloseQuery()) return;
  QDialog::reject();
}

void TfrmUpdate::bCloseClick() { close(); }

void TfrmUpdate::bAbortClick() { run_->Abort(); }

void TfrmUpdate::mLogChange() {
  QScrollBar *bar = ui->mLog->verticalScrollBar();
  bar->setValue(bar->maximum());
}

// Handlers run here: an exception is shown and logged, never passed to the event loop.
void TfrmUpdate::Guard(const char *name, const std::function<void()> &step) {
  RunAtBoundary(step, [&](const std::exception &e) {
    AddLog(std::string(name) + " Error " + ExceptionClassName(e) + "\r\n" + e.what());
    ErrorBox(ExceptionClassName(e) + "\r\n" + e.what());
  });
}

// ---------------------------------------------------------------- controls and choices

void TfrmUpdate::EnableControls(bool on) {
  const bool offline = (OptionData->OffLine || OfflineSwitch) && !AutoUpdateSwitch;
  bAuto->setEnabled(on && !offline);
  bExt->setEnabled(on);
  bClose->setEnabled(on);
  ckManual->setEnabled(on);
  bAbort->setEnabled(!on);
  if (on)
    EnableStepButtons(ckManual->isChecked());
  else
    for (QPushButton *b : findChildren<QPushButton *>()) b->setEnabled(false);
}

void TfrmUpdate::EnableStepButtons(bool on) {
  const bool offline = OptionData->OffLine || OfflineSwitch;
  for (QPushButton *b : {ui->btnAcisCsvDown, ui->bDown, ui->bTorvDown, ui->btnSQLiteDBDown})
    b->setEnabled(on && !offline);
  for (QPushButton *b : {ui->btnAcisZipUnpack, ui->btnAcisCsvToDb, ui->bUnpack, ui->bXlsCnv, ui->bZipUnpack,
                         ui->bCsvToDB, ui->btnUnpackDB})
    b->setEnabled(on);
}

void TfrmUpdate::ckManualClick() { EnableStepButtons(ckManual->isChecked()); }

void TfrmUpdate::pgSiteChange() {
  int page = ui->pgSite->currentIndex();
  if (page >= 0 && page <= 2)
    SourceKind = static_cast<std::uint8_t>(page);
  else
    SourceKind = ui->rdCustum->isChecked() && !OptionData->UserSite.empty() ? 4 : 3;
}

// The mirror shown is the mirror fetched from.
void TfrmUpdate::rdTorvClick() {
  QSignalBlocker block(ui->cbTorvDBSite);
  MirrorIndex = std::min<std::uint8_t>(OptionData->DownSiteTorvDB, 3);
  ui->cbTorvDBSite->setCurrentIndex(MirrorIndex);
  ui->cbTorvDBSite->setVisible(true);
  ui->edtDownloadSite->setVisible(false);
  SourceKind = 3;
}

void TfrmUpdate::rdCustumClick() {
  ui->edtDownloadSite->setText(ToQ(OptionData->UserSite));
  ui->edtDownloadSite->setVisible(true);
  ui->cbTorvDBSite->setVisible(false);
  SourceKind = 4;
}

void TfrmUpdate::cbTorvDBSiteChange() {
  MirrorIndex = static_cast<std::uint8_t>(std::clamp(ui->cbTorvDBSite->currentIndex(), 0, 3));
}

QLabel *TfrmUpdate::FileLabel(int kind, int index) const {
  switch (kind) {
    case 0: return index == 0 ? ui->lblCsvKihon : index == 1 ? ui->lblCsvTekiyo1 : ui->lblCsvTekiyo2;
    case 1: return index == 0 ? ui->lblXlsKihon : index == 1 ? ui->lblXlsTekiyo1 : ui->lblXlsTekiyo2;
    case 2: return index == 0 ? ui->lblTorokuZip : index == 1 ? ui->lblKihonCsv : ui->lblTekiyoCsv;
    default: return index == 0 ? ui->lblAcisZip : ui->lblSpecZip;
  }
}


// ---------------------------------------------------------------- the log

void TfrmUpdate::AddLog(const std::string &line) { run_->AddLog(line); }

std::vector<std::string> TfrmUpdate::LogLines() const {
  std::vector<std::string> lines;
  const QString text = ui->mLog->toPlainText();
  if (text.isEmpty()) return lines;
  for (const QString &l : text.split('\n')) lines.push_back(FromQ(l));
  return lines;
}

// ---------------------------------------------------------------- the run's steps

void TfrmUpdate::Download() { run_->Download(); }

void TfrmUpdate::bDownClick() { run_->Fetch(); }
void TfrmUpdate::btnAcisZipUnpackClick() { run_->UnpackAcisCsv(); }
void TfrmUpdate::bUnpackClick() { run_->UnpackAcisXls(); }
void TfrmUpdate::bZipUnpackClick() { run_->UnpackTorvCsv(); }
void TfrmUpdate::btnUnpackDBClick() { run_->UnpackDatabases(); }

void TfrmUpdate::RebuildDatabase() { run_->RebuildDatabase(); }
void TfrmUpdate::bXlsCnvClick() { run_->RebuildDatabase(); }
void TfrmUpdate::bCsvToDBClick() { run_->RebuildDatabase(); }

// A box shown during a run keeps its text in the run's log as well.
bool TfrmUpdate::RunAutoUpdate() {
  TUnattendedUi::TLogScope box_log(run_->Log());
  return run_->RunAutoUpdate();
}

bool TfrmUpdate::RunDownloadCheck() {
  TUnattendedUi::TLogScope box_log(run_->Log());
  return run_->RunDownloadCheck();
}

void TfrmUpdate::UpdateFromLocalFiles() { run_->UpdateFromLocalFiles(); }

void TfrmUpdate::bAutoClick() { RunAutoUpdate(); }

// ---------------------------------------------------------------- JPP-NET imports

void TfrmUpdate::ImportJppFile(const char *title_utf8, const char *pattern, bool ingredients) {
  if (!AcisDB || FImporting) return;
  const std::string file =
      ChooseFile(this, cp932::FromUtf8(title_utf8), "ﾃｷｽﾄﾌｧｲﾙ"_sj + " (" + pattern + ")", OptionData->ProgramFolder);
  if (file.empty()) return;
  // The import lets events through on every line while it writes through the program's
  // query object, which an update would free under it: the window's commands and its
  // closing wait for the import's end, as they do for an update run.
  struct THold {
    TfrmUpdate &w;
    explicit THold(TfrmUpdate &w) : w(w) { w.HoldCommands(true); }
    ~THold() { w.HoldCommands(false); }
  } hold(*this);
  run_->ImportJpp(file, ingredients);
}

void TfrmUpdate::HoldCommands(bool on) {
  FImporting = on;
  EnableControls(!on);
  bAbort->setEnabled(false);  // the import has no stop between steps
  for (QAction *a : pmnExt->actions()) a->setEnabled(!on);
}

void TfrmUpdate::btnDokuseiClick() {
  ImportJppFile("JPP-NET「剤の概要」CSVファイルを選択して下さい", "n_trk*_1.txt n_trk*_1.TXT", false);
}

void TfrmUpdate::pmnJppSeibunClick() {
  ImportJppFile("JPP-NET「有効成分」CSVファイルを選択して下さい", "n_trk*_3.txt n_trk*_3.TXT", true);
}

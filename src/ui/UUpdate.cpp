#include "ui/UUpdate.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/AcisSvr.h"
#include "engine/SakuUtil.h"
#include "engine/ShfOperation.h"
#include "engine/TextHelpers.h"
#include "engine/UiServices.h"
#include "engine/UpdateRun.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "platform/fspath.h"
#include "ui_UUpdate.h"

using namespace cp932::literals;
namespace fs = std::filesystem;

namespace {

// The publisher's three parts, as archive, workbook and sheet names.
const char *const kParts[3] = {"登録基本部", "登録適用部一", "登録適用部二"};
// Only the basic registrations carry the data-as-of text, in cell A1 of their first sheet.
const int kPartDateFlag[3] = {0, 1, 1};

std::string Part(int i) { return cp932::FromUtf8(kParts[i]); }

// A timing line: the format (UTF-8 source text holding one "%5.1f") with the seconds.
std::string Timing(const char *format_utf8, double seconds) {
  std::string format = cp932::FromUtf8(format_utf8);
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format.c_str(), seconds);
  return buffer;
}

double Seconds(const QElapsedTimer &t) { return static_cast<double>(t.elapsed()) / 1000.0; }

bool Exists(const std::string &path) {
  std::error_code ec;
  return fs::exists(FsPath(path), ec);
}

bool Contains(std::string_view text, std::string_view sub) {
  return FindSjis(text, sub) != std::string_view::npos;
}

bool StartsWith(const std::string &text, const std::string &prefix) { return text.rfind(prefix, 0) == 0; }

// The file name with its extension (from the last ".") replaced.
std::string ChangeFileExt(const std::string &name, const std::string &ext) {
  std::size_t dot = name.rfind('.');
  std::size_t slash = name.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + ext;
  return name.substr(0, dot) + ext;
}

// A "\\server\share" address as a path of this system: backslashes become slashes.
std::string SharePath(const std::string &address) { return ReplaceAllText(address, "\\", "/"); }

std::string ClassNameOf(const std::exception &e) { return ExceptionClassName(e); }

// The first line of a text file (program text); raises when the file cannot be opened.
std::string FirstLine(const std::string &path) {
  std::ifstream f(FsPath(path), std::ios::binary);
  if (!f) throw EInOutError("Cannot open file \"" + path + "\"");
  std::string line;
  std::getline(f, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// Restores the bold look of a label naming a file when the work on the file ends.
class TBoldLabel {
 public:
  explicit TBoldLabel(QLabel *label) : label_(label) { Set(true); }
  ~TBoldLabel() { Set(false); }
  TBoldLabel(const TBoldLabel &) = delete;
  TBoldLabel &operator=(const TBoldLabel &) = delete;

 private:
  void Set(bool on) {
    if (!label_) return;
    QFont f = label_->font();
    f.setBold(on);
    label_->setFont(f);
  }
  QLabel *label_;
};

// Sets the reference refresh aside while a database that was refreshed moments ago opens.
class TNoRefresh {
 public:
  explicit TNoRefresh(bool active) : saved_(TAcisDB::ReferenceRefresh), active_(active) {
    if (active_) TAcisDB::ReferenceRefresh = nullptr;
  }
  ~TNoRefresh() {
    if (active_) TAcisDB::ReferenceRefresh = saved_;
  }
  TNoRefresh(const TNoRefresh &) = delete;
  TNoRefresh &operator=(const TNoRefresh &) = delete;

 private:
  TAcisDB::TReferenceRefresh saved_;
  bool active_;
};

}  // namespace

// ---------------------------------------------------------------- helpers of the window

// The log memo as the log of the services and the query object.
class TfrmUpdate::TLogMemo : public ILogTarget {
 public:
  explicit TLogMemo(QPlainTextEdit *memo) : memo_(memo) {}
  void AddLine(const std::string &line) override {
    QString s = ToQ(line);
    s.replace("\r\n", "\n");
    memo_->appendPlainText(s);
  }

 private:
  QPlainTextEdit *memo_;
};

// The progress bar as the progress of the services and the build steps.
class TfrmUpdate::TBar : public IProgressTarget {
 public:
  explicit TBar(QProgressBar *bar) : bar_(bar) {}
  void SetRange(int min, int max) override { bar_->setRange(min, std::max(min, max)); }
  void SetPosition(int position) override { bar_->setValue(position); }
  int Position() const override { return bar_->value(); }

 private:
  QProgressBar *bar_;
};

// The cells of one workbook part, as the build's imports read them.
class TfrmUpdate::TPartGrid : public ICellSource {
 public:
  TGridCells cells;
  int RowCount() const override { return cells.RowCount(); }
  int ColCount() const override { return cells.ColCount(); }
  std::string_view CellView(int col, int row) const override {
    if (col < 0 || row < 0 || col >= cells.ColCount() || row >= cells.RowCount()) return {};
    return cells.Get(col, row);
  }
};

std::function<std::string(QWidget *, const std::string &, const std::string &, const std::string &)>
    TfrmUpdate::ChooseFile = [](QWidget *parent, const std::string &title, const std::string &filter,
                                const std::string &dir) {
      return FromQ(QFileDialog::getOpenFileName(parent, ToQ(title), ToQ(dir), ToQ(filter)));
    };

// ---------------------------------------------------------------- creation

TfrmUpdate::TfrmUpdate(QWidget *parent) : QDialog(parent), ui(new Ui::TfrmUpdate) {
  ui->setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto tool = [this](const char *name, const char *text_utf8) {
    auto *b = new QToolButton(ui->ToolBar);
    b->setObjectName(name);
    b->setText(QString::fromUtf8(text_utf8));
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ui->ToolBar->addWidget(b);
    return b;
  };
  bAuto = tool("bAuto", "自動更新");
  ckManual = tool("ckManual", "手動更新");
  ckManual->setCheckable(true);
  bExt = tool("bExt", "拡張機能");
  bAbort = tool("bAbort", "中止");
  bClose = tool("bClose", "閉じる");
  pmnExt = new QMenu(this);
  pmnExt->setObjectName("pmnExt");
  QAction *pmnDokusei = pmnExt->addAction(QString::fromUtf8("JPP-NET 剤の概要 CSV からテーブルを作成"));
  pmnDokusei->setObjectName("btnDokusei");
  QAction *pmnJppSeibun = pmnExt->addAction(QString::fromUtf8("JPP-NET 有効成分 CSV からテーブルを作成"));
  pmnJppSeibun->setObjectName("pmnJppSeibun");
  bExt->setMenu(pmnExt);
  bExt->setPopupMode(QToolButton::InstantPopup);

  log_ = std::make_unique<TLogMemo>(ui->mLog);
  bar_ = std::make_unique<TBar>(ui->ProgressBar);
  PartGrid = std::make_unique<TPartGrid>();

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

  Excel.OnReadSheetName = [this](TXBiff *s, const std::string &name) { ExcelReadSheetName(s, name); };
  Excel.OnReadCell = [this](TXBiff *s, int sheet, int row, int col, int attr, const std::string &data,
                            bool &cancel) { ExcelReadCell(s, sheet, row, col, attr, data, cancel); };
  Excel.OnProgress = [this](TXBiff *s, int p) { ExcelProgress(s, p); };

  FormCreate();
}

TfrmUpdate::~TfrmUpdate() {
  // The query object outlives the window: it must not keep the window's log or bar.
  if (AcisDB) {
    if (AcisDB->ProgressBar() == bar_.get()) AcisDB->SetProgressBar(nullptr);
    if (AcisDB->LogTarget() == log_.get()) AcisDB->SetLogTarget(nullptr);
  }
}

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

bool TfrmUpdate::FormCloseQuery() { return !AutoRunning || AutoUpdateSwitch; }

void TfrmUpdate::closeEvent(QCloseEvent *e) {
  if (!FormCloseQuery()) {
    e->ignore();
    return;
  }
  FormClose();
  QDialog::closeEvent(e);
}

// Escape closes a dialog without a close event: it asks the same question.
void TfrmUpdate::reject() {
  if (!FormCloseQuery()) return;
  FormClose();
  QDialog::reject();
}

void TfrmUpdate::FormClose() {
  if (AcisDB && AcisDB->ProgressBar() == bar_.get()) AcisDB->SetProgressBar(nullptr);
}

void TfrmUpdate::bCloseClick() { close(); }

// The hourglass of the step under way goes when that step ends.
void TfrmUpdate::bAbortClick() {
  Aborted = true;
  AutoRunning = false;
  AutoStart = false;
  EnableControls(true);
}

void TfrmUpdate::mLogChange() {
  QScrollBar *bar = ui->mLog->verticalScrollBar();
  bar->setValue(bar->maximum());
}

// Handlers run here: an exception is shown and logged, never passed to the event loop.
void TfrmUpdate::Guard(const char *name, const std::function<void()> &step) {
  RunAtBoundary(step, [&](const std::exception &e) {
    AddLog(std::string(name) + " Error " + ClassNameOf(e) + "\r\n" + e.what());
    ErrorBox(ClassNameOf(e) + "\r\n" + e.what());
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

void TfrmUpdate::rdTorvClick() {
  QSignalBlocker block(ui->cbTorvDBSite);
  ui->cbTorvDBSite->setCurrentIndex(std::min<int>(OptionData->DownSiteTorvDB, 3));
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

void TfrmUpdate::AddLog(const std::string &line) { log_->AddLine(line); }

std::vector<std::string> TfrmUpdate::LogLines() const {
  std::vector<std::string> lines;
  const QString text = ui->mLog->toPlainText();
  if (text.isEmpty()) return lines;
  for (const QString &l : text.split('\n')) lines.push_back(FromQ(l));
  return lines;
}

void TfrmUpdate::SaveLog(const std::string &path) const { SaveUpdateLog(path, LogLines()); }

std::string TfrmUpdate::DataFile(const std::string &name) const { return JoinPath(OptionData->DownloadFolder, name); }
std::string TfrmUpdate::DbFile(const std::string &name) const { return JoinPath(OptionData->DbFolder, name); }

// ---------------------------------------------------------------- the query object

bool TfrmUpdate::ReleaseDatabase() {
  if (!AcisDB) return false;
  emit DatabaseClosing();
  AcisDBOwner().Close();
  return true;
}

void TfrmUpdate::OpenDatabase(bool refresh) {
  TNoRefresh guard(!refresh);
  AcisDBOwner().Reopen(DbFile("acis.db"), log_.get());
  AcisDB->SetProgressBar(bar_.get());
  emit DatabaseOpened();
}

void TfrmUpdate::ReopenAfterFailure(bool was_open) {
  if (!was_open || AcisDB || !Exists(DbFile("acis.db"))) return;
  try {
    OpenDatabase(false);
  } catch (const std::exception &e) {
    AddLog("AcisDB.Create Error " + ClassNameOf(e) + "\r\n" + e.what());
  }
}

void TfrmUpdate::DiscardBuild() {
  FBuildDB.reset();
  if (!FBuildPath.empty()) {
    std::error_code ec;
    for (const char *suffix : {"", "-journal"}) fs::remove(FsPath(FBuildPath + suffix), ec);
    FBuildPath.clear();
  }
}

bool TfrmUpdate::ReplaceDatabase(const std::string &fresh) {
  const std::string target = DbFile("acis.db");
  if (Exists(target)) AddLog("acis.db 削除"_sj);
  std::error_code ec;
  fs::rename(FsPath(fresh), FsPath(target), ec);
  if (ec) {
    QThread::msleep(100);
    ec.clear();
    fs::rename(FsPath(fresh), FsPath(target), ec);
  }
  if (!ec) return true;
  if (!AutoUpdateSwitch) MsgBox("acis.dbを削除できません"_sj, "エラー"_sj, MB_OK | MB_ICONERROR);
  AddLog("acis.db 削除失敗"_sj);
  return false;
}

// ---------------------------------------------------------------- fetching

std::string TfrmUpdate::DownloadAddress() const { return FromQ(ui->edtDownloadSite->text()); }

void TfrmUpdate::bDownClick() {
  if (OptionData->UseLAN)
    CopyFromSharedFolder();
  else
    Download();
}

void TfrmUpdate::Download() {
  if (!AutoUpdateSwitch && (OptionData->OffLine || OfflineSwitch)) return;
  FetchStep(false);
}

void TfrmUpdate::CopyFromSharedFolder() {
  if (!AutoUpdateSwitch && (OptionData->OffLine || OfflineSwitch)) return;
  FetchStep(true);
}

// The frame shared by the download and the shared-folder copy.
void TfrmUpdate::FetchStep(bool shared) {
  TBusyCursor busy;
  if (!AutoRunning) EnableControls(false);
  TAcisSvr svr;
  svr.LogMemo = log_.get();
  svr.ProgressBar = bar_.get();
  ui->ProgressBar->show();
  FFetchFailed = false;
  AddLog(shared ? "共有フォルダからコピー開始"_sj : "ダウンロード開始"_sj);
  QElapsedTimer timer;
  timer.start();
  std::string target;
  bool stop = false;
  try {
    // One download; done when it stored a file, or (kinds 0 to 2) the server had nothing newer.
    auto fetch = [&](const std::string &url, const std::string &file) {
      target = file;
      bool ok = svr.Download(url, file);
      AddLog(svr.StatusCode + " " + svr.StatusText);
      if (!ok && svr.StatusCode != "304") FFetchFailed = true;
      bool done = ok || (SourceKind <= 2 && svr.StatusCode == "304");
      if (!done && SourceKind <= 1) stop = true;
      return done;
    };
    // One copy from the shared folder.
    auto copy = [&](const std::string &name) {
      target = DataFile(name);
      bool ok = CopyFileToFolder(JoinPath(OptionData->dirLAN, name), target);
      if (!ok) {
        FFetchFailed = true;
        if (SourceKind <= 1 && !ForceUpdate) stop = true;
      }
      return ok;
    };
    // Archive names read from the page stand for files of the data folder only.
    auto usable = [](const std::string &name) { return IsPlainFileName(name); };

    if (shared) {
      switch (SourceKind) {
        case 0: {
          copy("update2.htm");
          AddLog("update2.htm 更新確認"_sj);
          ReadAcisCsvInfo();
          for (int i = 0; i < 3; ++i) {
            TBoldLabel bold(FileLabel(0, i));
            AddLog(CsvNames[i] + " ダウンロード開始"_sj);
            bool ok = usable(CsvNames[i]) && copy(CsvNames[i]);
            if (!usable(CsvNames[i])) {
              FFetchFailed = true;
              if (!ForceUpdate) stop = true;
            }
            AddLog(CsvNames[i] + (ok ? " コピー完了"_sj : " コピー中止"_sj));
          }
          break;
        }
        case 1:
          for (int i = 0; i < 3; ++i) {
            TBoldLabel bold(FileLabel(1, i));
            const std::string name = Part(i) + ".zip";
            AddLog(name + " コピー開始"_sj);
            AddLog(name + (copy(name) ? " コピー完了"_sj : " コピー中止"_sj));
          }
          break;
        case 2: {
          TBoldLabel bold(FileLabel(2, 0));
          AddLog("toroku.zip ダウンロード開始"_sj);
          AddLog(copy("toroku.zip") ? "toroku.zip コピー完了"_sj : "toroku.zip コピー中止"_sj);
          break;
        }
        default:
          for (int i = 0; i < 2; ++i) {
            TBoldLabel bold(FileLabel(3, i));
            const std::string name = i == 0 ? "acis.zip" : "spec.zip";
            AddLog(name + " コピー開始"_sj);
            AddLog(name + (copy(name) ? " コピー完了"_sj : " コピー中止"_sj));
          }
          break;
      }
      AddLog(Timing("コピー時間 %5.1f秒", Seconds(timer)));
    } else {
      switch (SourceKind) {
        case 0: {
          const std::string page = GetPublisherUrl("/ddata/index2.htm");
          fetch(page, DataFile("update2.htm"));
          AddLog(page + " 更新確認"_sj);
          if (ReadAcisCsvInfo()) {
            if (DebugMode) AddLog("AcisCsvInfoSet > ok");
            for (int i = 0; i < 3; ++i) {
              TBoldLabel bold(FileLabel(0, i));
              AddLog(CsvNames[i] + " ダウンロード開始"_sj);
              if (DebugMode) AddLog("AcisCsv: " + CsvNames[i]);
              bool ok = false;
              if (usable(CsvNames[i]))
                ok = fetch(GetPublisherUrl("/ddata/datacsv/" + CsvNames[i]), DataFile(CsvNames[i]));
              else
                FFetchFailed = stop = true;
              AddLog(CsvNames[i] + (ok ? " ダウンロード完了"_sj : " ダウンロード中止"_sj));
            }
          } else {
            AddLog("AcisCsvInfoSet failed!");
            if (DebugMode)
              for (int i = 0; i < 3; ++i) AddLog("AcisCsv" + std::to_string(i) + " > " + CsvNames[i]);
          }
          break;
        }
        case 1:
          for (int i = 0; i < 3; ++i) {
            TBoldLabel bold(FileLabel(1, i));
            const std::string name = Part(i) + ".zip";
            AddLog(name + " ダウンロード開始"_sj);
            if (!fetch(GetPublisherUrl("/ddata/data/" + name), DataFile(name))) {
              AddLog(name + " ダウンロード中止"_sj);
              break;
            }
            AddLog(name + " ダウンロード完了"_sj);
          }
          break;
        case 2: {
          TBoldLabel bold(FileLabel(2, 0));
          const std::string base = GetTorvSiteUrl(OptionData->DownSiteTorvDB);
          AddLog("TorvCsv 取得: "_sj + base);
          AddLog("toroku.zip ダウンロード開始"_sj);
          bool ok = fetch(base + "toroku.zip", DataFile("toroku.zip"));
          AddLog(ok ? "toroku.zip ダウンロード完了"_sj : "toroku.zip ダウンロード中止"_sj);
          break;
        }
        case 3:
        case 4: {
          std::string base;
          bool http = true;
          if (SourceKind == 3) {
            base = GetTorvSiteUrl(MirrorIndex);
            AddLog("SQLiteDB取得: "_sj + base);
          } else if (StartsWith(OptionData->UserSite, "http://")) {
            base = DownloadAddress();
          } else if (StartsWith(OptionData->UserSite, "\\\\")) {
            base = DownloadAddress();
            http = false;
          } else {
            break;  // another kind of address fetches nothing
          }
          for (int i = 0; i < 2; ++i) {
            TBoldLabel bold(FileLabel(3, i));
            const std::string name = i == 0 ? "acis.zip" : "spec.zip";
            bool ok;
            if (http) {
              AddLog(name + " ダウンロード開始"_sj);
              ok = fetch(base + name, DataFile(name));
              AddLog(name + (ok ? " ダウンロード完了"_sj : " ダウンロード中止"_sj));
            } else {
              target = DataFile(name);
              TShfOperation op;
              op.OperationF = foCOPY;
              op.Options.FILESONLY = true;
              op.Options.NOCONFIRMATION = true;
              op.FromFFList = {SharePath(base + "\\" + name)};
              op.ToFolder = target;
              op.ProgressTitle = name + " をコピーしています"_sj;
              ok = op.Execute() == 0;
              if (!ok) FFetchFailed = true;
              AddLog(name + (ok ? " コピー完了"_sj : " コピー中止"_sj));
            }
            if (ok && i == 0 && SourceKind == 4) OptionData->UserSite = base;
          }
          break;
        }
        default:
          break;
      }
      AddLog(Timing("ダウンロード時間 %5.1f秒", Seconds(timer)));
    }
    if (stop && AutoRunning) bAbortClick();
  } catch (const std::exception &) {
    FFetchFailed = true;
    AddLog(target + (shared ? " コピー失敗"_sj : " ダウンロード失敗"_sj));
  }
  ui->ProgressBar->hide();
  if (!AutoRunning) EnableControls(true);
}

// ---------------------------------------------------------------- the publisher's CSV page

bool TfrmUpdate::ReadAcisCsvInfo() {
  const std::string path = DataFile("update2.htm");
  if (DebugMode) AddLog(path);
  if (!Exists(path)) {
    AddLog(path + " LoadFromFile Failed!");
    return false;
  }
  if (DebugMode) AddLog("FileExists > true");
  std::ifstream f(FsPath(path), std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (lines.empty() && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      line.erase(0, 3);
      if (DebugMode) AddLog("bom cut");
    }
    lines.push_back(cp932::FromUtf8(line));
  }
  if (DebugMode) {
    std::string all;
    for (const std::string &l : lines) all += l + "\r\n";
    AddLog("sl.Text > " + all);
  }
  const std::string link = "\" target =\"_blank\">";
  bool result = false;
  for (const std::string &l : lines) {
    if (Contains(l, "反映分"_sj) && !Contains(l, "<!--")) {
      DataAsOf = ExtractDataAsOfText(l);
      if (DebugMode) AddLog("UpdateDate:" + DataAsOf);
      result = true;
    }
    if (!Contains(DataAsOf, "反映"_sj)) continue;
    for (int i = 0; i < 3; ++i) {
      std::size_t hit = FindSjis(l, "zip" + link + Part(i));
      if (hit == std::string::npos) continue;
      std::size_t start = l.rfind("datacsv/", hit);
      if (start == std::string::npos) continue;
      start += 8;
      std::string name = l.substr(start, hit + 3 - start);
      // The name becomes a path and an address: only a plain file name is taken.
      if (IsPlainFileName(name)) CsvNames[i] = name;
    }
  }
  return result;
}

// ---------------------------------------------------------------- unpacking

void TfrmUpdate::UnpackStep(const std::vector<std::pair<std::string, QLabel *>> &archives, bool stop_at_missing,
                            const char *unpack_utf8) {
  TBusyCursor busy;
  if (!AutoRunning) EnableControls(false);
  bool bad = false;
  for (const auto &[name, label] : archives) {
    TBoldLabel bold(label);
    const std::string path = DataFile(name);
    if (!Exists(path)) {
      AddLog(path + "> なし"_sj);
      bad = true;
      if (stop_at_missing) break;
      continue;
    }
    AddLog(name + cp932::FromUtf8(unpack_utf8));
    std::string output;
    bool ok = ExtractArchive(path, OptionData->DownloadFolder, output);
    AddLog(path + ": " + output);
    if (!ok) {
      bAbortClick();
      AddLog("解凍作業中止"_sj);
      bad = true;
      break;
    }
  }
  AddLog(bad ? "解凍作業中止"_sj : "解凍作業完了"_sj);
  if (!AutoRunning) EnableControls(true);
}

void TfrmUpdate::UnpackAcisCsv() {
  if (CsvNames[0].empty()) ReadAcisCsvInfo();
  std::vector<std::pair<std::string, QLabel *>> archives;
  for (int i = 0; i < 3; ++i) {
    // A name that is no plain file name stands for no file here.
    archives.emplace_back(IsPlainFileName(CsvNames[i]) ? CsvNames[i] : std::string("?"), FileLabel(0, i));
  }
  UnpackStep(archives, false, "を解凍");
}

void TfrmUpdate::UnpackAcisXls() {
  std::vector<std::pair<std::string, QLabel *>> archives;
  for (int i = 0; i < 3; ++i) archives.emplace_back(Part(i) + ".zip", FileLabel(1, i));
  UnpackStep(archives, true, " を解凍");
}

void TfrmUpdate::UnpackTorvCsv() { UnpackStep({{"toroku.zip", FileLabel(2, 0)}}, true, " を解凍"); }

void TfrmUpdate::btnAcisZipUnpackClick() { UnpackAcisCsv(); }
void TfrmUpdate::bUnpackClick() { UnpackAcisXls(); }
void TfrmUpdate::bZipUnpackClick() { UnpackTorvCsv(); }

// The ready-made databases: both archives are unpacked into a folder of their own beside
// acis.db, and their files take their places only when both were unpacked whole.
void TfrmUpdate::btnUnpackDBClick() {
  TBusyCursor busy;
  if (!AutoRunning) EnableControls(false);
  const bool was_open = ReleaseDatabase();
  RemoveStaleBuildFiles(OptionData->DbFolder, log_.get());
  const fs::path staging = TempBeside(FsPath(DbFile("acis.db")));
  std::error_code ec;
  fs::create_directories(staging, ec);
  int unpacked = 0;
  for (int i = 0; i < 2; ++i) {
    TBoldLabel bold(FileLabel(3, i));
    const std::string archive = DataFile(i == 0 ? "acis.zip" : "spec.zip");
    if (!Exists(archive)) continue;
    std::string output;
    bool ok = ExtractArchive(archive, FromFsPath(staging), output);
    AddLog(archive + ": " + output);
    if (ok) ++unpacked;
  }
  bool placed = false;
  if (unpacked == 2 && fs::exists(staging / "acis.db", ec)) {
    // acis.db goes last, so that the old one stays when anything before it fails.
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(staging, ec))
      if (entry.path().filename() != "acis.db") files.push_back(entry.path());
    files.push_back(staging / "acis.db");
    placed = true;
    for (const fs::path &file : files) {
      std::error_code move_error;
      fs::rename(file, FsPath(DbFile(FromFsPath(file.filename()))), move_error);
      if (move_error) {
        placed = false;
        break;
      }
    }
  }
  fs::remove_all(staging, ec);
  if (placed) {
    OptionData->BuiltFromSite = SourceKind;
    OpenDatabase(false);
    Rebuilt = true;
  } else {
    Rebuilt = false;
    AddLog("解凍作業中止"_sj);
    bAbortClick();
    ReopenAfterFailure(was_open);
  }
  if (!AutoRunning) EnableControls(true);
}

// ---------------------------------------------------------------- the build

void TfrmUpdate::bXlsCnvClick() { RebuildDatabase(); }
void TfrmUpdate::bCsvToDBClick() { RebuildDatabase(); }

void TfrmUpdate::RebuildDatabase() {
  // What the build reads must be there.
  bool passed = true;
  switch (SourceKind) {
    case 0:
      if (CsvNames[0].empty()) ReadAcisCsvInfo();
      for (const std::string &name : CsvNames) {
        if (!IsPlainFileName(name) || !Exists(DataFile(name))) {
          AddLog(name + "なし"_sj);
          AddLog("データ更新中止!"_sj);
          passed = false;
          break;
        }
      }
      break;
    case 1:
      for (int i = 0; i < 3; ++i) {
        const std::string path = DataFile(Part(i) + ".xls");
        if (!Exists(path)) {
          AddLog(path + "なし"_sj);
          AddLog("データ更新中止!"_sj);
          passed = false;
          break;
        }
      }
      break;
    case 2:
      passed = Exists(DataFile("kihon.csv")) && Exists(DataFile("tekiyo.csv"));
      break;
    default:
      passed = false;
      break;
  }
  Aborted = !passed;
  if (!passed) return;

  ui->ProgressBar->show();
  QElapsedTimer timer;
  timer.start();
  const std::uint8_t previous_site = OptionData->BuiltFromSite;
  bool was_open = false;
  if (AcisDB) {
    OldDatabase = AcisDB->GetVersion() <= 120412;
    was_open = ReleaseDatabase();
  }
  TBusyCursor busy;
  if (!AutoRunning) EnableControls(false);
  // Gives up the build: the fresh file goes, the user's acis.db stays and opens again.
  auto give_up = [&] {
    DiscardBuild();
    OptionData->BuiltFromSite = previous_site;
    ReopenAfterFailure(was_open);
    if (!AutoRunning) EnableControls(true);
    ui->ProgressBar->setValue(0);
    ui->ProgressBar->hide();
  };
  try {
    RemoveStaleBuildFiles(OptionData->DbFolder, log_.get());
    OptionData->BuiltFromSite = SourceKind;
    FBuildPath = FromFsPath(TempBeside(FsPath(DbFile("acis.db"))));
    FBuildDB = std::make_unique<TAcisDB>(FBuildPath, log_.get());
    FBuildDB->SetProgressBar(bar_.get());
    TAcisDB &db = *FBuildDB;

    AddLog("テーブル作成"_sj);
    db.CreateTables();
    UiServices().ProcessMessages();
    switch (SourceKind) {
      case 0: ConvertAcisCsv(); break;
      case 1: ConvertAcisXls(); break;
      default: ConvertTorvCsv(); break;
    }
    if (Aborted) {
      give_up();
      return;
    }

    ui->ProgressBar->setValue(0);
    ui->ProgressBar->setRange(0, 100);
    ui->ProgressBar->setValue(1);
    // One phase: its line, the operation, the bar; a cancel is taken between phases.
    auto phase = [&](const char *line_utf8, const std::function<void()> &op, int position) {
      if (Aborted) return false;
      if (line_utf8) AddLog(cp932::FromUtf8(line_utf8));
      op();
      ui->ProgressBar->setValue(position);
      return !Aborted;
    };
    bool going =
        phase("登録基本部マスターテーブル(m_kihon)作成", [&] { db.FillTmKihon(); }, 10) &&
        phase("m_kihon > 有効成分１～５フィールド作成", [&] { db.BuildMKihon(); }, 20) &&
        phase("作物名マスターテーブル群作成",
              [&] { AddLog(db.UpdateMSakumotsu() ? "m_sakumotsu 作成"_sj : "m_sakumotsu 作成失敗..."_sj); }, 30) &&
        phase("病害虫名マスターテーブル群作成", [&] { db.UpdateMByochu(); }, 40) &&
        phase("有効成分テーブル(seibun)作成", [&] { db.CreateSeibun(); }, 50) &&
        phase(nullptr, [] {}, 74) &&
        phase("インデックス作成開始", [&] { db.CreateIndexes(); AddLog("インデックス作成終了"_sj); }, 92) &&
        phase("ビュー作成開始", [&] { db.CreateTekiyoViews(); }, 95);
    if (going) {
      AddLog("ビュー作成終了"_sj);
      going = phase(nullptr, [&] { db.SetLastUpdate(DataAsOf); }, 100);
    }
    if (!going) {
      give_up();
      return;
    }
    // The build is complete: it takes the place of acis.db.
    FBuildDB.reset();
    if (!ReplaceDatabase(FBuildPath)) {
      give_up();
      bAbortClick();
      return;
    }
    FBuildPath.clear();
    OpenDatabase(false);
    AddLog("更新日設定 > "_sj + DataAsOf);
    AddLog("データ更新完了"_sj);
  } catch (...) {
    give_up();
    throw;
  }
  Rebuilt = true;
  AddLog(Timing("データベース更新時間 %5.1f秒", Seconds(timer)));
  if (!AutoRunning) EnableControls(true);
  ui->ProgressBar->setValue(0);
  ui->ProgressBar->hide();
}

void TfrmUpdate::ConvertAcisCsv() {
  if (Aborted || !FBuildDB) return;
  QElapsedTimer timer;
  timer.start();
  std::string basic = DataFile(ChangeFileExt(CsvNames[0], ".csv"));
  if (!Exists(basic)) basic = ReplaceAllText(basic, "登録基本部csv"_sj, "登録基本部"_sj);
  if (!Exists(basic)) {
    AddLog(basic + "オープン失敗"_sj);
    Aborted = true;
    return;
  }
  {
    TBoldLabel bold(FileLabel(0, 0));
    AddLog("登録基本部 データベース変換中"_sj);
    AddLog(basic);
    FBuildDB->ImportKihonRawCsv(basic);
  }
  for (int i = 1; i < 3; ++i) {
    TBoldLabel bold(FileLabel(0, i));
    const std::string path = DataFile(ChangeFileExt(CsvNames[i], ".csv"));
    AddLog(Part(i) + " データベース変換中"_sj);
    AddLog(path);
    FBuildDB->ImportTekiyoRawCsv(path);
  }
  ui->ProgressBar->setValue(0);
  AddLog(Timing("csv->acis.db 変換完了 %5.1f秒", Seconds(timer)));
}

void TfrmUpdate::ConvertAcisXls() {
  if (Aborted || !FBuildDB) return;
  QElapsedTimer timer;
  timer.start();
  for (PartIndex = 0; PartIndex < 3; ++PartIndex) {
    TBoldLabel bold(FileLabel(1, PartIndex));
    PartGrid->cells.Clear(30, 65000);
    SheetCounter = 0;
    TargetSheet = 0;
    MaxCol = 0;
    MaxRow = 0;
    const std::string name = Part(PartIndex) + ".xls";
    AddLog(name + " 読込中"_sj);
    ui->ProgressBar->setRange(0, 100);
    Excel.LoadFromFile(DataFile(name));
    // A workbook without the part's sheet would build an empty table in place of the data.
    if (TargetSheet == 0)
      throw EInOutError(DataFile(name) + ": " + Part(PartIndex) + " sheet not found");
    PartGrid->cells.Resize(MaxCol + 1, MaxRow + 1);
    ui->ProgressBar->setRange(0, std::max(MaxRow, 1));
    AddLog(Part(PartIndex) + " データベース変換中"_sj);
    if (PartIndex == 0)
      FBuildDB->ImportKihonXls(*PartGrid);
    else
      FBuildDB->ImportTekiyoXls(*PartGrid);
    PartGrid->cells.Clear(0, 0);
  }
  ui->ProgressBar->setValue(0);
  AddLog(Timing("xls->acis.db 変換完了 %5.1f秒", Seconds(timer)));
}

void TfrmUpdate::ConvertTorvCsv() {
  if (Aborted || !FBuildDB) return;
  QElapsedTimer timer;
  timer.start();
  DataAsOf = ExtractDataAsOfText(FirstLine(DataFile("update.txt")));
  {
    TBoldLabel bold(FileLabel(2, 1));
    AddLog("kihon.csv データベース変換中"_sj);
    FBuildDB->ImportKihonCsv(DataFile("kihon.csv"));
  }
  {
    TBoldLabel bold(FileLabel(2, 2));
    AddLog("tekiyo.csv データベース変換中"_sj);
    FBuildDB->ImportTekiyoCsv(DataFile("tekiyo.csv"));
  }
  ui->ProgressBar->setValue(0);
  AddLog(Timing("csv->acis.db 変換完了 %5.1f秒", Seconds(timer)));
}

// ---------------------------------------------------------------- the workbook reader

void TfrmUpdate::ExcelReadSheetName(TXBiff *, const std::string &SheetName) {
  ++SheetCounter;
  if (PartIndex >= 0 && PartIndex < 3 && SheetName == Part(PartIndex)) TargetSheet = SheetCounter;
}

void TfrmUpdate::ExcelReadCell(TXBiff *, int SheetNo, int Row, int Col, int, const std::string &Data, bool &) {
  if (PartIndex < 0 || PartIndex > 2) return;
  if (SheetNo == 1 && Row == 0 && Col == 0 && kPartDateFlag[PartIndex] == 0) {
    DataAsOf = ExtractDataAsOfText(Data);
    AddLog("更新日取得:"_sj + DataAsOf);
    return;
  }
  if (SheetNo != TargetSheet || Row < 0 || Col < 0) return;
  if (Row >= PartGrid->cells.RowCount() || Col >= PartGrid->cells.ColCount()) return;
  if (Row == 0) MaxCol = std::max(MaxCol, Col);
  if (Col == 0) MaxRow = std::max(MaxRow, Row);
  std::string text = Data;
  // A product name published with its opening typographic quote closed by a straight one.
  const std::string open = "“"_sj, close = "”"_sj;
  std::size_t o = FindSjis(text, open);
  if (o != std::string::npos && FindSjis(text, close) == std::string::npos) {
    std::size_t q = text.find('"', o + open.size());
    if (q != std::string::npos) text.replace(q, 1, close);
  }
  PartGrid->cells.Set(Col, Row, text);
}

void TfrmUpdate::ExcelProgress(TXBiff *, int Progress) {
  if (Progress % 5 == 0) ui->ProgressBar->setValue(Progress);
  UiServices().ProcessMessages();
}

// ---------------------------------------------------------------- the runs

bool TfrmUpdate::RunAutoUpdate() {
  TUnattendedUi::TLogScope box_log(log_.get());
  Aborted = false;
  AutoRunning = true;
  EnableControls(false);
  if (AutoUpdateSwitch) AddLog("データ更新開始:"_sj + UpdateLogStamp());
  try {
    if (OptionData->UseLAN)
      CopyFromSharedFolder();
    else
      Download();
    if (!Aborted) {
      switch (SourceKind) {
        case 0: UnpackAcisCsv(); break;
        case 1: UnpackAcisXls(); break;
        case 2: UnpackTorvCsv(); break;
        default: btnUnpackDBClick(); break;
      }
    }
    if (!Aborted && SourceKind <= 2) RebuildDatabase();
  } catch (const std::exception &e) {
    // A failed step ends the run as aborted; acis.db is left as it was.
    AddLog("RunAutoUpdate Error " + ClassNameOf(e) + "\r\n" + e.what());
    Aborted = true;
  }
  bool result;
  if (Aborted) {
    AddLog("データ更新中止!"_sj);
    EnableControls(true);
    AutoStart = false;
    result = false;
  } else {
    result = true;
    Rebuilt = true;
  }
  Aborted = false;
  AutoRunning = false;
  EnableControls(true);
  if (AutoUpdateSwitch) {
    AddLog("データ更新完了:"_sj + UpdateLogStamp());
    SaveLog(DbFile("autoupdate.log"));
  } else if (result && AutoStart) {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
  return result;
}

bool TfrmUpdate::RunDownloadCheck() {
  TUnattendedUi::TLogScope box_log(log_.get());
  Aborted = false;
  AutoRunning = false;
  EnableControls(false);
  if (DownloadCheckSwitch) AddLog("ダウンロード更新確認開始:"_sj + UpdateLogStamp());
  if (OptionData->UseLAN)
    CopyFromSharedFolder();
  else
    Download();
  EnableControls(true);
  if (!DownloadCheckSwitch) return false;
  AddLog("ダウンロード更新確認終了:"_sj + UpdateLogStamp());
  SaveLog(DataFile("autodown.log"));
  return !FFetchFailed;
}

void TfrmUpdate::UpdateFromLocalFiles() {
  auto fetch = [this] {
    if (OptionData->UseLAN)
      CopyFromSharedFolder();
    else
      Download();
  };
  switch (SourceKind) {
    case 0: {
      ReadAcisCsvInfo();
      bool csv = true, zip = true;
      for (const std::string &name : CsvNames) {
        csv = csv && IsPlainFileName(name) && Exists(DataFile(ChangeFileExt(name, ".csv")));
        zip = zip && IsPlainFileName(name) && Exists(DataFile(name));
      }
      // The build reads the CSV files: archives at hand are unpacked first.
      if (!csv) {
        if (!zip) fetch();
        if (!Aborted) UnpackAcisCsv();
      }
      break;
    }
    case 1:
      fetch();
      if (!Aborted) UnpackAcisXls();
      break;
    case 2:
      if (!(Exists(DataFile("kihon.csv")) && Exists(DataFile("toroku.csv")) && Exists(DataFile("update.txt"))) &&
          !Exists(DataFile("toroku.zip"))) {
        fetch();
        if (!Aborted) UnpackTorvCsv();
      }
      break;
    default:
      break;
  }
  if (!Aborted) RebuildDatabase();
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TfrmUpdate::bAutoClick() { RunAutoUpdate(); }

// ---------------------------------------------------------------- JPP-NET imports

namespace {

void ImportJpp(TfrmUpdate &w, QProgressBar *bar, IProgressTarget *target, const char *title_utf8,
               const char *pattern, bool (TAcisDB::*import)(const std::string &), const char *done) {
  if (!AcisDB) return;
  const std::string file = TfrmUpdate::ChooseFile(
      &w, cp932::FromUtf8(title_utf8), "ﾃｷｽﾄﾌｧｲﾙ"_sj + " (" + pattern + ")", OptionData->ProgramFolder);
  if (file.empty() || !Exists(file)) return;
  TBusyCursor busy;
  bar->show();
  struct Hide {
    QProgressBar *bar;
    ~Hide() {
      bar->setValue(0);
      bar->hide();
    }
  } hide{bar};
  AcisDB->SetProgressBar(target);
  if ((AcisDB->*import)(file)) w.AddLog(cp932::FromUtf8(done));
}

}  // namespace

void TfrmUpdate::btnDokuseiClick() {
  ImportJpp(*this, ui->ProgressBar, bar_.get(), "JPP-NET「剤の概要」CSVファイルを選択して下さい",
            "n_trk*_1.txt n_trk*_1.TXT", &TAcisDB::ImportJppSeizai, "テーブル作成 jpp.tJppSeizai");
}

void TfrmUpdate::pmnJppSeibunClick() {
  ImportJpp(*this, ui->ProgressBar, bar_.get(), "JPP-NET「有効成分」CSVファイルを選択して下さい",
            "n_trk*_3.txt n_trk*_3.TXT", &TAcisDB::ImportJppSeibun, "テーブル作成 jpp.tJppSeibun");
}

// ---------------------------------------------------------------- unattended runs

int UnattendedUpdate(QWidget *owner) {
  TfrmUpdate w(owner);
  w.AutoStart = true;
  return w.RunAutoUpdate() ? kExitRebuilt : kExitFailed;
}

int UnattendedDownloadCheck(QWidget *owner) {
  TfrmUpdate w(owner);
  return w.RunDownloadCheck() ? kExitDownloaded : kExitFailed;
}

std::string UpdateLogStamp() {
  QLocale locale = QLocale::system();
  QDateTime now = QDateTime::currentDateTime();
  return FromQ(locale.toString(now.date(), QLocale::ShortFormat) + " " +
               locale.toString(now.time(), QLocale::ShortFormat));
}

void SaveUpdateLog(const std::string &path, const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &l : lines) text += l + "\r\n";
  std::ofstream f(FsPath(path), std::ios::binary | std::ios::trunc);
  f << text;
}

// ---------------------------------------------------------------- services of unattended runs

void TUnattendedUi::Write(const std::string &text) {
  if (Log) {
    Log->AddLine(text);
  } else {
    const std::string utf8 = cp932::ToUtf8(text) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  }
}

int TUnattendedUi::MessageBox(const std::string &text, const std::string &, unsigned flags) {
  Write(text);
  switch (flags & 0xF) {
    case MB_OK: return IDOK;
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDCANCEL;
  }
}

void TUnattendedUi::ShowReport(const std::string &caption, const std::string &title, const std::string &text) {
  Write(caption + " " + title + "\r\n" + text);
}

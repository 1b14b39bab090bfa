// The main window's small commands: the offline switch, clearing the search conditions of
// the active tab, the online help, the web look-ups of the grid popups, and the
// fixed-procedure pane docked in its tab.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "components/ComCtrlsXP.h"
#include "components/grid/ExcelUtil.h"
#include "components/FormPnl.h"
#include "components/qtext.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/QlmExportUtils.h"
#include "ui/ShellServices.h"
#include "ui/Template.h"
#include "ui/UOption.h"
#include "ui/UfraSakumotsu.h"
#include "ui/main.h"
#include "platform/fspath.h"
#include "ui/main_sqledit.h"
#include "ui_UfraSakumotsu.h"
#include "ui_main.h"

using namespace cp932::literals;

std::string HelpPageAddress() {
  if (const char *env = std::getenv("QUILLMAR_HELP_URL"); env && *env) return cp932::FromUtf8(env);
  return "https://quillmar.example.org/help/";
}

std::string LookupText(TLookupTermKind Kind, const std::string &Term, const std::string &CellText) {
  auto quoted = [](const std::string &s) { return "\"" + s + "\""; };
  switch (Kind) {
    case TLookupTermKind::Term: return Term;
    case TLookupTermKind::CellText: return CellText;
    case TLookupTermKind::ChuiJiko: return quoted(Term) + " " + quoted("使用上の注意"_sj);
    case TLookupTermKind::Konyo: return quoted(Term) + " " + quoted("混用事例"_sj);
    case TLookupTermKind::ChuiJikoOption:
      return quoted(CellText) + " " + quoted("使用上の注意"_sj) + " " + "つまみ菜|間引き菜"_sj + " " + quoted("使用しない"_sj);
  }
  return Term;
}

// Q_INIT_RESOURCE must be called outside any namespace.
static void InitShippedResources() { Q_INIT_RESOURCE(shipped); }

int DeployShippedFiles(const std::string &TemplateFolder, const std::string &CssFolder) {
  InitShippedResources();
  int copied = 0;
  // A folder that exists is the user's: files taken out of it stay out.
  for (const auto &[from, to] : {std::pair{QStringLiteral(":/shipped/Template"), TemplateFolder},
                                 std::pair{QStringLiteral(":/shipped/css"), CssFolder}}) {
    std::error_code ec;
    const std::filesystem::path folder = FsPath(to);
    if (to.empty() || std::filesystem::exists(folder, ec)) continue;
    std::filesystem::create_directories(folder, ec);
    if (ec) continue;
    for (const QString &name : QDir(from).entryList(QDir::Files)) {
      const QString target = QString::fromStdString((folder / name.toStdString()).string());
      if (QFile::copy(from + "/" + name, target)) {
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        ++copied;
      }
    }
  }
  return copied;
}

bool TfrmMain::IsOffline() const { return OptionData->OffLine || OfflineSwitch; }

void TfrmMain::ConnectMainCommands() {
  DeployShippedFiles(OptionData->TemplateFolder, OptionData->CssFolder);

  // The offline switch.
  mnOffline->setText(ToQ("オフライン作業(&W)"_sj));
  connect(mnOffline, &QAction::triggered, this, [this] { RunGuarded([this] { mnOfflineClick(); }); });

  // Clearing the conditions, beside the search commands.
  // The conditions stay as they were while a run finds their result.
  connect(actSearchStrClear, &QAction::triggered, this,
          [this] { RunExclusive([this] { RunGuarded([this] { actSearchStrClearExecute(); }); }); });
  ToolBar1->insertAction(actStop, actSearchStrClear);

  // The online help, first in the help menu.
  mnDocOpen = new QAction(ToQ("オンラインヘルプ(&H)"_sj), this);
  mnDocOpen->setObjectName("mnDocOpen");
  mnDocOpen->setShortcut(QKeySequence(Qt::Key_F1));
  mnDocOpen->setShortcutContext(Qt::WindowShortcut);
  connect(mnDocOpen, &QAction::triggered, this, [this] { RunGuarded([this] { mnDocOpenClick(); }); });
  if (QMenu *help = menuBar()->findChild<QMenu *>("mnHelp")) {
    const QList<QAction *> items = help->actions();
    help->insertAction(items.isEmpty() ? nullptr : items.first(), mnDocOpen);
  } else {
    addAction(mnDocOpen);
  }

  ConnectTemplatePane();
  ConnectLookups();
}

// The web look-up items of the grid popup: the look-up each calls, the text it passes, and
// whether that text stays the popup's term. (The ingredient grid's popup runs its own.)
const std::vector<TLookupItem> &LookupItems() {
  using K = TLookupTermKind;
  static const std::vector<TLookupItem> items = {
      {"pmnGoogleTekiyo", &OpenWebSearch, K::Term, false},
      {"pmnGoogleChuiJiko", &OpenWebSearch, K::ChuiJiko, true},
      {"pmnGoogleChuijikoOption", &OpenWebSearch, K::ChuiJikoOption, true},
      {"pmnGoogleKonyo", &OpenWebSearch, K::Konyo, true},
      {"pmnNoukaWebSearch", &OpenFarmProductSearch, K::Term, false},
      {"pmnWeblio", &OpenOnlineDictionary, K::Term, false},
      {"pmnGoogleFfcr", &OpenFoundationSiteSearch, K::Term, false},
      {"pmnNihsSearch", &OpenChemicalInfoSearch, K::Term, false},
      {"pmnFcgr", &OpenProductLabSiteSearch, K::CellText, true},
      {"pmnPrdbSearch", &OpenPesticideDatabasePage, K::Term, false},
      {"pmnGene", &OpenPlantDiseaseSiteSearch, K::Term, false},
      {"pmnBoujonet", &OpenPestControlSiteSearch, K::Term, false},
  };
  return items;
}

void TfrmMain::ConnectLookups() {
  for (const TLookupItem &item : LookupItems()) {
    QAction *a = findChild<QAction *>(QString::fromLatin1(item.Name));
    if (!a) continue;  // a popup that this window does not have
    connect(a, &QAction::triggered, this, [this, &item] { RunGuarded([this, &item] { RunLookup(item); }); });
  }
}

void TfrmMain::RunLookup(const TLookupItem &Item) {
  if (IsOffline()) return;
  const std::string text = LookupText(Item.Kind, LookupTerm, PopupCellText);
  if (Item.Rewrites) LookupTerm = text;  // until the popup opens again
  Item.Open(this, text);
}

void TfrmMain::ConnectTemplatePane() {
  // The pane holds a browser view, whose engine an unattended run never needs: started, it
  // only writes its start-up complaints to the error output of every scheduled run.
  if (AutoUpdateSwitch || DownloadCheckSwitch) return;
  TemplateForm = new TfrmTemplate(this);
  TemplateForm->setObjectName("frmTemplate");
  TemplateForm->setFont(font());
  ui->fplTemplate->SetForm(TemplateForm);
  TXlsStringGrid *gd = TemplateForm->gdTemplate();
  gd->setFont(ui->gdTekiyo->font());
  SetTextColor(gd, ui->gdTekiyo->palette().color(QPalette::Active, QPalette::Text));
  TabState[3].Grid = gd;
  TemplateForm->Host.SendToSqlPane = [this](const std::string &SQL) { SendSqlToSqlPane(SQL); };
  TemplateForm->Host.RunExclusive = [this](const std::function<void()> &Command) { RunExclusive(Command); };
  TemplateForm->Host.SetSearchPanelsEnabled = [this](bool Enabled) {
    SetSearchPanelsEnabled(Enabled);
    SetOutputEnabled(Enabled && CurrentGrid && CurrentGrid->isVisible());
  };
  ConnectResultGrid(gd);
  TemplateForm->Host.AdjustGridColumnWidths = [this](TXlsStringGrid &Grid) { return AdjustGridColumnWidths(&Grid); };
  TemplateForm->Host.ShowResultCount = [this](const std::string &Count) {
    TabState[3].CountText = Count;
    TabState[3].StatusText.clear();
    SetStatusText(3, Count);
    SetStatusText(2, std::string());
    SetOutputEnabled(true);
  };
}

void TfrmMain::SendSqlToSqlPane(const std::string &SQL) {
  SetSQLEditorText(SQLEditor, SQL);  // runs the editor-change handler
  if (ui->pgSearch->currentWidget() == ui->tabSQL)
    pgSearchChange();
  else
    ui->pgSearch->setCurrentWidget(ui->tabSQL);  // runs the tab-change handler
}

// ---------------------------------------------------------------- the small commands

void TfrmMain::mnOfflineClick() {
  // The action has already turned its check over when it was triggered.
  const bool on = mnOffline->isChecked();
  OptionData->OffLine = on;
  setWindowTitle(on ? ToQ("Quillmar - オフライン"_sj) : QStringLiteral("Quillmar"));
}

void TfrmMain::actSearchStrClearExecute() {
  const int tab = ui->pgSearch->currentIndex();
  switch (tab) {
    case 0: {
      TfraSakumotsuBase *frame = ui->fraSakumotsu;
      frame->Form().eSakumotsu->clear();
      frame->Form().eKinsetsuSakumotsu->clear();
      frame->actSakumotsuListCheckOffExecute();
      frame->actTreeCheckOffExecute();
      for (QComboBox *c : {ui->cbByochu, ui->cbMokuteki, ui->cbZaikei}) {
        c->clear();
        c->setEnabled(false);
      }
      ui->edtYoto->clear();
      ui->edtYoto->setEnabled(false);
      for (QWidget *b : std::initializer_list<QWidget *>{ui->btnByochu, ui->btnMokuteki, ui->btnYoto, ui->btnZaikei})
        b->setEnabled(false);
      KinsetsuNames.clear();
      AdjacentCropNames.clear();
      break;
    }
    case 1:
      ui->edtByochu->clear();
      ui->cbTabByochuSakumotu->clearEditText();
      break;
    case 2:
      ui->eYakuzai->clear();
      ui->eYakuzaiTabSakumotsu->clear();
      break;
    case 3:
      if (TemplateForm) TemplateForm->ClearArgs();
      break;
    case 4:
      SetSQLEditorText(SQLEditor, std::string());
      break;
    default:
      break;
  }
}

void TfrmMain::mnDocOpenClick() {
  if (IsOffline()) return;
  ShellServices().ShellExecute(this, "open", HelpPageAddress(), "", OptionData->ProgramFolder, SW_SHOWDEFAULT);
}

void TfrmMain::mnInitDataDownClick() {}

// The main window's output commands: the spreadsheet hand-offs (directly through the grid
// or through an HTML page in a minimised viewer), the CSV file and the HTML result page;
// and the actions and menu items of the result grids, built here.
#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QToolButton>
#include <QComboBox>

#include "components/DialogServices.h"
#include "components/grid/ExcelUtil.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "ui/QlmExportUtils.h"
#include "ui/UGrid.h"
#include "ui/UOption.h"
#include "ui/UWebBrowser.h"
#include "ui/main.h"
#include "ui_main.h"

using namespace cp932::literals;

// ---------------------------------------------------------------- actions

void TfrmMain::BuildResultActions() {
  auto action = [this](const char *name, const char *caption_utf8, void (TfrmMain::*handler)() = nullptr) {
    auto *a = new QAction(QString::fromUtf8(caption_utf8), this);
    a->setObjectName(QString::fromLatin1(name));
    if (handler)
      connect(a, &QAction::triggered, this,
              [this, handler] { RunExclusive([this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); }); });
    return a;
  };
  actCopyExcel = action("actCopyExcel", "Excel出力", &TfrmMain::actCopyExcelExecute);
  actCopyJustCalc = action("actCopyJustCalc", "JustCalc出力", &TfrmMain::actCopyJustCalcExecute);
  actCopyExcelByHTML = action("actCopyExcelByHTML", "Excel出力", &TfrmMain::actCopyExcelByHTMLExecute);
  actCopyJustCalcByHTML = action("actCopyJustCalcByHTML", "JustCalc出力", &TfrmMain::actCopyJustCalcByHTMLExecute);
  actCopyWPS = action("actCopyWPS", "WPS 出力", &TfrmMain::actCopyWPSExecute);
  actCopyOOoCalc = action("actCopyOOoCalc", "Calc出力", &TfrmMain::actCopyOOoCalcExecute);
  actCsvSave = action("actCsvSave", "CSV保存", &TfrmMain::actCsvSaveExecute);
  actHtmlSave = action("actHtmlSave", "HTML出力", &TfrmMain::actHtmlSaveExecute);
  actExportGrid = action("actExportGrid", "別窓");
  actExportGrid->setToolTip(QString::fromUtf8("検索結果を別ウインドウで表示"));
  actGridCopy = action("actGridCopy", "コピー(&C)", &TfrmMain::actGridCopyExecute);
  actGridAllCopy = action("actGridAllCopy", "全てコピー", &TfrmMain::actGridAllCopyExecute);
  actGridSeibunCopy = action("actGridSeibunCopy", "コピー", &TfrmMain::actGridSeibunCopyExecute);
  actCopyMobile = action("actCopyMobile", "PortaBase用コピー", &TfrmMain::actCopyMobileExecute);
  actGridAdjustWidth = action("actGridAdjustWidth", "列幅自動設定");
  connect(actGridAdjustWidth, &QAction::triggered, this,
          [this] { RunExclusive([this] { AdjustGridColumnWidths(CurrentGrid); }); });
  actSearchStrClear = action("actSearchStrClear", "条件消去");
  actTsusho = action("actTsusho", "通称モード");
  actTsusho->setCheckable(true);
  actRacKeito = action("actRacKeito", "RAC系統");
  actRacKeito->setCheckable(true);
  actRacKeito->setToolTip(QString::fromUtf8("RAC系統を表示"));

  // The spreadsheet drop-down of btnExcel.
  dmCalc = new QMenu(this);
  dmCalc->setObjectName("dmCalc");
  dmCalc->addActions({actCopyExcelByHTML, actCopyOOoCalc, actCopyWPS, actCopyJustCalcByHTML});
  dmCalc->addSeparator();
  dmCalc->addActions({actCopyExcel, actCopyJustCalc});

  // The view modes; their items and handlers come with the view-mode commands.
  dmSeibun = new QMenu(this);
  dmSeibun->setObjectName("dmSeibun");
  btnSeibunView = new QToolButton(this);
  btnSeibunView->setObjectName("btnSeibunView");
  btnSeibunView->setMenu(dmSeibun);
  btnSeibunView->setPopupMode(QToolButton::MenuButtonPopup);
  auto *seibun_menu = new QMenu(QString::fromUtf8("成分1～5表示"), this);
  seibun_menu->setObjectName("mnSearchSeibunViewMenu");
  mnSearchSeibunView = seibun_menu->menuAction();
  mnSearchSeibunView->setObjectName("mnSearchSeibunView");
  mnSearchKeitoView = action("mnSearchKeitoView", "RAC系統");
  mnSearchKeitoView->setCheckable(true);

  // The mobile copy goes to handheld database programs.
  auto *porta = new QMenu(QString::fromUtf8("PortaBase"), this);
  porta->setObjectName("mnPortaBaseMenu");
  porta->addAction(actCopyMobile);
  mnPortaBase = porta->menuAction();
  mnPortaBase->setObjectName("mnPortaBase");

  // The grid popup and its fixed items; the rest is added by BuildGridPopup.
  mnTekiyouGrid = new QMenu(this);
  mnTekiyouGrid->setObjectName("mnTekiyouGrid");
  pmnGridAdjustWidth = action("pmnGridAdjustWidth", "列幅自動設定");
  connect(pmnGridAdjustWidth, &QAction::triggered, actGridAdjustWidth, &QAction::trigger);
  pmnFixedClm = action("pmnFixedClm", "列固定(&F)");
  pmnFixedClmOff = action("pmnFixedClmOff", "列固定解除(&U)");
  pmnGoogleTekiyo = action("pmnGoogleTekiyo", "Googleで検索");
}

void TfrmMain::SetExcelAction(QAction *Action) {
  btnExcel->setDefaultAction(Action);
  btnExcel->setMenu(dmCalc);
  btnExcel->setPopupMode(QToolButton::MenuButtonPopup);
}

// ---------------------------------------------------------------- the HTML result page

void TfrmMain::BuildResultHtml(int Target, const std::string &CssFile, std::string &Html, std::string &Body,
                               std::string &Script) {
  TResultPage page = ResultPage(Target, CssFile);
  Html = std::move(page.Html);
  Body = std::move(page.Body);
  Script = std::move(page.Script);
}

TResultPage TfrmMain::ResultPage(int Target, const std::string &CssFile) {
  return BuildResultPage(ResultPageParts(Target, CssFile));
}

TResultPageParts TfrmMain::ResultPageParts(int Target, const std::string &CssFile) {
  TResultPageParts parts;
  parts.Kind = Target;
  parts.CssFile = CssFile;
  parts.LastUpdate = AcisDB ? AcisDB->LastUpdate() : std::string();
  parts.Grid = CurrentGrid;
  const int tab = ui->pgSearch->currentIndex();
  parts.MarkNeighbors = tab == 0;
  if (tab == 2) {
    parts.Yakuzai = true;
    parts.YakuzaiName = FromQ(ui->cbYakuzai->currentText());
    parts.Seizai = ui->gdSeizai;
    parts.Seibun = ui->gdSeibun;
    parts.Suisan = FromQ(ui->mSuisan->toPlainText());
  }
  return parts;
}

// ---------------------------------------------------------------- outputs

TXlsStringGrid *TfrmMain::OutputGrid() {
  TXlsStringGrid *g = CurrentGrid;
  // A failed search leaves the grid hidden; there is nothing to hand on then.
  if (!g || !g->isVisibleTo(this)) return nullptr;
  if (g->RowCount() <= g->FixedRows()) {
    ErrorBox("データ行がありません"_sj);
    return nullptr;
  }
  return g;
}

void TfrmMain::DirectHandOff(bool JustCalc) {
  SetExcelAction(JustCalc ? actCopyJustCalc : actCopyExcel);
  OptionData->SpreadSheet = JustCalc ? 3 : 0;
  TXlsStringGrid *g = OutputGrid();
  if (!g) return;
  switch (RunDirectHandOff(*g, JustCalc)) {
    case 2: ErrorBox("データ行がありません"_sj); break;
    case -1: ErrorBox(JustCalc ? "JustCalcがインストールされていません"_sj : "Excelがインストールされていません"_sj); break;
    case -2: ErrorBox(JustCalc ? "JustCalcを起動できません(OLEエラー)"_sj : "Excelを起動できません(OLEエラー)"_sj); break;
    case -3: ErrorBox("エラー：バッファーオーバーフロー"_sj); break;
    default: break;
  }
}

void TfrmMain::actCopyExcelExecute() { DirectHandOff(false); }
void TfrmMain::actCopyJustCalcExecute() { DirectHandOff(true); }

void TfrmMain::HandOffByHtml(int Target, QAction *Action) {
  if (OutputGrid()) {
    HandPageToSpreadsheet(this, ResultPageParts(Target, OptionData->CssFolder + "/" + OptionData->ExportssCssFile),
                          windowTitle() + QStringLiteral("(HTML)"), Target);
  }
  SetExcelAction(Action);
  OptionData->SpreadSheet = static_cast<std::uint8_t>(Target);
}

void TfrmMain::actCopyExcelByHTMLExecute() { HandOffByHtml(0, actCopyExcelByHTML); }
void TfrmMain::actCopyWPSExecute() { HandOffByHtml(2, actCopyWPS); }
void TfrmMain::actCopyJustCalcByHTMLExecute() { HandOffByHtml(3, actCopyJustCalcByHTML); }

void TfrmMain::actCopyOOoCalcExecute() {
  if (!CurrentGrid || !CurrentGrid->isVisibleTo(this)) return;
  SetExcelAction(actCopyOOoCalc);
  btnExcel->setText(ToQ("Calc出力"_sj));
  OptionData->SpreadSheet = 1;
  HandOffByHtml(1, actCopyOOoCalc);
}

void TfrmMain::actHtmlSaveExecute() {
  if (!OutputGrid()) return;
  ShowPageInViewer(this, ResultPageParts(0, StyleSheetPath(OptionData->CssFile)),
                   windowTitle() + QStringLiteral("(HTML)"));
}

void TfrmMain::actCsvSaveExecute() {
  TXlsStringGrid *g = OutputGrid();
  if (!g) return;
  TFileDialogRequest r;
  r.Save = true;
  r.Owner = this;
  r.InitialDir = GetSpecialFolderPath(CSIDL_PERSONAL);
  r.DefaultExt = "csv";
  r.Filter = "CSVﾌｧｲﾙ(*.csv)|*.csv|ﾃｷｽﾄ (*.txt)|*.txt"_sj;
  r.OverwritePrompt = true;
  const TDialogAnswer a = DialogServices().FileDialog(r);
  if (!a.Ok || a.Path.empty()) return;
  g->CSVFileName = a.Path;
  g->ColumnName = true;
  g->SetCommaText();
}

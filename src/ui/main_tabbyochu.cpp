// The pest/disease tab of the main window: the search by pest names (and their other names),
// its picker, the crop combo that narrows the result to crops and their groups, and the
// crop picker of that combo.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "components/CheckListBoxEx.h"
#include "components/grid/ExcelUtil.h"
#include "components/qtext.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/acdb_search.h"
#include "platform/cp932.h"
#include "ui/PickerPlacement.h"
#include "ui/UByogaiSelect.h"
#include "ui/UTabByochuSaku.h"
#include "ui/main.h"
#include "ui/main_searchtabs.h"
#include "ui_UTabByochuSaku.h"
#include "ui_main.h"

using namespace cp932::literals;

void TfrmMain::SearchByochu() {
  if (!AcisDB) return;
  // Blanks alone make no pest word: such a text searches nothing.
  const std::string script = ByochuSearchScript(FromQ(ui->edtByochu->text()));
  if (script.empty()) return;
  TBusyCursor busy;
  TRunScope run(*this);
  SetSearchPanelsEnabled(false);
  struct Finally {
    TfrmMain *w;
    ~Finally() { w->SetSearchPanelsEnabled(true); }
  } finally{this};
  AcisDB->SetMultiStatement(true);
  AddLog("SQL>" + script);
  const bool ran = AcisDB->ExecSearchScript(script, [&] {
    const std::string crops = ByochuCropListSQL();
    AddLog("SQL>" + crops);
    if (!AcisDB->ExecQuery(crops, true)) return false;  // nothing found: the previous result stays
    {
      QSignalBlocker quiet(ui->cbTabByochuSakumotu);
      ui->cbTabByochuSakumotu->clear();
      ui->cbTabByochuSakumotu->setEnabled(true);
      ui->cbTabByochuSakumotu->addItem(ToQ(kAll()));
      for (TSQLiteTbl *t = AcisDB->Query(); !t->Eof(); t->Next())
        ui->cbTabByochuSakumotu->addItem(ToQ(t->FieldAsString(0)));
    }
    const std::string sql = ByochuResultSQL(ViewName);
    AddLog("SQL>" + sql);
    ui->btnTabByochuSaku->setEnabled(true);
    if (AcisDB->SetGrid(*ui->gdByochu, sql) && ShowFilledGrid(this, 1, ui->gdByochu)) {
      SetOutputEnabled(true);
      ByochuFilterShown = false;
    }
    return true;
  });
  // The rest of the found products' rows waits until something reads them.
  if (ran) ByochuRowsPending = true;
}

void TfrmMain::CompleteByochuRows() {
  if (!AcisDB || !ByochuRowsPending) return;
  ByochuRowsPending = false;
  const std::string script = ByochuRestScript();
  AddLog("SQL>" + script);
  AcisDB->ExecSearchScript(script);
}

void TfrmMain::edtByochuChange() { SetSearchEnabled(!ui->edtByochu->text().isEmpty()); }

void TfrmMain::btnTabByochuClick() {
  if (!AcisDB) return;
  int result = 0;
  {
    auto dlg = std::make_unique<TDlgByogai>(this);
    dlg->SetTarget(ui->edtByochu);
    PlaceBelowControl(dlg.get(), ui->btnTabByochu);
    result = ShowModal(dlg.get());
  }
  if (result == QDialog::Rejected) SearchByochu();
}

void TfrmMain::cbTabByochuSakumotuSelect() {
  if (!AcisDB) return;
  CompleteByochuRows();
  const std::string text = FromQ(ui->cbTabByochuSakumotu->currentText());
  std::string sql;
  if (text.empty() || text == kAll()) {
    sql = "SELECT * FROM " + ViewName;
  } else {
    std::vector<TCropAndGroups> crops;
    for (const std::string &crop : SplitDelimitedText(text))
      if (!crop.empty()) crops.push_back({crop, AcisDB->DeployCrops(crop, '~')});
    sql = ByochuCropFilterSQL(ViewName, crops);
  }
  if (ShowQueryInGrid(ui->gdByochu, sql)) ByochuFilterShown = true;
}

void TfrmMain::RefreshByochuResult() {
  // The rows the grid shows, in the current view: the search's or the crop filter's.
  if (ByochuFilterShown) return cbTabByochuSakumotuSelect();
  if (AcisDB) ShowQueryInGrid(ui->gdByochu, ByochuResultSQL(ViewName));
}

void TfrmMain::btnTabByochuSakuClick() {
  if (!AcisDB || ui->cbTabByochuSakumotu->count() == 0) return;
  CompleteByochuRows();
  std::string chosen;
  {
    auto dlg = std::make_unique<TfrmTabByochuSaku>(this);
    Ui::frmTabByochuSaku &f = dlg->Form();
    f.lstSakumotsu->Clear();
    dlg->LoadAllSakumotsu();
    dlg->setWindowTitle(ToQ("作物名選択"_sj));
    const int w = ui->btnTabByochuSaku->width() + ui->cbTabByochuSakumotu->width();
    const int h = f.lstSakumotsu->Count() * f.lstSakumotsu->ItemHeight() + f.Panel1->height() + 4;
    dlg->resize(w, std::min(h, ui->gdByochu->height()));
    PlaceBelowControl(dlg.get(), ui->btnTabByochuSaku);
    if (ShowModal(dlg.get()) != QDialog::Accepted) return;
    chosen = dlg->GetSelectedSakumotsu();
  }
  {
    QSignalBlocker quiet(ui->cbTabByochuSakumotu);
    ui->cbTabByochuSakumotu->setEditText(ToQ(chosen));
  }
  cbTabByochuSakumotuSelect();
}

void TfrmMain::pnlTabByochuTopResize() {
  const int w = ui->pnlTabByochuTop->width(), h = w / 2;
  ui->edtByochu->setFixedWidth(std::max(0, h - ui->edtByochu->x() - 2));
  ui->btnTabByochuSaku->move(h + 2, ui->btnTabByochuSaku->y());
  const int left = ui->btnTabByochuSaku->x() + ui->btnTabByochuSaku->width() + 2;
  ui->cbTabByochuSakumotu->setFixedWidth(std::max(0, w - left - 4));
}

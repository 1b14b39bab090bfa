// The crop tab of the main window: the crop search with its two scripts (main crops alone,
// or main and neighbouring crops), the three filter lists and the four filters of the rows
// found, the pickers of the filters, and the developer's check of the crop-name dictionary.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "components/CheckListBoxEx.h"
#include "components/grid/ExcelUtil.h"
#include "components/WinSpinEdit.h"
#include "components/qtext.h"
#include "engine/Exception.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/acdb_clauses.h"
#include "engine/acdb_search.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "platform/fspath.h"
#include "ui/DlgSakuByochu.h"
#include "ui/DlgYoto.h"
#include "ui/DlgZaikei.h"
#include "ui/PickerPlacement.h"
#include "ui/UfraSakumotsu.h"
#include "ui/main.h"
#include "ui/main_searchtabs.h"
#include "ui_DlgSakuByochu.h"
#include "ui_DlgYoto.h"
#include "ui_DlgZaikei.h"
#include "ui_main.h"

using namespace cp932::literals;

namespace {

// Seconds since the tick, as the timing lines print them.
std::string SecondsLine(const char *caption, std::chrono::steady_clock::time_point since) {
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%5.3f", s);
  return cp932::FromUtf8(caption) + buf + "秒"_sj;
}

// A pest or purpose text as words; blanks and commas alone make no word.
std::string FilterWords(QComboBox *combo) {
  const std::string text = FromQ(combo->currentText());
  return text == kAll() ? std::string() : PestWords(text);
}

}  // namespace

const std::string &kAll() {
  static const std::string all = "全て"_sj;
  return all;
}

std::string ComboCondition(const QComboBox *combo) {
  const std::string text = FromQ(combo->currentText());
  return text == kAll() ? std::string() : text;
}

void RunGuarded(TfrmMain *w, const std::function<void()> &step) {
  try {
    step();
  } catch (const Exception &e) {
    UiServices().MessageBox(std::string(e.ClassName()) + "\r\n" + e.Message(), "Quillmar", MB_OK | MB_ICONERROR);
  } catch (const std::exception &e) {
    UiServices().MessageBox(e.what(), "Quillmar", MB_OK | MB_ICONERROR);
  }
  // Whatever failed, the tab stays usable.
  w->SetSearchPanelsEnabled(true);
  w->SetOutputEnabled(w->CurrentGrid && w->CurrentGrid->isVisible());
}

void RunCommand(TfrmMain *w, const std::function<void()> &step) {
  w->RunExclusive([&] { RunGuarded(w, step); });
}

bool ShowFilledGrid(TfrmMain *w, int tab, TXlsStringGrid *grid) {
  if (!w->AdjustGridColumnWidths(grid)) return false;
  grid->show();
  TfrmMain::TTabState &t = w->TabState[static_cast<std::size_t>(tab)];
  t.CountText = std::to_string(AcisDB->Query()->Count()) + "件"_sj;
  t.StatusText.clear();
  w->SetStatusText(3, t.CountText);
  w->SetStatusText(2, t.StatusText);
  return true;
}

// ---------------------------------------------------------------- the crop search

std::string TfrmMain::QuerySakumotsu2(const std::string &IdSakuExpr) {
  if (DebugMode) AddLog("QuerySakumotsu2 > ttTekiyoSaku");
  return SakumotsuSearchScript(IdSakuExpr);
}

std::string TfrmMain::QuerySakumotsuKinsetsu(const std::string &IdSakuExpr) {
  return SakumotsuKinsetsuScript(
      IdSakuExpr,
      AcisDB->IdSakuRegexpLineTest(KinsetsuNames, false, ui->fraSakumotsu->KinsetsuSakumotsuUpperOnly()));
}

void TfrmMain::SearchSakumotsu() {
  if (!AcisDB) {
    UiServices().MessageBox("データベースがありません"_sj, "Quillmar", MB_OK | MB_ICONERROR);
    return;
  }
  SakumotsuNames = ui->fraSakumotsu->Sakumotsu();
  KinsetsuNames = ui->fraSakumotsu->KinsetsuSakumotsu();
  if (SakumotsuNames.empty()) return;
  // The upper groups the frame added for a pick stand for their own entries only.
  const std::string upperOnly = ui->fraSakumotsu->SakumotsuUpperOnly();
  const std::string expr = AcisDB->IdSakuRegexpLineTest(SakumotsuNames, false, upperOnly);
  if (expr.empty()) return;  // the crop query failed and has said so
  if (expr == "''") {
    UiServices().MessageBox("選択した検索条件に矛盾があるためデータを取得できません。"_sj, "Quillmar",
                            MB_OK | MB_ICONWARNING);
    return;
  }

  TRunScope run(*this);
  SetOutputEnabled(false);
  SetSearchPanelsEnabled(false);
  const auto start = std::chrono::steady_clock::now();
  struct Finally {
    TfrmMain *w;
    std::chrono::steady_clock::time_point start;
    ~Finally() {
      w->AddLog(SecondsLine("作物検索表示完了時間 ", start));
      w->SetSearchPanelsEnabled(true);
      w->SetOutputEnabled(true);
    }
  } finally{this, start};
  TBusyCursor busy;
  if (ViewName.empty()) ViewName = "tvTekiyoSaku1";
  AcisDB->SetMultiStatement(true);

  std::string script;
  if (!KinsetsuNames.empty()) {
    script = QuerySakumotsuKinsetsu(expr);
  } else {
    script = QuerySakumotsu2(expr);
    if (DebugMode) {
      try {
        AddLog("IdSakuRegexpLine(" + SakumotsuNames + ")");
        AddLog(AcisDB->IdSakuRegexpLineTest(SakumotsuNames, false, upperOnly));
        AddLog("-- end --");
        AddLog("-- end --");
      } catch (const std::exception &e) {
        UiServices().MessageBox(e.what(), "Quillmar", MB_OK | MB_ICONERROR);
      }
    }
  }
  AddLog("SQL>" + script);

  // The script, the result view and the filter lists form one unit: when a statement fails
  // or nothing is found, the work table is put back and the grid, the counts and the
  // filter lists keep the previous result.
  const std::string sql = "SELECT * FROM " + ViewName;
  bool scriptDone = false;
  AcisDB->ExecSearchScript(script, [&] {
    scriptDone = true;
    AddLog(SecondsLine("作物検索SQL実行時間 ", start));
    AdjacentCropNames.clear();
    if (!KinsetsuNames.empty() && AcisDB->ExecQuery("SELECT DISTINCT sakumotsu FROM t_sub"))
      for (TSQLiteTbl *t = AcisDB->Query(); !t->Eof(); t->Next()) AdjacentCropNames.push_back(t->FieldAsString(0));
    AddLog("SQL>" + sql);
    if (!AcisDB->SetGrid(*ui->gdTekiyo, sql) || !ShowFilledGrid(this, 0, ui->gdTekiyo)) return false;
    seGridCellLine->setEnabled(true);
    FillByochuFilter();
    FillMokutekiFilter();
    FillZaikeiFilter();
    ui->btnYoto->setEnabled(true);
    ui->edtYoto->clear();
    ui->edtYoto->setEnabled(true);
    ui->btnZaikei->setEnabled(true);
    ui->cbZaikei->setEnabled(true);
    return true;
  });
  if (!scriptDone) AddLog(SecondsLine("作物検索SQL実行時間 ", start));
}

// ---------------------------------------------------------------- filter lists

// Refills a filter combo from the query: "全て" and every non-empty value; a query without
// rows keeps the previous items.
void FillFilterCombo(TfrmMain *w, QComboBox *combo, QWidget *button, const std::string &sql) {
  w->AddLog("SQL>" + sql);
  if (!AcisDB->ExecQuery(sql, true)) return;
  QSignalBlocker quiet(combo);
  combo->clear();
  combo->setEnabled(true);
  if (button) button->setEnabled(true);
  combo->addItem(ToQ(kAll()));
  for (TSQLiteTbl *t = AcisDB->Query(); !t->Eof(); t->Next()) {
    const std::string v = t->FieldAsString(0);
    if (!v.empty()) combo->addItem(ToQ(v));
  }
  combo->setCurrentIndex(0);
  if (combo->count() == 1) combo->setEnabled(false);
}

namespace {

// " WHERE yoto IN (...) AND zaikei IN (...)", or the part that applies; Lead is the
// condition already written before it (the WHERE is then left out).
std::string UseAndFormCondition(const std::string &lead, const std::string &y, const std::string &z) {
  std::string s = lead.empty() ? WhereIfNotEmpty(y + z) : AndIfBoth(lead, y + z);
  return s + InListCond(y, "yoto") + AndIfBoth(y, z) + InListCond(z, "zaikei");
}

}  // namespace

void TfrmMain::FillByochuFilter() {
  const std::string y = FromQ(ui->edtYoto->text()), z = ComboCondition(ui->cbZaikei);
  FillFilterCombo(this, ui->cbByochu, ui->btnByochu,
                  "SELECT DISTINCT byochu FROM ttTekiyoSaku " + UseAndFormCondition("", y, z) + " ORDER BY idbyochu");
}

void TfrmMain::FillMokutekiFilter() {
  const std::string y = FromQ(ui->edtYoto->text()), z = ComboCondition(ui->cbZaikei);
  FillFilterCombo(this, ui->cbMokuteki, ui->btnMokuteki,
                  "SELECT DISTINCT mokuteki FROM ttTekiyoSaku " + UseAndFormCondition("", y, z) +
                      " ORDER BY mokuteki");
}

void TfrmMain::FillZaikeiFilter() {
  const std::string y = FromQ(ui->edtYoto->text());
  FillFilterCombo(this, ui->cbZaikei, ui->btnZaikei,
                  "SELECT DISTINCT zaikei FROM ttTekiyoSaku " + WhereIfNotEmpty(y) + InListCond(y, "yoto") +
                      " ORDER BY zaikei");
}

// ---------------------------------------------------------------- filters of the rows found

namespace {

// The rows of the view whose field matches one of the combo's words (LIKE, so that "%"
// works), narrowed by use and formulation; the other word combo is cleared.
void FilterByWords(TfrmMain *w, QComboBox *combo, QComboBox *other, const char *field) {
  if (w->SakumotsuNames.empty()) return;
  Ui::TfrmMain &ui = *w->ui;
  const std::string typed = FromQ(combo->currentText());
  const std::string percent = ReplaceAllText(typed, "％"_sj, "%");
  if (percent != typed) {
    QSignalBlocker quiet(combo);
    combo->setEditText(ToQ(percent));
  }
  {
    QSignalBlocker quiet(other);
    other->setEditText(QString());
  }
  const std::string y = FromQ(ui.edtYoto->text()), z = ComboCondition(ui.cbZaikei);
  const std::string words = percent == kAll() ? std::string() : PestWords(percent);
  std::string sql = "SELECT * FROM " + w->ViewName;
  if (!words.empty())
    sql += " WHERE (" + LikeOrCond(words, field) + ") " + UseAndFormCondition(words, y, z);
  else
    sql += UseAndFormCondition("", y, z);
  w->ShowQueryInGrid(ui.gdTekiyo, sql);
}

}  // namespace

void TfrmMain::FilterByByochu() { FilterByWords(this, ui->cbByochu, ui->cbMokuteki, "byochu"); }

void TfrmMain::FilterByMokuteki() { FilterByWords(this, ui->cbMokuteki, ui->cbByochu, "mokuteki"); }

void TfrmMain::FilterByYoto() {
  if (SakumotsuNames.empty()) return;
  if (!FilterWords(ui->cbByochu).empty()) return FilterByByochu();
  if (!FilterWords(ui->cbMokuteki).empty()) return FilterByMokuteki();
  ShowQueryInGrid(ui->gdTekiyo, "SELECT * FROM " + ViewName +
                                    UseAndFormCondition("", FromQ(ui->edtYoto->text()), ComboCondition(ui->cbZaikei)));
}

void TfrmMain::FilterByZaikei() {
  if (SakumotsuNames.empty()) return;
  if (!FilterWords(ui->cbByochu).empty()) return FilterByByochu();
  if (!FilterWords(ui->cbMokuteki).empty()) return FilterByMokuteki();
  if (!ComboCondition(ui->cbZaikei).empty()) return FilterByYoto();
  const std::string y = FromQ(ui->edtYoto->text());
  ShowQueryInGrid(ui->gdTekiyo, "SELECT * FROM " + ViewName + WhereIfNotEmpty(y) + InListCond(y, "yoto"));
}

void TfrmMain::RefreshSakumotsuResult() {
  if (!FilterWords(ui->cbByochu).empty()) return FilterByByochu();
  if (!FilterWords(ui->cbMokuteki).empty()) return FilterByMokuteki();
  FilterByZaikei();
}

void TfrmMain::edtYotoEnter() {
  if (SakumotsuNames.empty()) return;
  FillByochuFilter();
  FillMokutekiFilter();
  FillZaikeiFilter();
  FilterByYoto();
}

// ---------------------------------------------------------------- pickers

namespace {

// The combo's items without a leading "全て".
std::vector<std::string> ComboItems(const QComboBox *combo) {
  std::vector<std::string> items;
  for (int i = 0; i < combo->count(); ++i) {
    const std::string s = FromQ(combo->itemText(i));
    if (i == 0 && s == kAll()) continue;
    items.push_back(s);
  }
  return items;
}

// The pest or purpose picker over a filter combo's items; OK writes the checked names into
// the combo and filters.
void PickWords(TfrmMain *w, QComboBox *combo, QPushButton *button, const char *widthKey, const char *heightKey,
               bool pests) {
  if (!AcisDB || combo->count() <= 1) return;
  auto dlg = std::make_unique<TfrmSakuByochu>(w);
  Ui::frmSakuByochu &f = dlg->Form();
  f.lstSakumotu->hide();
  f.Panel2->hide();
  f.Splitter1->hide();
  TakeMainFormFont(dlg.get());
  struct SizeKeeper {
    QWidget *d;
    const char *wk, *hk;
    ~SizeKeeper() { WriteWindowSize(d, wk, hk); }
  };
  ReadWindowSize(dlg.get(), widthKey, heightKey);
  SizeKeeper keep{dlg.get(), widthKey, heightKey};
  const std::vector<std::string> items = ComboItems(combo);
  for (const std::string &s : items) f.lstByochu->AddItem(s);
  const std::string text = FromQ(combo->currentText());
  if (!text.empty() && text != kAll()) {
    for (const std::string &name : SplitDelimitedText(text)) {
      const int i = f.lstByochu->IndexOf(name);
      if (i >= 0) f.lstByochu->SetChecked(i, true);
    }
  }
  dlg->ByochuList = JoinCommaText(items);
  if (pests) {
    QSignalBlocker quiet(f.cboCID);
    f.cboCID->clear();
    f.cboCID->addItem(ToQ(kAll()));
    if (AcisDB->ExecQuery("select cname from cbyochu where cid in ( select cid from byochu where byochu in(" +
                          QuoteListForSql(dlg->ByochuList) + ")) order by cid;"))
      for (TSQLiteTbl *t = AcisDB->Query(); !t->Eof(); t->Next()) f.cboCID->addItem(ToQ(t->FieldAsString(0)));
    f.cboCID->setCurrentIndex(0);
    f.ckAll->setEnabled(true);
  } else {
    f.pnlFilter->hide();
    dlg->setWindowTitle(ToQ("使用目的選択"_sj));
  }
  PlaceBelowControl(dlg.get(), button);
  if (TfrmMain::ShowModal(dlg.get()) != QDialog::Accepted) return;
  {
    QSignalBlocker quiet(combo);
    combo->setEditText(ToQ(dlg->GetSelectedByochu()));
  }
  if (pests)
    w->FilterByByochu();
  else
    w->FilterByMokuteki();
}

}  // namespace

void TfrmMain::btnByochuClick() {
  PickWords(this, ui->cbByochu, ui->btnByochu, "DlgByochuWidth", "DlgByochuHeight", true);
}

void TfrmMain::btnMokutekiClick() {
  PickWords(this, ui->cbMokuteki, ui->btnMokuteki, "DlgMokutekiWidth", "DlgMokutekiHeight", false);
}

void TfrmMain::btnYotoClick() {
  if (!AcisDB || SakumotsuNames.empty()) return;
  if (!AcisDB->ExecQuery("SELECT DISTINCT yoto FROM ttTekiyoSaku ORDER BY yoto")) return;
  std::vector<std::string> uses;
  for (TSQLiteTbl *t = AcisDB->Query(); !t->Eof(); t->Next())
    if (!t->FieldAsString(0).empty()) uses.push_back(t->FieldAsString(0));
  auto dlg = std::make_unique<TfrmYoto>(this);
  TakeMainFormFont(dlg.get());
  dlg->SetItems(uses);
  dlg->CheckNames(FromQ(ui->edtYoto->text()));
  Ui::frmYoto &f = dlg->Form();
  const int h = static_cast<int>(uses.size()) * f.lstYoto->ItemHeight() + f.Panel1->height() + 4;
  dlg->resize(dlg->width(), h);
  PlaceBelowControl(dlg.get(), ui->btnYoto);
  if (ShowModal(dlg.get()) != QDialog::Accepted) return;
  ui->edtYoto->setText(ToQ(dlg->GetSelection()));
  edtYotoEnter();
}

void TfrmMain::btnZaikeiClick() {
  if (!AcisDB || SakumotsuNames.empty()) return;
  const std::vector<std::string> items = ComboItems(ui->cbZaikei);
  auto dlg = std::make_unique<TfrmZaikei>(this);
  TakeMainFormFont(dlg.get());
  dlg->SetItems(items);
  dlg->CheckNames(FromQ(ui->cbZaikei->currentText()));
  dlg->setWindowTitle(ToQ("剤型選択"_sj));
  Ui::frmZaikei &f = dlg->Form();
  const int h = static_cast<int>(items.size()) * f.lstZaikei->ItemHeight() + f.pnlButton->height() + 4;
  dlg->resize(dlg->width(), h);
  PlaceBelowControl(dlg.get(), ui->btnZaikei);
  if (ShowModal(dlg.get()) != QDialog::Accepted) return;
  {
    QSignalBlocker quiet(ui->cbZaikei);
    ui->cbZaikei->setEditText(ToQ(dlg->GetSelection()));
  }
  FilterByZaikei();
}

void TfrmMain::pnlSearchParamResize() {
  ui->pnlSakuLeft->setFixedWidth(std::max(0, (ui->pnlSearchParam->width() - ui->pnlSakuOpt->width()) / 2));
}

// ---------------------------------------------------------------- dictionary check

void TfrmMain::mnSakumotsuCheckClick() {
  if (!AcisDB) return;
  const std::string sql = "select distinct sakumotsu from m_tekiyo order by sakumotsu";
  AddLog(sql);
  TBusyCursor busy;
  if (!AcisDB->ExecQuery(sql)) return;
  std::string out;
  for (TSQLiteTbl *t = AcisDB->Query(); !t->Eof(); t->Next()) {
    const std::string n = t->FieldAsString(0);
    const std::string c = NormalizeCropName(n);
    out += (n != ReplaceAllText(c, "%", "") ? "***** " : "      ") + n + "," + c + "\r\n";
    UiServices().ProcessMessages();
  }
  std::ofstream f(FsPath(OptionData->ProgramFolder + "temp.txt"), std::ios::binary);
  f << out;
}

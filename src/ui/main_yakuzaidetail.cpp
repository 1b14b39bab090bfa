// The chemical tab's product detail (summary, aquatic-life cautions, ingredients and the
// application table) and the ingredient side lists that lead from the product shown to the
// products sharing an ingredient, a group, a site of action, a RAC code or a RAC group.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QSplitter>
#include <array>

#include "components/CheckListBoxEx.h"
#include "components/grid/ExcelUtil.h"
#include "components/FillAdapters.h"
#include "components/ListBoxEx.h"
#include "components/qtext.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/YakuzaiQuery.h"
#include "engine/acdb.h"
#include "engine/acdb_clauses.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/LogMemo.h"
#include "ui/QlmExportUtils.h"
#include "ui/main.h"
#include "ui_main.h"

using namespace cp932::literals;

namespace {

class TFocusHook : public QObject {
 public:
  TFocusHook(QObject *parent, std::function<void(QObject *, bool)> f) : QObject(parent), FOn(std::move(f)) {}
  bool eventFilter(QObject *o, QEvent *e) override {
    if (e->type() == QEvent::FocusIn) FOn(o, true);
    if (e->type() == QEvent::FocusOut) FOn(o, false);
    return false;
  }

 private:
  std::function<void(QObject *, bool)> FOn;
};

bool AllDigits(const std::string &s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool Offline() { return OptionData->OffLine || OfflineSwitch; }

void SaveSelection(TXlsStringGrid *g, std::array<int, 4> &kept) {
  const TGridRect r = g->Selection();
  kept = {r.Left, r.Top, r.Right, r.Bottom};
  g->SetSelection(TGridRect{-1, -1, -1, -1});
}

}  // namespace

void TfrmMain::ConnectYakuzaiDetail() {
  Ui::TfrmMain &f = *ui;
  // Grids without focus show no selection; coming back restores it.
  auto *focus = new TFocusHook(HookOwner(), [this](QObject *o, bool in) {
    TXlsStringGrid *g = o == ui->gdSeibun ? ui->gdSeibun : ui->gdSeizai;
    std::array<int, 4> &kept = g == ui->gdSeibun ? FSeibunSel : FSeizaiSel;
    if (!in) {
      SaveSelection(g, kept);
    } else if (kept[0] >= 0) {
      g->SetSelection(TGridRect{kept[0], kept[1], kept[2], kept[3]});
    }
  });
  f.gdSeibun->installEventFilter(focus);
  f.gdSeizai->installEventFilter(focus);
  f.gdSeibun->OnDrawCell = [this](TXlsStringGrid &g, int col, int row, QPainter &p, const QRect &r,
                                   TGridDrawState state) { gdSeibunDrawCell(g, col, row, p, r, state); };
  f.gdSeizai->OnDrawCell = [this](TXlsStringGrid &g, int col, int row, QPainter &p, const QRect &r,
                                  TGridDrawState state) { gdSeizaiDrawCell(g, col, row, p, r, state); };

  // The ingredient grid's popup.
  auto item = [this](QMenu *m, const char *name, const char *caption) {
    QAction *a = m->addAction(ToQ(cp932::FromUtf8(caption)));
    a->setObjectName(name);
    return a;
  };
  pmnGridSeibun = new QMenu(this);
  pmnGridSeibun->setObjectName("pmnGridSeibun");
  actGridSeibunCopyALL = item(pmnGridSeibun, "actGridSeibunCopyALL", "全てコピー");
  pmnSeibunFixedClm = item(pmnGridSeibun, "pmnSeibunFixedClm", "列固定");
  NpmnSeibunFixedClmOff = item(pmnGridSeibun, "NpmnSeibunFixedClmOff", "列固定解除");
  pmnGridSeibun->addSeparator();
  pmnGoogleGridSeibun = item(pmnGridSeibun, "pmnGoogleGridSeibun", "Google で検索");
  pmnWeblioGridSeibun = item(pmnGridSeibun, "pmnWeblioGridSeibun", "Weblio で検索");
  pmnPrdbGridSeibun = item(pmnGridSeibun, "pmnPrdbGridSeibun", "日本食品衛生学会残留農薬基準値データベースで検索");
  pmnFcgrGridSeibun = item(pmnGridSeibun, "pmnFcgrGridSeibun", "Google(フジテレビ商品研究所サイト内)で検索");
  pmnNihsGridSeibun = item(pmnGridSeibun, "pmnNihsGridSeibun", "国立医薬品食品衛生研究所で検索");
  pmnGoogleFfcrGridSeibun = item(pmnGridSeibun, "pmnGoogleFfcrGridSeibun", "Google(食品化学研究振興財団サイト内)で検索");
  connect(actGridSeibunCopyALL, &QAction::triggered, this, [this] { ui->gdSeibun->CopyClipboard(); });
  // The grid's columns are not fixed while a product's lists fill it.
  connect(pmnSeibunFixedClm, &QAction::triggered, this,
          [this] { RunExclusive([this] { ui->gdSeibun->SetFixedCols(ui->gdSeibun->Col() + 1); }); });
  connect(NpmnSeibunFixedClmOff, &QAction::triggered, this,
          [this] { RunExclusive([this] { ui->gdSeibun->SetFixedCols(0); }); });
  connect(pmnGoogleGridSeibun, &QAction::triggered, this, [this] { pmnGoogleGridSeibunClick(); });
  connect(pmnWeblioGridSeibun, &QAction::triggered, this, [this] { OpenOnlineDictionary(this, PopupCellText); });
  connect(pmnPrdbGridSeibun, &QAction::triggered, this, [this] { OpenPesticideDatabasePage(this, PopupCellText); });
  connect(pmnFcgrGridSeibun, &QAction::triggered, this, [this] { OpenProductLabSiteSearch(this, PopupCellText); });
  f.gdSeibun->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(f.gdSeibun, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
    ui->gdSeibun->MouseToCell(at.x(), at.y(), FSeibunClickCol, FSeibunClickRow);
    pmnGridSeibunPopup();
    pmnGridSeibun->popup(ui->gdSeibun->viewport()->mapToGlobal(at));
  });
}

// ---------------------------------------------------------------- cell drawing

namespace {

// Fills the cell in the highlight colours when it is selected or focused, else in the base
// colours, and sets the pen for its text.
void FillCell(const TXlsStringGrid &g, QPainter &p, const QRect &r, TGridDrawState state) {
  const bool marked = state & (gdSelected | gdFocused);
  const QPalette &pal = g.palette();
  const bool fixed = state & gdFixed;
  p.fillRect(r, marked ? pal.color(QPalette::Highlight) : fixed ? pal.color(QPalette::Button) : pal.color(QPalette::Base));
  p.setPen(marked ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
}

}  // namespace

void TfrmMain::gdSeibunDrawCell(TXlsStringGrid &Grid, int Col, int Row, QPainter &P, const QRect &Rect,
                                TGridDrawState State) {
  FillCell(Grid, P, Rect, State);
  P.setFont(Grid.font());
  const QString text = ToQ(Grid.Cells(Col, Row));
  if (Row == 0) {
    P.drawText(Rect.adjusted(2, 2, -2, -2), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    return;
  }
  const int v = OptionData->GridLineSpace / 2;
  const Qt::Alignment h = Grid.Cells(Col, 0) == "番号"_sj ? Qt::AlignRight : Qt::AlignLeft;
  P.drawText(Rect.adjusted(2, v, -2, -v), h | Qt::AlignTop | Qt::TextWordWrap, text);
}

void TfrmMain::gdSeizaiDrawCell(TXlsStringGrid &Grid, int Col, int Row, QPainter &P, const QRect &Rect,
                                TGridDrawState State) {
  FillCell(Grid, P, Rect, State);
  P.setFont(Grid.font());
  P.drawText(Rect.adjusted(2, 2, -2, -2), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
             ToQ(Grid.Cells(Col, Row)));
}

// ---------------------------------------------------------------- product detail

void TfrmMain::YakuzaiSelect(const std::string &Bango) {
  // A registration number is digits only; anything else selects nothing.
  if (!AcisDB || !AllDigits(Bango)) return;
  Ui::TfrmMain &f = *ui;
  TBusyCursor busy;
  TRunScope run(*this);
  // Nothing may search or show another product while this one's grids fill.
  SetOutputEnabled(false);
  SetSearchPanelsEnabled(false);
  struct Restore {
    TfrmMain *w;
    ~Restore() {
      w->SetSearchPanelsEnabled(true);
      w->SetOutputEnabled(w->CurrentGrid && w->CurrentGrid->isVisible());
    }
  } restore{this};

  // The product's summary: kind, toxicity, registration date, applicant, formulation, use.
  const std::string seizai_sql = SeizaiSQL(Bango);
  AddLog("SQL>" + seizai_sql);
  if (AcisDB->ExecQuery(seizai_sql, true)) {
    const TSQLiteTbl &q = *AcisDB->Query();
    const std::string values[6] = {q.FieldAsString(1), q.FieldAsString(2),
                                   q.FieldAsString(3), ReplaceAllText(q.FieldAsString(4), "&", "＆"_sj),
                                   q.FieldAsString(5), q.FieldAsString(6)};
    static const char *const kCaptions[6] = {"種類名", "製剤毒性", "登録日", "申請者", "剤型", "用途"};
    TXlsStringGrid *g = f.gdSeizai;
    g->setFont(f.gdSeibun->font());
    f.pnlSeizai->show();
    g->show();
    g->SetColCount(2);
    g->SetRowCount(6);
    g->SetFixedRows(0);
    g->SetFixedCols(1);
    for (int r = 0; r < 6; ++r) {
      g->SetCells(0, r, cp932::FromUtf8(kCaptions[r]));
      g->SetCells(1, r, values[r]);
    }
    const QFontMetrics fm(g->font());
    g->SetColWidths(0, fm.horizontalAdvance(ToQ("製剤毒性"_sj)) + 5);
    g->SetColWidths(1, std::max(g->viewport()->width() - g->ColWidths(0), 5));
    g->SetDefaultRowHeight(fm.boundingRect(ToQ("あ"_sj)).height() + OptionData->GridLineSpace);
    const std::string product = ComboItemText(FromQ(f.cbYakuzai->currentText()));
    f.lblGoogle->setToolTip(ToQ(product + " をGoogleで検索"_sj));
    QFont label_font = f.lblGoogle->font();
    QPalette pal = f.lblGoogle->palette();
    const bool offline = Offline();
    f.lblGoogle->setEnabled(!offline);
    label_font.setUnderline(!offline);
    pal.setColor(QPalette::WindowText, offline ? Qt::black : QColor(0, 0, 255));
    f.lblGoogle->setFont(label_font);
    f.lblGoogle->setPalette(pal);
    pnlYakuzaiTopResize();
  }

  // The aquatic-life cautions show only where the database holds them.
  bool suisan = false;
  if (AcisDB->TableExists("suisan") && AcisDB->ExecQuery(SuisanSQL(Bango))) {
    f.mSuisan->setPlainText(ToQ(ReplaceAllText(AcisDB->Query()->FieldAsString(0), "#", "\r\n")));
    suisan = true;
  }
  f.mSuisan->setVisible(suisan);

  // The product's ingredients fill the ingredient grid.
  const std::string seibun_sql = SeibunGridSQL(Bango);
  if (DebugMode) AddLog("SQL>" + seibun_sql);
  if (AcisDB->SetGrid(*f.gdSeibun, seibun_sql) && AdjustGridColumnWidths(f.gdSeibun)) {
    f.gdSeibun->show();
    SaveSelection(f.gdSeibun, FSeibunSel);
  }
  // The window closes: nothing more is read or shown.
  if (RunStopRequested()) return;

  // Read the names of the five ingredient slots, as the application table names them.
  std::array<std::string, 5> names;
  if (AcisDB->ExecQuery(SeibunSlotsSQL(Bango)))
    for (int i = 0; i < 5; ++i) names[i] = AcisDB->Query()->FieldAsString(i);
  for (std::string &v : names)
    if (!v.empty() && AcisDB->ExecQuery(SeibunOfIppanmeiSQL(Bango, v))) v = AcisDB->Query()->FieldAsString(0);

  // Rebuild the product's application table and show it in the result grid.
  AcisDB->ExecSQL("DROP TABLE IF EXISTS ttYakuzai");
  if (DebugMode) {
    AddLog("TfrmMain.YakuzaiSelect function IsSakumotsuStr ---");
    AddLog("Result -> " + IsSakumotsuStr(YakuzaiSakumotsuNames));
  }
  const std::string tekiyo_sql = TekiyoGridSQL(Bango, YakuzaiCropRestricted, YakuzaiSakumotsuNames);
  AddLog("gdYakuzai --> SQL> " + tekiyo_sql);
  if (!AcisDB->SetGrid(*f.gdYakuzai, tekiyo_sql)) {
    // The grid would still show the previous product's applications as this one's.
    f.gdYakuzai->hide();
    TabState[2].CountText.clear();
    TabState[2].StatusText.clear();  // the sort text goes with the rows it named
    if (ui->pgSearch->currentWidget() == ui->tabYakuzai) {
      SetStatusText(3, "");
      SetStatusText(2, "");
    }
    return;
  }
  // The grid's own rows: the query object's last result may be another statement's.
  const int rows = f.gdYakuzai->RowCount() - f.gdYakuzai->FixedRows();
  for (int i = 0; i < 5 && 14 + i < f.gdYakuzai->ColCount(); ++i)
    f.gdYakuzai->SetCells(14 + i, 0, KaisuCaption(names[i]));
  if (!AdjustGridColumnWidths(f.gdYakuzai)) return;
  f.gdYakuzai->show();
  TabState[2].CountText = std::to_string(rows) + "件"_sj;
  TabState[2].StatusText.clear();
  SetStatusText(3, TabState[2].CountText);
  SetStatusText(2, "");
  SetOutputEnabled(true);
}

void TfrmMain::pnlSeizaiResize() {
  TXlsStringGrid *g = ui->gdSeizai;
  if (g->ColCount() >= 2) g->SetColWidths(1, std::max(g->viewport()->width() - g->ColWidths(0), 5));
}

void TfrmMain::pnlYakuzaiTopResize() {
  Ui::TfrmMain &f = *ui;
  const int w = f.pnlYakuzaiTop->width() - f.lblGoogle->width() - f.LabelCount->width() - 12;
  f.cbYakuzai->setMaximumWidth(std::max(w, 40));
  TXlsStringGrid *g = f.gdSeizai;
  if (g->RowCount() >= 2) {
    int h = g->RowHeights(0) + g->RowHeights(1);
    if (g->VisibleRowCount() < g->RowCount()) h += g->DefaultRowHeight();
    g->setMinimumHeight(h);
  }
}

// ---------------------------------------------------------------- ingredient side lists

void TfrmMain::FillSideCombo(QComboBox *Combo, const std::string &Column, const std::string &Key, bool ByBango,
                             bool WarnIfEmpty) {
  const std::string sql = SideComboValuesSQL(Column, Key, ByBango);
  if (DebugMode) AddLog("SQL>" + sql);
  {
    QSignalBlocker block(Combo);
    Combo->clear();
    if (AcisDB->ExecQuery(sql, WarnIfEmpty)) {
      TComboTarget target(*Combo);
      AcisDB->SetCombo(target, 0, true);
      Combo->setCurrentIndex(0);
    }
    Combo->setEnabled(Combo->count() > 0);
  }
  cbYakuzaiDropDown(Combo);
}

void TfrmMain::LoadSideLists(const std::string &Key, bool ByBango, bool WarnIfEmpty) {
  Ui::TfrmMain &f = *ui;
  const std::string names_sql = SeibunNamesSQL(Key, ByBango);
  AddLog("SQL>" + names_sql);
  std::vector<std::string> names;
  if (AcisDB->ExecQuery(names_sql, WarnIfEmpty))
    for (TSQLiteTbl &q = *AcisDB->Query(); !q.Eof(); q.Next()) names.push_back(q.FieldAsString(0));
  if (!names.empty()) {
    for (const std::string &sql : SeibunTablesSQL(Key, ByBango, YakuzaiCropRestricted)) {
      AddLog("SQL>" + sql);
      if (!ExecSearchScript(*AcisDB, sql)) break;
    }
  }
  {
    QSignalBlocker block(f.cbSeibun);
    f.cbSeibun->clear();
    for (const std::string &n : names) f.cbSeibun->addItem(ToQ(n));
    f.cbSeibun->setEnabled(!names.empty());
    if (!names.empty()) f.cbSeibun->setCurrentIndex(0);
  }
  cbSeibunChange();
  {
    // Every ingredient of the product starts checked.
    QSignalBlocker block(f.lstSeibunPluralCk);
    f.lstSeibunPluralCk->Clear();
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
      f.lstSeibunPluralCk->AddItem(names[i]);
      f.lstSeibunPluralCk->SetChecked(i, true);
    }
    f.lstSeibunPluralCk->setEnabled(!names.empty());
  }
  lstSeibunPluralCkClickCheck();
  FillSideCombo(f.cbYakuzaiTabKeito, "keito", Key, ByBango, WarnIfEmpty);
  cbYakuzaiTabKeitoChange();
  FillSideCombo(f.cbSayoten, "sayoten", Key, ByBango, WarnIfEmpty);
  cbSayotenChange();
  FillSideCombo(f.cbRac, "mid", Key, ByBango, WarnIfEmpty);
  cbRacChange();
  FillSideCombo(f.cbRacKeito, "rackeito", Key, ByBango, WarnIfEmpty);
  cbRacKeitoChange();
}

void TfrmMain::FillSideList(TListBoxEx *List, const std::string &Column, QComboBox *Combo, bool DebugOnly) {
  if (!AcisDB) return;
  QSignalBlocker block(List);
  List->Clear();
  const std::string value = FromQ(Combo->currentText());
  if (value.empty()) return;
  const std::string sql = SideListSQL(Column, value, YakuzaiCropRestricted);
  if (!DebugOnly) AddLog(sql);
  else if (DebugMode) AddLog("SQL>" + sql);
  if (AcisDB->ExecQuery(sql, true)) {
    TListBoxTarget target(*List);
    AcisDB->SetListBox(target, 0);
  }
}

void TfrmMain::cbSeibunChange() { FillSideList(ui->lstTsushoSeibun, "ifnullstr(seibun,ippanmei)", ui->cbSeibun, false); }
void TfrmMain::cbSayotenChange() { FillSideList(ui->lstSayoten, "sayoten", ui->cbSayoten, true); }
void TfrmMain::cbRacChange() { FillSideList(ui->lstRac, "mid", ui->cbRac, true); }
void TfrmMain::cbRacKeitoChange() { FillSideList(ui->lstRacKeito, "rackeito", ui->cbRacKeito, true); }

void TfrmMain::cbYakuzaiTabKeitoChange() {
  if (!AcisDB) return;
  TListBoxEx *list = ui->lstTsushoKeito;
  QSignalBlocker block(list);
  const std::string value = FromQ(ui->cbYakuzaiTabKeito->currentText());
  // "その他" gathers unrelated groups: its products are no related products.
  if (value.empty() || value == "その他"_sj) {
    list->Clear();
    return;
  }
  const std::string sql = SideListSQL("keito", value, YakuzaiCropRestricted);
  if (DebugMode) AddLog("SQL>" + sql);
  if (AcisDB->ExecQuery(sql, true)) {
    list->Clear();
    TListBoxTarget target(*list);
    AcisDB->SetListBox(target, 0);
  }
}

void TfrmMain::lstSeibunPluralCkClickCheck() {
  if (!AcisDB) return;
  Ui::TfrmMain &f = *ui;
  QSignalBlocker block(f.lstTsushoSeibunPlural);
  f.lstTsushoSeibunPlural->Clear();
  std::vector<std::string> checked;
  for (int i = 0; i < f.lstSeibunPluralCk->Count(); ++i)
    if (f.lstSeibunPluralCk->Checked(i)) checked.push_back(f.lstSeibunPluralCk->Item(i));
  if (checked.empty()) return;
  const std::string script = PluralSeibunTableSQL(checked);
  AddLog("SQL>" + script);
  if (!ExecSearchScript(*AcisDB, script)) return;
  const std::string sql = PluralSeibunProductsSQL();
  if (DebugMode) AddLog("SQL>" + sql);
  if (AcisDB->ExecQuery(sql)) {
    TListBoxTarget target(*f.lstTsushoSeibunPlural);
    AcisDB->SetListBox(target, 0);
  } else {
    AddLog("検索結果なし"_sj);
  }
}

void TfrmMain::SideListProductClick(TListBoxEx *List, bool KeyHeld) {
  std::string name;
  if (!NewSideSelection(List, KeyHeld, name)) return;
  const std::string sql = SideProductsSQL(name, YakuzaiCropRestricted);
  AddLog("SQL>" + sql);
  if (AcisDB->ExecQuery(sql, true)) FillProductCombo(false);
  LayoutYakuzaiTop(true);
  LastSideSelection = name;
}

void TfrmMain::lstTsushoSeibunClick() { SideListProductClick(ui->lstTsushoSeibun, FKeySeibun); }
void TfrmMain::lstTsushoSeibunPluralClick() { SideListProductClick(ui->lstTsushoSeibunPlural, FKeySeibun); }
void TfrmMain::lstTsushoKeitoClick() { SideListProductClick(ui->lstTsushoKeito, FKeyKeito); }
void TfrmMain::lstSayotenClick() { SideListProductClick(ui->lstSayoten, false); }
void TfrmMain::lstRacClick() { SideListProductClick(ui->lstRac, false); }
void TfrmMain::lstRacKeitoClick() { SideListProductClick(ui->lstRacKeito, false); }

// ---------------------------------------------------------------- the ingredient popup

void TfrmMain::pmnGridSeibunPopup() {
  TXlsStringGrid *g = ui->gdSeibun;
  QAction *google = pmnGoogleGridSeibun, *weblio = pmnWeblioGridSeibun, *prdb = pmnPrdbGridSeibun,
          *fcgr = pmnFcgrGridSeibun;
  pmnNihsGridSeibun->setVisible(false);
  pmnGoogleFfcrGridSeibun->setVisible(false);
  if (FSeibunClickRow <= 0 || FSeibunClickCol < 0 || FSeibunClickCol >= g->ColCount() ||
      FSeibunClickRow >= g->RowCount()) {
    google->setVisible(false);
    weblio->setVisible(false);
    return;
  }
  PopupCellText = g->Cells(FSeibunClickCol, FSeibunClickRow);
  if (PopupCellText.empty()) return;
  for (QAction *a : {google, weblio, prdb, fcgr}) {
    a->setText(QString());
    a->setVisible(false);
  }
  const std::string header = g->Cells(FSeibunClickCol, 0);
  const std::string &t = PopupCellText;
  const bool online = !Offline();
  auto offer = [online](QAction *a, const std::string &caption) {
    a->setText(ToQ(caption));
    a->setVisible(true);
    a->setEnabled(online);
  };
  if (header == "有効成分"_sj || header == "総使用回数における有効成分"_sj || header == "ISO物質名"_sj) {
    const std::string iso = FormatIsoName(t);
    offer(google, "「"_sj + t + "」を Google で検索"_sj);
    offer(weblio, "「"_sj + t + "」を Weblio で検索"_sj);
    offer(prdb, "「"_sj + iso + "」を 日本食品衛生学会残留農薬基準値データベースで検索"_sj);
    offer(fcgr, "「"_sj + iso + "」を Google(フジテレビ商品研究所サイト内)で検索"_sj);
  } else if (header == "系統"_sj || header == "RAC系統"_sj || header == "作用点"_sj || header == "作用機構"_sj ||
             header == "FRACグループ"_sj) {
    offer(google, "「"_sj + t + "」を Google で検索"_sj);
  }
}

void TfrmMain::pmnGoogleGridSeibunClick() {
  if (!PopupCellText.empty()) OpenWebSearch(this, PopupCellText);
}

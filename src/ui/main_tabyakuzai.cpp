// The chemical tab's search side: the crop and keyword edits with their pickers, the use
// combo, the common-name and registration-number lists, the product combo and the send-to
// commands of the result grids. The product detail and the ingredient side lists are in
// main_yakuzaidetail.cpp.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QToolButton>

#include "components/CheckListBoxEx.h"
#include "components/FillAdapters.h"
#include "components/ListBoxEx.h"
#include "components/qtext.h"
#include "engine/Exception.h"
#include "engine/SakuUtil.h"
#include "engine/TextHelpers.h"
#include "engine/UiServices.h"
#include "engine/YakuzaiQuery.h"
#include "engine/acdb.h"
#include "engine/acdb_clauses.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/LogMemo.h"
#include "ui/PickerPlacement.h"
#include "ui/QlmExportUtils.h"
#include "ui/USakumotsuSel.h"
#include "ui/UYakuzaiSel.h"
#include "ui/main.h"
#include "ui/main_searchtabs.h"
#include "ui/main_sqledit.h"
#include "ui_main.h"

using namespace cp932::literals;

namespace {

// The code expressions that mean "no crop matched": by pattern, and by exact names.
const std::string kNoCropByPattern = "'0000000000000000'";
const std::string kNoCropByName = "'^$'";

// Runs a function for the events of the watched objects; the handler says whether it took
// the event.
class TEventHook : public QObject {
 public:
  using THandler = std::function<bool(QObject *, QEvent *)>;
  TEventHook(QObject *parent, THandler handler) : QObject(parent), FHandler(std::move(handler)) {}
  bool eventFilter(QObject *o, QEvent *e) override { return FHandler(o, e); }

 private:
  THandler FHandler;
};

bool IsEnterKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

}  // namespace

// ---------------------------------------------------------------- wiring

void TfrmMain::Latest(const QObject *Source, void (TfrmMain::*Handler)()) {
  RunLatest(Source->objectName().toStdString(), [this, Handler] { (this->*Handler)(); });
}

void TfrmMain::ConnectYakuzaiTab() {
  Ui::TfrmMain &f = *ui;
  SearchOfTab[2] = [this] { RunYakuzaiPickup(); };

  eYakuzaiG = new QLineEdit(this);
  eYakuzaiG->setObjectName("eYakuzaiG");
  eYakuzaiG->hide();

  f.eYakuzai->setProperty("Tag", 0);
  f.eYakuzaiTabSakumotsu->setProperty("Tag", 1);
  connect(f.eYakuzai, &QLineEdit::textChanged, this, [this] { eYakuzaiChange(); });
  connect(f.eYakuzaiTabSakumotsu, &QLineEdit::textChanged, this, [this] { eYakuzaiTabSakumotsuChange(); });
  connect(f.bYakuzaiTabYakuzaiClear, &QToolButton::clicked, this, [this] { bYakuzaiTabYakuzaiClearClick(); });
  connect(f.bYakuzaiTabSakumotsuClear, &QToolButton::clicked, this, [this] { bYakuzaiTabSakumotsuClearClick(); });
  // Everything here that searches or shows a product goes through the run guard: the
  // pickers are refused while a run is under way, the lists, combos and Enter wait for its end.
  connect(f.bYakuzaiTabSakuSel, &QToolButton::clicked, this,
          [this] { RunCommand(this, [this] { bYakuzaiTabSakuSelClick(); }); });
  connect(f.btnYakuzaiSel, &QToolButton::clicked, this, [this] { RunCommand(this, [this] { btnYakuzaiSelClick(); }); });
  connect(f.cbYotoTabYakuzai, &QComboBox::activated, this,
          [this] { Latest(ui->cbYotoTabYakuzai, &TfrmMain::cbYotoTabYakuzaiChange); });
  connect(f.lstTsusho, &QListWidget::currentRowChanged, this,
          [this] { Latest(ui->lstTsusho, &TfrmMain::lstTsushoClick); });
  connect(f.lstTsusho, &QListWidget::itemClicked, this, [this] { Latest(ui->lstTsusho, &TfrmMain::lstTsushoClick); });
  connect(f.lstBango, &QListWidget::currentRowChanged, this,
          [this] { Latest(ui->lstBango, &TfrmMain::lstBangoClick); });
  connect(f.lstBango, &QListWidget::itemClicked, this, [this] { Latest(ui->lstBango, &TfrmMain::lstBangoClick); });
  connect(f.cbYakuzai, &QComboBox::activated, this, [this] { Latest(ui->cbYakuzai, &TfrmMain::cbYakuzaiSelect); });
  connect(pmnSendToTabYakuzai, &QAction::triggered, this, [this] { RunExclusive([this] { pmnSendToTabYakuzaiClick(); }); });
  connect(pmnSendToSql, &QAction::triggered, this, [this] { RunExclusive([this] { pmnSendToSqlClick(); }); });

  // Keys of the edits, the lists and the product combo; clicks of the "G" label; resizes.
  auto *hook = new TEventHook(HookOwner(), [this](QObject *o, QEvent *e) {
    Ui::TfrmMain &f = *ui;
    const QEvent::Type t = e->type();
    if (t == QEvent::KeyPress && (o == f.eYakuzai || o == f.eYakuzaiTabSakumotsu)) {
      auto *k = static_cast<QKeyEvent *>(e);
      eYakuzaiKeyPress(static_cast<QLineEdit *>(o), k->key(), k->text());
      return IsEnterKey(k->key());
    }
    if ((t == QEvent::KeyPress || t == QEvent::KeyRelease) && !static_cast<QKeyEvent *>(e)->isAutoRepeat()) {
      const bool down = t == QEvent::KeyPress;
      struct {
        QObject *list;
        bool *flag;
        void (TfrmMain::*click)();
      } const lists[] = {{f.lstTsusho, &FKeyTsusho, &TfrmMain::lstTsushoClick},
                         {f.lstBango, &FKeyBango, &TfrmMain::lstBangoClick},
                         {f.lstTsushoSeibun, &FKeySeibun, &TfrmMain::lstTsushoSeibunClick},
                         {f.lstTsushoSeibunPlural, &FKeySeibun, &TfrmMain::lstTsushoSeibunPluralClick},
                         {f.lstTsushoKeito, &FKeyKeito, &TfrmMain::lstTsushoKeitoClick}};
      for (const auto &l : lists) {
        if (o != l.list) continue;
        *l.flag = down;
        if (!down) Latest(l.list, l.click);
        return false;
      }
      if (o == f.cbYakuzai && !down && IsEnterKey(static_cast<QKeyEvent *>(e)->key()))
        Latest(f.cbYakuzai, &TfrmMain::cbYakuzaiSelect);
      return false;
    }
    if (t == QEvent::MouseButtonPress) {
      if (auto *combo = qobject_cast<QComboBox *>(o)) cbYakuzaiDropDown(combo);
      return false;
    }
    if (t == QEvent::MouseButtonRelease && o == f.lblGoogle) {
      if (f.lblGoogle->isEnabled()) txtGoogleClick();
      return false;
    }
    if (t == QEvent::Resize) {
      if (o == f.pnlYakuzaiSideUp) pnlYakuzaiSideUpResize();
      if (o == f.pnlYakuzaiTop) pnlYakuzaiTopResize();
      if (o == f.pnlSeizai) pnlSeizaiResize();
    }
    return false;
  });
  for (QObject *o : std::initializer_list<QObject *>{
           f.eYakuzai, f.eYakuzaiTabSakumotsu, f.lstTsusho, f.lstBango, f.lstTsushoSeibun, f.lstTsushoSeibunPlural,
           f.lstTsushoKeito, f.cbYakuzai, f.cbSeibun, f.cbYakuzaiTabKeito, f.cbSayoten, f.cbRac, f.cbRacKeito,
           f.lblGoogle, f.pnlYakuzaiSideUp, f.pnlYakuzaiTop, f.pnlSeizai})
    o->installEventFilter(hook);

  // The side lists and the detail.
  connect(f.cbSeibun, &QComboBox::currentIndexChanged, this,
          [this] { Latest(ui->cbSeibun, &TfrmMain::cbSeibunChange); });
  connect(f.cbYakuzaiTabKeito, &QComboBox::currentIndexChanged, this,
          [this] { Latest(ui->cbYakuzaiTabKeito, &TfrmMain::cbYakuzaiTabKeitoChange); });
  connect(f.cbSayoten, &QComboBox::currentIndexChanged, this,
          [this] { Latest(ui->cbSayoten, &TfrmMain::cbSayotenChange); });
  connect(f.cbRac, &QComboBox::currentIndexChanged, this, [this] { Latest(ui->cbRac, &TfrmMain::cbRacChange); });
  connect(f.cbRacKeito, &QComboBox::currentIndexChanged, this,
          [this] { Latest(ui->cbRacKeito, &TfrmMain::cbRacKeitoChange); });
  connect(f.lstSeibunPluralCk, &QListWidget::itemChanged, this,
          [this] { Latest(ui->lstSeibunPluralCk, &TfrmMain::lstSeibunPluralCkClickCheck); });
  const struct {
    TListBoxEx *list;
    void (TfrmMain::*click)();
  } products[] = {{f.lstTsushoSeibun, &TfrmMain::lstTsushoSeibunClick},
                  {f.lstTsushoSeibunPlural, &TfrmMain::lstTsushoSeibunPluralClick},
                  {f.lstTsushoKeito, &TfrmMain::lstTsushoKeitoClick},
                  {f.lstSayoten, &TfrmMain::lstSayotenClick},
                  {f.lstRac, &TfrmMain::lstRacClick},
                  {f.lstRacKeito, &TfrmMain::lstRacKeitoClick}};
  pmnYakuzaiListbox = new QMenu(this);
  pmnYakuzaiListbox->setObjectName("pmnYakuzaiListbox");
  pmnCopyYakuzaiList = pmnYakuzaiListbox->addAction(ToQ("コピー"_sj));
  pmnCopyYakuzaiList->setObjectName("pmnCopyYakuzaiList");
  pmnCopyYakuzaiListALL = pmnYakuzaiListbox->addAction(ToQ("リストを全てコピー"_sj));
  pmnCopyYakuzaiListALL->setObjectName("pmnCopyYakuzaiListALL");
  connect(pmnCopyYakuzaiList, &QAction::triggered, this, [this] {
    auto *l = qobject_cast<TTextListBox *>(FYakuzaiListPopupOn);
    if (l && l->ItemIndex() >= 0) QApplication::clipboard()->setText(ToQ(l->Item(l->ItemIndex())));
  });
  connect(pmnCopyYakuzaiListALL, &QAction::triggered, this, [this] {
    auto *l = qobject_cast<TTextListBox *>(FYakuzaiListPopupOn);
    if (!l) return;
    std::string text;
    for (int i = 0; i < l->Count(); ++i) text += l->Item(i) + "\r\n";
    QApplication::clipboard()->setText(ToQ(text));
  });
  for (const auto &p : products) {
    connect(p.list, &QListWidget::currentRowChanged, this, [this, p] { Latest(p.list, p.click); });
    connect(p.list, &QListWidget::itemClicked, this, [this, p] { Latest(p.list, p.click); });
    p.list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(p.list, &QWidget::customContextMenuRequested, this, [this, l = p.list](const QPoint &at) {
      FYakuzaiListPopupOn = l;
      pmnYakuzaiListbox->popup(l->mapToGlobal(at));
    });
  }
  // The side tabs are moved by dragging them; their order is kept at shut-down.
  f.pgYakuzaiSideSeibun->tabBar()->setMovable(true);
  ConnectYakuzaiDetail();
  ClearYakuzaiLists();
}

// ---------------------------------------------------------------- the edits

void TfrmMain::eYakuzaiKeyPress(QLineEdit *Edit, int Key, const QString &Text) {
  if (IsEnterKey(Key)) {
    QLineEdit *back = Edit->property("Tag").toInt() == 1 ? ui->eYakuzaiTabSakumotsu : ui->eYakuzai;
    RunLatest("YakuzaiPickup", [this, back] {
      RunYakuzaiPickup();
      back->setFocus();
    });
    return;
  }
  // A character typed into the crop edit makes its text the user's own again: the next
  // search matches crop names. Keys that type nothing, and Backspace, Tab and Escape, keep
  // the names the crop dialog wrote.
  if (Edit->property("Tag").toInt() != 1 || Text.isEmpty()) return;
  const QChar c = Text.at(0);
  if (c.unicode() < 0x20 || c.unicode() == 0x7F) return;
  if (CropNamesExact && DebugMode)
    AddLog("eYakuzaiKeyPress 直接入力と判断-> "_sj + FromQ(ui->eYakuzaiTabSakumotsu->text()));
  CropNamesExact = false;
}

void TfrmMain::SetYakuzaiEditWidth(QLineEdit *Edit, QWidget *ClearButton, int PanelWidth) {
  QToolButton *picker = Edit == ui->eYakuzai ? ui->btnYakuzaiSel : ui->bYakuzaiTabSakuSel;
  int w = PanelWidth - picker->width();
  if (!ClearButton->isHidden()) w -= ClearButton->width();
  // A cap, not a fixed width: the layout may still give the edit less.
  Edit->setMaximumWidth(std::max(w, 16));
}

void TfrmMain::eYakuzaiChange() {
  const bool has_text = !ui->eYakuzai->text().isEmpty();
  SetSearchEnabled(has_text || !ui->eYakuzaiTabSakumotsu->text().isEmpty());
  ui->bYakuzaiTabYakuzaiClear->setVisible(has_text);
  SetYakuzaiEditWidth(ui->eYakuzai, ui->bYakuzaiTabYakuzaiClear, ui->pnlYakuzaiSideUp->width() - 1);
}

void TfrmMain::eYakuzaiTabSakumotsuChange() {
  const bool has_text = !ui->eYakuzaiTabSakumotsu->text().isEmpty();
  SetSearchEnabled(has_text || !ui->eYakuzai->text().isEmpty());
  ui->bYakuzaiTabSakumotsuClear->setVisible(has_text);
  SetYakuzaiEditWidth(ui->eYakuzaiTabSakumotsu, ui->bYakuzaiTabSakumotsuClear, ui->pnlYakuzaiSideUp->width() - 1);
  if (!has_text) YakuzaiSakumotsuNames.clear();
}

void TfrmMain::pnlYakuzaiSideUpResize() {
  const int w = ui->pnlYakuzaiSide->width() - 4;
  SetYakuzaiEditWidth(ui->eYakuzai, ui->bYakuzaiTabYakuzaiClear, w);
  SetYakuzaiEditWidth(ui->eYakuzaiTabSakumotsu, ui->bYakuzaiTabSakumotsuClear, w);
}

void TfrmMain::bYakuzaiTabYakuzaiClearClick() {
  ui->eYakuzai->clear();
  ui->bYakuzaiTabYakuzaiClear->hide();
}

void TfrmMain::bYakuzaiTabSakumotsuClearClick() {
  ui->eYakuzaiTabSakumotsu->clear();
  YakuzaiSakumotsuNames.clear();
  ui->bYakuzaiTabSakumotsuClear->hide();
}

// ---------------------------------------------------------------- the search

void TfrmMain::ClearYakuzaiLists() {
  Ui::TfrmMain &f = *ui;
  for (TTextListBox *l : std::initializer_list<TTextListBox *>{
           f.lstTsusho, f.lstBango, f.lstTsushoSeibun, f.lstTsushoKeito, f.lstSayoten, f.lstRac,
           f.lstSeibunPluralCk, f.lstTsushoSeibunPlural, f.lstRacKeito}) {
    QSignalBlocker block(l);
    l->Clear();
  }
  // Combos left over an empty result would offer the previous product's values.
  for (QComboBox *c : {f.cbSeibun, f.cbYakuzaiTabKeito, f.cbSayoten, f.cbRac, f.cbRacKeito}) {
    QSignalBlocker block(c);
    c->clear();
    c->setEnabled(false);
  }
  f.lstSeibunPluralCk->setEnabled(false);
}

void TfrmMain::RunYakuzaiPickup() {
  try {
    YakuzaiPickup();
  } catch (const std::exception &e) {
    const auto *ex = dynamic_cast<const Exception *>(&e);
    const std::string message = e.what();
    if (message.find("TPcreRegEx.Compile") != std::string::npos) {
      AddLog("YakuzaiPickup -> TPcreRegEx.Compile Error");
      ui->pgSearch->setEnabled(false);
      QCoreApplication::processEvents();
      ui->pgSearch->setEnabled(true);
    } else {
      UiServices().ShowReport("YakuzaiPickup エラー"_sj, "データ取得失敗"_sj,
                              std::string(ex ? ex->ClassName() : "Exception") + "\r\n---------\r\n" + message);
    }
  }
  // Whatever failed, the panels come back.
  SetSearchPanelsEnabled(true);
}

void TfrmMain::YakuzaiPickup() {
  if (!AcisDB) return;
  Ui::TfrmMain &f = *ui;
  const std::string keyword = FromQ(f.eYakuzai->text());
  const std::string crops = FromQ(f.eYakuzaiTabSakumotsu->text());
  if (keyword.empty() && crops.empty()) return;
  TRunScope run(*this);
  SetSearchPanelsEnabled(false);
  struct PanelsBack {
    TfrmMain *w;
    ~PanelsBack() { w->SetSearchPanelsEnabled(true); }
  } panels_back{this};
  if (!keyword.empty()) {
    QSignalBlocker block(f.cbYotoTabYakuzai);
    f.cbYotoTabYakuzai->setCurrentIndex(-1);
  }

  // Turn the crop restriction into a crop-code expression.
  std::string expr, names;
  if (!crops.empty()) {
    if (DebugMode) AddLog("YakuzaiPickup Edit.Text -> " + crops);
    try {
      std::string list;
      if (CropNamesExact) {
        list = crops;
      } else if (AcisDB->SakumotsuMatches(crops)) {
        CropNamesExact = true;
        AcisDB->MatchSakumotsuList(crops, list);
      } else {
        list = NormalizeCropList(crops);
      }
      if (DebugMode) AddLog("YakuzaiPickup  saku -> " + list);
      if (CropNamesExact)
        expr = AcisDB->IdSakuRegexpLineTest(list);
      else
        AcisDB->IdSakuRegexpLine(list, true, expr);
    } catch (const std::exception &e) {
      const auto *ex = dynamic_cast<const Exception *>(&e);
      UiServices().MessageBox(std::string(ex ? ex->ClassName() : "Exception") + "\r\n" + e.what(), "Quillmar",
                              MB_OK | MB_ICONERROR);
    }
    AddLog("IdSaku ->" + expr);
    if (expr.empty()) {
      AddLog("作物名なし"_sj);
      UiServices().MessageBox("作物名が存在しません..."_sj, "Quillmar", MB_OK | MB_ICONINFORMATION);
      return;
    }
    if (expr == kNoCropByPattern || expr == kNoCropByName) {
      // No crop matched: a restriction to nothing lists nothing.
      LastSideSelection.clear();
      ClearYakuzaiLists();
      return;
    }
    const std::string sql = "select sakumotsu from m_sakumotsu where idsaku regexp " + expr;
    if (DebugMode) AddLog("YakuzaiPickup  CsvSaku sql ->" + sql);
    if (AcisDB->ExecQuery(sql)) {
      TSQLiteTbl &q = *AcisDB->Query();
      for (; !q.Eof(); q.Next()) names += (names.empty() ? "" : ",") + q.FieldAsString(0);
    }
  }

  // Build the registration numbers, the names of the restriction and the products. A failing script stops the
  // search: the lists must not show the previous search's products as this one's.
  const bool restricted = !crops.empty();
  if (DebugMode && restricted) AddLog("idSaku -> " + expr);
  const std::string bango_sql = CreateBangoTableSQL(restricted ? expr : std::string());
  AddLog("SQL>" + bango_sql);
  if (!ExecSearchScript(*AcisDB, bango_sql)) {
    LastSideSelection.clear();
    ClearYakuzaiLists();
    return;
  }
  YakuzaiCropRestricted = restricted;
  YakuzaiSakumotsuNames = restricted ? names : std::string();
  const std::string yaku_sql = CreateYakuTableSQL(keyword, FromQ(f.cbYotoTabYakuzai->currentText()), restricted);
  AddLog("SQL>" + yaku_sql);
  if (!ExecSearchScript(*AcisDB, yaku_sql)) {
    LastSideSelection.clear();
    ClearYakuzaiLists();
    return;
  }

  // Fill the side lists from the products found.
  AddLog("SQL>" + YakuTsushoListSQL());
  LastSideSelection.clear();
  if (!AcisDB->ExecQuery(YakuTsushoListSQL(), true)) {
    ClearYakuzaiLists();
    return;
  }
  {
    QSignalBlocker block(f.lstTsusho);
    f.lstTsusho->Clear();
    TListBoxTarget target(*f.lstTsusho);
    AcisDB->SetListBox(target, 0);
  }
  if (RunStopRequested()) return;  // the window closes: nothing more is read or shown
  AddLog("SQL>" + YakuBangoListSQL());
  if (AcisDB->ExecQuery(YakuBangoListSQL(), true)) {
    QSignalBlocker block(f.lstBango);
    TListBoxTarget target(*f.lstBango);
    AcisDB->SetListBoxNumbered(target, true);
  }
  f.pgYakuzaiSide->setCurrentWidget(IsBangoTerm(keyword) ? f.tabBango : f.tabTsusho);

  // A keyword that is exactly the one common name found shows that product at once.
  if (f.pgYakuzaiSide->currentWidget() == f.tabTsusho && f.lstTsusho->Count() == 1 &&
      f.lstTsusho->Item(0) == keyword) {
    {
      QSignalBlocker block(f.lstTsusho);
      f.lstTsusho->SetItemIndex(0);
    }
    lstTsushoClick();
  }
}

// ---------------------------------------------------------------- the use combo

void TfrmMain::cbYotoTabYakuzaiChange() {
  if (!AcisDB) return;
  Ui::TfrmMain &f = *ui;
  const std::string use = FromQ(f.cbYotoTabYakuzai->currentText());
  if (use.empty()) return;
  {
    QSignalBlocker block(f.eYakuzai);
    f.eYakuzai->clear();
  }
  eYakuzaiChange();
  const std::string bango_sql = CreateBangoTableSQL("");
  AddLog("SQL>" + bango_sql);
  if (!ExecSearchScript(*AcisDB, bango_sql)) return;
  YakuzaiCropRestricted = false;
  if (!f.eYakuzaiTabSakumotsu->text().isEmpty()) {
    RunYakuzaiPickup();
    return;
  }
  const std::string where = use == "全て"_sj ? std::string() : "WHERE yoto = " + SqlQuoted(use);
  const std::string tsusho_sql =
      "SELECT DISTINCT m_kihon.tsusho as tsusho, tsushoruby.ruby as ruby FROM m_kihon LEFT JOIN tsushoruby ON "
      "m_kihon.tsusho = tsushoruby.tsusho " +
      where + " ORDER BY ruby";
  AddLog("SQL>" + tsusho_sql);
  if (AcisDB->ExecQuery(tsusho_sql)) {
    QSignalBlocker block(f.lstTsusho);
    f.lstTsusho->Clear();
    TListBoxTarget target(*f.lstTsusho);
    AcisDB->SetListBox(target, 0);
  }
  const std::string bango_list = "SELECT bango,meisho FROM m_kihon " + where + " ORDER BY bango";
  AddLog("SQL>" + bango_list);
  if (AcisDB->ExecQuery(bango_list)) {
    QSignalBlocker block(f.lstBango);
    TListBoxTarget target(*f.lstBango);
    AcisDB->SetListBoxNumbered(target, true);
  }
}

// ---------------------------------------------------------------- the lists and the product combo

void TfrmMain::FillProductCombo(bool SelectShortest) {
  Ui::TfrmMain &f = *ui;
  {
    QSignalBlocker block(f.cbYakuzai);
    TComboTarget target(*f.cbYakuzai);
    AcisDB->SetComboNumbered(target, true);
    int pick = 0;
    if (SelectShortest)
      for (int i = 1; i < f.cbYakuzai->count(); ++i)
        if (f.cbYakuzai->itemText(i).size() <= f.cbYakuzai->itemText(pick).size()) pick = i;
    f.cbYakuzai->setCurrentIndex(pick);
  }
  f.LabelCount->setText(ToQ(std::to_string(f.cbYakuzai->count()) + "剤"_sj));
  cbYakuzaiDropDown(f.cbYakuzai);
  YakuzaiSelect(ComboItemCode(FromQ(f.cbYakuzai->currentText())));
}

void TfrmMain::LayoutYakuzaiTop(bool MeasureCount) {
  Ui::TfrmMain &f = *ui;
  if (MeasureCount)
    f.LabelCount->setFixedWidth(QFontMetrics(f.LabelCount->font()).horizontalAdvance(f.LabelCount->text()) + 2);
  pnlYakuzaiTopResize();
}

bool TfrmMain::NewSideSelection(TListBoxEx *List, bool KeyHeld, std::string &Item) const {
  // Keys held down move through a list without loading; the same item again loads nothing.
  if (!AcisDB || KeyHeld || List->ItemIndex() < 0) return false;
  Item = List->Item(List->ItemIndex());
  return Item != LastSideSelection;
}

void TfrmMain::lstTsushoClick() {
  std::string name;
  if (!NewSideSelection(ui->lstTsusho, FKeyTsusho, name)) return;
  TBusyCursor busy;
  const std::string sql = TsushoProductsSQL(name);
  AddLog("SQL>" + sql);
  if (AcisDB->ExecQuery(sql, true)) FillProductCombo(true);
  if (RunStopRequested()) return;  // the window closes: nothing more is read or shown
  LayoutYakuzaiTop(true);
  LoadSideLists(name, false, true);
  LastSideSelection = name;
}

void TfrmMain::lstBangoClick() {
  Ui::TfrmMain &f = *ui;
  std::string item;
  if (!NewSideSelection(f.lstBango, FKeyBango, item)) return;
  TBusyCursor busy;
  {
    QSignalBlocker block(f.cbYakuzai);
    f.cbYakuzai->clear();
    f.cbYakuzai->addItem(ToQ(item));
    f.cbYakuzai->setCurrentIndex(0);
  }
  f.LabelCount->setText(ToQ("1剤"_sj));
  LayoutYakuzaiTop(true);
  const std::string bango = ComboItemCode(item);
  YakuzaiSelect(bango);
  if (RunStopRequested()) return;  // the window closes: nothing more is read or shown
  LoadSideLists(bango, true, false);
  LastSideSelection = item;
}

void TfrmMain::cbYakuzaiSelect() {
  const std::string item = FromQ(ui->cbYakuzai->currentText());
  if (ui->cbYakuzai->count() == 0 || item.empty()) return;
  YakuzaiSelect(ComboItemCode(item));
}

void TfrmMain::cbYakuzaiDropDown(QComboBox *Combo) {
  const QFontMetrics fm(Combo->font());
  int widest = 0;
  for (int i = 0; i < Combo->count(); ++i) widest = std::max(widest, fm.horizontalAdvance(Combo->itemText(i)));
  int w = widest + 6;
  if (Combo->count() > Combo->maxVisibleItems()) w += Combo->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  Combo->view()->setMinimumWidth(w);
}

// ---------------------------------------------------------------- pickers

void TfrmMain::bYakuzaiTabSakuSelClick() {
  if (!AcisDB) return;
  TDlgSakumotsu dialog(this);
  PlaceBelowControl(&dialog, ui->eYakuzaiTabSakumotsu);
  dialog.LogMemo = mLog;
  dialog.SetTarget(ui->eYakuzaiTabSakumotsu);
  dialog.Mode = 2;
  ShowModal(&dialog);
  if (dialog.CropDialogNoSelection()) return;
  CropNamesExact = true;
  RunYakuzaiPickup();
}

void TfrmMain::btnYakuzaiSelClick() {
  if (!AcisDB) return;
  TDlgYakuzaiSel dialog(this);
  PlaceBelowControl(&dialog, ui->eYakuzai);
  dialog.setFont(font());
  dialog.TargetEdit = ui->eYakuzai;
  if (ShowModal(&dialog) == QDialog::Rejected) return;
  RunYakuzaiPickup();
}

// ---------------------------------------------------------------- send-to and look-ups

void TfrmMain::pmnSendToTabYakuzaiClick() {
  Ui::TfrmMain &f = *ui;
  f.eYakuzaiTabSakumotsu->clear();
  const bool by_name = SendToSideTab == f.tabTsusho;
  if (!by_name) {
    QSignalBlocker block(f.cbYotoTabYakuzai);
    f.cbYotoTabYakuzai->setCurrentIndex(-1);
  }
  f.eYakuzai->setText(ToQ(SendToTerm));
  RunYakuzaiPickup();
  // The first item found is shown.
  TListBoxEx *list = by_name ? f.lstTsusho : f.lstBango;
  if (list->Count() > 0) {
    {
      QSignalBlocker block(list);
      list->SetItemIndex(0);
    }
    if (by_name)
      lstTsushoClick();
    else
      lstBangoClick();
  }
  if (f.pgSearch->currentWidget() != f.tabYakuzai) {
    f.pgSearch->setCurrentWidget(f.tabYakuzai);
  } else {
    pgSearchChange();
  }
  if (SendToSideTab) f.pgYakuzaiSide->setCurrentWidget(SendToSideTab);
}

void TfrmMain::SendTermToTabYakuzai(const std::string &Term) {
  if (Term.empty()) return;
  // A separate result window sends whenever its user likes; a run under way shows its
  // result first, and the term is searched after it.
  RunLatest("SendToTabYakuzai", [this, Term] {
    std::string digits = ToHankaku(Term);
    const bool number = IsBangoTerm(digits) && digits.find_first_of("<>") == std::string::npos;
    SendToTerm = number ? digits : Term;
    SendToSideTab = number ? ui->tabBango : ui->tabTsusho;
    pmnSendToTabYakuzaiClick();
  });
}

void TfrmMain::pmnSendToSqlClick() {
  if (PopupCellText.empty()) return;
  std::string crop = ReplaceAllText(PopupCellText, "（"_sj, "\\（"_sj);
  crop = ReplaceAllText(crop, "）"_sj, "\\）"_sj);
  const std::string sql =
      "select * from " + ViewName + " where " + "sakumotsu" + " regexp " + SqlQuoted("(^|､)"_sj + crop + "(､|$)"_sj);
  SetSQLEditorText(SQLEditor, sql);
  if (ui->pgSearch->currentWidget() != ui->tabSQL)
    ui->pgSearch->setCurrentWidget(ui->tabSQL);
  else
    pgSearchChange();
  SQLEditorChange();
}

void TfrmMain::txtGoogleClick() {
  const std::string name = ComboItemText(FromQ(ui->cbYakuzai->currentText()));
  if (!name.empty()) OpenWebSearch(this, name);
}

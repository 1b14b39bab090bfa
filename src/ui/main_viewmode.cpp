// The result view modes of the crop and pest results (common names, five ways of showing the
// ingredients, the RAC system columns), the copy of a result into a separate window, the
// crop-pane toggle, and the main window's handlers of the crop-selection frame's events.
// ConnectSearchTabs wires these and the two search tabs.
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include "components/grid/ExcelUtil.h"
#include "components/qtext.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/PickerPlacement.h"
#include "ui/UGrid.h"
#include "ui/UfraSakumotsu.h"
#include "ui/main.h"
#include "ui/main_searchtabs.h"
#include "ui_UfraSakumotsu.h"
#include "ui_main.h"

using namespace cp932::literals;

namespace {

// One ingredient view mode: its two menu items, the button's caption, image and hint.
struct TSeibunMode {
  const char *popupItem, *menuItem, *itemCaption, *caption;
  int image;
  const char *hint;
};

const TSeibunMode kSeibunModes[5] = {
    {"dmnSvSeibunSimple", "miSvSeibunSimple", "成分に簡略表示", "成分簡略", 43,
     "総使用回数における有効成分表示モード1:\r\n成分1～5に「総使用回数における有効成分(有効成分名)簡略」表示"},
    {"dmnSvSeibun", "miSvSeibun", "成分に表示", "成分覧", 44,
     "総使用回数における有効成分表示モード2:\r\n成分1～5に「有効成分[総使用回数における有効成分]」を表示"},
    {"dmnSvKaisu", "miSvKaisu", "回数に表示", "回数覧", 45,
     "総使用回数における有効成分表示モード3:\r\n回数1～5に総使用回数における有効成分名を表示"},
    {"dmnSvKaisuSimple", "miSvKaisuSimple", "回数に省略表示", "回数省略", 46,
     "総使用回数における有効成分表示モード4:\r\n回数1～5に総使用回数における有効成分名を省略表示"},
    {"dmnSvStandard", "miSvStandard", "なし", "有効成分", 47,
     "総使用回数における有効成分表示モード5:\r\nなし(有効成分を表示)"},
};

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

// Enter released in a control runs the handler; other keys go on as usual.
class TKeyUpHook : public QObject {
 public:
  TKeyUpHook(QObject *parent, std::function<void()> onEnter) : QObject(parent), FOnEnter(std::move(onEnter)) {}

 protected:
  bool eventFilter(QObject *o, QEvent *e) override {
    if (e->type() == QEvent::KeyRelease) {
      const int k = static_cast<QKeyEvent *>(e)->key();
      if (k == Qt::Key_Return || k == Qt::Key_Enter) FOnEnter();
    }
    return QObject::eventFilter(o, e);
  }

 private:
  std::function<void()> FOnEnter;
};

void OnKeyUpEnter(TfrmMain *owner, QWidget *w, std::function<void()> onEnter) {
  w->installEventFilter(new TKeyUpHook(owner->HookOwner(), std::move(onEnter)));
}

// A resize of a panel runs the handler.
class TResizeHook : public QObject {
 public:
  TResizeHook(QObject *parent, std::function<void()> onResize) : QObject(parent), FOnResize(std::move(onResize)) {}

 protected:
  bool eventFilter(QObject *o, QEvent *e) override {
    if (e->type() == QEvent::Resize) FOnResize();
    return QObject::eventFilter(o, e);
  }

 private:
  std::function<void()> FOnResize;
};

void OnResize(TfrmMain *owner, QWidget *w, std::function<void()> onResize) {
  w->installEventFilter(new TResizeHook(owner->HookOwner(), std::move(onResize)));
}

}  // namespace

// ---------------------------------------------------------------- view modes

void TfrmMain::SetSeibunViewMode(int Mode) {
  if (Mode < 0 || Mode > 4) return;
  SeibunViewMode = Mode;
  const TSeibunMode &m = kSeibunModes[Mode];
  btnSeibunView->setText(U(m.caption));
  btnSeibunView->setProperty("ImageIndex", m.image);
  btnSeibunView->setToolTip(U(m.hint));
  for (int i = 0; i < 10; ++i)
    if (SeibunViewItems[i]) SeibunViewItems[i]->setChecked(i % 5 == Mode);
}

void TfrmMain::dmnSeibunViewClick(int Tag) {
  SetSeibunViewMode(Tag - 1);
  if (Tag >= 1 && Tag <= 5) OptionData->SeibunViewMode = static_cast<std::uint8_t>(Tag - 1);
  RefreshViews();
}

void TfrmMain::actTsushoExecute() {
  OptionData->TushoMode = actTsusho->isChecked();
  RefreshViews();
}

void TfrmMain::actRacKeitoExecute() {
  OptionData->KeitoViewMode = actRacKeito->isChecked() ? 1 : 0;
  RacKeitoMode = OptionData->KeitoViewMode;
  RefreshViews();
}

void TfrmMain::RefreshViews() {
  const bool tsusho = actTsusho->isChecked();
  const int rk = RacKeitoMode;
  RunGuarded(this, [&] {
    if (ui->gdTekiyo->isVisible() || !ui->gdTekiyo->isHidden()) {
      ViewName = ResultViewName(0, tsusho, SeibunViewMode, rk, ViewName);
      RefreshSakumotsuResult();
    }
    if (!ui->gdByochu->isHidden()) {
      ViewName = ResultViewName(1, tsusho, SeibunViewMode, rk, ViewName);
      RefreshByochuResult();
    }
  });
  ViewName = ResultViewName(ui->pgSearch->currentIndex(), tsusho, SeibunViewMode, rk, ViewName);
}

// ---------------------------------------------------------------- separate window

void TfrmMain::actExportGridExecute() {
  const int tab = ui->pgSearch->currentIndex();
  if (tab < 0 || tab > 4 || !TabState[tab].Grid || TabState[tab].Grid->isHidden()) return;
  TXlsStringGrid *grid = TabState[tab].Grid;
  std::string caption = "Quillmar - ";
  switch (tab) {
    case 0:
      caption += FromQ(ui->fraSakumotsu->Form().eSakumotsu->text()) + " " + FromQ(ui->cbByochu->currentText());
      break;
    case 1:
      caption += FromQ(ui->edtByochu->text());
      break;
    case 2:
      caption += FromQ(ui->cbYakuzai->currentText());
      break;
    case 3:
      caption += "定型処理"_sj;
      break;
    default:
      caption += "SQL";
      break;
  }
  auto *w = new TfrmGrid(this);
  // The window's send-to-chemical-tab command lands on the chemical tab.
  connect(w, &TfrmGrid::SendToTabYakuzai, this, [this](const std::string &term) { SendTermToTabYakuzai(term); });
  w->setWindowTitle(ToQ(caption));
  w->GridKind = static_cast<std::uint8_t>(tab);
  if (tab == 2) {
    w->CopyFromGrid(*ui->gdSeibun, 1);
    w->CopyFromGrid(*ui->gdSeizai, 2);
    w->pnlYakuzai()->show();
    w->edtYakuzai()->setText(ui->cbYakuzai->currentText());
    w->SetSuisanText(FromQ(ui->mSuisan->toPlainText()));
    w->pnlYakuzai()->resize(ui->pnlYakuzaiSelect->width(), ui->pnlYakuzaiSelect->height());
  }
  w->Keywords = KinsetsuNames;
  w->MarkedRow = grid->Row();
  if (grid->Options() & goRowSelect) w->gdResult()->SetOptions(w->gdResult()->Options() | goRowSelect);
  w->CopyFromGrid(*grid, 0);
  w->show();
}

// ---------------------------------------------------------------- crop pane and frame

void TfrmMain::btnSakumotsuPaneClick() {
  QWidget *pane = ui->fraSakumotsu;
  QSplitter *splitter = ui->SplitterFraSakumotsu;
  const int i = splitter->indexOf(pane);
  if (i < 0) return;
  // A pane dragged down to no width comes back 200 wide.
  constexpr const char *kNoWidth = "qmPaneHadNoWidth";
  if (!pane->isHidden()) {
    pane->setProperty(kNoWidth, splitter->sizes()[i] == 0);
    pane->hide();
    return;
  }
  const bool noWidth = pane->property(kNoWidth).toBool();
  pane->show();
  if (noWidth) {
    // The splitter lays the shown pane out later; the width is set once it has.
    QTimer::singleShot(0, splitter, [splitter, i] {
      QList<int> sizes = splitter->sizes();
      const int other = i == 0 ? 1 : 0;
      if (other < sizes.size()) sizes[other] = std::max(0, sizes[other] + sizes[i] - 200);
      sizes[i] = 200;
      splitter->setSizes(sizes);
    });
  }
}

void TfrmMain::actSakumotsuTekiyoExecute() {
  if (ui->fraSakumotsu->Sakumotsu().empty()) return;
  RunGuarded(this, [this] { SearchSakumotsu(); });
}

void TfrmMain::fraSakumotsuSearchTrigger(const std::string &Text) {
  SetSearchEnabled(!Text.empty());
  Ui::fraSakumotsuBase &f = ui->fraSakumotsu->Form();
  const int page = f.pgList->currentIndex();
  if ((page == 0 && f.actAutoTekiyoView->isChecked()) || (page == 1 && f.actListAutoTekiyoView->isChecked()))
    RunExclusive([this] { actSakumotsuTekiyoExecute(); });
}

// ---------------------------------------------------------------- wiring

void TfrmMain::ConnectSearchTabs() {
  SearchOfTab[0] = [this] { SearchSakumotsu(); };
  SearchOfTab[1] = [this] { SearchByochu(); };

  // crop tab
  connect(ui->cbByochu, &QComboBox::activated, this, [this] { RunCommand(this, [this] { FilterByByochu(); }); });
  connect(ui->cbMokuteki, &QComboBox::activated, this, [this] { RunCommand(this, [this] { FilterByMokuteki(); }); });
  connect(ui->cbZaikei, &QComboBox::activated, this, [this] { RunCommand(this, [this] { FilterByZaikei(); }); });
  OnEnterKey(ui->cbByochu->lineEdit(), [this] { RunCommand(this, [this] { FilterByByochu(); }); });
  OnEnterKey(ui->cbMokuteki->lineEdit(), [this] { RunCommand(this, [this] { FilterByMokuteki(); }); });
  OnEnterKey(ui->cbZaikei->lineEdit(), [this] { RunCommand(this, [this] { FilterByZaikei(); }); });
  OnEnterKey(ui->edtYoto, [this] { RunCommand(this, [this] { edtYotoEnter(); }); });
  for (QComboBox *cb : {ui->cbByochu, ui->cbMokuteki}) cb->setCompleter(nullptr);
  connect(ui->btnByochu, &QPushButton::clicked, this, [this] { RunCommand(this, [this] { btnByochuClick(); }); });
  connect(ui->btnMokuteki, &QPushButton::clicked, this, [this] { RunCommand(this, [this] { btnMokutekiClick(); }); });
  connect(ui->btnYoto, &QPushButton::clicked, this, [this] { RunCommand(this, [this] { btnYotoClick(); }); });
  connect(ui->btnZaikei, &QPushButton::clicked, this, [this] { RunCommand(this, [this] { btnZaikeiClick(); }); });
  connect(ui->btnSakumotsuPane, &QToolButton::clicked, this, &TfrmMain::btnSakumotsuPaneClick);
  OnResize(this, ui->pnlSearchParam, [this] { pnlSearchParamResize(); });
  OnResize(this, ui->pnlTabByochuTop, [this] { pnlTabByochuTopResize(); });
  mnSakumotsuCheck = new QAction(U("作物名辞書変換チェック"), this);
  mnSakumotsuCheck->setObjectName("mnSakumotsuCheck");
  mnSakumotsuCheck->setVisible(false);
  if (QMenu *file = findChild<QMenu *>("mnFile")) file->addAction(mnSakumotsuCheck);
  // Its query takes the place of the result a run reads.
  connect(mnSakumotsuCheck, &QAction::triggered, this, [this] { RunCommand(this, [this] { mnSakumotsuCheckClick(); }); });

  // pest/disease tab
  connect(ui->edtByochu, &QLineEdit::textChanged, this, &TfrmMain::edtByochuChange);
  OnEnterKey(ui->edtByochu, [this] { RunCommand(this, [this] { SearchByochu(); }); });
  connect(ui->btnTabByochu, &QPushButton::clicked, this, [this] { RunCommand(this, [this] { btnTabByochuClick(); }); });
  connect(ui->btnTabByochuSaku, &QPushButton::clicked, this,
          [this] { RunCommand(this, [this] { btnTabByochuSakuClick(); }); });
  connect(ui->cbTabByochuSakumotu, &QComboBox::activated, this,
          [this] { RunCommand(this, [this] { cbTabByochuSakumotuSelect(); }); });
  ui->cbTabByochuSakumotu->setCompleter(nullptr);
  OnKeyUpEnter(this, ui->cbTabByochuSakumotu, [this] { RunCommand(this, [this] { cbTabByochuSakumotuSelect(); }); });

  // view modes: the ten items of the button's popup and of the sub-menu carry Tags 1 to 5
  for (int i = 0; i < 10; ++i) {
    const TSeibunMode &m = kSeibunModes[i % 5];
    QAction *a = new QAction(U(m.itemCaption), this);
    a->setObjectName(i < 5 ? m.popupItem : m.menuItem);
    a->setCheckable(true);
    a->setData(i % 5 + 1);
    (i < 5 ? dmSeibun : mnSearchSeibunView->menu())->addAction(a);
    // An item chosen while a run is under way leaves the marks on the mode the grid shows.
    connect(a, &QAction::triggered, this, [this, tag = i % 5 + 1] {
      if (!RunExclusive([&] { dmnSeibunViewClick(tag); })) SetSeibunViewMode(SeibunViewMode);
    });
    SeibunViewItems[i] = a;
  }
  actTsusho->setText(U("通称モード"));
  actRacKeito->setText(U("RAC系統"));
  actRacKeito->setToolTip(U("RAC系統を表示"));
  actExportGrid->setText(U("別窓"));
  actExportGrid->setToolTip(U("検索結果を別ウインドウで表示"));
  // A mode switched while a run is under way is switched back: the grid keeps its view.
  auto mode_switch = [this](QAction *a, void (TfrmMain::*handler)()) {
    connect(a, &QAction::triggered, this, [this, a, handler] {
      if (!RunExclusive([&] { (this->*handler)(); })) a->setChecked(!a->isChecked());
    });
  };
  mode_switch(actTsusho, &TfrmMain::actTsushoExecute);
  mode_switch(actRacKeito, &TfrmMain::actRacKeitoExecute);
  // The menu item is the same command as the action.
  connect(mnSearchKeitoView, &QAction::triggered, actRacKeito, &QAction::trigger);
  connect(actRacKeito, &QAction::toggled, mnSearchKeitoView, &QAction::setChecked);
  mnSearchKeitoView->setChecked(actRacKeito->isChecked());
  connect(actExportGrid, &QAction::triggered, this, [this] { RunExclusive([this] { actExportGridExecute(); }); });
  RacKeitoMode = actRacKeito->isChecked() ? 1 : 0;
  SetSeibunViewMode(OptionData->SeibunViewMode);

  // the crop-selection frame
  actSakumotsuTekiyo = new QAction(U("適用検索"), this);
  actSakumotsuTekiyo->setObjectName("actSakumotsuTekiyo");
  actSakumotsuTekiyo->setToolTip(U("適用検索"));
  connect(actSakumotsuTekiyo, &QAction::triggered, this, [this] { RunExclusive([this] { actSakumotsuTekiyoExecute(); }); });
  TfraSakumotsuBase *fra = ui->fraSakumotsu;
  Ui::fraSakumotsuBase &f = fra->Form();
  connect(fra, &TfraSakumotsuBase::OnTekiyoClick, actSakumotsuTekiyo, &QAction::trigger);
  connect(fra, &TfraSakumotsuBase::OnSakumotsuChange, this,
          [this, fra] { fraSakumotsuSearchTrigger(fra->Sakumotsu()); });
  connect(fra, &TfraSakumotsuBase::OnKinsetsuSakumotsuChange, this,
          [this, fra] { fraSakumotsuSearchTrigger(fra->KinsetsuSakumotsu()); });
  connect(fra, &TfraSakumotsuBase::OnBeppyo1DblClick, this, [this] {
    if (!ui->fraSakumotsu->Sakumotsu().empty()) RunCommand(this, [this] { SearchSakumotsu(); });
  });
  connect(fra, &TfraSakumotsuBase::OnCVODblClick, this, [this] {
    if (!ui->fraSakumotsu->Sakumotsu().empty()) RunCommand(this, [this] { SearchSakumotsu(); });
  });
  connect(fra, &TfraSakumotsuBase::OnTreeKeyPress, this, [this](int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
    RunExclusive([this] { actSakumotsuTekiyoExecute(); });
    ui->fraSakumotsu->Form().tvSakumotsu->setFocus();
  });
  // the crop list of the frame's list page
  OnKeyUpEnter(this, f.lvSakumotsu, [this] { RunExclusive([this] { actSakumotsuTekiyoExecute(); }); });
}

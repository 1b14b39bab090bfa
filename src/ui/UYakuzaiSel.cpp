#include "ui/UYakuzaiSel.h"

#include <QMouseEvent>
#include <QTabBar>
#include <QToolButton>
#include <algorithm>
#include <array>

#include "components/CheckListBoxEx.h"
#include "components/FillAdapters.h"
#include "components/qtext.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/PickerPlacement.h"
#include "ui_UYakuzaiSel.h"

using namespace cp932::literals;

namespace {

const char *const kWidthKey = "DlgYakuzaiSelWidth";
const char *const kHeightKey = "DlgYakuzaiSelHeight";
const char *const kActiveKey = "YakuzaiSelpgYakuzaiActivePageIndex";
constexpr int kDragThreshold = 20;

// The columns of kihon whose effect words pick ingredients and classes, by button tag.
std::string KokaCondition(int tag) {
  switch (tag) {
    case 1: return " WHERE koka regexp '(殺菌)'"_sj;
    case 2: return " WHERE koka regexp '(殺虫|殺ダニ|殺線虫|粘着)'"_sj;
    case 3: return " WHERE koka regexp '(除草)'"_sj;
    case 4: return " WHERE koka regexp '(殺そ|展着|植調|くん蒸|薬害軽減|誘引|忌避|蒸散抑制)'"_sj;
    default: return "";
  }
}

// The RAC code prefix of a button tag (FRAC, IRAC, HRAC); none for "全".
std::string RacCondition(int tag) {
  switch (tag) {
    case 1: return " WHERE mid regexp '^(F:)'";
    case 2: return " WHERE mid regexp '^(I:)'";
    case 3: return " WHERE mid regexp '^(H:)'";
    default: return "";
  }
}

const char *const kStartTsusho = "SELECT DISTINCT tsusho FROM TsushoRuby ORDER BY ruby;";

}  // namespace

TDlgYakuzaiSel::TDlgYakuzaiSel(QWidget *owner)
    : QDialog(owner), ui(std::make_unique<Ui::DlgYakuzaiSel>()) {
  ui->setupUi(this);
  QTabBar *bar = ui->pgYakuzai->tabBar();
  bar->installEventFilter(this);
  bar->setMouseTracking(true);
  FDropMark = new QWidget(bar);
  FDropMark->setAttribute(Qt::WA_TransparentForMouseEvents);
  FDropMark->setAutoFillBackground(true);
  QPalette black = FDropMark->palette();
  black.setColor(QPalette::Window, Qt::black);
  FDropMark->setPalette(black);
  FDropMark->hide();

  connect(ui->btnOK, &QPushButton::clicked, this, &TDlgYakuzaiSel::btnOKClick);
  connect(ui->btnCancel, &QPushButton::clicked, this, [this] {
    btnCancelClick();
    reject();
  });
  connect(ui->pgYakuzai, &QTabWidget::currentChanged, this, &TDlgYakuzaiSel::pgYakuzaiChange);
  for (TTextListBox *list : {static_cast<TTextListBox *>(ui->lstTsusho), static_cast<TTextListBox *>(ui->lstShurui),
                             static_cast<TTextListBox *>(ui->lstSeibun), static_cast<TTextListBox *>(ui->lstKeito),
                             static_cast<TTextListBox *>(ui->lstISO), static_cast<TTextListBox *>(ui->lstSayoten),
                             static_cast<TTextListBox *>(ui->lstRac), static_cast<TTextListBox *>(ui->lstRacKeito)}) {
    connect(list, &QListWidget::itemSelectionChanged, this, [this, list] { lstTsushoClick(list); });
    connect(list, &QListWidget::itemDoubleClicked, this, &TDlgYakuzaiSel::lstTsushoDblClick);
  }
  // A click on an ingredient's check box also makes it the selected entry, so OK follows.
  connect(ui->lstSeibun, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
    if (item && ui->lstSeibun->currentItem() != item) ui->lstSeibun->setCurrentItem(item);
    lstSeibunClickCheck();
  });

  // The refill buttons carry their tags; each tool bar has its handler.
  auto bindTagged = [this](QWidget *toolBar, void (TDlgYakuzaiSel::*handler)(int)) {
    for (QToolButton *b : toolBar->findChildren<QToolButton *>()) {
      const QVariant tag = b->property("Tag");
      if (tag.isValid())
        connect(b, &QToolButton::clicked, this, [this, handler, t = tag.toInt()] { (this->*handler)(t); });
    }
  };
  bindTagged(ui->tbTsusho, &TDlgYakuzaiSel::btnAClick);
  bindTagged(ui->tbShurui, &TDlgYakuzaiSel::btnShurui1Click);
  bindTagged(ui->tbSeibun, &TDlgYakuzaiSel::btnSeibun1Click);
  bindTagged(ui->tbKeito, &TDlgYakuzaiSel::btnKeito1Click);
  bindTagged(ui->tbSayoten, &TDlgYakuzaiSel::btnSayotenFracClick);
  bindTagged(ui->tbRac, &TDlgYakuzaiSel::btnFracClick);
  bindTagged(ui->tbRacKeito, &TDlgYakuzaiSel::btnRacKeitoFClick);
  connect(ui->btnAll, &QToolButton::clicked, this, &TDlgYakuzaiSel::btnAllClick);
  connect(ui->btnFracGroup, &QToolButton::clicked, this, &TDlgYakuzaiSel::btnFracGroupClick);

  // FormCreate.
  ReadWindowSize(this, kWidthKey, kHeightKey);
  ReadTabOrder();
  ui->btnOK->setEnabled(false);
  if (AcisDB) {
    const std::pair<TTextListBox *, std::string> starts[] = {
        {ui->lstTsusho, kStartTsusho},
        {ui->lstShurui, "SELECT DISTINCT shurui FROM m_kihon ORDER BY shurui;"},
        {ui->lstSeibun, "SELECT seibun FROM bunrui ORDER BY seibun;"},
        {ui->lstKeito, "SELECT DISTINCT keito FROM bunrui ORDER BY keito;"},
        {ui->lstISO, "SELECT DISTINCT iso FROM iso ORDER BY iso;"},
        {ui->lstSayoten, "SELECT DISTINCT sayoten FROM rac ORDER BY sayoten;"},
        {ui->lstRac, "SELECT DISTINCT mid FROM rac ORDER BY mid;"},
        {ui->lstRacKeito, "SELECT DISTINCT keito FROM rac ORDER BY keito;"},
    };
    for (const auto &[list, sql] : starts) {
      if (!AcisDB->ExecQuery(sql, true)) continue;
      QSignalBlocker quiet(list);
      TListBoxTarget target(*list);
      AcisDB->SetListBox(target, 0);
    }
  }
}

TDlgYakuzaiSel::~TDlgYakuzaiSel() = default;

// ---------------------------------------------------------------- tab order

std::vector<std::pair<QWidget *, const char *>> TDlgYakuzaiSel::TabKeys() const {
  return {
      {ui->tabTsusho, "YakuzaiSelTabTsushoPageIndex"},
      {ui->tabShurui, "YakuzaiSelTabShuruiPageIndex"},
      {ui->tabSeibun, "YakuzaiSelTabSeibunPageIndex"},
      {ui->tabKeito, "YakuzaiSelTabKeitoPageIndex"},
      {ui->tabISO, "YakuzaiSelTabIsoPageIndex"},
      {ui->tabSayoten, "YakuzaiSelTabSayotenPageIndex"},
      {ui->tabRac, "YakuzaiSelTabRacPageIndex"},
      {ui->tabRackeito, "YakuzaiSelTabRacKeitoIndex"},
  };
}

// The tabs take the order of their stored positions (the layout's order where positions
// tie or are missing), so a saved order comes back exactly.
void TDlgYakuzaiSel::ReadTabOrder() {
  TIniFile ini = ProgramIni();
  struct TPlace {
    QWidget *page;
    int stored, layout;
  };
  std::vector<TPlace> places;
  for (const auto &[page, key] : TabKeys()) {
    const int layout = ui->pgYakuzai->indexOf(page);
    places.push_back({page, ini.ReadInteger(SEC_WINDOW, key, layout), layout});
  }
  std::stable_sort(places.begin(), places.end(), [](const TPlace &a, const TPlace &b) {
    return a.stored != b.stored ? a.stored < b.stored : a.layout < b.layout;
  });
  QTabBar *bar = ui->pgYakuzai->tabBar();
  for (int i = 0; i < static_cast<int>(places.size()); ++i) {
    const int from = ui->pgYakuzai->indexOf(places[static_cast<std::size_t>(i)].page);
    if (from != i) bar->moveTab(from, i);
  }
  const int active = ini.ReadInteger(SEC_WINDOW, kActiveKey, 0);
  ui->pgYakuzai->setCurrentIndex(active >= 0 && active < ui->pgYakuzai->count() ? active : 0);
}

void TDlgYakuzaiSel::done(int result) {
  WriteWindowSize(this, kWidthKey, kHeightKey);
  TIniFile ini = ProgramIni();
  for (const auto &[page, key] : TabKeys()) ini.WriteInteger(SEC_WINDOW, key, ui->pgYakuzai->indexOf(page));
  ini.WriteInteger(SEC_WINDOW, kActiveKey, ui->pgYakuzai->currentIndex());
  QDialog::done(result);
}

// Drag a tab: it starts once the mouse has moved far enough from the press; over a tab a
// black line marks the drop place (at the tab's left edge when the tab lies at or before the
// active one, else at its right edge); dropping on a tab moves the active tab there.
bool TDlgYakuzaiSel::eventFilter(QObject *watched, QEvent *event) {
  QTabBar *bar = ui->pgYakuzai->tabBar();
  if (watched != bar) return QDialog::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto *m = static_cast<QMouseEvent *>(event);
      if (m->button() == Qt::LeftButton) {
        FPressed = true;
        FDragging = false;
        FPressPos = m->position().toPoint();
      }
      break;
    }
    case QEvent::MouseMove: {
      auto *m = static_cast<QMouseEvent *>(event);
      if (!FPressed || !(m->buttons() & Qt::LeftButton)) break;
      const QPoint p = m->position().toPoint();
      if (!FDragging && (p - FPressPos).manhattanLength() < kDragThreshold) break;
      FDragging = true;
      MarkDropTab(bar->tabAt(p));
      return true;
    }
    case QEvent::MouseButtonRelease: {
      auto *m = static_cast<QMouseEvent *>(event);
      const bool dragging = FDragging;
      FPressed = FDragging = false;
      if (!dragging) break;
      MarkDropTab(-1);
      const int to = bar->tabAt(m->position().toPoint());
      const int from = ui->pgYakuzai->currentIndex();
      if (to >= 0 && to != from) {
        bar->moveTab(from, to);
        ui->pgYakuzai->setCurrentIndex(to);
      }
      update();
      return true;
    }
    case QEvent::Leave:
      // Leaving wipes the mark; the marked tab is remembered.
      FDropMark->hide();
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

void TDlgYakuzaiSel::MarkDropTab(int index) {
  if (index == FDropIndex && (index < 0 || FDropMark->isVisible())) return;
  FDropIndex = index;
  if (index < 0) {
    FDropMark->hide();
    return;
  }
  const QRect r = ui->pgYakuzai->tabBar()->tabRect(index);
  const int x = index <= ui->pgYakuzai->currentIndex() ? r.left() + 1 : r.right() - 2;
  FDropMark->setGeometry(x, r.top(), 2, r.height());
  FDropMark->show();
  FDropMark->raise();
}

int TDlgYakuzaiSel::DropMarkX() const { return FDropMark->isVisible() ? FDropMark->x() : -1; }

// ---------------------------------------------------------------- lists and result

TTextListBox *TDlgYakuzaiSel::ActiveList() const {
  QWidget *page = ui->pgYakuzai->currentWidget();
  return page ? page->findChild<TTextListBox *>() : nullptr;
}

void TDlgYakuzaiSel::lstTsushoClick(TTextListBox *list) {
  if (list == ActiveList()) ui->btnOK->setEnabled(list->ItemIndex() >= 0);
}

void TDlgYakuzaiSel::lstTsushoDblClick() { ui->btnOK->click(); }

void TDlgYakuzaiSel::lstSeibunClickCheck() { FSeibunChecked = ui->lstSeibun->CheckCount() > 0; }

void TDlgYakuzaiSel::pgYakuzaiChange() {
  TTextListBox *list = ActiveList();
  ui->btnOK->setEnabled(list && list->ItemIndex() >= 0);
}

std::string TDlgYakuzaiSel::SelectedEntry() const {
  TTextListBox *list = ActiveList();
  if (!list || list->ItemIndex() < 0) return {};
  return list->Item(list->ItemIndex());
}

void TDlgYakuzaiSel::btnOKClick() {
  std::string text = SelectedEntry();
  if (ui->pgYakuzai->currentWidget() == ui->tabSeibun && FSeibunChecked) {
    text = JoinItems(CheckedItems(*ui->lstSeibun), " ");
  }
  if (TargetEdit) TargetEdit->setText(ToQ(text));
  accept();
}

void TDlgYakuzaiSel::btnAddClick() {
  if (!TargetEdit) return;
  const std::string entry = SelectedEntry();
  const std::string current = FromQ(TargetEdit->text());
  TargetEdit->setText(ToQ(current.empty() ? entry : current + " " + entry));
}

void TDlgYakuzaiSel::btnReplaceClick() {
  if (TargetEdit) TargetEdit->setText(ToQ(SelectedEntry()));
}

void TDlgYakuzaiSel::bCancelClick() { reject(); }

// ---------------------------------------------------------------- refill buttons

void TDlgYakuzaiSel::Refill(TTextListBox *list, const std::string &sql) {
  if (!AcisDB || !AcisDB->ExecQuery(sql, true)) return;
  {
    QSignalBlocker quiet(list);
    list->Clear();
    TListBoxTarget target(*list);
    AcisDB->SetListBox(target, 0);
  }
  if (list == ui->lstSeibun) FSeibunChecked = false;
  ui->btnOK->setEnabled(false);
}

void TDlgYakuzaiSel::btnAClick(int tag) {
  static const char *const kRows[] = {
      "^(あ|い|う|え|お)", "^(か|き|く|け|こ)", "^(さ|し|す|せ|そ)", "^(た|ち|つ|て|と)", "^(な|に|ぬ|ね|の)",
      "^(は|ひ|ふ|へ|ほ)", "^(ま|み|む|め|も)", "^(や|ゆ|よ)",      "^(ら|り|る|れ|ろ)", "^(わ|を|ん)",
      "^([一-龠])",        "^([A-Z])",          "^([0-9])"};
  if (tag < 1 || tag > 13) return;
  Refill(ui->lstTsusho, "SELECT tsusho FROM TsushoRuby WHERE ruby regexp '" + cp932::FromUtf8(kRows[tag - 1]) +
                            "' ORDER BY ruby;");
}

void TDlgYakuzaiSel::btnAllClick() { Refill(ui->lstTsusho, kStartTsusho); }

void TDlgYakuzaiSel::btnShurui1Click(int tag) {
  std::string where;
  switch (tag) {
    case 1: where = " WHERE yoto match '%殺菌%'"_sj; break;
    case 2: where = " WHERE yoto match '%殺虫%'"_sj; break;
    case 3: where = " WHERE yoto match '%除草%'"_sj; break;
    case 4: where = " WHERE yoto regexp '(その他|殺そ剤|農薬肥料|植物成長調整剤|殺菌植調剤)'"_sj; break;
    default: break;
  }
  Refill(ui->lstShurui, "SELECT DISTINCT shurui FROM kihon" + where + " ORDER BY shurui;");
}

void TDlgYakuzaiSel::btnSeibun1Click(int tag) {
  Refill(ui->lstSeibun, "SELECT DISTINCT seibun FROM kihon" + KokaCondition(tag) + " ORDER BY seibun;");
}

void TDlgYakuzaiSel::btnKeito1Click(int tag) {
  Refill(ui->lstKeito, "SELECT DISTINCT keito FROM kihon" + KokaCondition(tag) + " ORDER BY keito;");
}

void TDlgYakuzaiSel::btnSayotenFracClick(int tag) {
  Refill(ui->lstSayoten, "SELECT DISTINCT sayoten FROM rac" + RacCondition(tag) + " ORDER BY sayoten;");
}

void TDlgYakuzaiSel::btnFracClick(int tag) {
  Refill(ui->lstRac, "SELECT DISTINCT mid FROM rac" + RacCondition(tag) + " ORDER BY mid;");
}

void TDlgYakuzaiSel::btnFracGroupClick() {
  Refill(ui->lstRac, "SELECT DISTINCT fgroup FROM rac WHERE mid regexp '^(F:)' ORDER BY fgroup;");
}

void TDlgYakuzaiSel::btnRacKeitoFClick(int tag) {
  Refill(ui->lstRacKeito, "SELECT DISTINCT keito FROM rac" + RacCondition(tag) + " ORDER BY keito;");
}

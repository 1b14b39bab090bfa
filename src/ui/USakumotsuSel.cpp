#include "ui/USakumotsuSel.h"

#include <QComboBox>
#include <QEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <algorithm>
#include <exception>

#include "components/CheckTreeView.h"
#include "components/ComCtrlsXP.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/acdb_clauses.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/CropPicking.h"
#include "ui/ImageLists.h"
#include "ui/PickerPlacement.h"
#include "ui_USakumotsuSel.h"

using namespace cp932::literals;

namespace {

const char *const kWidthKey = "DlgSakumotuWidth";
const char *const kHeightKey = "DlgSakumotuHeight";
const char *const kPageKey = "DlgSakuActivePageIndex";

const char *UpperKey(int mode) { return mode == 3 ? "DlgSakumotsuSelTemplateUpper" : "DlgSakumotsuSelUpper"; }

class TUpdating {
 public:
  explicit TUpdating(int &n) : n_(n) { ++n_; }
  ~TUpdating() { --n_; }

 private:
  int &n_;
};

// The failure box of the dialog: class name, message and where it happened.
void FailureBox(const std::exception &e, const std::string &position) {
  ErrorBox(ExceptionClassName(e) + "\r\n" + e.what() + "\r\n" + position);
}


}  // namespace

TDlgSakumotsu::TDlgSakumotsu(QWidget *owner) : QDialog(owner, Qt::Tool), ui(std::make_unique<Ui::DlgSakumotsu>()) {
  ui->setupUi(this);
  ui->tvSakumotsu->SetCheckboxes(false);

  // The tree commands are images with hints (their texts stand in where an image is
  // missing); the commands on the caller's edit are captions.
  auto add = [this](const char *name, const std::string &text, const std::string &hint, const char *image) {
    auto *b = new QToolButton(ui->ToolBar);
    b->setObjectName(name);
    b->setText(ToQ(text));
    if (!hint.empty()) b->setToolTip(ToQ(hint));
    if (image) {
      b->setIcon(ActionIcon(QString::fromLatin1(image)));
      if (!b->icon().isNull()) b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    b->setAutoRaise(true);
    ui->ToolBar->addWidget(b);
    return b;
  };
  FbExpand = add("bExpand", "展開"_sj, "ツリーを全て展開"_sj, "list-add");
  FbCollapse = add("bCollapse", "縮小"_sj, "ツリーを全て縮小"_sj, "list-remove");
  FbtnUpper = add("btnUpper", "上位"_sj, "上位作物群を含む"_sj, "go-up");
  FbtnUpper->setCheckable(true);
  FbtnAdd = add("btnAdd", "追加"_sj, "", nullptr);
  FbtnReplace = add("btnReplace", "置換"_sj, "", nullptr);
  FbCancel = add("bCancel", "閉じる"_sj, "", nullptr);
  FbtnAdd->setEnabled(false);
  FbtnReplace->setEnabled(false);
  ui->cbLg->setToolTip(ToQ("大グループを選択"_sj));
  ui->cbMg->setToolTip(ToQ("中グループを選択"_sj));
  ui->cbFamily->setToolTip(ToQ("大グループ選択"_sj));

  FpmnTree = new QMenu(this);
  FpmnTree->setObjectName("pmnTree");
  FpmnAdd = FpmnTree->addAction(ToQ("追加(&A)"_sj), this, &TDlgSakumotsu::btnAddClick);
  FpmnReplace = FpmnTree->addAction(ToQ("置換(&R)"_sj), this, &TDlgSakumotsu::btnReplaceClick);
  FpmnAdd->setEnabled(false);
  FpmnReplace->setEnabled(false);

  // Window settings.
  TIniFile ini = ProgramIni();
  ReadWindowSize(this, kWidthKey, kHeightKey);
  ReadColumnWidths(ui->lvSakumotsu, ini, "DlgSakuLvSakumotsuColumns", {80, 80, 100});
  ReadColumnWidths(ui->lvBeppyo1, ini, "DlgSakuLvBeppyo1Columns", {70, 70, 70, 100, 100, 50, 50});
  ReadColumnWidths(ui->lvCVO, ini, "DlgSakuLvCVOColumns", std::vector<int>(21, 50));
  const int page = ini.ReadInteger(SEC_WINDOW, kPageKey, 0);
  ui->pgList->setCurrentIndex(page >= 0 && page < ui->pgList->count() ? page : 0);

  if (OptionData->SakumotsuTreeIndent > 0) ui->tvSakumotsu->setIndentation(OptionData->SakumotsuTreeIndent);
  const int size = TreeImageSize(OptionData->BtnImageSize <= 3 ? OptionData->BtnImageSize : 0);
  ui->tvSakumotsu->SetImages(CropTreeImages(size));
  ui->tvSakumotsu->setIconSize(QSize(size, size));
  TakeMainFormFont(this);
  ui->rbPrefix->setChecked(true);
  ui->pnlBeppyo1->setFixedHeight(ui->cbLg->sizeHint().height() + 2);
  ui->pnlCvo->setFixedHeight(ui->cbFamily->sizeHint().height() + 2);
  QPalette p = ui->eSakumotsu->palette();
  p.setColor(QPalette::Base, ui->edtInput->palette().color(QPalette::Base));
  ui->eSakumotsu->setPalette(p);

  {
    TUpdating updating(FUpdating);
    if (SakumotsuList) SakumotsuList->FillTree(ui->tvSakumotsu);
    GreyUnregisteredNodes(ui->tvSakumotsu, 3, Qt::white);
  }
  LoadBeppyo1();
  LoadCvoFamilies();
  FNoSelection = true;
  PageChanged();

  connect(FbExpand, &QToolButton::clicked, this, &TDlgSakumotsu::bExpandClick);
  connect(FbCollapse, &QToolButton::clicked, this, &TDlgSakumotsu::bCollapseClick);
  connect(FbtnUpper, &QToolButton::clicked, this, &TDlgSakumotsu::btnUpperClick);
  connect(FbtnAdd, &QToolButton::clicked, this, &TDlgSakumotsu::btnAddClick);
  connect(FbtnReplace, &QToolButton::clicked, this, &TDlgSakumotsu::btnReplaceClick);
  connect(FbCancel, &QToolButton::clicked, this, &TDlgSakumotsu::bCancelClick);
  connect(ui->pgList, &QTabWidget::currentChanged, this, &TDlgSakumotsu::PageChanged);
  connect(ui->tvSakumotsu, &QTreeWidget::currentItemChanged, this, [this] {
    if (!FUpdating) tvSakumotsuClick();
  });
  connect(ui->tvSakumotsu, &QTreeWidget::itemClicked, this, &TDlgSakumotsu::tvSakumotsuClick);
  connect(ui->bSearch, &QPushButton::clicked, this, &TDlgSakumotsu::SearchSakumotsu);
  connect(ui->edtInput, &QLineEdit::returnPressed, this, [this] {
    SearchSakumotsu();
    if (ui->lvSakumotsu->topLevelItemCount() > 0) ui->lvSakumotsu->setFocus();
  });
  for (QRadioButton *rb : {ui->rbPrefix, ui->rbBroad, ui->rbExact})
    connect(rb, &QRadioButton::clicked, this, &TDlgSakumotsu::SearchSakumotsu);
  ui->edtInput->installEventFilter(this);
  connect(ui->lvSakumotsu, &QTreeWidget::itemChanged, this, [this] {
    if (!FUpdating) CollectChecked();
  });
  connect(ui->lvSakumotsu, &QTreeWidget::customContextMenuRequested, this,
          [this](const QPoint &pos) { FpmnTree->popup(ui->lvSakumotsu->viewport()->mapToGlobal(pos)); });
  connect(ui->lvBeppyo1, &QTreeWidget::itemClicked, this, &TDlgSakumotsu::lvBeppyo1Select);
  connect(ui->lvCVO, &QTreeWidget::itemClicked, this, &TDlgSakumotsu::lvCVOSelect);
  connect(ui->cbLg, &QComboBox::currentIndexChanged, this, &TDlgSakumotsu::cbLgChange);
  connect(ui->cbMg, &QComboBox::currentIndexChanged, this, &TDlgSakumotsu::cbMgChange);
  // The user's pick, also of the item already shown: "全て" is current once the list is filled.
  connect(ui->cbFamily, &QComboBox::activated, this, &TDlgSakumotsu::cbFamilyChange);

  ui->tvSakumotsu->setMouseTracking(true);
  ui->tvSakumotsu->viewport()->installEventFilter(this);
  SetListInfoTip(ui->lvSakumotsu, [](QTreeWidgetItem *item) { return CropHintText(CropItemRecord(item)); });
  SetListInfoTip(ui->lvBeppyo1, [](QTreeWidgetItem *item) { return RowHint(item, &Beppyo1HintText); });
  SetListInfoTip(ui->lvCVO, [](QTreeWidgetItem *item) { return RowHint(item, &CvoHintText); });
}

TDlgSakumotsu::~TDlgSakumotsu() {
  TIniFile ini = ProgramIni();
  WriteWindowSize(this, kWidthKey, kHeightKey);
  WriteColumnWidths(ui->lvSakumotsu, ini, "DlgSakuLvSakumotsuColumns");
  WriteColumnWidths(ui->lvBeppyo1, ini, "DlgSakuLvBeppyo1Columns");
  WriteColumnWidths(ui->lvCVO, ini, "DlgSakuLvCVOColumns");
  ini.WriteInteger(SEC_WINDOW, kPageKey, ui->pgList->currentIndex());
  ini.WriteBool(SEC_WINDOW, UpperKey(Mode), FbtnUpper->isChecked());
  const QSignalBlocker quiet(ui->tvSakumotsu);
  ui->tvSakumotsu->clear();
  FreeSearchRecords();
  ui->lvBeppyo1->clear();
  ui->lvCVO->clear();
}

void TDlgSakumotsu::showEvent(QShowEvent *Event) {
  if (!FUpperRead) {
    FUpperRead = true;
    FbtnUpper->setChecked(ProgramIni().ReadBool(SEC_WINDOW, UpperKey(Mode), false));
    if (DebugMode) {
      Log("abs(eSakumotsu.Font.Height) > " + std::to_string(QFontMetrics(ui->eSakumotsu->font()).height()));
      Log("self.Canvas.TextHeight('あ')  > "_sj + std::to_string(fontMetrics().height()));
    }
  }
  QDialog::showEvent(Event);
}

void TDlgSakumotsu::Log(const std::string &Line) const {
  if (LogMemo) LogMemo->AddLine(Line);
}

std::string TDlgSakumotsu::Selection() const { return FromQ(ui->eSakumotsu->text()); }

void TDlgSakumotsu::SetSelection(const std::string &Text) {
  ui->eSakumotsu->setText(ToQ(Text));
  for (QWidget *w : {static_cast<QWidget *>(FbtnAdd), static_cast<QWidget *>(FbtnReplace)}) w->setEnabled(!Text.empty());
  FpmnAdd->setEnabled(!Text.empty());
  FpmnReplace->setEnabled(!Text.empty());
}

std::string TDlgSakumotsu::QuoteSakumotsu(const std::string &Text) const {
  return Mode == 3 ? "'" + Text + "'" : Text;
}

// ---- the caller's edit

void TDlgSakumotsu::btnAddClick() {
  const std::string s = Selection();
  if (s.empty() || !FTarget) return;
  const std::string target = FromQ(FTarget->text());
  const std::string quoted = QuoteSakumotsu(s);
  if (target.empty()) {
    FTarget->setText(ToQ(quoted));
    return;
  }
  // Template texts hold selections in single quotes; such a quoted selection is one item.
  std::vector<std::string> items = SplitDelimitedText(target, ',', Mode == 3 ? '\'' : '"');
  auto held = [&items](const std::string &name) { return std::find(items.begin(), items.end(), name) != items.end(); };
  if (held(s) || held(quoted)) return;
  if (Mode == 3) {
    FTarget->setText(ToQ(target + "," + quoted));
    return;
  }
  // A selection of several crops adds only the names the target does not hold yet.
  std::string added = target;
  for (const std::string &name : SplitDelimitedText(s))
    if (!name.empty() && !held(name)) {
      added += "," + name;
      items.push_back(name);
    }
  FTarget->setText(ToQ(added));
}

void TDlgSakumotsu::btnReplaceClick() {
  const std::string s = Selection();
  if (s.empty() || !FTarget) return;
  FTarget->setText(ToQ(QuoteSakumotsu(s)));
}

void TDlgSakumotsu::bCancelClick() {
  FNoSelection = Selection().empty();
  close();
}

// ---- picking

std::string TDlgSakumotsu::NameSelection(const std::string &Name, bool SameLevel, bool Upper) const {
  if (!AcisDB || Name.empty()) return Name;
  std::string s = SameLevel ? AcisDB->SameLevelSakumotsu(Name) : Name;
  if (Upper) {
    const std::string up = AcisDB->UpperGroup(Name);
    s = up.empty() ? Name : up;
  }
  return s;
}

void TDlgSakumotsu::tvSakumotsuClick() {
  try {
    QTreeWidgetItem *node = ui->tvSakumotsu->currentItem();
    auto *rec = static_cast<TSakumotsu *>(TCheckTreeView::NodeData(node));
    if (!rec) return;
    const std::string name = TCheckTreeView::Caption(node);
    const bool registered = rec->toroku == 1 || rec->toroku == 3 || (rec->class_ == 3 && rec->toroku == 2);
    std::string s;
    if (registered || Mode == 3) s = NameSelection(name, Mode == 3, false);
    if (FbtnUpper->isChecked() || rec->toroku == 2) s = NameSelection(name, false, true);
    SetSelection(s);
    FbtnAdd->setEnabled(true);
    FbtnReplace->setEnabled(true);
    FpmnAdd->setEnabled(true);
    FpmnReplace->setEnabled(true);
  } catch (const std::exception &e) {
    FailureBox(e, "[Position] tvSakumotsuClick");
  }
}

void TDlgSakumotsu::FreeSearchRecords() {
  const QSignalBlocker quiet(ui->lvSakumotsu);
  ui->lvSakumotsu->clear();
  FSearchRecords.clear();
}

void TDlgSakumotsu::SearchSakumotsu() {
  const std::string input = FromQ(ui->edtInput->text());
  if (input.empty() || !AcisDB) return;
  std::string sql;
  if (ui->rbExact->isChecked())
    sql = "SELECT class,idsaku,toroku,shukakubui,sakumotsu,betsumei,rakuyokaju FROM vs_sakumotsu2 WHERE " +
          SakumotsuMatchOr(input) + " ORDER BY idsaku;";
  else
    sql = CropNameSearchSQL(CropSearchTerm(input), ui->rbPrefix->isChecked());
  Log(sql);
  TBusyCursor busy;
  TUpdating updating(FUpdating);
  FreeSearchRecords();
  ui->lvSakumotsu->setSortingEnabled(false);
  if (AcisDB->ExecQuery(sql)) AddCropSearchItems(ui->lvSakumotsu, FSearchRecords);
  ui->lvSakumotsu->setSortingEnabled(true);
  ui->lvSakumotsu->sortItems(0, Qt::AscendingOrder);
}

void TDlgSakumotsu::CollectChecked() {
  if (!AcisDB) return;
  const bool upper = FbtnUpper->isChecked();
  // The template mode takes each crop's same-level group; all checked crops count.
  const std::string text = CheckedCropsText(ui->lvSakumotsu, upper, [this](const TSakumotsu &crop) {
    return Mode == 3 ? AcisDB->SameLevelSakumotsu(crop.sakumotsu) : crop.sakumotsu;
  });
  if (upper && DebugMode) Log("UsakumotsuSel.lvSakumotsuCheck : tmpsk -> " + text);
  SetSelection(text);
}

void TDlgSakumotsu::lvBeppyo1Select() {
  QTreeWidgetItem *row = ui->lvBeppyo1->currentItem();
  if (!row) return;
  SetSelection(NameSelection(FromQ(row->text(3)), Mode == 3, FbtnUpper->isChecked()));
}

void TDlgSakumotsu::lvCVOSelect() {
  QTreeWidgetItem *row = ui->lvCVO->currentItem();
  if (!row) return;
  SetSelection(NameSelection(ReplaceAllText(FromQ(row->text(12)), "|", ","), false, FbtnUpper->isChecked()));
}

void TDlgSakumotsu::btnUpperClick() {
  if (Selection().empty()) return;
  const QWidget *page = ui->pgList->currentWidget();
  if (page == ui->tsBunrui)
    tvSakumotsuClick();
  else if (page == ui->tsSearch)
    CollectChecked();
  else if (page == ui->tsBeppyo1)
    lvBeppyo1Select();
  else if (page == ui->tsCvo)
    lvCVOSelect();
}

// ---- crop-group and CVO tables

void TDlgSakumotsu::LoadBeppyo1() {
  if (!AcisDB || !AcisDB->TableExists("spec.tekiyosakumotsu")) return;
  try {
    ui->lvBeppyo1->setUpdatesEnabled(false);
    ReplaceFromQuery(ui->lvBeppyo1, "SELECT * FROM spec.tekiyosakumotsu", {2, 3, 4, 5, 6, 8, 9});
    ui->lvBeppyo1->setUpdatesEnabled(true);
  } catch (const std::exception &e) {
    ui->lvBeppyo1->setUpdatesEnabled(true);
    FailureBox(e, "[Error] lvBeppyo1.Items.Add");
  }
  try {
    if (AcisDB->TableExists("spec.beppyo1n")) FillAllCombo(ui->cbLg, "SELECT DISTINCT lg FROM spec.beppyo1n");
  } catch (const std::exception &e) {
    FailureBox(e, "[Error] lvBeppyo1.SetComboboxQuery");
  }
}

void TDlgSakumotsu::cbLgChange() {
  Beppyo1LgChange(ui->lvBeppyo1, ui->cbLg, ui->cbMg, [this] { LoadBeppyo1(); });
}

void TDlgSakumotsu::cbMgChange() { Beppyo1MgChange(ui->lvBeppyo1, ui->cbLg, ui->cbMg); }

void TDlgSakumotsu::LoadCvoFamilies() {
  if (!AcisDB || !AcisDB->TableExists("spec.cvo")) return;
  try {
    FillAllCombo(ui->cbFamily, "SELECT DISTINCT family FROM spec.cvo WHERE sakumotsu != '' ORDER BY family;");
  } catch (const std::exception &e) {
    FailureBox(e, "[Position] TDlgSakumotsu.CvoFamilyLoad -> SetComboBoxQuery");
  }
}

void TDlgSakumotsu::LoadCvo() {
  if (!AcisDB || !AcisDB->TableExists("spec.cvo2")) return;
  TBusyCursor busy;
  ui->lvCVO->clear();
  ReplaceFromQuery(ui->lvCVO, "SELECT * FROM spec.cvo2 WHERE sakumotsu != '';", ColumnsUpTo(20));
  LoadCvoFamilies();
}

void TDlgSakumotsu::cbFamilyChange() {
  if (!AcisDB) return;
  const std::string family = FromQ(ui->cbFamily->currentText());
  if (family == "全て"_sj) {
    LoadCvo();
    return;
  }
  if (!AcisDB->TableExists("spec.cvo")) return;
  TBusyCursor busy;
  if (!ReplaceFromQuery(ui->lvCVO, CvoByFamilySQL(family), ColumnsUpTo(20))) ui->lvCVO->clear();
}

// ---- tree

void TDlgSakumotsu::PageChanged() {
  const bool tree = ui->pgList->currentWidget() == ui->tsBunrui;
  FbExpand->setEnabled(tree);
  FbCollapse->setEnabled(tree);
}

void TDlgSakumotsu::bExpandClick() {
  if (ui->pgList->currentWidget() == ui->tsBunrui) ExpandNodeFully(ui->tvSakumotsu, ui->tvSakumotsu->currentItem());
}

void TDlgSakumotsu::bCollapseClick() {
  if (ui->pgList->currentWidget() == ui->tsBunrui) CollapseTree(ui->tvSakumotsu);
}

TSakumotsu *TDlgSakumotsu::ItemRecord(const QTreeWidgetItem *Item) { return CropItemRecord(Item); }

bool TDlgSakumotsu::eventFilter(QObject *Watched, QEvent *Event) {
  if (Watched == ui->edtInput && Event->type() == QEvent::FocusIn) {
    SearchSakumotsu();
  } else if (Watched == ui->tvSakumotsu->viewport()) {
    if (Event->type() == QEvent::ToolTip) {
      auto *he = static_cast<QHelpEvent *>(Event);
      QTreeWidgetItem *node = ui->tvSakumotsu->itemAt(he->pos());
      if (node != FHintNode) FHintNode = node;
      ShowHintText(he, ui->tvSakumotsu->viewport(),
                   node ? CropHintText(static_cast<TSakumotsu *>(TCheckTreeView::NodeData(node))) : std::string());
      return true;
    }
    if (Event->type() == QEvent::MouseButtonPress) {
      auto *me = static_cast<QMouseEvent *>(Event);
      if (me->button() == Qt::RightButton)
        if (QTreeWidgetItem *node = ui->tvSakumotsu->itemAt(me->position().toPoint()))
          ui->tvSakumotsu->setCurrentItem(node);
    }
  }
  return QDialog::eventFilter(Watched, Event);
}

#include "ui/UfraSakumotsu.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>
#include <QSignalBlocker>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <functional>
#include <stdexcept>

#include "components/CheckTreeView.h"
#include "components/ComCtrlsXP.h"
#include "components/qtext.h"
#include "engine/SakuUtil.h"
#include "engine/TextHelpers.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/CropPicking.h"
#include "ui/ImageLists.h"
#include "ui/PickerPlacement.h"
#include "ui_UfraSakumotsu.h"

using namespace cp932::literals;

namespace {

const char *const kTreeUpperKey = "SakumotsuTreeUpperOn";
const char *const kListUpperKey = "SakumotsuListUpperOn";
const char *const kTreeAutoKey = "SakumotsuTreeAutoTekiyoView";
const char *const kListAutoKey = "SakumotsuListAutoTekiyoView";
const char *const kForwardKey = "SakumotsuForwardMatch";

class TUpdating {
 public:
  explicit TUpdating(int &n) : n_(n) { ++n_; }
  ~TUpdating() { --n_; }

 private:
  int &n_;
};

QToolButton *AddButton(QToolBar *bar, const char *name, const std::string &caption) {
  auto *b = new QToolButton(bar);
  b->setObjectName(name);
  b->setText(ToQ(caption));
  b->setAutoRaise(true);
  bar->addWidget(b);
  return b;
}

}  // namespace

TfraSakumotsuBase::TfraSakumotsuBase(QWidget *parent)
    : QFrame(parent), ui(std::make_unique<Ui::fraSakumotsuBase>()) {
  ui->setupUi(this);
  setObjectName("fraSakumotsu");

  FtbMain = AddButton(ui->tbSakuMode, "tbMain", "主作物"_sj);
  FtbKinsetsu = AddButton(ui->tbSakuMode, "tbKinsetsu", "近接作物"_sj);
  FtbTekiyo = AddButton(ui->tbSakuMode, "tbTekiyo", "適用検索"_sj);
  FtbMain->setCheckable(true);
  FtbKinsetsu->setCheckable(true);
  // The buttons show the mode; the click handlers set both after the button toggled itself.
  ui->tbSakuMode->installEventFilter(this);

  ui->tbTree->addAction(ui->actTreeExpand);
  ui->tbTree->widgetForAction(ui->actTreeExpand)->setObjectName("bExpand");
  FbCollapse = AddButton(ui->tbTree, "bCollapse", "全て折りたたむ"_sj);
  ui->tbTree->addAction(ui->actTreeCheckOff);
  ui->tbTree->addAction(ui->actCheckUpperTree);
  ui->tbTree->addAction(ui->actAutoTekiyoView);
  for (QAction *a : {ui->actForwardMatch, ui->actBroadMatch, ui->actCheckUpperList, ui->actListAutoTekiyoView,
                     ui->actSakumotsuListCheckALL, ui->actSakumotsuListCheckOff})
    ui->tbList->addAction(a);
  ui->tbList->widgetForAction(ui->actSakumotsuListCheckALL)->setObjectName("bCheckALL");
  ui->pgList->setTabVisible(ui->pgList->indexOf(ui->tsLevel), false);
  ui->cbLg->setToolTip(ToQ("大グループを選択"_sj));
  ui->cbMg->setToolTip(ToQ("中グループを選択"_sj));
  ui->cbFamily->setToolTip(ToQ("大グループ選択"_sj));

  // Settings: all on unless the file says otherwise.
  const TIniFile ini = ProgramIni();
  ui->actCheckUpperTree->setChecked(ini.ReadBool(SEC_OPTIONS, kTreeUpperKey, true));
  ui->actCheckUpperList->setChecked(ini.ReadBool(SEC_OPTIONS, kListUpperKey, true));
  ui->actAutoTekiyoView->setChecked(ini.ReadBool(SEC_OPTIONS, kTreeAutoKey, true));
  ui->actListAutoTekiyoView->setChecked(ini.ReadBool(SEC_OPTIONS, kListAutoKey, true));
  FForwardMatch = ini.ReadBool(SEC_OPTIONS, kForwardKey, true);
  ui->actForwardMatch->setChecked(FForwardMatch);
  ui->actBroadMatch->setChecked(!FForwardMatch);
  LoadColumnWidths();

  ApplyImageSize(OptionData->BtnImageSize);
  ui->tvSakumotsu->setMouseTracking(true);
  ui->tvSakumotsu->viewport()->installEventFilter(this);
  ui->tvSakumotsu->installEventFilter(this);

  // Mode: the main crop, the adjacent-crop button off until there is a main crop.
  FtbKinsetsu->setEnabled(false);
  ui->eKinsetsuSakumotsu->setEnabled(false);
  SetMode(true);

  if (!SakumotsuList) {
    SakumotsuList = new TSakumotsuList();
    FOwnsList = true;
  }

  connect(FtbMain, &QToolButton::clicked, this, &TfraSakumotsuBase::tbMainClick);
  connect(FtbKinsetsu, &QToolButton::clicked, this, &TfraSakumotsuBase::tbKinsetsuClick);
  connect(FtbTekiyo, &QToolButton::clicked, this, &TfraSakumotsuBase::OnTekiyoClick);
  connect(FbCollapse, &QToolButton::clicked, this, &TfraSakumotsuBase::bCollapseClick);
  connect(ui->eSakumotsu, &QLineEdit::textChanged, this, &TfraSakumotsuBase::eSakumotsuChange);
  connect(ui->eKinsetsuSakumotsu, &QLineEdit::textChanged, this, &TfraSakumotsuBase::eKinsetsuSakumotsuChange);
  connect(ui->edtInput, &QLineEdit::returnPressed, this, &TfraSakumotsuBase::edtInputKeyPress);
  connect(ui->bSearch, &QPushButton::clicked, this, &TfraSakumotsuBase::bSearchClick);
  connect(ui->tvSakumotsu, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *node, int) {
    // The tree inverts a check itself (a click on the box, Space); each such change
    // selects the node and collects.
    if (FUpdating) return;
    ui->tvSakumotsu->setCurrentItem(node);
    CollectTreeChecks();
  });
  connect(ui->lvSakumotsu, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item, int) {
    if (FUpdating) return;
    ui->lvSakumotsu->setCurrentItem(item);
    lvSakumotsuCheck();
  });
  connect(ui->lvBeppyo1, &QTreeWidget::itemClicked, this, &TfraSakumotsuBase::lvBeppyo1Click);
  connect(ui->lvBeppyo1, &QTreeWidget::itemDoubleClicked, this, &TfraSakumotsuBase::lvBeppyo1DblClick);
  connect(ui->lvCVO, &QTreeWidget::itemClicked, this, &TfraSakumotsuBase::lvCVOClick);
  connect(ui->lvCVO, &QTreeWidget::itemDoubleClicked, this, &TfraSakumotsuBase::lvCVODblClick);
  connect(ui->cbLg, &QComboBox::currentIndexChanged, this, &TfraSakumotsuBase::cbLgChange);
  connect(ui->cbMg, &QComboBox::currentIndexChanged, this, &TfraSakumotsuBase::cbMgChange);
  // The user's pick, also of the item already shown: "全て" is current once the list is filled.
  connect(ui->cbFamily, &QComboBox::activated, this, &TfraSakumotsuBase::cbFamilyChange);
  connect(ui->actTreeExpand, &QAction::triggered, this, &TfraSakumotsuBase::actTreeExpandExecute);
  connect(ui->actTreeCheckOff, &QAction::triggered, this, &TfraSakumotsuBase::actTreeCheckOffExecute);
  connect(ui->actSakumotsuListCheckALL, &QAction::triggered, this,
          &TfraSakumotsuBase::actSakumotsuListCheckALLExecute);
  connect(ui->actSakumotsuListCheckOff, &QAction::triggered, this,
          &TfraSakumotsuBase::actSakumotsuListCheckOffExecute);
  connect(ui->actForwardMatch, &QAction::triggered, this, &TfraSakumotsuBase::actForwardMatchExecute);
  connect(ui->actBroadMatch, &QAction::triggered, this, &TfraSakumotsuBase::actBroadMatchExecute);
  connect(ui->actCheckUpperTree, &QAction::triggered, this, &TfraSakumotsuBase::actCheckUpperTreeExecute);
  connect(ui->actCheckUpperList, &QAction::triggered, this, &TfraSakumotsuBase::actCheckUpperListExecute);

  ui->lvSakumotsu->header()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ui->lvSakumotsu->header(), &QHeaderView::customContextMenuRequested, this, [this](const QPoint &pos) {
    lvSakumotsuColumnRightClick(ui->lvSakumotsu->header()->logicalIndexAt(pos));
  });
  SetListInfoTip(ui->lvSakumotsu, [this](QTreeWidgetItem *item) { return lvSakumotsuInfoTip(item); });
  SetListInfoTip(ui->lvBeppyo1, [](QTreeWidgetItem *item) { return RowHint(item, &Beppyo1HintText); });
  SetListInfoTip(ui->lvCVO, [](QTreeWidgetItem *item) { return RowHint(item, &CvoHintText); });
}

TfraSakumotsuBase::~TfraSakumotsuBase() {
  TIniFile ini = ProgramIni();
  ini.WriteBool(SEC_OPTIONS, kTreeUpperKey, ui->actCheckUpperTree->isChecked());
  ini.WriteBool(SEC_OPTIONS, kListUpperKey, ui->actCheckUpperList->isChecked());
  ini.WriteBool(SEC_OPTIONS, kTreeAutoKey, ui->actAutoTekiyoView->isChecked());
  ini.WriteBool(SEC_OPTIONS, kListAutoKey, ui->actListAutoTekiyoView->isChecked());
  ini.WriteBool(SEC_OPTIONS, kForwardKey, FForwardMatch);
  SaveColumnWidths();
  // The tree's nodes point at the list's records: they go first.
  const QSignalBlocker quiet(ui->tvSakumotsu);
  ui->tvSakumotsu->clear();
  FreeSearchRecords();
  ui->lvBeppyo1->clear();
  ui->lvCVO->clear();
  if (FOwnsList) {
    delete SakumotsuList;
    SakumotsuList = nullptr;
  }
}

void TfraSakumotsuBase::ApplyImageSize(int BtnImageSize) {
  const int size = ImageListSize(BtnImageSize);
  if (size == 0) return;
  for (QToolBar *bar : {ui->tbTree, ui->tbList}) {
    bar->setIconSize(QSize(size, size));
    // The bars are narrow: images, with the captions as hints.
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  }
  for (QAction *a : {ui->actCheckUpperTree, ui->actCheckUpperList, ui->actAutoTekiyoView, ui->actListAutoTekiyoView,
                     ui->actForwardMatch, ui->actBroadMatch, ui->actTreeExpand, ui->actTreeCheckOff,
                     ui->actSakumotsuListCheckALL, ui->actSakumotsuListCheckOff})
    a->setIcon(ActionIcon(a->objectName()));
  FbCollapse->setIcon(ActionIcon("bCollapse"));
  FbCollapse->setToolTip(FbCollapse->text());
  FbCollapse->setToolButtonStyle(Qt::ToolButtonIconOnly);
  FbCollapse->setIconSize(QSize(size, size));
  const int tree = TreeImageSize(BtnImageSize);
  ui->tvSakumotsu->SetImages(CropTreeImages(tree));
  ui->tvSakumotsu->setIconSize(QSize(tree, tree));
  ui->tvSakumotsu->setIndentation(OptionData->SakumotsuTreeIndent);
  static const int kButtonHeights[] = {24, 30, 38, 54};
  for (const char *name : {"bExpand", "bCheckALL"})
    if (auto *b = findChild<QToolButton *>(name)) b->setFixedHeight(kButtonHeights[BtnImageSize]);
}

QLineEdit *TfraSakumotsuBase::TargetEdit() const {
  return FMainMode ? ui->eSakumotsu : ui->eKinsetsuSakumotsu;
}

void TfraSakumotsuBase::Log(const std::string &Line) const {
  if (FLogMemo) FLogMemo->AddLine(Line);
}

void TfraSakumotsuBase::SetTarget(const std::string &Text, const std::string &UpperOnly) {
  (FMainMode ? FSakumotsuUpperOnly : FKinsetsuSakumotsuUpperOnly) = UpperOnlyIn(UpperOnly, Text);
  TargetEdit()->setText(ToQ(Text));
}

// ---- fills

void TfraSakumotsuBase::FillTree() {
  if (!SakumotsuList) return;
  TUpdating busy(FUpdating);
  FHintNode = nullptr;
  SakumotsuList->FillTree(ui->tvSakumotsu);
  GreyUnregisteredNodes(ui->tvSakumotsu, 4, ui->tvSakumotsu->palette().color(QPalette::HighlightedText));
}

void TfraSakumotsuBase::LoadBeppyo1() {
  if (!AcisDB || !AcisDB->TableExists("spec.tekiyosakumotsu")) return;
  ReplaceFromQuery(ui->lvBeppyo1, "SELECT * FROM spec.tekiyosakumotsu", {2, 3, 4, 5, 6, 8, 9});
  if (AcisDB->TableExists("spec.beppyo1n")) FillAllCombo(ui->cbLg, "SELECT DISTINCT lg FROM spec.beppyo1n");
}

void TfraSakumotsuBase::LoadCvoFamilies() {
  if (!AcisDB || !AcisDB->TableExists("spec.cvo")) return;
  FillAllCombo(ui->cbFamily, "SELECT DISTINCT family FROM spec.cvo WHERE sakumotsu != '' ORDER BY family;");
}


void TfraSakumotsuBase::LoadCvo() {
  if (!AcisDB || !AcisDB->TableExists("spec.cvo")) return;
  TBusyCursor busy;
  if (ReplaceFromQuery(ui->lvCVO, "SELECT * FROM spec.cvo WHERE sakumotsu != '';", ColumnsUpTo(20)))
    LoadCvoFamilies();
}

void TfraSakumotsuBase::LoadColumnWidths() {
  const TIniFile ini = ProgramIni();
  ReadColumnWidths(ui->lvSakumotsu, ini, "LvSakumotsuColumns", {80, 80, 100});
  ReadColumnWidths(ui->lvBeppyo1, ini, "LvBeppyo1Columns", {50, 50, 50, 100, 100, 50, 50});
  ReadColumnWidths(ui->lvCVO, ini, "LvCVOColumns", std::vector<int>(21, 50));
}

void TfraSakumotsuBase::SaveColumnWidths() {
  TIniFile ini = ProgramIni();
  WriteColumnWidths(ui->lvSakumotsu, ini, "LvSakumotsuColumns");
  WriteColumnWidths(ui->lvBeppyo1, ini, "LvBeppyo1Columns");
  WriteColumnWidths(ui->lvCVO, ini, "LvCVOColumns");
}

// ---- name search

void TfraSakumotsuBase::SearchSakumotsu() {
  const std::string input = FromQ(ui->edtInput->text());
  if (!AcisDB || input.empty()) return;
  const std::string term = CropSearchTerm(input);
  const std::string sql = CropNameSearchSQL(term, FForwardMatch);
  if (DebugMode) {
    Log("TfraSakumotsuBase.SearchSakumotsu");
    Log("edtInput.Text -> " + input);
    Log("SearchStrSakumotsu -> " + term);
  }
  Log(sql);
  ShowSearchResult(sql);
}

void TfraSakumotsuBase::FreeSearchRecords() {
  const QSignalBlocker quiet(ui->lvSakumotsu);
  ui->lvSakumotsu->clear();
  FSearchRecords.clear();
}

TSakumotsu *TfraSakumotsuBase::ItemRecord(const QTreeWidgetItem *Item) { return CropItemRecord(Item); }

void TfraSakumotsuBase::ShowSearchResult(const std::string &SQL) {
  TBusyCursor busy;
  TUpdating updating(FUpdating);
  FreeSearchRecords();
  if (!AcisDB || !AcisDB->ExecQuery(SQL)) return;
  AddCropSearchItems(ui->lvSakumotsu, FSearchRecords);
}

void TfraSakumotsuBase::edtInputKeyPress() {
  const std::string input = FromQ(ui->edtInput->text());
  if (input.empty()) return;
  SearchSakumotsu();
  const std::string key = ToKatakana(input);
  QTreeWidgetItem *last = nullptr;
  {
    TUpdating updating(FUpdating);
    for (int i = 0; i < ui->lvSakumotsu->topLevelItemCount(); ++i) {
      QTreeWidgetItem *item = ui->lvSakumotsu->topLevelItem(i);
      const TSakumotsu *rec = ItemRecord(item);
      const bool hit = rec && ToKatakana(rec->sakumotsu) == key;
      item->setCheckState(0, hit ? Qt::Checked : Qt::Unchecked);
      if (hit) last = item;
    }
    ui->lvSakumotsu->setCurrentItem(last);
  }
  lvSakumotsuCheck();
  if (last) ui->lvSakumotsu->setFocus();
}

void TfraSakumotsuBase::bSearchClick() { edtInputKeyPress(); }

// ---- collecting the picks

void TfraSakumotsuBase::CollectTreeChecks() {
  if (!AcisDB) return;
  TUpdating updating(FUpdating);
  SetTarget(std::string());
  const bool upper = ui->actCheckUpperTree->isChecked();
  std::vector<std::pair<std::string, TSakumotsu *>> names;
  for (QTreeWidgetItem *node : ui->tvSakumotsu->AllNodes()) {
    auto *rec = static_cast<TSakumotsu *>(TCheckTreeView::NodeData(node));
    if (rec && rec->toroku == 0) ui->tvSakumotsu->SetNodeChecked(node, false);
    if (ui->tvSakumotsu->GetChecked(node)) names.emplace_back(TCheckTreeView::Caption(node), rec);
  }
  TCropPicks picks;
  for (const auto &n : names) picks.Pick(n.first);
  for (const auto &[name, rec] : names) {
    const int status = rec ? rec->toroku : -1;
    if (DebugMode) {
      Log(upper ? "上位分類一括検索"_sj : "指定作物のみ検索"_sj);
      Log(std::to_string(status));
      Log(IsRakuyokaju(rec) ? "IsRakuyokaju -> true" : "IsRakuyokaju -> false");
    }
    if (!upper && status != 2) continue;
    picks.AddUpper(name, AcisDB->UpperGroup(name));
    if (DebugMode) Log("flgUpper==> tmpsk -> " + picks.Collected());
  }
  if (DebugMode) Log("tmpsk -> " + picks.Collected());
  FTreeSelection = picks.Text();
  SetTarget(FTreeSelection, picks.UpperOnly());
}

void TfraSakumotsuBase::lvSakumotsuCheck() {
  if (!AcisDB) return;
  TUpdating updating(FUpdating);
  SetTarget(std::string());
  if (DebugMode) Log("上位グループ検索開始-----"_sj);
  std::function<void(const std::string &)> trace;
  if (DebugMode) trace = [this](const std::string &text) { Log("tmpsk -> " + text); };
  std::string upperOnly;
  const std::string text = CheckedCropsText(ui->lvSakumotsu, ui->actCheckUpperList->isChecked(),
                                            [](const TSakumotsu &crop) { return crop.sakumotsu; }, trace, &upperOnly);
  SetTarget(text, upperOnly);
}

// ---- crop-group and CVO tables

void TfraSakumotsuBase::cbLgChange() {
  Beppyo1LgChange(ui->lvBeppyo1, ui->cbLg, ui->cbMg, [this] { LoadBeppyo1(); });
}

void TfraSakumotsuBase::cbMgChange() { Beppyo1MgChange(ui->lvBeppyo1, ui->cbLg, ui->cbMg); }

void TfraSakumotsuBase::lvBeppyo1Click() {
  QTreeWidgetItem *row = ui->lvBeppyo1->currentItem();
  SetTarget(row ? FromQ(row->text(3)) : std::string());
}

void TfraSakumotsuBase::lvBeppyo1DblClick() {
  QTreeWidgetItem *row = ui->lvBeppyo1->currentItem();
  const std::string name = row ? FromQ(row->text(3)) : std::string();
  if (!name.empty() && ui->tbUpperB->isChecked() && AcisDB) {
    TCropPicks picks;
    picks.AddUpper(name, AcisDB->UpperGroup(name));
    SetTarget(picks.Text(), picks.UpperOnly());
  } else {
    SetTarget(name);
  }
  emit OnBeppyo1DblClick();
}

void TfraSakumotsuBase::cbFamilyChange() {
  if (!AcisDB || !AcisDB->TableExists("spec.cvo")) return;
  const std::string family = FromQ(ui->cbFamily->currentText());
  if (family == "全て"_sj) {
    ui->lvCVO->clear();
    LoadCvo();
    return;
  }
  TBusyCursor busy;
  ReplaceFromQuery(ui->lvCVO, CvoByFamilySQL(family), ColumnsUpTo(20));
}

void TfraSakumotsuBase::lvCVOClick() {
  QTreeWidgetItem *row = ui->lvCVO->currentItem();
  SetTarget(row ? ReplaceAllText(FromQ(row->text(12)), "|", ",") : std::string());
}

void TfraSakumotsuBase::lvCVODblClick() {
  lvCVOClick();
  emit OnCVODblClick();
}

// ---- tree

void TfraSakumotsuBase::UncheckTree() {
  TUpdating updating(FUpdating);
  for (QTreeWidgetItem *node : ui->tvSakumotsu->AllNodes()) ui->tvSakumotsu->SetNodeChecked(node, false);
}

void TfraSakumotsuBase::actTreeExpandExecute() {
  ExpandNodeFully(ui->tvSakumotsu, ui->tvSakumotsu->currentItem());
}

void TfraSakumotsuBase::bCollapseClick() { CollapseTree(ui->tvSakumotsu); }

void TfraSakumotsuBase::actTreeCheckOffExecute() {
  UncheckTree();
  SetTarget(std::string());
}

std::string TfraSakumotsuBase::tvSakumotsuHint(const QPoint &Pos, bool RightButton) {
  QTreeWidgetItem *node = ui->tvSakumotsu->itemAt(Pos);
  const THitTests hit = ui->tvSakumotsu->GetHitTestInfoAt(Pos);
  if (!node || !(hit & (htOnIcon | htOnLabel | htOnStateIcon))) {
    FHintNode = nullptr;
    return std::string();
  }
  FHintNode = node;
  try {
    auto *rec = static_cast<TSakumotsu *>(TCheckTreeView::NodeData(node));
    return RightButton ? CropHintTextDebug(rec) : CropHintText(rec);
  } catch (...) {
    return "Hint Error..";
  }
}

std::string TfraSakumotsuBase::lvSakumotsuInfoTip(QTreeWidgetItem *Item) const {
  return CropHintText(ItemRecord(Item));
}

// ---- list

void TfraSakumotsuBase::lvSakumotsuColumnRightClick(int Column) {
  if (DebugMode && Column >= 0)
    Log("lvSakumotsu.Columns[" + std::to_string(Column) + "].Width -> " +
        std::to_string(ui->lvSakumotsu->columnWidth(Column)));
}

void TfraSakumotsuBase::SetAllListChecks(bool On) {
  if (ui->lvSakumotsu->topLevelItemCount() == 0) return;
  {
    TUpdating updating(FUpdating);
    for (int i = 0; i < ui->lvSakumotsu->topLevelItemCount(); ++i)
      ui->lvSakumotsu->topLevelItem(i)->setCheckState(0, On ? Qt::Checked : Qt::Unchecked);
  }
  lvSakumotsuCheck();
}

void TfraSakumotsuBase::actSakumotsuListCheckALLExecute() { SetAllListChecks(true); }

void TfraSakumotsuBase::actSakumotsuListCheckOffExecute() { SetAllListChecks(false); }

void TfraSakumotsuBase::actForwardMatchExecute() {
  ui->actBroadMatch->setChecked(!ui->actForwardMatch->isChecked());
  FForwardMatch = ui->actForwardMatch->isChecked();
  SearchSakumotsu();
}

void TfraSakumotsuBase::actBroadMatchExecute() {
  ui->actForwardMatch->setChecked(!ui->actBroadMatch->isChecked());
  FForwardMatch = ui->actForwardMatch->isChecked();
  SearchSakumotsu();
}

void TfraSakumotsuBase::actCheckUpperTreeExecute() { CollectTreeChecks(); }

void TfraSakumotsuBase::actCheckUpperListExecute() { bSearchClick(); }

// ---- mode and edits

void TfraSakumotsuBase::SetMode(bool Main) {
  FMainMode = Main;
  FtbMain->setChecked(Main);
  FtbKinsetsu->setChecked(!Main);
  const QColor window = palette().color(QPalette::Base);
  const QColor face = palette().color(QPalette::Button);
  for (QLineEdit *e : {ui->eSakumotsu, ui->eKinsetsuSakumotsu}) {
    QPalette p = e->palette();
    p.setColor(QPalette::Base, e == TargetEdit() ? window : face);
    e->setPalette(p);
  }
}

void TfraSakumotsuBase::tbMainClick() {
  UncheckTree();
  SetTarget(std::string());
  SetMode(true);
}

void TfraSakumotsuBase::tbKinsetsuClick() {
  SetMode(false);
  UncheckTree();
  SetTarget(std::string());
}

void TfraSakumotsuBase::tbSakuModeResize() {
  const int w = ui->tbSakuMode->width();
  const char *const *captions;
  static const char *const kNarrow[] = {"作.", "近.", "適用"};
  static const char *const kMiddle[] = {"作物.", "近接.", "適用"};
  static const char *const kWide[] = {"主作物", "近接作物", "適用検索"};
  captions = w < 180 ? kNarrow : w <= 234 ? kMiddle : kWide;
  FtbMain->setText(QString::fromUtf8(captions[0]));
  FtbKinsetsu->setText(QString::fromUtf8(captions[1]));
  FtbTekiyo->setText(QString::fromUtf8(captions[2]));
}

void TfraSakumotsuBase::eSakumotsuChange() {
  const std::string text = FromQ(ui->eSakumotsu->text());
  if (text.empty()) ui->eKinsetsuSakumotsu->clear();
  FtbKinsetsu->setEnabled(!text.empty());
  ui->eKinsetsuSakumotsu->setEnabled(!text.empty());
  FSakumotsu = text;
  FSakumotsuUpperOnly = UpperOnlyIn(FSakumotsuUpperOnly, text);
  ui->eSakumotsu->setToolTip(ToQ(text));
  emit OnSakumotsuChange();
}

void TfraSakumotsuBase::eKinsetsuSakumotsuChange() {
  FKinsetsuSakumotsu = FromQ(ui->eKinsetsuSakumotsu->text());
  FKinsetsuSakumotsuUpperOnly = UpperOnlyIn(FKinsetsuSakumotsuUpperOnly, FKinsetsuSakumotsu);
  ui->eKinsetsuSakumotsu->setToolTip(ToQ(FKinsetsuSakumotsu));
  emit OnKinsetsuSakumotsuChange();
}

bool TfraSakumotsuBase::eventFilter(QObject *Watched, QEvent *Event) {
  if (Watched == ui->tbSakuMode && Event->type() == QEvent::Resize) {
    tbSakuModeResize();
  } else if (Watched == ui->tvSakumotsu->viewport()) {
    if (Event->type() == QEvent::ToolTip) {
      auto *he = static_cast<QHelpEvent *>(Event);
      ShowHintText(he, ui->tvSakumotsu->viewport(),
                   tvSakumotsuHint(he->pos(), QApplication::mouseButtons() & Qt::RightButton));
      return true;
    }
    if (Event->type() == QEvent::MouseMove) {
      // Moving onto another node cancels the pending hint.
      auto *me = static_cast<QMouseEvent *>(Event);
      if (FHintNode && ui->tvSakumotsu->itemAt(me->position().toPoint()) != FHintNode) {
        FHintNode = nullptr;
        QToolTip::hideText();
      }
    }
  } else if (Watched == ui->tvSakumotsu && Event->type() == QEvent::KeyPress) {
    emit OnTreeKeyPress(static_cast<QKeyEvent *>(Event)->key());
  }
  return QFrame::eventFilter(Watched, Event);
}

#include "ui/UByogaiSelect.h"

#include <QEvent>
#include <QLineEdit>
#include <QToolButton>

#include "components/CheckListBoxEx.h"
#include "components/qtext.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/PickerPlacement.h"
#include "ui_UByogaiSelect.h"

using namespace cp932::literals;

namespace {

const char *const kWidthKey = "DlgByogaiWidth";
const char *const kHeightKey = "DlgByogaiHeight";
const char *const kGroupHeightKey = "DlgByogaiListGroupHeight";
const char *const kZassouGroupHeightKey = "DlgByogaiListZassouGroupHeight";

}  // namespace

TDlgByogai::TDlgByogai(QWidget *owner) : QDialog(owner, Qt::Tool), ui(std::make_unique<Ui::DlgByogai>()) {
  ui->setupUi(this);
  setSizeGripEnabled(false);

  auto *tbtnAdd = new QToolButton(ui->ToolBar);
  tbtnAdd->setObjectName("tbtnAdd");
  tbtnAdd->setDefaultAction(ui->actAdd);
  auto *tbtnReplace = new QToolButton(ui->ToolBar);
  tbtnReplace->setObjectName("tbtnReplace");
  tbtnReplace->setDefaultAction(ui->actReplace);
  auto *tbtnClose = new QToolButton(ui->ToolBar);
  tbtnClose->setObjectName("tbtnClose");
  tbtnClose->setText(ToQ("閉じる"_sj));
  for (QToolButton *b : {tbtnAdd, tbtnReplace, tbtnClose}) {
    b->setAutoRaise(true);
    ui->ToolBar->addWidget(b);
  }
  connect(ui->actAdd, &QAction::triggered, this, &TDlgByogai::actAddExecute);
  connect(ui->actReplace, &QAction::triggered, this, &TDlgByogai::actReplaceExecute);
  connect(tbtnClose, &QToolButton::clicked, this, &TDlgByogai::tbtnCloseClick);

  for (TCheckListBoxEx *list : {ui->lstByogai, ui->lstGaichu, ui->lstZassou, ui->lstChoju, ui->lstMokuteki,
                                ui->lstByomei})
    connect(list, &QListWidget::itemChanged, this, [this, list] { CheckListClickCheck(list); });

  const std::string gaichuSql =
      "SELECT byochu FROM byochu WHERE cid IN (select cid from cbyochu where cname = '害虫');"_sj;
  const std::string zassouSql =
      "SELECT byochu FROM byochu WHERE cid IN (select cid from cbyochu where cname = '雑草');"_sj;
  connect(ui->lstGaichuGroup, &QListWidget::itemChanged, this,
          [this, gaichuSql] { GroupClickCheck(ui->lstGaichuGroup, ui->lstGaichu, 2, gaichuSql); });
  connect(ui->lstZassouGroup, &QListWidget::itemChanged, this,
          [this, zassouSql] { GroupClickCheck(ui->lstZassouGroup, ui->lstZassou, 3, zassouSql); });

  connect(ui->bSearch, &QPushButton::clicked, this, &TDlgByogai::bSearchClick);
  for (QRadioButton *rb : {ui->rbPrefix, ui->rbBubun, ui->rbSuffix})
    connect(rb, &QRadioButton::clicked, this, &TDlgByogai::bSearchClick);
  connect(ui->cboCID, &QComboBox::currentIndexChanged, this, &TDlgByogai::bSearchClick);
  ui->eSearchStr->installEventFilter(this);
  OnEnterKey(ui->eSearchStr, [this] { bSearchClick(); });

  // Creation: sizes, then the lists in the order of the pages.
  ReadWindowSize(this, kWidthKey, kHeightKey);
  {
    TIniFile ini = ProgramIni();
    ui->lstGaichuGroup->setFixedHeight(
        std::max(0, ini.ReadInteger(SEC_WINDOW, kGroupHeightKey, ui->lstGaichuGroup->height())));
    ui->lstZassouGroup->setFixedHeight(
        std::max(0, ini.ReadInteger(SEC_WINDOW, kZassouGroupHeightKey, ui->lstZassouGroup->height())));
  }
  if (AcisDB) {
    {
      QSignalBlocker quiet(ui->cboCID);
      ui->cboCID->addItem(QString());
    }
    FillCombo(*ui->cboCID, "select cname from cbyochu");
    FillCheckList(*ui->lstByogai,
                  "SELECT byochu FROM byochu WHERE cid IN (select cid from cbyochu where cname = '病害');"_sj);
    {
      QSignalBlocker quiet(ui->lstGaichuGroup);
      ui->lstGaichuGroup->AddItem("全て"_sj);
    }
    FillCheckList(*ui->lstGaichuGroup, "SELECT gname FROM gbyochu WHERE cid = 2;");
    FillCheckList(*ui->lstGaichu, gaichuSql);
    FillCheckList(*ui->lstChoju,
                  "SELECT byochu FROM m_byochu WHERE cid IN (select cid from cbyochu where cname = '鳥獣');"_sj);
    {
      QSignalBlocker quiet(ui->lstZassouGroup);
      ui->lstZassouGroup->AddItem("全て"_sj);
    }
    FillCheckList(*ui->lstZassouGroup, "SELECT gname FROM gbyochu WHERE cid = 3;");
    FillCheckList(*ui->lstZassou, zassouSql);
    FillCheckList(*ui->lstMokuteki,
                  "select byochu from m_byochu where cid in (select cid from cbyochu where cname in ('その他', "
                  "'使用目的'));"_sj);
  }
  ui->PageControl->setCurrentIndex(0);
  ui->actAdd->setEnabled(false);
  ui->actReplace->setEnabled(false);
  ui->rbBubun->setChecked(true);
  TakeMainFormFont(this);
}

TDlgByogai::~TDlgByogai() = default;

void TDlgByogai::done(int result) {
  WriteWindowSize(this, kWidthKey, kHeightKey);
  TIniFile ini = ProgramIni();
  ini.WriteInteger(SEC_WINDOW, kGroupHeightKey, ui->lstGaichuGroup->height());
  ini.WriteInteger(SEC_WINDOW, kZassouGroupHeightKey, ui->lstZassouGroup->height());
  QDialog::done(result);
}

void TDlgByogai::actAddExecute() {
  const std::string name = FromQ(ui->eName->text());
  if (name.empty() || !FTarget) return;
  const std::string current = FromQ(FTarget->text());
  FTarget->setText(ToQ(current.empty() ? name : current + "," + name));
}

void TDlgByogai::actReplaceExecute() {
  const QString name = ui->eName->text();
  if (name.isEmpty() || !FTarget) return;
  FTarget->setText(name);
}

void TDlgByogai::tbtnCloseClick() { reject(); }

void TDlgByogai::CheckListClickCheck(TCheckListBoxEx *list) {
  ui->eName->setText(ToQ(JoinItems(CheckedItems(*list), ",")));
  const bool any = list->CheckCount() > 0;
  ui->actAdd->setEnabled(any);
  ui->actReplace->setEnabled(any);
}

void TDlgByogai::GroupClickCheck(TCheckListBoxEx *groups, TCheckListBoxEx *items, int cid,
                                 const std::string &allSql) {
  {
    QSignalBlocker quiet(items);
    items->Clear();
  }
  if (groups->CheckCount() == 0) return;
  if (groups->Checked(0)) {
    FillCheckList(*items, allSql);
    return;
  }
  FillCheckList(*items, "SELECT byochu FROM byochu WHERE gid IN(SELECT gid FROM gbyochu WHERE gname IN(" +
                            QuotedCheckedItems(*groups) +
                            ")) and cid = " + std::to_string(cid) + ";");
}

void TDlgByogai::bSearchClick() {
  const std::string word = FromQ(ui->eSearchStr->text());
  if (word.empty() || !AcisDB) return;
  TBusyCursor busy;
  {
    QSignalBlocker quiet(ui->lstByomei);
    ui->lstByomei->Clear();
  }
  const std::string category = FromQ(ui->cboCID->currentText());
  std::string cond;
  if (!category.empty())
    cond = " cid IN (select cid from cbyochu where cname = " + SqlQuoted(category) + ") AND ";
  std::string pattern = word;
  if (ui->rbPrefix->isChecked())
    pattern = word + "%";
  else if (ui->rbSuffix->isChecked())
    pattern = "%" + word;
  else
    pattern = "%" + word + "%";
  const std::string sql =
      "SELECT byochu FROM m_byochu WHERE " + cond + " concat('、',byochu,betsumei) MATCH "_sj + SqlQuoted(pattern);
  AcisDB->Log(sql);
  FillCheckList(*ui->lstByomei, sql);
}


bool TDlgByogai::eventFilter(QObject *watched, QEvent *event) {
  if (watched == ui->eSearchStr) {
    switch (event->type()) {
      case QEvent::FocusIn:
        ui->bSearch->setDefault(true);
        break;
      case QEvent::FocusOut:
        ui->bSearch->setDefault(false);
        break;
      case QEvent::MouseButtonPress:
        bSearchClick();
        break;
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

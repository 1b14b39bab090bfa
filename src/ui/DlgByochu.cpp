#include "ui/DlgByochu.h"

#include <algorithm>

#include "components/CheckListBoxEx.h"
#include "components/qtext.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/acdb_clauses.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "ui/PickerPlacement.h"
#include "ui_DlgByochu.h"

using namespace cp932::literals;

std::string StripParenSuffix(const std::string &name) {
  // "(" is never a trail byte, so a byte search finds only the character.
  return name.substr(0, name.find('('));
}

TfrmByochu::TfrmByochu(QWidget *owner) : QDialog(owner, Qt::Tool), ui(std::make_unique<Ui::frmByochu>()) {
  ui->setupUi(this);
  connect(ui->btnAdd, &QPushButton::clicked, this, &TfrmByochu::btnAddClick);
  connect(ui->btnReplace, &QPushButton::clicked, this, &TfrmByochu::btnReplaceClick);
  connect(ui->btnCancel, &QPushButton::clicked, this, &TfrmByochu::btnCancelClick);
  connect(ui->lstSakumotsu, &QListWidget::itemChanged, this, &TfrmByochu::SearchByochu);
  connect(ui->cboCID, &QComboBox::currentIndexChanged, this, &TfrmByochu::SearchByochu);
  connect(ui->cbOrder, &QComboBox::currentIndexChanged, this, &TfrmByochu::SearchByochu);
  connect(ui->ckAll, &QCheckBox::clicked, this, &TfrmByochu::ckAllClick);
  connect(ui->ckKakko, &QCheckBox::clicked, this, [this](bool on) {
    if (on)
      DropParenVariants();
    else
      SearchByochu();
  });
  OnEnterKey(ui->edtInput, [this] { SearchSakumotsu(); });

  if (AcisDB && AcisDB->ExecQuery("select cname from cbyochu", true)) {
    QSignalBlocker quiet(ui->cboCID);
    ui->cboCID->clear();
    ui->cboCID->addItem(QString());
    for (TSQLiteTbl *t = AcisDB->Query(); !t->Eof(); t->Next()) ui->cboCID->addItem(ToQ(t->FieldAsString(0)));
  }
  {
    QSignalBlocker quiet(ui->cbOrder);
    ui->cbOrder->setCurrentIndex(0);
  }
  TakeMainFormFont(this);
  ui->pnlFilter->setFixedHeight(ui->cboCID->sizeHint().height() + 2);
}

TfrmByochu::~TfrmByochu() = default;

std::string TfrmByochu::GetSelection() const {
  std::vector<std::string> names;
  for (const std::string &name : FPicked)
    names.push_back(ReplaceAllText(ReplaceAllText(name, "(", "（"_sj), ")", "）"_sj));
  return JoinCommaText(names);
}

void TfrmByochu::SearchSakumotsu() {
  const std::string text = FromQ(ui->edtInput->text());
  if (text.empty()) return;
  TBusyCursor busy;
  const std::string word = ReplaceAllText(ReplaceAllText(NormalizeCropList(text), "\\(", "("), "\\)", ")");
  {
    QSignalBlocker quiet(ui->lstSakumotsu);
    ui->lstSakumotsu->Clear();
  }
  FillSakumotsuList("SELECT sakumotsu FROM vg_sakumotsu WHERE " + CropRegexpCond(word) + ";");
}

void TfrmByochu::FillSakumotsuList(const std::string &sql) { FillCheckList(*ui->lstSakumotsu, sql); }

void TfrmByochu::SearchByochu() {
  if (ui->lstSakumotsu->CheckCount() == 0) {
    QSignalBlocker quiet(ui->lstByochu);
    ui->lstByochu->Clear();
    return;
  }
  const std::string category = FromQ(ui->cboCID->currentText());
  std::string sql = "SELECT byochu FROM m_byochu WHERE ";
  if (!category.empty()) sql += " cid IN (select cid from cbyochu where cname = " + SqlQuoted(category) + ") AND ";
  sql += "byochu IN(SELECT DISTINCT byochu FROM tekiyo WHERE sakumotsu IN(SELECT sakumotsu FROM m_sakumotsu "
         "WHERE sakumotsu IN(" +
         QuotedCheckedItems(*ui->lstSakumotsu) + "))) ORDER BY " +
         (ui->cbOrder->currentIndex() == 1 ? "idbyochu" : "betsumei");
  if (DebugMode && AcisDB) {
    AcisDB->Log("TfrmByochu.SearchByochu");
    AcisDB->Log("SQL> " + sql);
  }
  FillByochuList(sql);
}

void TfrmByochu::FillByochuList(const std::string &sql) {
  if (FillCheckList(*ui->lstByochu, sql, true)) ui->ckAll->setEnabled(true);
}

void TfrmByochu::DropParenVariants() {
  if (ui->lstByochu->Count() == 0) return;
  std::vector<std::string> names;
  for (int i = 0; i < ui->lstByochu->Count(); ++i) {
    const std::string name = StripParenSuffix(ui->lstByochu->Item(i));
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  QSignalBlocker quiet(ui->lstByochu);
  ui->lstByochu->Clear();
  for (const std::string &name : names) ui->lstByochu->AddItem(name);
}

void TfrmByochu::ckAllClick() {
  SetAllChecked(*ui->lstByochu, ui->ckAll->isChecked());
}

void TfrmByochu::PickCheckedPests() { FPicked = CheckedItems(*ui->lstByochu); }

void TfrmByochu::btnAddClick() {
  PickCheckedPests();
  const std::string selection = GetSelection();
  if (!Target || selection.empty()) return;
  const std::string current = FromQ(Target->text());
  Target->setText(ToQ(current.empty() ? selection : current + "," + selection));
}

void TfrmByochu::btnReplaceClick() {
  if (!Target) return;
  PickCheckedPests();
  const std::string selection = GetSelection();
  if (!selection.empty()) Target->setText(ToQ(selection));
}

void TfrmByochu::btnCancelClick() { reject(); }

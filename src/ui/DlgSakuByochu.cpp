#include "ui/DlgSakuByochu.h"

#include <algorithm>

#include "components/CheckListBoxEx.h"
#include "components/qtext.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/acdb_clauses.h"
#include "platform/cp932.h"
#include "ui/PickerPlacement.h"
#include "ui_DlgSakuByochu.h"

using namespace cp932::literals;

// ---------------------------------------------------------------- picker

namespace {

// The category codes of the five pest categories (the sort command's own table).
std::string CategoryCode(const std::string &name) {
  static const std::pair<std::string, std::string> kCodes[] = {
      {"病害"_sj, "1"}, {"害虫"_sj, "2"}, {"雑草"_sj, "3"}, {"鳥獣"_sj, "4"}, {"その他"_sj, "5"}};
  for (const auto &[n, code] : kCodes)
    if (n == name) return code;
  return {};
}

}  // namespace

TfrmSakuByochu::TfrmSakuByochu(QWidget *owner)
    : QDialog(owner, Qt::Tool), ui(std::make_unique<Ui::frmSakuByochu>()) {
  ui->setupUi(this);
  connect(ui->btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(ui->ckAll, &QCheckBox::clicked, this, &TfrmSakuByochu::ckAllClick);
  connect(ui->cboCID, &QComboBox::currentIndexChanged, this, &TfrmSakuByochu::cboCIDChange);
  connect(ui->cboSort, &QComboBox::currentIndexChanged, this, &TfrmSakuByochu::cboSortChange);
  connect(ui->lstSakumotu, &QListWidget::itemChanged, this, &TfrmSakuByochu::LoadByochuOfCheckedSakumotsu);
  OnEnterKey(ui->edtInput, [this] { SearchSakumotsu(); });
  TakeMainFormFont(this);
}

TfrmSakuByochu::~TfrmSakuByochu() = default;

void TfrmSakuByochu::done(int result) {
  const std::vector<std::string> checked = CheckedItems(*ui->lstByochu);
  FSelection.insert(FSelection.end(), checked.begin(), checked.end());
  QDialog::done(result);
}

std::string TfrmSakuByochu::GetSelectedByochu() const { return JoinCommaText(FSelection); }

void TfrmSakuByochu::ckAllClick() {
  SetAllChecked(*ui->lstByochu, ui->ckAll->isChecked());
}

std::string TfrmSakuByochu::OrderEnding() const {
  return ui->cboSort->currentIndex() == 1 ? ") order by betsumei;" : ") order by idbyochu;";
}

void TfrmSakuByochu::cboCIDChange() {
  if (ui->cboCID->currentIndex() <= 0) {
    QSignalBlocker quiet(ui->lstByochu);
    ui->lstByochu->Clear();
    for (const std::string &name : SplitDelimitedText(ByochuList))
      if (!name.empty()) ui->lstByochu->AddItem(name);
    return;
  }
  if (!AcisDB) return;
  const std::string category = FromQ(ui->cboCID->currentText());
  std::string code;
  if (AcisDB->ExecQuery("select cid from cbyochu where cname = " + SqlQuoted(category) + ";"))
    code = AcisDB->Query()->FieldAsString(0);
  FillByochuList("select byochu from byochu where cid = " + SqlQuoted(code) + " and byochu in(" +
                 QuoteListForSql(ByochuList) + OrderEnding());
}

void TfrmSakuByochu::cboSortChange() {
  const std::string category = FromQ(ui->cboCID->currentText());
  if (category == "全て"_sj) {
    FillByochuList("select byochu from byochu where byochu in(" + QuoteListForSql(ByochuList) + OrderEnding());
    return;
  }
  const std::string code = CategoryCode(category);
  // Another category (a caller's own items) has no code here: the list stays as it is.
  if (code.empty()) return;
  FillByochuList("select byochu from byochu where cid = " + SqlQuoted(code) + " and byochu in(" + QuoteListForSql(ByochuList) +
                 OrderEnding());
}

void TfrmSakuByochu::FillByochuList(const std::string &sql) {
  if (FillCheckList(*ui->lstByochu, sql, true)) ui->ckAll->setEnabled(true);
}

void TfrmSakuByochu::SearchSakumotsu() {
  const std::string word = FromQ(ui->edtInput->text());
  if (word.empty()) return;
  TBusyCursor busy;
  {
    QSignalBlocker quiet(ui->lstSakumotu);
    ui->lstSakumotu->Clear();
  }
  FillSakumotsuList("SELECT sakumotsu FROM m_sakumotsu WHERE " + CropRegexpCond(NormalizeCropName(word)) + ";");
}

void TfrmSakuByochu::FillSakumotsuList(const std::string &sql) { FillCheckList(*ui->lstSakumotu, sql); }

void TfrmSakuByochu::LoadByochuOfCheckedSakumotsu() {
  if (ui->lstSakumotu->CheckCount() == 0) {
    QSignalBlocker quiet(ui->lstByochu);
    ui->lstByochu->Clear();
    return;
  }
  FillByochuList(
      "SELECT DISTINCT byochu FROM tekiyo WHERE idsaku IN(SELECT idsaku FROM m_sakumotsu WHERE sakumotsu IN(" +
      QuotedCheckedItems(*ui->lstSakumotu) + ")) ORDER BY byochu");
}

#include "ui/UTabByochuSaku.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSignalBlocker>

#include "components/CheckListBoxEx.h"
#include "components/FillAdapters.h"
#include "components/qtext.h"
#include "engine/SakuUtil.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "platform/cp932.h"
#include "ui/PickerPlacement.h"
#include "ui_UTabByochuSaku.h"

using namespace cp932::literals;

namespace {

// Exclusion entries ("...を除く") are never offered.
std::string NotExcluded() { return "sakumotsu NOT REGEXP '(、.*)?を除く'"_sj; }

}  // namespace

TfrmTabByochuSaku::TfrmTabByochuSaku(QWidget *owner)
    : QDialog(owner), ui(std::make_unique<Ui::frmTabByochuSaku>()) {
  ui->setupUi(this);
  ui->lstSakumotsu->SetShowHint(true);
  ui->cbOrder->setCurrentIndex(0);
  TakeMainFormFont(this);
  for (QComboBox *c : {ui->cbLevel0, ui->cbLevel1, ui->cbLevel2}) ClearLevel(c);

  connect(ui->btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(ui->ckAll, &QCheckBox::clicked, this, &TfrmTabByochuSaku::ckAllClick);
  connect(ui->cbLevel0, &QComboBox::currentIndexChanged, this, &TfrmTabByochuSaku::cbLevel0Change);
  connect(ui->cbLevel1, &QComboBox::currentIndexChanged, this, &TfrmTabByochuSaku::cbLevel1Change);
  connect(ui->cbLevel2, &QComboBox::currentIndexChanged, this, &TfrmTabByochuSaku::cbLevel2Change);
  connect(ui->cbOrder, &QComboBox::currentIndexChanged, this, &TfrmTabByochuSaku::cbOrderChange);
}

TfrmTabByochuSaku::~TfrmTabByochuSaku() = default;

void TfrmTabByochuSaku::ClearLevel(QComboBox *Combo) {
  const QSignalBlocker quiet(Combo);
  Combo->clear();
  Combo->setEnabled(false);
}

bool TfrmTabByochuSaku::FillLevel(QComboBox *Combo, const std::string &SQL) {
  if (!AcisDB || !AcisDB->ExecQuery(SQL)) {
    ClearLevel(Combo);
    return false;
  }
  const QSignalBlocker quiet(Combo);
  Combo->clear();
  Combo->addItem(ToQ("全て"_sj));
  TComboTarget target(*Combo);
  AcisDB->SetCombo(target, 0, false);
  Combo->setEnabled(true);
  return true;
}

void TfrmTabByochuSaku::LoadAllSakumotsu() {
  if (!AcisDB) return;
  TBusyCursor busy;
  const std::string order = ui->cbOrder->currentIndex() == 1 ? "ruby" : "m_sakumotsu.idsaku";
  FillCheckList(*ui->lstSakumotsu,
                "SELECT DISTINCT a.sakumotsu FROM ttTekiyoByochu AS a LEFT JOIN m_sakumotsu USING(idsaku) WHERE a." +
                    NotExcluded() + "  ORDER BY " + order + ";",
                true);
  if (AcisDB->ExecQuery("SELECT sakumotsu FROM m_sakumotsu WHERE level = 0 AND idsaku IN (SELECT DISTINCT "
                        "substr(idsaku,1,2)||'00000000000000' FROM ttTekiyoByochu ORDER BY idsaku);",
                        true)) {
    ClearLevel(ui->cbLevel2);
    ClearLevel(ui->cbLevel1);
    const QSignalBlocker quiet(ui->cbLevel0);
    ui->cbLevel0->clear();
    ui->cbLevel0->addItem(ToQ("全て"_sj));
    TComboTarget target(*ui->cbLevel0);
    AcisDB->SetCombo(target, 0, false);
    ui->cbLevel0->setEnabled(true);
  }
}

std::string TfrmTabByochuSaku::GroupCode(int Level, int From, const std::string &Name, bool Warn) {
  const std::string sql = "select substr(idsaku," + std::to_string(From) + ",2) from m_sakumotsu where level = " +
                          std::to_string(Level) + " and sakumotsu = " + SqlQuoted(Name);
  if (!AcisDB || !AcisDB->ExecQuery(sql, Warn)) return "00";
  return AcisDB->Query()->FieldAsString(0);
}

void TfrmTabByochuSaku::LoadCrops(const std::string &Prefix, const char *IdOrder, const char *RubyOrder) {
  const std::string sql =
      ui->cbOrder->currentIndex() == 1
          ? "SELECT DISTINCT a.sakumotsu FROM ttTekiyoByochu AS a LEFT JOIN m_sakumotsu USING(idsaku) WHERE idsaku "
            "REGEXP '^(" + Prefix + ")' AND a." + NotExcluded() + RubyOrder
          : "SELECT DISTINCT sakumotsu FROM ttTekiyoByochu WHERE idsaku REGEXP '^(" + Prefix + ")' AND " +
                NotExcluded() + IdOrder;
  FillCheckList(*ui->lstSakumotsu, sql, true);
}

void TfrmTabByochuSaku::cbLevel0Change() {
  if (ui->cbLevel0->currentIndex() <= 0) {
    LoadAllSakumotsu();
    return;
  }
  FLevel0 = GroupCode(0, 1, FromQ(ui->cbLevel0->currentText()), true);
  // Only the result's crops of the chosen group name its subgroups.
  if (FillLevel(ui->cbLevel1, "SELECT sakumotsu FROM m_sakumotsu WHERE level = 1 AND idsaku IN (SELECT DISTINCT '" +
                                  FLevel0 + "'||substr(idsaku,3,2)||'000000000000' FROM ttTekiyoByochu WHERE idsaku LIKE '" +
                                  FLevel0 + "%' ORDER BY idsaku);"))
    ClearLevel(ui->cbLevel2);
  LoadCrops(FLevel0, " ORDER BY idsaku;", "  ORDER BY ruby;");
}

void TfrmTabByochuSaku::cbLevel1Change() {
  if (ui->cbLevel1->count() == 0) return;
  if (ui->cbLevel1->currentIndex() <= 0) {
    LoadCrops(FLevel0, " ORDER by idsaku;", " ORDER by ruby;");
    return;
  }
  FLevel1 = GroupCode(1, 3, FromQ(ui->cbLevel1->currentText()), false);
  const std::string prefix = FLevel0 + FLevel1;
  FillLevel(ui->cbLevel2, "SELECT sakumotsu FROM m_sakumotsu WHERE level = 2 AND idsaku IN (SELECT DISTINCT '" + prefix +
                              "'||substr(idsaku,5,2)||'0000000000' FROM ttTekiyoByochu WHERE idsaku LIKE '" + prefix +
                              "%' ORDER BY idsaku);");
  LoadCrops(prefix, " ORDER BY idsaku;", "  ORDER BY ruby;");
}

void TfrmTabByochuSaku::cbLevel2Change() {
  if (ui->cbLevel2->count() == 0) return;
  if (ui->cbLevel2->currentIndex() <= 0) {
    LoadCrops(FLevel0 + FLevel1, " ORDER BY idsaku;", "  ORDER BY ruby;");
    return;
  }
  FLevel2 = GroupCode(2, 5, FromQ(ui->cbLevel2->currentText()), false);
  LoadCrops(FLevel0 + FLevel1 + FLevel2, " ORDER BY idsaku;", "  ORDER BY ruby;");
}

void TfrmTabByochuSaku::cbOrderChange() {
  if (ui->cbLevel0->currentIndex() <= 0)
    LoadAllSakumotsu();
  else if (ui->cbLevel1->currentIndex() <= 0)
    cbLevel0Change();
  else if (ui->cbLevel2->currentIndex() > 0)
    cbLevel2Change();
  else
    cbLevel1Change();
}

void TfrmTabByochuSaku::ckAllClick() {
  const bool on = ui->ckAll->isChecked();
  for (int i = 0; i < ui->lstSakumotsu->Count(); ++i) ui->lstSakumotsu->SetChecked(i, on);
}

void TfrmTabByochuSaku::FormClose() {
  for (int i = 0; i < ui->lstSakumotsu->Count(); ++i)
    if (ui->lstSakumotsu->Checked(i)) FResult.push_back(ui->lstSakumotsu->Item(i));
}

std::string TfrmTabByochuSaku::GetSelectedSakumotsu() const { return JoinCommaText(FResult); }

void TfrmTabByochuSaku::done(int Result) {
  FormClose();
  QDialog::done(Result);
}

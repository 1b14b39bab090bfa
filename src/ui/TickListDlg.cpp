#include "ui/TickListDlg.h"

#include <QCheckBox>
#include <algorithm>

#include "components/CheckListBoxEx.h"
#include "components/qtext.h"
#include "engine/SakuUtil.h"
#include "ui/PickerPlacement.h"

TTickListDlg::TTickListDlg(QWidget *owner) : QDialog(owner, Qt::Tool) {}

void TTickListDlg::Bind(TCheckListBoxEx *list, QCheckBox *all) {
  FList = list;
  FAll = all;
  // The form's fixed items become check items.
  std::vector<std::string> items;
  for (int i = 0; i < list->count(); ++i) items.push_back(FromQ(list->item(i)->text()));
  SetItems(items);
  connect(all, &QCheckBox::clicked, this, &TTickListDlg::ckAllClick);
  TakeMainFormFont(this);
}

void TTickListDlg::ckAllClick() {
  SetAllChecked(*FList, FAll->isChecked());
}

void TTickListDlg::done(int result) {
  for (int i = 0; i < FList->Count(); ++i)
    if (FList->Checked(i)) FSelection.push_back(FList->Item(i));
  QDialog::done(result);
}

std::string TTickListDlg::GetSelection() const { return JoinCommaText(FSelection); }

void TTickListDlg::CheckNames(const std::string &commaText) {
  const std::vector<std::string> names = SplitDelimitedText(commaText);
  for (int i = 0; i < FList->Count(); ++i)
    if (std::find(names.begin(), names.end(), FList->Item(i)) != names.end()) FList->SetChecked(i, true);
}

void TTickListDlg::SetItems(const std::vector<std::string> &items) {
  FList->Clear();
  for (const std::string &item : items) FList->AddItem(item);
}

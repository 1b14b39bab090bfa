#include "components/CheckListBoxEx.h"

// The hint sits past the check box.
TCheckListBoxEx::TCheckListBoxEx(QWidget *parent) : TTextListBox(parent, QPoint(9, -3), 2) {}

int TCheckListBoxEx::AddItem(const std::string &text) {
  int i = TTextListBox::AddItem(text);
  QListWidgetItem *it = item(i);
  it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
  it->setCheckState(Qt::Unchecked);
  return i;
}

bool TCheckListBoxEx::Checked(int index) const {
  const QListWidgetItem *it = item(index);
  return it && it->checkState() == Qt::Checked;
}

void TCheckListBoxEx::SetChecked(int index, bool on) {
  if (QListWidgetItem *it = item(index)) it->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

int TCheckListBoxEx::CheckCount() const {
  int n = 0;
  for (int i = 0; i < count(); ++i)
    if (item(i)->checkState() == Qt::Checked) ++n;
  return n;
}

// The check list of the pickers, the crop-selection frame and the main window: a list box
// with item hints (see ListBoxEx.h) whose items carry check boxes, and the count of
// checked items.
#pragma once

#include "components/ListBoxEx.h"

class TCheckListBoxEx : public TTextListBox {
  Q_OBJECT

 public:
  explicit TCheckListBoxEx(QWidget *parent = nullptr);
  int AddItem(const std::string &text) override;
  bool Checked(int index) const;
  void SetChecked(int index, bool on);
  // Items whose check box is checked, counted over all items.
  int CheckCount() const;
};

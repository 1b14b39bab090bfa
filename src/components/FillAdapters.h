// The list-like widgets as fill targets of the query object.
#pragma once

#include <QComboBox>

#include "components/ListBoxEx.h"
#include "components/qtext.h"
#include "engine/FillTargets.h"

// A list box or check list box of the component library.
class TListBoxTarget : public IStringsTarget {
 public:
  explicit TListBoxTarget(TTextListBox &list) : list_(list) {}
  void BeginUpdate() override { list_.BeginUpdate(); }
  void EndUpdate() override { list_.EndUpdate(); }
  void Clear() override { list_.Clear(); }
  void Add(const std::string &item) override { list_.AddItem(item); }
  bool Contains(const std::string &item) const override { return list_.IndexOf(item) >= 0; }
  int Count() const override { return list_.Count(); }

 private:
  TTextListBox &list_;
};

// A combo box; items are shown as Unicode and read back as program text.
class TComboTarget : public IStringsTarget {
 public:
  explicit TComboTarget(QComboBox &combo) : combo_(combo) {}
  void Clear() override { combo_.clear(); }
  void Add(const std::string &item) override { combo_.addItem(ToQ(item)); }
  bool Contains(const std::string &item) const override { return combo_.findText(ToQ(item)) >= 0; }
  int Count() const override { return combo_.count(); }

 private:
  QComboBox &combo_;
};

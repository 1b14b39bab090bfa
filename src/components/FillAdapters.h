// A combo box as a fill target of the query object (the list boxes are targets themselves).
#pragma once

#include <QComboBox>

#include "components/qtext.h"
#include "engine/FillTargets.h"

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

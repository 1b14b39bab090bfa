// Small helpers of the window tests: a settings file of their own, typing Japanese, reading
// list items, and a modal run that closes itself.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QInputMethodEvent>
#include <QListWidget>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "components/ListBoxEx.h"
#include "components/qtext.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "support/testutil.h"

namespace qmtest {

// Points the settings object at quillmar.ini in a fresh folder for the object's lifetime.
class TTempSettings {
 public:
  TTempSettings() : saved_(OptionData->IniFileName) { OptionData->IniFileName = (dir_ / "quillmar.ini").string(); }
  ~TTempSettings() { OptionData->IniFileName = saved_; }
  std::string Text() const { return cp932::ToUtf8(ReadFile(dir_ / "quillmar.ini")); }

 private:
  TempDir dir_;
  std::string saved_;
};

// Commits the UTF-8 text into the focused-or-given widget as an input method would.
inline void TypeJapanese(QWidget *w, const std::string &utf8) {
  QInputMethodEvent e;
  e.setCommitString(QString::fromUtf8(utf8.c_str()));
  QCoreApplication::sendEvent(w, &e);
}

// The items of a list as UTF-8.
inline std::vector<std::string> Items(const QListWidget *list) {
  std::vector<std::string> out;
  for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
  return out;
}

// Checks the item with the UTF-8 text the way a click on its check box does; false when
// there is no such item.
inline bool Check(QListWidget *list, const std::string &utf8, bool on = true) {
  auto found = list->findItems(QString::fromUtf8(utf8.c_str()), Qt::MatchExactly);
  if (found.isEmpty()) return false;
  list->setCurrentItem(found[0]);
  found[0]->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  return true;
}

// Runs the dialog modally; once it is shown, act runs and then the dialog is closed with
// the result unless act closed it. Returns exec()'s result.
inline int ExecWith(QDialog &dlg, const std::function<void()> &act, int result = QDialog::Rejected) {
  QTimer::singleShot(0, &dlg, [&] {
    act();
    if (dlg.isVisible()) dlg.done(result);
  });
  return dlg.exec();
}

}  // namespace qmtest

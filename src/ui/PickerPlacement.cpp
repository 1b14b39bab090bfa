#include "ui/PickerPlacement.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QWidget>
#include <algorithm>

#include "components/CheckListBoxEx.h"
#include "components/PosDlgs.h"
#include "components/FillAdapters.h"
#include "engine/acdb.h"
#include "engine/SakuUtil.h"
#include "engine/options.h"

void PlaceBelowControl(QWidget *window, const QWidget *control) {
  MoveInsideWorkArea(window, control->mapToGlobal(QPoint(0, control->height())), control);
}

void MoveInsideWorkArea(QWidget *window, QPoint at, const QWidget *near) {
  QScreen *screen = QGuiApplication::screenAt(at);
  if (!screen) screen = near->screen();
  if (!screen) {
    window->move(at);
    return;
  }
  const QRect area = screen->availableGeometry();
  PlaceWithFinalFrame(window, near, [area, at](const QSize &frame) { return KeepInsideArea(area, at, frame); });
}

void TakeMainFormFont(QWidget *window) {
  if (QWidget *owner = window->parentWidget()) window->setFont(owner->window()->font());
}

TIniFile ProgramIni() { return TIniFile(OptionData->IniFileName); }

void ReadWindowSize(QWidget *window, const char *widthKey, const char *heightKey) {
  TIniFile ini = ProgramIni();
  window->resize(ini.ReadInteger(SEC_WINDOW, widthKey, window->width()),
                 ini.ReadInteger(SEC_WINDOW, heightKey, window->height()));
}

void WriteWindowSize(const QWidget *window, const char *widthKey, const char *heightKey) {
  TIniFile ini = ProgramIni();
  ini.WriteInteger(SEC_WINDOW, widthKey, window->width());
  ini.WriteInteger(SEC_WINDOW, heightKey, window->height());
}

bool FillCheckList(TTextListBox &list, const std::string &sql, bool Replace) {
  if (!AcisDB || !AcisDB->ExecQuery(sql, true)) return false;
  QSignalBlocker quiet(&list);
  if (Replace) list.Clear();
  TListBoxTarget target(list);
  AcisDB->SetCheckListBox(target);
  return true;
}

bool FillCombo(QComboBox &combo, const std::string &sql) {
  if (!AcisDB || !AcisDB->ExecQuery(sql, true)) return false;
  QSignalBlocker quiet(&combo);
  TComboTarget target(combo);
  AcisDB->SetCheckListBox(target);
  return true;
}

std::vector<std::string> CheckedItems(const TCheckListBoxEx &list) {
  std::vector<std::string> items;
  for (int i = 0; i < list.Count(); ++i)
    if (list.Checked(i)) items.push_back(list.Item(i));
  return items;
}

std::string QuotedCheckedItems(const TCheckListBoxEx &list) {
  std::vector<std::string> quoted;
  for (const std::string &item : CheckedItems(list)) quoted.push_back(SqlQuoted(item));
  return JoinItems(quoted, ",");
}

std::string JoinItems(const std::vector<std::string> &items, const std::string &separator) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) text += (i ? separator : "") + items[i];
  return text;
}

void SetAllChecked(TCheckListBoxEx &list, bool on) {
  for (int i = 0; i < list.Count(); ++i) list.SetChecked(i, on);
}

namespace {

class TEnterKeyFilter : public QObject {
 public:
  TEnterKeyFilter(QObject *parent, std::function<void()> action) : QObject(parent), action_(std::move(action)) {}
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent *>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        action_();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> action_;
};

}  // namespace

void OnEnterKey(QLineEdit *edit, std::function<void()> action) {
  edit->installEventFilter(new TEnterKeyFilter(edit, std::move(action)));
}

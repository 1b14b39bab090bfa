// What the pickers and small windows share: where they open, the font they take, their remembered keys, and
// the query object's fills into their lists.
#pragma once

#include <QPoint>
#include <functional>
#include <string>
#include <vector>

#include "platform/IniFile.h"

class QWidget;
class QDialog;
class QComboBox;
class QLineEdit;
class TTextListBox;
class TCheckListBoxEx;

// Places the window with its top-left corner at the control's bottom-left corner, then
// moves it up as far as needed to keep its bottom inside the work area of the control's
// screen, and left as far as needed to keep its right edge inside (never past the work
// area's top or left edge). The window's final size and frame count: a window not shown
// yet is placed again as it shows.
void PlaceBelowControl(QWidget *window, const QWidget *control);
// Moves the window's top-left corner to the global point at, moved back inside the work
// area of the screen there (or of the screen of near), by the window's final size and
// frame as PlaceBelowControl does.
void MoveInsideWorkArea(QWidget *window, QPoint at, const QWidget *near);

// The main window's font: the font of the owner's top-level window.
void TakeMainFormFont(QWidget *window);

// The program's settings file (quillmar.ini).
TIniFile ProgramIni();

// The window's size from two "WINDOW" keys (the current size as the default), and back.
void ReadWindowSize(QWidget *window, const char *widthKey, const char *heightKey);
void WriteWindowSize(const QWidget *window, const char *widthKey, const char *heightKey);

// The query through the program-wide query object with the no-data warning; with rows the
// list gets the distinct non-empty values of the first column, appended or (Replace) in
// place of its items. False when there is no query object or no row: the list stays as it
// was. The list's change signals stay quiet meanwhile.
bool FillCheckList(TTextListBox &list, const std::string &sql, bool Replace = false);
bool FillCombo(QComboBox &combo, const std::string &sql);

// The checked items in list order; the same each in single quotes (inner quotes doubled)
// joined by ",", ready for an SQL IN list.
std::vector<std::string> CheckedItems(const TCheckListBoxEx &list);
std::string QuotedCheckedItems(const TCheckListBoxEx &list);
// The items joined by the separator.
std::string JoinItems(const std::vector<std::string> &items, const std::string &separator);

// Sets every item's check.
void SetAllChecked(TCheckListBoxEx &list, bool on);
// Enter (Return or the keypad's Enter) in the edit runs the action and goes no further.
void OnEnterKey(QLineEdit *edit, std::function<void()> action);

// What the crop tab, the pest/disease tab and the view-mode commands of the main window share.
#pragma once

#include <functional>
#include <string>

class QComboBox;
class QWidget;
class TfrmMain;
class TXlsStringGrid;

// "全て", the filter item that stands for no condition.
const std::string &kAll();
// The combo's text, "全て" read as empty.
std::string ComboCondition(const QComboBox *combo);
// Runs a step of a handler: an exception is shown in an error box, and in every case the
// search panels and the output commands are enabled again.
void RunGuarded(TfrmMain *w, const std::function<void()> &step);
// A command of the search tabs: RunGuarded, unless a run is under way (then nothing).
void RunCommand(TfrmMain *w, const std::function<void()> &step);
// Refills a filter combo (and enables its button) from the query: "全て" and the non-empty
// values; a query without rows warns and keeps the previous items.
void FillFilterCombo(TfrmMain *w, QComboBox *combo, QWidget *button, const std::string &sql);
// After a search filled the tab's grid: the column widths, the grid shown, the row count
// ("N件") and the cleared sort text of the tab in the status bar. False when a stop of the
// run ended the widths: nothing of the result is shown then.
bool ShowFilledGrid(TfrmMain *w, int tab, TXlsStringGrid *grid);

// What the crop-selection frame and the crop selection dialog share: the comma text of
// picked names, the statements of the name search and of the crop-group and CVO tables,
// and the fills, hints and remembered column widths of their list views.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/IniFile.h"

class QColor;
class QComboBox;
class QHelpEvent;
class QWidget;
class TSQLiteTbl;
struct TSakumotsu;
class QTreeWidget;
class QTreeWidgetItem;

// The collected names (comma text) with each non-empty name once, at the place of its
// last occurrence, as comma text.
std::string UniqueCommaText(const std::string &Collected);

// The names a picker collects, in order: the crops the user picked and the upper groups
// added for them. The search widens a picked crop to the crops filed under it, and takes an
// added upper group by its own entry only; a name the user picked keeps its widening even
// when it is also the upper group of another pick.
class TCropPicks {
 public:
  // Names (comma text) the user picked.
  void Pick(const std::string &Names);
  // The upper groups (comma text, as UpperGroup gives them, the deepest first) added for the
  // picked crop Of; nothing is added when there are none. When neither the groups nor the
  // names collected before hold the crop itself (a crop registered only through its
  // groups), the deepest group stands for the pick and keeps its widening, so that the
  // crops filed under the pick still come in.
  void AddUpper(const std::string &Of, const std::string &Groups);
  // Every collected name once, at the place of its last occurrence, as comma text.
  std::string Text() const { return UniqueCommaText(FCollected); }
  // The collected so far, as collected.
  const std::string &Collected() const { return FCollected; }
  // The added upper groups the user did not pick, as comma text.
  std::string UpperOnly() const;

 private:
  void Append(const std::string &Names);
  std::string FCollected;
  std::vector<std::string> FPicked, FUpper;
};

// The names of UpperOnly (comma text) that the comma text Names still holds.
std::string UpperOnlyIn(const std::string &UpperOnly, const std::string &Names);

// The crop record of the current row of a crop query (columns class, idsaku, toroku,
// harvested part, name, other names and the seventh column as the group name).
std::unique_ptr<TSakumotsu> CropRecordFromRow(const TSQLiteTbl &Row);

// Appends one checkable item per row of the current query of the program-wide query
// object to the crop search list: ">" repeated class times, a blank and the name, then the
// harvested part and the other names; the item owns a record kept in Records. Crops
// registered through an upper group show white on grey, unregistered ones grey on silver.
void AddCropSearchItems(QTreeWidget *List, std::vector<std::unique_ptr<TSakumotsu>> &Records);
// The record of a crop search item (null for none).
TSakumotsu *CropItemRecord(const QTreeWidgetItem *Item);

// The picks of the checked crop search items as unique comma text: with Upper each crop's
// upper group (the name itself when it has none); otherwise Own of the crop, followed for
// a crop registered through an upper group by that group. Trace (when set) gets the text
// collected so far after each upper-group pick; UpperOnly (when set) gets the added upper
// groups the user did not pick (TCropPicks).
std::string CheckedCropsText(const QTreeWidget *List, bool Upper,
                             const std::function<std::string(const TSakumotsu &)> &Own,
                             const std::function<void(const std::string &)> &Trace = nullptr,
                             std::string *UpperOnly = nullptr);

// The search term of the name search: the input as a normalised comma list of reading
// keys, with single quotes doubled so that it stays one SQL literal.
std::string CropSearchTerm(const std::string &Input);
// The name search over vs_sakumotsu2 for the term, anywhere in the keywords or (Forward) at
// the start of a name, other name or bracketed part.
std::string CropNameSearchSQL(const std::string &Term, bool Forward);

// The crop-group table rows of a large group, the middle groups of a large group, and the
// rows of a middle group (the large group's rows for "全て"). An empty group is NULL.
std::string Beppyo1ByLgSQL(const std::string &Lg);
std::string Beppyo1MgListSQL(const std::string &Lg);
std::string Beppyo1ByMgSQL(const std::string &Mg, const std::string &Lg);
// The CVO rows of a family (an empty family is NULL).
std::string CvoByFamilySQL(const std::string &Family);

// Runs the query; when it gives rows the list is emptied and gets one item per row
// (column Columns[0] as the caption, the others as the following columns), letting the
// message loop run after each row. False (the list as it was) without rows.
bool ReplaceFromQuery(QTreeWidget *List, const std::string &SQL, const std::vector<int> &Columns);
// Runs the query; when it gives rows the combo gets "全て" and the values of column 0.
void FillAllCombo(QComboBox *Combo, const std::string &SQL);

// Unregistered crops of the class drawn in the grey-text colour, and while selected in
// SelectedText on grey.
void GreyUnregisteredNodes(QTreeWidget *Tree, int Class, const QColor &SelectedText);

// The column indexes 0 to Last.
std::vector<int> ColumnsUpTo(int Last);

// The crop-group table after a change of the large group: "全て" empties the list and
// runs LoadAll; another group shows its rows and refills the middle groups.
void Beppyo1LgChange(QTreeWidget *List, QComboBox *Lg, QComboBox *Mg, const std::function<void()> &LoadAll);
// The crop-group table after a change of the middle group.
void Beppyo1MgChange(QTreeWidget *List, QComboBox *Lg, QComboBox *Mg);

// The tree hidden while the node is expanded with all its descendants (nothing without a
// node), or while every node is collapsed.
void ExpandNodeFully(QTreeWidget *Tree, QTreeWidgetItem *Node);
void CollapseTree(QTreeWidget *Tree);

// The texts of an item: caption, then the following columns (program text).
std::vector<std::string> RowTexts(const QTreeWidgetItem *Item);
// The caption and the following columns of a row, as the hint builders take them.
std::string RowHint(const QTreeWidgetItem *Item,
                    std::string (*Hint)(const std::string &, const std::vector<std::string> &));
// Shows the hint for a tool-tip request over the widget (an empty hint hides any).
void ShowHintText(const QHelpEvent *Event, QWidget *Widget, const std::string &Hint);
// Shows the hint of the item under the mouse as the list's tool tip. The builder must not
// raise; an empty hint shows none.
void SetListInfoTip(QTreeWidget *List, std::function<std::string(QTreeWidgetItem *)> Hint);

// Column widths kept as Prefix + column index in section "WINDOW".
void ReadColumnWidths(QTreeWidget *List, const TIniFile &Ini, const std::string &Prefix,
                      const std::vector<int> &Defaults);
void WriteColumnWidths(const QTreeWidget *List, TIniFile &Ini, const std::string &Prefix);

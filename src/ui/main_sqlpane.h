// The statement tests and SQL fragments of the SQL pane (program text).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The text, lower-cased and trimmed on the left, begins with "select", "with" or "pragma".
bool IsQueryStatement(const std::string &Text);
// The text, lower-cased and trimmed on the left, begins with "--/d", "/*" or "--".
bool StartsWithComment(const std::string &Text);

// The most cells one result of the SQL pane may hold: far above every table of the database,
// low enough that a runaway query stops long before memory runs out. Tests lower it.
extern std::size_t SqlResultCellBound;

class TCheckListBoxEx;

// The operator text of a WHERE kind: 0 " like '%%'", 1 " match 'pattern'", 2 " regexp 'pattern'".
std::string WhereOperator(int Kind);
// WHERE lines for the fields: " where " + first field + operator, then " " + Conjunction +
// " " + field + operator for each further one; each line followed by CR LF. No field: "".
std::string BuildWhereClause(int Kind, const std::vector<std::string> &Fields, const std::string &Conjunction);
// Checks or unchecks every item of the list.
void SetAllChecked(TCheckListBoxEx *List, bool Checked);
// The checked items in list order.
std::vector<std::string> CheckedItems(const TCheckListBoxEx *List);

// The statement tests and SQL fragments of the SQL pane (program text).
#pragma once

#include <string>
#include <vector>

// The text, lower-cased and trimmed on the left, begins with "select", "with" or "pragma".
bool IsQueryStatement(const std::string &Text);
// The text, lower-cased and trimmed on the left, begins with "--/d", "/*" or "--".
bool StartsWithComment(const std::string &Text);

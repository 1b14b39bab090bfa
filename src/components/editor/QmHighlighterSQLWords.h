// The vocabularies and sample texts of the SQL highlighter's dialects.
#pragma once

#include <string>
#include <vector>

#include "components/editor/QmHighlighterSQL.h"

struct TQmDialectWordList {
  TtkTokenKind Kind;
  const char *Words;  // comma-separated
};

// The dialect's lists in the order in which they are added to the keyword table.
const std::vector<TQmDialectWordList> &SQLDialectWordLists(TSQLDialect Dialect);
// The dialect's sample text, lines separated by CR LF.
std::string SQLDialectSampleSource(TSQLDialect Dialect);

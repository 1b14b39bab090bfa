// Common product name (通称) from a registered product name (名称): the maker's and
// distributor's names and marks are stripped, so that one product sold by several firms
// under their own names groups under one common name.
#pragma once

#include <string>
#include <string_view>

// Applies the fixed, ordered list of replacements to the registered name (CP932 text) and
// returns what is left. Every step replaces each occurrence of its search text, left to
// right, matching only on character boundaries; a few steps run only when the name holds,
// or lacks, a given word.
std::string TsushoFromMeisho(std::string_view meisho);

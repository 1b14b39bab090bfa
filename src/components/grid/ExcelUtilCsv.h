// The result grid's CSV files: the splitter that reads a CSV text back into fields. The
// grid's own CSV and HTML outputs (SetCommaText, GetCommaText, SetHTML) live beside it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A string list whose SetCsvText splits a whole CSV text into one flat list of fields.
class TStringListExt {
 public:
  std::vector<std::string> Strings;
  int Count() const { return static_cast<int>(Strings.size()); }
  void Clear() { Strings.clear(); }
  void SetCsvText(std::string_view text);
};

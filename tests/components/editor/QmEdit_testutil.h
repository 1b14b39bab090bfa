// Small helpers shared by the editor's command, undo and message tests.
#pragma once

#include <initializer_list>
#include <string>

#include "components/editor/QmEdit.h"
#include "platform/cp932.h"

namespace qmedit_test {

inline std::string S(const char *utf8) { return cp932::FromUtf8(utf8); }

// The lines (UTF-8 in the source) as the editor's text: CP932 joined with CR LF.
inline std::string Join(std::initializer_list<const char *> lines) {
  std::string text;
  bool first = true;
  for (const char *l : lines) {
    if (!first) text += "\r\n";
    first = false;
    text += S(l);
  }
  return text;
}

// An editor holding the given lines, driven through its command processor.
struct Editor {
  TQmEdit e;
  explicit Editor(std::initializer_list<const char *> lines, TQmEditorOptions options = QM_DEFAULT_OPTIONS) {
    e.resize(400, 200);
    e.SetOptions(options);
    e.SetText(Join(lines));
  }
  void Cmd(TQmEditorCommand c, char ch = 0, void *data = nullptr) { e.CommandProcessor(c, ch, data); }
  void Type(const std::string &bytes) {
    for (char c : bytes) Cmd(ecChar, c);
  }
  void At(int x, int y) { e.SetCaretXY({x, y}); }
  std::string Text() const { return e.GetText(); }
};

}  // namespace qmedit_test

// The user-interface services on Qt: message boxes, the busy cursor, the event pump and
// the clipboard. Widgets show their boxes through MsgBox so that tests can answer them
// with TScopedRecordingUi.
#pragma once

#include <functional>
#include <string>

#include "engine/UiServices.h"

// IUiServices on Qt widgets. The program installs one at start (SetUiServices).
class TQtUiServices : public IUiServices {
 public:
  int MessageBox(const std::string &text, const std::string &caption, unsigned flags) override;
  // The report window (TDlgMemo), modal.
  void ShowReport(const std::string &caption, const std::string &title,
                  const std::string &text) override;
  void BeginBusy() override;
  void EndBusy() override;
  void ProcessMessages() override;

 private:
  int busy_ = 0;
};

// A modal box through the installed services; returns the ID of the answer.
int MsgBox(const std::string &text, const std::string &caption, unsigned flags);
// The error box of the components: caption "エラー", error icon, one OK button.
void ErrorBox(const std::string &text);

// The clipboard's text, as program text (CP932).
void SetClipboardText(const std::string &text);
std::string ClipboardText();

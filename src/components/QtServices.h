// The user-interface services on Qt: message boxes, the busy cursor, the event pump and
// the clipboard. Widgets show their boxes through MsgBox so that tests can answer them
// with TScopedRecordingUi.
#pragma once

#include <functional>
#include <string>

#include "engine/UiServices.h"

#include <QMessageBox>
#include <vector>

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
  // A progress dialog over the active window; it appears only when the operation lasts.
  std::unique_ptr<IProgressWindow> OpenProgress(const std::string &title) override;

 private:
  int busy_ = 0;
};

// One button of a message box and the answer it gives.
struct TMessageBoxButton {
  QMessageBox::StandardButton button;
  int id;
};
// Gives box the caption, text, icon and buttons that flags (MB_...) ask for; the buttons in order.
std::vector<TMessageBoxButton> SetUpMessageBox(QMessageBox &box, const std::string &text,
                                               const std::string &caption, unsigned flags);

// Loads Qt's Japanese translations, so that standard buttons read "はい", "キャンセル", "中止"
// and Qt's dialogs speak Japanese; false when the translation files are not installed.
bool InstallQtTranslations();

// A modal box through the installed services; returns the ID of the answer.
int MsgBox(const std::string &text, const std::string &caption, unsigned flags);
// The error box of the components: caption "エラー", error icon, one OK button.
void ErrorBox(const std::string &text);

// The clipboard's text, as program text (CP932).
void SetClipboardText(const std::string &text);
std::string ClipboardText();

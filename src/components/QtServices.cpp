#include "components/QtServices.h"

#include "components/MemoDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>

#include "components/qtext.h"

namespace {

QString BoxText(const std::string &text) {
  QString s = ToQ(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

}  // namespace

int TQtUiServices::MessageBox(const std::string &text, const std::string &caption, unsigned flags) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(ToQ(caption));
  box.setText(BoxText(text));
  switch (flags & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  struct Button {
    QMessageBox::StandardButton button;
    int id;
  };
  std::vector<Button> buttons;
  switch (flags & 0xF) {
    case MB_OKCANCEL: buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE:
      buttons = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
      break;
    case MB_YESNOCANCEL:
      buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
      break;
    case MB_YESNO: buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}}; break;
    case MB_RETRYCANCEL: buttons = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}}; break;
    default: buttons = {{QMessageBox::Ok, IDOK}}; break;
  }
  QMessageBox::StandardButtons set;
  for (const auto &b : buttons) set |= b.button;
  box.setStandardButtons(set);
  std::size_t def = (flags & MB_DEFBUTTON3) ? 2 : (flags & MB_DEFBUTTON2) ? 1 : 0;
  if (def < buttons.size()) box.setDefaultButton(buttons[def].button);
  int pressed = box.exec();
  for (const auto &b : buttons)
    if (b.button == pressed) return b.id;
  // Closed with Escape or the window's close box: the cancelling answer.
  for (int cancel : {IDCANCEL, IDNO})
    for (const auto &b : buttons)
      if (b.id == cancel) return b.id;
  return buttons.front().id;
}

void TQtUiServices::ShowReport(const std::string &caption, const std::string &title,
                               const std::string &text) {
  TDlgMemo::Report(caption, title, text);
}

void TQtUiServices::BeginBusy() {
  ++busy_;
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void TQtUiServices::EndBusy() {
  if (busy_ <= 0) return;
  --busy_;
  QApplication::restoreOverrideCursor();
}

void TQtUiServices::ProcessMessages() { QCoreApplication::processEvents(); }

int MsgBox(const std::string &text, const std::string &caption, unsigned flags) {
  return UiServices().MessageBox(text, caption, flags);
}

void ErrorBox(const std::string &text) {
  static const std::string caption = cp932::FromUtf8("エラー");
  MsgBox(text, caption, MB_OK | MB_ICONERROR);
}

void SetClipboardText(const std::string &text) { QGuiApplication::clipboard()->setText(ToQ(text)); }

std::string ClipboardText() { return FromQ(QGuiApplication::clipboard()->text()); }

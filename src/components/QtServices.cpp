#include "components/QtServices.h"

#include "components/MemoDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTranslator>

#include "components/qtext.h"

#include <algorithm>

namespace {

QString BoxText(const std::string &text) {
  QString s = ToQ(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

}  // namespace

std::vector<TMessageBoxButton> SetUpMessageBox(QMessageBox &box, const std::string &text, const std::string &caption,
                                               unsigned flags) {
  box.setWindowTitle(ToQ(caption));
  box.setText(BoxText(text));
  switch (flags & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  std::vector<TMessageBoxButton> buttons;
  switch (flags & 0xF) {
    case MB_OKCANCEL: buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE:
      buttons = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
      break;
    case MB_YESNOCANCEL:
      buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
      break;
    case MB_YESNOABORT:
      buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Abort, IDABORT}};
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
  return buttons;
}

int TQtUiServices::MessageBox(const std::string &text, const std::string &caption, unsigned flags) {
  QMessageBox box(QApplication::activeWindow());
  const std::vector<TMessageBoxButton> buttons = SetUpMessageBox(box, text, caption, flags);
  int pressed = box.exec();
  for (const auto &b : buttons)
    if (b.button == pressed) return b.id;
  // Closed with Escape or the window's close box: the cancelling answer.
  for (int cancel : {IDCANCEL, IDABORT, IDNO})
    for (const auto &b : buttons)
      if (b.id == cancel) return b.id;
  return buttons.front().id;
}

bool InstallQtTranslations() {
  // Qt's own texts (standard buttons, file and colour dialogs, context menus) in Japanese.
  static QTranslator *translator = nullptr;
  if (translator) return true;
  auto *t = new QTranslator(QCoreApplication::instance());
  if (!t->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete t;
    return false;
  }
  QCoreApplication::installTranslator(t);
  translator = t;
  return true;
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

namespace {

// The copy progress: a bar, the item in work and a cancel button. Short operations end
// before it shows.
class TQtProgressWindow : public IProgressWindow {
 public:
  explicit TQtProgressWindow(const std::string &title) : dialog_(QApplication::activeWindow()) {
    dialog_.setWindowTitle(ToQ(title));
    dialog_.setWindowModality(Qt::ApplicationModal);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    dialog_.setMinimumDuration(kShowAfterMs);
    dialog_.setRange(0, kSteps);
    dialog_.setValue(0);
  }
  bool Progress(std::uint64_t Done, std::uint64_t Total, const std::string &Item) override {
    const QString item = ToQ(Item);
    if (dialog_.labelText() != item) dialog_.setLabelText(item);
    const int step = Total == 0 ? kSteps : static_cast<int>(std::min<std::uint64_t>(Done, Total) * kSteps / Total);
    dialog_.setValue(step);
    QCoreApplication::processEvents();
    return !dialog_.wasCanceled();
  }
  void Show() override { dialog_.show(); }
  QProgressDialog &Dialog() { return dialog_; }

 private:
  static constexpr int kSteps = 1000;
  static constexpr int kShowAfterMs = 500;
  QProgressDialog dialog_;
};

}  // namespace

std::unique_ptr<IProgressWindow> TQtUiServices::OpenProgress(const std::string &title) {
  return std::make_unique<TQtProgressWindow>(title);
}

int MsgBox(const std::string &text, const std::string &caption, unsigned flags) {
  return UiServices().MessageBox(text, caption, flags);
}

void ErrorBox(const std::string &text) {
  static const std::string caption = cp932::FromUtf8("エラー");
  MsgBox(text, caption, MB_OK | MB_ICONERROR);
}

void SetClipboardText(const std::string &text) { QGuiApplication::clipboard()->setText(ToQ(text)); }

std::string ClipboardText() { return FromQ(QGuiApplication::clipboard()->text()); }

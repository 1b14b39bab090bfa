#include "ui/ShellServices.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "components/qtext.h"

namespace {

// The desktop's default program for the target. "edit" has no separate meaning here, so
// both verbs open the file with the program the desktop associates with it.
class TDesktopShell : public IShellServices {
 public:
  bool ShellExecute(QWidget *, const std::string &verb, const std::string &file, const std::string &,
                    const std::string &dir, int) override {
    if (verb != "open" && verb != "edit") return false;
    QString target = ToQ(file);
    QUrl url(target, QUrl::TolerantMode);
    if (url.scheme().size() < 2) {  // a path (a one-letter "scheme" is a drive)
      QString path = QDir(ToQ(dir)).absoluteFilePath(target);
      url = QUrl::fromLocalFile(path);
    }
    return QDesktopServices::openUrl(url);
  }
};

TDesktopShell &DesktopShell() {
  static TDesktopShell shell;
  return shell;
}

IShellServices *g_shell = nullptr;

}  // namespace

IShellServices &ShellServices() { return g_shell ? *g_shell : DesktopShell(); }
void SetShellServices(IShellServices *shell) { g_shell = shell; }

bool TRecordingShell::ShellExecute(QWidget *window, const std::string &verb, const std::string &file,
                                   const std::string &params, const std::string &dir, int show) {
  calls.push_back({window, verb, file, params, dir, show});
  return true;
}

TScopedRecordingShell::TScopedRecordingShell() : previous_(g_shell) { SetShellServices(this); }
TScopedRecordingShell::~TScopedRecordingShell() { SetShellServices(previous_); }

// The shell's "open" and "edit" verbs on a file or an address, and the special folders.
// Windows call ShellExecute below; the program's implementation hands the target to the
// desktop's default program. Tests install TScopedRecordingShell, which records each call
// and opens nothing.
#pragma once

#include <string>
#include <vector>

class QWidget;

// Show commands of a started program.
enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWDEFAULT = 10 };

class IShellServices {
 public:
  virtual ~IShellServices() = default;
  // Runs the verb on file (an address or a path, program text) with the parameters and the
  // working folder; window is the calling window (may be null). False when nothing could
  // be started.
  virtual bool ShellExecute(QWidget *window, const std::string &verb, const std::string &file,
                            const std::string &params, const std::string &dir, int show) = 0;
};

// The installed services (never null); SetShellServices(nullptr) restores the desktop one.
IShellServices &ShellServices();
void SetShellServices(IShellServices *shell);

class TRecordingShell : public IShellServices {
 public:
  struct Call {
    QWidget *window;
    std::string verb, file, params, dir;
    int show;
  };
  std::vector<Call> calls;
  bool ShellExecute(QWidget *window, const std::string &verb, const std::string &file,
                    const std::string &params, const std::string &dir, int show) override;
};

class TScopedRecordingShell : public TRecordingShell {
 public:
  TScopedRecordingShell();
  ~TScopedRecordingShell() override;

 private:
  IShellServices *previous_;
};

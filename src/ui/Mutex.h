// The single-instance guard: one Quillmar runs per user at a time. The first process holds
// a lock file named after the guard and listens on a local socket of the same name; a later
// start finds the lock held, asks the running process (through the socket) to bring its main
// window forward, and ends without touching the settings.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLockFile;
class QLocalServer;
class QWidget;

// The program's guard name.
inline constexpr const char *kMutexName = "mtxQuillmar";

class TSingleInstance : public QObject {
  Q_OBJECT

 public:
  explicit TSingleInstance(const QString &name = QString::fromLatin1(kMutexName), QObject *parent = nullptr);
  // Releases the guard when this process holds it.
  ~TSingleInstance() override;

  // True when this process is the first: the guard is now held and the process listens for
  // later starts. False when another process holds it; that process has been asked to bring
  // its main window forward. A guard that cannot be made at all lets the program run.
  bool Acquire();
  bool Held() const { return held_; }

  // Called in the first process with the main window that was brought forward (or null when
  // none was found) each time a later start knocked; for tests and traces.
  std::function<void(QWidget *)> OnKnock;

  // The running main window a later start looks for: a top-level window of class TfrmMain
  // whose caption is exactly "Quillmar". Null when there is none.
  static QWidget *FindMainWindow();

 private:
  void Knocked();

  QString name_;
  std::unique_ptr<QLockFile> lock_;
  std::unique_ptr<QLocalServer> server_;
  bool held_ = false;
};

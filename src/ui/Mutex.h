// The single-instance guard: one Quillmar runs on a program folder at a time. The first
// process holds a lock file in the program folder and listens on a local socket named after
// that folder; a later start finds the lock held, knocks on the socket and ends without
// touching the settings. The running process answers the knock at once with what it is
// doing (its window, or an unattended run) and, when it has a window, brings it forward.
//
// Both the lock and the socket belong to the folder, not to the environment: two starts
// with different temporary folders still meet. A program folder that is not there yet is
// made for the lock. One that cannot be made or written holds no lock; the program then
// runs without the guard, as it does when the guard cannot be made at all: such a process
// cannot write any file of the folder either.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLockFile;
class QThread;
class QWidget;
class TKnockServer;

// The program's guard name.
inline constexpr const char *kMutexName = "mtxQuillmar";

class TSingleInstance : public QObject {
  Q_OBJECT

 public:
  // What the process that holds the guard is doing, as a later start learns it.
  enum TRunning {
    RunningUnknown,     // no answer (it ended meanwhile, or is not listening)
    RunningWindow,      // the program with its window
    RunningUnattended,  // an unattended update or download check
  };

  // The guard of the program folder folder (a local path). An unattended process tells
  // later starts so when they knock.
  explicit TSingleInstance(const QString &folder, bool unattended = false,
                           const QString &name = QString::fromLatin1(kMutexName), QObject *parent = nullptr);
  // Releases the guard when this process holds it.
  ~TSingleInstance() override;

  // True when this process is the first: the guard is now held and the process listens for
  // later starts. False when another process holds it; that process has been asked to bring
  // its main window forward, and Running() tells what it answered. A guard that cannot be
  // made (a folder that cannot be made or written) lets the program run.
  bool Acquire();
  bool Held() const { return held_; }
  TRunning Running() const { return running_; }

  // The lock file of the guard.
  QString LockPath() const;

  // Called in the first process with the main window that was brought forward (or null when
  // none was found) each time a later start knocked; for tests and traces.
  std::function<void(QWidget *)> OnKnock;

  // The running main window a later start looks for: a top-level window of class TfrmMain
  // whose caption is exactly "Quillmar". Null when there is none.
  static QWidget *FindMainWindow();

 private:
  bool Hold();
  void Knocked();
  QString SocketName() const;

  QString folder_, name_;
  bool unattended_;
  std::unique_ptr<QLockFile> lock_;
  // The socket is served by a thread of its own, so that a knock is answered at once even
  // while this process is busy (an unattended run never returns to its event loop).
  std::unique_ptr<QThread> thread_;
  TKnockServer *server_ = nullptr;
  bool held_ = false;
  TRunning running_ = RunningUnknown;
};

#include "ui/Mutex.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QWidget>
#include <functional>

namespace {

// The answers to a knock.
constexpr char kAnswerWindow[] = "window\n";
constexpr char kAnswerUnattended[] = "unattended\n";
constexpr int kKnockWaitMs = 2000;
constexpr int kKnockTries = 5;

}  // namespace

// The listening end of the guard; lives in the guard's thread.
class TKnockServer : public QObject {
 public:
  // knocked runs in owner's thread after each knock.
  TKnockServer(QByteArray answer, QObject *owner, std::function<void()> knocked)
      : answer_(std::move(answer)), owner_(owner), knocked_(std::move(knocked)) {}

  bool Listen(const QString &name) {
    server_ = new QLocalServer(this);
    // A name in the abstract namespace: no socket file in any folder, gone with the process.
    server_->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!server_->listen(name)) return false;
    connect(server_, &QLocalServer::newConnection, this, [this] { Answer(); });
    return true;
  }
  void Close() {
    if (server_) server_->close();
  }

 private:
  void Answer() {
    while (QLocalSocket *s = server_->nextPendingConnection()) {
      connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
      s->write(answer_);
      s->flush();
      s->disconnectFromServer();
      // The window belongs to the user interface thread.
      QMetaObject::invokeMethod(owner_, knocked_, Qt::QueuedConnection);
    }
  }

  QByteArray answer_;
  QObject *owner_;  // outlives this thread: its guard ends the thread before it goes
  std::function<void()> knocked_;
  QLocalServer *server_ = nullptr;
};

TSingleInstance::TSingleInstance(const QString &folder, bool unattended, const QString &name, QObject *parent)
    : QObject(parent), folder_(folder), name_(name), unattended_(unattended) {}

TSingleInstance::~TSingleInstance() {
  if (thread_) {
    QMetaObject::invokeMethod(server_, [s = server_] { s->Close(); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
  }
  if (lock_ && held_) lock_->unlock();
}

QString TSingleInstance::LockPath() const { return QDir(folder_).filePath(QLatin1Char('.') + name_ + QStringLiteral(".lock")); }

// The folder as the file system resolves it, so that two ways of naming one folder meet.
QString TSingleInstance::SocketName() const {
  QString canonical = QFileInfo(folder_).canonicalFilePath();
  if (canonical.isEmpty()) canonical = QDir::cleanPath(QDir(folder_).absolutePath());
  const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
  return name_ + QLatin1Char('-') + QString::fromLatin1(hash);
}

bool TSingleInstance::Acquire() {
  // The lock lives in the program folder, so a folder that is not there yet (the first run
  // on it) is made now: the settings would make it a moment later, unguarded.
  QDir().mkpath(folder_);
  lock_ = std::make_unique<QLockFile>(LockPath());
  // A lock left by a process that died is taken over at once.
  lock_->setStaleLockTime(0);
  if (lock_->tryLock(0)) return Hold();
  if (lock_->error() != QLockFile::LockFailedError) return true;  // no guard possible: run without it
  // A knock that gets no answer (the other instance still setting up or just going) is
  // tried again a few times before the start ends without knowing what runs; an instance
  // that has ended meanwhile has let go of the lock.
  for (int attempt = 0; attempt < kKnockTries && running_ == RunningUnknown; ++attempt) {
    if (attempt > 0) {
      QThread::msleep(100);
      if (lock_->tryLock(0)) return Hold();
    }
    QLocalSocket knock;
    knock.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    knock.connectToServer(SocketName());
    if (!knock.waitForConnected(kKnockWaitMs)) continue;
    knock.write("show");
    knock.waitForBytesWritten(kKnockWaitMs);
    QByteArray answer;
    while (!answer.endsWith('\n') && (knock.bytesAvailable() > 0 || knock.waitForReadyRead(kKnockWaitMs)))
      answer += knock.readAll();
    // The answer may have come in with the close that ended the last wait.
    answer += knock.readAll();
    running_ = answer == kAnswerUnattended ? RunningUnattended : answer == kAnswerWindow ? RunningWindow : RunningUnknown;
    knock.disconnectFromServer();
  }
  return false;
}

// This process holds the lock: it listens for later starts.
bool TSingleInstance::Hold() {
  held_ = true;
  thread_ = std::make_unique<QThread>();
  server_ = new TKnockServer(unattended_ ? kAnswerUnattended : kAnswerWindow, this, [this] { Knocked(); });
  server_->moveToThread(thread_.get());
  connect(thread_.get(), &QThread::finished, server_, &QObject::deleteLater);
  thread_->start();
  // Without the socket the guard still holds; later starts then end without an answer.
  const QString socket = SocketName();
  QMetaObject::invokeMethod(server_, [this, socket] { server_->Listen(socket); }, Qt::BlockingQueuedConnection);
  return true;
}

void TSingleInstance::Knocked() {
  // An unattended run has no window to show.
  QWidget *w = unattended_ ? nullptr : FindMainWindow();
  if (w) {
    if (w->isMinimized()) w->showNormal();
    w->raise();
    w->activateWindow();
  }
  if (OnKnock) OnKnock(w);
}

QWidget *TSingleInstance::FindMainWindow() {
  for (QWidget *w : QApplication::topLevelWidgets())
    if (qstrcmp(w->metaObject()->className(), "TfrmMain") == 0 && w->windowTitle() == QStringLiteral("Quillmar"))
      return w;
  return nullptr;
}

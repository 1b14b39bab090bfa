#include "ui/Mutex.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QWidget>

namespace {

// Per user, so that two users of one machine each run their own instance.
QString UserName(const QString &name) { return name + QLatin1Char('-') + QString::number(getuid()); }

}  // namespace

TSingleInstance::TSingleInstance(const QString &name, QObject *parent) : QObject(parent), name_(name) {}

TSingleInstance::~TSingleInstance() {
  if (server_) server_->close();
  if (lock_ && held_) lock_->unlock();
}

bool TSingleInstance::Acquire() {
  const QString user_name = UserName(name_);
  lock_ = std::make_unique<QLockFile>(QDir::tempPath() + QLatin1Char('/') + user_name + QStringLiteral(".lock"));
  // A lock left by a process that died is taken over at once.
  lock_->setStaleLockTime(0);
  if (!lock_->tryLock(0)) {
    if (lock_->error() != QLockFile::LockFailedError) return true;  // no guard possible: run without it
    QLocalSocket knock;
    knock.connectToServer(user_name);
    if (knock.waitForConnected(1000)) {
      knock.write("show");
      knock.waitForBytesWritten(1000);
      knock.disconnectFromServer();
    }
    return false;
  }
  held_ = true;
  server_ = std::make_unique<QLocalServer>();
  QLocalServer::removeServer(user_name);  // a socket left by a process that died
  if (server_->listen(user_name))
    connect(server_.get(), &QLocalServer::newConnection, this, &TSingleInstance::Knocked);
  return true;
}

void TSingleInstance::Knocked() {
  while (QLocalSocket *s = server_->nextPendingConnection()) {
    connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    QWidget *w = FindMainWindow();
    if (w) {
      if (w->isMinimized()) w->showNormal();
      w->raise();
      w->activateWindow();
    }
    if (OnKnock) OnKnock(w);
  }
}

QWidget *TSingleInstance::FindMainWindow() {
  for (QWidget *w : QApplication::topLevelWidgets())
    if (qstrcmp(w->metaObject()->className(), "TfrmMain") == 0 && w->windowTitle() == QStringLiteral("Quillmar"))
      return w;
  return nullptr;
}

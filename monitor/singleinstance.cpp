#include "singleinstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

#include "monitorlog.h"

namespace {

const QByteArray kActivate = "activate\n";
constexpr int kActivateWaitMs = 2000;

}  // namespace

QString SingleInstance::lockFilePathFor(const QString& programPath) {
  QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = QDir::tempPath();
  QString canonical = QFileInfo(programPath).canonicalFilePath();
  if (canonical.isEmpty()) canonical = QFileInfo(programPath).absoluteFilePath();
  const QByteArray key =
      QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  return QStringLiteral("%1/%2-%3-%4.lock")
      .arg(dir, QFileInfo(canonical).fileName(), QString::number(::getuid()), QString::fromLatin1(key));
}

SingleInstance::SingleInstance() : SingleInstance(QCoreApplication::applicationFilePath()) {}

SingleInstance::SingleInstance(const QString& programPath)
    : path_(lockFilePathFor(programPath)), lock_(std::make_unique<QLockFile>(path_)) {
  // A monitor holds its lock for as long as the user's session lasts, so
  // the lock must not turn stale by age: only the holder's death (checked by
  // process id and name) releases it.
  lock_->setStaleLockTime(0);
  if (lock_->tryLock(0)) {
    listen();
    return;
  }
  // Only a live holder means another instance; a lock that cannot be made
  // at all (no writable folder) must not keep the monitor from starting.
  running_ = lock_->error() == QLockFile::LockFailedError;
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPath() const {
  QString socket = path_;
  socket.replace(socket.size() - 5, 5, QStringLiteral(".sock"));
  return socket;
}

void SingleInstance::listen() {
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  // We hold the lock: a socket left there is a crashed instance's.
  QLocalServer::removeServer(socketPath());
  if (!server_->listen(socketPath())) {
    qCWarning(hrv::monitor::lcMonitor).noquote()
        << "cannot listen on" << socketPath() << ":" << server_->errorString();
    return;
  }
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* peer = server_->nextPendingConnection()) {
      connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
      connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
        // Only the one request there is; anything else closes the connection.
        if (peer->bytesAvailable() < kActivate.size()) return;
        if (peer->read(kActivate.size()) == kActivate) emit activationRequested();
        peer->disconnectFromServer();
      });
    }
  });
}

bool SingleInstance::activateRunning() const {
  QLocalSocket socket;
  socket.connectToServer(socketPath());
  if (!socket.waitForConnected(kActivateWaitMs)) return false;
  socket.write(kActivate);
  const bool written = socket.waitForBytesWritten(kActivateWaitMs);
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kActivateWaitMs);
  return written;
}

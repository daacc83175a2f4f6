#include "singleinstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

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
  if (lock_->tryLock(0)) return;
  // Only a live holder means another instance; a lock that cannot be made
  // at all (no writable folder) must not keep the monitor from starting.
  running_ = lock_->error() == QLockFile::LockFailedError;
}

SingleInstance::~SingleInstance() = default;

// One running instance of a program per user. The first instance holds a
// lock file in the user's runtime folder, named after the program's own path
// and the user id, and listens on a local socket beside it; a second start
// of the same program by the same user finds the lock taken and asks the
// first, through the socket, to bring its window to the front. The lock of
// an instance that crashed is stale and taken over.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // Takes the lock for the running program (QCoreApplication must exist).
  SingleInstance();
  // The same for a program path given explicitly.
  explicit SingleInstance(const QString& programPath);
  ~SingleInstance() override;

  // True when another process of the same program holds the lock.
  bool isRunning() const { return running_; }
  QString lockFilePath() const { return path_; }
  QString socketPath() const;

  // In a second start: asks the running instance to show its window; true
  // when the request was delivered.
  bool activateRunning() const;

  // The lock file that guards `programPath` for the current user.
  static QString lockFilePathFor(const QString& programPath);

 signals:
  // Another start of the program asked for the window.
  void activationRequested();

 private:
  void listen();

  QString path_;
  std::unique_ptr<QLockFile> lock_;
  bool running_ = false;
  QLocalServer* server_ = nullptr;
};

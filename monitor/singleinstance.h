// One running instance of a program per user. The first instance holds a
// lock file in the user's runtime folder, named after the program's own path
// and the user id; a second start of the same program by the same user finds
// it taken. The lock of an instance that crashed is stale and taken over.
#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

class SingleInstance {
 public:
  // Takes the lock for the running program (QCoreApplication must exist).
  SingleInstance();
  // The same for a program path given explicitly.
  explicit SingleInstance(const QString& programPath);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when another process of the same program holds the lock.
  bool isRunning() const { return running_; }
  QString lockFilePath() const { return path_; }

  // The lock file that guards `programPath` for the current user.
  static QString lockFilePathFor(const QString& programPath);

 private:
  QString path_;
  std::unique_ptr<QLockFile> lock_;
  bool running_ = false;
};

#include "setupfiles.h"

#include "netipinfofile.h"
#include "netsetupcore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>

namespace netsetup {

namespace {

// Owns one file descriptor.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

bool writeAll(int fd, const QByteArray& bytes, off_t offset) {
  for (qsizetype done = 0; done < bytes.size();) {
    const ssize_t n = ::pwrite(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done),
                               offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Through a temporary file and rename(); false, with nothing changed, when
// the folder takes no new file or the old owner cannot be kept.
bool replaceByRename(const QByteArray& path, const QByteArray& content, const struct stat* old) {
  const int slash = path.lastIndexOf('/');
  QByteArray temp = path.left(slash + 1) + '.' + path.mid(slash + 1) + ".XXXXXX";
  Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd.ok()) return false;
  const mode_t mode = old ? old->st_mode & 07777 : 0644;
  const bool ready = writeAll(fd.get(), content, 0) &&
                     (!old || ::fchown(fd.get(), old->st_uid, old->st_gid) == 0) &&
                     ::fchmod(fd.get(), mode) == 0 && ::fsync(fd.get()) == 0 &&
                     ::rename(temp.constData(), path.constData()) == 0;
  if (!ready) ::unlink(temp.constData());
  return ready;
}

// The same regular file, rewritten: new bytes first, then the new length.
bool replaceInPlace(const QByteArray& path, const QByteArray& content, const struct stat& old) {
  Fd fd(::open(path.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat now {};
  if (!fd.ok() || ::fstat(fd.get(), &now) != 0 || !sameFile(now, old) || !S_ISREG(now.st_mode)) return false;
  return writeAll(fd.get(), content, 0) && ::ftruncate(fd.get(), static_cast<off_t>(content.size())) == 0 &&
         ::fsync(fd.get()) == 0;
}

}  // namespace

bool replaceFile(const QString& path, const QByteArray& content, bool create) {
  const QByteArray name = QFile::encodeName(path);
  struct stat old {};
  if (::lstat(name.constData(), &old) != 0) {
    return errno == ENOENT && create && replaceByRename(name, content, nullptr);
  }
  // A link, a device or a pipe planted under the name is never written through.
  if (!S_ISREG(old.st_mode) || old.st_nlink != 1) return false;
  return replaceByRename(name, content, &old) || replaceInPlace(name, content, old);
}

bool writeNetIpInfo(const QString& path, const QString& address) {
  return replaceFile(path, hrv::netipinfo::text(address), true);
}

bool updateSaneConfig(const QString& path, const QString& address) {
  QByteArray content;
  {
    // Only a regular file is read: never a link, nor a pipe that would block.
    const QFileInfo info(path);
    QFile in(path);
    if (info.isSymLink() || !info.isFile() || !in.open(QIODevice::ReadOnly)) return false;
    content = in.readAll();
  }
  // Bytes as they are: line ends and non-UTF-8 comments survive untouched.
  return replaceFile(path, rewriteSaneConfig(content, address), false);
}

}  // namespace netsetup

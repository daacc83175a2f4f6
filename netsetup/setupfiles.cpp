#include "setupfiles.h"

#include "netsetupcore.h"

#include <QFile>

namespace netsetup {

bool writeNetIpInfo(const QString& path, const QString& address) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  const QByteArray bytes = address.toUtf8();
  const bool written = file.write(bytes) == bytes.size();
  return file.flush() && written;
}

bool updateSaneConfig(const QString& path, const QString& address) {
  QByteArray content;
  {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) return false;
    content = in.readAll();
  }
  // Bytes as they are: line ends and non-UTF-8 comments survive untouched.
  const QByteArray rewritten = rewriteSaneConfig(content, address);
  QFile out(path);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::ExistingOnly)) return false;
  const bool written = out.write(rewritten) == rewritten.size();
  return out.flush() && written;
}

}  // namespace netsetup

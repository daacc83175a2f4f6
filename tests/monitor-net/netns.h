// Test support of the network monitor's tests.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace hrvtest {

inline bool writeText(const QString& path, const QByteArray& text) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

}  // namespace hrvtest

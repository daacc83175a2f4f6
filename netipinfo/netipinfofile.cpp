#include "netipinfofile.h"

#include <QFile>
#include <QTextStream>

namespace hrv::netipinfo {

namespace {

QString lastLineRead(QTextStream& in) {
  QString line;
  while (!in.atEnd()) {
    line = in.readLine();
    if (line.split(QLatin1Char('.')).size() == 4) break;
  }
  return line;
}

}  // namespace

QByteArray text(const QString& address) {
  return address.toUtf8();
}

QString address(const QByteArray& text) {
  QTextStream in(text, QIODevice::ReadOnly);
  return lastLineRead(in);
}

std::optional<QString> read(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
  QTextStream in(&file);
  return lastLineRead(in);
}

}  // namespace hrv::netipinfo

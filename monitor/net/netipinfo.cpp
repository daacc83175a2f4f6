#include "netipinfo.h"

#include <QFile>
#include <QTextStream>

#include "monitorlog.h"

namespace hrv::monitor {

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

QString netIpInfoFromText(const QByteArray& text) {
  QTextStream in(text, QIODevice::ReadOnly);
  return lastLineRead(in);
}

QString readNetIpInfo(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    qCDebug(lcMonitor) << "open file failed";
    return QString();
  }
  QTextStream in(&file);
  return lastLineRead(in);
}

}  // namespace hrv::monitor

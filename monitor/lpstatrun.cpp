#include "lpstatrun.h"

#include <QProcess>

#include "config.h"

QByteArray runLpstat(const QString& program, const QStringList& arguments) {
  QProcess lpstat;
  lpstat.setProgram(program);
  lpstat.setArguments(arguments);
  lpstat.setProcessChannelMode(QProcess::SeparateChannels);
  lpstat.setStandardInputFile(QProcess::nullDevice());
  lpstat.start(QIODevice::ReadOnly);
  lpstat.waitForFinished(hrv::kLpstatTimeoutMs);
  QByteArray out = lpstat.readAllStandardOutput();
  if (lpstat.state() != QProcess::NotRunning) {
    lpstat.kill();
    lpstat.waitForFinished(-1);
  }
  return out;
}

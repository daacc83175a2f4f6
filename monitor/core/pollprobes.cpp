#include "pollprobes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "config.h"
#include "monitorlog.h"

namespace hrv::monitor {

namespace {

bool allDigits(const QString& name) {
  if (name.isEmpty()) return false;
  for (const QChar c : name) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  }
  return true;
}

QByteArray upToZero(const QByteArray& bytes) {
  const int zero = bytes.indexOf('\0');
  return zero < 0 ? bytes : bytes.left(zero);
}

// Up to 4 KiB of a file under /proc; empty when it cannot be read.
QByteArray readProcFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return QByteArray();
  return file.read(4096);
}

QString baseName(const QString& path) {
  return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace

QString commandNameFromStat(const QByteArray& statLine) {
  const QString line = QString::fromUtf8(upToZero(statLine));
  const int open = line.indexOf(QLatin1Char('('));
  const int close = line.indexOf(QLatin1Char(')'));
  if (open < 0 || close < open) return QString();
  return line.mid(open + 1, close - open - 1);
}

QString filterProcessName() {
  return QString::fromLatin1(kUsbFilterProgram).left(kCommNameMax);
}

QString firstArgument(const QByteArray& cmdline) {
  return QString::fromLocal8Bit(upToZero(cmdline));
}

bool isUsbFilterProcess(const QString& commandName, const QString& programName, const QString& firstArg) {
  if (commandName != filterProcessName()) return false;
  const QLatin1String usbFilter(kUsbFilterProgram), netFilter(kNetFilterProgram);
  if (!programName.isEmpty()) {
    // A program replaced while it runs is shown as "<path> (deleted)".
    QString program = programName;
    if (program.endsWith(QLatin1String(" (deleted)"))) program.chop(10);
    return program == usbFilter;
  }
  const QString arg = baseName(firstArg);
  return arg != netFilter && arg.compare(QLatin1String(kNetQueue), Qt::CaseInsensitive) != 0;
}

bool filterProcessRunning(const QString& procRoot) {
  const QDir root(procRoot);
  const QString name = filterProcessName();
  const QStringList entries = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  for (const QString& entry : entries) {
    if (!allDigits(entry)) continue;
    const QString dir = root.filePath(entry) + QLatin1Char('/');
    // Gone since the listing, or not readable: not our filter.
    const QByteArray stat = readProcFile(dir + QLatin1String("stat"));
    if (commandNameFromStat(stat) != name) continue;
    const QString program = baseName(QFileInfo(dir + QLatin1String("exe")).symLinkTarget());
    const QString firstArg = firstArgument(readProcFile(dir + QLatin1String("cmdline")));
    qCDebug(lcMonitor).noquote() << "filter process" << entry << program << firstArg;
    if (isUsbFilterProcess(name, program, firstArg)) return true;
  }
  return false;
}

}  // namespace hrv::monitor

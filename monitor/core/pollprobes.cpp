#include "pollprobes.h"

#include <QDir>
#include <QFile>
#include <fstream>
#include <string>

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

// First line of a process's stat file; false when the file cannot be opened
// or holds no text (the process has ended meanwhile).
bool readStatLine(const QString& path, QByteArray* line) {
  std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
  if (!in) {
    qCDebug(lcMonitor) << "the pid stat file can not open!";
    return false;
  }
  std::string text;
  std::getline(in, text);
  *line = upToZero(QByteArray::fromStdString(text));
  return !line->isEmpty();
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

bool filterProcessRunning(const QString& procRoot, const QString& processName) {
  const QDir root(procRoot);
  const QStringList entries = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  for (const QString& entry : entries) {
    if (!allDigits(entry)) continue;
    QByteArray line;
    if (!readStatLine(root.filePath(entry + QLatin1String("/stat")), &line))
      continue;  // gone since the listing, or not readable: not our filter
    if (commandNameFromStat(line) == processName) return true;
  }
  return false;
}

QueueCounts countQueueNames(const QByteArray& lpstatOutput) {
  const QString text = QString::fromLatin1(upToZero(lpstatOutput));
  QueueCounts counts;
  counts.usb = text.count(QLatin1String(kUsbQueue), Qt::CaseInsensitive);
  counts.net = text.count(QLatin1String(kNetQueue), Qt::CaseInsensitive);
  return counts;
}

QStringList lpstatJobArguments(MonitorVariant variant) {
  if (variant == MonitorVariant::Network)
    return {QStringLiteral("-R"), QLatin1String(kUsbQueue), QLatin1String(kNetQueue)};
  return {QStringLiteral("-R")};
}

QStringList lpstatQueueArguments() {
  return {QStringLiteral("-a")};
}

bool usbQueueHasJob(const QueueCounts& counts) {
  return counts.usb > counts.net;
}

bool netQueueHasJob(const QueueCounts& counts) {
  return counts.net > 0;
}

bool hasPrintJobFromLpstat(const QByteArray& lpstatOutput, MonitorVariant variant) {
  const QueueCounts counts = countQueueNames(lpstatOutput);
  if (variant == MonitorVariant::Network) {
    qCDebug(lcMonitor, "usbPrinter Job= %d, netPrinter Job= %d", counts.usb, counts.net);
    return netQueueHasJob(counts);
  }
  return usbQueueHasJob(counts);
}

bool checkPrinterLinkFromLpstat(const QByteArray& lpstatOutput) {
  const QueueCounts counts = countQueueNames(lpstatOutput);
  qCDebug(lcMonitor, "usbPrinter = %d, netPrinter = %d", counts.usb, counts.net);
  return true;
}

}  // namespace hrv::monitor

// The probes of a polling step that look outside the printer: the process
// table (is the USB filter running?) and the CUPS listings (is a job of our
// queue listed?). The process table is read under a root path; the listings
// are parsed from the output of "lpstat", which the window runs.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "statuscatalogue.h"

namespace hrv::monitor {

// The command name of a "/proc/<pid>/stat" line: the text between the first
// "(" and the first ")"; empty when the line has no such pair.
QString commandNameFromStat(const QByteArray& statLine);

// The USB filter's command name as the kernel keeps it ("pstopxl_hrv5720").
QString filterProcessName();

// Scans every numeric entry of `procRoot` ("/proc") and tells whether one of
// them is a process named `processName`. Entries that vanish or cannot be
// read during the scan are skipped; the result stems from the whole scan.
bool filterProcessRunning(const QString& procRoot, const QString& processName = filterProcessName());

// Occurrences of the two queue names in an lpstat output (taken up to its
// first zero byte as Latin-1, case-insensitive). Every "HRV5720ZWB-net" also
// counts as an "HRV5720ZWB".
struct QueueCounts {
  int usb = 0;  // "HRV5720ZWB", network occurrences included
  int net = 0;  // "HRV5720ZWB-net"
};
QueueCounts countQueueNames(const QByteArray& lpstatOutput);

// Arguments of the job listing run by checkPrintJob: "-R" for the USB
// monitor, "-R HRV5720ZWB HRV5720ZWB-net" for the network monitor.
QStringList lpstatJobArguments(MonitorVariant variant);
// Arguments of the queue presence listing (checkPrinterLink): "-a".
QStringList lpstatQueueArguments();

// The USB monitor's job check: a job of the USB queue is listed.
bool usbQueueHasJob(const QueueCounts& counts);
// The network monitor's job check: a job of the network queue is listed.
bool netQueueHasJob(const QueueCounts& counts);
// checkPrintJob for a variant straight from the lpstat output (writes the
// network monitor's debug line).
bool hasPrintJobFromLpstat(const QByteArray& lpstatOutput, MonitorVariant variant);
// checkPrinterLink from the "lpstat -a" output: writes the debug line with
// the two counts; always true.
bool checkPrinterLinkFromLpstat(const QByteArray& lpstatOutput);

}  // namespace hrv::monitor

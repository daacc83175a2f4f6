// The process-table probe of the USB polling step: is the USB filter
// running? The process table is read under a root path ("/proc").
#pragma once

#include <QByteArray>
#include <QString>

namespace hrv::monitor {

// The command name of a "/proc/<pid>/stat" line: the text between the first
// "(" and the first ")"; empty when the line has no such pair.
QString commandNameFromStat(const QByteArray& statLine);

// The USB filter's command name as the kernel keeps it ("pstopxl_hrv5720").
// The network filter's name truncates to the same.
QString filterProcessName();

// The first argument of a "/proc/<pid>/cmdline" text (arguments end at
// zero bytes).
QString firstArgument(const QByteArray& cmdline);

// Whether a process is the USB filter, from its command name, the file
// name of its program ("/proc/<pid>/exe", empty when it cannot be read, as
// for another user's process) and its first argument (CUPS starts a filter
// with the queue name there). Only a process named like the filter counts;
// of those, one whose program or first argument names the network filter
// or the network queue does not.
bool isUsbFilterProcess(const QString& commandName, const QString& programName, const QString& firstArg);

// Scans every numeric entry of `procRoot` ("/proc") and tells whether one of
// them is the USB filter. Entries that vanish or cannot be read during the
// scan are skipped; the result stems from the whole scan.
bool filterProcessRunning(const QString& procRoot);

}  // namespace hrv::monitor

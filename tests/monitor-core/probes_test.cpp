#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "pollprobes.h"

using namespace hrv::monitor;

namespace {

// A process table under a temporary root: "<root>/<entry>/stat".
struct FakeProc {
  QTemporaryDir dir;
  void process(const char* entry, const QByteArray& stat) {
    QDir(dir.path()).mkpath(QString::fromLatin1(entry));
    QFile f(dir.filePath(QString::fromLatin1(entry) + QLatin1String("/stat")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(stat);
  }
  void vanished(const char* entry) { QDir(dir.path()).mkpath(QString::fromLatin1(entry)); }
  bool filterRunning() const { return filterProcessRunning(dir.path()); }
};

}  // namespace

TEST(ProcProbe, CommandName) {
  EXPECT_EQ(filterProcessName(), QStringLiteral("pstopxl_hrv5720"));
  EXPECT_EQ(commandNameFromStat("4242 (pstopxl_hrv5720) S 1 4242 0\n"), QStringLiteral("pstopxl_hrv5720"));
  EXPECT_EQ(commandNameFromStat("7 (Web Content) R"), QStringLiteral("Web Content"));
  EXPECT_EQ(commandNameFromStat("7 (a)b) R"), QStringLiteral("a"));
  EXPECT_EQ(commandNameFromStat(QByteArray("7 (gs\0x) R", 10)), QString());
  EXPECT_EQ(commandNameFromStat("7 ) ( R"), QString());
  EXPECT_EQ(commandNameFromStat(""), QString());
}

TEST(ProcProbe, FindsTheFilterAmongProcesses) {
  FakeProc proc;
  proc.process("1", "1 (systemd) S 0 1 1");
  proc.process("25", "25 (bash) S 1 25 25");
  proc.process("3001", "3001 (pstopxl_hrv5720) S 1 3001 3001");
  proc.process("acpi", "");
  proc.process("self", "9 (statusmon) S 1");
  EXPECT_TRUE(proc.filterRunning());
}

TEST(ProcProbe, ProcessesEndingDuringTheScanDoNotHideTheFilter) {
  // Entries before the filter's that vanished (no stat, or an empty one)
  // are skipped, not taken as the end of the process list.
  FakeProc proc;
  proc.process("1", "1 (systemd) S 0 1 1");
  proc.vanished("100");
  proc.process("150", "");
  proc.process("2000", "2000 (pstopxl_hrv5720) R 1");
  proc.process("2500", "2500 (bash) S 1");
  EXPECT_TRUE(proc.filterRunning());
}

TEST(ProcProbe, OnlyExactCommandNamesOfProcessesCount) {
  FakeProc proc;
  proc.process("1", "1 (systemd) S 0 1 1");
  proc.process("10", "10 (pstopxl_hrv572) S 1");
  proc.process("11", "11 (PSTOPXL_HRV5720) S 1");
  proc.process("12", "12 (pstopxl_hrv5720zwb) S 1");
  proc.process("thread-self", "13 (pstopxl_hrv5720) S 1");  // not a process entry
  proc.process("1x", "14 (pstopxl_hrv5720) S 1");
  EXPECT_FALSE(proc.filterRunning());
  EXPECT_FALSE(filterProcessRunning(QStringLiteral("/nonexistent-proc")));
}

TEST(ProcProbe, RealProcessTable) {
  QFile self(QStringLiteral("/proc/self/stat"));
  ASSERT_TRUE(self.open(QIODevice::ReadOnly));
  const QString me = commandNameFromStat(self.readLine());
  ASSERT_FALSE(me.isEmpty());
  EXPECT_TRUE(filterProcessRunning(QStringLiteral("/proc"), me));
  EXPECT_FALSE(filterProcessRunning(QStringLiteral("/proc"), me + QLatin1String("-none")));
}

TEST(QueueProbe, CountsAndDecisions) {
  const QByteArray usbJob = "  0 HRV5720ZWB-12            alice   1024   Mon 01 Jan 2024 10:00:00\n";
  const QByteArray netJob = "  1 HRV5720ZWB-net-13        bob     2048   Mon 01 Jan 2024 10:01:00\n";

  QueueCounts c = countQueueNames(usbJob + netJob);
  EXPECT_EQ(c.usb, 2);
  EXPECT_EQ(c.net, 1);
  EXPECT_TRUE(hasPrintJobFromLpstat(usbJob + netJob, MonitorVariant::Usb));
  EXPECT_TRUE(hasPrintJobFromLpstat(usbJob + netJob, MonitorVariant::Network));

  EXPECT_FALSE(hasPrintJobFromLpstat(netJob, MonitorVariant::Usb));
  EXPECT_TRUE(hasPrintJobFromLpstat(netJob, MonitorVariant::Network));
  EXPECT_TRUE(hasPrintJobFromLpstat(usbJob, MonitorVariant::Usb));
  EXPECT_FALSE(hasPrintJobFromLpstat(usbJob, MonitorVariant::Network));
  EXPECT_FALSE(hasPrintJobFromLpstat(QByteArray(), MonitorVariant::Usb));

  // Case-insensitive, Latin-1, cut at the first zero byte.
  c = countQueueNames(QByteArray("hrv5720zwb-1 Hrv5720Zwb-NET-2 \xE9\xFF\0HRV5720ZWB-3", 45));
  EXPECT_EQ(c.usb, 2);
  EXPECT_EQ(c.net, 1);
  EXPECT_TRUE(checkPrinterLinkFromLpstat(QByteArray()));

  EXPECT_EQ(lpstatJobArguments(MonitorVariant::Usb), QStringList{QStringLiteral("-R")});
  EXPECT_EQ(
      lpstatJobArguments(MonitorVariant::Network),
      (QStringList{QStringLiteral("-R"), QStringLiteral("HRV5720ZWB"), QStringLiteral("HRV5720ZWB-net")}));
  EXPECT_EQ(lpstatQueueArguments(), QStringList{QStringLiteral("-a")});
}

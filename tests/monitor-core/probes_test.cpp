// The USB filter in the process table, and where the window goes.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "pollprobes.h"
#include "windowplacement.h"

using namespace hrv::monitor;

TEST(ProcProbe, TheUsbFilterIsToldFromTheNetworkFilter) {
  const QString usbComm = QStringLiteral("pstopxl_hrv5720");
  const struct {
    const char *comm, *program, *firstArg;
    bool usb;
  } cases[] = {
      // Our own processes (or root's): the program file tells.
      {"pstopxl_hrv5720", "pstopxl_hrv5720zwb", "HRV5720ZWB", true},
      {"pstopxl_hrv5720", "pstopxl_hrv5720zwb-net", "HRV5720ZWB-net", false},
      {"pstopxl_hrv5720", "pstopxl_hrv5720zwb (deleted)", "HRV5720ZWB", true},
      {"pstopxl_hrv5720", "pstopxl_hrv5720zwb-net", "HRV5720ZWB", false},
      // Another user's (lp's): only the first argument, the queue CUPS runs it for.
      {"pstopxl_hrv5720", "", "HRV5720ZWB", true},
      {"pstopxl_hrv5720", "", "hrv5720zwb-NET", false},
      {"pstopxl_hrv5720", "", "/opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb-net", false},
      {"pstopxl_hrv5720", "", "Office", true},
      {"pstopxl_hrv572", "pstopxl_hrv5720zwb", "HRV5720ZWB", false},
      {"PSTOPXL_HRV5720", "", "HRV5720ZWB", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(isUsbFilterProcess(QString::fromLatin1(c.comm), QString::fromLatin1(c.program),
                                 QString::fromLatin1(c.firstArg)),
              c.usb)
        << c.comm << " " << c.program << " " << c.firstArg;
  EXPECT_EQ(filterProcessName(), usbComm);
  EXPECT_EQ(commandNameFromStat("7 (a)b) R"), QStringLiteral("a"));
  EXPECT_EQ(firstArgument(QByteArray("HRV5720ZWB\0"
                                     "12\0alice\0",
                                     20)),
            QStringLiteral("HRV5720ZWB"));
}

TEST(ProcProbe, ScansTheProcessTable) {
  QTemporaryDir dir;
  auto process = [&](const char* pid, const QByteArray& stat, const QByteArray& cmdline) {
    QDir(dir.path()).mkpath(QString::fromLatin1(pid));
    for (const auto& [name, text] : {std::pair{"stat", stat}, std::pair{"cmdline", cmdline}}) {
      QFile f(dir.filePath(QStringLiteral("%1/%2").arg(QLatin1String(pid), QLatin1String(name))));
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(text);
    }
  };
  process("1", "1 (systemd) S 0 1 1", QByteArray("/sbin/init\0", 11));
  process("150", "", "");                                            // ended during the scan
  process("thread-self", "13 (pstopxl_hrv5720) S 1", "HRV5720ZWB");  // not a process entry
  process("2000", "2000 (pstopxl_hrv5720) R 1",
          QByteArray("HRV5720ZWB-net\0"
                     "7\0",
                     17));
  EXPECT_FALSE(filterProcessRunning(dir.path()));  // the network filter only
  process("2500", "2500 (pstopxl_hrv5720) R 1",
          QByteArray("HRV5720ZWB\0"
                     "8\0",
                     13));
  EXPECT_TRUE(filterProcessRunning(dir.path()));
  EXPECT_FALSE(filterProcessRunning(QStringLiteral("/nonexistent-proc")));
}

TEST(ProcProbe, RealProcesses) {
  // sleep(1) under the two filters' names, looked at through a table of
  // links to their own /proc entries (other tests may run real filters).
  QTemporaryDir dir;
  auto start = [&](QProcess& p, const char* name) {
    const QString program = dir.filePath(QLatin1String(name));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
    p.start(program, {QStringLiteral("30")});
    ASSERT_TRUE(p.waitForStarted());
    const QString pid = QString::number(p.processId());
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/") + pid, dir.filePath(QStringLiteral("proc/") + pid)));
  };
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("proc")));
  QProcess net, usb;
  start(net, "pstopxl_hrv5720zwb-net");
  EXPECT_FALSE(filterProcessRunning(dir.filePath(QStringLiteral("proc"))));
  start(usb, "pstopxl_hrv5720zwb");
  EXPECT_TRUE(filterProcessRunning(dir.filePath(QStringLiteral("proc"))));
  net.kill();
  usb.kill();
  net.waitForFinished();
  usb.waitForFinished();
}

TEST(Placement, TheWindowSitsWhollyInTheLowerRightCorner) {
  const QSize window(520, 350);
  const struct {
    QRect available;
    QPoint at;
  } cases[] = {
      {{0, 0, 1280, 800}, {750, 410}},     {{0, 0, 1024, 768}, {494, 378}},
      {{0, 0, 1920, 1050}, {1390, 660}},   {{0, 28, 1280, 772}, {750, 410}},  // a panel on top
      {{1280, 0, 1024, 768}, {1774, 378}},  // the primary screen right of another
      {{0, 0, 400, 300}, {0, 0}},           // smaller than the window: its top-left part
  };
  for (const auto& c : cases) {
    const QPoint at = windowPosition(c.available, window);
    EXPECT_EQ(at, c.at) << c.available.width() << "x" << c.available.height();
    EXPECT_TRUE(c.available.width() < 530 || c.available.contains(QRect(at, window))) << c.available.width();
  }
}

// The USB filter in the process table, and where the window goes.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "pollprobes.h"
#include "windowplacement.h"

using namespace hrv::monitor;

TEST(ProcProbe, TheUsbFilterIsFoundAndToldFromTheNetworkFilter) {
  // A process as the kernel shows it: its command name cut to 15 characters,
  // its program behind "exe" (unreadable for another user's process), its
  // arguments ending at zero bytes ('|' here), CUPS's queue name the first.
  const struct {
    const char *what, *comm, *exe, *cmdline;
    bool usb;
  } cases[] = {
      {"our own USB filter: its program tells", "pstopxl_hrv5720", "/f/pstopxl_hrv5720zwb", "HRV5720ZWB|1|",
       true},
      {"our own network filter", "pstopxl_hrv5720", "/f/pstopxl_hrv5720zwb-net", "HRV5720ZWB-net|2|", false},
      {"the program before the queue", "pstopxl_hrv5720", "/f/pstopxl_hrv5720zwb-net", "HRV5720ZWB|3|",
       false},
      {"replaced while it runs", "pstopxl_hrv5720", "/f/pstopxl_hrv5720zwb (deleted)", "HRV5720ZWB|", true},
      {"lp's: the queue tells", "pstopxl_hrv5720", "", "HRV5720ZWB|4|", true},
      {"lp's network filter, in any case", "pstopxl_hrv5720", "", "hrv5720zwb-NET|5|", false},
      {"... or started by its path", "pstopxl_hrv5720", "", "/opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb-net",
       false},
      {"another queue of this printer", "pstopxl_hrv5720", "", "Office|6|", true},
      {"a shorter name", "pstopxl_hrv572", "/f/pstopxl_hrv5720zwb", "HRV5720ZWB|", false},
      {"a name in capitals", "PSTOPXL_HRV5720", "", "HRV5720ZWB|", false},
  };
  for (const auto& c : cases) {
    QTemporaryDir proc;
    const auto process = [&](const char* pid, const QByteArray& stat, const char* exe, const char* cmdline) {
      const QString dir = proc.filePath(QLatin1String(pid)) + QLatin1Char('/');
      QDir().mkpath(dir);
      if (*exe) QFile::link(QLatin1String(exe), dir + QLatin1String("exe"));
      for (const auto& [name, text] :
           {std::pair{"stat", stat}, {"cmdline", QByteArray(cmdline).replace('|', '\0')}}) {
        QFile f(dir + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
      }
    };
    process("1", "1 (systemd) S 0 1 1", "/sbin/init", "/sbin/init|");
    process("150", "", "", "");                                            // ended during the scan
    process("thread-self", "13 (pstopxl_hrv5720) S 1", "", "HRV5720ZWB");  // not a process
    process("2000", "2000 (" + QByteArray(c.comm) + ") R 1", c.exe, c.cmdline);
    EXPECT_EQ(filterProcessRunning(proc.path()), c.usb) << c.what;
  }
  EXPECT_FALSE(filterProcessRunning(QStringLiteral("/nonexistent-proc")));
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
  for (const auto& c : cases) EXPECT_EQ(windowPosition(c.available, window), c.at) << c.available.width();
}

// The USB monitor's job check against a real cupsd with both queues
// (tests/e2e/cups-session.sh): a job of another account held in the network
// queue leaves the printer to the monitor, one held in the USB queue while
// the filter runs keeps the monitor away from it.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "emulated_printer.h"
#include "mainwindow.h"
#include "monitorconfig.h"
#include "usbstatussource.h"

namespace {

TEST(JobCheck, TheUsbMonitorLeavesThePrinterToTheFilterPrintingAnotherUsersJob) {
  if (!qEnvironmentVariableIsSet("HRV_STAGE")) GTEST_SKIP() << "runs inside tests/e2e/cups-session.sh";
  QTemporaryDir dir;
  // The filter's process, in a process table of its own.
  const QString stat = dir.filePath(QStringLiteral("proc/4242/stat"));
  QFile file(stat);
  ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("proc/4242")) && file.open(QIODevice::WriteOnly) &&
              file.write("4242 (pstopxl_hrv5720) R 1 4242\n") > 0);
  file.close();
  ASSERT_EQ(QProcess::execute(QStringLiteral("cancel"), {"-a"}), 0);  // the jobs of earlier runs
  // A job of alice's that stays in the queue until it is cancelled.
  const auto holdJob = [&](const char* queue) {
    return QProcess::execute(QStringLiteral("lp"), {"-d", queue, "-U", "alice", "-H", "hold", stat}) == 0;
  };
  hrvtest::EmulatedPrinter printer(
      hrvtest::Script{{{"CheckStatus?", {hrvtest::Reply::text("CODE=10001\r\n"), hrvtest::Reply::empty()}}}});
  MonitorConfig config = usbMonitorConfig();
  config.trayWaitRounds = 0;
  config.printerInfoPath = dir.filePath(QStringLiteral("printerInfo"));
  MainWindow window(config,
                    std::make_unique<UsbStatusSource>(UsbStatusSource::Setup{
                        dir.filePath(QStringLiteral("proc")), dir.filePath(QStringLiteral("printerState"))}));

  ASSERT_TRUE(holdJob("HRV5720ZWB-net"));  // not ours: the printer is asked
  window.printerStateCheck();
  EXPECT_EQ(printer.writtenText(), "CheckStatus?");
  printer.clearWritten();
  ASSERT_TRUE(holdJob("HRV5720ZWB"));
  window.printerStateCheck();
  EXPECT_TRUE(printer.requests().empty());
  EXPECT_TRUE(window.core().hasPrintJob());
}

}  // namespace

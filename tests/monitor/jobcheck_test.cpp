// The monitors' job checks against a real cupsd with both queues
// (tests/e2e/cups-session.sh): jobs of another account held in one queue or
// the other, counted as an ordinary user counts them, and the USB monitor
// keeping away from the printer while the filter prints such a job.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "cupsqueues.h"
#include "emulated_printer.h"
#include "mainwindow.h"
#include "monitorconfig.h"
#include "qt_test_app.h"
#include "usbstatussource.h"

namespace {

int run(const QString& program, const QStringList& arguments, QByteArray* out = nullptr) {
  QProcess p;
  p.start(program, arguments);
  if (!p.waitForFinished(30000)) return -1;
  if (out) *out = p.readAllStandardOutput();
  return p.exitCode();
}

// The active jobs of a queue as the user "nobody" sees them.
int jobsSeenByNobody(const char* queue) {
  QByteArray out;
  const int status =
      run(QStringLiteral("setpriv"),
          {"--reuid=nobody", "--regid=nogroup", "--clear-groups", QCoreApplication::applicationFilePath(),
           "--count-jobs", QString::fromLatin1(queue)},
          &out);
  return status == 0 ? out.trimmed().toInt() : -1;
}

class JobCheck : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  void SetUp() override {
    if (!std::getenv("HRV_STAGE")) GTEST_SKIP() << "runs inside tests/e2e/cups-session.sh";
    QFile doc(dir.filePath(QStringLiteral("page.ps")));
    ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
    doc.write("%!PS-Adobe-3.0\n%%Pages: 1\n%%EndComments\nshowpage\n%%EOF\n");
    doc.close();
    ASSERT_EQ(run(QStringLiteral("cancel"), {"-a"}), 0);
  }
  // A job of alice's that stays in the queue until it is cancelled.
  void holdJob(const char* queue) {
    ASSERT_EQ(run(QStringLiteral("lp"), {"-d", queue, "-U", "alice", "-H", "hold", dir.filePath("page.ps")}),
              0);
  }
};

TEST_F(JobCheck, JobsOfEveryUserCountInTheirOwnQueue) {
  EXPECT_EQ(jobsSeenByNobody("HRV5720ZWB") * 10 + jobsSeenByNobody("HRV5720ZWB-net"), 0);
  holdJob("HRV5720ZWB-net");
  EXPECT_EQ(jobsSeenByNobody("HRV5720ZWB") * 10 + jobsSeenByNobody("HRV5720ZWB-net"), 1);
  holdJob("HRV5720ZWB");
  holdJob("HRV5720ZWB");
  EXPECT_EQ(jobsSeenByNobody("HRV5720ZWB") * 10 + jobsSeenByNobody("HRV5720ZWB-net"), 21);
}

TEST_F(JobCheck, TheUsbMonitorLeavesThePrinterToTheFilterPrintingAnotherUsersJob) {
  // The filter's process, in a process table of its own.
  ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("proc/4242")));
  QFile stat(dir.filePath(QStringLiteral("proc/4242/stat")));
  ASSERT_TRUE(stat.open(QIODevice::WriteOnly));
  stat.write("4242 (pstopxl_hrv5720) R 1 4242 4242 0 -1\n");
  stat.close();
  hrvtest::EmulatedPrinter printer(
      hrvtest::Script{{{"CheckStatus?", {hrvtest::Reply::text("CODE=10001\r\n"), hrvtest::Reply::empty()}}}});
  MonitorConfig config = usbMonitorConfig();
  config.trayWaitRounds = 0;
  config.printerInfoPath = dir.filePath(QStringLiteral("printerInfo"));
  MainWindow window(config,
                    std::make_unique<UsbStatusSource>(UsbStatusSource::Setup{
                        dir.filePath(QStringLiteral("proc")), dir.filePath(QStringLiteral("printerState"))}));

  holdJob("HRV5720ZWB-net");  // not ours: the printer is asked
  window.printerStateCheck();
  EXPECT_EQ(printer.writtenText(), "CheckStatus?");
  printer.clearWritten();
  holdJob("HRV5720ZWB");
  window.printerStateCheck();
  EXPECT_TRUE(printer.requests().empty());
  EXPECT_TRUE(window.core().hasPrintJob());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--count-jobs") == 0) {
    std::printf("%d\n", cupsActiveJobs(QString::fromLatin1(argv[2])));
    return 0;
  }
  return hrvtest::runQtGTests(argc, argv);
}

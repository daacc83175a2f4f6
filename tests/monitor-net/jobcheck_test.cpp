// The network monitor's job check against a real cupsd with both queues
// (tests/e2e/cups-session.sh): jobs held in one queue or the other, the
// polling step's "lpstat -R HRV5720ZWB HRV5720ZWB-net" run for real.
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

#include "netns.h"

namespace {

using namespace hrvtest;

class JobCheck : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString document;

  void SetUp() override {
    if (!std::getenv("HRV_STAGE")) GTEST_SKIP() << "runs inside tests/e2e/cups-session.sh";
    ASSERT_TRUE(writeText(QStringLiteral("/opt/vorn/HRV5720ZWB/bin/net/config/netIpInfo"), "127.0.0.1"));
    document = dir.filePath(QStringLiteral("page.ps"));
    ASSERT_TRUE(writeText(document, "%!PS-Adobe-3.0\n%%Pages: 1\n%%EndComments\nshowpage\n%%EOF\n"));
    ASSERT_EQ(runProgram(QStringLiteral("cancel"), {QStringLiteral("-a")}), 0);
  }

  // A job that stays in the queue until it is cancelled.
  void holdJob(const char* queue) {
    ASSERT_EQ(runProgram(QStringLiteral("lp"), {QStringLiteral("-d"), QString::fromLatin1(queue),
                                                QStringLiteral("-H"), QStringLiteral("hold"), document}),
              0);
  }
  // One polling step of the monitor; what it found.
  static bool stepFindsAJob() {
    NetMonitor monitor(QStringLiteral("lpstat"));
    monitor.step();
    return monitor.core().hasPrintJob();
  }
};

TEST_F(JobCheck, AJobOfTheNetworkQueueCountsAndOneOfTheUsbQueueAloneDoesNot) {
  EXPECT_FALSE(stepFindsAJob());  // both queues empty

  holdJob("HRV5720ZWB-net");
  EXPECT_TRUE(stepFindsAJob());

  ASSERT_EQ(runProgram(QStringLiteral("cancel"), {QStringLiteral("-a")}), 0);
  holdJob("HRV5720ZWB");
  EXPECT_FALSE(stepFindsAJob());

  holdJob("HRV5720ZWB-net");  // one in each
  EXPECT_TRUE(stepFindsAJob());
}

}  // namespace

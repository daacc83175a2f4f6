// The network monitor over its UDP channel, inside a private network
// namespace: the window with the real status source, stand-in printers on
// loopback addresses, netIpInfo at its fixed path.
#include <QDir>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "netns.h"

namespace {

using namespace hrvtest;

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

class Channel : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!insideTestNamespace()) GTEST_SKIP() << "needs root for a private network namespace";
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("/opt/vorn/HRV5720ZWB/bin/net/config")));
    setAddress("127.0.0.1");
  }
  static void setAddress(const QByteArray& text) {
    ASSERT_TRUE(writeText(QStringLiteral("/opt/vorn/HRV5720ZWB/bin/net/config/netIpInfo"), text));
  }
};

TEST_F(Channel, ItTalksToThePrinterInNetIpInfoOnly) {
  FakePrinter printer("127.0.0.1"), moved("127.0.0.3");
  ASSERT_TRUE(printer.bound() && moved.bound());
  NetMonitor monitor;
  ASSERT_TRUE(monitor.stepAndReply());
  EXPECT_EQ(printer.requests, 1);
  EXPECT_EQ(printer.lastRequestPort, 9102);
  EXPECT_EQ(monitor.title(), u("打印机准备就绪"));
  monitor.window().windowClose();  // hidden to the tray

  // Cover-open reports from anyone else on the network change nothing.
  FakePrinter stranger("127.0.0.2"), otherPort("127.0.0.1", 9100);
  for (FakePrinter* p : {&stranger, &otherPort}) ASSERT_TRUE(p->send("CODE=40021\r\n"));
  ASSERT_TRUE(monitor.waitForDatagrams(3));
  EXPECT_EQ(monitor.fromPrinter(), 1);
  EXPECT_EQ(monitor.title(), u("打印机准备就绪"));
  EXPECT_FALSE(monitor.window().isVisible());

  // The setup tool gives the printer another address: the next step asks there.
  moved.reply = "CODE=40021\r\n";
  setAddress("127.0.0.3");
  ASSERT_TRUE(monitor.stepAndReply());
  EXPECT_EQ(moved.requests, 1);
  EXPECT_EQ(printer.requests, 1);
  EXPECT_EQ(monitor.title(), u("盖子未合上"));
  EXPECT_TRUE(monitor.window().isVisible());
}

TEST_F(Channel, AFloodFromThePrinterLeavesTheNextReplyIntact) {
  FakePrinter printer("127.0.0.1");
  ASSERT_TRUE(printer.bound());
  printer.reply = "CODE=40021\r\n";
  NetMonitor monitor;
  int cases = 0, failures = 0;
  auto check = [&](const char* what, bool ok) {
    ++cases;
    if (!ok) {
      ++failures;
      ADD_FAILURE() << what;
    }
  };
  // One datagram per notification, whole and in order, up to the largest there is.
  QByteArray largest(65507 - 12, 'x');
  largest += "\rCODE=40121\r";
  for (const QByteArray& d : {QByteArray("CODE=40021\r\n"), QByteArray(), largest}) printer.send(d);
  check("three datagrams in turn", monitor.waitForDatagrams(3) && monitor.core().lastStatusCode() == 40121);

  // Random bytes and malformed status text, as fast as the socket takes them.
  QRandomGenerator random(20251206);
  for (int i = 0; i < 20000; ++i) {
    QByteArray d(static_cast<int>(random.bounded(i % 97 == 0 ? 65507 : 600)), '\0');
    for (char& c : d) c = static_cast<char>(random.bounded(256));
    if (i % 3 == 1) d = "CODE=" + QByteArray::number(random.bounded(10000, 40000)) + "=\r" + d.left(40);
    printer.send(d);
    if (i % 100 == 0) runEventsUntil([] { return false; }, 0);
  }
  runEventsUntil([&] { return !monitor.source().statusSocket()->hasPendingDatagrams(); }, 60000);
  check("the flood was read", monitor.datagrams() > 100);
  check("the next reply is shown", monitor.stepAndReply() && monitor.core().lastStatusCode() == 40021 &&
                                       monitor.title() == u("盖子未合上"));
  std::printf("hostile: net-monitor %d cases, %d failures, 0 crashes\n", cases, failures);
  std::fflush(stdout);
}

}  // namespace

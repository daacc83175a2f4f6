// The network monitor over its UDP channel: the window with the real status
// source, inside a private network namespace, asking the printer simulator
// on 127.0.0.1:9101 and reading netIpInfo at its fixed path.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config.h"
#include "netns.h"
#include "ui_mainwindow.h"

namespace {

using namespace hrvtest;

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

const QString kNetConfig = QStringLiteral("/opt/vorn/HRV5720ZWB/bin/net/config");

class Channel : public ::testing::Test {
 protected:
  std::unique_ptr<PrinterSim> sim;
  std::unique_ptr<NetMonitor> monitor;

  void SetUp() override {
    if (!insideTestNamespace()) GTEST_SKIP() << "needs root for a private network namespace";
    ASSERT_TRUE(QDir().mkpath(kNetConfig));
    setAddress("127.0.0.1");
    // No CUPS here: the job listing is empty.
    ASSERT_TRUE(writeText(stage("lpstat"), "#!/bin/sh\nexit 0\n"));
    QFile::setPermissions(stage("lpstat"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  void TearDown() override {
    monitor.reset();
    sim.reset();
  }

  static QString stage(const char* name) { return namespaceStage() + QLatin1Char('/') + QLatin1String(name); }
  static void setAddress(const QByteArray& text) {
    ASSERT_TRUE(writeText(kNetConfig + QStringLiteral("/netIpInfo"), text));
  }
  void start(const QByteArray& statusScript) {
    sim = std::make_unique<PrinterSim>(stage("sim"), statusScript);
    ASSERT_TRUE(sim->ready());
    monitor = std::make_unique<NetMonitor>(stage("lpstat"));
  }
  // One step and its reply.
  void exchange() { ASSERT_TRUE(monitor->stepAndReply()); }
  QColor titleColour() const {
    return monitor->window().form()->printer_state->palette().color(QPalette::WindowText);
  }
};

TEST_F(Channel, AsksWithGetStatusFromPort9102ToThePrinterAddress) {
  // A stand-in printer that keeps what arrives on its status port.
  QUdpSocket printer;
  ASSERT_TRUE(printer.bind(QHostAddress::LocalHost, hrv::kStatusPort));
  monitor = std::make_unique<NetMonitor>(stage("lpstat"));
  EXPECT_EQ(monitor->source().link().printerAddress(), QStringLiteral("127.0.0.1"));
  monitor->step();
  ASSERT_TRUE(QTest::qWaitFor([&] { return printer.hasPendingDatagrams(); }, 5000));
  QByteArray request(static_cast<int>(printer.pendingDatagramSize()), '\0');
  QHostAddress from;
  quint16 fromPort = 0;
  printer.readDatagram(request.data(), request.size(), &from, &fromPort);
  EXPECT_EQ(request, QByteArray("GetStatus;"));
  EXPECT_EQ(fromPort, hrv::kStatusReplyPort);
  EXPECT_EQ(monitor->source().link().linkLost(), 0);
}

TEST_F(Channel, AReadyReplyIsShownOnceAndItsRepeatChangesNothing) {
  start("10001");
  const int startBalloons = monitor->balloons();
  EXPECT_EQ(monitor->title(), u("网络状态监视器启动"));

  exchange();
  EXPECT_EQ(monitor->title(), u("打印机准备就绪"));
  EXPECT_EQ(monitor->message(), u("打印机准备就绪，等待打印任务"));
  EXPECT_EQ(monitor->core().lastStatusCode(), 10001);
  EXPECT_EQ(monitor->balloons(), startBalloons + 1);  // same level, a balloon all the same

  exchange();
  EXPECT_EQ(monitor->title(), u("打印机准备就绪"));
  EXPECT_EQ(monitor->balloons(), startBalloons + 1);
  EXPECT_NE(sim->log().count(QStringLiteral("status 127.0.0.1:9102 10001")), 0);
}

TEST_F(Channel, ACoverOpenReplyShowsTheHiddenWindowInRed) {
  start("40021");
  monitor->window().windowClose();  // hidden to the tray
  ASSERT_FALSE(monitor->window().isVisible());

  exchange();
  EXPECT_TRUE(monitor->window().isVisible());
  EXPECT_EQ(monitor->title(), u("盖子未合上"));
  EXPECT_EQ(monitor->message(), u("打开前盖板后，重新关闭前盖板"));
  EXPECT_EQ(titleColour(), QColor(Qt::red));
  EXPECT_EQ(monitor->window().currentLevel(), 3);
  EXPECT_EQ(monitor->window().findChild<QTimer*>(QStringLiteral("closeTimer"))->interval(), 600000);
}

TEST_F(Channel, AnEmptyDatagramKeepsPrintingAndOtherwiseShowsReady) {
  // While printing: nothing changes.
  start("10023,empty");
  exchange();
  ASSERT_EQ(monitor->title(), u("正在打印"));
  const int balloons = monitor->balloons();
  exchange();
  EXPECT_EQ(monitor->datagramSize(monitor->datagrams() - 1), 0);
  EXPECT_EQ(monitor->title(), u("正在打印"));
  EXPECT_EQ(monitor->balloons(), balloons);

  // Any other text, here a cover left open: ready at once, past the
  // catalogue (the last code stays).
  sim->setStatus("40021,empty");
  exchange();
  ASSERT_EQ(monitor->title(), u("盖子未合上"));
  exchange();
  EXPECT_EQ(monitor->title(), u("打印机准备就绪"));
  EXPECT_EQ(monitor->message(), u("打印机准备就绪，等待打印任务"));
  EXPECT_EQ(monitor->window().currentLevel(), 1);
  EXPECT_EQ(monitor->core().lastStatusCode(), 40021);
}

TEST_F(Channel, TheFourthEmptyDatagramAfterACancelShowsReady) {
  start("10007,empty");
  exchange();
  // The network monitor's own texts for 10007.
  ASSERT_EQ(monitor->title(), u("取消打印"));
  ASSERT_EQ(monitor->message(), u("PC端取消打印作业"));
  for (int i = 1; i <= 3; ++i) {
    exchange();
    EXPECT_EQ(monitor->title(), u("取消打印")) << i;
    EXPECT_EQ(monitor->core().readyWaitCount(), i);
  }
  exchange();
  EXPECT_EQ(monitor->title(), u("打印机准备就绪"));
  EXPECT_EQ(monitor->core().readyWaitCount(), 0);
}

TEST_F(Channel, ALostLinkWarnsOnceRereadsTheAddressAndShowsTheFirstCodeAgain) {
  start("10001");
  exchange();
  ASSERT_EQ(monitor->title(), u("打印机准备就绪"));
  const int balloons = monitor->balloons();

  // The printer's network goes away: sends fail.
  ASSERT_EQ(runProgram(QStringLiteral("ip"), {"addr", "del", "127.0.0.1/8", "dev", "lo"}), 0);
  monitor->step();
  EXPECT_EQ(monitor->source().link().linkLost(), 1);
  EXPECT_EQ(monitor->title(), u("警告"));
  EXPECT_EQ(monitor->message(), u("网络连接错误！\n请检查打印机和电脑的网线连接状态"));
  EXPECT_EQ(monitor->window().currentLevel(), 3);
  EXPECT_TRUE(monitor->window().isVisible());
  EXPECT_EQ(monitor->core().lastStatusCode(), 0);
  EXPECT_EQ(monitor->balloons(), balloons + 1);

  // While lost, every step reads the address again; more failures (here
  // addresses on networks out of reach) warn no more.
  setAddress("192.0.2.7");
  monitor->step();
  EXPECT_EQ(monitor->source().link().printerAddress(), QStringLiteral("192.0.2.7"));
  setAddress("# moved\n198.51.100.20");
  monitor->step();
  EXPECT_EQ(monitor->source().link().printerAddress(), QStringLiteral("198.51.100.20"));
  EXPECT_EQ(monitor->source().link().linkLost(), 1);
  EXPECT_EQ(monitor->balloons(), balloons + 1);

  // A valid address again: the next step sends, the link is back, and the
  // same code as before the loss is shown again.
  ASSERT_EQ(runProgram(QStringLiteral("ip"), {"addr", "add", "127.0.0.1/8", "dev", "lo"}), 0);
  setAddress("127.0.0.1");
  exchange();
  EXPECT_EQ(monitor->source().link().linkLost(), 0);
  EXPECT_EQ(monitor->title(), u("打印机准备就绪"));
  EXPECT_EQ(monitor->window().currentLevel(), 1);
  EXPECT_EQ(monitor->balloons(), balloons + 2);
}

TEST_F(Channel, EachReadyReadTakesOneDatagramWholeAndInOrder) {
  start("silent");
  UdpSender sender;
  const quint16 port = hrv::kStatusReplyPort;
  // Three at once: one handled per notification, in order.
  ASSERT_EQ(sender.send("CODE=40021\r\n", port), 12);
  ASSERT_EQ(sender.send("", port), 0);
  ASSERT_EQ(sender.send("CODE=10001\r\n", port), 12);
  ASSERT_TRUE(monitor->waitForDatagrams(3));
  EXPECT_EQ(monitor->datagramSize(0), 12);
  EXPECT_EQ(monitor->datagramSize(1), 0);
  EXPECT_EQ(monitor->datagramSize(2), 12);
  EXPECT_EQ(monitor->core().lastStatusCode(), 10001);

  // The largest datagram there is, its code at the very end.
  QByteArray big(65507 - 12, 'x');
  big += "\rCODE=40121\r";
  ASSERT_EQ(sender.send(big, port), 65507);
  ASSERT_TRUE(monitor->waitForDatagrams(4));
  EXPECT_EQ(monitor->datagramSize(3), 65507);
  EXPECT_EQ(monitor->core().lastStatusCode(), 40121);
  EXPECT_EQ(monitor->title(), u("禁用双面"));

  // Hundreds of codes in one reply, each dispatched in turn: the last one
  // stays on the window.
  QByteArray many;
  for (int i = 0; i < 300; ++i) many += "CODE=" + QByteArray::number(i % 2 ? 40021 : 10023) + "\r\n";
  many += "CODE=10001\r\n";
  const int balloons = monitor->balloons();
  ASSERT_EQ(sender.send(many, port), many.size());
  ASSERT_TRUE(monitor->waitForDatagrams(5));
  EXPECT_EQ(monitor->balloons(), balloons + 301);
  EXPECT_EQ(monitor->title(), u("打印机准备就绪"));
}

// One malformed status line: codes below the 40000s (so that none of them is
// the reply asked for), or "CODE=" with no number, no "=", a zero byte, bytes
// that are no UTF-8, another "=".
QByteArray malformedLine(QRandomGenerator& random) {
  const QByteArray code = QByteArray::number(random.bounded(10000, 40000));
  switch (random.bounded(8)) {
    case 0:
      return "CODE=" + code;
    case 1:
      return "CODE=";
    case 2:
      return "CODE" + code;
    case 3:
      return "CODE==" + code;
    case 4:
      return "CODE=" + code.left(2) + QByteArray(1, '\0') + code.mid(2);
    case 5:
      return "CODE=\xff\xfe\xc3\x28" + code;
    case 6:
      return "=CODE=" + code + "=";
    default: {
      QByteArray junk(static_cast<int>(random.bounded(1, 40)), '\0');
      for (char& c : junk) c = static_cast<char>(random.bounded(256));
      return "CODE=" + junk.replace("4", "-");
    }
  }
}

// Malformed lines with any line separators, a zero byte among them.
QByteArray malformedText(QRandomGenerator& random, int lines) {
  static const QByteArray separators[] = {"\r", "\n", "\r\n", "", QByteArray(1, '\0')};
  QByteArray text;
  for (int i = 0; i < lines; ++i) text += malformedLine(random) + separators[random.bounded(5)];
  return text;
}

// Random bytes and malformed status text, now and then a datagram of the
// largest size or one with hundreds of "CODE=" lines, sent as fast as the
// socket takes them.
void flood(int count, quint32 seed) {
  UdpSender sender;
  QRandomGenerator random(seed);
  QByteArray manyCodes;
  for (int i = 0; i < 400; ++i)
    manyCodes += "CODE=" + QByteArray::number(random.bounded(10000, 40000)) + "\r";
  for (int i = 0; i < count; ++i) {
    QByteArray datagram;
    if (i % 500 == 0) {
      datagram = manyCodes;
    } else if (i % 500 == 250) {
      datagram = malformedText(random, 400);
    } else if (i % 3 == 1) {
      datagram = malformedText(random, static_cast<int>(random.bounded(1, 40)));
    } else {
      const int size = i % 97 == 0 ? 65507 : static_cast<int>(random.bounded(600));
      datagram.resize(size);
      for (char& c : datagram) c = static_cast<char>(random.bounded(256));
    }
    sender.send(datagram, hrv::kStatusReplyPort);
  }
}

// A datagram as if from the printer; true once the monitor has handled it.
bool deliver(NetMonitor& monitor, const QByteArray& datagram) {
  const int before = monitor.datagrams();
  return UdpSender().send(datagram, hrv::kStatusReplyPort) == datagram.size() &&
         monitor.waitForDatagrams(before + 1);
}

// Floods the monitor from another thread and lets it work off what the socket
// kept of the flood. Then a ready reply and the printer's answer to the next
// step must both be shown: true once they were.
bool floodThenAsk(NetMonitor& monitor, int count, quint32 seed, int code) {
  std::atomic<bool> done{false};
  std::thread sender([&] {
    flood(count, seed);
    done = true;
  });
  const bool sent = runEventsUntil([&] { return done.load(); }, 300000);
  sender.join();
  QUdpSocket& socket = *monitor.source().statusSocket();
  if (!sent || !runEventsUntil([&] { return !socket.hasPendingDatagrams(); }, 60000)) return false;
  // A reply to a full socket would be dropped like any datagram.
  if (!deliver(monitor, "CODE=10001\r\n") || monitor.core().lastStatusCode() != 10001) return false;
  monitor.step();
  return runEventsUntil([&] { return monitor.core().lastStatusCode() == code; }, 10000);
}

// A datagram that is no proper reply, and what it leaves on the window.
struct Malformed {
  const char* name;
  QByteArray datagram;
  int code;           // lastStatusCode afterwards
  const char* title;  // UTF-8; nullptr: whichever of the codes before the last was shown
};

std::vector<Malformed> malformedDatagrams() {
  const char *ready = "打印机准备就绪", *memoryFull = "内存已满";
  QRandomGenerator random(7);
  QByteArray manyCodes;
  for (int i = 0; i < 300; ++i)
    manyCodes += "CODE=" + QByteArray::number(random.bounded(10000, 40000)) + "\r\n";
  return {
      {"CODE= without a number", "CODE=\r\nCODE=\r\n", 0, ready},
      {"no = after CODE", "CODE 30016\r\nCODE:30016\rCODE30016", 10001, ready},
      {"a second = ends the code", "CODE=30016=40021\r\n", 30016, memoryFull},
      {"a zero byte ends the number",
       QByteArray("CODE=30016\0"
                  "40021\r\n",
                  18),
       30016, memoryFull},
      {"a zero byte before the number",
       QByteArray("CODE=\0"
                  "30016\r\n",
                  13),
       0, ready},
      {"bytes that are no UTF-8", "CODE=\xff\xfe\xfd\r\n\xc3\x28\r\n", 0, ready},
      {"a negative code", "CODE=-30016\r\n", -30016, ready},
      {"a hexadecimal code", "CODE=0x7530\r\n", 0, ready},
      {"white space around the code", "STATUS CODE=  30016 \t\n", 30016, memoryFull},
      {"a number too large", "CODE=99999999999999999999\r\n", 0, ready},
      {"line feeds only: one piece", "CODE=30016\nCODE=10023\n", 0, ready},
      {"carriage returns only", QByteArray(1000, '\r'), 10001, ready},
      {"hundreds of codes, the last one stays", manyCodes + "CODE=30016\r\n", 30016, memoryFull},
      {"hundreds of malformed lines", malformedText(random, 400) + "\rCODE=\r", 0, nullptr},
      {"the largest datagram of CODE=", QByteArray(65505, 'C').replace(0, 5, "CODE=") + "\r\n", 0, ready},
  };
}

TEST_F(Channel, MalformedTextAndAFloodLeaveTheNextReplyIntact) {
  start("40021");
  int cases = 0, failures = 0;
  auto tally = [&](const std::string& name, const std::vector<std::string>& problems) {
    ++cases;
    if (problems.empty()) return;
    ++failures;
    std::string all;
    for (const std::string& p : problems) all += "\n  " + p;
    ADD_FAILURE() << name << ":" << all;
  };

  for (const Malformed& m : malformedDatagrams()) {
    std::vector<std::string> problems;
    auto expect = [&](bool ok, const std::string& what) {
      if (!ok) problems.push_back(what);
    };
    expect(deliver(*monitor, "CODE=10001\r\n") && monitor->title() == u("打印机准备就绪"), "ready not shown");
    expect(deliver(*monitor, m.datagram), "datagram not handled");
    expect(
        monitor->core().lastStatusCode() == m.code,
        "code " + std::to_string(monitor->core().lastStatusCode()) + ", expected " + std::to_string(m.code));
    expect(!m.title || monitor->title() == u(m.title), "title " + monitor->title().toStdString());
    // The printer's next reply.
    expect(monitor->stepAndReply(), "no reply to the next step");
    expect(monitor->core().lastStatusCode() == 40021 && monitor->title() == u("盖子未合上"),
           "real reply shown as " + monitor->title().toStdString());
    tally(m.name, problems);
  }

  // Random bytes and malformed text, as fast as they go.
  const bool intact = floodThenAsk(*monitor, 20000, 20251206, 40021);
  // Whatever the socket kept of the flood was read, at the very least
  // what its receive buffer holds at the end.
  RecordProperty("datagrams_handled", monitor->datagrams());
  tally("a flood of 20000 datagrams",
        intact && monitor->datagrams() > 100 && monitor->title() == u("盖子未合上") &&
                monitor->message() == u("打开前盖板后，重新关闭前盖板") && titleColour() == QColor(Qt::red)
            ? std::vector<std::string>{}
            : std::vector<std::string>{"the real reply after the flood was not shown"});
  std::printf("hostile: net-monitor %d cases, %d failures, 0 crashes\n", cases, failures);
  std::fflush(stdout);
}

TEST_F(Channel, MemoryStaysPutUnderFloods) {
  start("40021");
  // The first round settles what the monitor needs anyway.
  ASSERT_TRUE(floodThenAsk(*monitor, 5000, 1, 40021));
  const long before = memoryInUseKiB();
  ASSERT_GT(before, 0);
  for (quint32 round = 0; round < 8; ++round) ASSERT_TRUE(floodThenAsk(*monitor, 20000, 100 + round, 40021));
  const long after = memoryInUseKiB();
  RecordProperty("kib_before", static_cast<int>(before));
  RecordProperty("kib_after", static_cast<int>(after));
  RecordProperty("datagrams_handled", monitor->datagrams());
  EXPECT_LT(after - before, 3 * 1024);
}

}  // namespace

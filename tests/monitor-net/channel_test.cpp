// statusmon-net's window with its real status source, run by ctest in a
// private mount and network namespace (tests/lib/sandbox-exec.sh): stand-in
// printers on loopback addresses, netIpInfo at its installed path.
#include <QDir>
#include <QFileInfo>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <cstdio>

#include "config.h"
#include "mainwindow.h"
#include "monitorconfig.h"
#include "netns.h"
#include "netstatussource.h"
#include "ui_mainwindow.h"

namespace {

class Channel : public ::testing::Test {
 protected:
  NetStatusSource* source = nullptr;  // owned by the window
  std::unique_ptr<MainWindow> window;
  int datagrams = 0;   // handled, or dropped as a stranger's
  QUdpSocket printer;  // at the address in netIpInfo

  void SetUp() override {
    if (!qEnvironmentVariableIsSet("HRV_NETNS"))
      GTEST_SKIP() << "runs in a private namespace (ctest, as root)";
    ASSERT_TRUE(QDir().mkpath(QFileInfo(QLatin1String(hrv::kNetIpInfo)).path()) &&
                hrvtest::writeText(QLatin1String(hrv::kNetIpInfo), "127.0.0.1") &&
                printer.bind(QHostAddress::LocalHost, 9101));
    NetStatusSource::Setup setup = NetStatusSource::installed();
    setup.activeJobs = [](const QString&) { return 0; };
    source = new NetStatusSource(setup);
    MonitorConfig config = networkMonitorConfig();
    config.trayWaitRounds = 0;  // offscreen has no tray
    window = std::make_unique<MainWindow>(config, std::unique_ptr<StatusSource>(source));
    window->findChild<QTimer*>(QStringLiteral("pollTimer"))->stop();  // the tests take the steps
    QObject::connect(source, &NetStatusSource::datagramHandled, source, [this] { ++datagrams; });
  }
  bool handled(int count) {
    return QTest::qWaitFor([&] { return datagrams >= count; }, 10000);
  }
  // One step, its request answered with `reply`: the request as "<bytes> from <port>".
  QString step(const QByteArray& reply) {
    window->printerStateCheck();
    if (!QTest::qWaitFor([&] { return printer.hasPendingDatagrams(); }, 10000))
      return QStringLiteral("nothing");
    const QNetworkDatagram request = printer.receiveDatagram();
    const int before = datagrams;
    printer.writeDatagram(reply, request.senderAddress(), static_cast<quint16>(request.senderPort()));
    return QStringLiteral("%1 from %2%3")
        .arg(QString::fromLatin1(request.data()))
        .arg(request.senderPort())
        .arg(QLatin1String(handled(before + 1) ? "" : ", no reply handled"));
  }
  QString title() const { return window->form()->printer_state->text(); }
};

TEST_F(Channel, ItTalksToThePrinterInNetIpInfoOnly) {
  EXPECT_EQ(step("CODE=10001\r\n"), QStringLiteral("GetStatus; from 9102"));
  EXPECT_EQ(title(), QStringLiteral("打印机准备就绪"));
  window->windowClose();  // hidden to the tray

  // A cover-open report from another address, or from another port of the printer's, changes nothing.
  QUdpSocket stranger, otherPort;
  ASSERT_TRUE(stranger.bind(QHostAddress(QStringLiteral("127.0.0.2")), 9101) &&
              otherPort.bind(QHostAddress::LocalHost, 9100));
  for (QUdpSocket* s : {&stranger, &otherPort})
    s->writeDatagram("CODE=40021\r\n", QHostAddress::LocalHost, 9102);
  ASSERT_TRUE(handled(3));
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(title(), QStringLiteral("打印机准备就绪"));
}

TEST_F(Channel, AFloodFromThePrinterLeavesTheNextReplyIntact) {
  int cases = 0, failures = 0;
  auto check = [&](const char* what, bool ok) {
    ++cases;
    if (!ok) ++failures, ADD_FAILURE() << what;
  };
  const auto send = [&](const QByteArray& d) { printer.writeDatagram(d, QHostAddress::LocalHost, 9102); };
  // One datagram per notification, whole and in order, up to the largest there is.
  for (const QByteArray& d :
       {QByteArray("CODE=40021\r\n"), QByteArray(), QByteArray(65507 - 12, 'x') + "\rCODE=40121\r"})
    send(d);
  check("three datagrams in turn", handled(3) && window->core().lastStatusCode() == 40121);

  // Random bytes and malformed status text.
  QRandomGenerator random(20251206);
  for (int i = 0; i < 300; ++i) {
    QByteArray d(static_cast<int>(random.bounded(i % 97 == 0 ? 65507 : 600)), '\0');
    for (char& c : d) c = static_cast<char>(random.bounded(256));
    send(i % 3 == 1 ? "CODE=" + QByteArray::number(random.bounded(10000, 40000)) + "=\r" + d.left(40) : d);
    if (i % 50 == 0) QCoreApplication::processEvents();
  }
  check("the flood was read",
        QTest::qWaitFor([&] { return !source->statusSocket()->hasPendingDatagrams(); }, 60000) &&
            datagrams > 100);
  check("the next reply is shown", step("CODE=40021\r\n") == QStringLiteral("GetStatus; from 9102") &&
                                       title() == QStringLiteral("盖子未合上"));
  std::printf("hostile: net-monitor %d cases, %d failures, 0 crashes\n", cases, failures);
  std::fflush(stdout);
}

}  // namespace

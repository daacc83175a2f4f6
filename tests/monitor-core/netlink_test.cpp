// The network monitor's polling step and reply handling over a scripted
// address file and socket.
#include <gtest/gtest.h>

#include "fakes.h"
#include "netpollstep.h"

using namespace hrv::monitor;

namespace {

const char kNetLost[] = "网络连接错误！\n请检查打印机和电脑的网线连接状态";

struct NetLink : ::testing::Test, NetPollHost {
  QString address = QStringLiteral("192.168.1.50");
  qint64 sendResult = 10;
  std::vector<QString> sentTo;
  NetStatusLink link;
  MonitorCore core{MonitorVariant::Network};
  FakeView view;

  bool checkPrintJob() override { return false; }
  QString readNetIpInfo() override { return address; }
  qint64 sendStatusRequest(const QString& to, const QByteArray& request) override {
    EXPECT_EQ(request, QByteArray("GetStatus;"));
    sentTo.push_back(to);
    return sendResult;
  }
  void step() { link.printerStateCheck(*this, core, view); }
  bool reply(const char* from, quint16 port, const QByteArray& datagram) {
    return link.datagramRead(QHostAddress(QString::fromLatin1(from)), port, datagram.size(), datagram, core,
                             view);
  }
  int warnings() const {
    int n = 0;
    for (const Shown& s : view.shown) n += s.message.toUtf8() == QByteArray(kNetLost);
    return n;
  }
};

}  // namespace

TEST_F(NetLink, OnlyThePrintersStatusPortIsListenedTo) {
  link.start(*this);
  const struct {
    const char* from;
    quint16 port;
    bool accepted;
  } senders[] = {
      {"192.168.1.51", 9101, false}, {"192.168.1.50", 9100, false},       {"192.168.1.50", 40000, false},
      {"::1", 9101, false},          {"::ffff:192.168.1.50", 9101, true}, {"192.168.1.50", 9101, true},
  };
  for (const auto& s : senders) {
    const size_t before = view.shown.size();
    EXPECT_EQ(reply(s.from, s.port, "CODE=40021\r\n"), s.accepted) << s.from << ":" << s.port;
    EXPECT_EQ(view.shown.size(), before + (s.accepted && before == 0 ? 1 : 0)) << s.from;
  }
  // No address: nobody is the printer.
  address.clear();
  step();
  EXPECT_FALSE(reply("192.168.1.50", 9101, "CODE=10001\r\n"));
}

TEST_F(NetLink, TheAddressFileIsFollowedFromTheNextStep) {
  link.start(*this);
  step();
  address = QStringLiteral("10.0.0.7");
  step();
  EXPECT_EQ(sentTo, (std::vector<QString>{QStringLiteral("192.168.1.50"), QStringLiteral("10.0.0.7")}));
  EXPECT_FALSE(reply("192.168.1.50", 9101, "CODE=40021\r\n"));
  EXPECT_TRUE(reply("10.0.0.7", 9101, "CODE=40021\r\n"));
}

TEST_F(NetLink, ASilentPrinterIsWarnedOfOncePerLoss) {
  link.start(*this);
  for (int i = 0; i < 3; ++i) step();  // three requests unanswered
  EXPECT_EQ(warnings(), 0);
  step();
  EXPECT_EQ(warnings(), 1);
  EXPECT_EQ(view.shown.back().level, 3);
  for (int i = 0; i < 5; ++i) step();
  EXPECT_EQ(warnings(), 1);

  // It answers again: its state is shown, even the one shown before.
  ASSERT_TRUE(reply("192.168.1.50", 9101, "CODE=10001\r\n"));
  ASSERT_TRUE(reply("192.168.1.50", 9101, "CODE=40021\r\n"));
  link.printerStateCheck(*this, core, view);
  for (int i = 0; i < 3; ++i) step();
  EXPECT_EQ(warnings(), 2);  // a new loss
  EXPECT_EQ(core.lastStatusCode(), 0);
  ASSERT_TRUE(reply("192.168.1.50", 9101, "CODE=40021\r\n"));
  EXPECT_EQ(view.lastTitle().toUtf8(), QByteArray("盖子未合上"));

  // Answers in time keep it quiet; a failed send warns at once, once.
  for (int i = 0; i < 10; ++i) {
    step();
    reply("192.168.1.50", 9101, "");
  }
  EXPECT_EQ(warnings(), 2);
  sendResult = -1;
  step();
  step();
  EXPECT_EQ(warnings(), 3);

  // No network printer set up: nothing to miss.
  NetStatusLink unset;
  address.clear();
  sendResult = 10;
  for (int i = 0; i < 10; ++i) unset.printerStateCheck(*this, core, view);
  EXPECT_EQ(warnings(), 3);
}

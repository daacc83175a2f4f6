#include <gtest/gtest.h>

#include "fakes.h"

using namespace hrv::monitor;

namespace {

struct PollStep : ::testing::Test {
  MonitorCore core;
  FakeHost host;
  void step() { core.printerStateCheck(host); }
  int shownWith(const char* message) const {
    int n = 0;
    for (const Shown& s : host.shown) n += s.message.toUtf8() == QByteArray(message);
    return n;
  }
  void answer(const QByteArray& reply) { host.reads.push_back({reply.size(), reply}); }
  void silence() { host.reads.push_back({0, QByteArray()}); }
};

}  // namespace

TEST_F(PollStep, FilterBusyReadsTheStateFileAndLeavesUsbAlone) {
  host.filter = host.job = true;
  host.stateLine = QStringLiteral("CODE=10023");
  step();
  EXPECT_FALSE(host.touchedUsb());
  EXPECT_EQ(host.busChecks, 0);  // window visible: no need to look at the bus
  EXPECT_EQ(host.stateReads, 1);
  EXPECT_EQ(host.jobInfoReads, 2);  // the branch, then code 10023
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].title.toUtf8(), QByteArray("正在打印"));
  EXPECT_TRUE(core.filterRunning());
  EXPECT_TRUE(core.hasPrintJob());

  // Filter alone (e.g. finishing) or a job alone: the printer is asked.
  host.job = false;
  step();
  EXPECT_EQ(host.inits, 1);
  host.filter = false;
  host.job = true;
  step();
  EXPECT_EQ(host.inits, 2);
}

TEST_F(PollStep, FilterBusyWithThePrinterGoneWarnsOnlyWhenHidden) {
  host.filter = host.job = true;
  host.onBus = false;
  host.hidden = 1;
  host.stateLine = QStringLiteral("CODE=10023");
  step();
  EXPECT_EQ(shownWith("打印队列非空，但USB连接错误！\n请检查打印机和电脑的USB连接状态"), 1);
  EXPECT_EQ(host.shown.back().level, 3);
  EXPECT_EQ(host.stateReads, 0);
  EXPECT_EQ(host.hidden, 0);
  step();  // window now visible: the state file again
  EXPECT_EQ(host.stateReads, 1);
  EXPECT_FALSE(host.touchedUsb());

  // A failed driver detach takes the same branch.
  FakeHost h2;
  h2.initResult = kUsbBusy;
  h2.stateLine = QStringLiteral("CODE=10001");
  core.printerStateCheck(h2);
  EXPECT_EQ(h2.inits, 1);
  EXPECT_EQ(h2.stateReads, 1);
  EXPECT_EQ(h2.releases, 0);
}

TEST_F(PollStep, UnpluggedWarnsOnceThenShowsTheFirstCodeAgain) {
  answer("CODE=10001\r\n");
  step();
  ASSERT_EQ(host.shown.size(), 1u);

  host.initResult = kUsbNoPrinter;
  step();
  step();
  const char* lost = "USB连接错误！\n请检查打印机和电脑的USB连接状态";
  EXPECT_EQ(shownWith(lost), 1);
  EXPECT_EQ(host.shown.back().level, 3);
  EXPECT_EQ(core.lastStatusCode(), 0);
  EXPECT_EQ(core.usbErrorShown(), 1);
  EXPECT_EQ(host.releases, 1);

  host.initResult = kUsbOk;
  answer("CODE=10001\r\n");
  step();
  EXPECT_EQ(host.lastTitle().toUtf8(), QByteArray("打印机准备就绪"));
  EXPECT_EQ(host.shown.size(), 3u);

  // Lost again: warned again. The busy branch re-arms the warning too.
  host.initResult = kUsbNoPrinter;
  step();
  host.initResult = kUsbBusy;
  step();
  host.initResult = kUsbNoPrinter;
  step();
  EXPECT_EQ(shownWith(lost), 3);
}

TEST_F(PollStep, OpenPrinterExchange) {
  answer("CODE=10001\r\n");
  silence();
  step();
  ASSERT_EQ(host.sent.size(), 1u);
  EXPECT_EQ(host.sent[0], QByteArray("CheckStatus?"));
  EXPECT_EQ(host.readSizes, (std::vector<unsigned>{8192, 8192}));
  EXPECT_EQ(host.releases, 1);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(core.lastStatusCode(), 10001);

  // Reply cut at the first zero byte; a failed read passes on what arrived.
  host.reads.push_back({12, QByteArray("CODE=40021\r\0CODE=10001\r", 23)});
  host.reads.push_back({254, QByteArray("CODE=44116")});
  step();
  ASSERT_EQ(host.shown.size(), 3u);
  EXPECT_EQ(host.shown[1].title.toUtf8(), QByteArray("盖子未合上"));
  EXPECT_EQ(host.shown[2].title.toUtf8(), QByteArray("双面卡纸"));

  // A full buffer without any zero byte is taken whole.
  QByteArray full(8192, 'x');
  full.replace(8192 - 11, 11, "\rCODE=65013");
  host.reads.push_back({8192, full});
  step();
  EXPECT_EQ(core.lastStatusCode(), 65013);
}

TEST_F(PollStep, TwoEmptyReadsWhilePrintingShowReadyAtOnce) {
  host.level = 1;
  host.balloonText = QStringLiteral("打印机正在打印");
  step();
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].title.toUtf8(), QByteArray("打印机准备就绪"));
  EXPECT_EQ(core.readyWaitCount(), 1);  // first read counted, second showed ready
  EXPECT_EQ(core.lastStatusCode(), 0);

  // A failed read without bytes is not a silence: nothing counts.
  host.reads.push_back({254, QByteArray()});
  host.reads.push_back({254, QByteArray()});
  step();
  EXPECT_EQ(core.readyWaitCount(), 1);
  EXPECT_EQ(host.shown.size(), 1u);
}

TEST_F(PollStep, SilenceAfterCancelShowsReadyAtTheSecondStep) {
  host.level = 1;
  host.balloonText = QStringLiteral("打印作业被取消");
  step();
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(core.readyWaitCount(), 2);
  step();
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(core.readyWaitCount(), 0);

  // Silence while initialising shows ready; any other text shows nothing.
  FakeHost init;
  init.level = 2;
  init.balloonText = QStringLiteral("打印机正在初始化打印引擎，请稍后……");
  MonitorCore c2;
  c2.printerStateCheck(init);
  ASSERT_FALSE(init.shown.empty());
  EXPECT_EQ(init.shown[0].level, 1);
  EXPECT_EQ(c2.readyWaitCount(), 0);

  FakeHost idle;
  idle.balloonText = QStringLiteral("纸盒1无A4尺寸纸张");
  c2.printerStateCheck(idle);
  EXPECT_TRUE(idle.shown.empty());
}

TEST_F(PollStep, LostPrinterAndBusyFilterResetTheWaitCount) {
  host.level = 1;
  host.balloonText = QStringLiteral("打印作业被取消");
  step();
  ASSERT_EQ(core.readyWaitCount(), 2);
  host.initResult = kUsbNoPrinter;
  step();
  EXPECT_EQ(core.readyWaitCount(), 0);
  host.initResult = kUsbOk;
  step();
  host.initResult = kUsbBusy;
  step();
  EXPECT_EQ(core.readyWaitCount(), 0);
}

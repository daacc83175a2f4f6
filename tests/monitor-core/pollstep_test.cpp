// The USB monitor's polling step over a scripted outside world (fakes.h).
#include <gtest/gtest.h>

#include "fakes.h"

using namespace hrv::monitor;

namespace {

const char kLost[] = "USB连接错误！\n请检查打印机和电脑的USB连接状态";
const char kBusyLost[] = "打印队列非空，但USB连接错误！\n请检查打印机和电脑的USB连接状态";

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
};

}  // namespace

TEST_F(PollStep, TheFilterPrintingAJobOfTheQueueOwnsThePrinter) {
  const struct {
    bool filter, job;
    int initResult;
    bool usbAsked;
  } cases[] = {
      {true, true, kUsbOk, false},     // printing: the state file stands in
      {true, false, kUsbOk, true},     // the filter alone (finishing)
      {false, true, kUsbOk, true},     // a job waiting
      {false, false, kUsbBusy, true},  // detaching the kernel driver failed
  };
  for (const auto& c : cases) {
    FakeHost h;
    MonitorCore mc;
    h.filter = c.filter;
    h.job = c.job;
    h.initResult = c.initResult;
    h.stateLine = QStringLiteral("CODE=10023");
    mc.printerStateCheck(h);
    EXPECT_EQ(h.inits, c.usbAsked ? 1 : 0) << c.filter << c.job;
    const bool busy = !c.usbAsked || c.initResult == kUsbBusy;
    EXPECT_EQ(h.stateReads, busy ? 1 : 0) << c.filter << c.job;
    EXPECT_EQ(h.sent.size(), busy ? 0u : 1u) << c.filter << c.job;
    if (busy) {
      EXPECT_EQ(h.lastTitle().toUtf8(), QByteArray("正在打印"));
      EXPECT_EQ(h.jobInfoReads, 2);  // the branch, then code 10023
    }
  }
}

TEST_F(PollStep, ThePrinterGoneWhileTheFilterPrintsWarnsOnlyWhenHidden) {
  host.filter = host.job = true;
  host.onBus = false;
  host.hidden = 1;
  host.stateLine = QStringLiteral("CODE=10023");
  step();
  EXPECT_EQ(shownWith(kBusyLost), 1);
  EXPECT_EQ(host.stateReads, 0);
  step();  // the window is up now: the state file again
  EXPECT_EQ(host.stateReads, 1);
  EXPECT_FALSE(host.touchedUsb());
}

TEST_F(PollStep, AnUnpluggedPrinterWarnsOncePerLossAndItsFirstCodeIsShownAgain) {
  answer("CODE=10001\r\n");
  step();
  host.initResult = kUsbNoPrinter;
  step();
  step();
  EXPECT_EQ(shownWith(kLost), 1);
  EXPECT_EQ(core.lastStatusCode(), 0);

  host.initResult = kUsbOk;
  answer("CODE=10001\r\n");
  step();
  EXPECT_EQ(host.lastTitle().toUtf8(), QByteArray("打印机准备就绪"));
  EXPECT_EQ(host.shown.size(), 3u);

  // Lost again: warned again; the busy branch re-arms the warning too.
  for (int result : {kUsbNoPrinter, kUsbBusy, kUsbNoPrinter}) {
    host.initResult = result;
    step();
  }
  EXPECT_EQ(shownWith(kLost), 3);
}

TEST_F(PollStep, TheExchangeWithAnOpenPrinter) {
  answer("CODE=10001\r\n");
  step();
  EXPECT_EQ(host.sent, std::vector<QByteArray>{"CheckStatus?"});
  EXPECT_EQ(host.readSizes, (std::vector<unsigned>{8192, 8192}));
  EXPECT_EQ(host.releases, 1);
  EXPECT_EQ(core.lastStatusCode(), 10001);

  // A reply is cut at its first zero byte; a failed read passes on what arrived.
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

TEST_F(PollStep, SilenceAfterPrintingOrCancellingShowsReady) {
  host.level = 1;
  host.balloonText = QStringLiteral("打印机正在打印");
  step();  // the first read counts, the second shows ready at once
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].title.toUtf8(), QByteArray("打印机准备就绪"));
  EXPECT_EQ(core.readyWaitCount(), 1);

  // A failed read without bytes is no silence.
  host.reads.push_back({254, QByteArray()});
  host.reads.push_back({254, QByteArray()});
  step();
  EXPECT_EQ(core.readyWaitCount(), 1);

  host.balloonText = QStringLiteral("打印作业被取消");
  step();
  EXPECT_EQ(core.readyWaitCount(), 3);
  step();
  EXPECT_EQ(host.shown.size(), 2u);
  EXPECT_EQ(core.readyWaitCount(), 1);

  // A lost printer and the busy branch start the count afresh.
  for (int result : {kUsbNoPrinter, kUsbBusy}) {
    host.initResult = result;
    step();
    EXPECT_EQ(core.readyWaitCount(), 0);
  }
}

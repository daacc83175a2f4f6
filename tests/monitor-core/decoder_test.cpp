#include <gtest/gtest.h>

#include "fakes.h"

using namespace hrv::monitor;

namespace {

struct Decoder : ::testing::Test {
  MonitorCore core;
  FakeView view;
  void reply(const QByteArray& bytes) { core.execReturnMsg(bytes, view); }
  std::vector<QByteArray> titles() const {
    std::vector<QByteArray> t;
    for (const Shown& s : view.shown) t.push_back(s.title.toUtf8());
    return t;
  }
};

}  // namespace

TEST_F(Decoder, CarriageReturnSplitsLinesAndLastCodeStays) {
  reply("CODE=10001\r\nCODE=10023\r\n");
  EXPECT_EQ(titles(), (std::vector<QByteArray>{"打印机准备就绪", "正在打印"}));
  EXPECT_EQ(view.jobInfoReads, 1);
  EXPECT_EQ(core.lastStatusCode(), 10023);

  // Pieces without CODE= are ignored; a line-feed-only reply is one line.
  reply("junk\rCODE=40021\n\r\n");
  EXPECT_EQ(view.lastTitle(), QStringLiteral("盖子未合上"));
  EXPECT_EQ(view.shown.back().level, 3);
  reply("CODE=10001\nCODE=10023\n");  // not a number between the '='s
  EXPECT_EQ(core.lastStatusCode(), 0);
  EXPECT_EQ(view.shown.size(), 3u);
  reply(QByteArray());
  reply("STATUS OK\r\n");
  EXPECT_EQ(view.shown.size(), 3u);
}

TEST_F(Decoder, RepeatsAreShownOnceUntilAnotherCodeOrReset) {
  reply("CODE=40021\r\n");
  reply("CODE=40021\r\n");
  reply("CODE=40021\rCODE=40021\r");
  EXPECT_EQ(view.shown.size(), 1u);
  reply("CODE=10001\r\n");
  reply("CODE=40021\r\n");
  EXPECT_EQ(view.shown.size(), 3u);
  core.resetLastStatusCode();
  reply("CODE=40021\r\n");
  EXPECT_EQ(view.shown.size(), 4u);
}

TEST_F(Decoder, UnlistedCodesShowNothingButBreakTheRepeat) {
  reply("CODE=10001\r\n");
  reply("CODE=10002\r\n");
  EXPECT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(core.lastStatusCode(), 10002);
  reply("CODE=10001\r\n");
  EXPECT_EQ(view.shown.size(), 2u);
  reply("CODE=xyz\r\n");
  EXPECT_EQ(core.lastStatusCode(), 0);
  EXPECT_EQ(view.shown.size(), 2u);
}

TEST_F(Decoder, EngineInitDependsOnJobAndLevel) {
  // With a job queued: the engine is warming up for it.
  core.setHasPrintJob(true);
  reply("CODE=10003\r\n");
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(view.shown[0].title.toUtf8(), QByteArray("打印引擎初始化中……"));

  // No job, an error on screen: ready stands in and becomes the last code.
  MonitorCore idle;
  FakeView v2;
  v2.level = 3;
  idle.execReturnMsg("CODE=10003\r\n", v2);
  ASSERT_EQ(v2.shown.size(), 1u);
  EXPECT_EQ(v2.shown[0].title.toUtf8(), QByteArray("打印机准备就绪"));
  EXPECT_EQ(idle.lastStatusCode(), 10001);
  idle.execReturnMsg("CODE=10001\r\n", v2);
  EXPECT_EQ(v2.shown.size(), 1u);

  // No job, already at level 1: nothing, and a later 10003 is a repeat.
  MonitorCore quiet;
  FakeView v3;
  v3.level = 1;
  quiet.execReturnMsg("CODE=10003\r\n", v3);
  EXPECT_TRUE(v3.shown.empty());
  EXPECT_EQ(quiet.lastStatusCode(), 10003);
  v3.level = 3;
  quiet.execReturnMsg("CODE=10003\r\n", v3);
  EXPECT_TRUE(v3.shown.empty());
}

TEST_F(Decoder, CommunicationAndPasswordErrorsOnlyWhileHidden) {
  for (int code : {44444, 99999}) {
    MonitorCore c;
    FakeView v;
    const QByteArray line = "CODE=" + QByteArray::number(code) + "\r\n";
    c.execReturnMsg(line, v);
    EXPECT_TRUE(v.shown.empty()) << code;
    EXPECT_EQ(c.lastStatusCode(), code);
    v.hidden = 1;
    c.execReturnMsg(line, v);  // still a repeat
    EXPECT_TRUE(v.shown.empty()) << code;
    c.execReturnMsg("CODE=10002\r\n", v);
    c.execReturnMsg(line, v);
    ASSERT_EQ(v.shown.size(), 1u) << code;
    EXPECT_EQ(v.shown[0].level, 3);
    EXPECT_EQ(v.shown[0].title, findStatusEntry(code)->title);
  }
}

TEST_F(Decoder, SpecialAndVariantTexts) {
  reply("CODE=88888\r\n");
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(view.shown[0].title.toUtf8(), QByteArray("打印机违规外联！"));
  EXPECT_TRUE(view.shown[0].message.isEmpty());
  reply("CODE=60129\r\n");
  EXPECT_EQ(view.shown.back().level, 3);

  MonitorCore net(MonitorVariant::Network);
  FakeView v;
  net.execReturnMsg("CODE=10007\r\n", v);
  ASSERT_EQ(v.shown.size(), 1u);
  EXPECT_EQ(v.shown[0].message.toUtf8(), QByteArray("PC端取消打印作业"));
}

TEST(NoReplyRules, NetworkEmptyDatagram) {
  EXPECT_EQ(netEmptyReplyRule(QStringLiteral("打印机正在打印")), NoReplyAction::Nothing);
  EXPECT_EQ(netEmptyReplyRule(QStringLiteral("打印机正在初始化打印引擎，请稍后……")),
            NoReplyAction::ShowReady);
  EXPECT_EQ(netEmptyReplyRule(QStringLiteral("纸盒1无A4尺寸纸张")), NoReplyAction::ShowReady);
}

TEST(NoReplyRules, NetworkCancelShowsReadyAtTheFourthEmptyDatagram) {
  MonitorCore net(MonitorVariant::Network);
  FakeView v;
  v.level = 1;
  v.balloonText = QStringLiteral("PC端取消打印作业");
  for (int i = 0; i < 3; ++i) net.emptyDatagram(v);
  EXPECT_TRUE(v.shown.empty());
  net.emptyDatagram(v);
  ASSERT_EQ(v.shown.size(), 1u);
  EXPECT_EQ(v.shown[0].title.toUtf8(), QByteArray("打印机准备就绪"));
  EXPECT_EQ(net.readyWaitCount(), 0);
  EXPECT_EQ(net.lastStatusCode(), 0);
}

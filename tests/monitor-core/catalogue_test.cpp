// The status code catalogue and the decoding of replies into shown states.
#include <gtest/gtest.h>

#include <QStringList>

#include <map>
#include <set>

#include "fakes.h"
#include "statuscatalogue.h"

using namespace hrv::monitor;

namespace {

const MonitorVariant kUsb = MonitorVariant::Usb, kNet = MonitorVariant::Network;

QByteArray u8(const QString& s) {
  return s.toUtf8();
}

}  // namespace

TEST(Catalogue, ShapeAndSampleTexts) {
  for (MonitorVariant v : {kUsb, kNet}) {
    std::map<int, int> perLevel, perFamily;
    for (const StatusEntry& e : statusCatalogue(v)) {
      ++perLevel[e.level];
      if (e.message == QStringLiteral("请加纸")) ++perFamily[e.code / 100];
    }
    // 5 information; 20 part-life warnings + 100 tray paper sizes; the rest critical.
    EXPECT_EQ(perLevel, (std::map<int, int>{{1, 5}, {2, 120}, {3, 211}}));
    // Ten paper-size families of 25 sizes each.
    EXPECT_EQ(perFamily, (std::map<int, int>{{112, 25},
                                             {113, 25},
                                             {114, 25},
                                             {115, 25},
                                             {410, 25},
                                             {412, 25},
                                             {413, 25},
                                             {414, 25},
                                             {415, 25},
                                             {419, 25}}));
  }
  for (int notACode : {11201, 11203, 11281, 41981, 41102, 10002, 0})
    EXPECT_EQ(findStatusEntry(notACode), nullptr);

  const struct {
    int code;
    MonitorVariant variant;
    int level;
    const char *title, *message;
  } samples[] = {
      {11213, kUsb, 2, "纸盒1无A4尺寸纸张", "请加纸"},
      {11471, kUsb, 2,
       "纸盒3无3\xC3\x97"
       "5尺寸纸张",
       "请加纸"},
      {41536, kUsb, 3, "纸盒用途为仅纸盒4时,纸盒4无自定义尺寸纸张", "请加纸"},
      {41972, kUsb, 3, "纸盒用途为自动选择时,所有进纸槽无Envelope You #4尺寸纸张", "请加纸"},
      {10001, kUsb, 1, "打印机准备就绪", "打印机准备就绪\xEF\xBC\x8C等待打印任务"},
      {10007, kUsb, 1, "取消打印作业", "打印作业被取消"},
      {10007, kNet, 1, "取消打印", "PC端取消打印作业"},
      {88888, kNet, 3, "打印机违规外联！", ""},
      {99999, kUsb, 3, "安全打印密码错误",
       "电脑端设置安全打印密码错误，\n请在电脑端打印队列删除打印任务，并重新打印"},
  };
  for (const auto& s : samples) {
    const StatusEntry* e = findStatusEntry(s.code, s.variant);
    ASSERT_NE(e, nullptr) << s.code;
    EXPECT_EQ(e->level, s.level) << s.code;
    EXPECT_EQ(u8(e->title), QByteArray(s.title)) << s.code;
    EXPECT_EQ(u8(e->message), QByteArray(s.message)) << s.code;
  }
}

TEST(Catalogue, CodeAndPriorityClassOfALine) {
  const struct {
    const char* line;
    int code, cls;
  } cases[] = {
      {"CODE=88888", 88888, 4},   {"CODE=41013", 41013, 3},         {"CODE=11313", 11313, 2},
      {"CODE=40000", 40000, 1},   {"CODE=12345", 12345, 3},         {"CODE=11201", 11201, 2},
      {"CODE=11600", 11600, 3},   {"CODE=62123", 62123, 2},         {"x CODE=10001\n", 10001, 1},
      {"CODE=40021=7", 40021, 3}, {"CODE= 40021 \t", 40021, 3},     {"CODE=abc", 0, 3},
      {"CODE=99999999999", 0, 3}, {"CODE=10001\nCODE=10023", 0, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(codeFromLine(QByteArray(c.line)), c.code) << c.line;
    EXPECT_EQ(execMessageLevel(QString::fromLatin1(c.line)), c.cls) << c.line;
  }
}

TEST(Decoder, RepliesToShownStates) {
  // Replies in turn ("|" between them) to the titles shown ("|" between them).
  const struct {
    int level;  // of the window before
    bool job;
    const char *replies, *shown;
    int lastCode;
    MonitorVariant variant = kUsb;
  } cases[] = {
      {0, false, "CODE=10001\r\nCODE=10023\r\n", "打印机准备就绪|正在打印", 10023},  // lines end at "\r"
      {0, false, "CODE=10001\nCODE=10023\n", "", 0},
      {0, false, "junk\rCODE=40021\n\r\n|STATUS OK|", "盖子未合上", 40021},
      {0, false, "CODE=40021\r|CODE=40021\rCODE=40021\r", "盖子未合上", 40021},  // repeats shown once
      {0, false, "CODE=40021\r|CODE=10001\r|CODE=40021\r", "盖子未合上|打印机准备就绪|盖子未合上", 40021},
      {0, false, "CODE=10001\r|CODE=10002\r|CODE=10001\r", "打印机准备就绪|打印机准备就绪", 10001},
      {1, true, "CODE=10003\r", "打印引擎初始化中……", 10003},            // engine start-up for a job
      {3, false, "CODE=10003\r|CODE=10001\r", "打印机准备就绪", 10001},  // ... without one: ready
      {1, false, "CODE=10003\r|CODE=10003\r", "", 10003},                // ... unless ready is shown
      {3, false, "CODE=40021\r|CODE=99999", "盖子未合上|安全打印密码错误",
       99999},                                                         // wrong PIN after an error
      {1, false, "CODE=99999|CODE=99999", "安全打印密码错误", 99999},  // the state file read again
      {3, false, "CODE=44444\r\n", "打印机通信失败", 44444, kNet},
  };
  for (const auto& c : cases) {
    MonitorCore core(c.variant);
    FakeView view;
    view.level = c.level;
    core.setHasPrintJob(c.job);
    for (const QByteArray& r : QByteArray(c.replies).split('|')) core.execReturnMsg(r, view);
    QStringList shown;
    for (const Shown& s : view.shown) shown << s.title;
    EXPECT_EQ(u8(shown.join(QLatin1Char('|'))), QByteArray(c.shown)) << c.replies;
    EXPECT_EQ(core.lastStatusCode(), c.lastCode) << c.replies;
  }
}

TEST(Decoder, NoReplyRules) {
  const QString printing = QStringLiteral("打印机正在打印"), cancelled = QStringLiteral("打印作业被取消"),
                init = QStringLiteral("打印机正在初始化打印引擎，请稍后……"),
                other = QStringLiteral("纸盒1无A4尺寸纸张");
  using A = NoReplyAction;
  const struct {
    QString text;
    A usbFirst, usbSecond, net;
  } cases[] = {
      {printing, A::Count, A::ShowReady, A::Nothing},
      {cancelled, A::Count, A::Count, A::Count},
      {init, A::ShowReady, A::ShowReady, A::ShowReady},
      {other, A::Nothing, A::Nothing, A::ShowReady},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(usbNoReplyRule(1, c.text), c.usbFirst) << qPrintable(c.text);
    EXPECT_EQ(usbNoReplyRule(2, c.text), c.usbSecond) << qPrintable(c.text);
    EXPECT_EQ(netEmptyReplyRule(c.text), c.net) << qPrintable(c.text);
  }
  // Counting shows ready at the fourth count, past the catalogue.
  MonitorCore core(kNet);
  FakeView view;
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(view.shown.size(), 0u) << i;
    core.applyNoReply(A::Count, view);
  }
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(u8(view.shown[0].title), QByteArray("打印机准备就绪"));
  EXPECT_EQ(core.readyWaitCount(), 0);
  EXPECT_EQ(core.lastStatusCode(), 0);
}

// Both monitors' polling steps over a scripted world (fakes.h).
#include <gtest/gtest.h>

#include <QRegularExpression>

#include <cstring>

#include "fakes.h"

using namespace hrv::monitor;

namespace {

struct Poll : ::testing::Test {
  FakeHost host;
  MonitorCore usb, net{MonitorVariant::Network};
  NetStatusLink link;

  Poll() { reset(); }
  void reset() {
    host = FakeHost();
    usb = MonitorCore(), net = MonitorCore(MonitorVariant::Network);
    link = NetStatusLink();
    link.start(host);
  }

  // One letter a step, each ending with "/" in the log. USB: o the printer
  // opens, l it is not found, b its kernel driver cannot be detached.
  // Network: s a step, x a step whose send fails; a datagram: r the
  // printer's (192.168.1.50:9101) answer, e an empty one, v the answer from
  // ::ffff:192.168.1.50, p from port 9100, w from ::1. Not a step: the
  // address file holds a 10.0.0.7, - nothing.
  void run(const char* steps) {
    for (const char* s = steps; *s; ++s) {
      if (*s == '-' || *s == 'a') {
        host.address = *s == 'a' ? QStringLiteral("10.0.0.7") : QString();
        continue;
      }
      host.initResult = *s == 'l' ? kUsbNoPrinter : *s == 'b' ? kUsbBusy : kUsbOk;
      host.sendResult = *s == 'x' ? -1 : 10;
      const QByteArray answer = *s == 'e' ? "" : "CODE=40021\r\n";
      const char* from = *s == 'w' ? "::1" : *s == 'v' ? "::ffff:192.168.1.50" : "192.168.1.50";
      if (std::strchr("repvw", *s))
        link.datagramRead(QHostAddress(QLatin1String(from)), *s == 'p' ? 9100 : 9101, answer.size(), answer,
                          net, host);
      if (*s == 's' || *s == 'x') link.printerStateCheck(host, net, host);
      if (*s == 'o' || *s == 'l' || *s == 'b') usb.printerStateCheck(host);
      host.events << QStringLiteral("/");
    }
  }
  // What the window showed, step by step.
  QString shown() const {
    return host.events.filter(QRegularExpression(QStringLiteral("^/|:"))).join(QLatin1Char(' '));
  }
};

}  // namespace

TEST_F(Poll, TheUsbStepAsksThePrinterOrLeavesItToTheFilter) {
  const struct {
    const char* what;
    const char* world;  // F the filter runs, J a job is queued, H the window hidden, G no printer on the bus
    const char* steps;
    const char* replies;  // one a read, "|" between
    const char* log;
  } cases[] = {
      {"an open printer: asked once, read twice, released", "", "o", "CODE=10001\r\n",
       "open CheckStatus? read 1:打印机准备就绪 read release /"},
      {"replies end at a zero byte; a failed read passes on what came", "", "o",
       "CODE=40021\r@CODE=10001\r|!CODE=44116",
       "open CheckStatus? read 3:盖子未合上 read 3:双面卡纸 release /"},
      {"a full buffer without a zero byte is taken whole", "", "o", "#\rCODE=65013",
       "open CheckStatus? read 3:纸盒4无进纸 read release /"},
      {"the filter printing a job has the printer", "FJ", "o", "", "info state 1:正在打印 info /"},
      {"the filter alone (finishing) has not", "F", "o", "", "open CheckStatus? read read release /"},
      {"nor a job waiting", "J", "o", "", "open CheckStatus? read read release /"},
      {"a kernel driver that stays: the state file", "", "b", "", "open info state 1:正在打印 info /"},
      {"printing, hidden, gone: warned, then the state file", "FJHG", "oo", "",
       "bus 3:打印队列非空，但USB连接错误！ / info state 1:正在打印 info /"},
      {"unplugged: warned once; back: its first code shown again", "", "ollo", "CODE=10001||CODE=10001",
       "open CheckStatus? read 1:打印机准备就绪 read release / open 3:USB连接错误！ / open / "
       "open CheckStatus? read 1:打印机准备就绪 read release /"},
      {"the busy branch warns afresh of the next loss", "", "lbl", "",
       "open 3:USB连接错误！ / open info state 1:正在打印 info / open 3:USB连接错误！ /"},
  };
  for (const auto& c : cases) {
    reset();
    host.filter = std::strchr(c.world, 'F'), host.job = std::strchr(c.world, 'J');
    host.hidden = std::strchr(c.world, 'H') ? 1 : 0, host.onBus = !std::strchr(c.world, 'G');
    host.stateLine = QStringLiteral("CODE=10023");
    for (const QByteArray& r : QByteArray(c.replies).split('|')) host.replies.push_back(r);
    run(c.steps);
    EXPECT_EQ(host.log(), QString::fromUtf8(c.log)) << c.what;
  }
}

TEST_F(Poll, SilenceAndAnswersOfBothMonitors) {
  const struct {
    const char* what;
    const char* balloon;  // its text when the steps begin
    const char* steps;
    const char* shown;
  } cases[] = {
      {"USB, printing: the second read without a reply shows ready", "打印机正在打印", "oo",
       "1:打印机准备就绪 / /"},
      {"USB, cancelled: the fourth", "打印作业被取消", "ooo", "/ 1:打印机准备就绪 / /"},
      {"USB, starting up: the first", "打印机正在初始化打印引擎，请稍后……", "o", "1:打印机准备就绪 /"},
      {"USB, anything else: none", "纸盒1无A4尺寸纸张", "ooo", "/ / /"},
      {"a lost printer starts the count afresh", "打印作业被取消", "oloo",
       "/ 3:USB连接错误！ / / 1:打印机准备就绪 /"},
      {"and so does the busy branch", "打印作业被取消", "oboo", "/ / / 1:打印机准备就绪 /"},
      {"network, printing: empty answers wait", "打印机正在打印", "eeee", "/ / / /"},
      {"network, cancelled: the fourth empty answer", "PC端取消打印作业", "eeeee",
       "/ / / 1:打印机准备就绪 / 1:打印机准备就绪 /"},
      {"network, starting up: the first", "打印机正在初始化打印引擎，请稍后……", "e", "1:打印机准备就绪 /"},
      {"network, anything else: the first", "纸盒1无A4尺寸纸张", "e", "1:打印机准备就绪 /"},
      {"a printer that answers is never missed", "", "srsrsrsrs", "/ 3:盖子未合上 / / / / / / / /"},
      {"three steps unanswered: the fourth warns, once", "", "ssssss", "/ / / 3:网络连接错误！ / / /"},
      {"back: its state even if it repeats; a new loss warned", "", "srssssrssss",
       "/ 3:盖子未合上 / / / / 3:网络连接错误！ / 3:盖子未合上 / / / / 3:网络连接错误！ /"},
      {"an empty answer is an answer too", "", "sssessse",
       "/ / / 1:打印机准备就绪 / / / / 1:打印机准备就绪 /"},
      {"a failed send warns at once, once", "", "xx", "3:网络连接错误！ / /"},
      {"only the printer's status port is heard, IPv4 or mapped", "", "spwv", "/ / / 3:盖子未合上 /"},
      {"the address file is read at every step: the old address is a stranger's", "", "sasr", "/ / /"},
      {"no printer set up: nothing to miss, nobody heard", "", "-ssssssr", "/ / / / / / /"},
  };
  for (const auto& c : cases) {
    reset();
    host.level = 3;  // the warnings keep the balloon
    host.balloonText = QString::fromUtf8(c.balloon);
    run(c.steps);
    EXPECT_EQ(shown(), QString::fromUtf8(c.shown)) << c.what;
  }
}

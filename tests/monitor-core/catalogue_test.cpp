// The status code catalogue, and replies decoded into the states the window
// shows.
#include <gtest/gtest.h>

#include "fakes.h"
#include "statuscatalogue.h"

using namespace hrv::monitor;

TEST(Catalogue, EveryCodeHasALevelATitleAndThePriorityClassOfItsLevel) {
  for (MonitorVariant v : {MonitorVariant::Usb, MonitorVariant::Network}) {
    const std::vector<StatusEntry>& all = statusCatalogue(v);
    EXPECT_EQ(all.size(), 336u);
    int before = 0;
    for (const StatusEntry& e : all) {
      EXPECT_GT(e.code, before) << "codes ascending, each once";
      before = e.code;
      EXPECT_TRUE(e.level >= 1 && e.level <= 3 && !e.title.isEmpty()) << e.code;
      EXPECT_EQ(findStatusEntry(e.code, v), &e) << e.code;
      // The state file reader ranks a line as the window shows it; the alarm 88888 above all.
      EXPECT_EQ(execMessageLevel(QStringLiteral("CODE=%1").arg(e.code)), e.code == 88888 ? 4 : e.level)
          << e.code;
    }
  }
}

TEST(Decoder, RepliesToShownStates) {
  const struct {
    const char* what;
    int level;  // of the window before
    bool job;
    const char* replies;  // "|" between them
    const char* shown;
    MonitorVariant variant = MonitorVariant::Usb;
  } cases[] = {
      {"lines end at carriage returns; printing refreshes the job view", 0, false,
       "CODE=10001\r\nCODE=10023\r\n", "1:打印机准备就绪 1:正在打印 info"},
      {"line feeds alone end no line", 0, false, "CODE=10001\nCODE=10023\n", ""},
      {"only pieces with CODE= count", 0, false, "junk\rx CODE=40021\n\r\n|STATUS OK|", "3:盖子未合上"},
      {"a code ends at '=' or a blank", 0, false, "CODE=40021=7\r|CODE=10001\r|CODE= 40021 \t\r",
       "3:盖子未合上 1:打印机准备就绪 3:盖子未合上"},
      {"a code that is no number is none", 0, false,
       "CODE=40021\r|CODE=abc\r|CODE=99999999999\r|CODE=40021\r", "3:盖子未合上 3:盖子未合上"},
      {"a repeated code is shown once", 0, false, "CODE=40021\r|CODE=40021\rCODE=40021\r", "3:盖子未合上"},
      {"after another code it is shown again", 0, false, "CODE=40021\r|CODE=10001\r|CODE=40021\r",
       "3:盖子未合上 1:打印机准备就绪 3:盖子未合上"},
      {"an unlisted code shows nothing but ends the repeat", 0, false,
       "CODE=10001\r|CODE=10002\r|CODE=10001\r", "1:打印机准备就绪 1:打印机准备就绪"},
      {"the engine starting for a job", 1, true, "CODE=10003\r", "1:打印引擎初始化中……"},
      {"... without one: ready", 3, false, "CODE=10003\r|CODE=10001\r", "1:打印机准备就绪"},
      {"... unless ready is what the window says", 1, false, "CODE=10003\r|CODE=10003\r", ""},
      {"a wrong PIN right after an error", 3, false, "CODE=40021\r|CODE=99999",
       "3:盖子未合上 3:安全打印密码错误"},
      {"paper sizes by tray and size", 0, false, "CODE=11213\r|CODE=11471\r|CODE=41536\r|CODE=41972\r",
       "2:纸盒1无A4尺寸纸张 2:纸盒3无3×5尺寸纸张 3:纸盒用途为仅纸盒4时,纸盒4无自定义尺寸纸张 "
       "3:纸盒用途为自动选择时,所有进纸槽无Envelope You #4尺寸纸张"},
      {"a cancelled job, in either monitor's words", 0, false, "CODE=10007\r", "1:取消打印作业"},
      {"... and the network monitor's", 0, false, "CODE=10007\r", "1:取消打印", MonitorVariant::Network},
  };
  for (const auto& c : cases) {
    MonitorCore core(c.variant);
    FakeHost view;
    view.level = c.level;
    core.setHasPrintJob(c.job);
    for (const QByteArray& r : QByteArray(c.replies).split('|')) core.execReturnMsg(r, view);
    EXPECT_EQ(view.log(), QString::fromUtf8(c.shown)) << c.what;
  }
}

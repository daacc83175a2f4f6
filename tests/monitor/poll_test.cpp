// The USB monitor's polling step: the printer lost and found, the busy filter, and the
// no-reply rules (fixture in usb_poll_fixture.h).
#include <QSignalSpy>

#include "usb_poll_fixture.h"

namespace {

using namespace usbpoll;

TEST_F(PollStep, UnpluggedPrinterWarnsOnceAndItsFirstCodeAfterwardsIsShown) {
  start();
  printer->answerStatus({Reply::text("CODE=10001\r\n"), Reply::empty()});
  window->printerStateCheck();
  EXPECT_EQ(title(), u("打印机准备就绪"));
  EXPECT_EQ(printer->writtenText(), "CheckStatus?");
  EXPECT_EQ(window->core().lastStatusCode(), 10001);

  QSignalSpy balloons(window.get(), &MainWindow::balloonShown);
  printer->unplug();
  window->printerStateCheck();
  EXPECT_EQ(title(), u("警告"));
  EXPECT_EQ(message(), u("USB连接错误！\n请检查打印机和电脑的USB连接状态"));
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->currentLevel(), 3);
  EXPECT_EQ(balloons.count(), 1);
  EXPECT_EQ(window->core().lastStatusCode(), 0);

  // Hidden by the user; further steps without the printer show nothing.
  window->close();
  window->form()->printer_state->setText(QStringLiteral("-"));
  window->printerStateCheck();
  window->printerStateCheck();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(title(), QStringLiteral("-"));
  EXPECT_EQ(balloons.count(), 1);

  // Back on the bus: the same code as before the loss is shown again.
  printer->plug();
  printer->answerStatus({Reply::text("CODE=10001\r\n"), Reply::empty()});
  window->printerStateCheck();
  EXPECT_EQ(title(), u("打印机准备就绪"));
  EXPECT_EQ(window->currentLevel(), 1);

  // And a new loss warns again.
  printer->unplug();
  window->printerStateCheck();
  EXPECT_EQ(title(), u("警告"));
  EXPECT_TRUE(window->isVisible());
}

TEST_F(PollStep, BusyFilterIsFollowedThroughItsStateFileWithoutTouchingUsb) {
  ASSERT_TRUE(
      writeText(path("printerInfo"),
                "resolution:1200dpi;\npapersize:B5;\ninputslot:TRAY2;\nmediatype:THICK;\nduplex:None;\n"));
  ASSERT_TRUE(writeText(path("printerState"), "CODE=10001\nCODE=10023\nCODE=41013\n"));
  start();
  filterRunning(true);
  queuedJob(true);
  ASSERT_TRUE(writeText(
      path("printerInfo"),
      "resolution:2400dpi;\npapersize:Legal;\ninputslot:TRAY3;\nmediatype:THIN;\nduplex:DuplexTumble;\n"));
  window->printerStateCheck();

  EXPECT_TRUE(printer->written().empty());
  EXPECT_TRUE(printer->requests().empty());
  // The state file's most important line (41013 outranks the ready and printing lines).
  EXPECT_EQ(title(), u("多功能进纸板无A4尺寸纸张"));
  EXPECT_EQ(window->core().lastStatusCode(), 41013);
  // The job view was read again.
  EXPECT_EQ(window->form()->printer_resolution->text(), u("HQ1200dpi"));
  EXPECT_EQ(window->form()->printer_pagesize->text(), u("Legal"));
  EXPECT_EQ(window->form()->printer_duplex->text(), u("短边翻转"));

  QFile calls(path("lpstat.calls"));
  ASSERT_TRUE(calls.open(QIODevice::ReadOnly));
  EXPECT_EQ(calls.readLine(), QByteArray("-R\n"));

  // The printer gone from the bus while the window is hidden: the busy warning.
  printer->unplug();
  window->close();
  window->printerStateCheck();
  EXPECT_EQ(message(), u("打印队列非空，但USB连接错误！\n请检查打印机和电脑的USB连接状态"));
  EXPECT_TRUE(window->isVisible());
  printer->plug();

  // A job of the network queue only, or the filter gone: the printer is asked.
  queuedJob(false);
  ASSERT_TRUE(writeText(path("jobs"), "HRV5720ZWB-net-18   bob   1024   Sat Dec  6 20:02:00 2025\n"));
  printer->answerStatus({Reply::text("CODE=10001\r\n"), Reply::empty()});
  window->printerStateCheck();
  EXPECT_EQ(printer->writtenText(), "CheckStatus?");
  EXPECT_EQ(title(), u("打印机准备就绪"));
  printer->clearWritten();
  queuedJob(true);
  filterRunning(false);
  window->printerStateCheck();
  EXPECT_EQ(printer->writtenText(), "CheckStatus?");
}

TEST_F(PollStep, TwoEmptyReadsWhilePrintingShowReadyAtOnce) {
  start();
  // A stop condition, then printing: the balloon now says "打印机正在打印".
  printer->answerStatus({Reply::text("CODE=40021\r\n"), Reply::text("CODE=10023\r\n")});
  window->printerStateCheck();
  ASSERT_EQ(window->bubbleText(), u("打印机正在打印"));
  ASSERT_EQ(title(), u("正在打印"));

  printer->answerStatus({Reply::empty(), Reply::empty()});
  window->printerStateCheck();
  EXPECT_EQ(title(), u("打印机准备就绪"));
  EXPECT_EQ(message(), u("打印机准备就绪，等待打印任务"));
  EXPECT_EQ(window->core().readyWaitCount(), 1);      // the first read counted
  EXPECT_EQ(window->core().lastStatusCode(), 10023);  // ready did not pass the catalogue
  EXPECT_EQ(printer->requests().size(), 2u);
}

}  // namespace

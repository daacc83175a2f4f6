// The USB monitor's polling step wired to the real probes: the emulated
// printer on the USB bus, a process table under a temporary root, a stand-in
// lpstat, and the filter's job files in a temporary folder.
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <memory>

#include "emulated_printer.h"
#include "mainwindow.h"
#include "monitorconfig.h"
#include "ui_mainwindow.h"
#include "usbstatussource.h"

namespace {

using namespace hrvtest;

QString u(const char *utf8) { return QString::fromUtf8(utf8); }

bool writeText(const QString &path, const QByteArray &text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

class PollStep : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<EmulatedPrinter> printer;
    std::unique_ptr<MainWindow> window;

    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(path("proc/1")));
        ASSERT_TRUE(writeText(path("proc/1/stat"), "1 (init) S 0 1 1 0 -1 4194560 0 0\n"));
        ASSERT_TRUE(QDir().mkpath(path("proc/sys")));
        // lpstat stand-in: "-R" lists the jobs file; every call is logged.
        ASSERT_TRUE(writeText(path("lpstat"),
                              "#!/bin/sh\n"
                              "here=$(dirname \"$0\")\n"
                              "echo \"$*\" >> \"$here/lpstat.calls\"\n"
                              "case \"$1\" in\n"
                              "  -R) cat \"$here/jobs\" 2>/dev/null ;;\n"
                              "esac\n"));
        QFile::setPermissions(path("lpstat"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void TearDown() override {
        window.reset();  // the code under test goes before the printer
        printer.reset();
    }

    void start(bool plugged = true) {
        printer = std::make_unique<EmulatedPrinter>(plugged);
        MonitorConfig c = usbMonitorConfig();
        c.trayWaitRounds = 0;
        c.printerInfoPath = path("printerInfo");
        window = std::make_unique<MainWindow>(
            c, std::make_unique<UsbStatusSource>(
                   UsbStatusSource::Setup{path("proc"), path("lpstat"), path("printerState")}));
    }
    void filterRunning(bool running) {
        if (running) {
            ASSERT_TRUE(QDir().mkpath(path("proc/4242")));
            ASSERT_TRUE(writeText(path("proc/4242/stat"), "4242 (pstopxl_hrv5720) R 1 4242 4242 0 -1\n"));
        } else {
            QDir(path("proc/4242")).removeRecursively();
        }
    }
    void queuedJob(bool queued) {
        ASSERT_TRUE(writeText(path("jobs"), queued ? "HRV5720ZWB-17   alice   20480   Sat Dec  6 20:01:00 2025\n" : ""));
    }
    QString title() const { return window->form()->printer_state->text(); }
    QString message() const { return window->form()->printer_help->text(); }
};

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
    ASSERT_TRUE(writeText(path("printerInfo"),
                          "resolution:1200dpi;\npapersize:B5;\ninputslot:TRAY2;\nmediatype:THICK;\nduplex:None;\n"));
    ASSERT_TRUE(writeText(path("printerState"), "CODE=10001\nCODE=10023\nCODE=41013\n"));
    start();
    filterRunning(true);
    queuedJob(true);
    ASSERT_TRUE(writeText(path("printerInfo"),
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
    EXPECT_EQ(window->core().readyWaitCount(), 1);     // the first read counted
    EXPECT_EQ(window->core().lastStatusCode(), 10023);  // ready did not pass the catalogue
    EXPECT_EQ(printer->requests().size(), 2u);
}

}  // namespace

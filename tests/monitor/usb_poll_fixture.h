// The USB monitor's polling step wired to the real probes: the emulated
// printer on the USB bus, a process table under a temporary root, a stand-in
// lpstat, and the filter's job files in a temporary folder.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include "emulated_printer.h"
#include "mainwindow.h"
#include "monitorconfig.h"
#include "ui_mainwindow.h"
#include "usbstatussource.h"

namespace usbpoll {

using namespace hrvtest;

inline QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

inline bool writeText(const QString& path, const QByteArray& text) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

class PollStep : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::unique_ptr<EmulatedPrinter> printer;
  std::unique_ptr<MainWindow> window;

  QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

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
    window = std::make_unique<MainWindow>(c, std::make_unique<UsbStatusSource>(UsbStatusSource::Setup{
                                                 path("proc"), path("lpstat"), path("printerState")}));
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
    ASSERT_TRUE(
        writeText(path("jobs"), queued ? "HRV5720ZWB-17   alice   20480   Sat Dec  6 20:01:00 2025\n" : ""));
  }
  QString title() const { return window->form()->printer_state->text(); }
  QString message() const { return window->form()->printer_help->text(); }
};

}  // namespace usbpoll

// statusmon's window and USB status source, polling the emulated printer at
// its usual pace (no tray, no process or queue to find) until its standard
// input closes. Its debug lines go to standard error.
#include "mainwindow.h"
#include "monitorconfig.h"
#include "usbstatussource.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <unistd.h>

#include <memory>

// A helper, not a program under test: what Qt keeps to the end is not counted.
extern "C" const char* __lsan_default_options() {
  return "detect_leaks=0";
}

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  MonitorConfig config = usbMonitorConfig();
  config.trayWaitRounds = 0;
  config.printerInfoPath = dir.filePath("printerInfo");
  MainWindow window(config, std::make_unique<UsbStatusSource>(UsbStatusSource::Setup{
                                dir.path(), dir.filePath("printerState"), [](const QString&) { return 0; }}));
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [] {
    char c;
    if (::read(STDIN_FILENO, &c, 1) <= 0) QCoreApplication::quit();
  });
  return app.exec();
}

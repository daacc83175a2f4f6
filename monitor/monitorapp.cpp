#include "monitorapp.h"

#include <QApplication>
#include <QLoggingCategory>

#include <cstring>

#include "mainwindow.h"
#include "singleinstance.h"

namespace {

bool debugAsked(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--debug") == 0) return true;
  return false;
}

}  // namespace

int runMonitor(int& argc, char** argv, const MonitorConfig& config, const StatusSourceFactory& makeSource) {
  // The window is drawn in software only. Without this the xcb platform
  // loads the OpenGL driver stack at start-up, tens of MiB that a tray
  // program would keep resident for nothing.
  if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) qputenv("QT_XCB_GL_INTEGRATION", "none");

  // Quiet unless asked: the diagnostic lines of the monitor and of the USB
  // channel (the default category) are debug lines; QT_LOGGING_RULES, read
  // after these rules, still decides over them.
  QLoggingCategory::setFilterRules(debugAsked(argc, argv)
                                       ? QStringLiteral("hrv.monitor.debug=true\ndefault.debug=true")
                                       : QStringLiteral("default.debug=false"));

  QCoreApplication::setOrganizationName(QStringLiteral("VORN"));
  QApplication app(argc, argv);
  SingleInstance instance;
  if (instance.isRunning()) {
    // Started again (from the menu, say): the running monitor shows its
    // window, which without a tray is the only way back to it.
    instance.activateRunning();
    return 0;
  }
  // Hiding to the tray or a balloon closing never ends the program; only
  // the tray menu's quit action does.
  QApplication::setQuitOnLastWindowClosed(false);

  MainWindow window(config, makeSource());
  QObject::connect(&instance, &SingleInstance::activationRequested, &window, &MainWindow::bringToFront);
  window.show();
  return app.exec();
}

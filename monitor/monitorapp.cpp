#include "monitorapp.h"

#include <QApplication>

#include "mainwindow.h"
#include "singleinstance.h"

int runMonitor(int& argc, char** argv, const MonitorConfig& config, const StatusSourceFactory& makeSource) {
  // The window is drawn in software only. Without this the xcb platform
  // loads the OpenGL driver stack at start-up, tens of MiB that a tray
  // program would keep resident for nothing.
  if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) qputenv("QT_XCB_GL_INTEGRATION", "none");

  QCoreApplication::setOrganizationName(QStringLiteral("VORN"));
  QApplication app(argc, argv);
  const SingleInstance instance;
  if (instance.isRunning()) return 0;
  // Hiding to the tray or a balloon closing never ends the program; only
  // the tray menu's quit action does.
  QApplication::setQuitOnLastWindowClosed(false);

  MainWindow window(config, makeSource());
  window.show();
  return app.exec();
}

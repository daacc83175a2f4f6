// Runs the add-queue action of a real setup window with the installed
// system's paths and programs: puts the address given as the first argument
// into the add-queue field and clicks the button. Prints the status line and
// whether the window is still open.
#include "lsan_scope.h"
#include "netipset.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>
#include <optional>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s address\n", argv[0]);
    return 2;
  }
  std::optional<QApplication> app;
  {
    LeakChecksOff off;
    app.emplace(argc, argv);
  }
  netIpSet window;
  window.show();
  window.findChild<QLineEdit*>(QStringLiteral("netIp"))->setText(QString::fromLocal8Bit(argv[1]));
  window.findChild<QPushButton*>(QStringLiteral("addPrinter"))->click();
  std::printf("status: %s\nopen: %d\n",
              window.findChild<QLabel*>(QStringLiteral("informationAdmin"))->text().toUtf8().constData(),
              window.isVisible() ? 1 : 0);
  return 0;
}

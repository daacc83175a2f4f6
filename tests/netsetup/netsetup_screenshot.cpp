// Takes a picture of the setup window in USB mode, filled from the emulated
// printer, as the X server shows it. Runs under Xvfb (xcb platform); the
// picture goes to HRV_ARTIFACT_DIR.
#include "emulated_printer.h"
#include "netipset.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

int redPixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 200 && c.green() < 90 && c.blue() < 90) ++count;
    }
  return count;
}

TEST(Screenshot, SetupWindowInUsbMode) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under Xvfb";
  hrvtest::EmulatedPrinter printer;
  printer.answerIp({192, 168, 1, 100, 255, 255, 255, 0, 192, 168, 1, 1});
  QTemporaryDir dir;
  {
    netIpSet window({dir.filePath("netIpInfo"), dir.filePath("sane.conf"), dir.filePath("init"),
                     [](const netsetup::Command&) { return netsetup::CommandResult{}; }});
    window.move(0, 0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // Grab until the server shows the drawn window: the red status line.
    const QLabel* status = window.findChild<QLabel*>("informationAdmin");
    const QRect statusArea(status->mapTo(&window, QPoint(0, 0)), status->size());
    QImage image;
    const bool drawn = QTest::qWaitFor([&] {
      image = window.screen()->grabWindow(window.winId()).toImage();
      return image.size() == QSize(600, 424) && redPixels(image.copy(statusArea)) > 20;
    });
    const QString path =
        QDir(QString::fromUtf8(qgetenv("HRV_ARTIFACT_DIR"))).filePath("netsetup-usb-mode.png");
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_TRUE(image.save(path)) << path.toStdString();

    EXPECT_TRUE(drawn) << "the red status line never showed";
    EXPECT_EQ(window.findChild<QLabel*>("Ip_label")->text(), "192.168.1.100");
  }
}

}  // namespace

// Both monitors from end to end on a desktop, side by side: the installed
// programs in the test sandbox (job files backed by a temporary folder), on
// a private X display with a system tray, statusmon-net asking the printer
// simulator on 127.0.0.1, statusmon polling the emulated printer over USB.
#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "emulated_printer.h"
#include "sandbox.h"

namespace {

using namespace hrvtest;

std::string valueOf(const std::string& out, const std::string& key) {
  const std::string k = "\n" + key + "=";
  const auto at = ("\n" + out).find(k);
  if (at == std::string::npos) return {};
  const auto begin = at + k.size() - 1;
  const auto end = out.find('\n', begin);
  return out.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

bool dark(const QColor& c) {
  return c.red() < 80 && c.green() < 80 && c.blue() < 80;
}

// Right edge of the dark (text) pixels in a band of rows right of the
// state picture; -1 when there are none.
int textRightEdge(const QImage& window, int top, int bottom) {
  int right = -1;
  for (int y = top; y < bottom; ++y)
    for (int x = 100; x < window.width(); ++x)
      if (dark(window.pixelColor(x, y))) right = std::max(right, x);
  return right;
}

TEST(MonitorsOnADesktop, NetworkPrintingAndUsbCoverOpenSideBySide) {
  if (!runningAsRoot()) GTEST_SKIP() << "needs root for the private namespace";

  EmulatedPrinter printer;
  printer.answerStatus({Reply::text("CODE=40021\r\n"), Reply::empty()});
  printer.setIdleReply(Reply::empty());

  Sandbox box;
  box.makeJobFileDirs();
  box.installProgram(STATUSMON_NET_PATH, "bin/net/statusmon-net");
  box.installProgram(STATUSMON_PATH, "bin/usb/statusmon");
  writeFile(
      box.opt() + "/bin/net/config/printerInfo",
      "resolution:1200dpi;\npapersize:A4;\ninputslot:TRAY1;\nmediatype:PLAIN;\nduplex:DuplexNoTumble;\n");

  const std::string artifacts = ARTIFACTS_DIR;
  std::filesystem::create_directories(artifacts);
  const std::string netPng = artifacts + "/statusmon-net-10023-window.png";
  const std::string usbPng = artifacts + "/statusmon-40021-window.png";
  const std::string screenPng = artifacts + "/statusmon-net-10023-screen.png";
  std::filesystem::remove(netPng);
  std::filesystem::remove(usbPng);

  const RunResult r = box.run({"/bin/bash", DESKTOP_RUN, "/opt/vorn/HRV5720ZWB/bin/net/statusmon-net",
                               "/opt/vorn/HRV5720ZWB/bin/usb/statusmon", SCREEN_PROBE, PRINTER_SIM, netPng,
                               usbPng, screenPng});
  SCOPED_TRACE(r.out + r.err);
  ASSERT_EQ(r.exitCode, 0);

  // The network monitor asked the simulator and got the printing state.
  EXPECT_EQ(valueOf(r.out, "net-code"), "10023");
  EXPECT_NE(valueOf(r.out, "sim-requests"), "0");
  EXPECT_NE(valueOf(r.out, "net-probe").find("window=730,585,520,350"), std::string::npos);

  // Its window: "正在打印" in black over "打印机正在打印", both far shorter
  // than the start-up texts they replaced ("网络状态监视器启动", "网络状态监
  // 视器正在连接打印机，请稍后"), with the blue picture.
  const QImage window(QString::fromStdString(netPng));
  ASSERT_FALSE(window.isNull());
  ASSERT_EQ(window.size(), QSize(520, 350));
  const int titleRight = textRightEdge(window, 20, 80);
  const int messageRight = textRightEdge(window, 85, 140);
  EXPECT_GT(titleRight, 130);
  EXPECT_LT(titleRight, 260);  // four characters at 13 pt, not nine
  EXPECT_GT(messageRight, 130);
  EXPECT_LT(messageRight, 260);  // seven characters at 10 pt, not eighteen
  int blue = 0, red = 0;
  for (int y = 20; y < 130; ++y)
    for (int x = 15; x < 100; ++x) {
      const QColor c = window.pixelColor(x, y);
      blue += c.blue() > 150 && c.red() < 100;
      red += c.red() > 180 && c.green() < 90 && c.blue() < 90;
    }
  EXPECT_GT(blue, 50);  // W3_b256
  EXPECT_EQ(red, 0);

  // The USB monitor started beside it, asked its printer over USB and
  // showed the cover-open error: the whole window, placed by the work area,
  // the state title in red and the error picture beside it.
  EXPECT_EQ(valueOf(r.out, "usb-probe-exit"), "0");
  EXPECT_NE(printer.writtenText().find("CheckStatus?"), std::string::npos);
  EXPECT_NE(valueOf(r.out, "usb-probe").find("window=730,585,520,350"), std::string::npos);
  const QImage usbWindow(QString::fromStdString(usbPng));
  ASSERT_FALSE(usbWindow.isNull());
  EXPECT_EQ(usbWindow.size(), QSize(520, 350));
  int redTitle = 0, darkTitle = 0, redBadge = 0;
  for (int y = 20; y < 140; ++y)
    for (int x = 15; x < usbWindow.width(); ++x) {
      const QColor c = usbWindow.pixelColor(x, y);
      const bool isRed = c.red() > 180 && c.green() < 90 && c.blue() < 90;
      if (x >= 100) {
        redTitle += isRed;
        darkTitle += c.red() < 60 && c.green() < 60 && c.blue() < 60;
      } else if (y < 130) {
        redBadge += isRed;
      }
    }
  EXPECT_GT(redTitle, 60);
  EXPECT_GT(redTitle, darkTitle);  // the title is red, not black
  EXPECT_GT(redBadge, 50);         // the W3_r256 picture

  // Each is single-instance on its own: a second start of either ends at
  // once, silently, with 0, and both first instances keep running.
  EXPECT_EQ(valueOf(r.out, "net-second-start"), "0");
  EXPECT_EQ(valueOf(r.out, "net-second-output"), "0");
  EXPECT_EQ(valueOf(r.out, "usb-second-start"), "0");
  EXPECT_EQ(valueOf(r.out, "usb-second-output"), "0");
  EXPECT_EQ(valueOf(r.out, "net-alive"), "1");
  EXPECT_EQ(valueOf(r.out, "usb-alive"), "1");
}

}  // namespace

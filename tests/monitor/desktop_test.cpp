// Both monitors from end to end on a desktop, side by side: the installed
// programs in the test sandbox (job files backed by a temporary folder), on
// a private X display, statusmon-net asking the printer simulator on
// 127.0.0.1, statusmon polling the emulated printer over USB. Once with a
// tray on a 1280x800 screen, once without one on 1024x768 (desktop-run.sh).
// The pictures go to artifacts/.
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

// Runs one desktop session; its key=value report and logs.
std::string session(const char* mode, int width, int height, const char* netStatus, const char* usbStatus) {
  EmulatedPrinter printer(
      Script{{{"CheckStatus?", {Reply::text(usbStatus), Reply::empty()}}}, Reply::empty()});
  Sandbox box;
  box.makeJobFileDirs();
  box.installProgram(STATUSMON_NET_PATH, "bin/net/statusmon-net");
  box.installProgram(STATUSMON_PATH, "bin/usb/statusmon");
  std::filesystem::create_directories(ARTIFACTS_DIR);
  const std::string pictures = std::string(ARTIFACTS_DIR) + "/statusmon-" + mode;
  std::filesystem::remove(pictures + "-net.png");
  const RunResult r =
      box.run({"/bin/bash", DESKTOP_RUN, mode, std::to_string(width), std::to_string(height), netStatus,
               "/opt/vorn/HRV5720ZWB/bin/net/statusmon-net", "/opt/vorn/HRV5720ZWB/bin/usb/statusmon",
               SCREEN_PROBE, PRINTER_SIM, NOTIFY_STANDIN, pictures});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(printer.writtenText().find("CheckStatus?"), std::string::npos);
  return r.out + r.err;
}

// Rows of the window right of the state picture and above the job settings
// that hold red (state title) pixels: the first and the last.
std::pair<int, int> redTitleRows(const QImage& window) {
  int first = -1, last = -1;
  for (int y = 0; y < 160; ++y)
    for (int x = 100; x < window.width(); ++x) {
      const QColor c = window.pixelColor(x, y);
      if (c.red() > 180 && c.green() < 90 && c.blue() < 90) {
        if (first < 0) first = y;
        last = y;
        break;
      }
    }
  return {first, last};
}

TEST(MonitorsOnADesktop, WithATrayOn1280x800) {
  if (!runningAsRoot()) GTEST_SKIP() << "needs root for the private namespace";
  // The network printer reports the stop condition with the longest title.
  const std::string out = session("tray", 1280, 800, "41972", "CODE=10001\r\n");
  SCOPED_TRACE(out);

  // Both windows wholly in the work area below the panel, in its lower right corner.
  EXPECT_EQ(valueOf(out, "net-window"), "750,410,520,350");
  EXPECT_EQ(valueOf(out, "usb-window"), "750,410,520,350");
  // "纸盒用途为自动选择时,所有进纸槽无Envelope You #4尺寸纸张", red, on two lines.
  const QImage net(QString::fromStdString(std::string(ARTIFACTS_DIR) + "/statusmon-tray-net.png"));
  ASSERT_EQ(net.size(), QSize(520, 350));
  const auto [first, last] = redTitleRows(net);
  EXPECT_GT(first, 0);
  EXPECT_GT(last - first, 30);  // one line of 13 pt is less than 20 pixels high

  // The ready USB monitor hid its window; starting it again brings it back to stay.
  EXPECT_EQ(valueOf(out, "usb-hidden"), "1");
  EXPECT_EQ(valueOf(out, "usb-second-start"), "0");
  EXPECT_EQ(valueOf(out, "usb-second-output"), "0");
  EXPECT_EQ(valueOf(out, "usb-raised"), "1");
  EXPECT_EQ(valueOf(out, "usb-stays"), "1");
  EXPECT_EQ(valueOf(out, "net-second-start"), "0");
  EXPECT_EQ(valueOf(out, "net-alive") + valueOf(out, "usb-alive"), "11");
  // Quiet by default.
  EXPECT_EQ(valueOf(out, "net-stderr") + valueOf(out, "usb-stderr"), "00");
}

TEST(MonitorsOnADesktop, WithoutATrayOn1024x768) {
  if (!runningAsRoot()) GTEST_SKIP() << "needs root for the private namespace";
  const std::string out = session("notify", 1024, 768, "40021", "CODE=40021\r\n");
  SCOPED_TRACE(out);
  EXPECT_EQ(valueOf(out, "net-window"), "494,378,520,350");
  EXPECT_EQ(valueOf(out, "usb-window"), "494,378,520,350");
  // The cover-open error reached the desktop's notification service.
  EXPECT_NE(
      out.find("notify=HRV5720ZWB 网络状态监控|dialog-error|盖子未合上|打开前盖板后，重新关闭前盖板|120000"),
      std::string::npos);
  EXPECT_NE(out.find("notify=HRV5720ZWB USB状态监控|dialog-error|盖子未合上|"), std::string::npos);
  EXPECT_EQ(valueOf(out, "net-stderr") + valueOf(out, "usb-stderr"), "00");
}

}  // namespace

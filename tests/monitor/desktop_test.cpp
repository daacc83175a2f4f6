// Both monitors from end to end on a desktop, side by side: the installed
// programs in the test sandbox (job files backed by a temporary folder), on
// a private X display, statusmon-net asking the printer simulator on
// 127.0.0.1, statusmon polling the emulated printer over USB. Once with a
// tray on a 1280x800 screen, once without one on 1024x768 (desktop-run.sh).
// The pictures go to artifacts/.
#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "emulated_printer.h"
#include "sandbox.h"

namespace {

using namespace hrvtest;
using Report = std::map<std::string, std::string>;

// Runs one desktop session; its key=value report, with the whole output under "".
Report session(const char* mode, int width, int height, const char* netStatus, const char* usbStatus) {
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
  Report report{{"", r.out + r.err}, {"exit", std::to_string(r.exitCode)}};
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);)
    if (line.find('=') != std::string::npos)
      report.emplace(line.substr(0, line.find('=')), line.substr(line.find('=') + 1));
  report["asked"] = printer.writtenText().find("CheckStatus?") != std::string::npos ? "1" : "0";
  return report;
}

// Every key of `expected` has its value in the session's report.
void expectReport(Report& r, const Report& expected) {
  for (const auto& [key, value] : expected) EXPECT_EQ(r[key], value) << key;
}

TEST(MonitorsOnADesktop, WithATrayOn1280x800) {
  if (!runningAsRoot()) GTEST_SKIP() << "needs root for the private namespace";
  // The network printer reports the stop condition with the longest title.
  Report r = session("tray", 1280, 800, "41972", "CODE=10001\r\n");
  SCOPED_TRACE(r[""]);
  // Both windows wholly in the work area below the panel, in its lower right
  // corner; the ready USB monitor hid its window, and starting it again
  // brought it back to stay; quiet by default.
  expectReport(r, {{"exit", "0"},
                   {"asked", "1"},
                   {"net-window", "750,410,520,350"},
                   {"usb-window", "750,410,520,350"},
                   {"usb-hidden", "1"},
                   {"usb-second-start", "0"},
                   {"usb-second-output", "0"},
                   {"usb-raised", "1"},
                   {"usb-stays", "1"},
                   {"net-second-start", "0"},
                   {"net-alive", "1"},
                   {"usb-alive", "1"},
                   {"net-stderr", "0"},
                   {"usb-stderr", "0"}});
  // "纸盒用途为自动选择时,所有进纸槽无Envelope You #4尺寸纸张", red, on two lines:
  // one line of 13 pt is less than 20 pixels high.
  const QImage net(QString::fromStdString(std::string(ARTIFACTS_DIR) + "/statusmon-tray-net.png"));
  ASSERT_EQ(net.size(), QSize(520, 350));
  int first = -1, last = -1;
  for (int y = 0; y < 160; ++y)
    for (int x = 100; x < net.width(); ++x)
      if (qRed(net.pixel(x, y)) > 180 && qGreen(net.pixel(x, y)) < 90 && qBlue(net.pixel(x, y)) < 90) {
        first = first < 0 ? y : first;
        last = y;
        break;
      }
  EXPECT_GT(first, 0);
  EXPECT_GT(last - first, 30);
}

TEST(MonitorsOnADesktop, WithoutATrayOn1024x768) {
  if (!runningAsRoot()) GTEST_SKIP() << "needs root for the private namespace";
  Report r = session("notify", 1024, 768, "40021", "CODE=40021\r\n");
  SCOPED_TRACE(r[""]);
  expectReport(r, {{"exit", "0"},
                   {"asked", "1"},
                   {"net-window", "494,378,520,350"},
                   {"usb-window", "494,378,520,350"},
                   {"net-stderr", "0"},
                   {"usb-stderr", "0"}});
  // The cover-open error reached the desktop's notification service.
  EXPECT_NE(r[""].find(
                "notify=HRV5720ZWB 网络状态监控|dialog-error|盖子未合上|打开前盖板后，重新关闭前盖板|120000"),
            std::string::npos);
  EXPECT_NE(r[""].find("notify=HRV5720ZWB USB状态监控|dialog-error|盖子未合上|"), std::string::npos);
}

}  // namespace

// statusmon from end to end on a desktop: the installed program in the test
// sandbox (its job files backed by a temporary folder), on a private X
// display with a system tray, polling the emulated printer over USB.
#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "emulated_printer.h"
#include "sandbox.h"

namespace {

using namespace hrvtest;

std::string valueOf(const std::string &out, const std::string &key) {
    const std::string k = key + "=";
    const auto at = out.find(k);
    if (at == std::string::npos)
        return {};
    const auto end = out.find('\n', at);
    return out.substr(at + k.size(), end == std::string::npos ? std::string::npos : end - at - k.size());
}

TEST(StatusmonOnADesktop, ShowsTheCoverOpenStateWithARedTitle) {
    if (!runningAsRoot())
        GTEST_SKIP() << "needs root for the private namespace";

    EmulatedPrinter printer;
    printer.answerStatus({Reply::text("CODE=40021\r\n"), Reply::empty()});
    printer.setIdleReply(Reply::empty());

    Sandbox box;
    box.makeJobFileDirs();
    box.installProgram(STATUSMON_PATH, "bin/usb/statusmon");
    writeFile(box.opt() + "/bin/usb/config/printerInfo",
              "resolution:600dpi;\npapersize:A4;\ninputslot:TRAY1;\nmediatype:PLAIN;\nduplex:DuplexNoTumble;\n");

    const std::string artifacts = ARTIFACTS_DIR;
    std::filesystem::create_directories(artifacts);
    const std::string windowPng = artifacts + "/statusmon-40021-window.png";
    const std::string screenPng = artifacts + "/statusmon-40021-screen.png";
    std::filesystem::remove(windowPng);

    const RunResult r = box.run({"/bin/bash", DESKTOP_RUN, "/opt/vorn/HRV5720ZWB/bin/usb/statusmon", SCREEN_PROBE,
                                 windowPng, screenPng});
    SCOPED_TRACE(r.out + r.err);
    ASSERT_EQ(r.exitCode, 0);

    // The window was found and its title region turned red.
    EXPECT_EQ(valueOf(r.out, "probe-exit"), "0");
    // A second start by the same user ends at once, silently, with 0.
    EXPECT_EQ(valueOf(r.out, "second-start"), "0");
    EXPECT_EQ(valueOf(r.out, "second-output"), "0");
    EXPECT_EQ(valueOf(r.out, "first-alive"), "1");
    // The printer was asked over USB.
    EXPECT_NE(printer.writtenText().find("CheckStatus?"), std::string::npos);

    // The saved picture: the whole window, placed by the work area, with the
    // state title in red and the error picture beside it.
    const QImage window(QString::fromStdString(windowPng));
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(window.size(), QSize(520, 350));
    // Placed around (W - 10, H - 40) of the 1000 x 800 work area.
    EXPECT_NE(valueOf(r.out, "probe").find("window=730,585,520,350"), std::string::npos);
    int redTitle = 0, darkTitle = 0;
    for (int y = 20; y < 140; ++y)
        for (int x = 100; x < window.width(); ++x) {
            const QColor c = window.pixelColor(x, y);
            redTitle += c.red() > 180 && c.green() < 90 && c.blue() < 90;
            darkTitle += c.red() < 60 && c.green() < 60 && c.blue() < 60;
        }
    EXPECT_GT(redTitle, 60);
    EXPECT_GT(redTitle, darkTitle);  // the title is red, not black
    int redBadge = 0;
    for (int y = 20; y < 130; ++y)
        for (int x = 15; x < 100; ++x) {
            const QColor c = window.pixelColor(x, y);
            redBadge += c.red() > 180 && c.green() < 90 && c.blue() < 90;
        }
    EXPECT_GT(redBadge, 50);  // the W3_r256 picture
}

}  // namespace

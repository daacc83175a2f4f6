// usb_communicate against the emulated printer. Built once per build of the
// channel; usb_communicate::kSetupToolBuild tells which one runs.
#include "emulated_printer.h"
#include "usb_communicate.h"

#include <gtest/gtest.h>

#include <QString>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace hrvtest;
using Lines = std::vector<std::string>;
using std::chrono::milliseconds;
namespace fs = std::filesystem;

namespace {

constexpr bool kSetup = usb_communicate::kSetupToolBuild;

// The channel's Qt debug lines.
std::mutex logMutex;
Lines logged;
Lines takeLog() {
  std::lock_guard<std::mutex> lock(logMutex);
  return std::exchange(logged, {});
}
const QtMessageHandler previous =
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
      std::lock_guard<std::mutex> lock(logMutex);
      logged.push_back(m.toStdString());
    });

int send(usb_communicate& usb, std::string_view text) {
  Bytes b = toBytes(text);
  return usb.SendCmd(b.data(), static_cast<unsigned>(b.size()));
}

// Reads into a cleared buffer; `got` holds what came, up to the first zero byte.
int read(usb_communicate& usb, std::string* got = nullptr) {
  std::vector<unsigned char> buffer(8192, 0);
  const int r = usb.ReadCmd(buffer.data(), static_cast<unsigned>(buffer.size()));
  if (got) *got = reinterpret_cast<const char*>(buffer.data());
  return r;
}

TEST(UsbChannel, EachTransferEndsAsThePrinterEndsIt) {
  const int readWait = kSetup ? 5000 : 2000, writeWait = kSetup ? 500 : 1000;  // the build's time-outs
  const auto answer = [](Reply r) { return Line{"CheckStatus?", {r}}; };
  const auto take = [](Reply w) { return Line{"CheckStatus?", {}, w}; };
  struct Case {
    const char* what;
    Line line;
    int sent, readMonitor, readSetup;
    std::string got;
    int libusbResult, waitMs;
  };
  const Case cases[] = {
      {"a status line is read whole", answer(Reply::text("CODE=10001\r\n")), 0, 12, 12, "CODE=10001\r\n", 0,
       0},
      {"a single byte is a reply", answer(Reply::text("E")), 0, 1, 1, "E", 0, 0},
      {"a zero-length packet is a reply to the monitor only", answer(Reply::empty()), 0, 0, 254, "", 0, 0},
      {"a transfer error fails the read", answer(Reply::failure(EPROTO)), 0, 254, 254, "", -1, 0},
      {"silence fails the read at the read time-out", {"CheckStatus?"}, 0, 254, 254, "", -7, readWait},
      {"a write taken in part fails", take(Reply::shortWrite(5)), 253, 0, 0, "", 0, 0},
      {"a write never taken fails at the write time-out", take(Reply::timeout()), 253, 0, 0, "", 0,
       writeWait},
  };
  for (const Case& c : cases) {
    EmulatedPrinter printer(Script{{c.line}});
    usb_communicate usb;
    ASSERT_EQ(usb.initDevice(), 0);
    takeLog();
    const auto start = std::chrono::steady_clock::now();
    const int sent = send(usb, "CheckStatus?");
    std::string got;
    const int reply = sent == 0 ? read(usb, &got) : 0;
    const auto waited = std::chrono::steady_clock::now() - start;
    // Debug lines: a failed write; the monitor's read result; a failed read.
    const int expected = kSetup ? c.readSetup : c.readMonitor;
    Lines log;
    if (c.sent != 0) log.push_back("Write Error");
    if (c.sent == 0 && !kSetup)
      log.push_back("ReadCmd libusb_bulk_transfer return = " + std::to_string(c.libusbResult));
    if (c.sent == 0 && expected == 254) log.push_back("read Error");
    EXPECT_EQ(std::make_tuple(sent, reply, got, takeLog()), std::make_tuple(c.sent, expected, c.got, log))
        << c.what;
    EXPECT_TRUE(waited >= milliseconds(c.waitMs) && waited < milliseconds(c.waitMs + 1000))
        << c.what << ": " << std::chrono::duration_cast<milliseconds>(waited).count() << " ms";
    EXPECT_EQ(usb.releaseDevice(), 0) << c.what;
  }
}

// Found only while plugged in; every tenth release fails and leaves the
// connection to the next initDevice, which must close it.
TEST(UsbChannel, FoundWhilePluggedInAndConnectionsLeakNothing) {
  usb_communicate usb;
  const auto openFiles = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  for (int plugged = 0; plugged < 2; ++plugged) {
    EXPECT_EQ((std::tuple<int, int, Lines>{usb.checkUSBDevice(), usb.initDevice(), takeLog()}),  // in order
              std::make_tuple(0, 252, Lines{"find device error"}));
    EmulatedPrinter printer(Script{{{"CheckIP?", {Reply::text("IPadd:\xc0\xa8\x01\x64")}}}});
    auto cycle = [&](int i) {
      printer.script([&](Script& s) { s.releaseError = i % 10 == 9 ? EIO : 0; });
      const bool ok = usb.checkUSBDevice() == 1 && usb.initDevice() == 0 && send(usb, "CheckIP?") == 0 &&
                      read(usb) == 10 && usb.releaseDevice() == (i % 10 == 9 ? 255 : 0);
      takeLog();
      return ok;
    };
    ASSERT_TRUE(cycle(0));  // lets lazily opened descriptors appear
    std::this_thread::sleep_for(milliseconds(100));
    const auto before = openFiles();
    for (int i = 1; i <= (plugged ? 200 : 1); ++i) ASSERT_TRUE(cycle(i)) << "cycle " << i;
    // The emulation's end of a closed device file goes away on its own thread.
    for (int tries = 0; tries < 100 && openFiles() != before; ++tries)
      std::this_thread::sleep_for(milliseconds(10));
    EXPECT_EQ(openFiles(), before);
  }
}

TEST(UsbChannel, TheKernelDriverIsDetachedAndWhatCannotBeIsReported) {
  EmulatedPrinter printer(Script{{}, Reply::timeout(), "usblp"});
  usb_communicate usb;
  struct Step {
    const char* what;
    int detachError, claimError, opened, sent;
    const char *logMonitor, *logSetup;  // the setup tool's first line: its own detach attempt
  };
  for (const Step& s : {
           Step{"a bound driver", 0, 0, 0, 0, "", "0|kernel driver not active"},
           Step{"no driver left", 0, 0, 0, 0, "kernel driver not active", "-5|kernel driver not active"},
           Step{"a claimed interface", 0, EBUSY, 0, 253, "kernel driver not active|Cannot Claim Interface",
                "-5|kernel driver not active|Cannot Claim Interface"},
           Step{"a driver that will not go", EPERM, 0, 255, 0, "GET_DEVICE_ERROR", "-99|GET_DEVICE_ERROR"},
       }) {
    printer.script([&](Script& x) {
      x = {{}, x.idle, s.detachError ? "usblp" : x.driver, s.detachError, s.claimError};
    });
    const int opened = usb.initDevice();
    const int sent = opened == 0 ? send(usb, "CheckStatus?") : 0;
    std::string log;
    for (const std::string& line : takeLog()) log += (log.empty() ? "" : "|") + line;
    EXPECT_EQ(std::make_tuple(opened, sent, log),
              std::make_tuple(s.opened, s.sent, std::string(kSetup ? s.logSetup : s.logMonitor)))
        << s.what;
    if (opened == 0) usb.releaseDevice();
    takeLog();
  }
  EXPECT_EQ(printer.script().driver, "usblp");
}

}  // namespace

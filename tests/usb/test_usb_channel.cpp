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
  // what, the line, write result, read result of the monitor and of the setup tool, what came, the
  // monitor's libusb result, the wait
  const std::tuple<const char*, Line, int, int, int, std::string, int, int> cases[] = {
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
  for (const auto& [what, line, sentAs, readMonitor, readSetup, gotAs, libusbResult, waitMs] : cases) {
    EmulatedPrinter printer(Script{{line}});
    usb_communicate usb;
    ASSERT_EQ(usb.initDevice(), 0);
    takeLog();
    const auto start = std::chrono::steady_clock::now();
    const int sent = send(usb, "CheckStatus?");
    std::string got;
    const int reply = sent == 0 ? read(usb, &got) : 0;
    const auto waited = std::chrono::steady_clock::now() - start;
    // Debug lines: a failed write; the monitor's read result; a failed read.
    const int expected = kSetup ? readSetup : readMonitor;
    Lines log;
    if (sentAs != 0) log.push_back("Write Error");
    if (sentAs == 0 && !kSetup)
      log.push_back("ReadCmd libusb_bulk_transfer return = " + std::to_string(libusbResult));
    if (sentAs == 0 && expected == 254) log.push_back("read Error");
    EXPECT_EQ(std::make_tuple(sent, reply, got, takeLog()), std::make_tuple(sentAs, expected, gotAs, log))
        << what;
    EXPECT_TRUE(waited >= milliseconds(waitMs) && waited < milliseconds(waitMs + 1000))
        << what << ": " << std::chrono::duration_cast<milliseconds>(waited).count() << " ms";
    EXPECT_EQ(usb.releaseDevice(), 0) << what;
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
  // what, detach and claim errors, open and write results, the monitor's and the setup tool's debug
  // lines (the setup tool's first one: its own detach attempt)
  using Step = std::tuple<const char*, int, int, int, int, const char*, const char*>;
  for (const auto& [what, detachError, claimError, openedAs, sentAs, logMonitor, logSetup] : {
           Step{"a bound driver", 0, 0, 0, 0, "", "0|kernel driver not active"},
           Step{"no driver left", 0, 0, 0, 0, "kernel driver not active", "-5|kernel driver not active"},
           Step{"a claimed interface", 0, EBUSY, 0, 253, "kernel driver not active|Cannot Claim Interface",
                "-5|kernel driver not active|Cannot Claim Interface"},
           Step{"a driver that will not go", EPERM, 0, 255, 0, "GET_DEVICE_ERROR", "-99|GET_DEVICE_ERROR"},
       }) {
    printer.script([d = detachError, c = claimError](Script& x) {
      x = {{}, x.idle, d ? "usblp" : x.driver, d, c};
    });
    const int opened = usb.initDevice();
    const int sent = opened == 0 ? send(usb, "CheckStatus?") : 0;
    std::string log;
    for (const std::string& line : takeLog()) log += (log.empty() ? "" : "|") + line;
    EXPECT_EQ(std::make_tuple(opened, sent, log),
              std::make_tuple(openedAs, sentAs, std::string(kSetup ? logSetup : logMonitor)))
        << what;
    if (opened == 0) usb.releaseDevice();
    takeLog();
  }
  EXPECT_EQ(printer.script().driver, "usblp");
}

}  // namespace

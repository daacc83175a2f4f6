// usb_communicate against the emulated printer. Built once per build of the
// channel; usb_communicate::kSetupToolBuild tells which one runs.
#include "emulated_printer.h"
#include "usb_communicate.h"

#include <gtest/gtest.h>

#include <QString>
#include <QtGlobal>

#include <libusb.h>

#include <dirent.h>
#include <unistd.h>
#include <chrono>

using hrvtest::Bytes;
using hrvtest::EmulatedPrinter;
using hrvtest::Reply;
using hrvtest::WriteResult;
using Lines = std::vector<std::string>;

namespace {

constexpr bool kSetup = usb_communicate::kSetupToolBuild;

// The debug lines the build under test writes: those of the monitor's build
// or those of the setup tool's.
Lines byBuild(Lines monitor, Lines setupTool) {
  return kSetup ? setupTool : monitor;
}

// Collects the channel's Qt debug lines.
class DebugLog {
 public:
  DebugLog() : previous_(qInstallMessageHandler(&DebugLog::collect)) { lines().clear(); }
  ~DebugLog() { qInstallMessageHandler(previous_); }
  Lines take() {
    Lines out;
    out.swap(lines());
    return out;
  }

 private:
  static Lines& lines() {
    static Lines l;
    return l;
  }
  static void collect(QtMsgType, const QMessageLogContext&, const QString& msg) {
    lines().push_back(msg.toStdString());
  }
  QtMessageHandler previous_;
};

int send(usb_communicate& usb, std::string_view text) {
  Bytes b = hrvtest::toBytes(text);
  return usb.SendCmd(b.data(), static_cast<unsigned>(b.size()));
}

// Reads into a cleared 8192-byte buffer, as the callers do; `got` holds the
// buffer up to the first zero byte.
int read(usb_communicate& usb, std::string* got = nullptr) {
  std::vector<unsigned char> buffer(8192, 0);
  const int r = usb.ReadCmd(buffer.data(), static_cast<unsigned>(buffer.size()));
  if (got) *got = reinterpret_cast<const char*>(buffer.data());
  return r;
}

int openFds() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

// The emulation's end of a closed device file goes away on its own thread a
// moment later; wait until the count stops changing.
int settledFds() {
  int last = openFds();
  for (int stable = 0, tries = 0; stable < 5 && tries < 500; ++tries) {
    usleep(2000);
    const int now = openFds();
    stable = now == last ? stable + 1 : 0;
    last = now;
  }
  return last;
}

// Another user of the printer, without the channel's lock (a foreign
// program): its own open device file with interface 0 claimed.
class OtherHolder {
 public:
  OtherHolder() {
    libusb_init(&ctx_);
    handle_ = libusb_open_device_with_vid_pid(ctx_, hrv::kUsbVendor, hrv::kUsbProduct);
    held_ = handle_ && libusb_claim_interface(handle_, hrv::kUsbInterface) == 0;
  }
  ~OtherHolder() {
    if (handle_) libusb_close(handle_);
    libusb_exit(ctx_);
  }
  bool held() const { return held_; }

 private:
  libusb_context* ctx_ = nullptr;
  libusb_device_handle* handle_ = nullptr;
  bool held_ = false;
};

class UsbChannel : public ::testing::Test {
 protected:
  DebugLog log;
};

TEST_F(UsbChannel, NoPrinterGives252AndFindDeviceError) {
  EmulatedPrinter printer(false);
  usb_communicate usb;
  EXPECT_EQ(usb.checkUSBDevice(), 0);
  EXPECT_EQ(usb.initDevice(), 252);
  EXPECT_EQ(log.take(), Lines{"find device error"});

  printer.plug();
  EXPECT_EQ(usb.checkUSBDevice(), 1);
  ASSERT_EQ(usb.initDevice(), 0);
  EXPECT_EQ(send(usb, "CheckStatus?"), 0);
  EXPECT_EQ(usb.releaseDevice(), 0);

  // Unplugged again, then back at a new bus address.
  printer.unplug();
  EXPECT_EQ(usb.checkUSBDevice(), 0);
  log.take();
  EXPECT_EQ(usb.initDevice(), 252);
  EXPECT_EQ(log.take(), Lines{"find device error"});
  printer.plug();
  ASSERT_EQ(usb.initDevice(), 0);
  EXPECT_EQ(send(usb, "CheckStatus?"), 0);
  EXPECT_EQ(usb.releaseDevice(), 0);
  EXPECT_EQ(printer.writtenText(), "CheckStatus?CheckStatus?");
}

TEST_F(UsbChannel, BoundKernelDriverIsDetached) {
  EmulatedPrinter printer;
  printer.bindKernelDriver("usblp");
  usb_communicate usb;

  ASSERT_EQ(usb.initDevice(), 0);
  EXPECT_EQ(printer.kernelDriver(), "");
  // The setup tool's unconditional attempt already takes the driver away.
  EXPECT_EQ(log.take(), byBuild({}, {"0", "kernel driver not active"}));
  EXPECT_EQ(send(usb, "CheckStatus?"), 0);
  EXPECT_EQ(usb.releaseDevice(), 0);
  log.take();

  ASSERT_EQ(usb.initDevice(), 0);
  EXPECT_EQ(log.take(), byBuild({"kernel driver not active"}, {"-5", "kernel driver not active"}));
  EXPECT_EQ(send(usb, "CheckStatus?"), 0);
  EXPECT_EQ(usb.releaseDevice(), 0);
  log.take();

  // A driver that will not let go.
  printer.bindKernelDriver("usblp");
  printer.failDetach(EPERM);
  EXPECT_EQ(usb.initDevice(), 255);
  EXPECT_EQ(log.take(), byBuild({"GET_DEVICE_ERROR"}, {"-99", "GET_DEVICE_ERROR"}));
  EXPECT_EQ(printer.kernelDriver(), "usblp");
  printer.failDetach(0);
  ASSERT_EQ(usb.initDevice(), 0);
  EXPECT_EQ(printer.kernelDriver(), "");
}

TEST_F(UsbChannel, IncompleteWriteGives253) {
  EmulatedPrinter printer;
  usb_communicate usb;
  ASSERT_EQ(usb.initDevice(), 0);
  log.take();

  printer.queueWriteResult(WriteResult::partial(5));
  EXPECT_EQ(send(usb, "CheckStatus?"), 253);
  EXPECT_EQ(printer.writtenText(), "Check");
  printer.queueWriteResult(WriteResult::failure(EPIPE));
  EXPECT_EQ(send(usb, "CheckStatus?"), 253);
  printer.queueWriteResult(WriteResult::hang());
  EXPECT_EQ(send(usb, "CheckStatus?"), 253);
  EXPECT_EQ(log.take(), (Lines{"Write Error", "Write Error", "Write Error"}));

  EXPECT_EQ(send(usb, "CheckStatus?"), 0);
  EXPECT_EQ(printer.writtenText(), "CheckCheckStatus?");
  EXPECT_EQ(usb.releaseDevice(), 0);
}

TEST_F(UsbChannel, FailedReadGives254AfterTheReadTimeOut) {
  EmulatedPrinter printer;  // answers nothing: reads wait for the time-out
  usb_communicate usb;
  ASSERT_EQ(usb.initDevice(), 0);
  ASSERT_EQ(send(usb, "CheckStatus?"), 0);
  log.take();

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(read(usb), 254);
  const auto waited = std::chrono::steady_clock::now() - start;
  // Only there to tell the builds apart: the setup tool waits longer than
  // the monitor's time-out, the monitor gives up before the setup tool's.
  EXPECT_GE(waited, std::chrono::milliseconds(usb_communicate::kReadTimeoutMs));
  if (!kSetup) {
    EXPECT_LT(waited, std::chrono::milliseconds(hrv::kUsbReadTimeoutMsNetsetup));
  }
  EXPECT_EQ(log.take(), byBuild({"ReadCmd libusb_bulk_transfer return = -7", "read Error"}, {"read Error"}));

  printer.queueReply(Reply::failure(EPROTO));
  EXPECT_EQ(read(usb), 254);
  EXPECT_EQ(log.take(), byBuild({"ReadCmd libusb_bulk_transfer return = -1", "read Error"}, {"read Error"}));
  EXPECT_EQ(usb.releaseDevice(), 0);
}

TEST_F(UsbChannel, ZeroLengthReadIsAReplyOnlyForTheMonitor) {
  EmulatedPrinter printer;
  printer.answerStatus({Reply::text("CODE=10001\r\n"), Reply::empty()});
  usb_communicate usb;
  ASSERT_EQ(usb.initDevice(), 0);
  ASSERT_EQ(send(usb, "CheckStatus?"), 0);
  log.take();

  std::string got;
  EXPECT_EQ(read(usb, &got), 12);
  EXPECT_EQ(got, "CODE=10001\r\n");
  EXPECT_EQ(read(usb, &got), kSetup ? 254 : 0);
  EXPECT_EQ(got, "");
  EXPECT_EQ(log.take(),
            byBuild({"ReadCmd libusb_bulk_transfer return = 0", "ReadCmd libusb_bulk_transfer return = 0"},
                    {"read Error"}));

  printer.queueReply(Reply::text("E"));
  EXPECT_EQ(read(usb, &got), 1);
  EXPECT_EQ(got, "E");
  log.take();
  EXPECT_EQ(usb.releaseDevice(), 0);
  EXPECT_EQ(log.take(), byBuild({"release Device"}, {}));
}

TEST_F(UsbChannel, CheckFindsPrinterHeldByAnotherProgram) {
  EmulatedPrinter printer;
  usb_communicate usb;
  {
    OtherHolder other;
    ASSERT_TRUE(other.held());
    EXPECT_EQ(usb.checkUSBDevice(), 1);
    // The interface really is taken: this connection cannot claim it.
    ASSERT_EQ(usb.initDevice(), 0);
    EXPECT_EQ(send(usb, "CheckStatus?"), 253);
    EXPECT_EQ(usb.releaseDevice(), 255);
    EXPECT_EQ(log.take(), byBuild({"kernel driver not active", "Cannot Claim Interface", "release Device",
                                   "Cannot Release Interface"},
                                  {"-5", "kernel driver not active", "Cannot Claim Interface",
                                   "Cannot Release Interface"}));
  }
  ASSERT_EQ(usb.initDevice(), 0);
  EXPECT_EQ(send(usb, "CheckStatus?"), 0);
  EXPECT_EQ(usb.releaseDevice(), 0);
}

TEST_F(UsbChannel, ThousandConnectionsLeakNothing) {
  const std::array<unsigned char, 12> record = {192, 168, 1, 100, 255, 255, 255, 0, 192, 168, 1, 1};
  EmulatedPrinter printer;
  printer.answerIp(record);
  const std::string expected = std::string("IPadd:") + std::string(record.begin(), record.end());
  usb_communicate usb;

  auto cycle = [&](int i) {
    // Every tenth release fails and leaves the connection to the next
    // initDevice, which must close it.
    printer.failRelease(i % 10 == 9 ? EIO : 0);
    if (usb.initDevice() != 0 || send(usb, "CheckIP?") != 0) return false;
    std::vector<unsigned char> buffer(512, 0);
    const int n = usb.ReadCmd(buffer.data(), 512);
    if (n != 18 || std::string(buffer.begin(), buffer.begin() + 18) != expected) return false;
    if (usb.releaseDevice() != (i % 10 == 9 ? 255 : 0)) return false;
    if (i % 10 == 0 && usb.checkUSBDevice() != 1) return false;
    printer.clearWritten();
    log.take();
    return true;
  };

  ASSERT_TRUE(cycle(0));  // lets lazily opened descriptors appear
  const int before = settledFds();
  for (int i = 1; i <= 1000; ++i) ASSERT_TRUE(cycle(i)) << "cycle " << i;
  EXPECT_EQ(settledFds(), before);

  // A release without a claim fails and keeps the connection until the
  // next initDevice.
  printer.failRelease(0);
  ASSERT_EQ(usb.initDevice(), 0);
  EXPECT_EQ(usb.releaseDevice(), 255);
  EXPECT_GT(settledFds(), before);
  ASSERT_EQ(usb.initDevice(), 0);
  ASSERT_EQ(send(usb, "CheckIP?"), 0);
  EXPECT_EQ(usb.releaseDevice(), 0);
  EXPECT_EQ(settledFds(), before);
}

}  // namespace

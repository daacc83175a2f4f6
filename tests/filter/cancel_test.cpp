// A cancel signal takes effect at once in every state the filter can wait
// in, and its effects come in their order: cancel sequence, end state, log
// line; no Ghostscript is left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "filter_harness.h"
#include "sandbox.h"

using namespace hrvtest;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kUsbFilter = "/opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb";
const std::string kNetFilter = "/opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb-net";
const std::string kCancel = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL CANCEL\n\x1b%-12345X";
constexpr int kPromptlyMs = 100;

class Cancel : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Orphaned grandchildren (a Ghostscript left behind) become ours.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
  }

  void SetUp() override {
    if (!runningAsRoot()) GTEST_SKIP() << "needs root for the private namespace";
    box_.installFilters(HRV_USB_FILTER, HRV_NET_FILTER);
    doc_ = box_.spool() + "/d00042-001";
    writeFile(doc_, heavyDocument(8, 600));
  }

  std::unique_ptr<FilterRun> start(bool network, const std::string& options, BackendScript script = {},
                                   const std::string& input = {}) {
    std::map<std::string, std::string> env{
        {"PPD", std::string(HRV_PPD_DIR) + (network ? "/HRV5720ZWB-net.ppd" : "/HRV5720ZWB.ppd")},
        {"HRV_ARGV0", network ? "HRV5720ZWB-net" : "HRV5720ZWB"}};
    return std::make_unique<FilterRun>(
        box_, std::vector<std::string>{network ? kNetFilter : kUsbFilter, "42", "alice", "t", "1", options},
        env, input.empty() ? doc_ : input, std::move(script));
  }

  // SIGTERM now; the cancel sequence must reach the printer promptly.
  void cancelAndExpectPromptly(FilterRun& run, const std::function<void()>& afterSignal = {}) {
    auto t0 = Clock::now();
    run.signal(SIGTERM);
    if (afterSignal) afterSignal();
    ASSERT_TRUE(run.waitForOutput(kCancel, 5000)) << run.errors();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_LT(ms, kPromptlyMs);
    RunResult r = run.wait();
    EXPECT_EQ(r.exitCode, 0);
    // Nothing follows the cancel sequence.
    EXPECT_EQ(r.out.size() - r.out.rfind(kCancel), kCancel.size());
    EXPECT_NE(r.err.find("INFO:空闲\n"), std::string::npos);
    EXPECT_NO_FATAL_FAILURE(expectNoRasterizerLeft());
  }

  void expectNoRasterizerLeft() {
    int status;
    pid_t left = waitpid(-1, &status, WNOHANG);
    EXPECT_TRUE(left == -1 && errno == ECHILD) << "a process was left behind";
  }

  void expectUsbCancelRecorded() {
    EXPECT_EQ(readFile(box_.opt() + "/bin/usb/config/printerState"), "CODE=10001");
    std::string log = readFile(box_.opt() + "/bin/usb/print_log");
    const std::string line = "\n打印任务被用户取消\n";
    ASSERT_GE(log.size(), line.size());
    EXPECT_EQ(log.substr(log.size() - line.size()), line);
  }

  Sandbox box_;
  std::string doc_;
};

}  // namespace

TEST_F(Cancel, WhileWaitingForADrainAnswer) {
  BackendScript script;
  script.drainStatus = [](int) { return -1; };  // never answers
  auto run = start(false, "", script);
  ASSERT_TRUE(run->waitForDrainRequests(1, 30000));
  cancelAndExpectPromptly(*run);
  expectUsbCancelRecorded();
  EXPECT_NE(run->wait().err.find("DEBUG:[VORN-HRV5720ZWB]cancel job=15;\n"), std::string::npos);
}

TEST_F(Cancel, WhileBlockedWritingToTheBackend) {
  auto run = start(false, "");
  run->pauseOutput(true);
  ASSERT_TRUE(run->waitForError("INFO:打印机正在打印", 30000));
  usleep(300000);  // let it fill the pipe and block
  cancelAndExpectPromptly(*run, [&] { run->pauseOutput(false); });
  expectUsbCancelRecorded();
}

TEST_F(Cancel, WhileWaitingForGhostscript) {
  // Ghostscript waits for the rest of a job that never comes.
  std::string fifo = box_.stage() + "/job.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int feed = ::open(fifo.c_str(), O_RDWR);
  std::string half = "%!PS\n/Helvetica findfont 20 scalefont setfont 72 720 moveto (one) show showpage\n";
  ASSERT_EQ(::write(feed, half.data(), half.size()), static_cast<ssize_t>(half.size()));
  auto run = start(false, "", {}, fifo);
  ASSERT_TRUE(run->waitForError("DEBUG:Open Debug File=/var/tmp/qdw.prn ok", 30000));
  usleep(200000);
  cancelAndExpectPromptly(*run);
  ::close(feed);
  expectUsbCancelRecorded();
}

TEST_F(Cancel, WhilePausingAfterAFailedDrain) {
  BackendScript script;
  script.drainStatus = [](int) { return 3; };  // time-out: counted, 500 ms pause
  auto run = start(false, "", script);
  ASSERT_TRUE(run->waitForDrainRequests(2, 30000));
  cancelAndExpectPromptly(*run);
}

TEST_F(Cancel, EleventhFailedDrainCancelsWithFourteen) {
  BackendScript script;
  script.drainStatus = [](int) { return 4; };
  auto run = start(false, "", script);
  RunResult r = run->wait();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(run->drainRequests(), 11 + 1);  // eleven blocks, then the cancel path's own drain
  EXPECT_NE(r.err.find("DEBUG:[VORN-HRV5720ZWB]cancel job=14;\n"), std::string::npos);
  EXPECT_EQ(r.out.size() - r.out.rfind(kCancel), kCancel.size());
  expectUsbCancelRecorded();
  EXPECT_NO_FATAL_FAILURE(expectNoRasterizerLeft());
}

TEST_F(Cancel, WhileWaitingForTheLockAnswer) {
  BackendScript script;
  script.lockReply = [](int) { return std::string(); };  // silent printer
  auto run = start(true, "", script);
  ASSERT_TRUE(run->waitForOutput("LockPrinter?", 30000));
  usleep(200000);
  cancelAndExpectPromptly(*run);
  std::string log = readFile(box_.opt() + "/bin/net/print_log");
  EXPECT_EQ(log.substr(log.size() - std::string("\n打印任务被用户取消\n").size()), "\n打印任务被用户取消\n");
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/usb/config/printerState"));
}

TEST_F(Cancel, WhileSleepingAfterABusyAnswer) {
  BackendScript script;
  script.lockReply = [](int) { return std::string("CODE=00002"); };
  auto run = start(true, "", script);
  ASSERT_TRUE(run->waitForError("INFO:打印机忙，请稍后\n", 30000));
  cancelAndExpectPromptly(*run);
  EXPECT_EQ(run->wait().out.find("@PJL SET"), std::string::npos);  // no header was sent
}

TEST_F(Cancel, DuringTheRefusedPasswordWait) {
  auto run = start(false, "Passwd1=1 Passwd2=2");
  ASSERT_TRUE(run->waitForError("STATE: +", 30000));
  cancelAndExpectPromptly(*run);
  EXPECT_EQ(readFile(box_.opt() + "/bin/usb/config/printerState"), "CODE=10001");
  EXPECT_EQ(readFile(box_.opt() + "/bin/usb/print_log"), "\n打印任务被用户取消\n");
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/usb/config/printerInfo"));
}

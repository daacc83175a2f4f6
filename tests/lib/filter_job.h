// The fixture of every test that runs the real filter binaries: a sandbox
// with both filters installed, a job 42 started as CUPS would start it, the
// checks every printed, cancelled or failed job must pass, and the process
// table (a Ghostscript left behind ends up with the test, a subreaper).
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "filter_harness.h"
#include "sandbox.h"

namespace hrvtest {

inline const std::string kUsbFilter = "/opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb";
inline const std::string kNetFilter = "/opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb-net";
inline const std::string kLeadIn = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL\n";
inline const std::string kTrailer = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL EOJ\n\x1b%-12345X";
inline const std::string kCancel = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL CANCEL\n\x1b%-12345X";
inline const std::string kLogDone = "\n打印任务完成\n";
inline const std::string kLogCancelled = "\n打印任务被用户取消\n";
inline const std::string kLogFailed = "\n打印任务失败\n";
inline const std::string kCancelledBySignal = "DEBUG:[VORN-HRV5720ZWB]cancel job=15;\n";
inline const std::string kCancelledByDrains = "DEBUG:[VORN-HRV5720ZWB]cancel job=14;\n";

bool endsWith(const std::string& s, const std::string& tail);
size_t countOf(const std::string& text, const std::string& needle);
// The first of `needles` that `text` does not hold after the ones before it;
// empty when it holds them all in this order.
std::string firstMissing(const std::string& text, const std::vector<std::string>& needles);

// The text of a /proc file, empty when the process is gone.
std::string readProcFile(const std::string& path);
// Processes whose parent is `parent`.
std::vector<pid_t> childrenOf(pid_t parent);
// Kills and reaps whatever is left among our children; returns their names.
std::vector<std::string> reapLeftovers();
// Whether `pid` (our child) has ended, without reaping it.
bool hasEnded(pid_t pid);

class FilterJobTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;

  // Starts the USB (or network) filter on job 42 with the queue's PPD and
  // standard input from `input` (default: the spool file). `wrapper` comes
  // ahead of the filter inside the sandbox and must exec the rest.
  std::unique_ptr<FilterRun> start(bool network, const std::string& options = "", BackendScript script = {},
                                   const std::string& input = {},
                                   const std::vector<std::string>& wrapper = {});

  void useSpool(const std::string& content) { writeFile(spool_, content); }
  std::string usb(const std::string& file) { return readFile(box_.opt() + "/bin/usb/" + file); }
  std::string net(const std::string& file) { return readFile(box_.opt() + "/bin/net/" + file); }
  void forgetJobFiles();
  // Replaces the rasterizer with a shell script.
  void rasterizerScript(const std::string& body);

  // What is wrong with a job that should have printed, been cancelled (its
  // log holding `cancelLine`) or failed (its ERROR line holding `error`);
  // the job files checked are the USB filter's unless `network`.
  std::vector<std::string> printedProblems(const RunResult& r);
  std::vector<std::string> cancelProblems(const RunResult& r, const std::string& cancelLine,
                                          bool network = false);
  std::vector<std::string> failedProblems(const RunResult& r, const std::string& error);

  Sandbox box_;
  std::string spool_;
};

}  // namespace hrvtest

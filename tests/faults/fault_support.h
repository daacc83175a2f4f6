// Shared pieces of the fault injection tests: a sandbox with the USB and
// network filters installed, the checks every cancelled job must pass, the
// process table, and the summary line each area prints.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "filter_harness.h"
#include "sandbox.h"

namespace hrvfault {

inline const std::string kUsbFilter = "/opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb";
inline const std::string kNetFilter = "/opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb-net";
inline const std::string kLeadIn = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL\n";
inline const std::string kTrailer = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL EOJ\n\x1b%-12345X";
inline const std::string kCancel = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL CANCEL\n\x1b%-12345X";
inline const std::string kLogCancelled = "\n打印任务被用户取消\n";
inline const std::string kLogDone = "\n打印任务完成\n";

bool endsWith(const std::string& s, const std::string& tail);
size_t countOf(const std::string& text, const std::string& needle);

// Counts the cases of one area and prints its summary line, e.g.
// "faults: sigterm-random 100 cases, 0 failures, 0 crashes".
class Tally {
 public:
  explicit Tally(std::string area) : area_(std::move(area)) {}
  ~Tally();
  // One case: `problems` empty means it passed; `crashed` when the filter
  // died by a signal or ended with another status than expected.
  void add(const std::vector<std::string>& problems, bool crashed);
  void note(const std::string& text) { note_ = text; }

 private:
  std::string area_;
  std::string note_;
  int cases_ = 0, failures_ = 0, crashes_ = 0;
};

// The text of a /proc file, empty when the process is gone.
std::string readProcFile(const std::string& path);
// Processes whose parent is `parent`.
std::vector<pid_t> childrenOf(pid_t parent);
// Kills and reaps whatever is left among our children (we are a subreaper,
// so a Ghostscript left behind by the filter ends up here); returns their
// command names.
std::vector<std::string> reapLeftovers();
std::string leftoverProblem(const std::vector<std::string>& names);
// Whether `pid` (our child) has ended, without reaping it.
bool hasEnded(pid_t pid);
// A "VmHWM:"-style value of /proc/<pid>/status in KiB, -1 when unreadable.
long procStatusKib(pid_t pid, const char* field);

class FilterFault : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;

  // Starts the USB (or network) filter on job 42 with standard input from
  // `input` (default: the spool file). `wrapper` comes ahead of the filter
  // inside the sandbox (it must exec the rest of its arguments).
  std::unique_ptr<hrvtest::FilterRun> start(bool network, hrvtest::BackendScript script = {},
                                            const std::string& input = {},
                                            const std::vector<std::string>& wrapper = {});

  void useSpool(const std::string& content) { hrvtest::writeFile(spool_, content); }
  std::string usb(const std::string& file) { return hrvtest::readFile(box_.opt() + "/bin/usb/" + file); }
  std::string net(const std::string& file) { return hrvtest::readFile(box_.opt() + "/bin/net/" + file); }
  void forgetJobFiles();

  // The checks of a job ended through the cancel path (USB variant).
  std::vector<std::string> cancelProblems(const hrvtest::RunResult& r, const std::string& cancelLine);
  // The checks of a job that printed to its trailer.
  std::vector<std::string> printedProblems(const hrvtest::RunResult& r);

  hrvtest::Sandbox box_;
  std::string spool_;
};

}  // namespace hrvfault

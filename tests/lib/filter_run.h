// The fixture of every test that runs the built filters: a sandbox with both
// filters installed and job 42 started as CUPS starts it, with the test as
// its backend (it takes the printer stream and answers drain requests on the
// side channel and "LockPrinter?" on the back channel, as a script says); and
// the checks every printed, cancelled or failed job must pass, a Ghostscript
// left behind included (orphans end up with the test, a subreaper).
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config.h"
#include "jobfiles.h"
#include "pjl.h"
#include "sandbox.h"

namespace hrvtest {

struct BackendScript {
  // Status to answer the n-th drain request with (from 0); -1 never answers.
  std::function<int(int n)> drainStatus = [](int) { return 1; };
  // Back-channel bytes for the n-th "LockPrinter?"; empty sends nothing.
  std::function<std::string(int n)> lockReply = [](int) { return std::string("CODE=00001\r\n"); };
};

// One filter process. The backend's side runs only while the test waits in
// one of the calls below, as a real backend that reads when it can.
class FilterRun {
 public:
  // Starts `argv` in the sandbox, standard input from `stdinPath` (a file, or
  // a FIFO the test feeds).
  FilterRun(Sandbox& box, const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            const std::string& stdinPath, BackendScript script = {});
  ~FilterRun();
  FilterRun(const FilterRun&) = delete;
  FilterRun& operator=(const FilterRun&) = delete;

  pid_t pid() const { return pid_; }
  bool reaped() const { return reaped_; }
  void signal(int sig);
  void closeOutput();  // the backend goes away

  // Serves until `done` holds (true) or `ms` pass (false).
  bool serveUntil(const std::function<bool()>& done, int ms = 30000);
  bool waitForOutput(const std::string& s, int ms = 30000) {
    return serveUntil([&] { return has(out, s); }, ms);
  }
  bool waitForError(const std::string& s, int ms = 30000) {
    return serveUntil([&] { return has(err, s); }, ms);
  }
  bool waitForDrains(int n, int ms = 30000) {
    return serveUntil([&] { return drains >= n; }, ms);
  }
  // Serves until the filter has ended (killed after `ms`) and its pipes are drained.
  RunResult wait(int ms = 120000);

  std::string out, err;  // what the filter wrote
  int drains = 0;        // drain requests so far
  bool paused = false;   // the backend takes no output meanwhile

 private:
  static bool has(const std::string& text, const std::string& s) { return text.find(s) != std::string::npos; }
  void serveOnce(int ms);

  pid_t pid_ = -1;
  int fds_[5] = {-1, -1, -1, -1, -1};  // output, errors, side channel, back channel, the child's pidfd
  BackendScript script_;
  size_t lockScan_ = 0;
  int locks_ = 0;
  bool reaped_ = false;
  RunResult result_;
};

enum class End { kPrinted, kCancelled, kFailed };

class FilterJobTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;

  // Starts the USB (or network) filter on job 42 with its queue's PPD and
  // standard input from `input` (default: the spool file). `wrapper` runs
  // ahead of the filter in the sandbox and must exec the rest.
  std::unique_ptr<FilterRun> start(bool network, const std::string& options = "", BackendScript script = {},
                                   const std::string& input = {},
                                   const std::vector<std::string>& wrapper = {});

  void useSpool(const std::string& content) { writeFile(spool_, content); }
  // Where a fixed path of the installed tree lies in the sandbox, and its text.
  std::string hostPath(const std::string& fixedPath) const;
  std::string jobFile(const char* fixedPath) const { return readFile(hostPath(fixedPath)); }
  void forgetJobFiles();
  void rasterizerScript(const std::string& body);  // a shell script in place of Ghostscript

  // What is wrong with a job that should have ended `how`: cancelled with
  // `line` in its log, or failed with `line` in its ERROR line. The job files
  // are the USB filter's unless `network`.
  std::vector<std::string> problems(const RunResult& r, End how, const std::string& line = {},
                                    bool network = false);

  Sandbox box_;
  std::string spool_;
};

inline const std::string kUsbFilter = std::string(hrv::kRoot) + "/bin/" + hrv::kUsbFilterProgram;
inline const std::string kNetFilter = std::string(hrv::kRoot) + "/bin/" + hrv::kNetFilterProgram;
inline const std::string kCancelledBySignal = "DEBUG:[VORN-HRV5720ZWB]cancel job=15;\n";
inline const std::string kCancelledByDrains = "DEBUG:[VORN-HRV5720ZWB]cancel job=14;\n";

bool endsWith(const std::string& s, std::string_view tail);
size_t countOf(const std::string& text, const std::string& needle);
// The first of `needles` that `text` does not hold after the ones before it;
// empty when it holds them all in this order.
std::string firstMissing(const std::string& text, const std::vector<std::string>& needles);
// Kills and reaps whatever is left among the test's children; their names.
std::vector<std::string> reapLeftovers();

}  // namespace hrvtest

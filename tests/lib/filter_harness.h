// Runs a real filter binary in the sandbox with the test acting as its CUPS
// backend: the test reads the filter's output (the printer stream), answers
// its side-channel drain requests and its "LockPrinter?" requests over the
// back channel, as a script says.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sandbox.h"

namespace hrvtest {

struct BackendScript {
  // Status to answer the n-th drain request with (from 0); -1 never answers.
  std::function<int(int n)> drainStatus = [](int) { return 1; };
  // Back-channel bytes for the n-th "LockPrinter?"; empty sends nothing.
  std::function<std::string(int n)> lockReply = [](int) { return std::string("CODE=00001\r\n"); };
};

class FilterRun {
 public:
  // Starts `argv` in the sandbox; standard input comes from `stdinPath`
  // (a file, or a FIFO the test feeds).
  FilterRun(Sandbox& box, const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            const std::string& stdinPath, BackendScript script = {});
  ~FilterRun();
  FilterRun(const FilterRun&) = delete;
  FilterRun& operator=(const FilterRun&) = delete;

  pid_t pid() const { return pid_; }
  void signal(int sig);

  // The backend stops or resumes taking the filter's output.
  void pauseOutput(bool paused);
  // The backend goes away: the read end of the filter's output is closed.
  void closeOutput();

  // Wait until the output or the error text holds `needle`; false on time-out.
  bool waitForOutput(const std::string& needle, int timeoutMs);
  bool waitForError(const std::string& needle, int timeoutMs);
  bool waitForDrainRequests(int count, int timeoutMs);

  // Waits for the process to end (up to `timeoutMs`, then kills it).
  RunResult wait(int timeoutMs = 120000);

  std::string output();
  std::string errors();
  int drainRequests();

 private:
  void serve();
  void wake();
  bool waitFor(const std::function<bool()>& done, int timeoutMs);

  pid_t pid_ = -1;
  int out_ = -1, err_ = -1, side_ = -1, back_ = -1, wake_[2] = {-1, -1};
  BackendScript script_;
  std::atomic<bool> paused_{false};
  std::atomic<bool> closeOut_{false};
  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::condition_variable cv_;
  std::string outText_, errText_;
  int drains_ = 0;
  int locks_ = 0;
  bool ended_ = false;
  bool outDone_ = false;
  bool errDone_ = false;
  bool reaped_ = false;
  RunResult result_;
  std::thread thread_;
};

}  // namespace hrvtest

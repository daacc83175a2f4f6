// The other end misbehaves: a backend that answers drain requests for a
// while and then stops, and a rasterizer killed outright.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "fault_support.h"

using namespace hrvfault;
using hrvtest::BackendScript;
using hrvtest::RunResult;

namespace {

const std::string kCancelledByDrains = "DEBUG:[VORN-HRV5720ZWB]cancel job=14;\n";

std::string commOf(pid_t pid) {
  return readProcFile("/proc/" + std::to_string(pid) + "/comm");
}

}  // namespace

class Backend : public FilterFault {
 protected:
  void SetUp() override {
    FilterFault::SetUp();
    if (IsSkipped()) return;
    // About 33 blocks of 256 KiB.
    useSpool(hrvtest::heavyDocument(8, 600));
  }
};

// Answers OK for the first blocks, then fails: the eleventh counted failure
// in a row cancels the job; one OK in between starts the count again.
TEST_F(Backend, StopsAnsweringDrainRequests) {
  struct Case {
    const char* name;
    std::function<int(int)> status;  // -1: no answer at all
    int cancelAt;                    // the drain request (from 0) that cancels
    int failureLines;
  };
  const Case cases[] = {
      {"time-outs after 3 OK", [](int n) { return n < 3 ? 1 : 3; }, 13, 11},
      {"silent after 3 OK", [](int n) { return n < 3 ? 1 : -1; }, 13, 11},
      {"10 time-outs, 1 OK, then time-outs", [](int n) { return n < 3 || n == 13 ? 1 : 3; }, 24, 21},
  };
  Tally tally("drain-stops-answering");
  for (const Case& c : cases) {
    forgetJobFiles();
    BackendScript script;
    script.drainStatus = c.status;
    auto run = start(false, script);
    RunResult r = run->wait();
    std::vector<std::string> problems = cancelProblems(r, kCancelledByDrains);
    // The cancel path asks for one more drain of its own.
    if (run->drainRequests() != c.cancelAt + 2)
      problems.push_back("cancelled after " + std::to_string(run->drainRequests()) + " drain requests, not " +
                         std::to_string(c.cancelAt + 2));
    const size_t failures = countOf(r.err, "DEBUG: send to printer error status = 3\n");
    if (failures != static_cast<size_t>(c.failureLines))
      problems.push_back(std::to_string(failures) + " failed drains logged, not " +
                         std::to_string(c.failureLines));
    if (r.out.find(kTrailer) != std::string::npos) problems.push_back("the trailer was sent");
    for (const std::string& p : problems) ADD_FAILURE() << c.name << ": " << p;
    tally.add(problems, r.termSignal != 0 || r.exitCode != 0);
  }
  tally.note("each cancelled on the eleventh counted failure in a row");
}

// SIGKILL to Ghostscript before it wrote anything, and in the middle of the
// job: the filter reports the signal, exits 0 and sends no trailer.
TEST_F(Backend, RasterizerKilled) {
  Tally tally("rasterizer-killed");
  for (bool midJob : {false, true}) {
    forgetJobFiles();
    auto run = start(false);
    pid_t gs = 0;
    for (int tries = 0; tries < 2000 && !gs; ++tries) {
      for (pid_t child : childrenOf(run->pid()))
        if (commOf(child) == "gs\n") gs = child;
      if (!gs) usleep(1000);
    }
    ASSERT_NE(gs, 0) << "Ghostscript never started";
    // Mid-job: the first of some thirty blocks has been sent.
    if (midJob) {
      ASSERT_TRUE(run->waitForDrainRequests(1, 30000));
    }
    kill(gs, SIGKILL);
    RunResult r = run->wait();

    std::vector<std::string> problems;
    const std::string name = midJob ? "mid-job: " : "at its start: ";
    if (r.exitCode != 0) problems.push_back("exit status " + std::to_string(r.exitCode));
    if (r.err.find("DEBUG:[VORN-HRV5720ZWB]pstopxl process died due to a signal 9.\n") == std::string::npos)
      problems.push_back("no signal message");
    if (r.out.find(kTrailer) != std::string::npos) problems.push_back("the trailer was sent");
    if (r.out.find(kCancel) != std::string::npos) problems.push_back("a cancel sequence was sent");
    if (midJob && r.out.compare(0, kLeadIn.size(), kLeadIn) != 0)
      problems.push_back("no job header before the kill");
    if (!midJob && !r.out.empty()) problems.push_back("sent " + std::to_string(r.out.size()) + " bytes");
    // The job never finished: the state stays at printing, the record has no end line.
    const std::string state = usb("config/printerState");
    if (state != "CODE=10023") problems.push_back("printerState reads " + state);
    const std::string log = usb("print_log");
    if (endsWith(log, kLogDone) || endsWith(log, kLogCancelled))
      problems.push_back("print_log has an end line");
    if (auto left = reapLeftovers(); !left.empty()) problems.push_back(leftoverProblem(left));
    for (const std::string& p : problems) ADD_FAILURE() << name << p;
    tally.add(problems, r.termSignal != 0 || r.exitCode != 0);
  }
}

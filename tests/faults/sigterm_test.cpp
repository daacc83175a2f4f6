// SIGTERM at random moments of a multi-page USB job. Whenever it lands, the
// printer gets the cancel sequence last, the state file reads "CODE=10001",
// print_log ends with the cancel line, the filter exits 0 and no Ghostscript
// is left behind.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "fault_support.h"

using namespace hrvfault;
using hrvtest::RunResult;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

namespace {

constexpr int kCases = 100;
constexpr unsigned kDefaultSeed = 5720;

unsigned seed() {
  const char* s = std::getenv("HRV_FAULT_SEED");
  return s ? static_cast<unsigned>(std::strtoul(s, nullptr, 10)) : kDefaultSeed;
}

// A job that ended its own way, without the cancel path.
bool completed(const RunResult& r) {
  return endsWith(r.out, kTrailer) && r.err.find("]cancel job=") == std::string::npos;
}

}  // namespace

class Sigterm : public FilterFault {
 protected:
  void SetUp() override {
    FilterFault::SetUp();
    if (IsSkipped()) return;
    // Three pages in four blocks.
    useSpool(hrvtest::heavyDocument(3, 320));
  }

  // A backend that takes a moment to drain, so some signals land while the
  // filter waits for its answer (and the output pipe fills meanwhile).
  static hrvtest::BackendScript slowDrains() {
    hrvtest::BackendScript script;
    script.drainStatus = [](int) {
      usleep(15000);
      return 1;
    };
    return script;
  }
};

TEST_F(Sigterm, AtRandomMomentsOfAMultiPageJob) {
  // How long the job runs from its first log line (the handlers are in
  // place by then) to its end; the quickest of three runs, so few moments
  // fall after the end of a job.
  // Also how many drain requests a whole job makes: the last one follows
  // the trailer.
  double span = 1e9;
  int drains = 0;
  for (int i = 0; i < 3; ++i) {
    auto run = start(false, slowDrains());
    ASSERT_TRUE(run->waitForError("DEBUG:", 10000));
    auto first = Clock::now();
    RunResult r = run->wait();
    span = std::min(span, Ms(Clock::now() - first).count());
    std::vector<std::string> problems = printedProblems(r);
    ASSERT_TRUE(problems.empty()) << problems.front();
    if (i > 0) {
      ASSERT_EQ(run->drainRequests(), drains);
    }
    drains = run->drainRequests();
  }

  const unsigned s = seed();
  std::printf("sigterm: seed %u (HRV_FAULT_SEED), job runs %.0f ms after its first log line\n", s, span);
  std::mt19937 rng(s);
  std::uniform_real_distribution<double> moment(0.0, span);

  Tally tally("sigterm-random");
  int afterEnd = 0, completedJobs = 0;
  for (int i = 0; i < kCases;) {
    forgetJobFiles();
    const double at = moment(rng);
    auto run = start(false, slowDrains());
    if (!run->waitForError("DEBUG:", 10000)) {
      ADD_FAILURE() << "case " << i << ": the filter never started";
      tally.add({"no start"}, true);
      ++i;
      continue;
    }
    std::this_thread::sleep_until(Clock::now() + Ms(at));
    if (hasEnded(run->pid())) {
      // This run was quicker than the first; draw another moment.
      run->wait();
      reapLeftovers();
      ASSERT_LE(++afterEnd, kCases) << "the jobs run much quicker than the first ones did";
      continue;
    }
    // The backend answers a drain 15 ms after it reads the request, so
    // until it has read the last one the filter has a wait ahead, and a
    // wait notices a signal that came before it.
    const bool waitAhead = run->drainRequests() < drains;
    run->signal(SIGTERM);
    RunResult r = run->wait(30000);
    std::vector<std::string> problems;
    if (completed(r) && !waitAhead) {
      // The signal came after the filter's last wait (or while it was
      // exiting): nothing was left to cancel. Check the job and draw again.
      for (const std::string& p : printedProblems(r)) ADD_FAILURE() << "SIGTERM " << at << " ms in: " << p;
      ASSERT_LE(++completedJobs, kCases) << "the signals keep coming too late";
      continue;
    }
    if (completed(r))
      problems.push_back("the job went on to its trailer although the signal came before its last drain");
    else
      problems = cancelProblems(r, "DEBUG:[VORN-HRV5720ZWB]cancel job=15;\n");
    for (const std::string& p : problems)
      ADD_FAILURE() << "case " << i << ", SIGTERM " << at << " ms in: " << p;
    tally.add(problems, r.termSignal != 0 || r.exitCode != 0);
    ++i;
  }
  tally.note("seed " + std::to_string(s) + "; moments redrawn: " + std::to_string(afterEnd) +
             " after the job's end, " + std::to_string(completedJobs) +
             " after its last wait (printed whole)");
}

// Before the filter has installed its handlers (the sandbox is still being
// set up, or the program is loading) SIGTERM ends it with the default
// action. That window must be harmless: nothing sent, no job file touched.
// From the handlers on, the cancel path runs as above.
TEST_F(Sigterm, DuringStartUp) {
  constexpr int kStartCases = 20;
  double startUp;
  {
    auto t0 = Clock::now();
    auto run = start(false);
    ASSERT_TRUE(run->waitForError("DEBUG:", 10000));
    startUp = Ms(Clock::now() - t0).count();
    run->wait();
    reapLeftovers();
  }
  const unsigned s = seed();
  std::mt19937 rng(s);
  // Up to twice as long as the first log line takes (the sandbox's own
  // start-up varies a lot), so both outcomes come up.
  std::uniform_real_distribution<double> moment(0.0, startUp * 2);

  Tally tally("sigterm-startup");
  int killed = 0, cancelled = 0, late = 0;
  for (int i = 0; i < kStartCases; ++i) {
    forgetJobFiles();
    const double at = moment(rng);
    auto run = start(false);
    std::this_thread::sleep_for(Ms(at));
    run->signal(SIGTERM);
    RunResult r = run->wait(30000);
    std::vector<std::string> problems;
    if (completed(r)) {
      ++late;  // a slow sandbox start-up can outlast the whole job
      problems = printedProblems(r);
    } else if (r.termSignal == SIGTERM) {
      ++killed;
      if (!r.out.empty())
        problems.push_back("killed early, yet it sent " + std::to_string(r.out.size()) + " bytes");
      for (const char* f :
           {"/bin/usb/config/printerState", "/bin/usb/config/printerInfo", "/bin/usb/print_log"})
        if (hrvtest::fileExists(box_.opt() + f))
          problems.push_back(std::string("killed early, yet it wrote ") + f);
      // The sandbox's own helpers (mount, ip) may be cut off with it; only a
      // rasterizer would be the filter's.
      for (const std::string& name : reapLeftovers())
        if (name == "gs") problems.push_back("Ghostscript left behind");
    } else {
      ++cancelled;
      problems = cancelProblems(r, "DEBUG:[VORN-HRV5720ZWB]cancel job=15;\n");
    }
    for (const std::string& p : problems)
      ADD_FAILURE() << "case " << i << ", SIGTERM " << at << " ms after start: " << p;
    tally.add(problems, r.termSignal != 0 && r.termSignal != SIGTERM);
  }
  tally.note("seed " + std::to_string(s) + ", first log line after " +
             std::to_string(static_cast<int>(startUp)) + " ms; " + std::to_string(killed) +
             " ended by the signal before the handlers, " + std::to_string(cancelled) + " cancelled, " +
             std::to_string(late) + " printed before it");
}

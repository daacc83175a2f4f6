// SIGTERM at random moments of a multi-page USB job. Whenever it lands, the
// printer gets the cancel sequence last, the state file reads "CODE=10001",
// print_log ends with the cancel line, the filter exits 0 and no Ghostscript
// is left behind. A signal before the handlers are in place ends the filter
// before it has touched anything.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "filter_job.h"
#include "tally.h"

using namespace hrvtest;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

namespace {

constexpr int kCases = 100;

unsigned seed() {
  const char* s = std::getenv("HRV_FAULT_SEED");
  return s ? static_cast<unsigned>(std::strtoul(s, nullptr, 10)) : 5720;
}

bool completed(const RunResult& r) {
  return endsWith(r.out, kTrailer) && r.err.find("]cancel job=") == std::string::npos;
}

// A backend that takes a moment to drain, so some signals land while the
// filter waits for its answer (and the output pipe fills meanwhile).
BackendScript slowDrains() {
  BackendScript script;
  script.drainStatus = [](int) {
    usleep(15000);
    return 1;
  };
  return script;
}

}  // namespace

class Sigterm : public FilterJobTest {
 protected:
  void SetUp() override {
    FilterJobTest::SetUp();
    useSpool(heavyDocument(3, 320));  // three pages in four blocks
  }
};

TEST_F(Sigterm, AtRandomMoments) {
  // How long a job runs from the start of the sandbox and how many drain
  // requests it makes (the last follows the trailer): the quickest of three.
  double span = 1e9;
  int drains = 0;
  for (int i = 0; i < 3; ++i) {
    const auto t0 = Clock::now();
    auto run = start(false, "", slowDrains());
    const RunResult r = run->wait();
    span = std::min(span, Ms(Clock::now() - t0).count());
    ASSERT_EQ(printedProblems(r), std::vector<std::string>{});
    drains = run->drainRequests();
  }
  std::mt19937 rng(seed());
  std::uniform_real_distribution<double> moment(0.0, span);

  Tally tally("sigterm-random");
  int early = 0, late = 0;
  for (int i = 0; i < kCases; ++i) {
    forgetJobFiles();
    const double at = moment(rng);
    auto run = start(false, "", slowDrains());
    std::this_thread::sleep_for(Ms(at));
    // Until the backend has read the last drain request the filter has a
    // wait ahead, and a wait notices a signal that came before it.
    const bool waitAhead = !hasEnded(run->pid()) && run->drainRequests() < drains;
    run->signal(SIGTERM);
    const RunResult r = run->wait(30000);
    std::vector<std::string> problems;
    if (r.termSignal == SIGTERM) {
      // Before the handlers (the sandbox or the program still starting):
      // nothing may have been sent or written.
      ++early;
      if (!r.out.empty())
        problems.push_back("killed early, yet it sent " + std::to_string(r.out.size()) + " bytes");
      if (fileExists(box_.opt() + "/bin/usb/config/printerInfo"))
        problems.push_back("killed early, yet it wrote");
      for (const std::string& name : reapLeftovers())
        if (name == "gs") problems.push_back("Ghostscript left behind");
    } else if (completed(r)) {
      ++late;
      problems = printedProblems(r);
      if (waitAhead) problems.push_back("the job went on to its trailer although a wait was ahead");
    } else {
      problems = cancelProblems(r, kCancelledBySignal);
    }
    for (const std::string& p : problems)
      ADD_FAILURE() << "case " << i << ", SIGTERM " << at << " ms in: " << p;
    tally.add(problems, r.termSignal != 0 && r.termSignal != SIGTERM);
  }
  tally.note("seed " + std::to_string(seed()) + " (HRV_FAULT_SEED); " + std::to_string(early) +
             " before the handlers, " + std::to_string(late) + " after the last wait");
}

// Fault injection on the real filter binaries: SIGTERM at random moments, a
// backend that stops answering or goes away, a rasterizer that fails, full
// job file folders. Each area prints its summary line, e.g.
// "faults: sigterm-random 100 cases, 0 failures, 0 crashes".
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include "filter_run.h"

using namespace hrvtest;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

namespace {

// One area's cases; its summary line at the end.
struct Tally {
  explicit Tally(std::string name) : area(std::move(name)) {}
  std::string area, note;
  int cases = 0, failures = 0, crashes = 0;
  // Each problem fails the test; `crashed` when the filter died by a signal
  // or ended with a status it must not.
  void add(const std::string& what, const std::vector<std::string>& problems, bool crashed) {
    ++cases;
    failures += !problems.empty();
    crashes += crashed;
    for (const std::string& p : problems) ADD_FAILURE() << what << ": " << p;
  }
  ~Tally() {
    std::printf("faults: %s %d cases, %d failures, %d crashes%s%s\n", area.c_str(), cases, failures, crashes,
                note.empty() ? "" : "; ", note.c_str());
    std::fflush(stdout);
  }
};

using Faults = FilterJobTest;

}  // namespace

// Answers OK for the first blocks, then fails: ten counted failures in a row
// pass (a 1 s drain time-out when silent, a 500 ms pause each), the eleventh
// cancels the job; one OK in between starts the count again.
TEST_F(Faults, BackendStopsAnsweringDrainRequests) {
  useSpool(heavyDocument(8, 600));  // about 33 blocks of 256 KiB
  const struct {
    const char* what;
    std::function<int(int)> status;  // -1: no answer at all
    int cancelAt;                    // the drain request (from 0) that cancels
    double seconds;                  // from the first failure to the cancel
  } cases[] = {
      {"time-outs after 3 OK", [](int n) { return n < 3 ? 1 : 3; }, 13, 5},
      {"silent after 3 OK", [](int n) { return n < 3 ? 1 : -1; }, 13, 16},
      {"10 time-outs, 1 OK, then time-outs", [](int n) { return n < 3 || n == 13 ? 1 : 3; }, 24, 10},
  };
  Tally tally("drain-stops-answering");
  for (const auto& c : cases) {
    forgetJobFiles();
    std::vector<Clock::time_point> at(64);
    auto run = start(false, "", {[&](int n) {
                       at.at(n) = Clock::now();
                       return c.status(n);
                     }});
    const RunResult r = run->wait();
    std::vector<std::string> problems = this->problems(r, End::kCancelled, kCancelledByDrains);
    // The cancel path asks for one more drain of its own.
    if (run->drains != c.cancelAt + 2)
      problems.push_back("cancelled after " + std::to_string(run->drains) + " drain requests");
    const double took = std::chrono::duration<double>(at[c.cancelAt + 1] - at[3]).count();
    if (took < c.seconds - 0.5 || took > c.seconds + 6)
      problems.push_back("cancelled " + std::to_string(took) + " s after the first failure");
    tally.add(c.what, problems, r.termSignal != 0 || r.exitCode != 0);
  }
}

// A rasterizer that cannot start, fails, dies or writes a head of its own:
// the job is not printed, and says so to CUPS.
TEST_F(Faults, RasterizerFails) {
  const std::string colourHead = "\\033%%-12345X@PJL SET RENDERMODE=COLOR\\n@PJL SET RESOLUTION=600\\n";
  const struct {
    const char* what;
    std::function<void()> setUp;
    const char* error;
    bool headerSent;
  } cases[] = {
      {"Ghostscript rejects the document", [&] { useSpool("%!PS\nthis_is_not_an_operator\n"); },
       "the rasterizer failed with exit code 1", true},
      {"a stand-in exits 3", [&] { rasterizerScript("cat >/dev/null; exit 3"); },
       "the rasterizer failed with exit code 3", false},
      {"a stand-in dies mid-job",
       [&] { rasterizerScript("printf '" + colourHead + "'; head -c 600000 /dev/zero; kill -9 $$"); },
       "the rasterizer was killed by signal 9", true},
      {"no rasterizer", [&] { std::filesystem::remove(hostPath(hrv::kRasterizerPath)); },
       "the rasterizer /opt/vorn/HRV5720ZWB/bin/usb/hrv5720zwb/bin/gs could not be started (No such file",
       false},
      {"a foreign head, then endless output",
       [&] { rasterizerScript("printf '%060d' 0; exec cat /dev/zero"); },
       "the rasterizer's output does not start with the PJL head", false},
      {"the head of a mono job",
       [&] { rasterizerScript("printf '\\033%%-12345X@PJL SET RENDERMODE=GRAYSCALE\\n'; exit 0"); },
       "the rasterizer's output does not start with the PJL head", false},
  };
  Tally tally("rasterizer-fails");
  for (const auto& c : cases) {
    forgetJobFiles();
    box_.linkRasterizer();
    useSpool(heavyDocument(8, 600));
    c.setUp();
    const RunResult r = start(false)->wait(60000);
    std::vector<std::string> problems = this->problems(r, End::kFailed, c.error);
    if (c.headerSent != (r.out.compare(0, hrv::kPjlLeadIn.size(), hrv::kPjlLeadIn) == 0))
      problems.push_back(c.headerSent ? "no job header" : "the job header was sent");
    tally.add(c.what, problems, r.termSignal != 0 || r.exitCode != 1);
  }
}

// The backend closes its end mid-job, or there is none from the start: the
// job is not printed, and not cancelled with the scheduler.
TEST_F(Faults, BackendGoesAway) {
  useSpool(heavyDocument(8, 600));
  Tally tally("backend-goes-away");
  auto run = start(false);
  ASSERT_TRUE(run->waitForDrains(1));
  run->closeOutput();
  RunResult r = run->wait();
  tally.add("closed mid-job", problems(r, End::kFailed, "the backend stopped taking data (Broken pipe)"),
            r.termSignal != 0 || r.exitCode != 1);

  forgetJobFiles();
  std::remove(hostPath(hrv::kDebugCopyPath).c_str());
  r = start(false, "", {}, {}, {"/bin/sh", "-c", "exec \"$0\" \"$@\" >&-"})->wait();
  std::vector<std::string> problems;
  if (r.exitCode != 1 ||
      r.err.find("ERROR:[VORN-HRV5720ZWB] no backend on standard output") == std::string::npos)
    problems.push_back("exit status " + std::to_string(r.exitCode) + ", no ERROR line");
  if (fileExists(hostPath(hrv::kUsbPrinterInfo)) || fileExists(hostPath(hrv::kDebugCopyPath)))
    problems.push_back("it went on with the job");
  tally.add("no standard output", problems, r.termSignal != 0 || r.exitCode != 1);
}

// The job file folders (and /var/tmp of the debug copy) are full: either no
// byte is left, so opens work and writes fail, or no file can be created, so
// every open fails after its retries. The job still prints.
TEST_F(Faults, JobFileFoldersFull) {
  Tally tally("jobfile-dirs-full");
  for (const std::string variant : {"usb", "net"}) {
    for (const std::string mode : {"bytes", "inodes"}) {
      const bool network = variant == "net";
      const RunResult r = start(network, "", {}, {},
                                {std::string(HRV_FAULTS_DIR) + "/full-jobfile-dirs.sh", mode, variant,
                                 network ? hrv::kNetQueue : hrv::kUsbQueue})
                              ->wait();
      std::vector<std::string> problems = this->problems(r, End::kPrinted);
      // The log was tried 8 times for the record and 8 for the end line.
      if (mode == "inodes" &&
          countOf(r.err, "open file error /opt/vorn/HRV5720ZWB/bin/" + variant + "/print_log") != 16)
        problems.push_back("the folders were not full");
      tally.add(variant + ", no " + mode + " left", problems, r.termSignal != 0 || r.exitCode != 0);
    }
  }
}

// SIGTERM at random moments of a multi-page USB job. Whenever it lands, the
// printer gets the cancel sequence last, the state file reads "CODE=10001",
// print_log ends with the cancel line, the filter exits 0 and no Ghostscript
// is left behind. A signal before the handlers are in place ends the filter
// before it has touched anything.
TEST_F(Faults, SigtermAtRandomMoments) {
  useSpool(heavyDocument(3, 320));  // three pages in four blocks
  // A backend that takes a moment to drain, so some signals land while the
  // filter waits for its answer (and the output pipe fills meanwhile).
  const BackendScript slowDrains{[](int) {
    usleep(15000);
    return 1;
  }};
  // How long a job runs from the start of the sandbox and how many drain
  // requests it makes (the last follows the trailer): the quickest of three.
  double span = 1e9;
  int drains = 0;
  for (int i = 0; i < 3; ++i) {
    const auto t0 = Clock::now();
    auto run = start(false, "", slowDrains);
    const RunResult r = run->wait();
    span = std::min(span, Ms(Clock::now() - t0).count());
    ASSERT_EQ(problems(r, End::kPrinted), std::vector<std::string>{});
    drains = run->drains;
  }
  const char* seedText = std::getenv("HRV_FAULT_SEED");
  const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 5720;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> moment(0.0, span);

  Tally tally("sigterm-random");
  int early = 0, late = 0;
  for (int i = 0; i < 100; ++i) {
    forgetJobFiles();
    const double at = moment(rng);
    auto run = start(false, "", slowDrains);
    run->serveUntil([] { return false; }, static_cast<int>(at));
    // Until the backend has read the last drain request the filter has a wait
    // ahead, and a wait notices a signal that came before it.
    siginfo_t info{};
    const bool running =
        !run->reaped() &&
        waitid(P_PID, static_cast<id_t>(run->pid()), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == 0;
    const bool waitAhead = running && run->drains < drains;
    run->signal(SIGTERM);
    const RunResult r = run->wait(30000);
    std::vector<std::string> problems;
    if (r.termSignal == SIGTERM) {
      // Before the handlers (the sandbox or the program still starting):
      // nothing may have been sent or written.
      ++early;
      if (!r.out.empty())
        problems.push_back("killed early, yet it sent " + std::to_string(r.out.size()) + " bytes");
      if (fileExists(hostPath(hrv::kUsbPrinterInfo))) problems.push_back("killed early, yet it wrote");
      for (const std::string& name : reapLeftovers())
        if (name == "gs") problems.push_back("Ghostscript left behind");
    } else if (endsWith(r.out, hrv::kPjlTrailer) && r.err.find("]cancel job=") == std::string::npos) {
      ++late;
      problems = this->problems(r, End::kPrinted);
      if (waitAhead) problems.push_back("the job went on to its trailer although a wait was ahead");
    } else {
      problems = this->problems(r, End::kCancelled, kCancelledBySignal);
    }
    tally.add("case " + std::to_string(i) + ", SIGTERM " + std::to_string(at) + " ms in", problems,
              r.termSignal != 0 && r.termSignal != SIGTERM);
  }
  tally.note = "seed " + std::to_string(seed) + " (HRV_FAULT_SEED); " + std::to_string(early) +
               " before the handlers, " + std::to_string(late) + " after the last wait";
}

// The other ends misbehave: a backend that stops answering drain requests or
// goes away, a rasterizer that fails, dies or writes something unexpected.
#include <filesystem>
#include <functional>

#include "filter_job.h"
#include "tally.h"

using namespace hrvtest;

class Backend : public FilterJobTest {
 protected:
  void SetUp() override {
    FilterJobTest::SetUp();
    useSpool(heavyDocument(8, 600));  // about 33 blocks of 256 KiB
  }
};

// Answers OK for the first blocks, then fails: the eleventh counted failure
// in a row cancels the job; one OK in between starts the count again.
TEST_F(Backend, StopsAnsweringDrainRequests) {
  const struct {
    const char* name;
    std::function<int(int)> status;  // -1: no answer at all
    int cancelAt;                    // the drain request (from 0) that cancels
  } cases[] = {
      {"time-outs after 3 OK", [](int n) { return n < 3 ? 1 : 3; }, 13},
      {"silent after 3 OK", [](int n) { return n < 3 ? 1 : -1; }, 13},
      {"10 time-outs, 1 OK, then time-outs", [](int n) { return n < 3 || n == 13 ? 1 : 3; }, 24},
  };
  Tally tally("drain-stops-answering");
  for (const auto& c : cases) {
    forgetJobFiles();
    BackendScript script;
    script.drainStatus = c.status;
    auto run = start(false, "", script);
    const RunResult r = run->wait();
    std::vector<std::string> problems = cancelProblems(r, kCancelledByDrains);
    // The cancel path asks for one more drain of its own.
    if (run->drainRequests() != c.cancelAt + 2)
      problems.push_back("cancelled after " + std::to_string(run->drainRequests()) + " drain requests");
    for (const std::string& p : problems) ADD_FAILURE() << c.name << ": " << p;
    tally.add(problems, r.termSignal != 0 || r.exitCode != 0);
  }
}

// A rasterizer that cannot start, fails, dies or writes a head of its own:
// the job is not printed, and says so to CUPS.
TEST_F(Backend, RasterizerFails) {
  const std::string colourHead = "\\033%%-12345X@PJL SET RENDERMODE=COLOR\\n@PJL SET RESOLUTION=600\\n";
  const struct {
    const char* name;
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
      {"no rasterizer", [&] { std::filesystem::remove(box_.opt() + "/bin/usb/hrv5720zwb/bin/gs"); },
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
    std::vector<std::string> problems = failedProblems(r, c.error);
    if (c.headerSent != (r.out.compare(0, kLeadIn.size(), kLeadIn) == 0))
      problems.push_back(c.headerSent ? "no job header" : "the job header was sent");
    for (const std::string& p : problems) ADD_FAILURE() << c.name << ": " << p;
    tally.add(problems, r.termSignal != 0 || r.exitCode != 1);
  }
}

// The backend closes its end mid-job, or there is none from the start: the
// job is not printed, not cancelled with the scheduler.
TEST_F(Backend, GoesAway) {
  Tally tally("backend-goes-away");
  auto run = start(false);
  ASSERT_TRUE(run->waitForDrainRequests(1, 30000));
  run->closeOutput();
  RunResult r = run->wait();
  std::vector<std::string> problems = failedProblems(r, "the backend stopped taking data (Broken pipe)");
  for (const std::string& p : problems) ADD_FAILURE() << "closed mid-job: " << p;
  tally.add(problems, r.termSignal != 0 || r.exitCode != 1);

  forgetJobFiles();
  std::remove((box_.varTmp() + "/qdw.prn").c_str());
  r = start(false, "", {}, {}, {"/bin/sh", "-c", "exec \"$0\" \"$@\" >&-"})->wait();
  problems.clear();
  if (r.exitCode != 1 ||
      r.err.find("ERROR:[VORN-HRV5720ZWB] no backend on standard output") == std::string::npos)
    problems.push_back("exit status " + std::to_string(r.exitCode) + ", no ERROR line");
  if (fileExists(box_.opt() + "/bin/usb/config/printerInfo") || fileExists(box_.varTmp() + "/qdw.prn"))
    problems.push_back("it went on with the job");
  for (const std::string& p : problems) ADD_FAILURE() << "no standard output: " << p << "\n" << r.err;
  tally.add(problems, r.termSignal != 0 || r.exitCode != 1);
}

// A cancel signal takes effect at once in every state the filter can wait
// in, and its effects come in their order: cancel sequence, end state, log
// line, the scheduler asked; no Ghostscript is left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "filter_job.h"

using namespace hrvtest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPromptlyMs = 100;

class Cancel : public FilterJobTest {
 protected:
  void SetUp() override {
    FilterJobTest::SetUp();
    useSpool(heavyDocument(8, 600));
  }
};

}  // namespace

TEST_F(Cancel, TakesEffectAtOnceWhereverTheFilterWaits) {
  BackendScript neverAnswers, timesOut, silentPrinter, busyPrinter;
  neverAnswers.drainStatus = [](int) { return -1; };
  timesOut.drainStatus = [](int) { return 3; };  // counted: a 500 ms pause
  silentPrinter.lockReply = [](int) { return std::string(); };
  busyPrinter.lockReply = [](int) { return std::string("CODE=00002"); };
  // Ghostscript waiting for the rest of a job that never comes.
  const std::string fifo = box_.stage() + "/job.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int feed = ::open(fifo.c_str(), O_RDWR);
  const std::string half =
      "%!PS\n/Helvetica findfont 20 scalefont setfont 72 720 moveto (one) show showpage\n";
  ASSERT_EQ(::write(feed, half.data(), half.size()), static_cast<ssize_t>(half.size()));
  // A spool file of 8 GiB (a hole) takes the inspection seconds to read;
  // Ghostscript gets a small document.
  auto hugeSpool = [&] {
    writeFile(box_.stage() + "/doc", heavyDocument(1, 100));
    std::filesystem::resize_file(spool_, std::uintmax_t{8} << 30);
  };

  struct Case {
    const char* what;
    bool network;
    std::string options;
    BackendScript script;
    std::string input;
    std::function<bool(FilterRun&)> reached;  // the state to cancel in
    std::function<void()> prepare = [] {};
  };
  const Case cases[] = {
      {"waiting for a drain answer", false, "", neverAnswers, "",
       [](FilterRun& r) { return r.waitForDrainRequests(1, 30000); }},
      {"blocked writing to the backend",
       false,
       "",
       {},
       "",
       [](FilterRun& r) {
         r.pauseOutput(true);
         const bool printing = r.waitForError("INFO:打印机正在打印", 30000);
         usleep(300000);  // the pipe fills, the write blocks
         return printing;
       }},
      {"waiting for Ghostscript",
       false,
       "",
       {},
       fifo,
       [](FilterRun& r) { return r.waitForError("DEBUG:Open Debug File=/var/tmp/qdw.prn ok", 30000); }},
      {"pausing after a failed drain", false, "", timesOut, "",
       [](FilterRun& r) { return r.waitForDrainRequests(2, 30000); }},
      {"waiting for the lock answer", true, "", silentPrinter, "",
       [](FilterRun& r) { return r.waitForOutput("LockPrinter?", 30000) && usleep(200000) == 0; }},
      {"sleeping after a busy answer", true, "", busyPrinter, "",
       [](FilterRun& r) { return r.waitForError("INFO:打印机忙，请稍后\n", 30000); }},
      {"waiting after a refused password",
       false,
       "Passwd1=1 Passwd2=2",
       {},
       "",
       [](FilterRun& r) { return r.waitForError("STATE: +", 30000); }},
      {"inspecting a huge spool file",
       false,
       "",
       {},
       box_.stage() + "/doc",
       [](FilterRun& r) { return r.waitForError("psfilepth for get Page Count", 30000); },
       hugeSpool},
  };
  for (const Case& c : cases) {
    forgetJobFiles();
    c.prepare();
    auto run = start(c.network, c.options, c.script, c.input);
    ASSERT_TRUE(c.reached(*run)) << c.what << "\n" << run->errors();
    const auto t0 = Clock::now();
    run->signal(SIGTERM);
    run->pauseOutput(false);
    EXPECT_TRUE(run->waitForOutput(kCancel, 5000)) << c.what;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count(), kPromptlyMs)
        << c.what;
    EXPECT_EQ(cancelProblems(run->wait(), kCancelledBySignal, c.network), std::vector<std::string>{})
        << c.what;
  }
  ::close(feed);
}

// The backend stops reading (a full pipe) and then a cancel comes: the
// cancel sequence cannot go out, but the cancel path still finishes.
TEST_F(Cancel, FinishesWhenTheBackendNoLongerReads) {
  auto run = start(false);
  run->pauseOutput(true);
  ASSERT_TRUE(run->waitForError("INFO:打印机正在打印", 30000));
  usleep(300000);
  const auto t0 = Clock::now();
  run->signal(SIGTERM);
  ASSERT_TRUE(run->waitForError("cupsCancelJoblasterror", 10000)) << run->errors();
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - t0).count(), 5);
  const RunResult r = run->wait();
  const std::vector<std::string> problems = cancelProblems(r, kCancelledBySignal);
  ASSERT_EQ(problems.size(), 1u) << r.err;
  EXPECT_EQ(problems[0].rfind("stream does not end with the cancel sequence", 0), 0u);
  EXPECT_NE(r.err.find("cancel sequence not sent"), std::string::npos);
}

// The real filter binaries with their fixed paths in a private namespace, a
// real PPD, real Ghostscript, and the test as their backend.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>

#include "filter_run.h"
#include "job_stream.h"
#include "jobrecord.h"

using namespace hrvtest;
using hrv::kStatePrinting;

namespace {

const std::string kPasswdReason =
    "输入数字密码无效，请在电脑端打印队列中取消任务，并重新设置四位密码，重新打印";

const char kDocument[] =
    "%!PS-Adobe-3.0\n%%Pages: (atend)\n%%Requirements: numcopies(2)\n%%EndComments\n"
    "%%Page: 1 1\n<< /PageSize [595 842] /MediaBox [0 0 595.28 841.89] >> setpagedevice\n"
    // What a document prints reaches neither the printer nor the scheduler's control lines.
    "(document says hello\\nPPD: *DefaultResolution: 300dpi\\n) print\n"
    "/Helvetica findfont 20 scalefont setfont 72 720 moveto (page one) show showpage\n"
    "%%Page: 2 2\n72 720 moveto (page two) show showpage\n%%Trailer\n%%Pages: 2\n%%EOF\n";

long long msSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
}

using FilterBinary = FilterJobTest;
using Cancel = FilterJobTest;

}  // namespace

// A secure-print job: the PIN reaches the printer but not the log.
TEST_F(FilterBinary, UsbJob) {
  useSpool(kDocument);
  // The last job's copy, longer and readable by all: none of it is left.
  const std::string copy = hostPath(hrv::kDebugCopyPath);
  writeFile(copy, std::string(8 << 20, 'x'));
  chmod(copy.c_str(), 0644);
  const RunResult r =
      start(false,
            "PageSize=Letter Duplex=DuplexTumble Resolution=1200dpi Passwd1=8 Passwd2=6 Passwd3=3 Passwd4=5")
          ->wait();
  ASSERT_EQ(problems(r, End::kPrinted), std::vector<std::string>{}) << r.err;
  // In order: the size for the rasterizer from the document (not the PPD),
  // Ghostscript's head (escaped), the CUPS control lines.
  EXPECT_EQ(firstMissing(r.err, {"]start filter:HRV5720ZWB\n",
                                 " paperSize = A4\n resolution = 600dpi\n resolutionsg = -r600x600\n "
                                 "pageWidthHeight = -g4961x7016\n",
                                 "INFO:打印机正在打印\n",
                                 "] DEBUG gs head: \\x1b%-12345X@PJL SET RENDERMODE=COLOR\\x0a@PJL SET "
                                 "RESOLUTION=600\\x0a\n",
                                 "STATE: -" + kPasswdReason + "\n", "INFO:空闲\n"}),
            "");
  EXPECT_NE(r.err.find("\nDEBUG:[VORN-HRV5720ZWB]gs: document says hello\n"), std::string::npos);
  EXPECT_EQ(r.err.find("\nPPD:"), std::string::npos);
  // No PIN digits in the log (the clock lines carry numbers of their own).
  const std::string log = std::regex_replace(r.err, std::regex("tv_u?sec:\\d+"), "");
  EXPECT_EQ(log.find("8635"), std::string::npos);
  for (const std::string line : {"securityPasswd = ", "HOLDKEY="})
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
      EXPECT_EQ(log.substr(at, log.find('\n', at) - at).find_first_of("8635"), std::string::npos)
          << log.substr(at, 60);
  // Our header in place of Ghostscript's head, the pages.
  EXPECT_NE(r.out.find("\n@PJL SET HOLDKEY=8635\n"), std::string::npos);
  EXPECT_EQ(r.out.find("@PJL SET RENDERMODE=COLOR\n@PJL SET RESOLUTION"), std::string::npos);
  const hrv::pxl::JobReport report = hrv::pxl::analyzeJob(r.out);
  EXPECT_TRUE(report.ok()) << report.error;
  EXPECT_EQ(report.completePages, 2u);
  EXPECT_EQ(report.pages.at(0).duplex, "duplex-horizontal");

  EXPECT_EQ(jobFile(hrv::kUsbPrinterInfo),
            hrv::printerInfoText({"1200dpi", "Letter", "AUTO", "PLAIN", "DuplexTumble"}));
  EXPECT_EQ(jobFile(hrv::kUsbPrinterState), hrv::kStateReady);
  const std::string record = jobFile(hrv::kUsbPrintLog);
  EXPECT_EQ(
      firstMissing(record,
                   {"打印机名称：HRV5720ZWB\n日期:",
                    "\n任务ID：42\n用户名：alice\n文件名：Quarterly \"report\"\n打印份数：2\n文档页数：2\n",
                    "duplex:短边翻转\n"}),
      "");
  EXPECT_TRUE(endsWith(record, hrv::kLogJobDone));
  EXPECT_FALSE(fileExists(hostPath(hrv::kNetPrinterInfo)));
  // The debug copy: header and blocks without the trailer, for its owner only.
  EXPECT_EQ(readFile(copy), r.out.substr(0, r.out.size() - hrv::kPjlTrailer.size()));
  struct stat st {};
  EXPECT_EQ(stat(copy.c_str(), &st) == 0 ? st.st_mode & 0777 : 0, 0600u);
}

// The printer is silent, answers garbled, busy (in a reply that carries
// control lines), then busy and ready in one read: asked again after each
// but the last, and no reply becomes a control line of the log.
TEST_F(FilterBinary, NetworkJobWaitsForTheLockAndUsesItsOwnFiles) {
  useSpool(kDocument);
  const char* replies[] = {"", "CODE=0000A\r\n", "x\nSTATE: +forged\nERROR: forged\rCODE=00002\n",
                           "junk CODE=00002 CODE=00001\r\n"};
  const RunResult r = start(true, "ColorMode=Mono Resolution=2400dpi",
                            {[](int) { return 1; }, [&](int n) { return replies[n]; }})
                          ->wait();
  ASSERT_EQ(problems(r, End::kPrinted), std::vector<std::string>{}) << r.err;
  EXPECT_EQ(r.out.rfind("LockPrinter?LockPrinter?LockPrinter?LockPrinter?" + std::string(hrv::kPjlLeadIn), 0),
            0u);
  EXPECT_EQ(countOf(r.err, "INFO:正在连接打印机，请稍后\n"), 2u);
  EXPECT_EQ(countOf(r.err, "INFO:打印机忙，请稍后\n"), 1u);
  EXPECT_EQ(r.err.find("\nSTATE: +"), std::string::npos);
  EXPECT_EQ(r.err.find("\nERROR:"), std::string::npos);
  const hrv::pxl::JobReport report = hrv::pxl::analyzeJob(r.out);
  EXPECT_EQ(report.completePages, 2u);
  EXPECT_EQ(report.sessions.at(0).resolution, "1200x1200");
  EXPECT_EQ(report.pages.at(0).colorSpaces, std::vector<std::string>{"Gray"});
  EXPECT_EQ(hrv::parsePrinterInfo(jobFile(hrv::kNetPrinterInfo)).resolution, "2400dpi");
  EXPECT_NE(jobFile(hrv::kNetPrintLog).find("打印机名称：HRV5720ZWB-net\n"), std::string::npos);
  EXPECT_FALSE(fileExists(hostPath(hrv::kUsbPrinterState)));
}

// Whatever is planted at the debug copy's path is refused at once; the job
// prints all the same and nothing is written through it.
TEST_F(FilterBinary, PlantedDebugCopyPath) {
  const std::string copy = hostPath(hrv::kDebugCopyPath), victim = box_.stage() + "/victim";
  for (const char* what : {"a link", "a FIFO nobody reads"}) {
    writeFile(victim, "keep");
    std::filesystem::remove(copy);
    ASSERT_EQ(what[2] == 'l' ? symlink(victim.c_str(), copy.c_str()) : mkfifo(copy.c_str(), 0666), 0);
    const RunResult r = start(false)->wait(30000);
    EXPECT_EQ(problems(r, End::kPrinted), std::vector<std::string>{}) << what;
    EXPECT_NE(r.err.find("Can not Open Debug File=/var/tmp/qdw.prn!!!"), std::string::npos) << what;
    EXPECT_EQ(readFile(victim), "keep") << what;
  }
}

TEST_F(FilterBinary, PrintsWithDefaultsWhenPpdOrLogAreMissing) {
  // Without the log the job is not inspected: no size, no geometry.
  std::filesystem::create_directories(hostPath(hrv::kUsbPrintLog));
  RunResult r = start(false)->wait();
  EXPECT_EQ(problems(r, End::kPrinted), std::vector<std::string>{});
  EXPECT_NE(r.err.find("open file error /opt/vorn/HRV5720ZWB/bin/usb/print_log\n"), std::string::npos);
  EXPECT_EQ(r.err.find("psfilepth for get Page Count"), std::string::npos);
  EXPECT_NE(r.err.find("pageWidthHeight = NULL\n"), std::string::npos);

  r = FilterRun(box_, {kUsbFilter, "42", "alice", "t", "1", ""}, {{"PPD", "/nonexistent.ppd"}}, spool_)
          .wait();
  EXPECT_EQ(problems(r, End::kPrinted), std::vector<std::string>{});
  EXPECT_EQ(hrv::parsePrinterInfo(jobFile(hrv::kUsbPrinterInfo)).paperSize, "A4");
}

TEST_F(FilterBinary, RefusedPasswordWaitsTenMinutesThenExitsOneWithoutJobFiles) {
  // faketime runs the wait at 600 times the speed: a second.
  const auto t0 = std::chrono::steady_clock::now();
  RunResult r = box_.run({"/usr/bin/faketime", "-f", "+0 x600", kUsbFilter, "42", "alice", "t", "1",
                          "Passwd1=1 Passwd2=2 Passwd3=3"},
                         {{"PPD", std::string(HRV_PPD_DIR) + "/HRV5720ZWB.ppd"}}, kDocument);
  EXPECT_GE(msSince(t0), 900);
  EXPECT_LT(msSince(t0), 5000);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("DEBUG:[VORN-HRV5720ZWB]securityPasswd set False\nSTATE: +" + kPasswdReason + "\n"),
            std::string::npos);
  EXPECT_EQ(jobFile(hrv::kUsbPrinterState), hrv::kStatePasswdError);
  EXPECT_FALSE(fileExists(hostPath(hrv::kUsbPrinterInfo)) || fileExists(hostPath(hrv::kUsbPrintLog)));
  EXPECT_EQ(r.out, "");

  r = box_.run({kUsbFilter, "42", "alice"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(" job-id user title copies options [file]\n"), std::string::npos);
}

// A cancel signal takes effect at once in every state the filter can wait
// in, and its effects come in their order: cancel sequence, end state, log
// line, the scheduler asked; no Ghostscript is left behind.
TEST_F(Cancel, TakesEffectAtOnceWhereverTheFilterWaits) {
  useSpool(heavyDocument(8, 600));
  const BackendScript neverAnswers{[](int) { return -1; }},
      timesOut{[](int) { return 3; }},  // 3: a 500 ms pause
      silentPrinter{[](int) { return 1; }, [](int) { return std::string(); }},
      busyPrinter{[](int) { return 1; }, [](int) { return std::string("CODE=00002"); }};
  // Ghostscript waiting for the rest of a job that never comes.
  const std::string fifo = box_.stage() + "/job.fifo", doc = box_.stage() + "/doc";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int feed = ::open(fifo.c_str(), O_RDWR);
  const std::string half =
      "%!PS\n/Helvetica findfont 20 scalefont setfont 72 720 moveto (one) show showpage\n";
  ASSERT_EQ(::write(feed, half.data(), half.size()), static_cast<ssize_t>(half.size()));
  const struct {
    const char* what;
    bool network;
    const char* options;
    BackendScript script;
    std::string input;
    std::string until;  // the state to cancel in: an error line, ">" output, "#" drain requests
    bool paused = false;
    int settleMs = 0;
  } cases[] = {
      {"waiting for a drain answer", false, "", neverAnswers, "", "#1"},
      {"blocked writing to the backend", false, "", {}, "", "INFO:打印机正在打印", true, 300},  // the pipe
                                                                                                // fills
      {"waiting for Ghostscript", false, "", {}, fifo, "DEBUG:Open Debug File=/var/tmp/qdw.prn ok"},
      {"pausing after a failed drain", false, "", timesOut, "", "#2"},
      {"waiting for the lock answer", true, "", silentPrinter, "", ">LockPrinter?", false, 200},
      {"sleeping after a busy answer", true, "", busyPrinter, "", "INFO:打印机忙，请稍后\n"},
      {"waiting after a refused password", false, "Passwd1=1 Passwd2=2", {}, "", "STATE: +"},
      // A spool file of 8 GiB (a hole) takes the inspection seconds to read;
      // Ghostscript gets a small document.
      {"inspecting a huge spool file", false, "", {}, doc, "psfilepth for get Page Count"},
  };
  for (const auto& c : cases) {
    forgetJobFiles();
    if (c.input == doc) {
      writeFile(doc, heavyDocument(1, 100));
      std::filesystem::resize_file(spool_, std::uintmax_t{8} << 30);
    }
    auto run = start(c.network, c.options, c.script, c.input);
    run->paused = c.paused;
    ASSERT_TRUE(c.until[0] == '#'   ? run->waitForDrains(c.until[1] - '0')
                : c.until[0] == '>' ? run->waitForOutput(c.until.substr(1))
                                    : run->waitForError(c.until))
        << c.what << "\n"
        << run->err;
    run->serveUntil([] { return false; }, c.settleMs);
    // The USB monitor shows the job as printing from the job files on.
    if (!c.network && run->err.find("INFO:打印机正在打印") != std::string::npos) {
      EXPECT_EQ(jobFile(hrv::kUsbPrinterState), kStatePrinting) << c.what;
    }
    const auto t0 = std::chrono::steady_clock::now();
    run->signal(SIGTERM);
    run->paused = false;
    EXPECT_TRUE(run->waitForOutput(std::string(hrv::kPjlCancel), 5000)) << c.what;
    EXPECT_LT(msSince(t0), 100) << c.what;
    EXPECT_EQ(problems(run->wait(), End::kCancelled, kCancelledBySignal, c.network),
              std::vector<std::string>{})
        << c.what;
  }
  ::close(feed);
}

// The backend stops reading (a full pipe) and then a cancel comes: the cancel
// sequence cannot go out, but the cancel path still finishes.
TEST_F(Cancel, FinishesWhenTheBackendNoLongerReads) {
  useSpool(heavyDocument(8, 600));
  auto run = start(false);
  run->paused = true;
  ASSERT_TRUE(run->waitForError("INFO:打印机正在打印"));
  usleep(300000);
  const auto t0 = std::chrono::steady_clock::now();
  run->signal(SIGTERM);
  ASSERT_TRUE(run->waitForError("cupsCancelJoblasterror", 10000)) << run->err;
  EXPECT_LT(msSince(t0), 5000);
  const RunResult r = run->wait();
  EXPECT_EQ(problems(r, End::kCancelled, kCancelledBySignal),
            std::vector<std::string>{"stream does not end with the cancel sequence"});
  EXPECT_NE(r.err.find("cancel sequence not sent"), std::string::npos);
}

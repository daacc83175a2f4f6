// The real filter binaries, run with their fixed paths in a private
// namespace, a real PPD, real Ghostscript, and the test as their backend.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "filter_job.h"
#include "job_stream.h"

using namespace hrvtest;

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

class FilterBinary : public FilterJobTest {
 protected:
  void SetUp() override {
    FilterJobTest::SetUp();
    useSpool(kDocument);
  }
};

}  // namespace

TEST_F(FilterBinary, UsbJobSendsHeaderRasterAndTrailerAndRecordsTheJob) {
  RunResult r = start(false, "PageSize=Letter Duplex=DuplexTumble Resolution=1200dpi")->wait();
  ASSERT_EQ(printedProblems(r), std::vector<std::string>{}) << r.err;

  std::regex startLines(
      "DEBUG:\\[VORN-HRV5720ZWB\\]\\*{58}\nDEBUG:\\[VORN-HRV5720ZWB\\]start filter:HRV5720ZWB\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]StartTime:[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d "
      "\\d{4}\n\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]tv_sec:\\d+\nDEBUG:\\[VORN-HRV5720ZWB\\]tv_usec:\\d+\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]tz_minuteswest:-?\\d+\nDEBUG:\\[VORN-HRV5720ZWB\\]tz_dsttime:\\d+\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]JobPrintLogTime: [A-Z][a-z]{2},\\d\\d,[A-Z][a-z]{2} \\d{4} "
      "\\d\\d:\\d\\d:\\d\\d\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]JobStartTime: \\d{14}\n");
  EXPECT_TRUE(std::regex_search(r.err, startLines)) << r.err.substr(0, 800);
  // In order: options, the size for the rasterizer from the document (not
  // the PPD), Ghostscript's head (escaped), the CUPS control lines.
  EXPECT_EQ(
      firstMissing(r.err, {"(QDWTEST)num_options=3;\n", "]paperSize = Letter\n", "]resolution = 600dpi\n",
                           " paperSize = A4\n resolution = 600dpi\n resolutionsg = -r600x600\n "
                           "pageWidthHeight = -g4961x7016\n",
                           "INFO:打印机正在打印\n",
                           "] DEBUG gs head: \\x1b%-12345X@PJL SET RENDERMODE=COLOR\\x0a@PJL SET "
                           "RESOLUTION=600\\x0a\n",
                           "STATE: -" + kPasswdReason + "\n", "INFO:空闲\n"}),
      "");

  // Our header in place of Ghostscript's head, the pages, the trailer.
  EXPECT_EQ(r.out.find("@PJL SET RENDERMODE=COLOR\n@PJL SET RESOLUTION"), std::string::npos);
  EXPECT_NE(r.err.find("\nDEBUG:[VORN-HRV5720ZWB]gs: document says hello\n"), std::string::npos);
  EXPECT_EQ(r.err.find("\nPPD:"), std::string::npos);
  hrv::pxl::JobReport report = hrv::pxl::analyzeJob(r.out);
  EXPECT_TRUE(report.ok()) << report.error;
  EXPECT_EQ(report.completePages, 2u);
  EXPECT_EQ(report.pages.at(0).duplex, "duplex-horizontal");

  EXPECT_EQ(
      usb("config/printerInfo"),
      "resolution:1200dpi;\npapersize:Letter;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:DuplexTumble;\n");
  EXPECT_EQ(usb("config/printerState"), "CODE=10001");
  std::regex record(
      "^\\*{51}\n打印机名称：HRV5720ZWB\n日期:\\d{4}年\\d\\d月\\d\\d日\\d\\d:\\d\\d:\\d\\d [A-Z][a-z]+day\n"
      "任务ID：42\n用户名：alice\n文件名：Quarterly \"report\"\n打印份数：2\n文档页数：2\nresolution:600dpi\n"
      "papersize:Letter;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:短边翻转\n\n打印任务完成\n$");
  EXPECT_TRUE(std::regex_search(usb("print_log"), record)) << usb("print_log");
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/net/config/printerInfo"));

  // The debug copy: header and blocks without the trailer, for its owner only.
  EXPECT_EQ(readFile(box_.varTmp() + "/qdw.prn"), r.out.substr(0, r.out.size() - kTrailer.size()));
  struct stat st {};
  ASSERT_EQ(stat((box_.varTmp() + "/qdw.prn").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(FilterBinary, NetworkJobAsksForTheLockFirstAndUsesItsOwnFiles) {
  RunResult r = start(true, "ColorMode=Mono Resolution=2400dpi")->wait();
  ASSERT_EQ(printedProblems(r), std::vector<std::string>{}) << r.err;
  ASSERT_EQ(r.out.rfind("LockPrinter?" + kLeadIn, 0), 0u);
  hrv::pxl::JobReport report = hrv::pxl::analyzeJob(r.out);
  EXPECT_EQ(report.completePages, 2u);
  EXPECT_EQ(report.sessions.at(0).resolution, "1200x1200");
  EXPECT_EQ(report.pages.at(0).colorSpaces, std::vector<std::string>{"Gray"});
  EXPECT_EQ(net("config/printerInfo"),
            "resolution:2400dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n");
  EXPECT_NE(net("print_log").find("打印机名称：HRV5720ZWB-net\n"), std::string::npos);
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/usb/config/printerState"));
}

// The printer's answers to "LockPrinter?": busy and silent ones are asked
// again; a reply never becomes a control line of the log.
TEST_F(FilterBinary, LockAnswers) {
  const struct {
    const char* what;
    std::function<std::string(int)> reply;
    size_t requests, busy, connecting;
  } cases[] = {
      {"busy twice, then busy and ready in one read",
       [](int n) { return std::string(n < 2 ? "CODE=00002\r\n" : "junk CODE=00002 CODE=00001\r\n"); }, 3, 2,
       0},
      {"silent, then garbled, then ready",
       [](int n) { return std::string(n == 0   ? ""
                                      : n == 1 ? "CODE=0000A\r\n"
                                               : "CODE=00001"); }, 3, 0, 2},
      {"a reply that carries control lines",
       [](int) { return std::string("x\nSTATE: +forged\nERROR: forged\rCODE=00001\n"); }, 1, 0, 0},
  };
  for (const auto& c : cases) {
    BackendScript script;
    script.lockReply = c.reply;
    RunResult r = start(true, "", script)->wait();
    EXPECT_EQ(printedProblems(r), std::vector<std::string>{}) << c.what;
    EXPECT_EQ(countOf(r.out, "LockPrinter?"), c.requests) << c.what;
    EXPECT_EQ(countOf(r.err, "INFO:打印机忙，请稍后\n"), c.busy) << c.what;
    EXPECT_EQ(countOf(r.err, "INFO:正在连接打印机，请稍后\n"), c.connecting) << c.what;
    EXPECT_EQ(r.err.find("\nSTATE: +"), std::string::npos) << c.what;
    EXPECT_EQ(r.err.find("\nERROR:"), std::string::npos) << c.what;
  }
}

// Whatever is planted at the debug copy's path is refused at once; the job
// prints all the same and nothing is written through it.
TEST_F(FilterBinary, PlantedDebugCopyPath) {
  const std::string copy = box_.varTmp() + "/qdw.prn";
  const struct {
    const char* what;
    std::function<void()> plant;
  } cases[] = {
      {"a link", [&] { std::filesystem::create_symlink(box_.stage() + "/victim", copy); }},
      {"a FIFO nobody reads", [&] { ASSERT_EQ(mkfifo(copy.c_str(), 0666), 0); }},
  };
  for (const auto& c : cases) {
    writeFile(box_.stage() + "/victim", "keep");
    std::filesystem::remove(copy);
    c.plant();
    RunResult r = start(false)->wait(30000);
    EXPECT_EQ(printedProblems(r), std::vector<std::string>{}) << c.what;
    EXPECT_NE(r.err.find("Can not Open Debug File=/var/tmp/qdw.prn!!!"), std::string::npos) << c.what;
    EXPECT_EQ(readFile(box_.stage() + "/victim"), "keep") << c.what;
  }
}

TEST_F(FilterBinary, SecurePrintPinReachesThePrinterButNotTheLog) {
  RunResult r = start(false, "Passwd1=8 Passwd2=6 Passwd3=3 Passwd4=5")->wait();
  ASSERT_EQ(printedProblems(r), std::vector<std::string>{}) << r.err;
  EXPECT_NE(r.out.find("@PJL SET HOLDKEY=8635\n"), std::string::npos);
  // Only the clock lines carry numbers of their own.
  const std::string log = std::regex_replace(r.err, std::regex("tv_u?sec:\\d+"), "");
  EXPECT_EQ(log.find("8635"), std::string::npos) << log;
  for (const std::string line : {"securityPasswd = ", "HOLDKEY="})
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
      EXPECT_EQ(log.substr(at, log.find('\n', at) - at).find_first_of("8635"), std::string::npos)
          << log.substr(at, 60);
}

TEST_F(FilterBinary, PrintsWithDefaultsWhenPpdOrLogAreMissing) {
  // Without the log the job is not inspected: no size, no geometry.
  std::filesystem::create_directories(box_.opt() + "/bin/usb/print_log");
  RunResult r = start(false)->wait();
  EXPECT_EQ(printedProblems(r), std::vector<std::string>{});
  EXPECT_NE(r.err.find("open file error /opt/vorn/HRV5720ZWB/bin/usb/print_log\n"), std::string::npos);
  EXPECT_EQ(r.err.find("psfilepth for get Page Count"), std::string::npos);
  EXPECT_NE(r.err.find("pageWidthHeight = NULL\n"), std::string::npos);

  r = FilterRun(box_, {kUsbFilter, "42", "alice", "t", "1", ""}, {{"PPD", "/nonexistent.ppd"}}, spool_)
          .wait();
  EXPECT_EQ(printedProblems(r), std::vector<std::string>{});
  EXPECT_EQ(usb("config/printerInfo"),
            "resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n");
}

TEST_F(FilterBinary, RefusedPasswordWaitsThenExitsOneWithoutJobFiles) {
  // faketime runs the 600-second wait at 600 times the speed.
  RunResult r = box_.run({"/usr/bin/faketime", "-f", "+0 x600", kUsbFilter, "42", "alice", "t", "1",
                          "Passwd1=1 Passwd2=2 Passwd3=3"},
                         {{"PPD", std::string(HRV_PPD_DIR) + "/HRV5720ZWB.ppd"}}, kDocument);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("DEBUG:[VORN-HRV5720ZWB]securityPasswd set False\nSTATE: +" + kPasswdReason + "\n"),
            std::string::npos);
  EXPECT_EQ(usb("config/printerState"), "CODE=99999");
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/usb/config/printerInfo"));
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/usb/print_log"));
  EXPECT_EQ(r.out, "");

  r = box_.run({kUsbFilter, "42", "alice"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(" job-id user title copies options [file]\n"), std::string::npos);
}

// The real filter binaries, run with their fixed paths in a private
// namespace, a real PPD, real Ghostscript, and the test as their backend.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "filter_harness.h"
#include "job_stream.h"
#include "sandbox.h"

using namespace hrvtest;

namespace {

const std::string kUsbFilter = "/opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb";
const std::string kNetFilter = "/opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb-net";
const std::string kUsbPpd = std::string(HRV_PPD_DIR) + "/HRV5720ZWB.ppd";
const std::string kNetPpd = std::string(HRV_PPD_DIR) + "/HRV5720ZWB-net.ppd";
const std::string kLeadIn = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL\n";
const std::string kTrailer = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL EOJ\n\x1b%-12345X";
const std::string kPasswdReason =
    "输入数字密码无效，请在电脑端打印队列中取消任务，并重新设置四位密码，重新打印";

const char kDocument[] =
    "%!PS-Adobe-3.0\n%%Pages: (atend)\n%%Requirements: numcopies(2)\n%%EndComments\n"
    "%%Page: 1 1\n<< /PageSize [595 842] /MediaBox [0 0 595.28 841.89] >> setpagedevice\n"
    "/Helvetica findfont 20 scalefont setfont 72 720 moveto (page one) show showpage\n"
    "%%Page: 2 2\n72 720 moveto (page two) show showpage\n%%Trailer\n%%Pages: 2\n%%EOF\n";

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class FilterBinary : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!runningAsRoot()) GTEST_SKIP() << "needs root for the private namespace";
    box_.installFilters(HRV_USB_FILTER, HRV_NET_FILTER);
    useDocument(kDocument);
  }

  void useDocument(const std::string& ps) {
    writeFile(box_.spool() + "/d00042-001", ps);
    docPath_ = box_.spool() + "/d00042-001";
  }

  std::unique_ptr<FilterRun> start(const std::string& program, const std::string& queue,
                                   const std::string& options, BackendScript script = {}) {
    std::map<std::string, std::string> env{{"PPD", queue == "HRV5720ZWB" ? kUsbPpd : kNetPpd},
                                           {"HRV_ARGV0", queue}};
    return std::make_unique<FilterRun>(
        box_, std::vector<std::string>{program, "42", "alice", "Quarterly \"report\"", "1", options}, env,
        docPath_, std::move(script));
  }

  std::string usb(const std::string& file) { return readFile(box_.opt() + "/bin/usb/" + file); }
  std::string net(const std::string& file) { return readFile(box_.opt() + "/bin/net/" + file); }

  Sandbox box_;
  std::string docPath_;
};

}  // namespace

TEST_F(FilterBinary, UsbJobSendsHeaderRasterAndTrailerAndRecordsTheJob) {
  auto run = start(kUsbFilter, "HRV5720ZWB", "PageSize=Letter Duplex=DuplexTumble Resolution=1200dpi");
  RunResult r = run->wait();
  EXPECT_EQ(r.exitCode, 0) << r.err;

  // Start-of-job lines, in order.
  std::regex startLines(
      "DEBUG:\\[VORN-HRV5720ZWB\\]\\*{58}\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]start filter:HRV5720ZWB\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]StartTime:[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d "
      "\\d{4}\n\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]tv_sec:\\d+\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]tv_usec:\\d+\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]tz_minuteswest:-?\\d+\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]tz_dsttime:\\d+\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]JobPrintLogTime: [A-Z][a-z]{2},\\d\\d,[A-Z][a-z]{2} \\d{4} "
      "\\d\\d:\\d\\d:\\d\\d\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]JobStartTime: \\d{14}\n");
  EXPECT_TRUE(std::regex_search(r.err, startLines)) << r.err.substr(0, 800);
  EXPECT_NE(r.err.find("(QDWTEST)num_options=3;\n"), std::string::npos);
  EXPECT_NE(r.err.find("DEBUG:[VORN-HRV5720ZWB]paperSize = Letter\n"), std::string::npos);
  EXPECT_NE(r.err.find("DEBUG:[VORN-HRV5720ZWB]resolution = 600dpi\n"), std::string::npos);
  // The size for the rasterizer comes from the document, not the PPD.
  EXPECT_NE(r.err.find(" paperSize = A4\n resolution = 600dpi\n resolutionsg = -r600x600\n pageWidthHeight = "
                       "-g4961x7016\n"),
            std::string::npos);
  // CUPS control lines, in order.
  size_t printing = r.err.find("INFO:打印机正在打印\n");
  size_t clear = r.err.find("STATE: -" + kPasswdReason + "\n");
  size_t idle = r.err.find("INFO:空闲\n");
  EXPECT_TRUE(printing != std::string::npos && clear != std::string::npos && idle != std::string::npos &&
              printing < clear && clear < idle);

  // The printer stream: our header in place of Ghostscript's head, the
  // PCL XL pages, the trailer.
  ASSERT_EQ(r.out.rfind(kLeadIn, 0), 0u);
  EXPECT_NE(r.out.find("@PJL SET JOBNAME=\"Quarterly 'report'\"\n"), std::string::npos);
  EXPECT_EQ(r.out.find("@PJL SET RENDERMODE=COLOR\n@PJL SET RESOLUTION"), std::string::npos);
  EXPECT_TRUE(endsWith(r.out, kTrailer));
  hrv::pxl::JobReport report = hrv::pxl::analyzeJob(r.out);
  EXPECT_TRUE(report.ok()) << report.error;
  EXPECT_EQ(report.completePages, 2u);
  EXPECT_EQ(report.ending, hrv::pxl::Ending::kTrailer);
  EXPECT_EQ(report.pages.at(0).duplex, "duplex-horizontal");

  // Job files.
  EXPECT_EQ(
      usb("config/printerInfo"),
      "resolution:1200dpi;\npapersize:Letter;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:DuplexTumble;\n");
  EXPECT_EQ(usb("config/printerState"), "CODE=10001");
  std::regex record(
      "^\\*{51}\n打印机名称：HRV5720ZWB\n日期:\\d{4}年\\d\\d月\\d\\d日\\d\\d:\\d\\d:\\d\\d [A-Z][a-z]+day\n"
      "任务ID：42\n用户名：alice\n文件名：Quarterly \"report\"\n打印份数：2\n文档页数：2\n"
      "resolution:600dpi\npapersize:Letter;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:"
      "短边翻转\n\n打印任务完成\n$");
  EXPECT_TRUE(std::regex_search(usb("print_log"), record)) << usb("print_log");
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/net/config/printerInfo"));

  // The debug copy: header and blocks, without the trailer, for its owner only.
  std::string copy = readFile(box_.varTmp() + "/qdw.prn");
  EXPECT_EQ(copy, r.out.substr(0, r.out.size() - kTrailer.size()));
  struct stat st {};
  ASSERT_EQ(stat((box_.varTmp() + "/qdw.prn").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(FilterBinary, DebugCopyIsNotWrittenThroughALink) {
  writeFile(box_.stage() + "/victim", "keep");
  std::filesystem::create_symlink(box_.stage() + "/victim", box_.varTmp() + "/qdw.prn");
  RunResult r = start(kUsbFilter, "HRV5720ZWB", "")->wait();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(readFile(box_.stage() + "/victim"), "keep");
  EXPECT_NE(r.err.find("Can not Open Debug File=/var/tmp/qdw.prn!!!"), std::string::npos);
  EXPECT_TRUE(endsWith(r.out, kTrailer));  // the job prints all the same
}

TEST_F(FilterBinary, NetworkJobAsksForTheLockFirstAndUsesItsOwnFiles) {
  auto run = start(kNetFilter, "HRV5720ZWB-net", "ColorMode=Mono Resolution=2400dpi");
  RunResult r = run->wait();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  ASSERT_EQ(r.out.rfind("LockPrinter?" + kLeadIn, 0), 0u);
  EXPECT_TRUE(endsWith(r.out, kTrailer));
  hrv::pxl::JobReport report = hrv::pxl::analyzeJob(r.out);
  EXPECT_EQ(report.completePages, 2u);
  EXPECT_EQ(report.sessions.at(0).resolution, "1200x1200");
  EXPECT_EQ(report.pages.at(0).colorSpaces, std::vector<std::string>{"Gray"});
  EXPECT_NE(r.err.find("[VORN-HRV5720ZWB] DEBUG: (LockPrinter?)=00001\n"), std::string::npos);
  EXPECT_EQ(net("config/printerInfo"),
            "resolution:2400dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n");
  EXPECT_NE(net("print_log").find("打印机名称：HRV5720ZWB-net\n"), std::string::npos);
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/usb/config/printerState"));
}

TEST_F(FilterBinary, BusyPrinterIsAskedAgainUntilReady) {
  BackendScript script;
  script.lockReply = [](int n) {
    return std::string(n < 2 ? "CODE=00002\r\n" : "junk CODE=00002 CODE=00001\r\n");
  };
  RunResult r = start(kNetFilter, "HRV5720ZWB-net", "", script)->wait();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  ASSERT_EQ(r.out.rfind("LockPrinter?LockPrinter?LockPrinter?" + kLeadIn, 0), 0u);
  size_t busy = 0;
  for (size_t at = 0; (at = r.err.find("INFO:打印机忙，请稍后\n", at)) != std::string::npos; ++at) ++busy;
  EXPECT_EQ(busy, 2u);
}

TEST_F(FilterBinary, SilentOrGarbledPrinterCountsAsNoAnswer) {
  BackendScript script;
  script.lockReply = [](int n) {
    return std::string(n == 0 ? "" : n == 1 ? "CODE=0000A\r\n" : "CODE=00001");
  };
  RunResult r = start(kNetFilter, "HRV5720ZWB-net", "", script)->wait();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  size_t connecting = 0;
  for (size_t at = 0; (at = r.err.find("INFO:正在连接打印机，请稍后\n", at)) != std::string::npos; ++at)
    ++connecting;
  EXPECT_EQ(connecting, 2u);
  EXPECT_NE(r.err.find("LockPrinter can not read a thing then read again\n"), std::string::npos);
  EXPECT_TRUE(endsWith(r.out, kTrailer));
}

TEST_F(FilterBinary, MissingLogDirectoryStillPrintsWithoutASize) {
  std::filesystem::create_directories(box_.opt() + "/bin/usb/print_log");  // cannot be opened as a file
  RunResult r = start(kUsbFilter, "HRV5720ZWB", "")->wait();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("open file error /opt/vorn/HRV5720ZWB/bin/usb/print_log\n"), std::string::npos);
  EXPECT_EQ(r.err.find("psfilepth for get Page Count"), std::string::npos);
  EXPECT_NE(r.err.find("pageWidthHeight = NULL\n"), std::string::npos);
  EXPECT_TRUE(endsWith(r.out, kTrailer));
}

TEST_F(FilterBinary, RasterizerFailuresEndTheJobWithoutTrailer) {
  // A document Ghostscript rejects: its exit code is logged, no trailer.
  useDocument("%!PS\nthis_is_not_an_operator\n");
  RunResult r = start(kUsbFilter, "HRV5720ZWB", "")->wait();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.err.find("DEBUG:[VORN-HRV5720ZWB]pstopxl failed.  Exit code=1\n"), std::string::npos);
  EXPECT_EQ(r.out.find("EOJ"), std::string::npos);
  EXPECT_EQ(usb("config/printerState"), "CODE=10023");
  EXPECT_EQ(usb("print_log").find("打印任务完成"), std::string::npos);

  // No rasterizer at all: reported, not taken for a printed job.
  std::filesystem::remove(box_.opt() + "/bin/usb/hrv5720zwb/bin/gs");
  useDocument(kDocument);
  r = start(kUsbFilter, "HRV5720ZWB", "")->wait();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(
      r.err.find("execl() of pstopxl ('/opt/vorn/HRV5720ZWB/bin/usb/hrv5720zwb/bin/gs') failed, errno=2"),
      std::string::npos);
  EXPECT_NE(r.err.find("pstopxl failed.  Exit code=127\n"), std::string::npos);
  EXPECT_EQ(r.out, "");
}

TEST_F(FilterBinary, MissingPpdPrintsWithDefaults) {
  std::map<std::string, std::string> env{{"PPD", "/nonexistent.ppd"}};
  RunResult r = FilterRun(box_, {kUsbFilter, "42", "alice", "t", "1", ""}, env, docPath_).wait();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(usb("config/printerInfo"),
            "resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n");
}

TEST_F(FilterBinary, RefusedPasswordWaitsThenExitsOneWithoutJobFiles) {
  // faketime runs the 600-second wait at 600 times the speed.
  RunResult r = box_.run({"/usr/bin/faketime", "-f", "+0 x600", kUsbFilter, "42", "alice", "t", "1",
                          "Passwd1=1 Passwd2=2 Passwd3=3"},
                         {{"PPD", kUsbPpd}}, kDocument);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("DEBUG:[VORN-HRV5720ZWB]securityPasswd set False\n"), std::string::npos);
  EXPECT_NE(r.err.find("STATE: +" + kPasswdReason + "\n"), std::string::npos);
  EXPECT_EQ(usb("config/printerState"), "CODE=99999");
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/usb/config/printerInfo"));
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/usb/print_log"));
  EXPECT_EQ(r.out, "");
}

TEST_F(FilterBinary, FewerThanSixArgumentsPrintsUsage) {
  RunResult r = box_.run({kUsbFilter, "42", "alice"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(" job-id user title copies options [file]\n"), std::string::npos);
}

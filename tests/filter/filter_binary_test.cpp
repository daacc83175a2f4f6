// The real filter binaries, run with their fixed paths in a private
// namespace, a real PPD and a CUPS option string.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "sandbox.h"

using namespace hrvtest;

namespace {

const std::string kUsbFilter = "/opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb";
const std::string kNetFilter = "/opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb-net";

const char kDocument[] =
    "%!PS-Adobe-3.0\n%%Pages: (atend)\n%%Requirements: numcopies(2)\n%%EndComments\n"
    "%%Page: 1 1\n<< /MediaBox [0 0 595.28 841.89] >> setpagedevice\nshowpage\n"
    "%%Page: 2 2\nshowpage\n%%Trailer\n%%Pages: 2\n%%EOF\n";

class FilterBinary : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!runningAsRoot()) GTEST_SKIP() << "needs root for the private namespace";
    box_.installProgram(HRV_USB_FILTER, "bin/pstopxl_hrv5720zwb");
    box_.installProgram(HRV_NET_FILTER, "bin/pstopxl_hrv5720zwb-net");
    box_.makeJobFileDirs();
    writeFile(box_.spool() + "/d00042-001", kDocument);
  }

  RunResult runFilter(const std::string& program, const std::string& queue, const std::string& options,
                      const std::string& ppd, std::map<std::string, std::string> env = {}) {
    env["PPD"] = ppd;
    env["HRV_ARGV0"] = queue;
    return box_.run({program, "42", "alice", "Quarterly \"report\"", "1", options}, env, kDocument);
  }

  Sandbox box_;
};

const std::string kUsbPpd = std::string(HRV_PPD_DIR) + "/HRV5720ZWB.ppd";
const std::string kNetPpd = std::string(HRV_PPD_DIR) + "/HRV5720ZWB-net.ppd";

}  // namespace

TEST_F(FilterBinary, UsbJobWritesStartLinesJobFilesAndHeader) {
  RunResult r = runFilter(kUsbFilter, "HRV5720ZWB", "PageSize=Letter Duplex=DuplexTumble Resolution=1200dpi", kUsbPpd);
  EXPECT_EQ(r.exitCode, 0) << r.err;

  // Start-of-job lines, in order.
  std::regex start(
      "DEBUG:\\[VORN-HRV5720ZWB\\]\\*{58}\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]start filter:HRV5720ZWB\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]StartTime:[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\n\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]tv_sec:\\d+\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]tv_usec:\\d+\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]tz_minuteswest:-?\\d+\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]tz_dsttime:\\d+\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]JobPrintLogTime: [A-Z][a-z]{2},\\d\\d,[A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d\n"
      "DEBUG:\\[VORN-HRV5720ZWB\\]JobStartTime: \\d{14}\n");
  EXPECT_TRUE(std::regex_search(r.err, start)) << r.err.substr(0, 800);
  EXPECT_NE(r.err.find("(QDWTEST)num_options=3;\n"), std::string::npos);
  EXPECT_NE(r.err.find("DEBUG:[VORN-HRV5720ZWB]paperSize = Letter\n"), std::string::npos);
  EXPECT_NE(r.err.find("DEBUG:[VORN-HRV5720ZWB]resolution = 600dpi\n"), std::string::npos);
  EXPECT_NE(r.err.find("DEBUG:[VORN-HRV5720ZWB]sleepTime = PrinterDefault\n"), std::string::npos);
  // The size for the rasterizer comes from the document, not the PPD.
  EXPECT_NE(r.err.find(" paperSize = A4\n resolution = 600dpi\n resolutionsg = -r600x600\n pageWidthHeight = "
                       "-g4961x7016\n"),
            std::string::npos);
  // The title's quotes cannot close the PJL value.
  EXPECT_NE(r.err.find("@PJL SET JOBNAME=\"Quarterly 'report'\"\n"), std::string::npos);

  EXPECT_EQ(readFile(box_.opt() + "/bin/usb/config/printerInfo"),
            "resolution:1200dpi;\npapersize:Letter;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:DuplexTumble;\n");
  EXPECT_EQ(readFile(box_.opt() + "/bin/usb/config/printerState"), "CODE=10023");
  std::string log = readFile(box_.opt() + "/bin/usb/print_log");
  std::regex record(
      "^\\*{51}\n打印机名称：HRV5720ZWB\n日期:\\d{4}年\\d\\d月\\d\\d日\\d\\d:\\d\\d:\\d\\d [A-Z][a-z]+day\n"
      "任务ID：42\n用户名：alice\n文件名：Quarterly \"report\"\n打印份数：2\n文档页数：2\n"
      "resolution:600dpi\npapersize:Letter;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:短边翻转\n$");
  EXPECT_TRUE(std::regex_search(log, record)) << log;
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/net/config/printerInfo"));
}

TEST_F(FilterBinary, NetworkJobUsesItsOwnFilesAndNoStateFile) {
  RunResult r = runFilter(kNetFilter, "HRV5720ZWB-net", "ColorMode=Mono", kNetPpd);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readFile(box_.opt() + "/bin/net/config/printerInfo"),
            "resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n");
  EXPECT_NE(readFile(box_.opt() + "/bin/net/print_log").find("打印机名称：HRV5720ZWB-net\n"), std::string::npos);
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/usb/config/printerState"));
  EXPECT_NE(r.err.find("DEBUG:[VORN-HRV5720ZWB]@PJL SET RENDERMODE=GRAYSCALE\n"), std::string::npos);
}

TEST_F(FilterBinary, MissingLogDirectoryStillBuildsTheJobWithoutASize) {
  std::filesystem::remove_all(box_.opt() + "/bin/usb");
  RunResult r = runFilter(kUsbFilter, "HRV5720ZWB", "", kUsbPpd);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("open file error /opt/vorn/HRV5720ZWB/bin/usb/print_log\n"), std::string::npos);
  EXPECT_EQ(r.err.find("psfilepth for get Page Count"), std::string::npos);
  EXPECT_NE(r.err.find("pageWidthHeight = NULL\n"), std::string::npos);
  EXPECT_NE(r.err.find("Print Job Head Start"), std::string::npos);
}

TEST_F(FilterBinary, MissingPpdPrintsWithDefaults) {
  RunResult r = runFilter(kUsbFilter, "HRV5720ZWB", "", "/nonexistent.ppd");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readFile(box_.opt() + "/bin/usb/config/printerInfo"),
            "resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n");
}

TEST_F(FilterBinary, RefusedPasswordWaitsThenExitsOneWithoutJobFiles) {
  // faketime runs the 600-second wait at 600 times the speed.
  RunResult r = box_.run({"/usr/bin/faketime", "-f", "+0 x600", kUsbFilter, "42", "alice", "t", "1",
                          "Passwd1=1 Passwd2=2 Passwd3=3"},
                         {{"PPD", kUsbPpd}}, kDocument);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("DEBUG:[VORN-HRV5720ZWB]securityPasswd set False\n"), std::string::npos);
  EXPECT_NE(r.err.find("STATE: +输入数字密码无效，请在电脑端打印队列中取消任务，并重新设置四位密码，重新打印\n"),
            std::string::npos);
  EXPECT_EQ(readFile(box_.opt() + "/bin/usb/config/printerState"), "CODE=99999");
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/usb/config/printerInfo"));
  EXPECT_FALSE(fileExists(box_.opt() + "/bin/usb/print_log"));
  EXPECT_EQ(r.out, "");
}

TEST_F(FilterBinary, FewerThanSixArgumentsPrintsUsage) {
  RunResult r = box_.run({kUsbFilter, "42", "alice"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Usage: "), std::string::npos);
  EXPECT_NE(r.err.find(" job-id user title copies options [file]\n"), std::string::npos);
}

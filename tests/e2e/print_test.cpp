// End to end: real lp jobs through a real cupsd, both queues, the installed
// filters, real Ghostscript, the printer simulator and the USB capture
// backend. Runs inside cups-session.sh.
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <thread>

#include "job_stream.h"
#include "sandbox.h"

using namespace hrvtest;
namespace fs = std::filesystem;
using hrv::pxl::Ending;

namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Submits a job with lp; returns its id.
int submit(const std::string& queue, const std::string& file, const std::string& options = "") {
  std::string out = shell("lp -d " + queue + " " + options + " " + file).out;
  std::smatch m;
  if (!std::regex_search(out, m, std::regex("request id is " + queue + "-(\\d+)"))) {
    ADD_FAILURE() << out;
    return -1;
  }
  return std::stoi(m[1]);
}

bool jobDone(int id) {
  std::string out = shell("lpstat -W completed -o").out;
  return std::regex_search(out, std::regex("-" + std::to_string(id) + "\\s"));
}

std::string simCaptureAfter(size_t known) {
  std::vector<std::string> jobs;
  for (auto& e : fs::directory_iterator(env("HRV_SIM_DIR"))) {
    std::string name = e.path().filename().string();
    if (name.rfind("job-", 0) == 0 && e.path().extension() == ".prn") jobs.push_back(e.path().string());
  }
  std::sort(jobs.begin(), jobs.end());
  return jobs.size() > known ? jobs.back() : "";
}

size_t simCaptures() {
  size_t n = 0;
  for (auto& e : fs::directory_iterator(env("HRV_SIM_DIR")))
    if (e.path().extension() == ".prn") ++n;
  return n;
}

std::string usbCapture(int id) {
  return env("HRV_USB_CAPTURE") + "/job-" + std::to_string(id) + ".prn";
}

// A job printed to the network queue, as the simulator received it.
std::string printToNetwork(const std::string& file, const std::string& options = "") {
  size_t before = simCaptures();
  int id = submit("HRV5720ZWB-net", file, options);
  EXPECT_TRUE(waitUntil([&] { return jobDone(id) && simCaptures() > before; }, 120))
      << shell("lpstat -l -o").out;
  return readFile(simCaptureAfter(before));
}

std::string printToUsb(const std::string& file, const std::string& options = "") {
  int id = submit("HRV5720ZWB", file, options);
  EXPECT_TRUE(waitUntil([&] { return jobDone(id) && fileExists(usbCapture(id)); }, 120))
      << shell("lpstat -l -o").out;
  return readFile(usbCapture(id));
}

std::string sample() {
  return std::string(HRV_SOURCE_DIR) + "/samples/sample.ps";
}

}  // namespace

TEST(PrintThroughCups, SamplePostScriptOnBothQueues) {
  std::string usb = printToUsb(sample());
  hrv::pxl::JobReport r = hrv::pxl::analyzeJob(usb);
  EXPECT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.lockRequests, 0u);
  EXPECT_EQ(r.completePages, 3u);
  EXPECT_EQ(r.ending, Ending::kTrailer);
  EXPECT_EQ(r.pages.at(0).media, "A4");

  std::string net = printToNetwork(sample());
  r = hrv::pxl::analyzeJob(net);
  EXPECT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.lockRequests, 1u);
  EXPECT_EQ(r.completePages, 3u);
  EXPECT_EQ(r.ending, Ending::kTrailer);

  // Job files, as the monitors will read them.
  const std::string opt = "/opt/vorn/HRV5720ZWB/bin/";
  EXPECT_EQ(readFile(opt + "usb/config/printerState"), "CODE=10001");
  EXPECT_EQ(readFile(opt + "usb/config/printerInfo"),
            "resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n");
  EXPECT_NE(readFile(opt + "usb/print_log").find("文档页数：3\n"), std::string::npos);
  EXPECT_NE(readFile(opt + "net/print_log").find("打印机名称：HRV5720ZWB-net\n"), std::string::npos);
  std::string netLog = readFile(opt + "net/print_log");
  EXPECT_EQ(netLog.substr(netLog.size() - std::string("\n打印任务完成\n").size()), "\n打印任务完成\n");

  // The debug copy of the last job: the header and the PCL XL, owner-only.
  struct stat st {};
  ASSERT_EQ(stat("/var/tmp/qdw.prn", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::string copy = readFile("/var/tmp/qdw.prn");
  EXPECT_EQ(copy, net.substr(std::string("LockPrinter?").size(),
                             net.size() - std::string("LockPrinter?").size() - 42));
}

TEST(PrintThroughCups, MultiPagePdf) {
  std::string pdf = env("HRV_STAGE") + "/multi.pdf";
  shell("gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -sOutputFile=" + pdf + " " + sample() + " " +
        sample());
  hrv::pxl::JobReport r = hrv::pxl::analyzeJob(printToUsb(pdf));
  EXPECT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.completePages, 6u);
  EXPECT_EQ(r.ending, Ending::kTrailer);
}

TEST(PrintThroughCups, SecurePrintDuplexMono) {
  std::string job = printToUsb(sample(),
                               "-o Passwd1=0 -o Passwd2=4 -o Passwd3=2 -o Passwd4=7 -o Duplex=DuplexNoTumble "
                               "-o ColorMode=Mono -o InputSlot=TRAY2");
  EXPECT_NE(job.find("@PJL SET HOLD=STORE\n@PJL SET HOLDTYPE=PRIVATE\n@PJL SET HOLDKEY=0427\n"),
            std::string::npos);
  EXPECT_NE(job.find("@PJL SET RENDERMODE=GRAYSCALE\n"), std::string::npos);
  EXPECT_NE(job.find("@PJL SET SOURCETRAY=TRAY2\n@PJL SET PCLT2FIX=ON\n"), std::string::npos);
  hrv::pxl::JobReport r = hrv::pxl::analyzeJob(job);
  EXPECT_EQ(r.completePages, 3u);
  EXPECT_EQ(r.pages.at(0).duplex, "duplex-vertical");
  EXPECT_EQ(r.pages.at(0).colorSpaces, std::vector<std::string>{"Gray"});
  EXPECT_EQ(
      readFile("/opt/vorn/HRV5720ZWB/bin/usb/config/printerInfo"),
      "resolution:600dpi;\npapersize:A4;\ninputslot:TRAY2;\nmediatype:PLAIN;\nduplex:DuplexNoTumble;\n");
}

TEST(PrintThroughCups, CancelOfARunningJob) {
  // A slow USB printer keeps the job running long enough to cancel it.
  shell("lpadmin -p HRV5720ZWB -v 'hrvcapture:" + env("HRV_USB_CAPTURE") + "?slow=300'");
  std::string heavy = env("HRV_STAGE") + "/heavy.ps";
  writeFile(heavy, heavyDocument(12, 600));
  int id = submit("HRV5720ZWB", heavy);
  std::string part = usbCapture(id) + ".part";
  ASSERT_TRUE(waitUntil([&] { return fileExists(part) && fs::file_size(part) > 300000; }, 60));
  shell("cancel " + std::to_string(id));
  ASSERT_TRUE(waitUntil([&] { return fileExists(usbCapture(id)); }, 60));
  shell("lpadmin -p HRV5720ZWB -v 'hrvcapture:" + env("HRV_USB_CAPTURE") + "'");

  std::string job = readFile(usbCapture(id));
  hrv::pxl::JobReport r = hrv::pxl::analyzeJob(job);
  EXPECT_EQ(r.ending, Ending::kCancel);
  const std::string cancel = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL CANCEL\n\x1b%-12345X";
  EXPECT_EQ(job.substr(job.size() - cancel.size()), cancel);
  EXPECT_TRUE(waitUntil(
      [] { return readFile("/opt/vorn/HRV5720ZWB/bin/usb/config/printerState") == "CODE=10001"; }, 10));
  std::string log = readFile("/opt/vorn/HRV5720ZWB/bin/usb/print_log");
  EXPECT_EQ(log.substr(log.size() - std::string("\n打印任务被用户取消\n").size()), "\n打印任务被用户取消\n");
}

TEST(PrintThroughCups, BusyPrinterDelaysTheJobUntilReady) {
  writeFile(env("HRV_SIM_DIR") + "/lock-script", "busy\n");
  size_t before = simCaptures();
  int id = submit("HRV5720ZWB-net", sample());
  EXPECT_TRUE(waitUntil(
      [] { return shell("lpstat -l -p HRV5720ZWB-net").out.find("打印机忙，请稍后") != std::string::npos; },
      60))
      << shell("lpstat -l -p HRV5720ZWB-net").out;
  EXPECT_FALSE(jobDone(id));
  writeFile(env("HRV_SIM_DIR") + "/lock-script", "ready\n");
  ASSERT_TRUE(waitUntil([&] { return jobDone(id) && simCaptures() > before; }, 120));
  hrv::pxl::JobReport r = hrv::pxl::analyzeJob(readFile(simCaptureAfter(before)));
  EXPECT_GE(r.lockRequests, 2u);
  EXPECT_EQ(r.completePages, 3u);
  EXPECT_EQ(r.ending, Ending::kTrailer);
}

// Ghostscript rejects the document: the job ends in CUPS as not printed,
// stopped for the queue's error policy, with its files still spooled.
TEST(PrintThroughCups, FailedRasterizerLeavesTheJobNotPrinted) {
  const std::string bad = env("HRV_STAGE") + "/bad.ps";
  writeFile(bad, "%!PS\nthis_is_not_an_operator\n");
  const int id = submit("HRV5720ZWB", bad);
  auto state = [id] {
    cups_job_t* jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "HRV5720ZWB", 0, CUPS_WHICHJOBS_ALL);
    ipp_jstate_t s = IPP_JSTATE_PENDING;
    for (int i = 0; i < n; ++i)
      if (jobs[i].id == id) s = jobs[i].state;
    cupsFreeJobs(n, jobs);
    return s;
  };
  ASSERT_TRUE(waitUntil([&] { return state() >= IPP_JSTATE_STOPPED; }, 120)) << shell("lpstat -l -o").out;
  EXPECT_TRUE(state() == IPP_JSTATE_STOPPED || state() == IPP_JSTATE_ABORTED) << state();
  char spooled[64];
  std::snprintf(spooled, sizeof spooled, "/var/spool/cups/d%05d-001", id);
  EXPECT_TRUE(fileExists(spooled));
  EXPECT_EQ(readFile("/opt/vorn/HRV5720ZWB/bin/usb/config/printerState"), "CODE=10001");
  const std::string log = readFile("/opt/vorn/HRV5720ZWB/bin/usb/print_log");
  EXPECT_EQ(log.substr(log.size() - std::string("\n打印任务失败\n").size()), "\n打印任务失败\n");
  EXPECT_NE(readFile("/var/log/cups/error_log").find("the rasterizer failed with exit code 1"),
            std::string::npos);
}

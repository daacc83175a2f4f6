// End to end: real lp jobs through a real cupsd, both queues, the installed
// filters, real Ghostscript, the printer simulator and the USB capture
// backend. Runs inside cups-session.sh.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>

#include "config.h"
#include "job_stream.h"
#include "jobfiles.h"
#include "pjl.h"
#include "sandbox.h"

using namespace hrvtest;
using hrv::pxl::Ending;

namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Submits a job with lp; returns its id.
int submit(const std::string& queue, const std::string& file, const std::string& options = "") {
  const std::string out = shell("lp -d " + queue + " " + options + " " + file).out;
  std::smatch m;
  if (std::regex_search(out, m, std::regex("request id is " + queue + "-(\\d+)"))) return std::stoi(m[1]);
  ADD_FAILURE() << out;
  return -1;
}

ipp_jstate_t jobState(int id) {
  cups_job_t* jobs = nullptr;
  const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
  ipp_jstate_t s = IPP_JSTATE_PENDING;
  for (int i = 0; i < n; ++i)
    if (jobs[i].id == id) s = jobs[i].state;
  cupsFreeJobs(n, jobs);
  return s;
}

// The simulator's captures (network queue), oldest first.
std::vector<std::string> simCaptures() {
  std::vector<std::string> jobs;
  for (const auto& e : std::filesystem::directory_iterator(env("HRV_SIM_DIR")))
    if (e.path().extension() == ".prn") jobs.push_back(e.path());
  std::sort(jobs.begin(), jobs.end());
  return jobs;
}

bool endsWith(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string usbCapture(int id) {
  return env("HRV_USB_CAPTURE") + "/job-" + std::to_string(id) + ".prn";
}

// A job printed to a queue, as the printer received it.
std::string print(bool network, const std::string& file, const std::string& options = "") {
  const size_t before = simCaptures().size();
  const int id = submit(network ? hrv::kNetQueue : hrv::kUsbQueue, file, options);
  EXPECT_TRUE(waitUntil(
      [&] {
        return jobState(id) == IPP_JSTATE_COMPLETED &&
               (network ? simCaptures().size() > before : fileExists(usbCapture(id)));
      },
      120))
      << shell("lpstat -l -o").out;
  return readFile(network ? simCaptures().back() : usbCapture(id));
}

const std::string kSample = std::string(HRV_SOURCE_DIR) + "/samples/sample.ps";

}  // namespace

TEST(PrintThroughCups, SamplePostScriptOnBothQueues) {
  for (const bool network : {false, true}) {
    const std::string job = print(network, kSample);
    const hrv::pxl::JobReport r = hrv::pxl::analyzeJob(job);
    EXPECT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.lockRequests, network ? 1u : 0u);
    EXPECT_EQ(r.completePages, 3u);
    EXPECT_EQ(r.ending, Ending::kTrailer);
    EXPECT_EQ(r.pages.at(0).media, "A4");
    // The job files and the debug copy, written by the filter as the scheduler's user.
    const std::string log = readFile(network ? hrv::kNetPrintLog : hrv::kUsbPrintLog);
    EXPECT_TRUE(endsWith(log, hrv::kLogJobDone));
    EXPECT_NE(log.find("文档页数：3\n"), std::string::npos);
    EXPECT_EQ(readFile(hrv::kDebugCopyPath),
              job.substr(r.lockRequests * 12, job.size() - r.lockRequests * 12 - hrv::kPjlTrailer.size()));
  }
  EXPECT_EQ(readFile(hrv::kUsbPrinterState), hrv::kStateReady);
}

TEST(PrintThroughCups, MultiPagePdf) {
  const std::string pdf = env("HRV_STAGE") + "/multi.pdf";
  shell("gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -sOutputFile=" + pdf + " " + kSample + " " +
        kSample);
  const hrv::pxl::JobReport r = hrv::pxl::analyzeJob(print(false, pdf));
  EXPECT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.completePages, 6u);
  EXPECT_EQ(r.ending, Ending::kTrailer);
}

TEST(PrintThroughCups, SecurePrintDuplexMono) {
  const std::string job =
      print(false, kSample,
            "-o Passwd1=0 -o Passwd2=4 -o Passwd3=2 -o Passwd4=7 -o Duplex=DuplexNoTumble "
            "-o ColorMode=Mono -o InputSlot=TRAY2");
  EXPECT_NE(job.find("@PJL SET HOLDKEY=0427\n"), std::string::npos);
  EXPECT_NE(job.find("@PJL SET SOURCETRAY=TRAY2\n"), std::string::npos);
  const hrv::pxl::JobReport r = hrv::pxl::analyzeJob(job);
  EXPECT_EQ(r.completePages, 3u);
  EXPECT_EQ(r.pages.at(0).duplex, "duplex-vertical");
  EXPECT_EQ(r.pages.at(0).colorSpaces, std::vector<std::string>{"Gray"});
}

TEST(PrintThroughCups, CancelOfARunningJob) {
  // A slow USB printer keeps the job running long enough to cancel it.
  shell("lpadmin -p HRV5720ZWB -v 'hrvcapture:" + env("HRV_USB_CAPTURE") + "?slow=300'");
  const std::string heavy = env("HRV_STAGE") + "/heavy.ps";
  writeFile(heavy, heavyDocument(12, 600));
  const int id = submit(hrv::kUsbQueue, heavy);
  const std::string part = usbCapture(id) + ".part";
  ASSERT_TRUE(waitUntil([&] { return fileExists(part) && std::filesystem::file_size(part) > 300000; }, 60));
  shell("cancel " + std::to_string(id));
  ASSERT_TRUE(waitUntil([&] { return fileExists(usbCapture(id)); }, 60));
  shell("lpadmin -p HRV5720ZWB -v 'hrvcapture:" + env("HRV_USB_CAPTURE") + "'");

  const std::string job = readFile(usbCapture(id));
  EXPECT_EQ(hrv::pxl::analyzeJob(job).ending, Ending::kCancel);
  EXPECT_TRUE(endsWith(job, hrv::kPjlCancel));
  EXPECT_TRUE(waitUntil([] { return readFile(hrv::kUsbPrinterState) == hrv::kStateReady; }, 10));
  EXPECT_TRUE(endsWith(readFile(hrv::kUsbPrintLog), hrv::kLogJobCancelled));
}

TEST(PrintThroughCups, BusyPrinterDelaysTheJobUntilReady) {
  writeFile(env("HRV_SIM_DIR") + "/lock-script", "busy\n");
  const size_t before = simCaptures().size();
  const int id = submit(hrv::kNetQueue, kSample);
  EXPECT_TRUE(waitUntil(
      [] { return shell("lpstat -l -p HRV5720ZWB-net").out.find("打印机忙，请稍后") != std::string::npos; },
      60));
  EXPECT_NE(jobState(id), IPP_JSTATE_COMPLETED);
  writeFile(env("HRV_SIM_DIR") + "/lock-script", "ready\n");
  ASSERT_TRUE(
      waitUntil([&] { return jobState(id) == IPP_JSTATE_COMPLETED && simCaptures().size() > before; }, 120));
  const hrv::pxl::JobReport r = hrv::pxl::analyzeJob(readFile(simCaptures().back()));
  EXPECT_GE(r.lockRequests, 2u);
  EXPECT_EQ(r.completePages, 3u);
  EXPECT_EQ(r.ending, Ending::kTrailer);
}

// Ghostscript rejects the document: the job ends in CUPS as not printed,
// stopped for the queue's error policy, with its files still spooled.
TEST(PrintThroughCups, FailedRasterizerLeavesTheJobNotPrinted) {
  const std::string bad = env("HRV_STAGE") + "/bad.ps";
  writeFile(bad, "%!PS\nthis_is_not_an_operator\n");
  const int id = submit(hrv::kUsbQueue, bad);
  ASSERT_TRUE(waitUntil([&] { return jobState(id) >= IPP_JSTATE_STOPPED; }, 120))
      << shell("lpstat -l -o").out;
  EXPECT_TRUE(jobState(id) == IPP_JSTATE_STOPPED || jobState(id) == IPP_JSTATE_ABORTED) << jobState(id);
  char spooled[64];
  std::snprintf(spooled, sizeof spooled, "%s/d%05d-001", hrv::kSpoolDir, id);
  EXPECT_TRUE(fileExists(spooled));
  EXPECT_EQ(readFile(hrv::kUsbPrinterState), hrv::kStateReady);
  EXPECT_TRUE(endsWith(readFile(hrv::kUsbPrintLog), hrv::kLogJobFailed));
  EXPECT_NE(readFile("/var/log/cups/error_log").find("the rasterizer failed with exit code 1"),
            std::string::npos);
}

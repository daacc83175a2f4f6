// The job file folders (and /var/tmp of the debug copy) are full: either no
// byte is left, so opens work and writes fail, or no file can be created, so
// every open fails after its retries. The job still prints.
#include "fault_support.h"

using namespace hrvfault;
using hrvtest::RunResult;

class JobDirsFull : public FilterFault {};

TEST_F(JobDirsFull, TheJobStillPrints) {
  const std::string wrapper = std::string(HRV_FAULTS_DIR) + "/full-jobfile-dirs.sh";
  Tally tally("jobfile-dirs-full");
  for (const char* variant : {"usb", "net"}) {
    for (const char* mode : {"bytes", "inodes"}) {
      const bool network = std::string(variant) == "net";
      auto run = start(network, {}, {}, {wrapper, mode, variant, network ? "HRV5720ZWB-net" : "HRV5720ZWB"});
      RunResult r = run->wait();
      std::vector<std::string> problems = printedProblems(r);
      if (r.out.find("@PJL SET USERNAME=\"alice\"\n") == std::string::npos)
        problems.push_back("no job header");
      if (std::string(mode) == "inodes") {
        // Every file was tried 8 times, then skipped.
        const std::string info =
            std::string("DEBUG:[VORN-HRV5720ZWB]open file error /opt/vorn/HRV5720ZWB/bin/") + variant +
            "/config/printerInfo\n";
        const std::string log =
            std::string("DEBUG:[VORN-HRV5720ZWB]open file error /opt/vorn/HRV5720ZWB/bin/") + variant +
            "/print_log\n";
        if (size_t n = countOf(r.err, info); n != 8)
          problems.push_back(std::to_string(n) + " tries of printerInfo");
        // The record and the end line.
        if (size_t n = countOf(r.err, log); n != 16)
          problems.push_back(std::to_string(n) + " tries of print_log");
        if (r.err.find("DEBUG:Can not Open Debug File=/var/tmp/qdw.prn") == std::string::npos)
          problems.push_back("the debug copy opened");
        // Without the log the job is not inspected: no size, no geometry.
        if (r.err.find("pageWidthHeight = NULL") == std::string::npos)
          problems.push_back("a size was detected");
      }
      for (const std::string& p : problems) ADD_FAILURE() << variant << ", no " << mode << " left: " << p;
      tally.add(problems, r.termSignal != 0 || r.exitCode != 0);
    }
  }
}

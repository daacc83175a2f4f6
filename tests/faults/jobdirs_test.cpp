// The job file folders (and /var/tmp of the debug copy) are full: either no
// byte is left, so opens work and writes fail, or no file can be created, so
// every open fails after its retries. The job still prints.
#include "filter_job.h"
#include "tally.h"

using namespace hrvtest;

class JobDirsFull : public FilterJobTest {};

TEST_F(JobDirsFull, TheJobStillPrints) {
  const std::string wrapper = std::string(HRV_FAULTS_DIR) + "/full-jobfile-dirs.sh";
  Tally tally("jobfile-dirs-full");
  for (const std::string variant : {"usb", "net"}) {
    for (const std::string mode : {"bytes", "inodes"}) {
      const bool network = variant == "net";
      const RunResult r =
          start(network, "", {}, {}, {wrapper, mode, variant, network ? "HRV5720ZWB-net" : "HRV5720ZWB"})
              ->wait();
      std::vector<std::string> problems = printedProblems(r);
      const std::string openError =
          "DEBUG:[VORN-HRV5720ZWB]open file error /opt/vorn/HRV5720ZWB/bin/" + variant;
      // Every file was tried 8 times, then skipped (the log twice: record
      // and end line); without the log no size was detected.
      if (mode == "inodes" &&
          (countOf(r.err, openError + "/config/printerInfo\n") != 8 ||
           countOf(r.err, openError + "/print_log\n") != 16 ||
           r.err.find("DEBUG:Can not Open Debug File=/var/tmp/qdw.prn") == std::string::npos ||
           r.err.find("pageWidthHeight = NULL") == std::string::npos))
        problems.push_back("the files were not tried and skipped as they should");
      for (const std::string& p : problems) ADD_FAILURE() << variant << ", no " << mode << " left: " << p;
      tally.add(problems, r.termSignal != 0 || r.exitCode != 0);
    }
  }
}

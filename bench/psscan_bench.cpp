// Runs the spool-file inspection once over a given file, the way the filter
// does for a job, and prints what it found. The benchmark times the whole
// process against `wc -l` on the same file.
//
// Usage: psscan_bench <spool-dir> <job-id>
#include <cstdio>
#include <string_view>

#include "log.h"
#include "psscan.h"

namespace {

class NullLogger final : public hrv::Logger {
 public:
  void write(std::string_view) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <spool-dir> <job-id>\n", argv[0]);
    return 2;
  }
  NullLogger log;
  const hrv::Inspection r = hrv::getPageCount(argv[1], argv[2], log);
  std::printf("pages=%d copies=%d size=%s\n", r.pages, r.copies,
              r.paperSize.empty() ? "-" : r.paperSize.c_str());
  return 0;
}

// Hostile spool files: huge, binary, without line ends. The inspection must
// come to its end and the filter's memory must not grow with the file: its
// peak resident size (VmHWM) stays within a few MiB of a job with a small
// spool file.
#include <algorithm>
#include <fstream>
#include <random>

#include "fault_support.h"

using namespace hrvfault;
using hrvtest::RunResult;

namespace {

constexpr size_t kHuge = size_t{128} << 20;
constexpr long kAllowedGrowthKib = 8 * 1024;

// Writes `size` bytes made by `next()` in 1 MiB pieces.
template <typename Gen>
void writeGenerated(const std::string& path, size_t size, Gen next) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string piece(size_t{1} << 20, '\0');
  for (size_t done = 0; done < size; done += piece.size()) {
    for (char& c : piece) c = next();
    out.write(piece.data(), static_cast<std::streamsize>(std::min(piece.size(), size - done)));
  }
}

}  // namespace

class HostileSpool : public FilterFault {
 protected:
  // Runs a USB job on a small document (Ghostscript reads standard input)
  // while the inspection reads the spool file; returns the filter's peak
  // resident size once the inspection is over.
  long peakKib(RunResult& r) {
    const std::string doc = box_.stage() + "/small.ps";
    hrvtest::writeFile(doc, hrvtest::heavyDocument(1, 300));
    forgetJobFiles();
    auto run = start(false, {}, doc);
    // Held output keeps the filter alive after the inspection.
    run->pauseOutput(true);
    long peak = -1;
    if (run->waitForError("INFO:打印机正在打印\n", 120000)) peak = procStatusKib(run->pid(), "VmHWM");
    run->pauseOutput(false);
    r = run->wait();
    return peak;
  }
};

TEST_F(HostileSpool, InspectionEndsAndMemoryStaysFlat) {
  RunResult r;
  useSpool(hrvtest::heavyDocument(1, 300));
  const long base = peakKib(r);
  ASSERT_GT(base, 0) << r.err;
  ASSERT_TRUE(printedProblems(r).empty());

  std::mt19937 rng(5720);
  struct Case {
    const char* name;
    std::function<char()> next;
  };
  const std::string text = "%%Pages: 3 MediaBox [0 0 595 842 /#copies 2 ";
  size_t at = 0;
  const Case cases[] = {
      {"binary", [&] { return static_cast<char>(rng()); }},
      {"no line ends", [&] { return text[at++ % text.size()]; }},
      {"one long line of zero bytes", [] { return '\0'; }},
  };
  Tally tally("hostile-spool");
  long worst = 0;
  for (const Case& c : cases) {
    writeGenerated(spool_, kHuge, c.next);
    const long peak = peakKib(r);
    std::vector<std::string> problems = printedProblems(r);
    if (peak < 0) problems.push_back("the inspection did not end");
    if (peak - base > kAllowedGrowthKib)
      problems.push_back("peak resident size " + std::to_string(peak) + " KiB, " + std::to_string(base) +
                         " KiB with a small spool file");
    std::printf("hostile-spool: %s, %zu MiB: peak %ld KiB (small spool file: %ld KiB)\n", c.name, kHuge >> 20,
                peak, base);
    worst = std::max(worst, peak - base);
    for (const std::string& p : problems) ADD_FAILURE() << c.name << ": " << p;
    tally.add(problems, r.termSignal != 0 || r.exitCode != 0);
  }
  tally.note(std::to_string(kHuge >> 20) + " MiB each, peak resident size at most " + std::to_string(worst) +
             " KiB above a small spool file's");
}

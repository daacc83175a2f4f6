// One run of the rasterizer (Ghostscript) on one job, for every program that
// prints through it: the print filter and the printer application use the
// same arguments (raster.h), the same head check and this same run.
// No CUPS, no globals; the caller wires the output to where it goes.
//
//   Rasterizer gs({program, ghostscriptArgs(...), inputFd, rasterizerHead(...)});
//   RasterOutcome o = gs.run(sink, cancelFd);
//
// run() starts `program` (argv[0] "gs", then `args`) reading `inputFd` as its
// standard input and writing into a pipe, with no other descriptor of the
// caller's and every signal at its default; what it writes to its standard
// error comes to the sink line by line (what a document prints, too: it must
// never pass unescaped into a log that reads control lines).
// It reads the first expectedHead.size() bytes and drops them only when they
// are exactly `expectedHead` (anything else ends the run: kForeignHead), hands
// the rest to the sink in blocks of kRasterBlock bytes (all full but the last),
// then waits for the child and judges its end. A sink that returns false, or
// `cancelFd` turning readable, ends the run at once; a child still running
// then is ended by stop() or by the destructor.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hrv {

inline constexpr size_t kRasterBlock = 262144;

struct RasterJob {
  std::string program;            // the rasterizer's path
  std::vector<std::string> args;  // after argv[0]
  int inputFd = 0;                // the job's document, the child's standard input
  std::string expectedHead;       // the lead-in the output must start with
};

class RasterSink {
 public:
  virtual ~RasterSink() = default;
  virtual void started() {}                       // the child runs
  virtual void headRead(std::string_view head) {  // what came as the head, before the check
    (void)head;
  }
  // One block of the stream after the head; false ends the run.
  virtual bool block(const char* data, size_t size) = 0;
  // One line the child wrote to its standard error (without its line feed).
  virtual void message(std::string_view line) { (void)line; }
};

enum class RasterEnd {
  kDone,         // every block handed on, the child exited 0
  kPipeFailed,   // value: errno
  kStartFailed,  // value: errno (no such program, not executable, no fork)
  kForeignHead,  // the output did not start with the expected head
  kFailed,       // value: the child's exit code (not 0)
  kKilled,       // value: the signal that ended the child
  kWaitFailed,   // value: errno
  kSinkStopped,  // the sink returned false
  kCancelled,    // the cancel descriptor turned readable
};

struct RasterOutcome {
  RasterEnd end = RasterEnd::kDone;
  int value = 0;
};

class Rasterizer {
 public:
  explicit Rasterizer(RasterJob job);
  ~Rasterizer();  // stop()
  Rasterizer(const Rasterizer&) = delete;
  Rasterizer& operator=(const Rasterizer&) = delete;

  // Once per object. `cancelFd` < 0: nothing cancels.
  RasterOutcome run(RasterSink& sink, int cancelFd = -1);

  // Asks a running child to end (SIGTERM) without waiting for it.
  void terminate();
  // Ends a running child: SIGTERM, up to `graceMs` to go, then SIGKILL; reaps it.
  void stop(int graceMs = 2000);

 private:
  RasterJob job_;
  pid_t pid_ = -1;  // the child until it is reaped
  std::unique_ptr<char[]> block_;
};

}  // namespace hrv

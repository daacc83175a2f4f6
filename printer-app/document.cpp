// PDF and PostScript documents: Ghostscript rasterizes them with the print
// filter's arguments for the job's settings, the filter's head check drops
// its own PJL lead-in, and the PCL XL goes to the printer inside the job
// envelope of printjob.h. A canceled job stops Ghostscript at once; a
// Ghostscript that fails fails the job, which then ends with the cancel
// sequence instead of the trailer.
//
// The application is a threaded server: Ghostscript gets no descriptor but
// its three standard ones (every other one is close-on-exec or closed at
// its start), and the job's cancel reaches the run through a pipe of its own.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config.h"
#include "printjob.h"
#include "raster.h"
#include "rasterizer.h"
#include "unique_fd.h"

namespace hrv::app {

namespace {

// Turns the job's cancel into a readable descriptor: a watcher thread looks
// every kPrinterAppCancelPollMs until the job is canceled or the watch ends.
class CancelWatch {
 public:
  explicit CancelWatch(pappl_job_t* job) : job_(job) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    read_.reset(fds[0]);
    write_.reset(fds[1]);
    thread_ = std::thread([this] { watch(); });
  }
  ~CancelWatch() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
  }
  CancelWatch(const CancelWatch&) = delete;
  CancelWatch& operator=(const CancelWatch&) = delete;

  int fd() const { return read_.get(); }

 private:
  void watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (
        !wake_.wait_for(lock, std::chrono::milliseconds(kPrinterAppCancelPollMs), [this] { return done_; })) {
      if (papplJobIsCanceled(job_)) {
        [[maybe_unused]] const ssize_t n = ::write(write_.get(), "c", 1);
        return;
      }
    }
  }

  pappl_job_t* job_;
  UniqueFd read_, write_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

// Ghostscript's blocks go to the printer as they come; its messages to the
// job's log.
class DeviceSink final : public RasterSink {
 public:
  DeviceSink(pappl_job_t* job, pappl_device_t* device) : job_(job), device_(device) {}
  bool block(const char* data, size_t size) override {
    return !papplJobIsCanceled(job_) && writeToPrinter(device_, {data, size});
  }
  void message(std::string_view line) override {
    papplLogJob(job_, PAPPL_LOGLEVEL_DEBUG, "Ghostscript: %s", printable(line).c_str());
  }

 private:
  pappl_job_t* job_;
  pappl_device_t* device_;
};

struct OptionsDeleter {
  void operator()(pappl_pr_options_t* o) const { papplJobDeletePrintOptions(o); }
};

// The rasterizer run of the filter for the job's settings, with what the
// filter leaves to CUPS: the pages of page-ranges, and copies, which go to
// the printer as page copies as those of a raster document do. A PDF with
// errors fails rather than printing what Ghostscript could make of it.
RasterJob rasterJobFor(const JobPlan& plan, const pappl_pr_options_t& options, bool pdf, int document,
                       Logger& log) {
  const JobSettings& s = plan.settings;
  const RasterArgs raster = rasterArgsFor(plan.rasterSize, s.resolution, log);
  RasterJob gs;
  gs.program = kRasterizerPath;
  gs.args = ghostscriptArgs(s.colorFlag, raster, duplexModeFor(s.duplex), plan.mediaPosition);
  std::vector<std::string> more;
  if (pdf) more.push_back("-dPDFSTOPONERROR");
  if (options.first_page > 1) more.push_back("-dFirstPage=" + std::to_string(options.first_page));
  if (options.last_page < static_cast<unsigned>(INT_MAX))
    more.push_back("-dLastPage=" + std::to_string(options.last_page));
  if (plan.page.copies > 1) more.push_back("-dNumCopies=" + std::to_string(plan.page.copies));
  gs.args.insert(gs.args.begin(), more.begin(), more.end());
  gs.inputFd = document;
  gs.expectedHead = rasterizerHead(s.colorFlag, raster.resolution);
  return gs;
}

// Logs why a run did not print the whole document and marks the job.
void reportEnd(pappl_job_t* job, const RasterOutcome& o) {
  const int v = o.value;
  pappl_jreason_t reason = PAPPL_JREASON_ABORTED_BY_SYSTEM;
  switch (o.end) {
    case RasterEnd::kDone:
    case RasterEnd::kCancelled:
      return;
    case RasterEnd::kSinkStopped:
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The printer could not be written to.");
      break;
    case RasterEnd::kPipeFailed:
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "No pipe to Ghostscript: %s", std::strerror(v));
      break;
    case RasterEnd::kStartFailed:
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Ghostscript (%s) could not be started: %s", kRasterizerPath,
                  std::strerror(v));
      break;
    case RasterEnd::kForeignHead:
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR,
                  "Ghostscript's output does not start with the PJL head this driver replaces.");
      break;
    case RasterEnd::kFailed:
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Ghostscript failed with exit code %d.", v);
      reason = PAPPL_JREASON_DOCUMENT_FORMAT_ERROR;
      break;
    case RasterEnd::kKilled:
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Ghostscript was killed by signal %d.", v);
      break;
    case RasterEnd::kWaitFailed:
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Ghostscript's end is unknown: %s", std::strerror(v));
      break;
  }
  papplJobSetReasons(job, reason, PAPPL_JREASON_NONE);
}

bool printDocument(pappl_job_t* job, pappl_device_t* device, void*) {
  const std::unique_ptr<pappl_pr_options_t, OptionsDeleter> options(papplJobCreatePrintOptions(job, 0, true));
  const char* file = papplJobGetFilename(job);
  const UniqueFd document(file ? ::open(file, O_RDONLY | O_CLOEXEC) : -1);
  if (!options || !document) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The document cannot be read: %s", std::strerror(errno));
    return false;
  }
  JobPlan plan = planFor(job, options.get());
  if (!beginPrinterJob(job, device, plan)) {
    // A job canceled while it waited for the printer still tells the
    // printer so, as the network filter does.
    if (papplJobIsCanceled(job)) endPrinterJob(job, device, false);
    return false;
  }

  const char* format = papplJobGetFormat(job);
  const bool pdf = format && std::strcmp(format, "application/pdf") == 0;
  RasterOutcome outcome;
  {
    JobLogger log(job);
    CancelWatch cancel(job);
    Rasterizer gs(rasterJobFor(plan, *options, pdf, document.get(), log));
    DeviceSink sink(job, device);
    outcome = gs.run(sink, cancel.fd());
    gs.stop();  // a canceled run ends Ghostscript here
  }
  if (!papplJobIsCanceled(job)) reportEnd(job, outcome);
  const bool printed = outcome.end == RasterEnd::kDone;
  return endPrinterJob(job, device, printed) && printed;
}

}  // namespace

const std::vector<DocumentPath>& documentPaths() {
  static const std::vector<DocumentPath> kPaths = {
      {"application/pdf", printDocument},
      {"application/postscript", printDocument},
  };
  return kPaths;
}

}  // namespace hrv::app

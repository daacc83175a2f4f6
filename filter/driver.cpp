#include "driver.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <cups/cups.h>

#include "cancel.h"
#include "channels.h"
#include "config.h"
#include "drainpolicy.h"
#include "jobfiles.h"
#include "lockreply.h"
#include "log.h"
#include "pjl.h"
#include "ppdoptions.h"
#include "psscan.h"
#include "raster.h"
#include "rasterizer.h"
#include "settings.h"
#include "timetext.h"
#include "unique_fd.h"

namespace hrv {

const Variant& usbVariant() {
  static const Variant v{false,     kUsbPrinterInfo,   kUsbPrinterState,     kUsbPrintLog,
                         kUsbQueue, kDrainPerBlockUsb, kDrainAfterTrailerUsb};
  return v;
}

const Variant& networkVariant() {
  static const Variant v{
      true, kNetPrinterInfo, nullptr, kNetPrintLog, kNetQueue, kDrainPerBlockNet, kDrainAfterTrailerNet};
  return v;
}

namespace {

constexpr char kPasswdReason[] =
    "输入数字密码无效，请在电脑端打印队列中取消任务，并重新设置四位密码，重新打印";

// A job that was not printed ends with this status, so that the scheduler
// applies the queue's error policy instead of recording a printed job.
constexpr int kExitNotPrinted = 1;

// Drain failures in a row (eleven) cancel the job with this number.
constexpr int kCancelByDrains = 14;

// One job's run: what its phases, its cancel path and its failure path need.
struct Job {
  const Variant& variant;
  Logger& log;
  std::string printerName;
  std::string jobId;
  std::string user;
  std::string title;
  std::string copiesText;
  Rasterizer* rasterizer = nullptr;  // while Ghostscript runs
};

int decimalInt(const std::string& text) {
  errno = 0;
  long v = std::strtol(text.c_str(), nullptr, 10);
  if (v > INT_MAX || v < INT_MIN) return 0;
  return static_cast<int>(v);
}

void plainPause(unsigned microseconds) {
  usleep(microseconds);
}

// ---- Writing to the backend ----------------------------------------------

enum class Sent { kAll, kCancelled, kFailed };

// Standard output is non-blocking while the filter writes to it (so that
// a wait for it can end), and as it was otherwise.
class NonBlockingStdout {
 public:
  NonBlockingStdout() : flags_(fcntl(STDOUT_FILENO, F_GETFL)) {
    if (flags_ >= 0 && !(flags_ & O_NONBLOCK)) fcntl(STDOUT_FILENO, F_SETFL, flags_ | O_NONBLOCK);
  }
  ~NonBlockingStdout() {
    if (flags_ >= 0 && !(flags_ & O_NONBLOCK)) fcntl(STDOUT_FILENO, F_SETFL, flags_);
  }
  NonBlockingStdout(const NonBlockingStdout&) = delete;
  NonBlockingStdout& operator=(const NonBlockingStdout&) = delete;

 private:
  int flags_;
};

// Writes all of `data` to the backend (standard output) unless the backend
// fails, a cancel comes (when `cancelFd` >= 0) or `timeoutMs` (when >= 0)
// passes; *err says why it failed.
Sent writeToBackend(std::string_view data, int cancelFd, int timeoutMs = -1, int* err = nullptr) {
  NonBlockingStdout nonBlocking;
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  auto elapsedMs = [&start] {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
  };
  int error = 0;
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, data.data() + done, data.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EINTR && errno != EAGAIN) {
      error = errno;
      break;
    }
    // The backend is not taking data just now.
    const int left = timeoutMs < 0 ? -1 : static_cast<int>(std::max<long>(0, timeoutMs - elapsedMs()));
    bool cancelled = false;
    const int ready = waitFd(STDOUT_FILENO, POLLOUT, left, cancelFd, &cancelled);
    if (cancelled) return Sent::kCancelled;
    if (ready < 0) {
      error = EBADF;
      break;
    }
    if (ready == 0) {
      error = ETIMEDOUT;
      break;
    }
  }
  if (done == data.size()) return Sent::kAll;
  if (err) *err = error;
  return Sent::kFailed;
}

// ---- How a job ends other than printed ------------------------------------

// Ends a cancelled job: cancel sequence to the printer, end-of-job state and
// log line, a cancel request to the scheduler. Never returns.
[[noreturn]] void cancelJob(Job& job, int number) {
  const Variant& v = job.variant;
  Logger& log = job.log;
  // A cancelled job is not worth rendering further.
  if (job.rasterizer) job.rasterizer->terminate();

  log.printf("DEBUG:%scancel job=%d;\n", kTag, number);
  // A backend that no longer reads must not hold the cancel up.
  if (writeToBackend(kPjlCancel, -1, static_cast<int>(kCancelSendTimeout * 1000)) != Sent::kAll)
    log.printf("DEBUG:%scancel sequence not sent: the backend does not take data\n", kTag);
  char data[512];
  int len = 512;
  const int status = sideChannelRequest(kScCmdDrainOutput, data, &len, kDrainCancel, -1).value;
  auto cancelText = [&] { log.printf("DEBUG:%s打印任务被用户取消\n", kTag); };
  if (!v.network) {
    log.printf("DEBUG:%sstatus=%d;\n", kTag, status);
    cancelText();
    log.printf("STATE: -%s\n", kPasswdReason);
    log.write("INFO:空闲\n");
    writePrinterState(v.printerStatePath, kStateReady, log, plainPause);
    appendToLog(v.printLogPath, kLogJobCancelled, log, plainPause);
  } else {
    cancelText();
    log.printf("STATE: -%s\n", kPasswdReason);
    log.write("INFO:空闲\n");
    log.printf("DEBUG:%sstatus=%d;\n", kTag, status);
    appendToLog(v.printLogPath, kLogJobCancelled, log, plainPause);
    cancelText();
  }
  int result = cupsCancelJob(job.printerName.c_str(), decimalInt(job.jobId));
  log.printf("%scupsCancelJob int = %d\n", kTag, result);
  log.printf("%scupsCancelJoblasterror = %s\n", kTag, printable(cupsLastErrorString()).c_str());

  // Leave no rasterizer behind.
  if (job.rasterizer) job.rasterizer->stop();
  std::exit(0);
}

// Ends a job that could not be printed (the rasterizer or the backend
// failed): the job stays with the scheduler, which applies the queue's error
// policy. Never returns.
[[noreturn]] void failJob(Job& job, const std::string& what) {
  const Variant& v = job.variant;
  if (job.rasterizer) job.rasterizer->stop();
  if (v.printerStatePath) writePrinterState(v.printerStatePath, kStateReady, job.log, plainPause);
  appendToLog(v.printLogPath, kLogJobFailed, job.log, plainPause);
  job.log.printf("STATE: -%s\n", kPasswdReason);
  job.log.printf("ERROR:%s %s; the job was not printed\n", kTag, what.c_str());
  std::exit(kExitNotPrinted);
}

std::string backendGone(int err) {
  return std::string("the backend stopped taking data (") + std::strerror(err) + ")";
}

// The safe point of the cancel signals.
void cancelIfSignalled(Job& job) {
  if (CancelSignal::pending()) cancelJob(job, CancelSignal::signalNumber());
}

void sleepMsOrCancel(Job& job, long long ms) {
  if (CancelSignal::sleepMs(ms)) cancelIfSignalled(job);
}

// Job file retries wake on a cancel.
RetryPause retryPause(Job& job) {
  return [&job](unsigned microseconds) { sleepMsOrCancel(job, (microseconds + 999) / 1000); };
}

// Sends bytes of the job's stream; a cancel or a failed backend ends the job.
void sendOrEnd(Job& job, std::string_view data) {
  int err = 0;
  switch (writeToBackend(data, CancelSignal::fd(), -1, &err)) {
    case Sent::kAll:
      return;
    case Sent::kCancelled:
      cancelJob(job, CancelSignal::signalNumber());
    case Sent::kFailed:
      failJob(job, backendGone(err));
  }
}

// ---- Phases of a job, in their order --------------------------------------

struct JobStart {
  TimeTexts times;
  std::string hostName;
};

// One clock reading for every time text, the host name, the start lines.
JobStart startOfJob(Logger& log, const char* filterName) {
  timeval tv{};
  struct timezone tz {};
  gettimeofday(&tv, &tz);
  std::time_t now = tv.tv_sec;
  std::tm local{};
  localtime_r(&now, &local);
  JobStart start{formatTimeTexts(local), "localhost.localdomain"};

  utsname uts{};
  if (uname(&uts) == 0)
    start.hostName = uts.nodename;
  else
    log.printf("DEBUG:%s get uname error", kTag);

  char ctimeText[64] = {};
  ctime_r(&now, ctimeText);
  log.printf("DEBUG:%s**********************************************************\n", kTag);
  log.printf("DEBUG:%sstart filter:%s\n", kTag, filterName);
  log.printf("DEBUG:%sStartTime:%s\n", kTag, ctimeText);
  log.printf("DEBUG:%stv_sec:%d\n", kTag, static_cast<int>(tv.tv_sec));
  log.printf("DEBUG:%stv_usec:%d\n", kTag, static_cast<int>(tv.tv_usec));
  log.printf("DEBUG:%stz_minuteswest:%d\n", kTag, tz.tz_minuteswest);
  log.printf("DEBUG:%stz_dsttime:%d\n", kTag, tz.tz_dsttime);
  log.printf("DEBUG:%sJobPrintLogTime: %s\n", kTag, start.times.logItem.c_str());
  log.printf("DEBUG:%sJobStartTime: %s\n", kTag, start.times.jobTime.c_str());
  return start;
}

// A refused secure-print password: the reason for the queue, the state for
// the USB monitor, a long wait (a cancel ends it), status 1.
int refusePassword(Job& job) {
  Logger& log = job.log;
  log.printf("DEBUG:%ssecurityPasswd set False\n", kTag);
  log.printf("STATE: +%s\n", kPasswdReason);
  if (job.variant.printerStatePath)
    writePrinterState(job.variant.printerStatePath, kStatePasswdError, log, retryPause(job));
  sleepMsOrCancel(job, static_cast<long long>(kRefusedPasswordWaitSeconds) * 1000);
  return 1;
}

// Inspects the spooled job and appends its record to print_log, only when the
// log opens; without it no size is detected.
Inspection recordJob(Job& job, const JobSettings& s, const JobStart& start) {
  const Variant& v = job.variant;
  Logger& log = job.log;
  Inspection inspection;
  FilePtr logFile = openWithRetry(v.printLogPath, "a+", OpenLogStyle::JobFile, log, retryPause(job));
  if (!logFile) return inspection;
  inspection = getPageCount(kSpoolDir, job.jobId, log, [] { return CancelSignal::pending(); });
  // A cancel during the inspection leaves no record of a half-read job.
  cancelIfSignalled(job);
  LogRecord rec;
  rec.queueLabel = v.queueLabel;
  rec.date = start.times.logDate;
  rec.jobId = job.jobId;
  rec.user = job.user;
  rec.title = job.title;
  rec.copies = std::max(decimalInt(job.copiesText), inspection.copies);
  rec.pages = inspection.pages;
  log.printf("DEBUG:%sresolution=%s\n", kTag, s.resolution.c_str());
  log.printf("DEBUG:%spaperSize=%s\n", kTag, s.pageSize.c_str());
  log.printf("DEBUG:%spaperTray=%s\n", kTag, s.inputSlot.c_str());
  log.printf("DEBUG:%spaperType=%s\n", kTag, s.mediaType.c_str());
  log.printf("DEBUG:%sDuplex=%s\n", kTag, s.duplex.c_str());
  const std::string record = logRecordText(rec, s);
  std::fwrite(record.data(), 1, record.size(), logFile.get());
  return inspection;
}

struct RasterPlan {
  RasterJob job;
  std::string resolutionArg;
  Header header;
};

// The rasterizer's arguments and head from the detected size, the duplex
// mode and the resolution; then the PJL job header.
RasterPlan planRaster(Job& job, const JobSettings& s, const Inspection& inspection, const JobStart& start) {
  const std::string rasterSize = inspection.paperSize.empty() ? "NULL" : inspection.paperSize;
  const RasterArgs raster = rasterArgsFor(rasterSize, s.resolution, job.log);
  RasterPlan plan;
  plan.header =
      buildPjlHeader(HeaderInput{s, job.user, job.title, start.hostName, start.times, rasterSize}, job.log);
  plan.resolutionArg = raster.resolution;
  plan.job.program = kRasterizerPath;
  plan.job.args = ghostscriptArgs(s.colorFlag, raster, duplexModeFor(s.duplex), plan.header.mediaPosition);
  plan.job.inputFd = STDIN_FILENO;
  plan.job.expectedHead = rasterizerHead(s.colorFlag, raster.resolution);
  return plan;
}

// One lock check attempt: 0 ready, 1 busy, 2 no answer.
int checkLockPrinter(Job& job) {
  Logger& log = job.log;
  static char buffer[10240];
  const size_t kReadMax = sizeof buffer - 1;  // keeps the reply terminated

  sendOrEnd(job, "LockPrinter?");
  log.printf("%s DEBUG: LockPrinter?\n", kTag);
  int len = sizeof buffer;
  ChannelResult d = sideChannelRequest(kScCmdDrainOutput, buffer, &len, kLockDrain, CancelSignal::fd());
  if (d.cancelled) cancelIfSignalled(job);
  log.printf("%s DEBUG: LockPrinter?_status= %d\n", kTag, d.value);

  auto logReceived = [&](int bytes) {
    log.printf("%s DEBUG: LockPrinter? receive bytes = %d recevied data= %s\n", kTag, bytes,
               printable(buffer).c_str());
  };
  int code = kLockNoAnswer;
  for (;;) {
    std::memset(buffer, 0, sizeof buffer);
    ChannelResult r = backChannelRead(buffer, kReadMax, kLockRead, CancelSignal::fd());
    if (r.cancelled) cancelIfSignalled(job);
    logReceived(r.value);
    if (r.value <= 3) {
      code = kLockNoAnswer;
      log.printf("%s DEBUG: LockPrinter can not receive data from printer\n", kTag);
      size_t used = r.value > 0 ? static_cast<size_t>(r.value) : 0;
      for (int again = 0; again < 3; ++again) {
        log.printf("%s DEBUG: LockPrinter can not read a thing then read again\n", kTag);
        // A re-read adds to what came before, within the space left.
        r = backChannelRead(buffer + used, kReadMax - used, kLockRead, CancelSignal::fd());
        if (r.cancelled) cancelIfSignalled(job);
        logReceived(r.value);
        if (r.value > 0) used += static_cast<size_t>(r.value);
        if (r.value > 1) break;
      }
    }
    code = scanLockReply(buffer, code, log);
    if (code == 1) return 0;
    log.printf("%s DEBUG: (LockPrinter?)OPL_Response_NumTmp!!!=%d\n", kTag, code);
    if (code == 2 || code == kLockNoAnswer) break;
    log.printf("%s DEBUG: (LockPrinter?)OPL_Response_Num!!!!=%d\n", kTag, kLockNoAnswer);
  }
  log.printf("%s DEBUG: LockPrinter receives 0xff 2 1 printer busy or ok\n", kTag);
  log.printf("%s DEBUG: OPL_Response_Num = %d\n", kTag, code);
  return code == 2 ? 1 : 2;
}

// Asks until the network printer answers ready; only a cancel (or a backend
// that went away) ends the wait otherwise.
void waitForPrinterLock(Job& job) {
  for (;;) {
    int answer = checkLockPrinter(job);
    if (answer == 0) return;
    job.log.write(answer == 1 ? "INFO:打印机忙，请稍后\n" : "INFO:正在连接打印机，请稍后\n");
    sleepMsOrCancel(job, 1000);
  }
}

// The debug copy holds the whole job, secure-print PIN included: only the
// filter's user may read it. Whatever is planted at its path (a link, a
// FIFO, a device, someone else's file) is refused without blocking: opened
// non-blocking, checked, then used. The last job's copy is replaced by a new
// file, not truncated: ext4 hands a file truncated to zero to the disk when
// it is closed, and with a copy of a few hundred megabytes that would hold
// up the end of every job.
UniqueFd openDebugCopy(const char* path) {
  UniqueFd fd(::open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
  if (!fd) return fd;
  struct stat st {};
  bool ok = fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && st.st_nlink == 1;
  if (ok && st.st_size > 0) {
    ok = ::unlink(path) == 0;
    if (ok) fd.reset(::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
    ok = ok && fd;
  }
  if (!ok || fchmod(fd.get(), 0600) != 0 ||
      fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0) {
    const int err = errno ? errno : EPERM;
    fd.reset();
    errno = err;
  }
  return fd;
}

bool writeCopy(const UniqueFd& copy, std::string_view data) {
  for (ssize_t k; !data.empty() && (k = ::write(copy.get(), data.data(), data.size())) > 0;)
    data.remove_prefix(static_cast<size_t>(k));
  return data.empty();
}

// Where Ghostscript's blocks go: the backend, with the job header ahead of
// the first and a drain request after each, and the debug copy.
class BackendSink final : public RasterSink {
 public:
  enum class Stop { kNone, kCancelSignal, kDrainFailures, kBackendGone };

  BackendSink(Job& job, const RasterPlan& plan) : job_(job), plan_(plan), failures_(job.variant.network) {}

  Stop stop() const { return stop_; }
  int error() const { return error_; }

  void started() override {
    copy_ = openDebugCopy(kDebugCopyPath);
    if (copy_)
      job_.log.printf("%s DEBUG:Open Debug File=%s ok\n", kTag, kDebugCopyPath);
    else
      job_.log.printf("%s DEBUG:Can not Open Debug File=%s!!! errno=%d\n", kTag, kDebugCopyPath, errno);
    job_.log.printf("%s DEBUG:resolution = %s\n", kTag, plan_.resolutionArg.c_str());
  }

  void headRead(std::string_view head) override {
    job_.log.printf("%s DEBUG gs head: %s\n", kTag, printable(head).c_str());
  }

  // Ghostscript's messages, and whatever the document prints, as debug lines.
  void message(std::string_view line) override {
    job_.log.printf("DEBUG:%sgs: %s\n", kTag, printable(line).c_str());
  }

  bool block(const char* data, size_t size) override {
    Logger& log = job_.log;
    const Header& header = plan_.header;
    if (first_) {
      const bool sent = send(header.text);
      log.printf("%s DEBUG: send to printer head \n%s", kTag, header.logText.c_str());
      if (!sent) {
        if (stop_ == Stop::kBackendGone)
          log.printf("%s DEBUG: send to printer head error writecont != %d\n", kTag,
                     static_cast<int>(header.text.size()));
        return false;
      }
    }
    if (!send(std::string_view(data, size))) {
      if (stop_ == Stop::kBackendGone)
        log.printf("%s DEBUG: send to printer error writecont != bytes_read\n", kTag);
      return false;
    }

    char reply[512];
    int len = 1;
    ChannelResult d =
        sideChannelRequest(kScCmdDrainOutput, reply, &len, job_.variant.drainPerBlock, CancelSignal::fd());
    if (d.cancelled) return stopFor(Stop::kCancelSignal);
    log.printf("%s DEBUG: send to printer  status = %d\n", kTag, d.value);
    if (d.value != kScOk) log.printf("%s DEBUG: send to printer error status = %d\n", kTag, d.value);
    switch (failures_.record(d.value)) {
      case DrainFailures::Action::kCancel:
        return stopFor(Stop::kDrainFailures);
      case DrainFailures::Action::kPauseThenGoOn:
        if (CancelSignal::sleepMs(500)) return stopFor(Stop::kCancelSignal);
        break;
      case DrainFailures::Action::kGoOn:
        break;
    }

    if (copy_) {
      if (first_) {
        const bool whole = writeCopy(copy_, header.text);
        log.printf("%s DEBUG: write to printer log head \n%s", kTag, header.logText.c_str());
        if (!whole)
          log.printf("%s DEBUG: send to printer head error writecont != %d\n", kTag,
                     static_cast<int>(header.text.size()));
      }
      writeCopy(copy_, std::string_view(data, size));
    }
    first_ = false;
    return true;
  }

 private:
  bool stopFor(Stop why) {
    stop_ = why;
    return false;
  }

  bool send(std::string_view bytes) {
    switch (writeToBackend(bytes, CancelSignal::fd(), -1, &error_)) {
      case Sent::kAll:
        return true;
      case Sent::kCancelled:
        return stopFor(Stop::kCancelSignal);
      case Sent::kFailed:
        break;
    }
    return stopFor(Stop::kBackendGone);
  }

  Job& job_;
  const RasterPlan& plan_;
  DrainFailures failures_;
  UniqueFd copy_;
  bool first_ = true;
  Stop stop_ = Stop::kNone;
  int error_ = 0;
};

// Judges the end of the rasterizer run; returns only for a printed job.
void judgeRasterizerEnd(Job& job, const RasterOutcome& o, const BackendSink& sink) {
  Logger& log = job.log;
  const int v = o.value;
  switch (o.end) {
    case RasterEnd::kDone:
      return;
    case RasterEnd::kCancelled:
      cancelJob(job, CancelSignal::signalNumber());
    case RasterEnd::kSinkStopped:
      if (sink.stop() == BackendSink::Stop::kDrainFailures) cancelJob(job, kCancelByDrains);
      if (sink.stop() == BackendSink::Stop::kCancelSignal) cancelJob(job, CancelSignal::signalNumber());
      failJob(job, backendGone(sink.error()));
    case RasterEnd::kPipeFailed:
      log.printf("Unable to create pipe to talk to pstopxl process. errno = %d (%s)\n", v, std::strerror(v));
      failJob(job, std::string("no pipe to the rasterizer (") + std::strerror(v) + ")");
    case RasterEnd::kStartFailed:
      log.printf("DEBUG:%sexecl() of pstopxl ('%s') failed, errno=%d (%s)\n", kTag, kRasterizerPath, v,
                 std::strerror(v));
      failJob(job, std::string("the rasterizer ") + kRasterizerPath + " could not be started (" +
                       std::strerror(v) + ")");
    case RasterEnd::kForeignHead:
      failJob(job, "the rasterizer's output does not start with the PJL head this driver replaces");
    case RasterEnd::kFailed:
      log.printf("DEBUG:%spstopxl failed.  Exit code=%d\n", kTag, v);
      failJob(job, "the rasterizer failed with exit code " + std::to_string(v));
    case RasterEnd::kKilled:
      log.printf("DEBUG:%spstopxl process died due to a signal %d.\n", kTag, v);
      failJob(job, "the rasterizer was killed by signal " + std::to_string(v));
    case RasterEnd::kWaitFailed:
      log.printf("DEBUG:%sWait for pstopxl process to terminated failed. errno = %d (%s)\n", kTag, v,
                 std::strerror(v));
      failJob(job, std::string("the rasterizer's end is unknown (") + std::strerror(v) + ")");
  }
  failJob(job, "the rasterizer run ended unexpectedly");
}

// Runs Ghostscript on the job and forwards its output; returns only when
// every block went out and Ghostscript ended with status 0.
void rasterizeAndForward(Job& job, const RasterPlan& plan) {
  Rasterizer gs(plan.job);
  BackendSink sink(job, plan);
  job.rasterizer = &gs;
  const RasterOutcome outcome = gs.run(sink, CancelSignal::fd());
  judgeRasterizerEnd(job, outcome, sink);
  job.rasterizer = nullptr;
}

// After the raster data: the backend drains what it holds, the trailer
// follows, and the last drain's status goes to the log.
void sendTrailer(Job& job) {
  char data[512];
  int len = 512;
  ChannelResult d =
      sideChannelRequest(kScCmdDrainOutput, data, &len, kDrainBeforeTrailer, CancelSignal::fd());
  if (d.cancelled) cancelIfSignalled(job);
  sendOrEnd(job, kPjlTrailer);
  len = 512;
  d = sideChannelRequest(kScCmdDrainOutput, data, &len, job.variant.drainAfterTrailer, CancelSignal::fd());
  if (d.cancelled) cancelIfSignalled(job);
  // Twice on purpose: a finished job's log has always carried this line twice.
  for (int i = 0; i < 2; ++i) job.log.printf("DEBUG:%sstatus=%d;\n", kTag, d.value);
  // A cancel that came during the last drain still ends the job as cancelled.
  cancelIfSignalled(job);
}

// A printed job: end state, end line, the password reason cleared, idle.
void finishJob(Job& job) {
  const Variant& v = job.variant;
  if (v.printerStatePath) writePrinterState(v.printerStatePath, kStateReady, job.log, retryPause(job));
  appendToLog(v.printLogPath, kLogJobDone, job.log, retryPause(job));
  job.log.printf("STATE: -%s\n", kPasswdReason);
  job.log.write("INFO:空闲\n");
}

}  // namespace

int runFilter(int argc, char** argv, const Variant& v) {
  if (argc < 6) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n",
                 argc > 0 ? argv[0] : "pstopxl");
    return 1;
  }
  StderrLogger log;
  // Without standard output there is no backend: the first descriptor opened
  // would take its place and the job would print into it.
  if (fcntl(STDOUT_FILENO, F_GETFD) < 0) {
    log.printf("ERROR:%s no backend on standard output; the job was not printed\n", kTag);
    return kExitNotPrinted;
  }
  CancelSignal::install(v.network);
  Job job{v, log, argv[0], argv[1], argv[2], argv[3], argv[4]};
  const JobStart start = startOfJob(log, argv[0]);

  const char* options = argv[5];
  if (options && !optionsParse(options)) {
    log.printf("DEBUG:%sillegal option.return 0\n", kTag);
    return 0;
  }
  MarkedPpd ppd(std::getenv("PPD"), options, log);
  const SettingsResult read = readJobSettings(ppd.lookup(), log);
  cancelIfSignalled(job);
  if (read.passwordRefused) return refusePassword(job);
  const JobSettings& s = read.settings;

  writePrinterInfo(v.printerInfoPath, s, log, retryPause(job));
  cancelIfSignalled(job);
  const Inspection inspection = recordJob(job, s, start);
  cancelIfSignalled(job);
  // The USB monitor now shows the job as printing.
  if (v.printerStatePath) writePrinterState(v.printerStatePath, kStatePrinting, log, retryPause(job));

  const RasterPlan plan = planRaster(job, s, inspection, start);
  cancelIfSignalled(job);
  if (v.network) waitForPrinterLock(job);

  log.write("INFO:打印机正在打印\n");
  rasterizeAndForward(job, plan);
  sendTrailer(job);
  finishJob(job);
  return 0;
}

}  // namespace hrv

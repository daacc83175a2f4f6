#include "driver.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

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
#include "settings.h"
#include "timetext.h"

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

constexpr size_t kBlockSize = 262144;

// What the cancel path needs to know about the job.
struct JobContext {
  const Variant* variant = nullptr;
  std::string printerName;
  std::string jobId;
  pid_t rasterizer = 0;  // the running Ghostscript child, if any
};

JobContext gJob;
StderrLogger gLog;

int decimalInt(const std::string& text) {
  errno = 0;
  long v = std::strtol(text.c_str(), nullptr, 10);
  if (v > INT_MAX || v < INT_MIN) return 0;
  return static_cast<int>(v);
}

void setBlocking(int fd, bool blocking) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return;
  fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
}

void writeStdout(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

// Waits up to `ms` for the child to end; true when it was reaped.
bool reapWithin(pid_t pid, int ms) {
  for (int waited = 0;; waited += 10) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return true;
    if (waited >= ms) return false;
    usleep(10000);
  }
}

}  // namespace

// Ends a cancelled job: cancel sequence to the printer, end-of-job state and
// log line, a cancel request to the scheduler. Never returns.
[[noreturn]] void cancelJob(int number) {
  const Variant& v = *gJob.variant;
  Logger& log = gLog;
  // From here on nothing interrupts the cancel path.
  CancelSignal::ignoreSigpipe();
  // A cancelled job is not worth rendering further.
  if (gJob.rasterizer > 0) kill(gJob.rasterizer, SIGTERM);
  setBlocking(STDOUT_FILENO, true);

  auto sleepUs = [](unsigned us) { usleep(us); };
  log.printf("DEBUG:%scancel job=%d;\n", kTag, number);
  writeStdout(kPjlCancel);
  char data[512];
  int len = 512;
  const int status = sideChannelRequest(kScCmdDrainOutput, data, &len, kDrainCancel, -1).value;
  auto cancelText = [&] { log.printf("DEBUG:%s打印任务被用户取消\n", kTag); };
  if (!v.network) {
    log.printf("DEBUG:%sstatus=%d;\n", kTag, status);
    cancelText();
    log.printf("STATE: -%s\n", kPasswdReason);
    log.write("INFO:空闲\n");
    writePrinterState(v.printerStatePath, kStateReady, log, sleepUs);
    appendToLog(v.printLogPath, kLogJobCancelled, log, sleepUs);
  } else {
    cancelText();
    log.printf("STATE: -%s\n", kPasswdReason);
    log.write("INFO:空闲\n");
    log.printf("DEBUG:%sstatus=%d;\n", kTag, status);
    appendToLog(v.printLogPath, kLogJobCancelled, log, sleepUs);
    cancelText();
  }
  int result = cupsCancelJob(gJob.printerName.c_str(), decimalInt(gJob.jobId));
  log.printf("%scupsCancelJob int = %d\n", kTag, result);
  log.printf("%scupsCancelJoblasterror = %s\n", kTag, cupsLastErrorString());

  // Leave no rasterizer behind.
  if (gJob.rasterizer > 0 && !reapWithin(gJob.rasterizer, 2000)) {
    kill(gJob.rasterizer, SIGKILL);
    reapWithin(gJob.rasterizer, 2000);
  }
  std::exit(0);
}

namespace {

// The safe point of the cancel signals.
void cancelIfSignalled() {
  if (CancelSignal::pending()) cancelJob(CancelSignal::signalNumber());
}

void sleepMsOrCancel(long long ms) {
  if (CancelSignal::sleepMs(ms)) cancelIfSignalled();
}

void pauseRetry(unsigned microseconds) {
  sleepMsOrCancel((microseconds + 999) / 1000);
}

// Reads until `size` bytes or the end of the input, like one buffered read.
size_t readFull(int fd, char* buf, size_t size) {
  size_t got = 0;
  while (got < size) {
    bool cancelled = false;
    waitFd(fd, POLLIN, -1, CancelSignal::fd(), &cancelled);
    if (cancelled) cancelIfSignalled();
    ssize_t n = ::read(fd, buf + got, size - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR && errno != EAGAIN) {
      break;
    }
    cancelIfSignalled();
  }
  return got;
}

// Writes everything unless the output fails; returns the bytes written.
size_t writeFull(int fd, const char* buf, size_t size) {
  size_t done = 0;
  while (done < size) {
    bool cancelled = false;
    waitFd(fd, POLLOUT, -1, CancelSignal::fd(), &cancelled);
    if (cancelled) cancelIfSignalled();
    ssize_t n = ::write(fd, buf + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      break;
    }
    cancelIfSignalled();
  }
  return done;
}

// The debug copy holds the whole job, secure-print PIN included: only the
// filter's user may read it, and a link planted at its path is not followed.
int openDebugCopy(const char* path) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1 ||
      fchmod(fd, 0600) != 0 || ftruncate(fd, 0) != 0) {
    int err = errno ? errno : EPERM;
    ::close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

// One lock check attempt: 0 ready, 1 busy, 2 no answer.
int checkLockPrinter(Logger& log) {
  static char buffer[10240];
  const size_t kReadMax = sizeof buffer - 1;  // keeps the reply terminated

  writeFull(STDOUT_FILENO, "LockPrinter?", 12);
  log.printf("%s DEBUG: LockPrinter?\n", kTag);
  int len = sizeof buffer;
  ChannelResult d = sideChannelRequest(kScCmdDrainOutput, buffer, &len, kLockDrain, CancelSignal::fd());
  if (d.cancelled) cancelIfSignalled();
  log.printf("%s DEBUG: LockPrinter?_status= %d\n", kTag, d.value);

  int code = kLockNoAnswer;
  for (;;) {
    std::memset(buffer, 0, sizeof buffer);
    ChannelResult r = backChannelRead(buffer, kReadMax, kLockRead, CancelSignal::fd());
    if (r.cancelled) cancelIfSignalled();
    log.printf("%s DEBUG: LockPrinter? receive bytes = %d recevied data= %s\n", kTag, r.value, buffer);
    if (r.value <= 3) {
      code = kLockNoAnswer;
      log.printf("%s DEBUG: LockPrinter can not receive data from printer\n", kTag);
      size_t used = r.value > 0 ? static_cast<size_t>(r.value) : 0;
      for (int again = 0; again < 3; ++again) {
        log.printf("%s DEBUG: LockPrinter can not read a thing then read again\n", kTag);
        // A re-read adds to what came before, within the space left.
        r = backChannelRead(buffer + used, kReadMax - used, kLockRead, CancelSignal::fd());
        if (r.cancelled) cancelIfSignalled();
        log.printf("%s DEBUG: LockPrinter? receive bytes = %d recevied data= %s\n", kTag, r.value, buffer);
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

// Asks until the printer answers ready; only a cancel ends the wait otherwise.
void lockWait(Logger& log) {
  for (;;) {
    int answer = checkLockPrinter(log);
    if (answer == 0) return;
    log.write(answer == 1 ? "INFO:打印机忙，请稍后\n" : "INFO:正在连接打印机，请稍后\n");
    sleepMsOrCancel(1000);
  }
}

// Runs Ghostscript on the job and forwards its output: the job header ahead
// of the first block, a drain request after every block. Returns only when
// Ghostscript ended with status 0.
void rasterizeAndForward(const RasterArgs& raster, int duplexMode, const Header& header, int colorFlag,
                         Logger& log) {
  const Variant& v = *gJob.variant;
  int fds[2];
  if (pipe(fds) != 0) {
    int err = errno;
    log.printf("Unable to create pipe to talk to pstopxl process. errno = %d (%s)\n", err,
               std::strerror(err));
    std::exit(0);
  }
  const std::vector<std::string> args = ghostscriptArgs(colorFlag, raster, duplexMode, header.mediaPosition);
  std::vector<char*> argv;
  std::string argv0 = "gs";
  argv.push_back(argv0.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) {
    int err = errno;
    log.printf("Unable to fork a pstopxl process. errno=%d (%s)\n", err, std::strerror(err));
    std::exit(0);
  }
  if (pid == 0) {
    // Ghostscript reads the job from our standard input and writes PCL XL
    // into the pipe; its messages go to the scheduler's log.
    ::close(STDOUT_FILENO);
    dup2(fds[1], STDOUT_FILENO);
    ::close(fds[1]);
    ::close(fds[0]);
    signal(SIGPIPE, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    execv(kRasterizerPath, argv.data());
    int err = errno;
    std::fprintf(stderr, "DEBUG:%sexecl() of pstopxl ('%s') failed, errno=%d (%s)\n", kTag, kRasterizerPath,
                 err, std::strerror(err));
    // Not 0: a rasterizer that never ran must not pass for a printed job.
    _exit(127);
  }
  gJob.rasterizer = pid;
  ::close(STDIN_FILENO);
  dup2(fds[0], STDIN_FILENO);
  ::close(fds[0]);
  ::close(fds[1]);
  setBlocking(STDOUT_FILENO, false);

  int copy = openDebugCopy(kDebugCopyPath);
  if (copy >= 0)
    log.printf("%s DEBUG:Open Debug File=%s ok\n", kTag, kDebugCopyPath);
  else
    log.printf("%s DEBUG:Can not Open Debug File=%s!!! errno=%d\n", kTag, kDebugCopyPath, errno);
  log.printf("%s DEBUG:resolution = %s\n", kTag, raster.resolution.c_str());

  const int headLength = rasterizerHeadLength(colorFlag, raster.resolution);
  char head[64];
  size_t headRead = readFull(STDIN_FILENO, head, static_cast<size_t>(headLength));
  log.printf("%s DEBUG gs head: %.*s\n", kTag, static_cast<int>(headRead), head);

  static char block[kBlockSize];
  bool first = true;
  DrainFailures failures(v.network);
  for (;;) {
    size_t n = readFull(STDIN_FILENO, block, sizeof block);
    if (n == 0) break;
    if (first) {
      size_t w = writeFull(STDOUT_FILENO, header.text.data(), header.text.size());
      log.printf("%s DEBUG: send to printer head \n%s", kTag, header.text.c_str());
      if (w < header.text.size())
        log.printf("%s DEBUG: send to printer head error writecont != %d\n", kTag,
                   static_cast<int>(header.text.size()));
    }
    if (writeFull(STDOUT_FILENO, block, n) < n)
      log.printf("%s DEBUG: send to printer error writecont != bytes_read\n", kTag);

    char data[512];
    int len = 1;
    ChannelResult d = sideChannelRequest(kScCmdDrainOutput, data, &len, v.drainPerBlock, CancelSignal::fd());
    if (d.cancelled) cancelIfSignalled();
    log.printf("%s DEBUG: send to printer  status = %d\n", kTag, d.value);
    if (d.value != kScOk) log.printf("%s DEBUG: send to printer error status = %d\n", kTag, d.value);
    switch (failures.record(d.value)) {
      case DrainFailures::Action::kCancel:
        cancelJob(14);
      case DrainFailures::Action::kPauseThenGoOn:
        sleepMsOrCancel(500);
        break;
      case DrainFailures::Action::kGoOn:
        break;
    }

    if (copy >= 0) {
      if (first) {
        size_t w = 0;
        for (ssize_t k; w < header.text.size() &&
                        (k = ::write(copy, header.text.data() + w, header.text.size() - w)) > 0;)
          w += static_cast<size_t>(k);
        log.printf("%s DEBUG: write to printer log head \n%s", kTag, header.text.c_str());
        if (w < header.text.size())
          log.printf("%s DEBUG: send to printer head error writecont != %d\n", kTag,
                     static_cast<int>(header.text.size()));
      }
      size_t w = 0;
      for (ssize_t k; w < n && (k = ::write(copy, block + w, n - w)) > 0;) w += static_cast<size_t>(k);
    }
    first = false;
  }

  if (copy >= 0) ::close(copy);
  setBlocking(STDOUT_FILENO, true);
  CancelSignal::ignoreSigpipe();

  int status = 0;
  pid_t r;
  for (;;) {
    r = waitpid(pid, &status, WNOHANG);
    if (r != 0) break;
    sleepMsOrCancel(10);
  }
  if (r < 0) {
    int err = errno;
    log.printf("DEBUG:%sWait for pstopxl process to terminated failed. errno = %d (%s)\n", kTag, err,
               std::strerror(err));
    std::exit(0);
  }
  gJob.rasterizer = 0;
  ::close(STDIN_FILENO);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
  if (WIFEXITED(status)) {
    log.printf("DEBUG:%spstopxl failed.  Exit code=%d\n", kTag, WEXITSTATUS(status));
  } else {
    log.printf("DEBUG:%spstopxl process died due to a signal %d.\n", kTag, WTERMSIG(status));
  }
  std::exit(0);
}

}  // namespace

int runFilter(int argc, char** argv, const Variant& v) {
  Logger& log = gLog;
  if (argc < 6) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n",
                 argc > 0 ? argv[0] : "pstopxl");
    return 1;
  }

  // 1-2: fixed paths are in config.h; cancel signals to the self-pipe.
  gJob.variant = &v;
  CancelSignal::install(v.network);

  // 3: one clock reading for every time text.
  timeval tv{};
  struct timezone tz {};
  gettimeofday(&tv, &tz);
  std::time_t now = tv.tv_sec;
  std::tm local{};
  localtime_r(&now, &local);
  const TimeTexts times = formatTimeTexts(local);

  // 4: host name.
  std::string hostName = "localhost.localdomain";
  utsname uts{};
  if (uname(&uts) == 0)
    hostName = uts.nodename;
  else
    log.printf("DEBUG:%s get uname error", kTag);

  // 5: start-of-job lines.
  char ctimeText[64] = {};
  ctime_r(&now, ctimeText);
  log.printf("DEBUG:%s**********************************************************\n", kTag);
  log.printf("DEBUG:%sstart filter:%s\n", kTag, argv[0]);
  log.printf("DEBUG:%sStartTime:%s\n", kTag, ctimeText);
  log.printf("DEBUG:%stv_sec:%d\n", kTag, static_cast<int>(tv.tv_sec));
  log.printf("DEBUG:%stv_usec:%d\n", kTag, static_cast<int>(tv.tv_usec));
  log.printf("DEBUG:%stz_minuteswest:%d\n", kTag, tz.tz_minuteswest);
  log.printf("DEBUG:%stz_dsttime:%d\n", kTag, tz.tz_dsttime);
  log.printf("DEBUG:%sJobPrintLogTime: %s\n", kTag, times.logItem.c_str());
  log.printf("DEBUG:%sJobStartTime: %s\n", kTag, times.jobTime.c_str());

  // 6: the job's arguments.
  gJob.printerName = argv[0];
  gJob.jobId = argv[1];
  const std::string user = argv[2];
  const std::string title = argv[3];
  const std::string copiesText = argv[4];
  const char* options = argv[5];

  // 7: option check.
  if (options && !optionsParse(options)) {
    log.printf("DEBUG:%sillegal option.return 0\n", kTag);
    return 0;
  }

  // 8-9: PPD, marked options, job settings.
  MarkedPpd ppd(std::getenv("PPD"), options, log);
  SettingsResult read = readJobSettings(ppd.lookup(), log);
  cancelIfSignalled();
  if (read.passwordRefused) {
    log.printf("DEBUG:%ssecurityPasswd set False\n", kTag);
    log.printf("STATE: +%s\n", kPasswdReason);
    if (v.printerStatePath) writePrinterState(v.printerStatePath, kStatePasswdError, log, pauseRetry);
    sleepMsOrCancel(static_cast<long long>(kRefusedPasswordWaitSeconds) * 1000);
    return 1;
  }
  const JobSettings& s = read.settings;

  // 10: job information for the monitors.
  writePrinterInfo(v.printerInfoPath, s, log, pauseRetry);
  cancelIfSignalled();

  // 11: inspect the spooled job and record it, only when the log opens.
  Inspection inspection;
  if (FilePtr logFile = openWithRetry(v.printLogPath, "a+", OpenLogStyle::JobFile, log, pauseRetry)) {
    inspection = getPageCount(kSpoolDir, gJob.jobId, log);
    LogRecord rec;
    rec.queueLabel = v.queueLabel;
    rec.date = times.logDate;
    rec.jobId = gJob.jobId;
    rec.user = user;
    rec.title = title;
    rec.copies = std::max(decimalInt(copiesText), inspection.copies);
    rec.pages = inspection.pages;
    log.printf("DEBUG:%sresolution=%s\n", kTag, s.resolution.c_str());
    log.printf("DEBUG:%spaperSize=%s\n", kTag, s.pageSize.c_str());
    log.printf("DEBUG:%spaperTray=%s\n", kTag, s.inputSlot.c_str());
    log.printf("DEBUG:%spaperType=%s\n", kTag, s.mediaType.c_str());
    log.printf("DEBUG:%sDuplex=%s\n", kTag, s.duplex.c_str());
    const std::string record = logRecordText(rec, s);
    std::fwrite(record.data(), 1, record.size(), logFile.get());
  }
  cancelIfSignalled();

  // 12: the USB monitor now shows the job as printing.
  if (v.printerStatePath) writePrinterState(v.printerStatePath, kStatePrinting, log, pauseRetry);

  // 13-15: size, duplex, rasterizer arguments.
  const std::string rasterSize = inspection.paperSize.empty() ? "NULL" : inspection.paperSize;
  const int duplexMode = duplexModeFor(s.duplex);
  const RasterArgs raster = rasterArgsFor(rasterSize, s.resolution, log);

  // 16: the PJL job header.
  HeaderInput hin{s, user, title, hostName, times, rasterSize};
  const Header header = buildPjlHeader(hin, log);
  cancelIfSignalled();

  // 17: the network printer must say it is ready.
  if (v.network) lockWait(log);

  // 18-19: rasterize and forward.
  log.write("INFO:打印机正在打印\n");
  rasterizeAndForward(raster, duplexMode, header, s.colorFlag, log);

  // 20: drain, trailer, drain.
  std::fflush(stdout);
  char data[512];
  int len = 512;
  ChannelResult d =
      sideChannelRequest(kScCmdDrainOutput, data, &len, kDrainBeforeTrailer, CancelSignal::fd());
  if (d.cancelled) cancelIfSignalled();
  writeStdout(kPjlTrailer);
  len = 512;
  d = sideChannelRequest(kScCmdDrainOutput, data, &len, v.drainAfterTrailer, CancelSignal::fd());
  if (d.cancelled) cancelIfSignalled();
  log.printf("DEBUG:%sstatus=%d;\n", kTag, d.value);
  log.printf("DEBUG:%sstatus=%d;\n", kTag, d.value);
  // A cancel that came during the last drain still ends the job as cancelled.
  cancelIfSignalled();

  // 21-23: end state, end line, clear the password reason.
  if (v.printerStatePath) writePrinterState(v.printerStatePath, kStateReady, log, pauseRetry);
  appendToLog(v.printLogPath, kLogJobDone, log, pauseRetry);
  log.printf("STATE: -%s\n", kPasswdReason);
  log.write("INFO:空闲\n");
  return 0;
}

}  // namespace hrv

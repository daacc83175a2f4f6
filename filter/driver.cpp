#include "driver.h"

#include <sys/time.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <cups/cups.h>
#include <cups/sidechannel.h>

#include "cancel.h"
#include "config.h"
#include "jobfiles.h"
#include "log.h"
#include "pjl.h"
#include "ppdoptions.h"
#include "psinspect.h"
#include "raster.h"
#include "settings.h"
#include "timetext.h"

namespace hrv {

const Variant& usbVariant() {
  static const Variant v{false,          kUsbPrinterInfo,     kUsbPrinterState, kUsbPrintLog,
                         kUsbQueue,      kDrainPerBlockUsb,   kDrainAfterTrailerUsb};
  return v;
}

const Variant& networkVariant() {
  static const Variant v{true,      kNetPrinterInfo,   nullptr, kNetPrintLog,
                         kNetQueue, kDrainPerBlockNet, kDrainAfterTrailerNet};
  return v;
}

namespace {

constexpr char kPasswdReason[] =
    "输入数字密码无效，请在电脑端打印队列中取消任务，并重新设置四位密码，重新打印";

// What the cancel path needs to know about the job.
struct JobContext {
  const Variant* variant = nullptr;
  std::string printerName;
  std::string jobId;
};

JobContext gJob;
StderrLogger gLog;

void pauseForRetry(unsigned microseconds) { CancelSignal::sleepMs((microseconds + 999) / 1000); }

int jobIdNumber(const std::string& text) {
  errno = 0;
  long v = std::strtol(text.c_str(), nullptr, 10);
  if (v > INT_MAX || v < INT_MIN) return 0;
  return static_cast<int>(v);
}

cups_sc_status_t drain(double timeout, int dataLength) {
  char data[512];
  int len = dataLength;
  return cupsSideChannelDoRequest(CUPS_SC_CMD_DRAIN_OUTPUT, data, &len, timeout);
}

void writeStdout(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

// Ends a cancelled job: cancel sequence to the printer, end-of-job state and
// log line, a cancel request to the scheduler. Never returns.
[[noreturn]] void cancelJob(int number) {
  const Variant& v = *gJob.variant;
  Logger& log = gLog;
  // The job is over: further signals must not interrupt the cancel path.
  CancelSignal::ignoreSigpipe();

  log.printf("DEBUG:%scancel job=%d;\n", kTag, number);
  writeStdout(kPjlCancel);
  cups_sc_status_t status = drain(kDrainCancel, 512);
  auto cancelText = [&] { log.printf("DEBUG:%s打印任务被用户取消\n", kTag); };
  auto noRetryPause = [](unsigned) {};
  if (!v.network) {
    log.printf("DEBUG:%sstatus=%d;\n", kTag, static_cast<int>(status));
    cancelText();
    log.printf("STATE: -%s\n", kPasswdReason);
    log.write("INFO:空闲\n");
    writePrinterState(v.printerStatePath, kStateReady, log, [](unsigned us) { usleep(us); });
    appendToLog(v.printLogPath, kLogJobCancelled, log, [](unsigned us) { usleep(us); });
  } else {
    cancelText();
    log.printf("STATE: -%s\n", kPasswdReason);
    log.write("INFO:空闲\n");
    log.printf("DEBUG:%sstatus=%d;\n", kTag, static_cast<int>(status));
    appendToLog(v.printLogPath, kLogJobCancelled, log, [](unsigned us) { usleep(us); });
    cancelText();
  }
  (void)noRetryPause;
  int result = cupsCancelJob(gJob.printerName.c_str(), jobIdNumber(gJob.jobId));
  log.printf("%scupsCancelJob int = %d\n", kTag, result);
  log.printf("%scupsCancelJoblasterror = %s\n", kTag, cupsLastErrorString());
  std::exit(0);
}

namespace {

// The safe point of the cancel signals.
void cancelIfSignalled() {
  if (CancelSignal::pending()) cancelJob(CancelSignal::signalNumber());
}

void sleepSeconds(unsigned seconds) {
  if (CancelSignal::sleepMs(static_cast<long long>(seconds) * 1000)) cancelIfSignalled();
}

void pauseRetry(unsigned microseconds) {
  pauseForRetry(microseconds);
  cancelIfSignalled();
}

}  // namespace

int runFilter(int argc, char** argv, const Variant& v) {
  Logger& log = gLog;
  if (argc < 6) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argc > 0 ? argv[0] : "pstopxl");
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
    sleepSeconds(kRefusedPasswordWaitSeconds);
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
    rec.copies = std::max(jobIdNumber(copiesText), inspection.copies);
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

  (void)duplexMode;
  log.printf("DEBUG:%sjob header built (%zu bytes); rasterizing is not part of this build, job ends here\n", kTag,
             header.text.size());
  return 0;
}

}  // namespace hrv

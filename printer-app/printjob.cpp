#include "printjob.h"

#include <sys/utsname.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "lockwait.h"
#include "log.h"
#include "pjl.h"
#include "timetext.h"

namespace hrv::app {

namespace {

// The lock exchange over PAPPL's socket device.
class DeviceLockChannel final : public LockChannel {
 public:
  DeviceLockChannel(pappl_job_t* job, pappl_device_t* device) : job_(job), device_(device) {}
  bool send(std::string_view bytes) override { return writeToPrinter(device_, bytes); }
  long receive(char* buffer, size_t size) override {
    if (size == 0) return 0;
    // PAPPL's read: -1 after its time-out (or an error), 0 when the printer
    // closed the connection.
    const ssize_t n = papplDeviceRead(device_, buffer, size);
    if (n == 0) return -1;
    return n < 0 ? 0 : static_cast<long>(n);
  }
  bool canceled() override { return papplJobIsCanceled(job_); }
  void pause() override {
    for (int i = 0; i < 10 && !canceled(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  void waiting(bool busy) override {
    papplJobSetMessage(job_, "%s", busy ? "打印机忙，请稍后" : "正在连接打印机，请稍后");
  }

 private:
  pappl_job_t* job_;
  pappl_device_t* device_;
};

const char* sidesKeyword(pappl_sides_t sides) {
  if (sides == PAPPL_SIDES_TWO_SIDED_LONG_EDGE) return "two-sided-long-edge";
  if (sides == PAPPL_SIDES_TWO_SIDED_SHORT_EDGE) return "two-sided-short-edge";
  return "one-sided";
}

std::string hostName() {
  utsname uts{};
  return uname(&uts) == 0 ? uts.nodename : "localhost.localdomain";
}

bool isNetworkPrinter(pappl_job_t* job) {
  const char* uri = papplPrinterGetDeviceURI(papplJobGetPrinter(job));
  return uri && std::strncmp(uri, "socket://", 9) == 0;
}

}  // namespace

JobLogger::~JobLogger() {
  if (!pending_.empty()) papplLogJob(job_, PAPPL_LOGLEVEL_DEBUG, "%s", pending_.c_str());
}

void JobLogger::write(std::string_view text) {
  pending_.append(text);
  for (size_t nl; (nl = pending_.find('\n')) != std::string::npos;) {
    papplLogJob(job_, PAPPL_LOGLEVEL_DEBUG, "%s", pending_.substr(0, nl).c_str());
    pending_.erase(0, nl + 1);
  }
}

bool writeToPrinter(pappl_device_t* device, std::string_view bytes) {
  if (bytes.empty()) return true;
  return papplDeviceWrite(device, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

JobPlan planFor(pappl_job_t* job, const pappl_pr_options_t* options) {
  JobAttributes a;
  a.media = options->media.size_name;
  a.widthHundredthsMm = options->media.size_width;
  a.lengthHundredthsMm = options->media.size_length;
  a.mediaType = options->media.type;
  a.mediaSource = options->media.source;
  a.sides = sidesKeyword(options->sides);
  // The mode as asked for: PAPPL resolves "auto" for the raster already, the
  // job header still tells the printer to adapt.
  const char* mode = ippGetString(papplJobGetAttribute(job, "print-color-mode"), 0, nullptr);
  a.colorMode = mode                                                       ? mode
                : options->print_color_mode == PAPPL_COLOR_MODE_MONOCHROME ? "monochrome"
                                                                           : "color";
  a.resolution = options->printer_resolution[0];
  a.quality = options->print_quality == IPP_QUALITY_DRAFT  ? "draft"
              : options->print_quality == IPP_QUALITY_HIGH ? "high"
                                                           : "normal";
  a.copies = options->copies;
  // PAPPL prints every copy of an image document itself.
  const char* format = papplJobGetFormat(job);
  a.pagesRepeatedForCopies =
      format && (std::strcmp(format, "image/jpeg") == 0 || std::strcmp(format, "image/png") == 0);
  return planJob(a);
}

bool beginPrinterJob(pappl_job_t* job, pappl_device_t* device, JobPlan& plan) {
  JobLogger log(job);
  if (isNetworkPrinter(job)) {
    DeviceLockChannel channel(job, device);
    const LockAnswer answer = waitForLock(channel, log);
    if (answer != LockAnswer::kReady) {
      if (answer == LockAnswer::kLost)
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The printer closed the connection.");
      return false;
    }
    papplJobSetMessage(job, "%s", "打印机正在打印");
  }
  HeaderInput in;
  in.settings = plan.settings;
  const char* user = papplJobGetUsername(job);
  const char* title = papplJobGetName(job);
  in.user = user ? user : "";
  in.title = title ? title : "";
  in.hostName = hostName();
  const time_t now = time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  in.times = formatTimeTexts(local);
  in.rasterSize = plan.rasterSize;
  const Header header = buildPjlHeader(in, log);
  // "-dMediaPosition=N": the same number selects the tray in PCL XL.
  plan.mediaPosition = header.mediaPosition;
  const size_t eq = header.mediaPosition.find('=');
  plan.page.mediaSource = static_cast<uint8_t>(std::atoi(header.mediaPosition.c_str() + eq + 1));
  return writeToPrinter(device, header.text);
}

bool endPrinterJob(pappl_job_t* job, pappl_device_t* device, bool sentWhole) {
  const bool complete = sentWhole && !papplJobIsCanceled(job);
  const bool written = writeToPrinter(device, complete ? kPjlTrailer : kPjlCancel);
  papplDeviceFlush(device);
  if (complete)
    papplJobSetMessage(job, "%s", "打印任务完成");
  else if (papplJobIsCanceled(job))
    papplJobSetMessage(job, "%s", "打印任务被用户取消");
  return written;
}

}  // namespace hrv::app

#include "jobfiles.h"

#include <cerrno>
#include <cstring>

namespace hrv {

PrinterInfo printerInfoFor(const JobSettings& s) {
  return {s.enhance1200 ? "1200dpi" : s.resolution, s.pageSize, s.inputSlot, s.mediaType, s.duplex};
}

namespace {
std::string oneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}
}  // namespace

std::string logRecordText(const LogRecord& rec, const JobSettings& s) {
  std::string t;
  t += "***************************************************\n";
  t += "打印机名称：" + rec.queueLabel + "\n";
  t += "日期:" + rec.date + "\n";
  t += "任务ID：" + rec.jobId + "\n";
  t += "用户名：" + oneLine(rec.user) + "\n";
  t += "文件名：" + oneLine(rec.title) + "\n";
  t += "打印份数：" + std::to_string(rec.copies) + "\n";
  t += "文档页数：" + std::to_string(rec.pages) + "\n";
  t += "resolution:" + s.resolution + "\n";
  t += "papersize:" + s.pageSize + ";\n";
  t += "inputslot:" + s.inputSlot + ";\n";
  t += "mediatype:" + s.mediaType + ";\n";
  if (s.duplex == "None")
    t += "duplex:单面打印\n";
  else if (s.duplex == "DuplexTumble")
    t += "duplex:短边翻转\n";
  else if (s.duplex == "DuplexNoTumble")
    t += "duplex:长边翻转\n";
  return t;
}

FilePtr openWithRetry(const std::string& path, const char* mode, OpenLogStyle style, Logger& log,
                      const RetryPause& pause) {
  constexpr int kAttempts = 8;
  constexpr unsigned kPauseUs = 5000;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) pause(kPauseUs);
    std::FILE* f = std::fopen(path.c_str(), mode);
    int err = errno;
    if (f) {
      if (style == OpenLogStyle::StateFile)
        log.printf("%s DEBUG:Open Debug File=%s ok\n", kTag, path.c_str());
      else
        log.printf("DEBUG:%sopen file ok %s\n", kTag, path.c_str());
      return FilePtr(f);
    }
    if (style == OpenLogStyle::StateFile) {
      log.printf("%s DEBUG:Can not Open Debug File=%s!!! errno=%d\n", kTag, path.c_str(), err);
    } else {
      log.printf("DEBUG:%sopen file error %s\n", kTag, path.c_str());
      log.printf("DEBUG:%s error number=%d, reason:%s\n", kTag, err, std::strerror(err));
    }
  }
  return nullptr;
}

namespace {
void writeAll(const FilePtr& f, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), f.get());
}
}  // namespace

bool writePrinterInfo(const std::string& path, const JobSettings& s, Logger& log, const RetryPause& pause) {
  FilePtr f = openWithRetry(path, "w", OpenLogStyle::JobFile, log, pause);
  if (!f) return false;
  log.printf("DEBUG:%sresolution=%s\n", kTag, s.enhance1200 ? "1200dpi" : s.resolution.c_str());
  log.printf("DEBUG:%spaperSize=%s\n", kTag, s.pageSize.c_str());
  log.printf("DEBUG:%spaperTray=%s\n", kTag, s.inputSlot.c_str());
  log.printf("DEBUG:%spaperType=%s\n", kTag, s.mediaType.c_str());
  log.printf("DEBUG:%sDuplex=%s\n", kTag, s.duplex.c_str());
  writeAll(f, printerInfoText(printerInfoFor(s)));
  return true;
}

bool writePrinterState(const std::string& path, const char* state, Logger& log, const RetryPause& pause) {
  FilePtr f = openWithRetry(path, "w", OpenLogStyle::StateFile, log, pause);
  if (!f) return false;
  writeAll(f, state);
  return true;
}

bool appendToLog(const std::string& path, const std::string& text, Logger& log, const RetryPause& pause) {
  FilePtr f = openWithRetry(path, "a+", OpenLogStyle::JobFile, log, pause);
  if (!f) return false;
  writeAll(f, text);
  return true;
}

}  // namespace hrv

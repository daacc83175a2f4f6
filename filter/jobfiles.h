// Writing the job files the status monitors read (printerInfo, printerState,
// whose texts jobrecord.h defines) and the job log (print_log): the log's
// texts and the opening rule.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "jobrecord.h"
#include "log.h"
#include "settings.h"

namespace hrv {

inline constexpr const char kLogJobDone[] = "\n打印任务完成\n";
inline constexpr const char kLogJobCancelled[] = "\n打印任务被用户取消\n";
// The job ended without being printed (rasterizer or backend failure).
inline constexpr const char kLogJobFailed[] = "\n打印任务失败\n";

struct LogRecord {
  std::string queueLabel;  // "HRV5720ZWB" or "HRV5720ZWB-net"
  std::string date;        // TimeTexts::logDate
  std::string jobId;
  std::string user;
  std::string title;
  int copies = 1;
  int pages = 0;
};

// What printerInfo records of a job: its choices, "1200dpi" for a job
// rendered at 600 dpi and enhanced.
PrinterInfo printerInfoFor(const JobSettings& s);

// The job record appended to print_log. User and title cannot add lines:
// their control bytes become blanks.
std::string logRecordText(const LogRecord& rec, const JobSettings& s);

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Waits between two open attempts; the driver makes it wake on cancel.
using RetryPause = std::function<void(unsigned microseconds)>;

enum class OpenLogStyle { JobFile, StateFile };

// Opens `path` with `mode`, trying up to 8 times 5000 µs apart. Returns
// an empty pointer when every attempt failed.
FilePtr openWithRetry(const std::string& path, const char* mode, OpenLogStyle style, Logger& log,
                      const RetryPause& pause);

// Each write opens the file, writes and closes it. They return false when the
// file could not be opened; the job goes on either way.
bool writePrinterInfo(const std::string& path, const JobSettings& s, Logger& log, const RetryPause& pause);
bool writePrinterState(const std::string& path, const char* state, Logger& log, const RetryPause& pause);
bool appendToLog(const std::string& path, const std::string& text, Logger& log, const RetryPause& pause);

}  // namespace hrv

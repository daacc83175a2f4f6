// The three time texts of a job, formatted from one clock reading.
#pragma once

#include <ctime>
#include <string>

namespace hrv {

struct TimeTexts {
  std::string logItem;  // "Sun,06,Dec 2026 04:42:25"   (PJL print log item 2)
  std::string jobTime;  // "20261206044225"             (PJL JOBTIME)
  std::string logDate;  // "2026年12月06日04:42:25 Sunday" (print_log record)
};

// Calendar year throughout: the ISO week-based year would date jobs printed
// around New Year into the wrong year.
TimeTexts formatTimeTexts(const std::tm& local);

}  // namespace hrv

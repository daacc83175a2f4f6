// Job options from the queue's PPD through libcups.
#pragma once

#include <memory>
#include <string>

#include "log.h"
#include "settings.h"

namespace hrv {

// The PPD opened and marked with its defaults and the job's options.
class MarkedPpd {
 public:
  // A missing or unreadable PPD gives an empty lookup: every option keeps
  // its default. Logs the option count when there is one or more.
  MarkedPpd(const char* ppdPath, const char* options, Logger& log);
  ~MarkedPpd();
  MarkedPpd(const MarkedPpd&) = delete;
  MarkedPpd& operator=(const MarkedPpd&) = delete;

  bool opened() const { return ppd_ != nullptr; }
  ChoiceLookup lookup() const;

 private:
  void* ppd_ = nullptr;  // ppd_file_t
};

// cupsParseOptions on the option text: false when it reports a negative count.
bool optionsParse(const char* options);

}  // namespace hrv

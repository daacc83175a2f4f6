#include "ppdoptions.h"

// libcups marks its PPD functions deprecated, but they remain the way a
// filter reads the choices marked for its job.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/cups.h>
#include <cups/ppd.h>

namespace hrv {

bool optionsParse(const char* options) {
  cups_option_t* parsed = nullptr;
  int n = cupsParseOptions(options, 0, &parsed);
  cupsFreeOptions(n, parsed);
  return n >= 0;
}

MarkedPpd::MarkedPpd(const char* ppdPath, const char* options, Logger& log) {
  ppd_file_t* ppd = ppdPath ? ppdOpenFile(ppdPath) : nullptr;
  cups_option_t* parsed = nullptr;
  int n = options ? cupsParseOptions(options, 0, &parsed) : 0;
  if (ppd) {
    ppdMarkDefaults(ppd);
    cupsMarkOptions(ppd, n, parsed);
  }
  cupsFreeOptions(n, parsed);
  if (n > 0) log.printf("DEBUG:%s(QDWTEST)num_options=%d;\n", kTag, n);
  ppd_ = ppd;
}

MarkedPpd::~MarkedPpd() {
  if (ppd_) ppdClose(static_cast<ppd_file_t*>(ppd_));
}

ChoiceLookup MarkedPpd::lookup() const {
  ppd_file_t* ppd = static_cast<ppd_file_t*>(ppd_);
  return [ppd](const char* keyword) -> std::optional<std::string> {
    if (!ppd) return std::nullopt;
    ppd_choice_t* c = ppdFindMarkedChoice(ppd, keyword);
    if (!c) return std::nullopt;
    return std::string(c->choice);
  };
}

}  // namespace hrv

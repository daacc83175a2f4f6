#include "settings.h"

namespace hrv {

int colorFlagFor(const std::string& choice) {
  if (choice == "Mono") return kMono;
  if (choice == "Auto") return kAuto;
  return kColor;
}

int duplexModeFor(const std::string& choice) {
  if (choice == "DuplexNoTumble") return 1;
  if (choice == "DuplexTumble") return 2;
  return 0;
}

namespace {

// Reads one option into `value`, leaving the default when it is not marked.
void readChoice(const ChoiceLookup& lookup, Logger& log, const char* keyword, const char* logName,
                std::string& value) {
  if (auto choice = lookup(keyword)) {
    value = *choice;
    log.printf("DEBUG:%s%s = %s\n", kTag, logName, value.c_str());
  } else {
    log.printf("DEBUG:%s[NULL]%s = %s\n", kTag, logName, value.c_str());
  }
}

bool isOneDigit(const std::string& s) {
  return s.size() == 1 && s[0] >= '0' && s[0] <= '9';
}

}  // namespace

SettingsResult readJobSettings(const ChoiceLookup& lookup, Logger& log) {
  SettingsResult r;
  JobSettings& s = r.settings;

  readChoice(lookup, log, "PageSize", "paperSize", s.pageSize);
  readChoice(lookup, log, "MediaType", "mediaType", s.mediaType);

  std::string color = "Color";
  readChoice(lookup, log, "ColorMode", "colorMode", color);
  s.colorFlag = colorFlagFor(color);

  readChoice(lookup, log, "InputSlot", "inputSlot", s.inputSlot);
  readChoice(lookup, log, "Duplex", "Duplex", s.duplex);

  // "1200dpi" is rendered at 600 dpi and the printer is told to enhance it.
  if (auto choice = lookup("Resolution")) {
    if (*choice == "1200dpi") {
      s.resolution = "600dpi";
      s.enhance1200 = true;
    } else {
      s.resolution = *choice;
    }
    log.printf("DEBUG:%sresolution = %s\n", kTag, s.resolution.c_str());
  } else {
    log.printf("DEBUG:%s[NULL]resolution = %s\n", kTag, s.resolution.c_str());
  }

  readChoice(lookup, log, "ResizePage", "resizePage", s.resize);

  // Secure print: each marked PasswdN other than "False" adds its digit.
  static const char* const kPasswd[] = {"Passwd1", "Passwd2", "Passwd3", "Passwd4"};
  static const char* const kOrdinal[] = {"first", "second", "third", "forth"};
  std::string digits;
  bool malformed = false;
  for (int i = 0; i < 4; ++i) {
    auto choice = lookup(kPasswd[i]);
    if (choice && *choice != "False") {
      // The password holds four single digits; anything longer would not
      // fit, so such a job is refused like a wrong count.
      if (isOneDigit(*choice))
        digits += *choice;
      else
        malformed = true;
      ++r.passwordCount;
      // The PIN never reaches the scheduler's log.
      log.printf("DEBUG:%s%s securityPasswd = *\n", kTag, kOrdinal[i]);
    } else {
      log.printf("DEBUG:%s%s securityPasswd = False\n", kTag, kOrdinal[i]);
    }
  }
  if (r.passwordCount == 0) {
    s.password = "False";
  } else if (r.passwordCount == 4 && !malformed) {
    s.password = digits;
  } else {
    r.passwordRefused = true;
  }
  const std::string shown = r.passwordRefused || s.password == "False" ? "False" : std::string(4, '*');
  log.printf("DEBUG:%sthe whole securityPasswd = %s, securityPasswdCont = %d\n", kTag, shown.c_str(),
             r.passwordCount);
  if (r.passwordRefused) return r;

  readChoice(lookup, log, "TonerSaveMode", "tonerSave", s.tonerSave);
  readChoice(lookup, log, "ImprovePrintOutput", "printOutput", s.printOutput);
  readChoice(lookup, log, "Brightness", "Brightenss", s.brightness);
  readChoice(lookup, log, "Contrast", "Contrast", s.contrast);
  readChoice(lookup, log, "PrintDensityRed", "densityRed", s.densityRed);
  readChoice(lookup, log, "PrintDensityGreen", "densityGreen", s.densityGreen);
  readChoice(lookup, log, "PrintDensityBlue", "densityBlue", s.densityBlue);
  readChoice(lookup, log, "Sleep", "sleepTime", s.sleep);
  readChoice(lookup, log, "QuiteMode", "QuiteMode", s.quietMode);
  return r;
}

}  // namespace hrv

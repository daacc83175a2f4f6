// Job settings: the PPD choices of one job with their defaults, the
// resolution rule and the secure-print password rule.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "log.h"

namespace hrv {

enum ColorMode { kColor = 0, kMono = 1, kAuto = 3 };

struct JobSettings {
  std::string pageSize = "A4";
  std::string mediaType = "PLAIN";
  int colorFlag = kColor;
  std::string inputSlot = "AUTO";
  std::string duplex = "None";
  std::string resolution = "600dpi";  // after the resolution rule
  bool enhance1200 = false;           // the choice was "1200dpi"
  std::string resize = "10";
  std::string password = "False";  // "False" or four digits
  std::string tonerSave = "OFF";
  std::string printOutput = "None";
  std::string brightness = "0";
  std::string contrast = "0";
  std::string densityRed = "0";
  std::string densityGreen = "0";
  std::string densityBlue = "0";
  std::string sleep = "PrinterDefault";
  std::string quietMode = "OFF";
};

// Looks up the marked choice keyword of a PPD option; nothing when the
// option is not marked (or not in the PPD).
using ChoiceLookup = std::function<std::optional<std::string>(const char* keyword)>;

struct SettingsResult {
  JobSettings settings;
  bool passwordRefused = false;
  int passwordCount = 0;
};

// Reads every option in the fixed order, applying the resolution rule and,
// after Passwd4, the password rule. Logs one debug line per option.
SettingsResult readJobSettings(const ChoiceLookup& lookup, Logger& log);

// "Color" 0, "Mono" 1, "Auto" 3, anything else 0.
int colorFlagFor(const std::string& choice);

// "None" 0, "DuplexNoTumble" 1, "DuplexTumble" 2, anything else 0.
int duplexModeFor(const std::string& choice);

}  // namespace hrv

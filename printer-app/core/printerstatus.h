// The printer's status answer ("CODE=" lines, from "GetStatus;" over UDP or
// "CheckStatus?" over USB) read through the monitors' status catalogue and
// turned into IPP printer-state-reasons and the levels of the four toners.
// No I/O.
#pragma once

#include <pappl/printer.h>

#include <array>
#include <string>
#include <string_view>

namespace hrv::app {

enum Toner { kBlack, kCyan, kMagenta, kYellow };
inline constexpr int kTonerCount = 4;

// Levels shown for a toner: the printer reports only "near its end" and
// "used up" (or missing), so a toner without either report shows as full.
inline constexpr int kTonerFull = 100;
inline constexpr int kTonerLow = 10;
inline constexpr int kTonerOut = 0;

struct PrinterStatus {
  // False when the answer held no code of the catalogue: nothing to change.
  // An empty answer is the printer's way of saying it is ready.
  bool answered = false;
  pappl_preason_t reasons = PAPPL_PREASON_NONE;
  std::array<int, kTonerCount> toner{kTonerFull, kTonerFull, kTonerFull, kTonerFull};
  int code = 0;       // the last catalogue code of the answer
  std::string title;  // its catalogue title (UTF-8)
};

// The reasons this application sets and clears from the printer's answers.
inline constexpr pappl_preason_t kPrinterReasons = PAPPL_PREASON_DEVICE_STATUS;

PrinterStatus statusFromReply(std::string_view reply);

// The reasons of one catalogue code, and what it says about the toners.
pappl_preason_t reasonsForCode(int code, std::array<int, kTonerCount>& toner);

// printer-supply values of the four toners.
void tonerSupplies(const std::array<int, kTonerCount>& toner, pappl_supply_t supplies[kTonerCount]);

}  // namespace hrv::app

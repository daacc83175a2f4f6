#include "printerstatus.h"

#include <QByteArray>
#include <cstdio>

#include "statuscatalogue.h"

namespace hrv::app {

namespace {

using monitor::findStatusEntry;
using monitor::kLevelCritical;
using monitor::kLevelWarning;

// An open cover of the printer: door-open, and cover-open as well, since
// PAPPL 1.3 leaves door-open out of printer-state-reasons (its list of
// reason keywords ends at toner-low) and would then send no reason at all.
constexpr pappl_preason_t kCoverOpen = PAPPL_PREASON_DOOR_OPEN | PAPPL_PREASON_COVER_OPEN;

struct CodeReasons {
  int code;
  pappl_preason_t reasons;
};

// Codes with a reason of their own. Every other stop condition (level 3) is
// "other"; paper-size shortages and the toner families follow below.
constexpr CodeReasons kCodeReasons[] = {
    {10205, PAPPL_PREASON_MARKER_SUPPLY_LOW},         // drum near its end
    {10305, PAPPL_PREASON_MARKER_SUPPLY_EMPTY},       // drum at its end
    {62102, PAPPL_PREASON_MARKER_WASTE_ALMOST_FULL},  // waste toner box near its end
    {40141, PAPPL_PREASON_MARKER_WASTE_FULL},         // waste toner box full
    {40021, kCoverOpen},                              // front cover
    {40121, kCoverOpen},                              // back cover
    {60021, kCoverOpen},                              // fuser cover
    {70014, PAPPL_PREASON_COVER_OPEN},                // document feeder cover
    {12201, PAPPL_PREASON_INPUT_TRAY_MISSING},        // trays 1 to 4 pulled out
    {12301, PAPPL_PREASON_INPUT_TRAY_MISSING},
    {12401, PAPPL_PREASON_INPUT_TRAY_MISSING},
    {12501, PAPPL_PREASON_INPUT_TRAY_MISSING},
    {62122, PAPPL_PREASON_MEDIA_LOW},  // trays 1 to 4 low on paper
    {62123, PAPPL_PREASON_MEDIA_LOW},
    {62124, PAPPL_PREASON_MEDIA_LOW},
    {62125, PAPPL_PREASON_MEDIA_LOW},
    {65003, PAPPL_PREASON_MEDIA_EMPTY},  // trays 1 to 4 feed no paper
    {65005, PAPPL_PREASON_MEDIA_EMPTY},
    {65009, PAPPL_PREASON_MEDIA_EMPTY},
    {65013, PAPPL_PREASON_MEDIA_EMPTY},
    {44102, PAPPL_PREASON_MEDIA_JAM},  // jams
    {44113, PAPPL_PREASON_MEDIA_JAM},
    {44114, PAPPL_PREASON_MEDIA_JAM},
    {44115, PAPPL_PREASON_MEDIA_JAM},
    {44116, PAPPL_PREASON_MEDIA_JAM},
    {65004, PAPPL_PREASON_MEDIA_JAM},
    {65008, PAPPL_PREASON_MEDIA_JAM},
    {65012, PAPPL_PREASON_MEDIA_JAM},
    {30016, PAPPL_PREASON_SPOOL_AREA_FULL},  // memory full
    {60000, PAPPL_PREASON_SPOOL_AREA_FULL},
    {44444, PAPPL_PREASON_OFFLINE},  // no communication
};

// The unit digits of the consumable families: 09 black, 10 cyan ("蓝色"),
// 11 magenta ("红色"), 12 yellow.
int tonerOfUnit(int unit) {
  return unit >= 9 && unit <= 12 ? unit - 9 : -1;
}

}  // namespace

pappl_preason_t reasonsForCode(int code, std::array<int, kTonerCount>& toner) {
  const monitor::StatusEntry* entry = findStatusEntry(code);
  if (!entry) return PAPPL_PREASON_NONE;
  for (const CodeReasons& c : kCodeReasons)
    if (c.code == code) return c.reasons;

  const int family = code / 100;
  if (const int t = tonerOfUnit(code % 100); t >= 0) {
    if (family == 102) {  // near its end
      toner[t] = std::min(toner[t], kTonerLow);
      return PAPPL_PREASON_TONER_LOW;
    }
    if (family == 403) {  // used up
      toner[t] = kTonerOut;
      return PAPPL_PREASON_TONER_EMPTY;
    }
    if (family == 404) {  // not installed
      toner[t] = kTonerOut;
      return PAPPL_PREASON_OTHER;
    }
  }
  // A tray without paper of the job's size: a warning while another source
  // can serve, a stop when the printer waits for paper.
  for (const monitor::PaperFamily& f : monitor::paperFamilies()) {
    if (code / 100 == f.prefix)
      return f.level == kLevelWarning ? PAPPL_PREASON_MEDIA_EMPTY
                                      : PAPPL_PREASON_MEDIA_EMPTY | PAPPL_PREASON_MEDIA_NEEDED;
  }
  return entry->level == kLevelCritical ? PAPPL_PREASON_OTHER : PAPPL_PREASON_NONE;
}

PrinterStatus statusFromReply(std::string_view reply) {
  PrinterStatus status;
  status.answered = reply.empty();
  // Lines end with carriage returns; each that holds "CODE=" is one report.
  size_t start = 0;
  while (start < reply.size()) {
    size_t end = reply.find('\r', start);
    if (end == std::string_view::npos) end = reply.size();
    std::string_view line = reply.substr(start, end - start);
    start = end + 1;
    if (line.find("CODE=") == std::string_view::npos) continue;
    const int code = monitor::codeFromLine(QByteArray(line.data(), static_cast<int>(line.size())));
    const monitor::StatusEntry* entry = findStatusEntry(code);
    if (!entry) continue;
    status.answered = true;
    status.reasons |= reasonsForCode(code, status.toner);
    status.code = code;
    status.title = entry->title.toStdString();
  }
  return status;
}

void tonerSupplies(const std::array<int, kTonerCount>& toner, pappl_supply_t supplies[kTonerCount]) {
  static constexpr struct {
    pappl_supply_color_t color;
    const char* name;
  } kToners[kTonerCount] = {
      {PAPPL_SUPPLY_COLOR_BLACK, "Black Toner"},
      {PAPPL_SUPPLY_COLOR_CYAN, "Cyan Toner"},
      {PAPPL_SUPPLY_COLOR_MAGENTA, "Magenta Toner"},
      {PAPPL_SUPPLY_COLOR_YELLOW, "Yellow Toner"},
  };
  for (int i = 0; i < kTonerCount; ++i) {
    pappl_supply_t& s = supplies[i];
    s = pappl_supply_t{};
    s.color = kToners[i].color;
    std::snprintf(s.description, sizeof s.description, "%s", kToners[i].name);
    s.is_consumed = true;
    s.level = toner[i];
    s.type = PAPPL_SUPPLY_TYPE_TONER;
  }
}

}  // namespace hrv::app

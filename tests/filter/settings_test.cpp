// Job settings from marked PPD choices: defaults, the resolution rule, the
// secure-print password rule; the time texts of a job.
#include <gtest/gtest.h>

#include <map>

#include "settings.h"
#include "timetext.h"

using namespace hrv;

namespace {

// The settings in one line: size media colour tray duplex resolution resize
// password sleep quiet, or "refused".
std::string settle(const std::map<std::string, std::string>& marked) {
  StringLogger log;
  const SettingsResult r = readJobSettings(
      [&](const char* k) -> std::optional<std::string> {
        auto it = marked.find(k);
        if (it == marked.end()) return std::nullopt;
        return it->second;
      },
      log);
  if (r.passwordRefused) return "refused after " + std::to_string(r.passwordCount);
  const JobSettings& s = r.settings;
  return s.pageSize + " " + s.mediaType + " " + std::to_string(s.colorFlag) + " " + s.inputSlot + " " +
         s.duplex + " " + s.resolution + (s.enhance1200 ? "+" : "") + " " + s.resize + " " + s.password +
         " " + s.sleep + " " + s.quietMode;
}

}  // namespace

TEST(JobSettings, FromMarkedChoices) {
  const struct {
    const char* what;
    std::map<std::string, std::string> marked;
    const char* settled;
  } cases[] = {
      {"nothing marked", {}, "A4 PLAIN 0 AUTO None 600dpi 10 False PrinterDefault OFF"},
      {"1200 dpi renders at 600 enhanced", {{"Resolution", "1200dpi"}}, "A4 PLAIN 0 AUTO None 600dpi+ 10"},
      {"2400 dpi stays", {{"Resolution", "2400dpi"}}, "A4 PLAIN 0 AUTO None 2400dpi 10"},
      {"an unknown resolution stays", {{"Resolution", "4800dpi"}}, "A4 PLAIN 0 AUTO None 4800dpi 10"},
      {"mono", {{"ColorMode", "Mono"}}, "A4 PLAIN 1 "},
      {"auto", {{"ColorMode", "Auto"}}, "A4 PLAIN 3 "},
      {"an unknown colour mode is colour", {{"ColorMode", "Sepia"}}, "A4 PLAIN 0 "},
      {"four passwords at False: no secure print",
       {{"Passwd1", "False"}, {"Passwd2", "False"}, {"Passwd3", "False"}, {"Passwd4", "False"}},
       "A4 PLAIN 0 AUTO None 600dpi 10 False "},
      {"four digits in option order, a leading zero kept",
       {{"Passwd1", "0"}, {"Passwd2", "7"}, {"Passwd3", "3"}, {"Passwd4", "9"}, {"Sleep", "5minutes"}},
       "A4 PLAIN 0 AUTO None 600dpi 10 0739 5minutes OFF"},
      {"three digits refuse the job",
       {{"Passwd1", "1"}, {"Passwd2", "2"}, {"Passwd3", "3"}, {"Passwd4", "False"}},
       "refused after 3"},
      {"a choice longer than a digit is refused, not overrun",
       {{"Passwd1", "12345678"}, {"Passwd2", "2"}, {"Passwd3", "3"}, {"Passwd4", "4"}},
       "refused after 4"},
  };
  for (const auto& c : cases) EXPECT_EQ(settle(c.marked).rfind(c.settled, 0), 0u) << c.what;
}

TEST(TimeTexts, CalendarYearEvenInTheWeekOfNewYear) {
  const struct {
    int year, mon, mday, yday, wday, hour, min, sec;
    TimeTexts texts;
  } cases[] = {
      // Monday 30 December 2024 lies in ISO week 1 of 2025.
      {124,
       11,
       30,
       364,
       1,
       9,
       5,
       7,
       {"Mon,30,Dec 2024 09:05:07", "20241230090507", "2024年12月30日09:05:07 Monday"}},
      {126,
       11,
       6,
       339,
       0,
       4,
       42,
       25,
       {"Sun,06,Dec 2026 04:42:25", "20261206044225", "2026年12月06日04:42:25 Sunday"}},
  };
  for (const auto& c : cases) {
    std::tm t{};
    t.tm_year = c.year;
    t.tm_mon = c.mon;
    t.tm_mday = c.mday;
    t.tm_yday = c.yday;
    t.tm_wday = c.wday;
    t.tm_hour = c.hour;
    t.tm_min = c.min;
    t.tm_sec = c.sec;
    const TimeTexts x = formatTimeTexts(t);
    EXPECT_EQ(x.logItem + "|" + x.jobTime + "|" + x.logDate,
              c.texts.logItem + "|" + c.texts.jobTime + "|" + c.texts.logDate);
  }
}

// Job settings from marked PPD choices: defaults, the resolution rule and
// the secure-print password rule.
#include <gtest/gtest.h>

#include <map>

#include "settings.h"
#include "timetext.h"

using namespace hrv;

namespace {
SettingsResult readWith(const std::map<std::string, std::string>& marked, StringLogger* logOut = nullptr) {
  StringLogger log;
  auto lookup = [&marked](const char* k) -> std::optional<std::string> {
    auto it = marked.find(k);
    if (it == marked.end()) return std::nullopt;
    return it->second;
  };
  SettingsResult r = readJobSettings(lookup, log);
  if (logOut) *logOut = log;
  return r;
}
}  // namespace

TEST(JobSettings, NothingMarkedGivesTheDefaults) {
  StringLogger log;
  SettingsResult r = readWith({}, &log);
  const JobSettings& s = r.settings;
  EXPECT_FALSE(r.passwordRefused);
  EXPECT_EQ(s.pageSize, "A4");
  EXPECT_EQ(s.mediaType, "PLAIN");
  EXPECT_EQ(s.colorFlag, kColor);
  EXPECT_EQ(s.inputSlot, "AUTO");
  EXPECT_EQ(s.duplex, "None");
  EXPECT_EQ(s.resolution, "600dpi");
  EXPECT_FALSE(s.enhance1200);
  EXPECT_EQ(s.resize, "10");
  EXPECT_EQ(s.password, "False");
  EXPECT_EQ(s.sleep, "PrinterDefault");
  EXPECT_EQ(s.quietMode, "OFF");
  EXPECT_NE(log.text().find("DEBUG:[VORN-HRV5720ZWB][NULL]paperSize = A4\n"), std::string::npos);
  EXPECT_NE(log.text().find("DEBUG:[VORN-HRV5720ZWB][NULL]sleepTime = PrinterDefault\n"), std::string::npos);
}

TEST(JobSettings, ResolutionRule) {
  auto r = readWith({{"Resolution", "1200dpi"}});
  EXPECT_EQ(r.settings.resolution, "600dpi");
  EXPECT_TRUE(r.settings.enhance1200);
  for (const char* choice : {"300dpi", "600dpi", "2400dpi", "4800dpi"}) {
    r = readWith({{"Resolution", choice}});
    EXPECT_EQ(r.settings.resolution, choice);
    EXPECT_FALSE(r.settings.enhance1200);
  }
}

TEST(JobSettings, ColourModes) {
  EXPECT_EQ(readWith({{"ColorMode", "Mono"}}).settings.colorFlag, kMono);
  EXPECT_EQ(readWith({{"ColorMode", "Auto"}}).settings.colorFlag, kAuto);
  EXPECT_EQ(readWith({{"ColorMode", "Sepia"}}).settings.colorFlag, kColor);
  EXPECT_EQ(duplexModeFor("DuplexNoTumble"), 1);
  EXPECT_EQ(duplexModeFor("DuplexTumble"), 2);
  EXPECT_EQ(duplexModeFor("Booklet"), 0);
}

TEST(JobSettings, PasswordCounts) {
  // Count 0: all four at "False" prints without secure print.
  auto r = readWith({{"Passwd1", "False"}, {"Passwd2", "False"}, {"Passwd3", "False"}, {"Passwd4", "False"}});
  EXPECT_FALSE(r.passwordRefused);
  EXPECT_EQ(r.settings.password, "False");
  EXPECT_EQ(r.passwordCount, 0);

  // Count 4: the digits in option order, a leading zero kept.
  StringLogger log;
  r = readWith({{"Passwd1", "0"}, {"Passwd2", "7"}, {"Passwd3", "3"}, {"Passwd4", "9"}}, &log);
  EXPECT_FALSE(r.passwordRefused);
  EXPECT_EQ(r.settings.password, "0739");
  EXPECT_NE(log.text().find("the whole securityPasswd = 0739, securityPasswdCont = 4\n"), std::string::npos);

  // Count 3 refuses the job and stops reading options.
  r = readWith(
      {{"Passwd1", "1"}, {"Passwd2", "2"}, {"Passwd3", "3"}, {"Passwd4", "False"}, {"Sleep", "5minutes"}});
  EXPECT_TRUE(r.passwordRefused);
  EXPECT_EQ(r.passwordCount, 3);
  EXPECT_EQ(r.settings.sleep, "PrinterDefault");
}

TEST(JobSettings, OverlongPasswordChoiceIsRefusedNotOverrun) {
  auto r = readWith({{"Passwd1", "12345678"}, {"Passwd2", "2"}, {"Passwd3", "3"}, {"Passwd4", "4"}});
  EXPECT_TRUE(r.passwordRefused);
  EXPECT_LE(r.settings.password.size(), 5u);
}

TEST(TimeTexts, CalendarYearAroundNewYear) {
  // Monday 30 December 2024 09:05:07 lies in ISO week 1 of 2025.
  std::tm t{};
  t.tm_year = 124;
  t.tm_mon = 11;
  t.tm_mday = 30;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  t.tm_wday = 1;
  t.tm_yday = 364;
  TimeTexts x = formatTimeTexts(t);
  EXPECT_EQ(x.jobTime, "20241230090507");
  EXPECT_EQ(x.logItem, "Mon,30,Dec 2024 09:05:07");
  EXPECT_EQ(x.logDate, "2024年12月30日09:05:07 Monday");
}

TEST(TimeTexts, WorkedExampleDate) {
  std::tm t{};
  t.tm_year = 126;
  t.tm_mon = 11;
  t.tm_mday = 6;
  t.tm_hour = 4;
  t.tm_min = 42;
  t.tm_sec = 25;
  t.tm_wday = 0;
  TimeTexts x = formatTimeTexts(t);
  EXPECT_EQ(x.logItem, "Sun,06,Dec 2026 04:42:25");
  EXPECT_EQ(x.jobTime, "20261206044225");
}

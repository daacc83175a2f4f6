// Job settings read through libcups from the project's PPDs.
#include <gtest/gtest.h>

#include "ppdoptions.h"
#include "settings.h"

using namespace hrv;

namespace {
const std::string kPpd = std::string(HRV_PPD_DIR) + "/HRV5720ZWB.ppd";

JobSettings settingsFor(const char* options, std::string* log = nullptr) {
  StringLogger l;
  MarkedPpd ppd(kPpd.c_str(), options, l);
  EXPECT_TRUE(ppd.opened());
  SettingsResult r = readJobSettings(ppd.lookup(), l);
  if (log) *log = l.text();
  return r.settings;
}
}  // namespace

TEST(PpdOptions, DefaultsOfThePpdMatchTheFilterDefaults) {
  std::string log;
  JobSettings s = settingsFor("", &log);
  JobSettings d;
  EXPECT_EQ(s.pageSize, d.pageSize);
  EXPECT_EQ(s.mediaType, d.mediaType);
  EXPECT_EQ(s.colorFlag, d.colorFlag);
  EXPECT_EQ(s.inputSlot, d.inputSlot);
  EXPECT_EQ(s.duplex, d.duplex);
  EXPECT_EQ(s.resolution, d.resolution);
  EXPECT_EQ(s.resize, d.resize);
  EXPECT_EQ(s.password, d.password);
  EXPECT_EQ(s.sleep, d.sleep);
  EXPECT_EQ(s.quietMode, d.quietMode);
  EXPECT_EQ(log.find("num_options"), std::string::npos);
}

TEST(PpdOptions, JobOptionsAreMarked) {
  std::string log;
  JobSettings s = settingsFor(
      "PageSize=B5 ColorMode=Mono InputSlot=TRAY2 Resolution=1200dpi Sleep=30minutes "
      "QuiteMode=ON Passwd1=1 Passwd2=0 Passwd3=0 Passwd4=7 media=Letter",
      &log);
  EXPECT_EQ(s.pageSize, "B5");
  EXPECT_EQ(s.colorFlag, kMono);
  EXPECT_EQ(s.inputSlot, "TRAY2");
  EXPECT_TRUE(s.enhance1200);
  EXPECT_EQ(s.sleep, "30minutes");
  EXPECT_EQ(s.quietMode, "ON");
  EXPECT_EQ(s.password, "1007");
  EXPECT_NE(log.find("(QDWTEST)num_options=11;\n"), std::string::npos);
}

TEST(PpdOptions, UnknownChoiceLeavesThePpdDefault) {
  JobSettings s = settingsFor("Sleep=15minutes MediaType=VELLUM");
  EXPECT_EQ(s.sleep, "PrinterDefault");
  EXPECT_EQ(s.mediaType, "PLAIN");
}

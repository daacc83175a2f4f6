// Job settings read through libcups from the project's PPD.
#include <gtest/gtest.h>

#include "ppdoptions.h"
#include "settings.h"

using namespace hrv;

TEST(PpdOptions, ThePpdDefaultsAreTheFilterDefaultsAndJobOptionsAreMarked) {
  const struct {
    const char* options;
    const char* settled;  // size colour tray 1200 sleep quiet password
  } cases[] = {
      {"", "A4 0 AUTO 0 PrinterDefault OFF False"},
      {"PageSize=B5 ColorMode=Mono InputSlot=TRAY2 Resolution=1200dpi Sleep=30minutes QuiteMode=ON "
       "Passwd1=1 Passwd2=0 Passwd3=0 Passwd4=7 media=Letter",
       "B5 1 TRAY2 1 30minutes ON 1007"},
      {"Sleep=15minutes MediaType=VELLUM", "A4 0 AUTO 0 PrinterDefault OFF False"},  // not PPD choices
  };
  for (const auto& c : cases) {
    StringLogger log;
    MarkedPpd ppd((std::string(HRV_PPD_DIR) + "/HRV5720ZWB.ppd").c_str(), c.options, log);
    ASSERT_TRUE(ppd.opened());
    const JobSettings s = readJobSettings(ppd.lookup(), log).settings;
    EXPECT_EQ(s.pageSize + " " + std::to_string(s.colorFlag) + " " + s.inputSlot + " " +
                  std::to_string(s.enhance1200) + " " + s.sleep + " " + s.quietMode + " " + s.password,
              c.settled)
        << c.options;
    EXPECT_EQ(s.mediaType, "PLAIN") << c.options;
  }
}

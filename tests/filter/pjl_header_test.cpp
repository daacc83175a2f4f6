// The PJL job header, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "pjl.h"

using namespace hrv;

namespace {

HeaderInput defaultJob() {
  HeaderInput in;
  in.user = "alice";
  in.title = "report.pdf";
  in.hostName = "desk";
  in.times.logItem = "Sun,06,Dec 2026 04:42:25";
  in.times.jobTime = "20261206044225";
  in.rasterSize = "NULL";
  return in;
}

Header build(const std::function<void(HeaderInput&)>& change) {
  HeaderInput in = defaultJob();
  change(in);
  StringLogger log;
  return buildPjlHeader(in, log);
}

}  // namespace

TEST(PjlHeader, WorkedExampleWithDefaultSettings) {
  EXPECT_EQ(build([](HeaderInput&) {}).text,
            "\x1b%-12345X\n\x1b#+54321X_VORN@PJL\n"
            "@PJL SET USERNAME=\"alice\"\n@PJL SET JOBNAME=\"report.pdf\"\n"
            "@PJL PRINTLOG ITEM = 1,PRINTER\n@PJL PRINTLOG ITEM = 2,Sun,06,Dec 2026 04:42:25\n"
            "@PJL PRINTLOG ITEM = 3,alice\n@PJL PRINTLOG ITEM = 4,desk\n@PJL JOB NAME=\"report.pdf\"\n"
            "@PJL SET JOBTIME = 20261206044225\n"
            "@PJL SET RENDERMODE=COLOR\n@PJL SET COLORMODE=AUTO\n@PJL SET COLORADAPT=OFF\n"
            "@PJL SET APTMODE=OFF\n@PJL SET RESOLUTION=600\n@PJL SET ECONOMODE=OFF\n"
            "@PJL SET SOURCETRAY=AUTO\n@PJL SET MEDIATYPE=REGULAR\n"
            "@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=OFF\n");
}

// Each case: a change to the default job, and a run of lines the header must
// hold (or must not hold at all).
TEST(PjlHeader, LinesFollowTheSettings) {
  struct Case {
    const char* what;
    std::function<void(HeaderInput&)> change;
    const char* lines;
    bool present = true;
  };
  const Case cases[] = {
      {"secure print: hold lines, key, user twice, before the print log",
       [](HeaderInput& in) { in.settings.password = "0427"; },
       "_VORN@PJL\n@PJL SET REPRINT=OFF\n@PJL SET HOLD=STORE\n@PJL SET HOLDTYPE=PRIVATE\n"
       "@PJL SET HOLDKEY=0427\n@PJL SET USERNAME=\"alice\"\n@PJL SET LOGINUSER=\"alice\"\n"
       "@PJL SET JOBNAME=\"report.pdf\"\n@PJL PRINTLOG ITEM = 1,PRINTER\n"},
      {"mono at 1200 dpi",
       [](HeaderInput& in) {
         in.settings.colorFlag = kMono;
         in.settings.enhance1200 = true;
       },
       "@PJL SET RENDERMODE=GRAYSCALE\n@PJL SET COLORMODE=NONE\n@PJL SET COLORADAPT=OFF\n"
       "@PJL SET APTMODE=B8H\n@PJL SET RESOLUTION=600\n@PJL SET PAPERFEEDSPEED=FULL\n@PJL SET HQMMODE=OFF\n"
       "@PJL SET ECONOMODE=OFF\n"},
      {"auto colour", [](HeaderInput& in) { in.settings.colorFlag = kAuto; },
       "@PJL SET RENDERMODE=COLOR\n@PJL SET COLORMODE=AUTO\n@PJL SET COLORADAPT=ON\n"},
      {"2400 dpi has no resolution line", [](HeaderInput& in) { in.settings.resolution = "2400dpi"; },
       "RESOLUTION", false},
      {"300 dpi", [](HeaderInput& in) { in.settings.resolution = "300dpi"; },
       "@PJL SET RESOLUTION=300\n@PJL SET HQMMODE=OFF\n@PJL SET ECONOMODE=OFF\n"},
      {"adjustments other than 0, scaling, toner save",
       [](HeaderInput& in) {
         in.settings.brightness = "-2";
         in.settings.densityBlue = "3";
         in.settings.resize = "8";
         in.settings.tonerSave = "ON";
       },
       "@PJL SET BRIGHTNESS=-2\n@PJL SET DENSITYBLUE=3\n@PJL SET PRINTSCALINGRATE=800\n@PJL SET "
       "ECONOMODE=ON\n"},
      {"resize 10 scales nothing", [](HeaderInput&) {}, "PRINTSCALINGRATE", false},
      {"a resize that is no number reads as 0", [](HeaderInput& in) { in.settings.resize = "abc"; },
       "@PJL SET PRINTSCALINGRATE=0\n"},
      {"a resize whose rate does not fit reads as 0",
       [](HeaderInput& in) { in.settings.resize = "444444444444444444"; }, "@PJL SET PRINTSCALINGRATE=0\n"},
      {"the largest negative rate that fits",
       [](HeaderInput& in) { in.settings.resize = "-92233720368547758"; },
       "@PJL SET PRINTSCALINGRATE=-9223372036854775800\n"},
      {"an unknown toner save choice", [](HeaderInput& in) { in.settings.tonerSave = "Maybe"; }, "ECONOMODE",
       false},
      {"tray 3", [](HeaderInput& in) { in.settings.inputSlot = "TRAY3"; },
       "@PJL SET SOURCETRAY=TRAY3\n@PJL SET PCLT3FIX=ON\n"},
      {"an unknown tray is AUTO", [](HeaderInput& in) { in.settings.inputSlot = "Cassette9"; },
       "@PJL SET SOURCETRAY=AUTO\n@PJL SET MEDIATYPE"},
      {"JIS B5 from the detected size", [](HeaderInput& in) { in.rasterSize = "B5"; },
       "@PJL SET SOURCETRAY=AUTO\n@PJL SET PAPER=JISB5\n@PJL SET MEDIATYPE=REGULAR\n"},
      {"no JIS B5 from the PPD size alone",
       [](HeaderInput& in) {
         in.settings.pageSize = "B5";
         in.rasterSize = "A4";
       },
       "JISB5", false},
      {"label media, toner fixing, quiet mode",
       [](HeaderInput& in) {
         in.settings.mediaType = "LABLE";
         in.settings.printOutput = "ImproveTonerFixing";
         in.settings.quietMode = "ON";
       },
       "@PJL SET MEDIATYPE=LABEL\n@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=ON\n@PJL SET "
       "QUIETMODE=ON\n"},
      {"an unknown media type", [](HeaderInput& in) { in.settings.mediaType = "VELLUM"; }, "MEDIATYPE",
       false},
      {"an unknown print output", [](HeaderInput& in) { in.settings.printOutput = "Other"; }, "LESSPAPERCURL",
       false},
      {"sleep 5 minutes, last in the header", [](HeaderInput& in) { in.settings.sleep = "5minutes"; },
       "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=5\n@PJL SET AUTOSLEEP=ON\n"
       "@PJL SET TIMEOUTSLEEP=5\n\x01"},
      {"a sleep choice outside the table is copied", [](HeaderInput& in) { in.settings.sleep = "15minutes"; },
       "@PJL DEFAULT TIMEOUTSLEEP=15minutes\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=15minutes\n"},
      {"a hostile title stays inside its quotes on its line",
       [](HeaderInput& in) { in.title = "x\"\n@PJL SET HOLD=STORE\n\x1b%-12345X\r\t\x7f\""; },
       "@PJL SET JOBNAME=\"x' @PJL SET HOLD=STORE  %-12345X   '\"\n"},
      {"a hostile user and host name",
       [](HeaderInput& in) {
         in.user = "bob\"\n@PJL ENTER LANGUAGE=PCL";
         in.hostName = "evil\nhost";
       },
       "@PJL SET USERNAME=\"bob' @PJL ENTER LANGUAGE=PCL\"\n@PJL SET JOBNAME"},
  };
  for (const Case& c : cases) {
    // "\x01" marks the end of the header.
    const std::string text = build(c.change).text + "\x01";
    EXPECT_EQ(text.find(c.lines) != std::string::npos, c.present) << c.what;
  }
}

TEST(PjlHeader, InputSlotGivesTheMediaPosition) {
  const std::pair<const char*, const char*> cases[] = {
      {"MPTRAY", "-dMediaPosition=3"},    {"TRAY1", "-dMediaPosition=4"}, {"TRAY2", "-dMediaPosition=5"},
      {"TRAY3", "-dMediaPosition=7"},     {"TRAY4", "-dMediaPosition=8"}, {"AUTO", "-dMediaPosition=1"},
      {"Cassette9", "-dMediaPosition=1"},
  };
  for (const auto& [slot, position] : cases)
    EXPECT_EQ(build([&](HeaderInput& in) { in.settings.inputSlot = slot; }).mediaPosition, position) << slot;
}

TEST(PjlHeader, LongValuesAreCutWithinTheLimits) {
  std::string han;
  for (int i = 0; i < 200; ++i) han += "文";  // 3 bytes each
  const Header h = build([&](HeaderInput& in) {
    in.title = han;
    in.user = std::string(1000, 'u');
    in.hostName = std::string(5000, 'h');
    in.settings.password = "1234";
    in.settings.sleep = std::string(400, '9');
    in.settings.brightness = in.settings.contrast = in.settings.densityRed = in.settings.densityGreen =
        in.settings.densityBlue = std::string(300, '1');
  });
  EXPECT_LE(h.text.size(), kMaxHeader);
  size_t longest = 0;
  for (size_t at = 0, nl; (nl = h.text.find('\n', at)) != std::string::npos; at = nl + 1)
    longest = std::max(longest, nl + 1 - at);
  EXPECT_LE(longest, kMaxLine);
  // "@PJL SET JOBNAME=\"" and "\"\n" leave 235 bytes: 78 whole characters.
  std::string jobName = "@PJL SET JOBNAME=\"";
  for (int i = 0; i < 78; ++i) jobName += "文";
  EXPECT_NE(h.text.find(jobName + "\"\n"), std::string::npos);
}

TEST(PjlHeader, Utf8CutStepsBackAtMostThreeBytes) {
  const std::string continuation(300, '\x80');
  const struct {
    std::string text;
    size_t max;
    std::string cut;
  } cases[] = {
      {"abc", 10, "abc"},  {"ab文", 4, "ab"},
      {"ab文", 5, "ab文"}, {"😀x", 3, ""},
      {"é", 1, ""},        {continuation, 235, continuation.substr(0, 235)},  // not UTF-8: cut where it is
  };
  for (const auto& c : cases) EXPECT_EQ(utf8Prefix(c.text, c.max), c.cut) << c.text.size() << " " << c.max;
}

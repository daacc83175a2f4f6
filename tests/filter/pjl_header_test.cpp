// The PJL job header, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "pjl.h"

using namespace hrv;

namespace {

// The default job changed by "field=value" words (no blanks in a value).
Header build(const std::string& changes = "") {
  HeaderInput in;
  in.user = "alice";
  in.title = "report.pdf";
  in.hostName = "desk";
  in.times.logItem = "Sun,06,Dec 2026 04:42:25";
  in.times.jobTime = "20261206044225";
  in.rasterSize = "NULL";
  JobSettings& s = in.settings;
  const std::map<std::string, std::string*> fields = {
      {"password", &s.password},       {"resolution", &s.resolution}, {"brightness", &s.brightness},
      {"densityBlue", &s.densityBlue}, {"resize", &s.resize},         {"tonerSave", &s.tonerSave},
      {"inputSlot", &s.inputSlot},     {"pageSize", &s.pageSize},     {"mediaType", &s.mediaType},
      {"printOutput", &s.printOutput}, {"quietMode", &s.quietMode},   {"sleep", &s.sleep},
      {"rasterSize", &in.rasterSize},  {"title", &in.title},          {"user", &in.user},
      {"hostName", &in.hostName}};
  std::istringstream words(changes);
  for (std::string w; words >> w;) {
    const std::string key = w.substr(0, w.find('=')), value = w.substr(w.find('=') + 1);
    if (key == "mono")
      s.colorFlag = kMono;
    else if (key == "auto")
      s.colorFlag = kAuto;
    else if (key == "enhance1200")
      s.enhance1200 = true;
    else
      *fields.at(key) = value;
  }
  StringLogger log;
  return buildPjlHeader(in, log);
}

}  // namespace

TEST(PjlHeader, WorkedExampleWithDefaultSettings) {
  EXPECT_EQ(build().text,
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

// Each case: changes to the default job, and a run of lines the header must
// hold ("!" ahead: must not hold at all; "\x01" stands for its end).
TEST(PjlHeader, LinesFollowTheSettings) {
  const std::pair<const char*, std::string> cases[] = {
      {"password=0427",  // hold lines, key, user twice, all before the print log
       "_VORN@PJL\n@PJL SET REPRINT=OFF\n@PJL SET HOLD=STORE\n@PJL SET HOLDTYPE=PRIVATE\n@PJL SET "
       "HOLDKEY=0427\n"
       "@PJL SET USERNAME=\"alice\"\n@PJL SET LOGINUSER=\"alice\"\n@PJL SET JOBNAME=\"report.pdf\"\n@PJL "
       "PRINTLOG"},
      {"mono enhance1200",
       "@PJL SET RENDERMODE=GRAYSCALE\n@PJL SET COLORMODE=NONE\n@PJL SET COLORADAPT=OFF\n@PJL SET "
       "APTMODE=B8H\n"
       "@PJL SET RESOLUTION=600\n@PJL SET PAPERFEEDSPEED=FULL\n@PJL SET HQMMODE=OFF\n@PJL SET "
       "ECONOMODE=OFF\n"},
      {"auto", "@PJL SET RENDERMODE=COLOR\n@PJL SET COLORMODE=AUTO\n@PJL SET COLORADAPT=ON\n"},
      {"resolution=2400dpi", "!RESOLUTION"},
      {"resolution=300dpi", "@PJL SET RESOLUTION=300\n@PJL SET HQMMODE=OFF\n@PJL SET ECONOMODE=OFF\n"},
      {"brightness=-2 densityBlue=3 resize=8 tonerSave=ON",
       "@PJL SET BRIGHTNESS=-2\n@PJL SET DENSITYBLUE=3\n@PJL SET PRINTSCALINGRATE=800\n@PJL SET "
       "ECONOMODE=ON\n"},
      {"resize=10", "!PRINTSCALINGRATE"},
      {"resize=abc", "@PJL SET PRINTSCALINGRATE=0\n"},                 // no number reads as 0
      {"resize=444444444444444444", "@PJL SET PRINTSCALINGRATE=0\n"},  // nor does a rate that does not fit
      {"resize=-92233720368547758", "@PJL SET PRINTSCALINGRATE=-9223372036854775800\n"},
      {"tonerSave=Maybe", "!ECONOMODE"},
      {"inputSlot=TRAY3", "@PJL SET SOURCETRAY=TRAY3\n@PJL SET PCLT3FIX=ON\n"},
      {"inputSlot=Cassette9", "@PJL SET SOURCETRAY=AUTO\n@PJL SET MEDIATYPE"},
      {"rasterSize=B5", "@PJL SET SOURCETRAY=AUTO\n@PJL SET PAPER=JISB5\n@PJL SET MEDIATYPE=REGULAR\n"},
      {"pageSize=B5 rasterSize=A4", "!JISB5"},  // the detected size counts, not the PPD's
      {"mediaType=LABLE printOutput=ImproveTonerFixing quietMode=ON",
       "@PJL SET MEDIATYPE=LABEL\n@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=ON\n@PJL SET "
       "QUIETMODE=ON\n"},
      {"mediaType=VELLUM", "!MEDIATYPE"},
      {"printOutput=Other", "!LESSPAPERCURL"},
      {"sleep=5minutes",
       "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=5\n@PJL SET AUTOSLEEP=ON\n@PJL SET "
       "TIMEOUTSLEEP=5\n\x01"},
      {"sleep=15minutes",  // outside the table: copied
       "@PJL DEFAULT TIMEOUTSLEEP=15minutes\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=15minutes\n"},
  };
  for (const auto& [changes, lines] : cases) {
    const std::string text = build(changes).text + "\x01";
    EXPECT_EQ(text.find(lines.substr(lines[0] == '!')) == std::string::npos, lines[0] == '!') << changes;
  }
}

TEST(PjlHeader, HostileValuesStayOnTheirLinesInsideTheirQuotes) {
  HeaderInput in;
  in.title = "x\"\n@PJL SET HOLD=STORE\n\x1b%-12345X\r\t\x7f\"";
  in.user = "bob\"\n@PJL ENTER LANGUAGE=PCL";
  in.hostName = "evil\nhost";
  in.rasterSize = "NULL";
  StringLogger log;
  const std::string h = buildPjlHeader(in, log).text;
  EXPECT_NE(h.find("@PJL SET USERNAME=\"bob' @PJL ENTER LANGUAGE=PCL\"\n@PJL SET JOBNAME=\"x' @PJL SET "
                   "HOLD=STORE  %-12345X   '\"\n@PJL PRINTLOG"),
            std::string::npos);
  EXPECT_NE(h.find("@PJL PRINTLOG ITEM = 4,evil host\n"), std::string::npos);
}

TEST(PjlHeader, InputSlotGivesTheMediaPosition) {
  const std::pair<const char*, const char*> cases[] = {
      {"MPTRAY", "-dMediaPosition=3"},    {"TRAY1", "-dMediaPosition=4"}, {"TRAY2", "-dMediaPosition=5"},
      {"TRAY3", "-dMediaPosition=7"},     {"TRAY4", "-dMediaPosition=8"}, {"AUTO", "-dMediaPosition=1"},
      {"Cassette9", "-dMediaPosition=1"},
  };
  for (const auto& [slot, position] : cases)
    EXPECT_EQ(build(std::string("inputSlot=") + slot).mediaPosition, position) << slot;
}

TEST(PjlHeader, LongValuesAreCutWithinTheLimits) {
  std::string han;
  for (int i = 0; i < 200; ++i) han += "文";  // 3 bytes each
  const std::string ones(300, '1');
  const Header h =
      build("title=" + han + " user=" + std::string(1000, 'u') + " hostName=" + std::string(5000, 'h') +
            " password=1234 sleep=" + std::string(400, '9') + " brightness=" + ones + " densityBlue=" + ones);
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

// The PJL job header, trailer and cancel sequence, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>

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

std::string build(const HeaderInput& in) {
  StringLogger log;
  return buildPjlHeader(in, log).text;
}

// The lines after the 29-byte lead-in.
std::vector<std::string> linesAfterLeadIn(const std::string& header) {
  std::vector<std::string> lines;
  std::string body = header.substr(kPjlLeadIn.size());
  size_t start = 0;
  while (start < body.size()) {
    size_t nl = body.find('\n', start);
    lines.push_back(body.substr(start, nl - start + 1));
    start = nl + 1;
  }
  return lines;
}

bool contains(const std::string& h, const std::string& line) {
  return h.find(line) != std::string::npos;
}

}  // namespace

TEST(PjlHeader, WorkedExampleWithDefaultSettings) {
  const std::string expected =
      "\x1b%-12345X\n\x1b#+54321X_VORN@PJL\n"
      "@PJL SET USERNAME=\"alice\"\n"
      "@PJL SET JOBNAME=\"report.pdf\"\n"
      "@PJL PRINTLOG ITEM = 1,PRINTER\n"
      "@PJL PRINTLOG ITEM = 2,Sun,06,Dec 2026 04:42:25\n"
      "@PJL PRINTLOG ITEM = 3,alice\n"
      "@PJL PRINTLOG ITEM = 4,desk\n"
      "@PJL JOB NAME=\"report.pdf\"\n"
      "@PJL SET JOBTIME = 20261206044225\n"
      "@PJL SET RENDERMODE=COLOR\n"
      "@PJL SET COLORMODE=AUTO\n"
      "@PJL SET COLORADAPT=OFF\n"
      "@PJL SET APTMODE=OFF\n"
      "@PJL SET RESOLUTION=600\n"
      "@PJL SET ECONOMODE=OFF\n"
      "@PJL SET SOURCETRAY=AUTO\n"
      "@PJL SET MEDIATYPE=REGULAR\n"
      "@PJL SET LESSPAPERCURL=OFF\n"
      "@PJL SET FIXINTENSITYUP=OFF\n";
  StringLogger log;
  Header h = buildPjlHeader(defaultJob(), log);
  EXPECT_EQ(h.text, expected);
  EXPECT_EQ(linesAfterLeadIn(h.text).size(), 18u);
  EXPECT_EQ(h.mediaPosition, "-dMediaPosition=1");
  EXPECT_NE(log.text().find("\t\t\t\tPrint Job Head Start\t\t\t\t\t       \n"), std::string::npos);
}

TEST(PjlHeader, LeadInTrailerAndCancelAreExactBytes) {
  EXPECT_EQ(kPjlLeadIn.size(), 29u);
  EXPECT_EQ(std::string(kPjlLeadIn).substr(0, 10), "\x1b%-12345X\n");
  EXPECT_EQ(kPjlTrailer.size(), 42u);
  EXPECT_EQ(kPjlCancel.size(), 45u);
  EXPECT_EQ(kPjlTrailer.back(), 'X');
  EXPECT_EQ(kPjlCancel.back(), 'X');
}

TEST(PjlHeader, SecurePrintSendsHoldLinesKeyAndUserTwice) {
  HeaderInput in = defaultJob();
  in.settings.password = "0427";
  auto lines = linesAfterLeadIn(build(in));
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "@PJL SET REPRINT=OFF\n");
  EXPECT_EQ(lines[1], "@PJL SET HOLD=STORE\n");
  EXPECT_EQ(lines[2], "@PJL SET HOLDTYPE=PRIVATE\n");
  EXPECT_EQ(lines[3], "@PJL SET HOLDKEY=0427\n");
  EXPECT_EQ(lines[4], "@PJL SET USERNAME=\"alice\"\n");
  EXPECT_EQ(lines[5], "@PJL SET LOGINUSER=\"alice\"\n");
  EXPECT_EQ(lines[6], "@PJL SET JOBNAME=\"report.pdf\"\n");
  EXPECT_EQ(lines[7], "@PJL PRINTLOG ITEM = 1,PRINTER\n");
}

TEST(PjlHeader, ColourAndResolutionBlocks) {
  HeaderInput in = defaultJob();
  in.settings.colorFlag = kMono;
  in.settings.resolution = "600dpi";
  in.settings.enhance1200 = true;
  std::string h = build(in);
  EXPECT_TRUE(contains(h,
                       "@PJL SET RENDERMODE=GRAYSCALE\n@PJL SET COLORMODE=NONE\n@PJL SET COLORADAPT=OFF\n"
                       "@PJL SET APTMODE=B8H\n@PJL SET RESOLUTION=600\n@PJL SET PAPERFEEDSPEED=FULL\n"
                       "@PJL SET HQMMODE=OFF\n@PJL SET ECONOMODE=OFF\n"));

  in.settings.colorFlag = kAuto;
  in.settings.enhance1200 = false;
  in.settings.resolution = "2400dpi";
  h = build(in);
  EXPECT_TRUE(contains(h,
                       "@PJL SET RENDERMODE=COLOR\n@PJL SET COLORMODE=AUTO\n@PJL SET COLORADAPT=ON\n"
                       "@PJL SET ECONOMODE=OFF\n"));
  EXPECT_FALSE(contains(h, "RESOLUTION"));
  EXPECT_FALSE(contains(h, "APTMODE"));

  in.settings.resolution = "300dpi";
  EXPECT_TRUE(contains(build(in), "@PJL SET RESOLUTION=300\n@PJL SET HQMMODE=OFF\n"));
}

TEST(PjlHeader, AdjustmentsScalingAndTonerSave) {
  HeaderInput in = defaultJob();
  in.settings.brightness = "-2";
  in.settings.densityBlue = "3";
  in.settings.resize = "8";
  in.settings.tonerSave = "ON";
  std::string h = build(in);
  EXPECT_TRUE(contains(h,
                       "@PJL SET BRIGHTNESS=-2\n@PJL SET DENSITYBLUE=3\n@PJL SET PRINTSCALINGRATE=800\n"
                       "@PJL SET ECONOMODE=ON\n"));
  EXPECT_FALSE(contains(h, "CONTRAST"));

  in.settings.resize = "10";
  EXPECT_FALSE(contains(build(in), "PRINTSCALINGRATE"));
  in.settings.resize = "abc";  // not a number reads as 0
  EXPECT_TRUE(contains(build(in), "@PJL SET PRINTSCALINGRATE=0\n"));
  // A choice whose rate does not fit a 64-bit number reads as 0 as well.
  in.settings.resize = "444444444444444444";
  EXPECT_TRUE(contains(build(in), "@PJL SET PRINTSCALINGRATE=0\n"));
  in.settings.resize = "-92233720368547758";
  EXPECT_TRUE(contains(build(in), "@PJL SET PRINTSCALINGRATE=-9223372036854775800\n"));
  in.settings.tonerSave = "Maybe";
  EXPECT_FALSE(contains(build(in), "ECONOMODE"));
}

TEST(PjlHeader, InputSlotsGiveSourceTrayAndMediaPosition) {
  struct Case {
    const char* slot;
    const char* lines;
    const char* position;
  } cases[] = {
      {"MPTRAY", "@PJL SET SOURCETRAY=MPTRAY\n@PJL SET PCLMPFIX=ON\n", "-dMediaPosition=3"},
      {"TRAY1", "@PJL SET SOURCETRAY=TRAY1\n@PJL SET PCLT1FIX=ON\n", "-dMediaPosition=4"},
      {"TRAY2", "@PJL SET SOURCETRAY=TRAY2\n@PJL SET PCLT2FIX=ON\n", "-dMediaPosition=5"},
      {"TRAY3", "@PJL SET SOURCETRAY=TRAY3\n@PJL SET PCLT3FIX=ON\n", "-dMediaPosition=7"},
      {"TRAY4", "@PJL SET SOURCETRAY=TRAY4\n@PJL SET PCLT4FIX=ON\n", "-dMediaPosition=8"},
      {"Cassette9", "@PJL SET SOURCETRAY=AUTO\n", "-dMediaPosition=1"},
  };
  for (const Case& c : cases) {
    HeaderInput in = defaultJob();
    in.settings.inputSlot = c.slot;
    StringLogger log;
    Header h = buildPjlHeader(in, log);
    EXPECT_TRUE(contains(h.text, c.lines)) << c.slot;
    EXPECT_EQ(h.mediaPosition, c.position) << c.slot;
  }
}

TEST(PjlHeader, JisB5LineFollowsTheDetectedSizeNotThePpdSize) {
  HeaderInput in = defaultJob();
  in.settings.pageSize = "B5";
  in.rasterSize = "A4";  // a B5 PPD size on an A4 document
  EXPECT_FALSE(contains(build(in), "JISB5"));
  in.settings.pageSize = "A4";
  in.rasterSize = "B5";
  EXPECT_TRUE(
      contains(build(in), "@PJL SET SOURCETRAY=AUTO\n@PJL SET PAPER=JISB5\n@PJL SET MEDIATYPE=REGULAR\n"));
}

TEST(PjlHeader, MediaTypesPrintOutputAndQuietMode) {
  HeaderInput in = defaultJob();
  in.settings.mediaType = "LABLE";
  in.settings.printOutput = "ImproveTonerFixing";
  in.settings.quietMode = "ON";
  std::string h = build(in);
  EXPECT_TRUE(contains(h,
                       "@PJL SET MEDIATYPE=LABEL\n@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=ON\n"
                       "@PJL SET QUIETMODE=ON\n"));
  in.settings.mediaType = "ENV";
  in.settings.printOutput = "Other";
  h = build(in);
  EXPECT_TRUE(contains(h, "@PJL SET MEDIATYPE=ENVELOPES\n"));
  EXPECT_FALSE(contains(h, "LESSPAPERCURL"));
  in.settings.mediaType = "VELLUM";
  EXPECT_FALSE(contains(build(in), "MEDIATYPE"));
}

TEST(PjlHeader, SleepTimes) {
  HeaderInput in = defaultJob();
  in.settings.sleep = "5minutes";
  std::string h = build(in);
  EXPECT_TRUE(contains(h,
                       "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=5\n@PJL SET AUTOSLEEP=ON\n"
                       "@PJL SET TIMEOUTSLEEP=5\n"));
  EXPECT_EQ(h.substr(h.size() - 24), "@PJL SET TIMEOUTSLEEP=5\n");

  in.settings.sleep = "15minutes";  // outside the table: copied unchanged
  h = build(in);
  EXPECT_TRUE(contains(h,
                       "@PJL DEFAULT TIMEOUTSLEEP=15minutes\n@PJL SET AUTOSLEEP=ON\n"
                       "@PJL SET TIMEOUTSLEEP=15minutes\n"));

  in.settings.sleep = "PrinterDefault";
  EXPECT_FALSE(contains(build(in), "SLEEP"));
}

TEST(PjlHeader, HostileTitleCannotStartANewLineOrLeaveItsQuotes) {
  HeaderInput in = defaultJob();
  in.title = "x\"\n@PJL SET HOLD=STORE\n\x1b%-12345X\r\t\x7f\"";
  in.user = "bob\"\n@PJL ENTER LANGUAGE=PCL";
  in.hostName = "evil\nhost";
  std::string h = build(in);
  EXPECT_TRUE(contains(h, "@PJL SET JOBNAME=\"x' @PJL SET HOLD=STORE  %-12345X   '\"\n"));
  EXPECT_TRUE(contains(h, "@PJL SET USERNAME=\"bob' @PJL ENTER LANGUAGE=PCL\"\n"));
  EXPECT_TRUE(contains(h, "@PJL PRINTLOG ITEM = 4,evil host\n"));
  // The only ESC bytes are the lead-in's, and every line starts with @PJL.
  EXPECT_EQ(std::count(h.begin(), h.end(), '\x1b'), 2);
  for (const std::string& line : linesAfterLeadIn(h)) EXPECT_EQ(line.rfind("@PJL ", 0), 0u) << line;
}

TEST(PjlHeader, LongValuesAreCutAtCharacterBoundariesWithinTheLimits) {
  HeaderInput in = defaultJob();
  std::string han;
  for (int i = 0; i < 200; ++i) han += "文";  // 3 bytes each
  in.title = han;
  in.user = std::string(1000, 'u');
  in.hostName = std::string(5000, 'h');
  in.settings.password = "1234";
  in.settings.sleep = std::string(400, '9');
  in.settings.brightness = std::string(300, '1');
  in.settings.contrast = in.settings.densityRed = in.settings.densityGreen = in.settings.densityBlue =
      in.settings.brightness;
  std::string h = build(in);
  EXPECT_LE(h.size(), kMaxHeader);
  EXPECT_EQ(h.find('\0'), std::string::npos);
  for (const std::string& line : linesAfterLeadIn(h)) {
    EXPECT_LE(line.size(), kMaxLine);
    EXPECT_EQ(line.back(), '\n');
  }
  // "@PJL SET JOBNAME=\"" is 18 bytes, "\"\n" 2: 235 bytes left, 78 whole characters.
  std::string jobName = "@PJL SET JOBNAME=\"";
  for (int i = 0; i < 78; ++i) jobName += "文";
  jobName += "\"\n";
  EXPECT_TRUE(contains(h, jobName));
}

TEST(PjlHeader, Utf8PrefixNeverSplitsACharacter) {
  EXPECT_EQ(utf8Prefix("abc", 10), "abc");
  EXPECT_EQ(utf8Prefix("ab文", 4), "ab");
  EXPECT_EQ(utf8Prefix("ab文", 5), "ab文");
  EXPECT_EQ(utf8Prefix("😀x", 3), "");
  EXPECT_EQ(utf8Prefix("é", 1), "");
}

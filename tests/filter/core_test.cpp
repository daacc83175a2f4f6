// The filter's pure core: the PJL job envelope byte for byte from the job's
// choices, the time texts, the spooled PostScript inspection, the
// rasterizer's arguments, the lock answers and the drain failure count.
// (Hostile values in the envelope and side-channel messages: the fuzz targets.)
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

#include "drainpolicy.h"
#include "lockreply.h"
#include "pjl.h"
#include "psscan.h"
#include "raster.h"
#include "sandbox.h"

using namespace hrv;

namespace {

// The default job with "Keyword=choice" words marked in its PPD (lower-case
// words set title, rasterSize); its media position, a line feed, its header;
// or "refused".
std::string build(const std::string& words = "") {
  std::map<std::string, std::string> marked, fields = {{"title", "report.pdf"}, {"rasterSize", "NULL"}};
  std::istringstream in(words);
  for (std::string w; in >> w;)
    (std::islower(w[0]) ? fields : marked)[w.substr(0, w.find('='))] = w.substr(w.find('=') + 1);
  StringLogger log;
  const SettingsResult r = readJobSettings(
      [&](const char* k) { return marked.count(k) ? std::optional<std::string>(marked[k]) : std::nullopt; },
      log);
  if (r.passwordRefused) return "refused";
  const Header h = buildPjlHeader({r.settings,
                                   "alice",
                                   fields["title"],
                                   "desk",
                                   {"Sun,06,Dec 2026 04:42:25", "20261206044225", ""},
                                   fields["rasterSize"]},
                                  log);
  return h.mediaPosition + "\n" + h.text;
}

}  // namespace

TEST(PjlEnvelope, WorkedExampleTrailerAndCancelSequence) {
  EXPECT_EQ(build(),
            "-dMediaPosition=1\n\x1b%-12345X\n\x1b#+54321X_VORN@PJL\n"
            "@PJL SET USERNAME=\"alice\"\n@PJL SET JOBNAME=\"report.pdf\"\n"
            "@PJL PRINTLOG ITEM = 1,PRINTER\n@PJL PRINTLOG ITEM = 2,Sun,06,Dec 2026 04:42:25\n"
            "@PJL PRINTLOG ITEM = 3,alice\n@PJL PRINTLOG ITEM = 4,desk\n@PJL JOB NAME=\"report.pdf\"\n"
            "@PJL SET JOBTIME = 20261206044225\n"
            "@PJL SET RENDERMODE=COLOR\n@PJL SET COLORMODE=AUTO\n@PJL SET COLORADAPT=OFF\n"
            "@PJL SET APTMODE=OFF\n@PJL SET RESOLUTION=600\n@PJL SET ECONOMODE=OFF\n"
            "@PJL SET SOURCETRAY=AUTO\n@PJL SET MEDIATYPE=REGULAR\n"
            "@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=OFF\n");
  EXPECT_EQ(kPjlTrailer, "\x1b%-12345X\n\x1b#+54321X_VORN@PJL EOJ\n\x1b%-12345X");
  EXPECT_EQ(kPjlCancel, "\x1b%-12345X\n\x1b#+54321X_VORN@PJL CANCEL\n\x1b%-12345X");
}

// Each case: the job's choices, and a run of lines its header must hold ("!"
// ahead: must not hold at all; "\x01" stands for its end).
TEST(PjlEnvelope, LinesFollowTheChoices) {
  const std::pair<const char*, std::string> cases[] = {
      {"Passwd1=0 Passwd2=4 Passwd3=2 Passwd4=7",  // hold lines, key, user twice, all before the print log
       "_VORN@PJL\n@PJL SET REPRINT=OFF\n@PJL SET HOLD=STORE\n@PJL SET HOLDTYPE=PRIVATE\n@PJL SET "
       "HOLDKEY=0427\n"
       "@PJL SET USERNAME=\"alice\"\n@PJL SET LOGINUSER=\"alice\"\n@PJL SET JOBNAME=\"report.pdf\"\n@PJL "
       "PRINTLOG"},
      {"Passwd1=False Passwd2=False Passwd3=False Passwd4=False", "!HOLD"},
      {"Passwd1=1 Passwd2=2 Passwd3=3 Passwd4=False", "refused"},
      {"Passwd1=12345678 Passwd2=2 Passwd3=3 Passwd4=4", "refused"},  // not overrun either
      {"ColorMode=Mono Resolution=1200dpi",                           // rendered at 600 dpi, enhanced
       "@PJL SET RENDERMODE=GRAYSCALE\n@PJL SET COLORMODE=NONE\n@PJL SET COLORADAPT=OFF\n@PJL SET "
       "APTMODE=B8H\n"
       "@PJL SET RESOLUTION=600\n@PJL SET PAPERFEEDSPEED=FULL\n@PJL SET HQMMODE=OFF\n@PJL SET "
       "ECONOMODE=OFF\n"},
      {"ColorMode=Auto", "@PJL SET RENDERMODE=COLOR\n@PJL SET COLORMODE=AUTO\n@PJL SET COLORADAPT=ON\n"},
      {"ColorMode=Sepia", "@PJL SET RENDERMODE=COLOR\n@PJL SET COLORMODE=AUTO\n@PJL SET COLORADAPT=OFF\n"},
      {"Resolution=2400dpi", "!RESOLUTION"},
      {"Resolution=4800dpi", "!RESOLUTION"},
      {"Resolution=300dpi", "@PJL SET RESOLUTION=300\n@PJL SET HQMMODE=OFF\n@PJL SET ECONOMODE=OFF\n"},
      {"Brightness=-2 PrintDensityBlue=3 ResizePage=8 TonerSaveMode=ON",
       "@PJL SET BRIGHTNESS=-2\n@PJL SET DENSITYBLUE=3\n@PJL SET PRINTSCALINGRATE=800\n@PJL SET "
       "ECONOMODE=ON\n"},
      {"ResizePage=10", "!PRINTSCALINGRATE"},
      {"ResizePage=abc", "@PJL SET PRINTSCALINGRATE=0\n"},  // no number reads as 0
      {"ResizePage=444444444444444444",
       "@PJL SET PRINTSCALINGRATE=0\n"},  // nor does a rate that does not fit
      {"ResizePage=-92233720368547758", "@PJL SET PRINTSCALINGRATE=-9223372036854775800\n"},
      {"TonerSaveMode=Maybe", "!ECONOMODE"},
      {"InputSlot=TRAY3", "@PJL SET SOURCETRAY=TRAY3\n@PJL SET PCLT3FIX=ON\n"},
      {"InputSlot=MPTRAY", "-dMediaPosition=3\n"},
      {"InputSlot=TRAY1", "-dMediaPosition=4\n"},
      {"InputSlot=TRAY2", "-dMediaPosition=5\n"},
      {"InputSlot=TRAY3", "-dMediaPosition=7\n"},
      {"InputSlot=TRAY4", "-dMediaPosition=8\n"},
      {"InputSlot=Cassette9", "-dMediaPosition=1\n"},
      {"InputSlot=Cassette9", "@PJL SET SOURCETRAY=AUTO\n@PJL SET MEDIATYPE"},
      {"rasterSize=B5", "@PJL SET SOURCETRAY=AUTO\n@PJL SET PAPER=JISB5\n@PJL SET MEDIATYPE=REGULAR\n"},
      {"PageSize=B5 rasterSize=A4", "!JISB5"},  // the detected size counts, not the PPD's
      {"MediaType=LABLE ImprovePrintOutput=ImproveTonerFixing QuiteMode=ON",
       "@PJL SET MEDIATYPE=LABEL\n@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=ON\n@PJL SET "
       "QUIETMODE=ON\n"},
      {"MediaType=VELLUM", "!MEDIATYPE"},
      {"ImprovePrintOutput=Other", "!LESSPAPERCURL"},
      {"Sleep=5minutes",
       "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=5\n@PJL SET AUTOSLEEP=ON\n@PJL SET "
       "TIMEOUTSLEEP=5\n\x01"},
      {"Sleep=15minutes",  // outside the table: copied
       "@PJL DEFAULT TIMEOUTSLEEP=15minutes\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=15minutes\n"},
      {"title=x\"\x1b%-12345X\x7f",
       "@PJL SET JOBNAME=\"x' %-12345X \"\n"},  // no end of its quotes, no control bytes
  };
  for (const auto& [choices, lines] : cases) {
    const std::string text = build(choices) + "\x01";
    EXPECT_EQ(text.find(lines.substr(lines[0] == '!')) == std::string::npos, lines[0] == '!') << choices;
  }
}

TEST(TimeTexts, CalendarYearEvenInTheWeekOfNewYear) {
  const std::pair<const char*, const char*> cases[] = {
      // Monday 30 December 2024 lies in ISO week 1 of 2025.
      {"2024-12-30 09:05:07", "Mon,30,Dec 2024 09:05:07|20241230090507|2024年12月30日09:05:07 Monday"},
      {"2026-12-06 04:42:25", "Sun,06,Dec 2026 04:42:25|20261206044225|2026年12月06日04:42:25 Sunday"},
  };
  for (const auto& [when, texts] : cases) {
    std::tm t{};
    strptime(when, "%Y-%m-%d %H:%M:%S", &t);
    const std::time_t seconds = timegm(&t);
    gmtime_r(&seconds, &t);  // with its weekday and day of the year
    const TimeTexts x = formatTimeTexts(t);
    EXPECT_EQ(x.logItem + "|" + x.jobTime + "|" + x.logDate, texts);
  }
}

TEST(PsScan, PagesCopiesAndSize) {
  const std::string longLine =
      std::string(390, 'x') + " %%Pages: 4 " + std::string(168, 'y') + "/MediaBox [0 0 612 792]\n";
  const std::pair<std::string, const char*> cases[] = {
      // The text of a spool file, and its pages, copies and size.
      {"%!PS\nshowpage\n", "0 1 "},
      {"%%Pages: (atend)\n%%Page: 1 1\n%%Trailer\n%%Pages: 7\n",
       "7 1 "},  // the trailer's count after (atend)
      {"%%Pages: 2\n%%Pages: 5\n", "5 1 "},
      {"/#copies 0 def\n%%Requirements: numcopies(3) collate\n", "0 3 "},  // numcopies when /#copies is 0
      {"/#copies 2 def\n%%Requirements: numcopies(9)\n", "0 2 "},          // else /#copies
      {"<< /MediaBox [0 0 595.28 841.89] >>\n", "0 1 A4"},                 // numbers cut toward zero
      {"/MediaBox[0 0 612 792]\n", "0 1 Letter"},
      {"%%MediaBox [ 0 0 612.5 1008.9 ]\n", "0 1 Legal"},
      {"MediaBox [0 0 597 842]\n", "0 1 "},
      {"MediaBox [0 0 842 595]\n", "0 1 "},  // landscape A4 is no size
      {"MediaBox [0 0 595 420]\n", "0 1 A5L"},
      {"MediaBox [0 0]\nMediaBox [0 0 612 792]\nMediaBox [0 0 595 842]\n",
       "0 1 Letter"},  // the first of four
      {"MediaBox [0 0 1e30 -1e30]\n", "0 1 "},
      {"MediaBox [0 0 nan nan]\n", "0 1 "},
      {"MediaBox [0 0 4294967891 842]\n", "0 1 "},
      {"%%Pages: 99999999999999999999\n", "2147483647 1 "},
      {longLine, "0 1 Letter"},  // pieces of 399 bytes are lines of their own
      {std::string(399, 'z') + "%%Pages: 3\n", "3 1 "},
  };
  for (const auto& [text, found] : cases) {
    std::FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    StringLogger log;
    const Inspection r = inspectPostScript(f, log);
    std::fclose(f);
    EXPECT_EQ(std::to_string(r.pages) + " " + std::to_string(r.copies) + " " + r.paperSize, found) << text;
  }
  // The spool file of a job: at least five digits; none gives one copy.
  hrvtest::Sandbox box;
  hrvtest::writeFile(box.spool() + "/d00007-001", "%%Pages: 2\n/#copies 4\n/MediaBox [0 0 595 842]\n");
  hrvtest::writeFile(box.spool() + "/d123456-001", "%%Pages: 9\n");
  StringLogger log;
  for (const auto& [job, found] : {std::pair{"7", "2A44"}, {"123456", "91"}, {"8", "01"}}) {
    const Inspection r = getPageCount(box.spool(), job, log);
    EXPECT_EQ(std::to_string(r.pages) + r.paperSize + std::to_string(r.copies), found) << job;
  }
}

TEST(RasterArgs, SizeAndResolutionRules) {
  const struct {
    const char *size, *resolution, *args;
  } cases[] = {
      {"A4", "600dpi", "-r600x600 -g4961x7016"},  // one pixel more than twice 300 dpi
      {"A5", "600dpi", "-r600x600 -g3505x4960"},
      {"EnvDL", "600dpi", "-r600x600 -g2599x5197"},
      {"A4", "2400dpi", "-r1200x1200 -g9922x14032"},  // 2400 dpi renders at 1200
      {"NULL", "300dpi", "-r300x300 NULL"},
      {"210x270mm", "600dpi", "-r600x600 NULL"},       // detected, but no geometry row
      {"Letter", "4800dpi", "-r600x600 -g5100x6600"},  // unknown resolution: 600 dpi
  };
  for (const auto& c : cases) {
    StringLogger log;
    const RasterArgs a = rasterArgsFor(c.size, c.resolution, log);
    EXPECT_EQ(a.resolution + " " + a.geometry, c.args) << c.size << " " << c.resolution;
  }
}

TEST(LockReply, CodeFromTheETokens) {
  const struct {
    const char* reply;
    int start, code;
  } cases[] = {
      {"CODE=00001\r\n", kLockNoAnswer, 1},
      {"CODE=00002\r\n", kLockNoAnswer, 2},
      {"CODE=0000A", kLockNoAnswer, kLockNoAnswer},  // not all digits
      {"CODE=00002 CODE=00001", kLockNoAnswer, 1},   // the first 1 wins
      {"CODE=00001 CODE=00002", kLockNoAnswer, 1},
      {"CODE=00003", kLockNoAnswer, 3},
      {"E= 2", kLockNoAnswer, 2},                // blanks before the text
      {"CODE=123456789", kLockNoAnswer, 12345},  // at most five characters
      {"", kLockNoAnswer, kLockNoAnswer},
      {"xyz", 2, 2},  // no token keeps the code so far
      {"CODE=", kLockNoAnswer, kLockNoAnswer},
      {"DONE=1", kLockNoAnswer, kLockNoAnswer},  // 'D' and 'O' split it: "NE=1"
  };
  for (const auto& c : cases) {
    StringLogger log;
    EXPECT_EQ(scanLockReply(c.reply, c.start, log), c.code) << c.reply;
  }
}

// Drain statuses one digit each; actions: g go on, p pause, c cancel.
TEST(DrainFailures, ElevenCountedFailuresInARowCancel) {
  const struct {
    const char* what;
    bool network;
    const char *statuses, *actions;
  } cases[] = {
      {"ten time-outs pass, the eleventh failure cancels", false, "33333333334", "ppppppppppc"},
      {"an OK starts the count again", false, "333333333313", "ppppppppppgp"},
      {"an I/O error counts on the network only", false, "333333333323", "ppppppppppgc"},
      {"a network I/O error counts", true, "33333333332", "ppppppppppc"},
      {"other statuses neither count nor reset", true, "333333333305673", "ppppppppppggggc"},
  };
  for (const auto& c : cases) {
    DrainFailures f(c.network);
    std::string actions;
    for (const char* s = c.statuses; *s; ++s) actions += "gpc"[static_cast<int>(f.record(*s - '0'))];
    EXPECT_EQ(actions, c.actions) << c.what;
  }
}

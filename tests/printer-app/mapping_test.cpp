// The printer application's decisions, as tables of plain sentences: IPP job
// attributes to the job header's choices and the PCL XL page, raster pages to
// PCL XL pixels, the printer's status answers to IPP state, the lock
// handshake.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "jobplan.h"
#include "lockwait.h"
#include "printerstatus.h"
#include "rasterrow.h"

namespace {

using namespace hrv::app;

// The job's attributes: the defaults, changed by "key=value" words.
JobAttributes attributes(const std::string& words) {
  JobAttributes a;
  std::istringstream in(words);
  for (std::string w; in >> w;) {
    const std::string k = w.substr(0, w.find('=')), v = w.substr(w.find('=') + 1);
    if (k == "media") a.media = v;
    if (k == "size") std::sscanf(v.c_str(), "%dx%d", &a.widthHundredthsMm, &a.lengthHundredthsMm);
    if (k == "type") a.mediaType = v;
    if (k == "source") a.mediaSource = v;
    if (k == "sides") a.sides = v;
    if (k == "color") a.colorMode = v;
    if (k == "dpi") a.resolution = std::stoi(v);
    if (k == "quality") a.quality = v;
    if (k == "copies") a.copies = std::stoi(v);
    if (k == "image") a.pagesRepeatedForCopies = true;
  }
  return a;
}

// One line per plan: page size, size rule, type, tray, duplex, colour,
// resolution, copies and the PCL XL page.
std::string describe(const JobPlan& p) {
  const hrv::JobSettings& s = p.settings;
  const hrv::pxl::Media& m = p.page.media;
  const std::string media =
      m.custom ? "custom " + std::to_string(std::lround(m.widthInches * 100)) + "x" +
                     std::to_string(std::lround(m.heightInches * 100))
               : "media " + std::to_string(static_cast<int>(m.size)) + (m.orientation ? " landscape" : "");
  return s.pageSize + " " + p.rasterSize + " " + s.mediaType + " " + s.inputSlot + " " + s.duplex +
         " colour" + std::to_string(s.colorFlag) + (p.mono ? " gray " : " rgb ") + s.resolution +
         (s.enhance1200 ? "+enhance " : " ") + std::to_string(p.dpi) + "dpi x" +
         std::to_string(p.page.copies) + " sides" + std::to_string(static_cast<int>(p.page.sides)) + " " +
         media;
}

TEST(JobPlan, IppAttributesBecomeHeaderChoicesAndPage) {
  const struct {
    const char* name;
    const char* attributes;
    const char* expected;
  } cases[] = {
      {"defaults: A4 plain paper, automatic tray, one-sided colour at 600 dpi", "",
       "A4 A4 PLAIN AUTO None colour0 rgb 600dpi 600dpi x1 sides0 media 2"},
      {"Letter from tray 2, long edge", "media=na_letter_8.5x11in source=tray-2 sides=two-sided-long-edge",
       "Letter Letter PLAIN TRAY2 DuplexNoTumble colour0 rgb 600dpi 600dpi x1 sides1 media 0"},
      {"envelopes on the multipurpose tray, short edge",
       "media=iso_dl_110x220mm source=by-pass-tray type=envelope sides=two-sided-short-edge",
       "EnvDL EnvDL ENV MPTRAY DuplexTumble colour0 rgb 600dpi 600dpi x1 sides2 media 9"},
      {"monochrome draft at 300 dpi", "color=monochrome dpi=300 quality=draft",
       "A4 A4 PLAIN AUTO None colour1 gray 300dpi 300dpi x1 sides0 media 2"},
      {"auto colour, high quality: the 1200-dpi choice at 600 dpi", "color=auto quality=high",
       "A4 A4 PLAIN AUTO None colour3 rgb 600dpi+enhance 600dpi x1 sides0 media 2"},
      {"JIS B5 has no PCL XL size: custom inches, and the JIS B5 header rule",
       "media=jis_b5_182x257mm size=18200x25700",
       "B5 B5 PLAIN AUTO None colour0 rgb 600dpi 600dpi x1 sides0 custom 717x1012"},
      {"A5 landscape is A5 turned", "media=om_a5-landscape_210x148mm",
       "A5L A5L PLAIN AUTO None colour0 rgb 600dpi 600dpi x1 sides0 media 16 landscape"},
      {"a size outside the PPD prints at its own size without the size rule",
       "media=na_index-4x6_4x6in size=10160x15240",
       "A4 NULL PLAIN AUTO None colour0 rgb 600dpi 600dpi x1 sides0 custom 400x600"},
      {"unknown type, tray and sides fall back to the PPD defaults",
       "type=transparency source=tray-9 sides=sideways",
       "A4 A4 PLAIN AUTO None colour0 rgb 600dpi 600dpi x1 sides0 media 2"},
      {"heavy paper keeps its PPD choice, copies go to the page", "type=cardstock copies=3",
       "A4 A4 THICKERPAPER2 AUTO None colour0 rgb 600dpi 600dpi x3 sides0 media 2"},
      {"copies of an image PAPPL repeats itself: not made twice, each on a sheet of its own",
       "copies=3 sides=two-sided-long-edge image",
       "A4 A4 PLAIN AUTO None colour0 rgb 600dpi 600dpi x1 sides0 media 2"},
  };
  for (const auto& c : cases) EXPECT_EQ(describe(planJob(attributes(c.attributes))), c.expected) << c.name;
}

TEST(JobPlan, TablesOfferExactlyThePpdChoices) {
  std::map<std::string, std::set<std::string>> ppd;  // keyword -> choices
  std::ifstream in(PPD_FILE);
  for (std::string line; std::getline(in, line);) {
    for (const char* option : {"PaperDimension", "MediaType", "InputSlot"}) {
      const std::string key = std::string("*") + option + " ";
      if (line.rfind(key, 0) != 0) continue;
      ppd[option].insert(line.substr(key.size(), line.find('/') - key.size()));
      double w = 0, h = 0;  // *PaperDimension A4/A4 (210 x 297 mm): "595 842"
      if (std::strcmp(option, "PaperDimension") != 0 ||
          std::sscanf(line.c_str() + line.find('"'), "\"%lf %lf", &w, &h) != 2)
        continue;
      const std::string size = line.substr(key.size(), line.find('/') - key.size());
      const MediaEntry* entry = nullptr;
      for (const MediaEntry& m : mediaTable())
        if (size == m.ppd) entry = &m;
      const pwg_media_t* pwg = entry ? pwgMediaForPWG(entry->pwg) : nullptr;
      ASSERT_NE(pwg, nullptr) << size << " has no PWG name";
      EXPECT_NEAR(pwg->width * 72.0 / 2540, w, 1.0) << entry->pwg;
      EXPECT_NEAR(pwg->length * 72.0 / 2540, h, 1.0) << entry->pwg;
    }
  }
  std::set<std::string> sizes, types, sources;
  for (const MediaEntry& m : mediaTable()) sizes.insert(m.ppd);
  for (const KeywordChoice& k : mediaTypeTable()) types.insert(k.ppd);
  for (const KeywordChoice& k : mediaSourceTable()) sources.insert(k.ppd);
  EXPECT_EQ(ppd["PaperDimension"].size(), 19u);
  EXPECT_EQ(sizes, ppd["PaperDimension"]);
  EXPECT_EQ(types, ppd["MediaType"]);
  EXPECT_EQ(sources, ppd["InputSlot"]);
}

TEST(RasterPages, TakenAsGrayOrRgbOrRefused) {
  const struct {
    const char* name;
    cups_cspace_t space;
    unsigned bits;
    bool mono;
    const char* expected;  // format and the conversion of the pixel (R,G,B) = (200,100,50), or K 55
  } cases[] = {
      {"sRGB in colour", CUPS_CSPACE_SRGB, 24, false, "rgb none"},
      {"sRGB in monochrome: luminance", CUPS_CSPACE_SRGB, 24, true, "gray 125"},
      {"AdobeRGB", CUPS_CSPACE_ADOBERGB, 24, false, "rgb none"},
      {"sGray", CUPS_CSPACE_SW, 8, false, "gray none"},
      {"black is inverted", CUPS_CSPACE_K, 8, false, "gray 200"},
      {"black 1-bit", CUPS_CSPACE_K, 1, false, "refused"},
      {"CMYK", CUPS_CSPACE_CMYK, 32, false, "refused"},
      {"16-bit sRGB", CUPS_CSPACE_SRGB, 48, false, "refused"},
  };
  for (const auto& c : cases) {
    const auto f = pageFormatFor(c.space, c.bits, c.mono);
    std::string got = "refused";
    if (f) {
      const uint8_t in[3] = {static_cast<uint8_t>(c.bits == 8 ? 55 : 200), 100, 50};
      uint8_t out = 0;
      convertRow(f->conversion, in, 1, &out);
      got = (f->format == hrv::pxl::PixelFormat::kRgb8 ? "rgb " : "gray ") +
            (f->conversion == RowConversion::kNone ? "none" : std::to_string(out));
    }
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

std::string status(bool answered, unsigned reasons, const std::array<int, kTonerCount>& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s 0x%x %d/%d/%d/%d", answered ? "yes" : "no", reasons, t[kBlack], t[kCyan],
                t[kMagenta], t[kYellow]);
  return buf;
}

TEST(PrinterStatus, AnswersBecomeReasonsAndTonerLevels) {
  constexpr std::array<int, kTonerCount> kFull{100, 100, 100, 100};
  constexpr unsigned kCover = PAPPL_PREASON_COVER_OPEN | PAPPL_PREASON_DOOR_OPEN;
  const struct {
    const char* reply;
    bool answered;
    unsigned reasons;
    std::array<int, kTonerCount> toner;  // black, cyan, magenta, yellow
  } cases[] = {
      {"CODE=10001\r\n", true, PAPPL_PREASON_NONE, kFull},
      {"", true, PAPPL_PREASON_NONE, kFull},  // an empty datagram: nothing to report
      {"CODE=40021\r\n", true, kCover, kFull},
      {"CODE=10211\r\nCODE=40309\r\n",
       true,
       PAPPL_PREASON_TONER_LOW | PAPPL_PREASON_TONER_EMPTY,
       {0, 100, 10, 100}},
      {"CODE=40410\r\n", true, PAPPL_PREASON_OTHER, {100, 0, 100, 100}},  // cyan not installed
      {"CODE=11213\r\n", true, PAPPL_PREASON_MEDIA_EMPTY, kFull},
      {"CODE=41913\r\n", true, PAPPL_PREASON_MEDIA_EMPTY | PAPPL_PREASON_MEDIA_NEEDED, kFull},
      {"CODE=62123\r\n", true, PAPPL_PREASON_MEDIA_LOW, kFull},
      {"CODE=44116\r\n", true, PAPPL_PREASON_MEDIA_JAM, kFull},
      {"CODE=60005\r\n", true, PAPPL_PREASON_OTHER, kFull},
      {"CODE=10316\r\n", true, PAPPL_PREASON_NONE, kFull},   // a part-life warning: no IPP reason of its own
      {"CODE=10002\r\n", false, PAPPL_PREASON_NONE, kFull},  // not in the catalogue
      {"%$#GARBAGE#$%\r\n", false, PAPPL_PREASON_NONE, kFull},
  };
  for (const auto& c : cases) {
    const PrinterStatus s = statusFromReply(c.reply);
    EXPECT_EQ(status(s.answered, s.reasons, s.toner), status(c.answered, c.reasons, c.toner)) << c.reply;
  }
  EXPECT_EQ(statusFromReply("CODE=40021\r\n").title, "盖子未合上");
}

// A printer connection that answers each read from a script ('|' between
// reads; "" a read that brings nothing, "EOF" a closed connection) and is
// canceled after a number of pauses.
class ScriptedPrinter : public LockChannel {
 public:
  ScriptedPrinter(const std::string& reads, int cancelAfterPauses) : cancelAfter_(cancelAfterPauses) {
    std::istringstream in(reads);
    for (std::string r; std::getline(in, r, '|');) reads_.push_back(r);
  }
  bool send(std::string_view bytes) override { return log += std::string(bytes) + " ", true; }
  long receive(char* buffer, size_t size) override {
    std::string r = reads_.empty() ? "" : reads_.front();
    if (!reads_.empty()) reads_.pop_front();
    if (r == "EOF") return -1;
    r = r.substr(0, size);
    std::copy(r.begin(), r.end(), buffer);
    return static_cast<long>(r.size());
  }
  bool canceled() override { return cancelAfter_ >= 0 && pauses_ >= cancelAfter_; }
  void pause() override { ++pauses_; }
  void waiting(bool busy) override { log += busy ? "(busy) " : "(silent) "; }
  std::string log;

 private:
  std::deque<std::string> reads_;
  int cancelAfter_;
  int pauses_ = 0;
};

TEST(LockHandshake, WaitsUntilThePrinterAnswersReady) {
  const char* kAnswers[] = {"ready", "busy", "no answer", "lost", "canceled"};
  const struct {
    const char* name;
    const char* reads;
    int cancelAfterPauses;
    const char* expected;  // what was sent and shown, then the answer
  } cases[] = {
      {"busy twice, then ready", "CODE=00002\r\n|CODE=00002\r\n|CODE=00001\r\n", -1,
       "LockPrinter? (busy) LockPrinter? (busy) LockPrinter? ready"},
      {"silent for a request (four empty reads), then ready", "||||CODE=00001\r\n", -1,
       "LockPrinter? (silent) LockPrinter? ready"},
      {"a short read is completed by the next one", "CO|DE=00001\r\n", -1, "LockPrinter? ready"},
      {"another code is read again without a new request", "CODE=00007\r\n|CODE=00001\r\n", -1,
       "LockPrinter? ready"},
      {"the printer closes the connection", "EOF", -1, "LockPrinter? lost"},
      {"canceled while the printer stays busy", "CODE=00002\r\n|CODE=00002\r\n|CODE=00002\r\n", 2,
       "LockPrinter? (busy) LockPrinter? (busy) canceled"},
  };
  for (const auto& c : cases) {
    ScriptedPrinter printer(c.reads, c.cancelAfterPauses);
    hrv::StringLogger log;
    const LockAnswer answer = waitForLock(printer, log);
    EXPECT_EQ(printer.log + kAnswers[static_cast<int>(answer)], c.expected) << c.name;
  }
}

}  // namespace

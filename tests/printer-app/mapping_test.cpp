// The printer application's decisions: IPP job attributes to the PJL job
// header's choices and the PCL XL page; the printer's status answers to IPP
// state; the lock handshake.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "jobplan.h"
#include "lockwait.h"
#include "printerstatus.h"
#include "rasterrow.h"

namespace {

using namespace hrv::app;

// One line per plan: media, type, tray, sides, colour, resolution, copies and
// the PCL XL page setup.
std::string describe(const JobPlan& p) {
  const hrv::JobSettings& s = p.settings;
  std::string media = p.page.media.custom
                          ? "custom " + std::to_string(std::lround(p.page.media.widthInches * 100)) + "x" +
                                std::to_string(std::lround(p.page.media.heightInches * 100))
                          : "media " + std::to_string(static_cast<int>(p.page.media.size)) +
                                (p.page.media.orientation ? " landscape" : "");
  return s.pageSize + " " + p.rasterSize + " " + s.mediaType + " " + s.inputSlot + " " + s.duplex +
         " colour" + std::to_string(s.colorFlag) + (p.mono ? " gray " : " rgb ") + s.resolution +
         (s.enhance1200 ? "+enhance" : "") + " " + std::to_string(p.dpi) + "dpi x" +
         std::to_string(p.page.copies) + " sides" + std::to_string(static_cast<int>(p.page.sides)) + " " +
         media;
}

TEST(JobPlan, IppAttributesBecomeHeaderChoicesAndPage) {
  struct Case {
    const char* name;
    std::function<void(JobAttributes&)> set;
    const char* expected;
  };
  const Case cases[] = {
      {"defaults: A4 plain paper, automatic tray, one-sided colour at 600 dpi", [](JobAttributes&) {},
       "A4 A4 PLAIN AUTO None colour0 rgb 600dpi 600dpi x1 sides0 media 2"},
      {"Letter from tray 2, long edge",
       [](JobAttributes& j) {
         j.media = "na_letter_8.5x11in";
         j.mediaSource = "tray-2";
         j.sides = "two-sided-long-edge";
       },
       "Letter Letter PLAIN TRAY2 DuplexNoTumble colour0 rgb 600dpi 600dpi x1 sides1 media 0"},
      {"short edge on the multipurpose tray, envelopes",
       [](JobAttributes& j) {
         j.media = "iso_dl_110x220mm";
         j.mediaSource = "by-pass-tray";
         j.mediaType = "envelope";
         j.sides = "two-sided-short-edge";
       },
       "EnvDL EnvDL ENV MPTRAY DuplexTumble colour0 rgb 600dpi 600dpi x1 sides2 media 9"},
      {"monochrome draft at 300 dpi",
       [](JobAttributes& j) {
         j.colorMode = "monochrome";
         j.resolution = 300;
         j.quality = "draft";
       },
       "A4 A4 PLAIN AUTO None colour1 gray 300dpi 300dpi x1 sides0 media 2"},
      {"auto colour, high quality: the 1200-dpi choice at 600 dpi",
       [](JobAttributes& j) {
         j.colorMode = "auto";
         j.quality = "high";
       },
       "A4 A4 PLAIN AUTO None colour3 rgb 600dpi+enhance 600dpi x1 sides0 media 2"},
      {"JIS B5 has no PCL XL size: custom inches, and the JIS B5 header rule",
       [](JobAttributes& j) {
         j.media = "jis_b5_182x257mm";
         j.widthHundredthsMm = 18200;
         j.lengthHundredthsMm = 25700;
       },
       "B5 B5 PLAIN AUTO None colour0 rgb 600dpi 600dpi x1 sides0 custom 717x1012"},
      {"A5 landscape is A5 turned", [](JobAttributes& j) { j.media = "om_a5-landscape_210x148mm"; },
       "A5L A5L PLAIN AUTO None colour0 rgb 600dpi 600dpi x1 sides0 media 16 landscape"},
      {"a size outside the PPD prints at its own size without the size rule",
       [](JobAttributes& j) {
         j.media = "na_index-4x6_4x6in";
         j.widthHundredthsMm = 10160;
         j.lengthHundredthsMm = 15240;
       },
       "A4 NULL PLAIN AUTO None colour0 rgb 600dpi 600dpi x1 sides0 custom 400x600"},
      {"unknown type, tray and sides fall back to the PPD defaults",
       [](JobAttributes& j) {
         j.mediaType = "transparency";
         j.mediaSource = "tray-9";
         j.sides = "sideways";
       },
       "A4 A4 PLAIN AUTO None colour0 rgb 600dpi 600dpi x1 sides0 media 2"},
      {"copies go to the page", [](JobAttributes& j) { j.copies = 3; },
       "A4 A4 PLAIN AUTO None colour0 rgb 600dpi 600dpi x3 sides0 media 2"},
      {"copies of an image PAPPL repeats itself: not made twice, each on a sheet of its own",
       [](JobAttributes& j) {
         j.copies = 3;
         j.sides = "two-sided-long-edge";
         j.pagesRepeatedForCopies = true;
       },
       "A4 A4 PLAIN AUTO None colour0 rgb 600dpi 600dpi x1 sides0 media 2"},
      {"heavy paper, labels and glossy keep their PPD choices",
       [](JobAttributes& j) { j.mediaType = "cardstock"; },
       "A4 A4 THICKERPAPER2 AUTO None colour0 rgb 600dpi 600dpi x1 sides0 media 2"},
  };
  for (const Case& c : cases) {
    JobAttributes job;
    c.set(job);
    EXPECT_EQ(describe(planJob(job)), c.expected) << c.name;
  }
}

// The PPD's choices, by option keyword.
std::map<std::string, std::vector<std::string>> ppdChoices() {
  std::map<std::string, std::vector<std::string>> out;
  std::ifstream in(PPD_FILE);
  for (std::string line; std::getline(in, line);) {
    for (const char* option : {"PaperDimension", "MediaType", "InputSlot"}) {
      std::string key = std::string("*") + option + " ";
      if (line.rfind(key, 0) == 0) out[option].push_back(line.substr(key.size()));
    }
  }
  return out;
}

TEST(JobPlan, TablesOfferExactlyThePpdChoices) {
  auto ppd = ppdChoices();
  ASSERT_EQ(ppd["PaperDimension"].size(), 19u);
  std::set<std::string> sizes;
  for (const std::string& line : ppd["PaperDimension"]) {
    // A4/A4 (210 x 297 mm): "595 842"
    std::string keyword = line.substr(0, line.find('/'));
    double w = 0, h = 0;
    ASSERT_EQ(std::sscanf(line.substr(line.find('"')).c_str(), "\"%lf %lf", &w, &h), 2) << line;
    sizes.insert(keyword);
    const MediaEntry* entry = nullptr;
    for (const MediaEntry& m : mediaTable())
      if (keyword == m.ppd) entry = &m;
    ASSERT_NE(entry, nullptr) << keyword << " has no PWG name";
    pwg_media_t* pwg = pwgMediaForPWG(entry->pwg);
    ASSERT_NE(pwg, nullptr) << entry->pwg;
    EXPECT_NEAR(pwg->width * 72.0 / 2540, w, 1.0) << entry->pwg << " for " << keyword;
    EXPECT_NEAR(pwg->length * 72.0 / 2540, h, 1.0) << entry->pwg << " for " << keyword;
  }
  EXPECT_EQ(sizes.size(), mediaTable().size());
  for (const auto& [option, table] :
       {std::pair{"MediaType", &mediaTypeTable()}, std::pair{"InputSlot", &mediaSourceTable()}}) {
    std::set<std::string> fromPpd, fromTable;
    for (const std::string& line : ppd[option]) fromPpd.insert(line.substr(0, line.find('/')));
    for (const KeywordChoice& k : *table) fromTable.insert(k.ppd);
    EXPECT_EQ(fromTable, fromPpd) << option;
  }
}

TEST(RasterPages, TakenAsGrayOrRgbOrRefused) {
  struct Case {
    const char* name;
    cups_cspace_t space;
    unsigned bits;
    bool mono;
    const char* expected;  // format and the conversion of the pixel (R,G,B) = (200,100,50), or K 55
  };
  const Case cases[] = {
      {"sRGB in colour", CUPS_CSPACE_SRGB, 24, false, "rgb none"},
      {"sRGB in monochrome: luminance", CUPS_CSPACE_SRGB, 24, true, "gray 125"},
      {"AdobeRGB", CUPS_CSPACE_ADOBERGB, 24, false, "rgb none"},
      {"sGray", CUPS_CSPACE_SW, 8, false, "gray none"},
      {"black is inverted", CUPS_CSPACE_K, 8, false, "gray 200"},
      {"black 1-bit", CUPS_CSPACE_K, 1, false, "refused"},
      {"CMYK", CUPS_CSPACE_CMYK, 32, false, "refused"},
      {"16-bit sRGB", CUPS_CSPACE_SRGB, 48, false, "refused"},
  };
  for (const Case& c : cases) {
    auto f = pageFormatFor(c.space, c.bits, c.mono);
    std::string got = "refused";
    if (f) {
      got = f->format == hrv::pxl::PixelFormat::kRgb8 ? "rgb " : "gray ";
      const uint8_t in[3] = {static_cast<uint8_t>(c.bits == 8 ? 55 : 200), 100, 50};
      uint8_t out = 0;
      convertRow(f->conversion, in, 1, &out);
      got += f->conversion == RowConversion::kNone ? "none" : std::to_string(out);
    }
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

std::string reasonNames(pappl_preason_t r) {
  static const std::pair<pappl_preason_t, const char*> kNames[] = {
      {PAPPL_PREASON_OTHER, "other"},
      {PAPPL_PREASON_COVER_OPEN, "cover-open"},
      {PAPPL_PREASON_INPUT_TRAY_MISSING, "input-tray-missing"},
      {PAPPL_PREASON_MARKER_SUPPLY_EMPTY, "marker-supply-empty"},
      {PAPPL_PREASON_MARKER_SUPPLY_LOW, "marker-supply-low"},
      {PAPPL_PREASON_MARKER_WASTE_ALMOST_FULL, "marker-waste-almost-full"},
      {PAPPL_PREASON_MARKER_WASTE_FULL, "marker-waste-full"},
      {PAPPL_PREASON_MEDIA_EMPTY, "media-empty"},
      {PAPPL_PREASON_MEDIA_JAM, "media-jam"},
      {PAPPL_PREASON_MEDIA_LOW, "media-low"},
      {PAPPL_PREASON_MEDIA_NEEDED, "media-needed"},
      {PAPPL_PREASON_OFFLINE, "offline"},
      {PAPPL_PREASON_SPOOL_AREA_FULL, "spool-area-full"},
      {PAPPL_PREASON_TONER_EMPTY, "toner-empty"},
      {PAPPL_PREASON_TONER_LOW, "toner-low"},
      {PAPPL_PREASON_DOOR_OPEN, "door-open"},
  };
  std::string out;
  for (const auto& [bit, name] : kNames)
    if (r & bit) out += std::string(out.empty() ? "" : ",") + name;
  return out.empty() ? "none" : out;
}

TEST(PrinterStatus, AnswersBecomeReasonsAndTonerLevels) {
  struct Case {
    const char* reply;
    const char* expected;  // answered, reasons, toner levels k/c/m/y
  };
  const Case cases[] = {
      {"CODE=10001\r\n", "yes none 100/100/100/100"},
      {"", "yes none 100/100/100/100"},  // an empty datagram: nothing to report
      {"CODE=40021\r\n", "yes cover-open,door-open 100/100/100/100"},
      {"CODE=60021\r\n", "yes cover-open,door-open 100/100/100/100"},
      {"CODE=10211\r\nCODE=40309\r\n", "yes toner-empty,toner-low 0/100/10/100"},
      {"CODE=40410\r\n", "yes other 100/0/100/100"},
      {"CODE=11213\r\n", "yes media-empty 100/100/100/100"},
      {"CODE=41913\r\n", "yes media-empty,media-needed 100/100/100/100"},
      {"CODE=65003\r\n", "yes media-empty 100/100/100/100"},
      {"CODE=62123\r\n", "yes media-low 100/100/100/100"},
      {"CODE=44116\r\n", "yes media-jam 100/100/100/100"},
      {"CODE=12301\r\n", "yes input-tray-missing 100/100/100/100"},
      {"CODE=40141\r\n", "yes marker-waste-full 100/100/100/100"},
      {"CODE=60005\r\n", "yes other 100/100/100/100"},
      {"CODE=10316\r\n", "yes none 100/100/100/100"},  // a part-life warning: no IPP reason of its own
      {"CODE=44444\r\n", "yes offline 100/100/100/100"},
      {"CODE=10002\r\n", "no none 100/100/100/100"},  // not in the catalogue
      {"%$#GARBAGE#$%\r\n", "no none 100/100/100/100"},
  };
  for (const Case& c : cases) {
    PrinterStatus s = statusFromReply(c.reply);
    std::string got = std::string(s.answered ? "yes " : "no ") + reasonNames(s.reasons) + " " +
                      std::to_string(s.toner[kBlack]) + "/" + std::to_string(s.toner[kCyan]) + "/" +
                      std::to_string(s.toner[kMagenta]) + "/" + std::to_string(s.toner[kYellow]);
    EXPECT_EQ(got, c.expected) << c.reply;
  }
  EXPECT_EQ(statusFromReply("CODE=40021\r\n").title, "盖子未合上");
}

// A printer connection that answers each read from a script; "" is a read
// that brings nothing, "EOF" a closed connection.
class ScriptedPrinter : public LockChannel {
 public:
  explicit ScriptedPrinter(std::deque<std::string> reads, int cancelAfterPauses = -1)
      : reads_(std::move(reads)), cancelAfter_(cancelAfterPauses) {}
  bool send(std::string_view bytes) override {
    sent_ += std::string(bytes);
    return true;
  }
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
  void waiting(bool busy) override { log_ += busy ? "busy;" : "silent;"; }

  std::string sent_, log_;
  int pauses_ = 0;

 private:
  std::deque<std::string> reads_;
  int cancelAfter_;
};

TEST(LockHandshake, WaitsUntilThePrinterAnswersReady) {
  struct Case {
    const char* name;
    std::deque<std::string> reads;
    int cancelAfterPauses;
    LockAnswer expected;
    int requests;
    const char* waits;
  };
  const Case cases[] = {
      {"ready at once", {"CODE=00001\r\n"}, -1, LockAnswer::kReady, 1, ""},
      {"busy twice, then ready",
       {"CODE=00002\r\n", "CODE=00002\r\n", "CODE=00001\r\n"},
       -1,
       LockAnswer::kReady,
       3,
       "busy;busy;"},
      {"silent for a request (four empty reads), then ready",
       {"", "", "", "", "CODE=00001\r\n"},
       -1,
       LockAnswer::kReady,
       2,
       "silent;"},
      {"a short read is completed by the next one", {"CO", "DE=00001\r\n"}, -1, LockAnswer::kReady, 1, ""},
      {"busy then ready in one read: ready wins",
       {"CODE=00002\r\nCODE=00001\r\n"},
       -1,
       LockAnswer::kReady,
       1,
       ""},
      {"another code is read again without a new request",
       {"CODE=00007\r\n", "CODE=00001\r\n"},
       -1,
       LockAnswer::kReady,
       1,
       ""},
      {"a code that is not all digits counts as silence",
       {"CODE=0000A\r\n", "CODE=00001\r\n"},
       -1,
       LockAnswer::kReady,
       2,
       "silent;"},
      {"the printer closes the connection", {"EOF"}, -1, LockAnswer::kLost, 1, ""},
      {"canceled while the printer stays busy",
       {"CODE=00002\r\n", "CODE=00002\r\n", "CODE=00002\r\n"},
       2,
       LockAnswer::kCanceled,
       2,
       "busy;busy;"},
  };
  for (const Case& c : cases) {
    ScriptedPrinter printer(c.reads, c.cancelAfterPauses);
    hrv::StringLogger log;
    EXPECT_EQ(waitForLock(printer, log), c.expected) << c.name;
    std::string requests;
    for (int i = 0; i < c.requests; ++i) requests += "LockPrinter?";
    EXPECT_EQ(printer.sent_, requests) << c.name;
    EXPECT_EQ(printer.log_, c.waits) << c.name;
  }
}

}  // namespace

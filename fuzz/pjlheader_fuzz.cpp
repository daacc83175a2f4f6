// The PJL job header built from hostile settings, user, title, host name and
// time texts. Every line of the header must be one of the envelope's fixed
// lines or a known prefix with its value made safe: no control byte and no
// '"' from a value, a line feed at the end of every line, no line over 255
// bytes, no zero byte, at most 8191 bytes in all.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "null_logger.h"
#include "pjl.h"
#include "settings.h"

namespace {

using hrvfuzz::FuzzInput;

const std::map<std::string, std::vector<const char*>> kChoices = {
    {"PageSize", {"A4", "Letter", "B5", "A5"}},
    {"MediaType",
     {"PLAIN", "THIN", "THICK", "THICKERPAPER2", "BOND", "ENV", "ENVTHICK", "ENVTHIN", "RECYCLED", "LABLE",
      "COLOR", "GLOSSY", "LETTERHEAD", "HOLEPUNCHED"}},
    {"ColorMode", {"Color", "Mono", "Auto"}},
    {"InputSlot", {"AUTO", "MPTRAY", "TRAY1", "TRAY2", "TRAY3", "TRAY4"}},
    {"Duplex", {"None", "DuplexNoTumble", "DuplexTumble"}},
    {"Resolution", {"300dpi", "600dpi", "1200dpi", "2400dpi"}},
    {"ResizePage", {"10", "8", "9", "-3", "99999999999999999999"}},
    {"Passwd1", {"False", "0", "1", "9"}},
    {"Passwd2", {"False", "0", "5"}},
    {"Passwd3", {"False", "3", "7"}},
    {"Passwd4", {"False", "4", "8"}},
    {"TonerSaveMode", {"ON", "OFF"}},
    {"ImprovePrintOutput", {"None", "ReducePaperCurl", "ImproveTonerFixing"}},
    {"Brightness", {"0", "1", "-2"}},
    {"Contrast", {"0", "2"}},
    {"PrintDensityRed", {"0", "-1"}},
    {"PrintDensityGreen", {"0", "1"}},
    {"PrintDensityBlue", {"0", "2"}},
    {"Sleep", {"PrinterDefault", "2minutes", "5minutes", "10minutes", "30minutes", "15minutes"}},
    {"QuiteMode", {"ON", "OFF"}},
};

std::string choice(FuzzInput& in, const char* keyword) {
  const auto& known = kChoices.at(keyword);
  uint8_t pick = in.byte();
  if (pick < 192) return known[pick % known.size()];
  return in.text(300);
}

// Settings as the PPD reader settles them, or raw values it would never
// produce (any colour flag, any password text).
hrv::JobSettings settingsFrom(FuzzInput& in, bool& refused) {
  refused = false;
  if (in.flag()) {
    hrvfuzz::NullLogger log;
    hrv::SettingsResult r = hrv::readJobSettings(
        [&](const char* keyword) -> std::optional<std::string> {
          if (in.byte() < 64) return std::nullopt;  // not marked
          return choice(in, keyword);
        },
        log);
    refused = r.passwordRefused;
    return r.settings;
  }
  hrv::JobSettings s;
  s.pageSize = choice(in, "PageSize");
  s.mediaType = choice(in, "MediaType");
  s.colorFlag = in.flag() ? in.byte() % 4 : in.int32();
  s.inputSlot = choice(in, "InputSlot");
  s.duplex = choice(in, "Duplex");
  s.resolution = choice(in, "Resolution");
  s.enhance1200 = in.flag();
  s.resize = choice(in, "ResizePage");
  s.password = in.flag() ? "False" : in.text(300);
  s.tonerSave = choice(in, "TonerSaveMode");
  s.printOutput = choice(in, "ImprovePrintOutput");
  s.brightness = choice(in, "Brightness");
  s.contrast = choice(in, "Contrast");
  s.densityRed = choice(in, "PrintDensityRed");
  s.densityGreen = choice(in, "PrintDensityGreen");
  s.densityBlue = choice(in, "PrintDensityBlue");
  s.sleep = choice(in, "Sleep");
  s.quietMode = choice(in, "QuiteMode");
  return s;
}

const std::set<std::string> kFixedLines = {
    "\x1b%-12345X",
    "\x1b#+54321X_VORN@PJL",
    "@PJL SET REPRINT=OFF",
    "@PJL SET HOLD=STORE",
    "@PJL SET HOLDTYPE=PRIVATE",
    "@PJL PRINTLOG ITEM = 1,PRINTER",
    "@PJL SET RENDERMODE=COLOR",
    "@PJL SET RENDERMODE=GRAYSCALE",
    "@PJL SET COLORMODE=AUTO",
    "@PJL SET COLORMODE=NONE",
    "@PJL SET COLORADAPT=OFF",
    "@PJL SET COLORADAPT=ON",
    "@PJL SET RESOLUTION=300",
    "@PJL SET RESOLUTION=600",
    "@PJL SET HQMMODE=OFF",
    "@PJL SET APTMODE=OFF",
    "@PJL SET APTMODE=B8H",
    "@PJL SET PAPERFEEDSPEED=FULL",
    "@PJL SET ECONOMODE=ON",
    "@PJL SET ECONOMODE=OFF",
    "@PJL SET SOURCETRAY=MPTRAY",
    "@PJL SET SOURCETRAY=TRAY1",
    "@PJL SET SOURCETRAY=TRAY2",
    "@PJL SET SOURCETRAY=TRAY3",
    "@PJL SET SOURCETRAY=TRAY4",
    "@PJL SET SOURCETRAY=AUTO",
    "@PJL SET PCLMPFIX=ON",
    "@PJL SET PCLT1FIX=ON",
    "@PJL SET PCLT2FIX=ON",
    "@PJL SET PCLT3FIX=ON",
    "@PJL SET PCLT4FIX=ON",
    "@PJL SET PAPER=JISB5",
    "@PJL SET MEDIATYPE=REGULAR",
    "@PJL SET MEDIATYPE=THIN",
    "@PJL SET MEDIATYPE=THICK",
    "@PJL SET MEDIATYPE=THICK2",
    "@PJL SET MEDIATYPE=BOND",
    "@PJL SET MEDIATYPE=ENVELOPES",
    "@PJL SET MEDIATYPE=ENVTHICK",
    "@PJL SET MEDIATYPE=ENVTHIN",
    "@PJL SET MEDIATYPE=RECYCLED",
    "@PJL SET MEDIATYPE=LABEL",
    "@PJL SET MEDIATYPE=COLOR",
    "@PJL SET MEDIATYPE=GLOSSY",
    "@PJL SET MEDIATYPE=LETTERHEAD",
    "@PJL SET MEDIATYPE=HOLEPUNCHED",
    "@PJL SET LESSPAPERCURL=OFF",
    "@PJL SET LESSPAPERCURL=ON",
    "@PJL SET FIXINTENSITYUP=OFF",
    "@PJL SET FIXINTENSITYUP=ON",
    "@PJL SET QUIETMODE=ON",
    "@PJL DEFAULT AUTOSLEEP=ON",
    "@PJL SET AUTOSLEEP=ON",
};

bool isContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

char madeSafe(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u < 0x20 || u == 0x7F) return ' ';
  return c == '"' ? '\'' : c;
}

// `shown` is what a line carries of `value` when `room` bytes were free for
// it: the value made safe, whole when it fits, else cut at a character
// boundary.
bool shownSafely(std::string_view shown, std::string_view value, size_t room) {
  if (shown.size() > value.size() || shown.size() > room) return false;
  for (size_t i = 0; i < shown.size(); ++i)
    if (shown[i] != madeSafe(value[i])) return false;
  if (shown.size() < value.size()) {
    if (value.size() <= room) return false;  // cut although it fitted
    // Not inside a character (at the very start nothing can be kept).
    if (!shown.empty() && isContinuation(value[shown.size()])) return false;
  }
  return true;
}

struct ValueLine {
  std::string prefix, suffix;
  std::vector<std::string> values;  // any of them may be shown
};

void checkHeader(const hrv::Header& h, const hrv::HeaderInput& in) {
  const std::string& t = h.text;
  FUZZ_CHECK(t.size() <= hrv::kMaxHeader, "header of %zu bytes", t.size());
  FUZZ_CHECK(t.find('\0') == std::string::npos, "zero byte in the header");
  FUZZ_CHECK(t.compare(0, hrv::kPjlLeadIn.size(), hrv::kPjlLeadIn) == 0, "no lead-in");
  FUZZ_CHECK(!t.empty() && t.back() == '\n', "last line without a line feed");

  const hrv::JobSettings& s = in.settings;
  std::vector<ValueLine> valueLines = {
      {"@PJL SET USERNAME=\"", "\"", {in.user}},
      {"@PJL SET LOGINUSER=\"", "\"", {in.user}},
      {"@PJL SET JOBNAME=\"", "\"", {in.title}},
      {"@PJL JOB NAME=\"", "\"", {in.title}},
      {"@PJL SET HOLDKEY=", "", {s.password}},
      {"@PJL PRINTLOG ITEM = 2,", "", {in.times.logItem}},
      {"@PJL PRINTLOG ITEM = 3,", "", {in.user}},
      {"@PJL PRINTLOG ITEM = 4,", "", {in.hostName}},
      {"@PJL SET JOBTIME = ", "", {in.times.jobTime}},
      {"@PJL SET BRIGHTNESS=", "", {s.brightness}},
      {"@PJL SET CONTRAST=", "", {s.contrast}},
      {"@PJL SET DENSITYRED=", "", {s.densityRed}},
      {"@PJL SET DENSITYGREEN=", "", {s.densityGreen}},
      {"@PJL SET DENSITYBLUE=", "", {s.densityBlue}},
      {"@PJL DEFAULT TIMEOUTSLEEP=", "", {"2", "5", "10", "30", s.sleep}},
      {"@PJL SET TIMEOUTSLEEP=", "", {"2", "5", "10", "30", s.sleep}},
  };
  std::map<std::string, int> seen;

  size_t from = 0;
  while (from < t.size()) {
    const size_t end = t.find('\n', from);
    const std::string line = t.substr(from, end - from);
    from = end + 1;
    FUZZ_CHECK(line.size() + 1 <= hrv::kMaxLine, "line of %zu bytes: %s", line.size() + 1, line.c_str());
    if (kFixedLines.count(line)) continue;

    const std::string scaling = "@PJL SET PRINTSCALINGRATE=";
    if (line.compare(0, scaling.size(), scaling) == 0) {
      std::string n = line.substr(scaling.size());
      if (!n.empty() && n[0] == '-') n.erase(0, 1);
      FUZZ_CHECK(!n.empty() && n.find_first_not_of("0123456789") == std::string::npos, "scaling line %s",
                 line.c_str());
      continue;
    }
    bool known = false;
    for (const ValueLine& v : valueLines) {
      if (line.size() < v.prefix.size() + v.suffix.size() ||
          line.compare(0, v.prefix.size(), v.prefix) != 0 ||
          line.compare(line.size() - v.suffix.size(), v.suffix.size(), v.suffix) != 0)
        continue;
      const std::string_view shown =
          std::string_view(line).substr(v.prefix.size(), line.size() - v.prefix.size() - v.suffix.size());
      const size_t room = hrv::kMaxLine - v.prefix.size() - v.suffix.size() - 1;
      for (const std::string& value : v.values) known = known || shownSafely(shown, value, room);
      if (known) {
        ++seen[v.prefix];
        break;
      }
    }
    FUZZ_CHECK(known, "line is neither fixed nor a safe value line: \"%s\"", line.c_str());
  }

  // Values cannot add or hide lines: each of these comes exactly once.
  const bool secure = s.password != "False";
  for (const char* prefix :
       {"@PJL SET USERNAME=\"", "@PJL SET JOBNAME=\"", "@PJL JOB NAME=\"", "@PJL PRINTLOG ITEM = 2,",
        "@PJL PRINTLOG ITEM = 3,", "@PJL PRINTLOG ITEM = 4,", "@PJL SET JOBTIME = "})
    FUZZ_CHECK(seen[prefix] == 1, "%d lines of %s", seen[prefix], prefix);
  FUZZ_CHECK(seen["@PJL SET LOGINUSER=\""] == (secure ? 1 : 0), "LOGINUSER lines: %d",
             seen["@PJL SET LOGINUSER=\""]);
  FUZZ_CHECK(seen["@PJL SET HOLDKEY="] == (secure ? 1 : 0), "HOLDKEY lines: %d", seen["@PJL SET HOLDKEY="]);

  static const std::set<std::string> kPositions = {"-dMediaPosition=1", "-dMediaPosition=3",
                                                   "-dMediaPosition=4", "-dMediaPosition=5",
                                                   "-dMediaPosition=7", "-dMediaPosition=8"};
  FUZZ_CHECK(kPositions.count(h.mediaPosition), "media position %s", h.mediaPosition.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);

  // The value cutter on its own, with any room.
  {
    const size_t room = in.byte();
    const std::string value = in.text(600);
    const std::string safe = hrv::pjlSafeValue(value, room);
    FUZZ_CHECK(shownSafely(safe, value, room), "pjlSafeValue cut %zu bytes to %zu for room %zu", value.size(),
               safe.size(), room);
  }

  bool refused = false;
  hrv::HeaderInput hin;
  hin.settings = settingsFrom(in, refused);
  if (refused) return 0;  // such a job never gets a header
  hin.user = in.text(600);
  hin.title = in.text(600);
  hin.hostName = in.text(600);
  hin.times.logItem = in.flag() ? "Sun,06,Dec 2026 04:42:25" : in.text(300);
  hin.times.jobTime = in.flag() ? "20261206044225" : in.text(300);
  hin.rasterSize = in.flag() ? "B5" : in.text(40);

  hrvfuzz::NullLogger log;
  const hrv::Header h = hrv::buildPjlHeader(hin, log);
  checkHeader(h, hin);
  return 0;
}

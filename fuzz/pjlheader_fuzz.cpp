// The PJL job header built from hostile settings, user, title, host name and
// time texts: every line one PJL command of at most 255 bytes, values that
// can neither end their line nor their quotes, no zero byte, at most 8191
// bytes in all; the log's copy the same but for the masked PIN.
#include <algorithm>
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

bool isContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

char madeSafe(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u < 0x20 || u == 0x7F) return ' ';
  return c == '"' ? '\'' : c;
}

// `shown` is what a line carries of `value` when `room` bytes were free for
// it: the value made safe, whole when it fits, else cut before the character
// the room would split (at most three bytes back; text that is not UTF-8 is
// cut at the room).
bool shownSafely(std::string_view shown, std::string_view value, size_t room) {
  if (shown.size() > value.size() || shown.size() > room) return false;
  for (size_t i = 0; i < shown.size(); ++i)
    if (shown[i] != madeSafe(value[i])) return false;
  if (shown.size() == value.size()) return true;
  if (value.size() <= room || shown.size() + 3 < room) return false;  // cut although it fitted, or too far
  if (!isContinuation(value[shown.size()])) return true;
  for (size_t i = room - std::min<size_t>(room, 3); i < room; ++i)
    if (!isContinuation(value[i])) return false;  // a lead byte was within reach
  return shown.size() == room;
}

void checkHeader(const hrv::Header& h, const hrv::HeaderInput& in) {
  const std::string& t = h.text;
  FUZZ_CHECK(t.size() <= hrv::kMaxHeader, "header of %zu bytes", t.size());
  FUZZ_CHECK(t.find('\0') == std::string::npos, "zero byte in the header");
  FUZZ_CHECK(t.compare(0, hrv::kPjlLeadIn.size(), hrv::kPjlLeadIn) == 0, "no lead-in");
  FUZZ_CHECK(!t.empty() && t.back() == '\n', "last line without a line feed");
  static const std::set<std::string> kPositions = {"-dMediaPosition=1", "-dMediaPosition=3",
                                                   "-dMediaPosition=4", "-dMediaPosition=5",
                                                   "-dMediaPosition=7", "-dMediaPosition=8"};
  FUZZ_CHECK(kPositions.count(h.mediaPosition), "media position %s", h.mediaPosition.c_str());

  // The log's copy differs only where it masks the PIN.
  const bool secure = in.settings.password != "False";
  const std::string key = "@PJL SET HOLDKEY=";
  const size_t keyAt = secure ? t.find("\n" + key) : std::string::npos;
  const size_t masked = keyAt == std::string::npos ? t.size() : keyAt + 1 + key.size();
  const size_t maskEnd = keyAt == std::string::npos ? t.size() : t.find('\n', masked);
  FUZZ_CHECK(h.logText.size() == t.size(), "log text of %zu bytes", h.logText.size());
  for (size_t i = 0; i < t.size(); ++i)
    FUZZ_CHECK(i >= masked && i < maskEnd ? h.logText[i] == '*' : h.logText[i] == t[i], "log text at %zu", i);

  // Every line is one PJL command: values can neither end a line nor their
  // quotes, nor add or hide lines.
  std::map<std::string, int> seen;
  for (size_t from = hrv::kPjlLeadIn.size(), end; from < t.size(); from = end + 1) {
    end = t.find('\n', from);
    const std::string line = t.substr(from, end - from);
    FUZZ_CHECK(line.size() + 1 <= hrv::kMaxLine, "line of %zu bytes", line.size() + 1);
    FUZZ_CHECK(line.compare(0, 5, "@PJL ") == 0, "line \"%s\"", line.c_str());
    for (char c : line) FUZZ_CHECK(madeSafe(c) == c || c == '"', "control byte in \"%s\"", line.c_str());
    const size_t quotes = std::count(line.begin(), line.end(), '"');
    FUZZ_CHECK(quotes == 0 || (quotes == 2 && line.back() == '"'), "quotes in \"%s\"", line.c_str());
    const size_t cut = line.find(line.compare(0, 13, "@PJL PRINTLOG") == 0 ? ',' : '=');
    ++seen[line.substr(0, std::min(cut, line.size()) + 1)];
  }
  for (const char* prefix :
       {"@PJL SET USERNAME=", "@PJL SET JOBNAME=", "@PJL JOB NAME=", "@PJL PRINTLOG ITEM = 2,",
        "@PJL PRINTLOG ITEM = 3,", "@PJL PRINTLOG ITEM = 4,", "@PJL SET JOBTIME ="})
    FUZZ_CHECK(seen[prefix] == 1, "%d lines of %s", seen[prefix], prefix);
  FUZZ_CHECK(seen["@PJL SET LOGINUSER="] == secure, "LOGINUSER lines: %d", seen["@PJL SET LOGINUSER="]);
  FUZZ_CHECK(seen["@PJL SET HOLDKEY="] == secure, "HOLDKEY lines: %d", seen["@PJL SET HOLDKEY="]);
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

// The PJL job header built from hostile settings, user, title, host name and
// time texts: every line one PJL command of at most 255 bytes, values that
// can neither end their line nor their quotes, no zero byte, at most 8191
// bytes in all; the log's copy the same but for the masked PIN. And the value
// cutter on its own.
#include <algorithm>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "pjl.h"
#include "settings.h"

namespace {

using hrvfuzz::FuzzInput;

// Choices of the job options, every option's mixed (the dictionary has more).
const std::vector<std::string> kWords = [] {
  std::istringstream in(
      "A4 B5 PLAIN THICK ENV ENVTHICK LABLE GLOSSY HOLEPUNCHED Color Mono Auto AUTO MPTRAY TRAY1 TRAY4 None "
      "DuplexTumble 300dpi 600dpi 1200dpi 2400dpi 10 8 -3 99999999999999999999 False 0 7 ON OFF "
      "ReducePaperCurl "
      "ImproveTonerFixing PrinterDefault 2minutes 30minutes 15minutes");
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}();

std::string choice(FuzzInput& in) {
  const uint8_t pick = in.byte();
  return pick < 192 ? kWords[pick % kWords.size()] : in.text(300);
}

char madeSafe(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c == '"' ? '\'' : c;
}
bool isContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const size_t room = in.byte();
  const std::string value = in.text(600);
  FUZZ_CHECK(shownSafely(hrv::pjlSafeValue(value, room), value, room),
             "pjlSafeValue cut %zu bytes for room %zu", value.size(), room);

  // Settings as the PPD reader settles them, or raw values it would never
  // produce (any colour flag, any password text).
  hrv::StringLogger log;
  hrv::HeaderInput hin;
  hrv::JobSettings& s = hin.settings;
  if (in.flag()) {
    const hrv::SettingsResult r = hrv::readJobSettings(
        [&](const char*) { return in.byte() < 64 ? std::nullopt : std::optional<std::string>(choice(in)); },
        log);
    if (r.passwordRefused) return 0;  // such a job never gets a header
    s = r.settings;
  } else {
    for (std::string* f : {&s.pageSize, &s.mediaType}) *f = choice(in);
    s.colorFlag = in.flag() ? in.byte() % 4 : in.int32();
    for (std::string* f : {&s.inputSlot, &s.duplex, &s.resolution}) *f = choice(in);
    s.enhance1200 = in.flag();
    s.resize = choice(in);
    s.password = in.flag() ? "False" : in.text(300);
    for (std::string* f : {&s.tonerSave, &s.printOutput, &s.brightness, &s.contrast, &s.densityRed,
                           &s.densityGreen, &s.densityBlue, &s.sleep, &s.quietMode})
      *f = choice(in);
  }
  for (std::string* f : {&hin.user, &hin.title, &hin.hostName}) *f = in.text(600);
  hin.times.logItem = in.flag() ? "Sun,06,Dec 2026 04:42:25" : in.text(300);
  hin.times.jobTime = in.flag() ? "20261206044225" : in.text(300);
  hin.rasterSize = in.flag() ? "B5" : in.text(40);
  const hrv::Header h = hrv::buildPjlHeader(hin, log);

  const std::string& t = h.text;
  FUZZ_CHECK(t.size() <= hrv::kMaxHeader && t.find('\0') == std::string::npos, "header of %zu bytes",
             t.size());
  FUZZ_CHECK(t.rfind(hrv::kPjlLeadIn, 0) == 0 && t.back() == '\n', "no lead-in, or no last line feed");
  const std::string& position = h.mediaPosition;
  FUZZ_CHECK(position.size() == 17 && position.rfind("-dMediaPosition=", 0) == 0 &&
                 std::string("134578").find(position[16]) != std::string::npos,
             "media position %s", position.c_str());
  // The log's copy differs only where it masks the PIN.
  const bool secure = s.password != "False";
  const size_t key = secure ? t.find("\n@PJL SET HOLDKEY=") : std::string::npos;
  const size_t masked = key == std::string::npos ? t.size() : key + 18, maskEnd = t.find('\n', masked);
  FUZZ_CHECK(h.logText.size() == t.size(), "log text of %zu bytes", h.logText.size());
  for (size_t i = 0; i < t.size(); ++i)
    FUZZ_CHECK(i >= masked && i < maskEnd ? h.logText[i] == '*' : h.logText[i] == t[i], "log text at %zu", i);
  // Every line is one PJL command: values can neither end a line nor their
  // quotes, nor add or hide lines.
  std::map<std::string, int> seen;
  for (size_t from = hrv::kPjlLeadIn.size(), end; from < t.size(); from = end + 1) {
    end = t.find('\n', from);
    const std::string line = t.substr(from, end - from);
    FUZZ_CHECK(line.size() + 1 <= hrv::kMaxLine && line.rfind("@PJL ", 0) == 0, "line \"%s\"", line.c_str());
    for (char c : line) FUZZ_CHECK(madeSafe(c) == c || c == '"', "control byte in \"%s\"", line.c_str());
    const size_t quotes = std::count(line.begin(), line.end(), '"');
    FUZZ_CHECK(quotes == 0 || (quotes == 2 && line.back() == '"'), "quotes in \"%s\"", line.c_str());
    ++seen[line.substr(
        0, std::min(line.find(line.rfind("@PJL PRINTLOG", 0) == 0 ? ',' : '='), line.size()) + 1)];
  }
  for (const char* prefix :
       {"@PJL SET USERNAME=", "@PJL SET JOBNAME=", "@PJL JOB NAME=", "@PJL PRINTLOG ITEM = 2,",
        "@PJL PRINTLOG ITEM = 3,", "@PJL PRINTLOG ITEM = 4,", "@PJL SET JOBTIME ="})
    FUZZ_CHECK(seen[prefix] == 1, "%d lines of %s", seen[prefix], prefix);
  FUZZ_CHECK(seen["@PJL SET LOGINUSER="] == secure && seen["@PJL SET HOLDKEY="] == secure,
             "secure-print lines");
  return 0;
}

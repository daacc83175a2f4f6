#include "pjl.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <limits>

namespace hrv {

std::string_view utf8Prefix(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  // Step back over continuation bytes (10xxxxxx) so the cut falls before the
  // lead byte of the character it would split. A character has at most three
  // of them: more in a row is not UTF-8, and such text is cut where it is.
  auto continuation = [&](size_t at) { return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80; };
  for (size_t back = 0; back <= 3 && back <= maxBytes; ++back)
    if (!continuation(maxBytes - back)) return text.substr(0, maxBytes - back);
  return text.substr(0, maxBytes);
}

std::string pjlSafeValue(std::string_view value, size_t maxBytes) {
  std::string out(utf8Prefix(value, maxBytes));
  for (char& c : out) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F)
      c = ' ';
    else if (c == '"')
      c = '\'';
  }
  return out;
}

namespace {

class HeaderBuilder {
 public:
  explicit HeaderBuilder(Logger& log) : log_(log) {}

  // A fixed line of the envelope.
  void line(std::string_view text) { line(text, text); }

  // prefix + value + suffix + "\n", within the line limit.
  void valueLine(std::string_view prefix, std::string_view value, std::string_view suffix = {}) {
    const std::string l = composed(prefix, value, suffix);
    line(l, l);
  }

  // A value line whose value the log shows as '*' only.
  void secretLine(std::string_view prefix, std::string_view value) {
    const std::string l = composed(prefix, value, {});
    std::string shown = l;
    std::fill(shown.begin() + static_cast<std::ptrdiff_t>(prefix.size()), shown.end() - 1, '*');
    line(l, shown);
  }

  void quotedLine(std::string_view prefix, std::string_view value) {
    std::string p(prefix);
    p += '"';
    valueLine(p, value, "\"");
  }

  void raw(std::string_view text) { append(text, text); }

  void finish(Header& out) {
    out.text = std::move(text_);
    out.logText = std::move(logText_);
  }

 private:
  void line(std::string_view text, std::string_view shown) {
    if (!append(text, shown)) return;
    log_.printf("DEBUG:%s%.*s", kTag, static_cast<int>(shown.size()), shown.data());
  }

  static std::string composed(std::string_view prefix, std::string_view value, std::string_view suffix) {
    const size_t fixed = prefix.size() + suffix.size() + 1;
    const std::string safe = pjlSafeValue(value, kMaxLine - fixed);
    std::string l;
    l.reserve(fixed + safe.size());
    l.append(prefix).append(safe).append(suffix).append("\n");
    return l;
  }

  bool append(std::string_view text, std::string_view shown) {
    if (text_.size() + text.size() > kMaxHeader) {
      log_.printf("DEBUG:%sjob header full, line dropped\n", kTag);
      return false;
    }
    text_.append(text);
    logText_.append(shown);
    return true;
  }

  Logger& log_;
  std::string text_;
  std::string logText_;
};

long decimalOrZero(const std::string& text) {
  errno = 0;
  long n = std::strtol(text.c_str(), nullptr, 10);
  if (errno == ERANGE) return 0;
  return n;
}

// The scaling rate is the resize choice in tenths times 100; a choice so
// large that the product does not fit reads like any other non-number.
long long scalingRate(long tenths) {
  constexpr long long kLimit = std::numeric_limits<long long>::max() / 100;
  if (tenths > kLimit || tenths < -kLimit) return 0;
  return static_cast<long long>(tenths) * 100;
}

}  // namespace

Header buildPjlHeader(const HeaderInput& in, Logger& log) {
  const JobSettings& s = in.settings;
  HeaderBuilder h(log);
  Header out;

  h.raw(kPjlLeadIn);

  if (s.password == "False") {
    h.quotedLine("@PJL SET USERNAME=", in.user);
    h.quotedLine("@PJL SET JOBNAME=", in.title);
  } else {
    h.line("@PJL SET REPRINT=OFF\n");
    h.line("@PJL SET HOLD=STORE\n");
    h.line("@PJL SET HOLDTYPE=PRIVATE\n");
    h.secretLine("@PJL SET HOLDKEY=", s.password);
    h.quotedLine("@PJL SET USERNAME=", in.user);
    h.quotedLine("@PJL SET LOGINUSER=", in.user);
    h.quotedLine("@PJL SET JOBNAME=", in.title);
  }

  h.line("@PJL PRINTLOG ITEM = 1,PRINTER\n");
  h.valueLine("@PJL PRINTLOG ITEM = 2,", in.times.logItem);
  h.valueLine("@PJL PRINTLOG ITEM = 3,", in.user);
  h.valueLine("@PJL PRINTLOG ITEM = 4,", in.hostName);
  h.quotedLine("@PJL JOB NAME=", in.title);
  h.valueLine("@PJL SET JOBTIME = ", in.times.jobTime);

  switch (s.colorFlag) {
    case kMono:
      h.line("@PJL SET RENDERMODE=GRAYSCALE\n");
      h.line("@PJL SET COLORMODE=NONE\n");
      h.line("@PJL SET COLORADAPT=OFF\n");
      break;
    case kAuto:
      h.line("@PJL SET RENDERMODE=COLOR\n");
      h.line("@PJL SET COLORMODE=AUTO\n");
      h.line("@PJL SET COLORADAPT=ON\n");
      break;
    default:
      h.line("@PJL SET RENDERMODE=COLOR\n");
      h.line("@PJL SET COLORMODE=AUTO\n");
      h.line("@PJL SET COLORADAPT=OFF\n");
      break;
  }

  if (s.resolution == "300dpi") {
    h.line("@PJL SET RESOLUTION=300\n");
    h.line("@PJL SET HQMMODE=OFF\n");
  } else if (s.resolution == "600dpi") {
    if (s.enhance1200) {
      h.line("@PJL SET APTMODE=B8H\n");
      h.line("@PJL SET RESOLUTION=600\n");
      h.line("@PJL SET PAPERFEEDSPEED=FULL\n");
      h.line("@PJL SET HQMMODE=OFF\n");
    } else {
      h.line("@PJL SET APTMODE=OFF\n");
      h.line("@PJL SET RESOLUTION=600\n");
    }
  }

  if (s.brightness != "0") h.valueLine("@PJL SET BRIGHTNESS=", s.brightness);
  if (s.contrast != "0") h.valueLine("@PJL SET CONTRAST=", s.contrast);
  if (s.densityRed != "0") h.valueLine("@PJL SET DENSITYRED=", s.densityRed);
  if (s.densityGreen != "0") h.valueLine("@PJL SET DENSITYGREEN=", s.densityGreen);
  if (s.densityBlue != "0") h.valueLine("@PJL SET DENSITYBLUE=", s.densityBlue);

  long scale = decimalOrZero(s.resize);
  if (scale != 10) h.valueLine("@PJL SET PRINTSCALINGRATE=", std::to_string(scalingRate(scale)));

  if (s.tonerSave == "ON")
    h.line("@PJL SET ECONOMODE=ON\n");
  else if (s.tonerSave == "OFF")
    h.line("@PJL SET ECONOMODE=OFF\n");

  struct Slot {
    const char* name;
    const char* fixLine;
    const char* position;
  };
  static const Slot kSlots[] = {
      {"MPTRAY", "@PJL SET PCLMPFIX=ON\n", "-dMediaPosition=3"},
      {"TRAY1", "@PJL SET PCLT1FIX=ON\n", "-dMediaPosition=4"},
      {"TRAY2", "@PJL SET PCLT2FIX=ON\n", "-dMediaPosition=5"},
      {"TRAY3", "@PJL SET PCLT3FIX=ON\n", "-dMediaPosition=7"},
      {"TRAY4", "@PJL SET PCLT4FIX=ON\n", "-dMediaPosition=8"},
  };
  out.mediaPosition = "-dMediaPosition=1";
  bool slotFound = false;
  for (const Slot& slot : kSlots) {
    if (s.inputSlot == slot.name) {
      h.line(std::string("@PJL SET SOURCETRAY=") + slot.name + "\n");
      h.line(slot.fixLine);
      out.mediaPosition = slot.position;
      slotFound = true;
      break;
    }
  }
  if (!slotFound) h.line("@PJL SET SOURCETRAY=AUTO\n");

  if (in.rasterSize == "B5") h.line("@PJL SET PAPER=JISB5\n");

  static const std::pair<const char*, const char*> kMedia[] = {
      {"PLAIN", "REGULAR"},
      {"THIN", "THIN"},
      {"THICK", "THICK"},
      {"THICKERPAPER2", "THICK2"},
      {"BOND", "BOND"},
      {"ENV", "ENVELOPES"},
      {"ENVTHICK", "ENVTHICK"},
      {"ENVTHIN", "ENVTHIN"},
      {"RECYCLED", "RECYCLED"},
      {"LABLE", "LABEL"},
      {"COLOR", "COLOR"},
      {"GLOSSY", "GLOSSY"},
      {"LETTERHEAD", "LETTERHEAD"},
      {"HOLEPUNCHED", "HOLEPUNCHED"},
  };
  for (const auto& m : kMedia) {
    if (s.mediaType == m.first) {
      h.line(std::string("@PJL SET MEDIATYPE=") + m.second + "\n");
      break;
    }
  }

  if (s.printOutput == "None") {
    h.line("@PJL SET LESSPAPERCURL=OFF\n");
    h.line("@PJL SET FIXINTENSITYUP=OFF\n");
  } else if (s.printOutput == "ReducePaperCurl") {
    h.line("@PJL SET LESSPAPERCURL=ON\n");
    h.line("@PJL SET FIXINTENSITYUP=OFF\n");
  } else if (s.printOutput == "ImproveTonerFixing") {
    h.line("@PJL SET LESSPAPERCURL=OFF\n");
    h.line("@PJL SET FIXINTENSITYUP=ON\n");
  }

  if (s.quietMode == "ON") h.line("@PJL SET QUIETMODE=ON\n");

  if (s.sleep != "PrinterDefault") {
    std::string minutes = s.sleep;
    if (minutes == "2minutes")
      minutes = "2";
    else if (minutes == "5minutes")
      minutes = "5";
    else if (minutes == "10minutes")
      minutes = "10";
    else if (minutes == "30minutes")
      minutes = "30";
    h.line("@PJL DEFAULT AUTOSLEEP=ON\n");
    h.valueLine("@PJL DEFAULT TIMEOUTSLEEP=", minutes);
    h.line("@PJL SET AUTOSLEEP=ON\n");
    h.valueLine("@PJL SET TIMEOUTSLEEP=", minutes);
  }

  h.finish(out);

  static const char kBanner[] =
      "**********************************************************************************************\n";
  log.write(kBanner);
  log.write("\t\t\t\tPrint Job Head Start\t\t\t\t\t       \n");
  log.write(kBanner);
  return out;
}

}  // namespace hrv

// The PJL job envelope: header, trailer and cancel sequence.
#pragma once

#include <string>
#include <string_view>

#include "log.h"
#include "settings.h"
#include "timetext.h"

namespace hrv {

inline constexpr std::string_view kPjlLeadIn = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL\n";
inline constexpr std::string_view kPjlTrailer = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL EOJ\n\x1b%-12345X";
inline constexpr std::string_view kPjlCancel = "\x1b%-12345X\n\x1b#+54321X_VORN@PJL CANCEL\n\x1b%-12345X";

inline constexpr size_t kMaxLine = 255;     // a line composed with a job value
inline constexpr size_t kMaxHeader = 8191;  // the whole header

struct HeaderInput {
  JobSettings settings;
  std::string user;
  std::string title;
  std::string hostName;
  TimeTexts times;
  std::string rasterSize;  // size detected from the MediaBox, or "NULL"
};

struct Header {
  std::string text;           // never longer than kMaxHeader, never holds a zero byte
  std::string logText;        // the same with the secure-print PIN shown as '*', for logs
  std::string mediaPosition;  // "-dMediaPosition=N" for the rasterizer
};

// A job value made safe for a PJL line: control bytes become blanks and '"'
// becomes '\'', so a value can neither end its line nor its quotes; then it is
// cut to at most `maxBytes`, never inside a UTF-8 character.
std::string pjlSafeValue(std::string_view value, size_t maxBytes);

// Cuts `text` to at most `maxBytes` bytes at a UTF-8 character boundary,
// stepping back at most three bytes (text that is not UTF-8 is cut as it is).
std::string_view utf8Prefix(std::string_view text, size_t maxBytes);

// The header of one job. It takes no CUPS types: any program with its own
// job settings builds the same bytes. Logs each varying line, the PIN masked.
Header buildPjlHeader(const HeaderInput& in, Logger& log);

}  // namespace hrv

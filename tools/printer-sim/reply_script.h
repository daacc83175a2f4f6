// Scripted printer answers for the simulator: the lock reply scripts, the
// status reply scripts, a cursor that walks a script (restarting when a
// script file is rewritten) and a matcher that finds a request text in data
// that arrives in pieces. No I/O.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hrv::sim {

inline constexpr std::string_view kLockRequest = "LockPrinter?";
inline constexpr std::string_view kStatusRequest = "GetStatus;";

// The bytes the simulator sends. Every "CODE=" line ends with "\r\n".
inline constexpr std::string_view kLockReady = "CODE=00001\r\n";
inline constexpr std::string_view kLockBusy = "CODE=00002\r\n";
inline constexpr std::string_view kGarbage = "%$#GARBAGE#$%\r\n";

struct Reply {
  bool silent = false;  // send nothing at all
  std::string bytes;    // may be empty: an empty datagram
  std::string label;    // for the log: "ready", "busy", "silent", "10001", ...
};

// Replies used one per request, in order; the last one repeats for ever.
struct Script {
  std::vector<Reply> steps;
  const Reply& at(size_t index) const;
};

// Lock script: steps separated by commas or white space.
//   ready      "CODE=00001\r\n"
//   busy       "CODE=00002\r\n"
//   busy:N     N times busy, then ready
//   silent     no answer
//   garbage    "%$#GARBAGE#$%\r\n"
//   raw:TEXT   TEXT as given, with the escapes \r \n \t \\ \s (blank) \c (comma) \xNN
//              (write '*' as \x2a)
// Any step may end in *N to stand N times ("busy*2,ready" equals "busy:2").
bool parseLockScript(std::string_view text, Script& out, std::string& error);

// Status script, same separators and *N:
//   NNNNN          one line "CODE=NNNNN\r\n" (one to five digits, zero-padded)
//   NNNNN+MMMMM    several lines in one datagram
//   empty          an empty datagram
//   silent         no answer
//   garbage, raw:TEXT as for the lock script
bool parseStatusScript(std::string_view text, Script& out, std::string& error);

// Decodes the escapes of raw:TEXT. False on a bad escape.
bool unescape(std::string_view text, std::string& out);

// Walks a script given as text. The text may change between requests (a
// script file rewritten by a test): then the walk starts again at its first
// step. A text that does not parse answers nothing and reports why.
class ScriptCursor {
 public:
  using Parser = bool (*)(std::string_view, Script&, std::string&);
  explicit ScriptCursor(Parser parser) : parser_(parser) {}

  Reply next(std::string_view text, std::string& error);

 private:
  Parser parser_;
  bool parsed_ = false;
  bool valid_ = false;
  std::string text_;
  std::string error_;
  Script script_;
  size_t index_ = 0;
};

// Counts occurrences of a request text in a byte stream fed in pieces,
// including occurrences split across pieces.
class RequestMatcher {
 public:
  explicit RequestMatcher(std::string_view request);
  size_t feed(std::string_view chunk);

 private:
  std::string request_;
  std::vector<size_t> fail_;
  size_t matched_ = 0;
};

}  // namespace hrv::sim

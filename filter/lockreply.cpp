#include "lockreply.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace hrv {

namespace {

bool isSeparator(char c) {
  return c == 'C' || c == 'O' || c == 'D';
}
bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// "E=%5s" at the start of a token: up to five non-blank characters after
// "E=" and any blanks.
bool matchCodeText(const char* token, size_t len, std::string& text) {
  if (len < 2 || token[0] != 'E' || token[1] != '=') return false;
  size_t i = 2;
  while (i < len && isSpace(token[i])) ++i;
  text.clear();
  while (i < len && !isSpace(token[i]) && text.size() < 5) text += token[i++];
  return !text.empty();
}

}  // namespace

int scanLockReply(const char* reply, int code, Logger& log) {
  const char* p = reply;
  std::string text;
  for (;;) {
    while (*p && isSeparator(*p)) ++p;
    if (!*p) break;
    const char* start = p;
    while (*p && !isSeparator(*p)) ++p;
    size_t len = static_cast<size_t>(p - start);

    if (matchCodeText(start, len, text)) {
      log.printf("%s DEBUG: (LockPrinter?)=%s\n", kTag, printable(text).c_str());
      bool digits = true;
      for (char c : text) digits = digits && c >= '0' && c <= '9';
      code = digits ? std::atoi(text.c_str()) : kLockNoAnswer;
    }
    if (code == 1) return 1;
    if (code == 2) log.printf("%s DEBUG: LockPrinter receives 00002 printer busy\n", kTag);
    log.printf("%s DEBUG: (LockPrinter?)OPL_Response_NumTmp=%d\n", kTag, code);
  }
  return code;
}

}  // namespace hrv

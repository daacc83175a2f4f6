#include "log.h"

#include <unistd.h>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace hrv {

void Logger::printf(const char* fmt, ...) {
  char small[1024];
  va_list ap;
  va_start(ap, fmt);
  va_list again;
  va_copy(again, ap);
  int n = std::vsnprintf(small, sizeof small, fmt, ap);
  va_end(ap);
  if (n < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    write(std::string_view(small, static_cast<size_t>(n)));
  } else {
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), fmt, again);
    big.resize(static_cast<size_t>(n));
    write(big);
  }
  va_end(again);
}

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

void StderrLogger::write(std::string_view text) {
  // One write per line keeps lines whole in the scheduler's log.
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t w = ::write(STDERR_FILENO, p, left);
    if (w < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += w;
    left -= static_cast<size_t>(w);
  }
}

}  // namespace hrv

#include "timetext.h"

namespace hrv {

namespace {
std::string format(const char* fmt, const std::tm& t, size_t size) {
  char buf[64] = {};
  if (size > sizeof buf) size = sizeof buf;
  size_t n = std::strftime(buf, size, fmt, &t);
  return std::string(buf, n);
}
}  // namespace

TimeTexts formatTimeTexts(const std::tm& local) {
  TimeTexts t;
  t.logItem = format("%a,%d,%b %Y %H:%M:%S", local, 25);
  t.jobTime = format("%Y%m%d%H%M%S", local, 30);
  t.logDate = format("%Y年%m月%d日%T %A", local, 50);
  return t;
}

}  // namespace hrv

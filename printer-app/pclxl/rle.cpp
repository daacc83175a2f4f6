#include "rle.h"

namespace hrv::pxl {

namespace {
constexpr size_t kMaxRun = 128;
}

void rleEncode(const uint8_t* data, size_t size, std::string& out) {
  size_t i = 0;
  while (i < size) {
    size_t run = 1;
    while (i + run < size && run < kMaxRun && data[i + run] == data[i]) ++run;
    if (run >= 2) {
      out.push_back(static_cast<char>(257 - run));
      out.push_back(static_cast<char>(data[i]));
      i += run;
      continue;
    }
    // Literal bytes up to the next run of three or the longest literal.
    size_t start = i;
    while (i < size && i - start < kMaxRun) {
      if (i + 2 < size && data[i] == data[i + 1] && data[i] == data[i + 2]) break;
      ++i;
    }
    out.push_back(static_cast<char>(i - start - 1));
    out.append(reinterpret_cast<const char*>(data + start), i - start);
  }
}

bool rleDecode(std::string_view data, size_t limit, std::string& out) {
  size_t produced = 0;
  size_t pos = 0;
  while (pos < data.size()) {
    auto n = static_cast<uint8_t>(data[pos++]);
    if (n == 128) continue;
    if (n < 128) {
      size_t count = size_t{n} + 1;
      if (data.size() - pos < count || limit - produced < count) return false;
      out.append(data.substr(pos, count));
      pos += count;
      produced += count;
    } else {
      size_t count = 257 - size_t{n};
      if (pos >= data.size() || limit - produced < count) return false;
      out.append(count, data[pos++]);
      produced += count;
    }
  }
  return true;
}

}  // namespace hrv::pxl

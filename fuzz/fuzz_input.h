// Shared pieces of the fuzz targets: typed values carved out of the fuzzer's
// bytes, and a check whose failure is a crash (libFuzzer keeps the input).
// Builds with gcc too, for the replay programs of the normal builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#define FUZZ_CHECK(cond, ...)                                                         \
  do {                                                                                \
    if (!(cond)) {                                                                    \
      std::fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #cond); \
      std::fprintf(stderr, __VA_ARGS__);                                              \
      std::fputc('\n', stderr);                                                       \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

namespace hrvfuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

  // The next byte, 0 once the input is used up.
  uint8_t byte() {
    const uint8_t b = rest_.empty() ? 0 : static_cast<uint8_t>(rest_[0]);
    rest_.remove_prefix(rest_.empty() ? 0 : 1);
    return b;
  }
  bool flag() { return byte() & 1; }
  int32_t int32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
    return static_cast<int32_t>(v);
  }

  // Bytes up to a lone backslash (a doubled one stands for one), at most
  // `maxLen`; any byte value, the zero byte included.
  std::string text(size_t maxLen = 4096) {
    std::string out;
    while (!rest_.empty() && out.size() < maxLen) {
      const char c = static_cast<char>(byte());
      if (c == '\\' && (rest_.empty() || byte() != '\\')) break;
      out += c;
    }
    return out;
  }

  std::string_view rest() { return std::exchange(rest_, std::string_view()); }

 private:
  std::string_view rest_;
};

}  // namespace hrvfuzz

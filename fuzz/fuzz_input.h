// Shared pieces of the fuzz targets: carving typed values out of the
// fuzzer's bytes, and a check that stops the run when a property fails.
// Builds with gcc too (the replay programs of the normal builds).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

// A failed property is a crash to libFuzzer, which keeps the input.
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
  FuzzInput(const uint8_t* data, size_t size) : p_(data), left_(size) {}

  bool empty() const { return left_ == 0; }

  // The next byte, 0 once the input is used up.
  uint8_t byte() {
    if (left_ == 0) return 0;
    --left_;
    return *p_++;
  }

  bool flag() { return byte() & 1; }

  int32_t int32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
    return static_cast<int32_t>(v);
  }

  // Bytes up to a lone backslash (a doubled backslash stands for one), at
  // most `maxLen`. Every byte value can appear, the zero byte included.
  std::string text(size_t maxLen = 4096) {
    std::string out;
    while (left_ > 0 && out.size() < maxLen) {
      char c = static_cast<char>(byte());
      if (c == '\\') {
        if (left_ == 0) break;
        char next = static_cast<char>(byte());
        if (next != '\\') break;
      }
      out += c;
    }
    return out;
  }

  // Mostly one of the known `choices` (so table lookups are reached), else
  // free text.
  std::string choiceOrText(std::initializer_list<const char*> choices, size_t maxLen = 4096) {
    uint8_t pick = byte();
    if (pick < 192 && choices.size() > 0) return *(choices.begin() + pick % choices.size());
    return text(maxLen);
  }

  std::string_view rest() {
    std::string_view r(reinterpret_cast<const char*>(p_), left_);
    p_ += left_;
    left_ = 0;
    return r;
  }

 private:
  const uint8_t* p_;
  size_t left_;
};

}  // namespace hrvfuzz

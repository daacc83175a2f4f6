// Debug and control lines of the filter. The driver writes them to standard
// error (CUPS keeps them in its log); tests collect them in a string.
#pragma once

#include <string>
#include <string_view>

namespace hrv {

inline constexpr const char kTag[] = "[VORN-HRV5720ZWB]";

// Text from outside (printer replies, Ghostscript's output, the spooled
// document) for a log line: control bytes become "\xNN", so such text can
// neither end the line nor start a CUPS control line of its own.
std::string printable(std::string_view text);

class Logger {
 public:
  virtual ~Logger() = default;
  virtual void write(std::string_view text) = 0;
  void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
};

class StderrLogger final : public Logger {
 public:
  void write(std::string_view text) override;
};

class StringLogger final : public Logger {
 public:
  void write(std::string_view text) override { text_.append(text); }
  const std::string& text() const { return text_; }
  void clear() { text_.clear(); }

 private:
  std::string text_;
};

}  // namespace hrv

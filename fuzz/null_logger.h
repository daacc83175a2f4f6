// The filter's debug lines are still formatted (so a bad value reaches
// printf) but go nowhere.
#pragma once

#include "log.h"

namespace hrvfuzz {

class NullLogger final : public hrv::Logger {
 public:
  void write(std::string_view text) override { bytes_ += text.size(); }
  size_t bytes() const { return bytes_; }

 private:
  size_t bytes_ = 0;
};

}  // namespace hrvfuzz

// The summary line of one area of fault injection, e.g.
// "faults: sigterm-random 100 cases, 0 failures, 0 crashes".
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class Tally {
 public:
  explicit Tally(std::string area) : area_(std::move(area)) {}
  ~Tally() {
    std::printf("faults: %s %d cases, %d failures, %d crashes%s%s\n", area_.c_str(), cases_, failures_,
                crashes_, note_.empty() ? "" : "; ", note_.c_str());
    std::fflush(stdout);
  }
  // One case: no problems means it passed; `crashed` when the filter died by
  // a signal or ended with another status than expected.
  void add(const std::vector<std::string>& problems, bool crashed) {
    ++cases_;
    failures_ += !problems.empty();
    crashes_ += crashed;
  }
  void note(const std::string& text) { note_ = text; }

 private:
  std::string area_, note_;
  int cases_ = 0, failures_ = 0, crashes_ = 0;
};

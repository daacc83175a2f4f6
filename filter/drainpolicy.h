// How the forwarding loop judges the backend's answers to its drain requests.
#pragma once

namespace hrv {

class DrainFailures {
 public:
  enum class Action { kGoOn, kPauseThenGoOn, kCancel };

  // The network backend's I/O errors count too; USB counts only time-outs
  // and missing answers.
  explicit DrainFailures(bool network) : network_(network) {}

  // OK resets the count; a counted failure pauses, and the eleventh in a
  // row cancels the job; other statuses change nothing.
  Action record(int status);

  int count() const { return count_; }

 private:
  bool network_;
  int count_ = 0;
};

}  // namespace hrv

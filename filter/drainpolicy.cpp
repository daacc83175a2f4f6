#include "drainpolicy.h"

#include "channels.h"

namespace hrv {

DrainFailures::Action DrainFailures::record(int status) {
  if (status == kScOk) {
    count_ = 0;
    return Action::kGoOn;
  }
  const bool counted = status == kScTimeout || status == kScNoResponse || (network_ && status == kScIoError);
  if (!counted) return Action::kGoOn;
  if (count_ > 9) return Action::kCancel;
  ++count_;
  return Action::kPauseThenGoOn;
}

}  // namespace hrv

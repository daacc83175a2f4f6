// Cancel signals brought to a safe point: the handlers only note the signal
// and write a byte to a self-pipe; the waits of the filter watch that pipe
// and the cancel path runs from ordinary code.
#pragma once

namespace hrv {

class CancelSignal {
 public:
  // Routes SIGTERM (and SIGINT when asked) to the self-pipe. SIGPIPE is
  // ignored: a backend that went away is a failed write, not a user's cancel.
  static void install(bool withSigint);

  static bool pending();
  static int signalNumber();
  // The read end of the self-pipe, for poll().
  static int fd();

  // Sleeps up to `ms` milliseconds (monotonic clock); returns true at once
  // when a cancel signal arrives.
  static bool sleepMs(long long ms);
};

}  // namespace hrv

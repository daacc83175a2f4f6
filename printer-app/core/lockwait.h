// The lock handshake of a network job: "LockPrinter?" in the job's data
// stream, the printer's "CODE=" answer on the same connection, repeated until
// the printer answers ready. The connection is the caller's (PAPPL's socket
// device); this part only decides.
#pragma once

#include <cstddef>
#include <string_view>

#include "log.h"

namespace hrv::app {

inline constexpr std::string_view kLockRequest = "LockPrinter?";

class LockChannel {
 public:
  virtual ~LockChannel() = default;
  // False when the connection is gone.
  virtual bool send(std::string_view bytes) = 0;
  // Bytes read into `buffer` (at most `size`), 0 when nothing came within the
  // read time-out, negative when the printer closed the connection.
  virtual long receive(char* buffer, size_t size) = 0;
  virtual bool canceled() = 0;
  // Waits one second before the next request (returns early on a cancel).
  virtual void pause() = 0;
  // Tells the user why the job waits: the printer is busy, or silent.
  virtual void waiting(bool busy) = 0;
};

enum class LockAnswer { kReady, kBusy, kNoAnswer, kLost, kCanceled };

// One attempt: the request, then reads until a ready, busy or no answer. A
// short read is read again up to three times; an answer with another code is
// read again without a new request.
LockAnswer lockAttempt(LockChannel& channel, Logger& log);

// Attempts until the printer answers ready, the job is canceled or the
// connection is lost; returns kReady, kCanceled or kLost.
LockAnswer waitForLock(LockChannel& channel, Logger& log);

}  // namespace hrv::app

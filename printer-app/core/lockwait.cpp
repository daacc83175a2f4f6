#include "lockwait.h"

#include <cstring>

#include "lockreply.h"

namespace hrv::app {

namespace {
constexpr size_t kReplyBuffer = 10240;
constexpr int kShortReply = 3;  // a read of this many bytes or fewer is read again
constexpr int kRereads = 3;
}  // namespace

LockAnswer lockAttempt(LockChannel& channel, Logger& log) {
  if (!channel.send(kLockRequest)) return LockAnswer::kLost;
  log.printf("%s DEBUG: LockPrinter?\n", kTag);
  char buffer[kReplyBuffer];
  const size_t readMax = sizeof buffer - 1;  // keeps the reply terminated
  int code = kLockNoAnswer;
  for (;;) {
    if (channel.canceled()) return LockAnswer::kCanceled;
    std::memset(buffer, 0, sizeof buffer);
    long n = channel.receive(buffer, readMax);
    if (n < 0) return LockAnswer::kLost;
    size_t used = static_cast<size_t>(n);
    if (n <= kShortReply) {
      code = kLockNoAnswer;
      // A re-read adds to what came before, within the space left.
      for (int again = 0; again < kRereads && !channel.canceled(); ++again) {
        n = channel.receive(buffer + used, readMax - used);
        if (n < 0) return LockAnswer::kLost;
        used += static_cast<size_t>(n);
        if (n > 1) break;
      }
    }
    code = scanLockReply(buffer, code, log);
    if (code == 1) return LockAnswer::kReady;
    if (code == 2) return LockAnswer::kBusy;
    if (code == kLockNoAnswer) return LockAnswer::kNoAnswer;
  }
}

LockAnswer waitForLock(LockChannel& channel, Logger& log) {
  for (;;) {
    if (channel.canceled()) return LockAnswer::kCanceled;
    const LockAnswer answer = lockAttempt(channel, log);
    if (answer == LockAnswer::kReady || answer == LockAnswer::kLost || answer == LockAnswer::kCanceled)
      return answer;
    channel.waiting(answer == LockAnswer::kBusy);
    channel.pause();
  }
}

}  // namespace hrv::app

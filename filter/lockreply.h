// Reading the printer's answer to "LockPrinter?".
#pragma once

#include "log.h"

namespace hrv {

inline constexpr int kLockNoAnswer = 255;

// Splits the reply at every 'C', 'O' and 'D' and reads each "E=" token in
// order ("CODE=00001" yields the token "E=00001"). Starts from `code`;
// returns 1 as soon as a token carries code 1, else the last code seen
// (255 for a token whose text is not all digits). `reply` is terminated.
int scanLockReply(const char* reply, int code, Logger& log);

}  // namespace hrv

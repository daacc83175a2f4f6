// The printer's answer to "LockPrinter?", as the back channel delivers it
// into the terminated read buffer.
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "lockreply.h"
#include "null_logger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::FuzzInput in(data, size);
  // The code the attempt starts from: no answer yet, or a code left by an
  // earlier read of the same attempt.
  const int start = in.flag() ? hrv::kLockNoAnswer : in.int32();
  std::string_view bytes = in.rest();
  // The reply buffer is a C string: it ends at the first zero byte.
  const std::string reply(bytes.substr(0, bytes.find('\0')));
  hrvfuzz::NullLogger log;

  const int code = hrv::scanLockReply(reply.c_str(), start, log);
  // A code comes from up to five characters: five digits, else "no answer".
  FUZZ_CHECK(code == start || code == hrv::kLockNoAnswer || (code >= 0 && code <= 99999),
             "code %d from start %d", code, start);
  if (reply.find('E') == std::string::npos) FUZZ_CHECK(code == start, "no token, yet code %d", code);

  // A ready answer anywhere in the read wins, after any other tokens.
  const std::string ready = "CODE=00001";
  FUZZ_CHECK(hrv::scanLockReply((reply + ready).c_str(), start, log) == 1, "ready after \"%s\" missed",
             reply.c_str());
  FUZZ_CHECK(hrv::scanLockReply((ready + reply).c_str(), start, log) == 1, "ready before \"%s\" missed",
             reply.c_str());
  return 0;
}

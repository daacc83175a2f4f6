// The printer's answer to "LockPrinter?", as the back channel delivers it
// into the terminated read buffer, read from the code an attempt starts with
// (no answer yet, or one left by an earlier read of the same attempt).
#include <string>

#include "fuzz_input.h"
#include "lockreply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::FuzzInput in(data, size);
  const int start = in.flag() ? hrv::kLockNoAnswer : in.int32();
  const std::string_view bytes = in.rest();
  const std::string reply(bytes.substr(0, bytes.find('\0')));  // a C string
  hrv::StringLogger log;
  const int code = hrv::scanLockReply(reply.c_str(), start, log);
  // A code comes from up to five characters: five digits, else "no answer".
  FUZZ_CHECK(code == start || code == hrv::kLockNoAnswer || (code >= 0 && code <= 99999), "code %d from %d",
             code, start);
  if (reply.find('E') == std::string::npos) FUZZ_CHECK(code == start, "no token, yet code %d", code);
  // A ready answer anywhere in the read wins, after any other tokens.
  for (const std::string& r : {reply + "CODE=00001", "CODE=00001" + reply})
    FUZZ_CHECK(hrv::scanLockReply(r.c_str(), start, log) == 1, "ready missed in \"%s\"", r.c_str());
  return 0;
}

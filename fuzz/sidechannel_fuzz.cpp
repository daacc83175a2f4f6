// One side-channel message from the backend, parsed as libcups does into a
// data buffer of exactly the size offered (so a copy past it is caught).
#include <cstring>
#include <memory>

#include "channels.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::FuzzInput in(data, size);
  const int expect = in.byte() % 13;
  // The filter offers 1, 512 or 10240 bytes; any size up to a full message.
  const int offered = (in.byte() << 8 | in.byte()) % 65540;
  const std::string_view bytes = in.rest();
  std::unique_ptr<unsigned char[]> msg(new unsigned char[bytes.size() + 1]);  // its own size
  std::memcpy(msg.get(), bytes.data(), bytes.size());
  std::unique_ptr<char[]> buffer(new char[offered > 0 ? offered : 1]);
  int len = offered;
  const int status = hrv::parseSideChannelMessage(msg.get(), bytes.size(), expect, buffer.get(), &len);

  const bool usable = bytes.size() >= 4 && msg[0] >= 1 && msg[0] < 12;
  FUZZ_CHECK(usable == (status >= 0) && status >= -1 && status <= 255, "status %d for %zu bytes", status,
             bytes.size());
  FUZZ_CHECK(len >= 0 && len <= offered, "data length %d of %d", len, offered);
  if (!usable) return 0;
  const int declared = msg[2] << 8 | msg[3];
  if (declared <= offered && static_cast<size_t>(declared) <= bytes.size() - 4) {
    FUZZ_CHECK(len == declared, "data length %d, message says %d", len, declared);
    FUZZ_CHECK(std::memcmp(buffer.get(), msg.get() + 4, static_cast<size_t>(len)) == 0, "data not copied");
  } else {  // too big for the buffer, or longer than what arrived
    FUZZ_CHECK(len == offered && (status == hrv::kScTooBig || status == hrv::kScBadMessage), "%d, %d", len,
               status);
  }
  if (msg[0] != expect) FUZZ_CHECK(status == hrv::kScBadMessage, "wrong command, status %d", status);
  return 0;
}

// An emulated HRV5720ZWB on an emulated USB bus, for tests of everything that
// talks to the printer through libusb. A test writes what the printer says as
// a chat; one usbfs ioctl handler on umockdev replays it for every program of
// the test that opens the printer. README.md describes the chat.
#pragma once

#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hrvtest {

using Bytes = std::vector<unsigned char>;

inline Bytes toBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// How the printer ends one bulk transfer.
struct Reply {
  enum class Kind { Data, Short, Timeout, Error };
  Kind kind = Kind::Data;
  Bytes data = {};
  int n = 0;  // the bytes of a short write taken, the errno of a failure

  static Reply bytes(Bytes data) { return {Kind::Data, std::move(data), 0}; }
  static Reply text(std::string_view text) { return bytes(toBytes(text)); }
  static Reply empty() { return {}; }
  static Reply shortWrite(int taken) { return {Kind::Short, {}, taken}; }
  static Reply timeout() { return {Kind::Timeout, {}, 0}; }
  static Reply failure(int error = EPROTO) { return {Kind::Error, {}, error}; }
};

// A write that begins with `request` ends as `write` says and queues
// `replies` for the next reads; for `times` writes (0: all).
struct Line {
  std::string request = {};
  std::vector<Reply> replies = {};
  Reply write = {};
  int times = 0;
  int used = 0;  // writes served so far
};

struct Script {
  std::vector<Line> chat = {};
  Reply idle = Reply::timeout();  // a read with no reply queued
  std::string driver = {};        // the kernel driver on interface 0
  int detachError = 0, claimError = 0, releaseError = 0;
  std::function<void(const Bytes&)> watch = {};  // each write taken, on the emulation's thread
};

// Plugged in at construction, unplugged at destruction.
class EmulatedPrinter {
 public:
  explicit EmulatedPrinter(Script script = {});
  ~EmulatedPrinter();
  EmulatedPrinter(const EmulatedPrinter&) = delete;
  EmulatedPrinter& operator=(const EmulatedPrinter&) = delete;

  // Changes the script under the emulation's lock; returns it as it is then.
  Script script(const std::function<void(Script&)>& change = {});

  // What the printer took, write by write.
  std::vector<Bytes> requests() const;
  std::string writtenText() const;
  void clearWritten();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace hrvtest

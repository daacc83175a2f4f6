// An emulated HRV5720ZWB on an emulated USB bus, for tests of everything that
// talks to the printer through libusb (see README.md). A test writes what the
// printer says as a chat; one usbfs ioctl handler on umockdev replays it for
// every program of the test that opens the printer.
#pragma once

#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hrvtest {

using Bytes = std::vector<unsigned char>;

Bytes toBytes(std::string_view text);

// How the printer ends one bulk transfer: data (a read gets it, a write is
// taken whole), the first n bytes of a write taken, only the host's time-out,
// or failure with errno n.
struct Reply {
  enum class Kind { Data, Short, Timeout, Error };
  Kind kind = Kind::Data;
  Bytes data = {};
  int n = 0;

  static Reply bytes(Bytes data) { return {Kind::Data, std::move(data), 0}; }
  static Reply text(std::string_view text) { return bytes(toBytes(text)); }
  static Reply empty() { return {}; }
  static Reply shortWrite(int taken) { return {Kind::Short, {}, taken}; }
  static Reply timeout() { return {Kind::Timeout, {}, 0}; }
  static Reply failure(int error = EPROTO) { return {Kind::Error, {}, error}; }
};

// A write that begins with `request` (empty: any) ends as `write` says and,
// taken whole, queues `replies` for the next reads; for `times` writes (0:
// all), then the next line for the request takes over.
struct Line {
  std::string request = {};
  std::vector<Reply> replies = {};
  Reply write = {};
  int times = 0;
  int used = 0;  // writes served so far
};

// The printer's behaviour: its chat, a read's reply with none queued, the
// kernel driver on interface 0, failing ioctls (errno), a watcher of writes.
struct Script {
  std::vector<Line> chat = {};
  Reply idle = Reply::timeout();
  std::string driver = {};
  int detachError = 0, claimError = 0, releaseError = 0;
  std::function<void(const Bytes&)> watch = {};
};

class EmulatedPrinter {
 public:
  // Plugged in at construction, unplugged at destruction.
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

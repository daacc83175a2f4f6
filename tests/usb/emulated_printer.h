// An emulated HRV5720ZWB on an emulated USB bus, for tests of everything that
// talks to the printer through libusb.
//
// Built on umockdev: a testbed holds a root hub and the printer (vendor 0x0EFD,
// product 0x0092, interface 0 of class 7, bulk OUT 0x01, bulk IN 0x82), and the
// usbfs ioctls on the printer's device node are answered here, so a test
// decides at run time how the printer behaves. The process must run under the
// umockdev preload library (see README.md); one EmulatedPrinter per process at
// a time.
#pragma once

#include <array>
#include <cerrno>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hrvtest {

using Bytes = std::vector<unsigned char>;

Bytes toBytes(std::string_view text);

// How the printer completes one bulk IN transfer (a read by the host).
struct Reply {
  enum class Kind { Data, Hang, Error };
  Kind kind = Kind::Data;
  Bytes data;     // Data: delivered bytes (may be empty: a zero-length packet)
  int error = 0;  // Error: the errno the transfer ends with

  static Reply bytes(Bytes data);
  static Reply text(std::string_view text);
  static Reply empty();
  // The printer never answers; the host's time-out ends the transfer.
  static Reply hang();
  // EPROTO: an I/O error on the wire; EPIPE: a stalled endpoint.
  static Reply failure(int error = EPROTO);
};

// How the printer completes one bulk OUT transfer (a write by the host).
struct WriteResult {
  enum class Kind { Accept, Partial, Hang, Error };
  Kind kind = Kind::Accept;
  std::size_t accepted = 0;  // Partial: how many bytes the printer takes
  int error = 0;             // Error: the errno the transfer ends with

  static WriteResult accept();
  static WriteResult partial(std::size_t accepted);
  static WriteResult hang();
  static WriteResult failure(int error = EPROTO);
};

// Computes the replies to one request (the bytes of one completed write).
// Each returned reply serves one later read, in order.
using Responder = std::function<std::vector<Reply>(const Bytes& request)>;

class EmulatedPrinter {
 public:
  explicit EmulatedPrinter(bool plugged = true);
  ~EmulatedPrinter();
  EmulatedPrinter(const EmulatedPrinter&) = delete;
  EmulatedPrinter& operator=(const EmulatedPrinter&) = delete;

  // The bus. Plugging in again gives the printer a new device address, as
  // a real bus does; connections opened before an unplug fail with ENODEV.
  void plug();
  void unplug();

  // Replies. By default "CheckStatus?" and "CheckIP?" are answered as set
  // below and other requests get no reply. A responder replaces that.
  void answerStatus(std::string_view reply);                   // e.g. "CODE=10001\r\n"
  void answerStatus(std::vector<Reply> replies);               // one per read
  void answerIp(const std::array<unsigned char, 12>& record);  // "IPadd:" + record
  void setResponder(Responder responder);
  // Replies served before any computed ones, e.g. for a read without a request.
  void queueReply(Reply reply);
  // What a read gets when no reply is pending. Default: hang(), as a real
  // printer NAKs until it has something to say.
  void setIdleReply(Reply reply);
  // Outcomes of the next writes, in order; afterwards writes are accepted.
  void queueWriteResult(WriteResult result);

  // The interface's kernel driver. bindKernelDriver() makes the printer look
  // like one the usblp driver has taken; a detach unbinds it.
  void bindKernelDriver(std::string name = "usblp");
  std::string kernelDriver() const;  // "" when no driver is bound
  void failDetach(int error);        // 0: detaching works again
  void failRelease(int error);       // 0: releasing works again

  // Everything the printer received, in order, and the same split by write.
  Bytes written() const;
  std::string writtenText() const;
  std::vector<Bytes> requests() const;
  void clearWritten();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace hrvtest

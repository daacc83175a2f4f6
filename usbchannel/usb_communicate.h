// USB printer channel: one short connection to the printer per use
// (open, exchange, release) over libusb-1.0.
//
// The same source is built twice: for the status monitor and, with
// HRV_USBCHANNEL_NETSETUP defined, for the network setup tool. The builds
// differ in their time-outs, in whether a zero-length read counts as a reply,
// in their debug lines and in one extra detach attempt of the setup tool.
#pragma once

#include <memory>

#include "config.h"
#include "printerlock.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

class usb_communicate {
 public:
  // Result codes.
  static constexpr int kOk = 0;
  static constexpr int kPrinterBusy = 251;  // another program has the printer open
  static constexpr int kNoPrinter = 252;
  static constexpr int kWriteFailed = 253;
  static constexpr int kReadFailed = 254;
  static constexpr int kDetachOrReleaseFailed = 255;

#ifdef HRV_USBCHANNEL_NETSETUP
  static constexpr bool kSetupToolBuild = true;
  static constexpr unsigned kWriteTimeoutMs = hrv::kUsbWriteTimeoutMsNetsetup;
  static constexpr unsigned kReadTimeoutMs = hrv::kUsbReadTimeoutMsNetsetup;
  static constexpr unsigned kLockWaitMs = hrv::kUsbLockWaitMsNetsetup;
#else
  static constexpr bool kSetupToolBuild = false;
  static constexpr unsigned kWriteTimeoutMs = hrv::kUsbWriteTimeoutMsMonitor;
  static constexpr unsigned kReadTimeoutMs = hrv::kUsbReadTimeoutMsMonitor;
  static constexpr unsigned kLockWaitMs = hrv::kUsbLockWaitMsMonitor;
#endif

  usb_communicate();
  ~usb_communicate();
  usb_communicate(const usb_communicate&) = delete;
  usb_communicate& operator=(const usb_communicate&) = delete;

  // 1 when a printer with our vendor and product id is on the bus, else 0.
  // Opens nothing; only reads device descriptors.
  int checkUSBDevice();
  // 0, kNoPrinter, kDetachOrReleaseFailed, or kPrinterBusy when another
  // program still has the printer open after kLockWaitMs. The printer stays
  // locked against other programs until the connection is closed.
  int initDevice();
  // 0 or kWriteFailed.
  int SendCmd(unsigned char* data, unsigned int length);
  // Number of bytes read, or kReadFailed; the second form with its own
  // time-out instead of kReadTimeoutMs.
  int ReadCmd(unsigned char* buffer, unsigned int length);
  int ReadCmd(unsigned char* buffer, unsigned int length, unsigned timeoutMs);
  // 0 or kDetachOrReleaseFailed; on failure the connection stays as it is
  // until the next initDevice.
  int releaseDevice();

  // Takes the printer's lock ahead of initDevice, for a caller that decides
  // from it whether to talk to the printer at all: 0 (held until the
  // connection closes or endReservation), kPrinterBusy, or kNoPrinter.
  int reservePrinter();
  // Lets go of a reservation that no connection took up.
  void endReservation();

 private:
  struct ContextCloser {
    void operator()(libusb_context* ctx) const;
  };
  struct HandleCloser {
    void operator()(libusb_device_handle* handle) const;
  };

  void closeConnection();
  // Locks the node of the printer device `dev` unless this channel holds it.
  int lockPrinter(libusb_device* dev);

  // Declared in this order so that the handle is always closed before
  // its context ends.
  std::unique_ptr<libusb_context, ContextCloser> context_;
  std::unique_ptr<libusb_device_handle, HandleCloser> handle_;
  PrinterLock lock_;
};

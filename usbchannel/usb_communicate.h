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

struct libusb_context;
struct libusb_device_handle;

class usb_communicate {
 public:
  // Result codes.
  static constexpr int kOk = 0;
  static constexpr int kNoPrinter = 252;
  static constexpr int kWriteFailed = 253;
  static constexpr int kReadFailed = 254;
  static constexpr int kDetachOrReleaseFailed = 255;

#ifdef HRV_USBCHANNEL_NETSETUP
  static constexpr bool kSetupToolBuild = true;
  static constexpr unsigned kWriteTimeoutMs = hrv::kUsbWriteTimeoutMsNetsetup;
  static constexpr unsigned kReadTimeoutMs = hrv::kUsbReadTimeoutMsNetsetup;
#else
  static constexpr bool kSetupToolBuild = false;
  static constexpr unsigned kWriteTimeoutMs = hrv::kUsbWriteTimeoutMsMonitor;
  static constexpr unsigned kReadTimeoutMs = hrv::kUsbReadTimeoutMsMonitor;
#endif

  usb_communicate();
  ~usb_communicate();
  usb_communicate(const usb_communicate&) = delete;
  usb_communicate& operator=(const usb_communicate&) = delete;

  // 1 when a printer with our vendor and product id is on the bus, else 0.
  // Opens nothing; only reads device descriptors.
  int checkUSBDevice();
  // 0, kNoPrinter or kDetachOrReleaseFailed.
  int initDevice();
  // 0 or kWriteFailed.
  int SendCmd(unsigned char* data, unsigned int length);
  // Number of bytes read, or kReadFailed.
  int ReadCmd(unsigned char* buffer, unsigned int length);
  // 0 or kDetachOrReleaseFailed; on failure the connection stays as it is
  // until the next initDevice.
  int releaseDevice();

 private:
  struct ContextCloser {
    void operator()(libusb_context* ctx) const;
  };
  struct HandleCloser {
    void operator()(libusb_device_handle* handle) const;
  };

  void closeConnection();

  // Declared in this order so that the handle is always closed before
  // its context ends.
  std::unique_ptr<libusb_context, ContextCloser> context_;
  std::unique_ptr<libusb_device_handle, HandleCloser> handle_;
};

#include "usbdevice.h"

#include <pappl/pappl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "config.h"
#include "usb_communicate.h"

namespace hrv::app {

namespace {

usb_communicate* channel(pappl_device_t* device) {
  return static_cast<usb_communicate*>(papplDeviceGetData(device));
}

bool listPrinter(pappl_device_cb_t cb, void* data, pappl_deverror_cb_t, void*) {
  usb_communicate usb;
  if (usb.checkUSBDevice() != 1) return false;
  return cb("Vorn HRV5720ZWB (USB)", kPrinterAppUsbUri, kPrinterAppDeviceId, data);
}

bool openPrinter(pappl_device_t* device, const char*, const char*) {
  auto* usb = new usb_communicate;
  const int result = usb->initDevice();
  if (result != usb_communicate::kOk) {
    papplDeviceError(device, "The HRV5720ZWB on USB cannot be opened (code %d).", result);
    delete usb;
    return false;
  }
  papplDeviceSetData(device, usb);
  return true;
}

void closePrinter(pappl_device_t* device) {
  usb_communicate* usb = channel(device);
  if (!usb) return;
  usb->releaseDevice();
  delete usb;
  papplDeviceSetData(device, nullptr);
}

ssize_t readPrinter(pappl_device_t* device, void* buffer, size_t bytes) {
  const int n = channel(device)->ReadCmd(static_cast<unsigned char*>(buffer),
                                         static_cast<unsigned>(std::min<size_t>(bytes, 0x10000)));
  return n == usb_communicate::kReadFailed ? -1 : n;
}

// One bulk packet per write: a write the printer did not take within the
// channel's time-out carried nothing, so it is sent again, until the printer
// has taken nothing for the stall limit.
ssize_t writePrinter(pappl_device_t* device, const void* buffer, size_t bytes) {
  usb_communicate* usb = channel(device);
  auto* p = static_cast<unsigned char*>(const_cast<void*>(buffer));
  size_t done = 0;
  auto lastProgress = std::chrono::steady_clock::now();
  while (done < bytes) {
    const auto piece = static_cast<unsigned>(std::min<size_t>(bytes - done, kPrinterAppUsbPacket));
    if (usb->SendCmd(p + done, piece) == usb_communicate::kOk) {
      done += piece;
      lastProgress = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - lastProgress >
               std::chrono::seconds(kPrinterAppUsbStallSeconds)) {
      papplDeviceError(device, "The HRV5720ZWB on USB took no data for %d seconds.",
                       kPrinterAppUsbStallSeconds);
      return -1;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a failure that did not wait
    }
  }
  return static_cast<ssize_t>(bytes);
}

char* printerId(pappl_device_t*, char* buffer, size_t size) {
  papplCopyString(buffer, kPrinterAppDeviceId, size);
  return buffer;
}

}  // namespace

void addUsbDeviceScheme() {
  // PAPPL adds its own schemes (socket, usb, file, ...) at its first device
  // lookup unless some scheme exists already: look one up first.
  papplDeviceIsSupported("socket://localhost");
  papplDeviceAddScheme(kPrinterAppUsbScheme, PAPPL_DEVTYPE_CUSTOM_LOCAL, listPrinter, openPrinter,
                       closePrinter, readPrinter, writePrinter, nullptr, printerId);
}

}  // namespace hrv::app

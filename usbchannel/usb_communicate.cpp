#include "usb_communicate.h"

#include <libusb.h>

#include <QCoreApplication>
#include <QDebug>

#include <climits>

namespace {

constexpr int kInterface = hrv::kUsbInterface;

// The device list of one lookup. Freed (together with the references the list
// holds on its devices) when the owner goes out of scope, which must happen
// before the context that produced it ends.
class DeviceList {
 public:
  explicit DeviceList(libusb_context* ctx)
      : count_(ctx ? libusb_get_device_list(ctx, &devices_) : ssize_t{LIBUSB_ERROR_OTHER}) {}
  ~DeviceList() {
    if (devices_) libusb_free_device_list(devices_, 1);
  }
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;

  bool ok() const { return count_ >= 0; }
  ssize_t size() const { return count_ < 0 ? 0 : count_; }
  libusb_device* operator[](ssize_t i) const { return devices_[i]; }

 private:
  libusb_device** devices_ = nullptr;
  ssize_t count_;
};

libusb_context* newContext() {
  libusb_context* ctx = nullptr;
  if (libusb_init(&ctx) != 0) return nullptr;
  return ctx;
}

bool isPrinter(libusb_device* dev) {
  libusb_device_descriptor desc{};
  if (libusb_get_device_descriptor(dev, &desc) != 0) return false;
  return desc.idVendor == hrv::kUsbVendor && desc.idProduct == hrv::kUsbProduct;
}

}  // namespace

void usb_communicate::ContextCloser::operator()(libusb_context* ctx) const {
  libusb_exit(ctx);
}

void usb_communicate::HandleCloser::operator()(libusb_device_handle* handle) const {
  libusb_close(handle);
}

usb_communicate::usb_communicate() = default;

usb_communicate::~usb_communicate() = default;

void usb_communicate::closeConnection() {
  handle_.reset();
  context_.reset();
  lock_.drop();
}

int usb_communicate::checkUSBDevice() {
  // A private context, so that an open connection is left untouched.
  std::unique_ptr<libusb_context, ContextCloser> ctx(newContext());
  if (!ctx) return 0;
  DeviceList devices(ctx.get());
  for (ssize_t i = 0; i < devices.size(); ++i) {
    if (isPrinter(devices[i])) return 1;
  }
  return 0;
}

int usb_communicate::initDevice() {
  // A connection whose interface release failed is still open; close it
  // now so that repeated failures cannot pile up handles and contexts.
  if (handle_) closeConnection();

  context_.reset(newContext());
  bool listed = false;
  int locked = kOk;
  {
    DeviceList devices(context_.get());
    listed = devices.ok();
    libusb_device* printer = nullptr;
    for (ssize_t i = 0; i < devices.size() && !printer; ++i)
      if (isPrinter(devices[i])) printer = devices[i];
    if (printer) locked = lockPrinter(printer);
    libusb_device_handle* handle = nullptr;
    if (printer && locked == kOk && libusb_open(printer, &handle) == 0) handle_.reset(handle);
  }
  if (locked == kPrinterBusy) {
    closeConnection();
    return kPrinterBusy;
  }
  if (!listed) {
    closeConnection();
    return kNoPrinter;
  }
  if (!handle_) {
    qDebug() << "find device error";
    closeConnection();
    return kNoPrinter;
  }

  if constexpr (kSetupToolBuild) {
    // The setup tool always tries once, whatever the interface's state.
    qDebug() << libusb_detach_kernel_driver(handle_.get(), kInterface);
  }

  if (libusb_kernel_driver_active(handle_.get(), kInterface) == 1) {
    if (libusb_detach_kernel_driver(handle_.get(), kInterface) == 0) return kOk;
    qDebug() << "GET_DEVICE_ERROR";
    closeConnection();
    return kDetachOrReleaseFailed;
  }
  qDebug() << "kernel driver not active";
  return kOk;
}

int usb_communicate::lockPrinter(libusb_device* dev) {
  const std::string node =
      usbDeviceNode(hrv::kUsbDevfsRoot, libusb_get_bus_number(dev), libusb_get_device_address(dev));
  if (lock_.held() && lock_.node() == node) return kOk;
  // A node that cannot be opened leaves the decision to libusb's own open.
  if (lock_.take(node, kLockWaitMs, hrv::kUsbLockPollMs) != PrinterLock::Result::Busy) return kOk;
  qDebug() << "printer in use by another program";
  return kPrinterBusy;
}

int usb_communicate::reservePrinter() {
  std::unique_ptr<libusb_context, ContextCloser> ctx(newContext());
  DeviceList devices(ctx.get());
  for (ssize_t i = 0; i < devices.size(); ++i)
    if (isPrinter(devices[i])) return lockPrinter(devices[i]);
  return kNoPrinter;
}

void usb_communicate::endReservation() {
  if (!handle_) lock_.drop();
}

int usb_communicate::SendCmd(unsigned char* data, unsigned int length) {
  if (!handle_ || libusb_claim_interface(handle_.get(), kInterface) != 0) {
    qDebug() << "Cannot Claim Interface";
    return kWriteFailed;
  }
  int written = 0;
  int r = LIBUSB_ERROR_INVALID_PARAM;
  if (length <= INT_MAX)
    r = libusb_bulk_transfer(handle_.get(), hrv::kUsbBulkOut, data, static_cast<int>(length), &written,
                             kWriteTimeoutMs);
  if (r == 0 && static_cast<unsigned>(written) == length) return kOk;
  qDebug() << "Write Error";
  return kWriteFailed;
}

int usb_communicate::ReadCmd(unsigned char* buffer, unsigned int length) {
  return ReadCmd(buffer, length, kReadTimeoutMs);
}

int usb_communicate::ReadCmd(unsigned char* buffer, unsigned int length, unsigned timeoutMs) {
  if (!handle_ || libusb_claim_interface(handle_.get(), kInterface) != 0) {
    qDebug() << "Cannot Claim Interface";
    return kReadFailed;
  }
  int received = 0;
  const int r = libusb_bulk_transfer(handle_.get(), hrv::kUsbBulkIn, buffer,
                                     length > INT_MAX ? INT_MAX : static_cast<int>(length), &received,
                                     timeoutMs == 0 ? 1 : timeoutMs);  // 0 would mean no time-out at all
  if constexpr (!kSetupToolBuild) {
    qDebug().noquote()
        << QCoreApplication::translate("usb_communicate", "ReadCmd libusb_bulk_transfer return = %1").arg(r);
  }
  // The setup tool expects an answer to every request, so an empty read is
  // a failure there; the monitor treats it as "nothing to report".
  const int minimum = kSetupToolBuild ? 1 : 0;
  if (r == 0 && received >= minimum) return received;
  qDebug() << "read Error";
  return kReadFailed;
}

int usb_communicate::releaseDevice() {
  if constexpr (!kSetupToolBuild) qDebug() << "release Device";
  if (!handle_ || libusb_release_interface(handle_.get(), kInterface) != 0) {
    qDebug() << "Cannot Release Interface";
    return kDetachOrReleaseFailed;
  }
  closeConnection();
  return kOk;
}

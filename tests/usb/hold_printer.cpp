// Another program using the printer: opens it, claims its interface, prints
// "held" and keeps it until its standard input closes.
#include "config.h"

#include <libusb.h>

#include <unistd.h>
#include <cstdio>

int main() {
  libusb_context* ctx = nullptr;
  if (libusb_init(&ctx) != 0) return 2;
  libusb_device_handle* handle = libusb_open_device_with_vid_pid(ctx, hrv::kUsbVendor, hrv::kUsbProduct);
  int status = 3;
  if (handle) {
    status = 4;
    if (libusb_claim_interface(handle, hrv::kUsbInterface) == 0) {
      std::puts("held");
      std::fflush(stdout);
      char c;
      while (read(STDIN_FILENO, &c, 1) > 0) {
      }
      status = libusb_release_interface(handle, hrv::kUsbInterface) == 0 ? 0 : 5;
    }
    libusb_close(handle);
  }
  libusb_exit(ctx);
  return status;
}

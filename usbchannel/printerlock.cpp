#include "printerlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

PrinterLock::Result PrinterLock::take(const std::string& node, unsigned waitMs, unsigned pollMs) {
  drop();
  const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Result::Unavailable;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  bool busy = false;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      fd_ = fd;
      node_ = node;
      return Result::Held;
    }
    busy = errno == EWOULDBLOCK || errno == EINTR;
    if (!busy || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
  }
  ::close(fd);
  return busy ? Result::Busy : Result::Unavailable;
}

void PrinterLock::drop() {
  if (fd_ >= 0) ::close(fd_);  // closing the only file that holds it releases the lock
  fd_ = -1;
  node_.clear();
}

std::string usbDeviceNode(const char* root, int bus, int address) {
  char tail[16];
  std::snprintf(tail, sizeof tail, "/%03d/%03d", bus & 0xff, address & 0xff);
  return std::string(root) + tail;
}

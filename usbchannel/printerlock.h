// The inter-process lock that lets one program at a time use the printer:
// an exclusive flock on the printer's USB device node. Only users who may
// open the printer can open its node, so nobody else can hold the printer up.
#pragma once

#include <string>

class PrinterLock {
 public:
  enum class Result { Held, Busy, Unavailable };

  PrinterLock() = default;
  ~PrinterLock() { drop(); }
  PrinterLock(const PrinterLock&) = delete;
  PrinterLock& operator=(const PrinterLock&) = delete;

  // Locks `node`, waiting up to waitMs (checked every pollMs) while another
  // open file of it holds the lock. Unavailable: the node cannot be opened.
  Result take(const std::string& node, unsigned waitMs, unsigned pollMs);
  void drop();
  bool held() const { return fd_ >= 0; }
  const std::string& node() const { return node_; }

 private:
  int fd_ = -1;
  std::string node_;
};

// "<root>/BBB/DDD": the node of the device at that bus number and address.
std::string usbDeviceNode(const char* root, int bus, int address);

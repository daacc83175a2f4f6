// Where a monitor learns the printer's state: the USB monitor asks over USB
// inside each polling step, the network monitor sends a datagram and handles
// the answer when it arrives. The window owns one source and drives it.
#pragma once

class MainWindow;

class StatusSource {
 public:
  virtual ~StatusSource() = default;
  // Called once, as the last step of the window's construction.
  virtual void start(MainWindow& window) { (void)window; }
  // One polling step (the window's printerStateCheck).
  virtual void poll(MainWindow& window) = 0;
};

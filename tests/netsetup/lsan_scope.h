// Qt 5's platform plugins keep their screen objects past the application's
// end. The test programs create their QApplication inside this scope so that
// the leak checker of the sanitizer build does not count those.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

class LeakChecksOff {
 public:
  LeakChecksOff() {
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();
#endif
  }
  ~LeakChecksOff() {
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
  }
  LeakChecksOff(const LeakChecksOff&) = delete;
  LeakChecksOff& operator=(const LeakChecksOff&) = delete;
};

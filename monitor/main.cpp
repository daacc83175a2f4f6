// statusmon: the USB status monitor, one per logged-in user.
#include <memory>

#include "monitorapp.h"
#include "monitorconfig.h"
#include "usbstatussource.h"

int main(int argc, char* argv[]) {
  return runMonitor(argc, argv, usbMonitorConfig(), [] { return std::make_unique<UsbStatusSource>(); });
}

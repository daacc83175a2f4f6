// statusmon-net: the network status monitor, one per logged-in user.
#include <memory>

#include "monitorapp.h"
#include "monitorconfig.h"
#include "netstatussource.h"

int main(int argc, char* argv[]) {
  return runMonitor(argc, argv, networkMonitorConfig(), [] { return std::make_unique<NetStatusSource>(); });
}

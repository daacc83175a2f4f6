// Asking the printer for its status answer.
//
// Network: "GetStatus;" to the printer's UDP status port from a socket of the
// application's own, on a port the system picks, and the printer's answer
// back to that port. The network status monitor (statusmon-net) keeps UDP
// port 9102 for its own requests; binding that port too would take the
// monitor's answers away (the system gives each datagram to one socket), so
// the application never does. Answers from another sender are ignored.
//
// USB: "CheckStatus?" through usb_communicate, one short connection.
#pragma once

#include <optional>
#include <string>

namespace hrv::app {

std::optional<std::string> queryNetworkStatus(const std::string& host, int port, int timeoutMs);
std::optional<std::string> queryUsbStatus();

}  // namespace hrv::app

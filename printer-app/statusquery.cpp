#include "statusquery.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "config.h"
#include "statusdecoder.h"
#include "usb_communicate.h"

namespace hrv::app {

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

struct AddrInfoFree {
  void operator()(addrinfo* ai) const { freeaddrinfo(ai); }
};

bool sameHost(const sockaddr_storage& a, const sockaddr* b) {
  if (a.ss_family != b->sa_family) return false;
  if (a.ss_family == AF_INET)
    return std::memcmp(&reinterpret_cast<const sockaddr_in&>(a).sin_addr,
                       &reinterpret_cast<const sockaddr_in*>(b)->sin_addr, sizeof(in_addr)) == 0;
  if (a.ss_family == AF_INET6)
    return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(a).sin6_addr,
                       &reinterpret_cast<const sockaddr_in6*>(b)->sin6_addr, sizeof(in6_addr)) == 0;
  return false;
}

}  // namespace

std::optional<std::string> queryNetworkStatus(const std::string& host, int port, int timeoutMs) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found)
    return std::nullopt;
  std::unique_ptr<addrinfo, AddrInfoFree> printer(found);

  Fd fd(::socket(printer->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) return std::nullopt;
  const std::string_view request = monitor::kStatusRequestNet;
  if (::sendto(fd.get(), request.data(), request.size(), MSG_NOSIGNAL, printer->ai_addr,
               printer->ai_addrlen) != static_cast<ssize_t>(request.size()))
    return std::nullopt;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[monitor::kReplyBufferSize];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{fd.get(), POLLIN, 0};
    int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    sockaddr_storage from{};
    socklen_t fromLen = sizeof from;
    ssize_t n = ::recvfrom(fd.get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (sameHost(from, printer->ai_addr)) return std::string(buffer, static_cast<size_t>(n));
  }
}

std::optional<std::string> queryUsbStatus() {
  usb_communicate usb;
  if (usb.initDevice() != usb_communicate::kOk) return std::nullopt;
  std::string request = monitor::kStatusRequestUsb;
  std::optional<std::string> answer;
  if (usb.SendCmd(reinterpret_cast<unsigned char*>(request.data()), static_cast<unsigned>(request.size())) ==
      usb_communicate::kOk) {
    unsigned char buffer[monitor::kReplyBufferSize] = {};
    // A read either fails (kReadFailed) or gives the bytes read; the status
    // answer is a few short lines, never that long. A read of nothing is no
    // answer over USB.
    int n = usb.ReadCmd(buffer, sizeof buffer - 1);
    if (n > 0 && n != usb_communicate::kReadFailed)
      answer = std::string(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
  }
  usb.releaseDevice();
  return answer;
}

}  // namespace hrv::app

#include "channels.h"

#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace hrv {

namespace {

constexpr size_t kMaxMessage = 65540;

long long nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int toMs(double seconds) {
  return seconds < 0 ? -1 : static_cast<int>(seconds * 1000);
}

}  // namespace

int waitFd(int fd, short events, int timeoutMs, int cancelFd, bool* cancelled) {
  *cancelled = false;
  const long long deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
  for (;;) {
    pollfd p[2] = {{fd, events, 0}, {cancelFd, POLLIN, 0}};
    int left = -1;
    if (deadline >= 0) {
      long long l = deadline - nowMs();
      left = l < 0 ? 0 : static_cast<int>(l);
    }
    int n = ::poll(p, cancelFd >= 0 ? 2 : 1, left);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) {
        if (cancelFd >= 0) {
          // A signal arrived: let the cancel pipe say whether it was ours.
          pollfd c{cancelFd, POLLIN, 0};
          if (::poll(&c, 1, 0) > 0) {
            *cancelled = true;
            return 0;
          }
        }
        continue;
      }
      return -1;
    }
    if (cancelFd >= 0 && (p[1].revents & POLLIN)) {
      *cancelled = true;
      return 0;
    }
    if (n == 0) return 0;
    if (p[0].revents & POLLNVAL) return -1;
    return 1;
  }
}

int parseSideChannelMessage(const unsigned char* msg, size_t len, int expectCommand, char* data,
                            int* dataLen) {
  if (len < 4) return -1;
  if (msg[0] < 1 || msg[0] >= 12) return -1;  // not a known command
  int dataLength = (msg[2] << 8) | msg[3];
  int status;
  if (!dataLen || dataLength > *dataLen || static_cast<size_t>(dataLength) > len - 4) {
    status = kScTooBig;
  } else {
    status = msg[1];
    *dataLen = dataLength;
    if (dataLength > 0) std::memcpy(data, msg + 4, static_cast<size_t>(dataLength));
  }
  if (msg[0] != expectCommand) return kScBadMessage;
  return status;
}

ChannelResult sideChannelRequest(int command, char* data, int* dataLen, double timeout, int cancelFd,
                                 int fd) {
  ChannelResult r;
  // Request: command, no status, no data.
  unsigned char request[4] = {static_cast<unsigned char>(command), 0, 0, 0};
  int ready = waitFd(fd, POLLOUT, toMs(timeout), cancelFd, &r.cancelled);
  if (r.cancelled) return r;
  if (ready < 1) {
    r.value = kScTimeout;
    return r;
  }
  ssize_t w;
  while ((w = ::write(fd, request, sizeof request)) < 0 && (errno == EINTR || errno == EAGAIN)) {
  }
  if (w != static_cast<ssize_t>(sizeof request)) {
    r.value = kScTimeout;
    return r;
  }

  ready = waitFd(fd, POLLIN, toMs(timeout), cancelFd, &r.cancelled);
  if (r.cancelled) return r;
  if (ready < 1) {
    r.value = kScTimeout;
    return r;
  }
  static unsigned char message[kMaxMessage];
  ssize_t n;
  while ((n = ::read(fd, message, sizeof message)) < 0 && (errno == EINTR || errno == EAGAIN)) {
  }
  if (n < 0) {
    r.value = kScTimeout;
    return r;
  }
  int status = parseSideChannelMessage(message, static_cast<size_t>(n), command, data, dataLen);
  r.value = status < 0 ? kScTimeout : status;
  return r;
}

ChannelResult backChannelRead(char* buffer, size_t bytes, double timeout, int cancelFd, int fd) {
  ChannelResult r;
  int ready = waitFd(fd, POLLIN, toMs(timeout), cancelFd, &r.cancelled);
  if (r.cancelled) return r;
  if (ready < 1) {
    r.value = -1;
    return r;
  }
  ssize_t n;
  while ((n = ::read(fd, buffer, bytes)) < 0 && errno == EINTR) {
  }
  r.value = static_cast<int>(n);
  return r;
}

}  // namespace hrv

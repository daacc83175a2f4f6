#include "cancel.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <ctime>

namespace hrv {

namespace {

volatile std::sig_atomic_t gSignal = 0;
int gPipe[2] = {-1, -1};

extern "C" void onCancelSignal(int sig) {
  int saved = errno;
  if (gSignal == 0) gSignal = sig;
  char c = static_cast<char>(sig);
  if (gPipe[1] >= 0) {
    ssize_t ignored = ::write(gPipe[1], &c, 1);
    (void)ignored;
  }
  errno = saved;
}

long long monotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

void CancelSignal::install(bool withSigint) {
  if (gPipe[0] < 0) {
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) gPipe[0] = gPipe[1] = -1;
  }
  struct sigaction sa {};
  sa.sa_handler = onCancelSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a blocked read or write returns at once
  sigaction(SIGTERM, &sa, nullptr);
  if (withSigint) sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool CancelSignal::pending() {
  return gSignal != 0;
}
int CancelSignal::signalNumber() {
  return gSignal;
}
int CancelSignal::fd() {
  return gPipe[0];
}

bool CancelSignal::sleepMs(long long ms) {
  const long long deadline = monotonicMs() + ms;
  for (;;) {
    if (pending()) return true;
    long long left = deadline - monotonicMs();
    if (left <= 0) return false;
    // Slices of at most a second keep the wait on the monotonic clock.
    pollfd p{gPipe[0], POLLIN, 0};
    ::poll(&p, gPipe[0] >= 0 ? 1 : 0, static_cast<int>(left < 1000 ? left : 1000));
  }
}

}  // namespace hrv

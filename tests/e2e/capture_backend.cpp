// hrvcapture: a CUPS backend for tests. It stands in for the USB printer: it
// writes the job's print stream to a file and answers the filter's
// side-channel requests.
//
//   hrvcapture:/dir                capture to /dir/job-<id>.prn (renamed from .part when done)
//   hrvcapture:/dir?drain=timeout  drain requests answered with a time-out status (default: OK)
//   hrvcapture:/dir?drain=silent   never answered
//   hrvcapture:/dir?slow=MS        pause MS milliseconds after each 64 KiB read
//   hrvcapture:/dir?drain=...&slow=MS  both (in this order)
#include <cups/backend.h>
#include <cups/sidechannel.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

int main(int argc, char** argv) {
  if (argc == 1) {
    std::puts("direct hrvcapture \"Unknown\" \"HRV5720ZWB capture backend for tests\"");
    return CUPS_BACKEND_OK;
  }
  if (argc < 6 || argc > 7) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
    return CUPS_BACKEND_FAILED;
  }
  const char* uri = std::getenv("DEVICE_URI");
  std::cmatch m;
  if (!uri ||
      !std::regex_match(uri, m, std::regex("hrvcapture:([^?]*)(\\?(drain=(\\w+))?&?(slow=(\\d+))?)?"))) {
    std::fprintf(stderr, "ERROR: hrvcapture: bad device URI\n");
    return CUPS_BACKEND_FAILED;
  }
  const std::string dir = m[1], drain = m[4].matched ? m[4].str() : "ok";
  const int slowMs = m[6].matched ? std::atoi(m[6].str().c_str()) : 0;
  const int in = argc == 7 ? ::open(argv[6], O_RDONLY) : 0;
  const std::string part = dir + "/job-" + argv[1] + ".prn.part";
  const int out = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) {
    std::perror("ERROR: hrvcapture");
    return CUPS_BACKEND_FAILED;
  }
  // Like CUPS's own backends: when the driver feeds us, a cancel (SIGTERM)
  // must not cut off what it still sends, such as its cancel sequence.
  if (argc == 6) signal(SIGTERM, SIG_IGN);
  std::fprintf(stderr, "STATE: -connecting-to-device\n");

  char buf[65536];
  for (int side = CUPS_SC_FD;;) {
    pollfd p[2] = {{in, POLLIN, 0}, {side, POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) continue;
    cups_sc_command_t command;
    cups_sc_status_t status;
    int len = sizeof buf;
    if ((p[1].revents & POLLIN) && cupsSideChannelRead(&command, &status, buf, &len, 1.0) == 0) {
      if (command != CUPS_SC_CMD_DRAIN_OUTPUT)
        cupsSideChannelWrite(command, CUPS_SC_STATUS_NOT_IMPLEMENTED, nullptr, 0, 1.0);
      else if (drain != "silent")
        cupsSideChannelWrite(command, drain == "timeout" ? CUPS_SC_STATUS_TIMEOUT : CUPS_SC_STATUS_OK,
                             nullptr, 0, 1.0);
    }
    if (p[1].revents & (POLLHUP | POLLNVAL)) side = -1;
    if (!(p[0].revents & (POLLIN | POLLHUP))) continue;
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t done = 0, w; done < n; done += w)
      if ((w = ::write(out, buf + done, static_cast<size_t>(n - done))) <= 0) return CUPS_BACKEND_FAILED;
    if (slowMs > 0) usleep(static_cast<useconds_t>(slowMs) * 1000);
  }
  ::close(out);
  ::rename(part.c_str(), (dir + "/job-" + argv[1] + ".prn").c_str());
  return CUPS_BACKEND_OK;
}

// hrvcapture: a CUPS backend for tests. It stands in for the USB printer:
// it writes the job's print stream to a file and answers the filter's
// side-channel requests.
//
//   hrvcapture:/dir            capture to /dir/job-<id>.prn (renamed from .part when done)
//   hrvcapture:/dir?drain=ok   drain requests answered OK (the default)
//   hrvcapture:/dir?drain=timeout     answered with a time-out status
//   hrvcapture:/dir?drain=silent      never answered
//   hrvcapture:/dir?slow=MS    pause MS milliseconds after each 64 KiB read
#include <cups/backend.h>
#include <cups/sidechannel.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Options {
  std::string dir;
  std::string drain = "ok";
  int slowMs = 0;
};

Options parseUri(const char* uri) {
  Options o;
  std::string u = uri ? uri : "";
  const std::string scheme = "hrvcapture:";
  if (u.rfind(scheme, 0) == 0) u = u.substr(scheme.size());
  size_t q = u.find('?');
  o.dir = u.substr(0, q);
  while (q != std::string::npos) {
    size_t next = u.find('&', q + 1);
    std::string kv = u.substr(q + 1, next == std::string::npos ? std::string::npos : next - q - 1);
    if (kv.rfind("drain=", 0) == 0) o.drain = kv.substr(6);
    if (kv.rfind("slow=", 0) == 0) o.slowMs = std::atoi(kv.c_str() + 5);
    q = next;
  }
  return o;
}

void answerSideChannel(const Options& o) {
  cups_sc_command_t command;
  cups_sc_status_t status;
  char data[2048];
  int len = sizeof data;
  if (cupsSideChannelRead(&command, &status, data, &len, 1.0)) return;
  if (command == CUPS_SC_CMD_DRAIN_OUTPUT) {
    if (o.drain == "silent") return;
    cupsSideChannelWrite(command, o.drain == "timeout" ? CUPS_SC_STATUS_TIMEOUT : CUPS_SC_STATUS_OK, nullptr,
                         0, 1.0);
  } else {
    cupsSideChannelWrite(command, CUPS_SC_STATUS_NOT_IMPLEMENTED, nullptr, 0, 1.0);
  }
}

}  // namespace

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
  Options o = parseUri(uri);
  int in = argc == 7 ? ::open(argv[6], O_RDONLY) : 0;
  std::string part = o.dir + "/job-" + argv[1] + ".prn.part";
  int out = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) {
    std::perror("ERROR: hrvcapture");
    return CUPS_BACKEND_FAILED;
  }
  // Like CUPS's own backends: when the driver feeds us, a cancel (SIGTERM)
  // must not cut off what it still sends, such as its cancel sequence.
  if (argc == 6) signal(SIGTERM, SIG_IGN);
  std::fprintf(stderr, "STATE: -connecting-to-device\n");

  char buf[65536];
  for (;;) {
    pollfd p[2] = {{in, POLLIN, 0}, {CUPS_SC_FD, POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) continue;
    if (p[1].revents & POLLIN) answerSideChannel(o);
    if (p[1].revents & (POLLHUP | POLLNVAL)) p[1].fd = -1;
    if (p[0].revents & (POLLIN | POLLHUP)) {
      ssize_t n = ::read(in, buf, sizeof buf);
      if (n <= 0) break;
      for (ssize_t done = 0; done < n;) {
        ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
        if (w <= 0) return CUPS_BACKEND_FAILED;
        done += w;
      }
      if (o.slowMs > 0) usleep(static_cast<useconds_t>(o.slowMs) * 1000);
    }
  }
  ::close(out);
  std::string done = o.dir + "/job-" + argv[1] + ".prn";
  ::rename(part.c_str(), done.c_str());
  return CUPS_BACKEND_OK;
}

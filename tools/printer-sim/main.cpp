// printer-sim: a stand-in for the printer's network side. Takes raw print
// jobs on TCP, answers the lock request inside the job data, answers status
// requests on UDP, and keeps every job in a capture file.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config.h"
#include "reply_script.h"
#include "unique_fd.h"

namespace {

using hrv::sim::Reply;
using hrv::sim::RequestMatcher;
using hrv::sim::ScriptCursor;
using hrv::sim::UniqueFd;

constexpr const char kUsage[] =
    "Usage: printer-sim [OPTIONS]\n"
    "\n"
    "Simulates the printer's network side on the loopback interface:\n"
    "  - TCP raw print port: every connection is one job, captured byte for byte\n"
    "    to DIR/job-NNNN.prn (written as job-NNNN.prn.part, renamed when the\n"
    "    sender closes the connection, then announced with a \"job N done\" line);\n"
    "  - inside the job data, each \"LockPrinter?\" request is answered at once on\n"
    "    the same connection with the next reply of the lock script;\n"
    "  - UDP status port: each datagram starting with \"GetStatus;\" is answered\n"
    "    to the sender's address and port with the next reply of the status\n"
    "    script.\n"
    "\n"
    "Options (also as --option=VALUE):\n"
    "  --port N            TCP print port (default 9100; 0 picks a free port)\n"
    "  --status-port N     UDP status port (default 9101; 0 picks a free port)\n"
    "  --no-status         do not open the UDP status port\n"
    "  --bind ADDR         IPv4 address to listen on (default 127.0.0.1)\n"
    "  --capture-dir DIR   where job files go (default: current directory;\n"
    "                      created if missing)\n"
    "  --lock SCRIPT       lock replies, one per request of a job (default ready)\n"
    "  --lock-file PATH    read the lock script from PATH at every request\n"
    "  --status SCRIPT     status replies, one per request (default 10001)\n"
    "  --status-file PATH  read the status script from PATH at every request\n"
    "  --ready-file PATH   once listening, write \"tcp=N\\nudp=N\\npid=N\\n\" to PATH\n"
    "                      (atomically); removed again on exit\n"
    "  --jobs N            exit after N finished jobs\n"
    "  --help              show this text\n"
    "\n"
    "Scripts: steps separated by commas or white space, used one per request in\n"
    "order; the last step repeats. Any step may end in *N (N times). A script\n"
    "given by file starts again at its first step whenever the file's content\n"
    "changes, so a test can switch the printer's state while it runs. The lock\n"
    "script restarts with every job (connection). A script file that cannot be\n"
    "read or does not parse gets no answer and a message on standard error.\n"
    "  Lock steps:   ready      sends \"CODE=00001\\r\\n\"\n"
    "                busy       sends \"CODE=00002\\r\\n\"\n"
    "                busy:N     N times busy, then ready\n"
    "                silent     sends nothing\n"
    "                garbage    sends \"%$#GARBAGE#$%\\r\\n\"\n"
    "                raw:TEXT   sends TEXT; escapes \\r \\n \\t \\\\ \\s (blank)\n"
    "                           \\c (comma) \\xNN ('*' as \\x2a)\n"
    "  Status steps: NNNNN      a datagram \"CODE=NNNNN\\r\\n\" (zero-padded to 5 digits)\n"
    "                NNNNN+MMMMM  several \"CODE=\" lines in one datagram\n"
    "                empty      an empty datagram\n"
    "                silent     no answer\n"
    "                garbage, raw:TEXT  as above\n"
    "  Examples: --lock busy:2   --lock silent   --status 10001,10023*3,10001\n"
    "\n"
    "Output: one line per event on standard output, first\n"
    "  \"ready tcp=PORT udp=PORT pid=PID\" once the ports are open, then lines such\n"
    "  as \"job 1 open from 127.0.0.1:40000\", \"job 1 lock 1 busy\",\n"
    "  \"job 1 done DIR/job-0001.prn bytes=N locks=N\", \"status 127.0.0.1:9102 10001\".\n"
    "Stops cleanly on SIGTERM or SIGINT (open jobs are finished and renamed).\n"
    "Exit status: 0 normal end, 1 bad options, 2 start-up failure.\n";

volatile sig_atomic_t gStop = 0;
int gWakeFd = -1;

void onSignal(int) {
  gStop = 1;
  int saved = errno;
  if (gWakeFd >= 0) {
    char b = 1;
    ssize_t ignored = ::write(gWakeFd, &b, 1);
    (void)ignored;
  }
  errno = saved;
}

struct Options {
  std::string bind = "127.0.0.1";
  int tcpPort = hrv::kRawPrintPort;
  int udpPort = hrv::kStatusPort;
  bool status = true;
  std::string captureDir = ".";
  std::string lockScript = "ready";
  std::string lockFile;
  std::string statusScript = "10001";
  std::string statusFile;
  std::string readyFile;
  long maxJobs = 0;
};

bool parsePort(const std::string& text, int& out) {
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < 0 || v > 65535) return false;
  out = static_cast<int>(v);
  return true;
}

// Returns 0 to run, otherwise the exit status.
int parseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasValue = false;
    if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
      hasValue = true;
    }
    auto takeValue = [&](std::string& out) {
      if (!hasValue) {
        if (i + 1 >= argc) return false;
        value = argv[++i];
      }
      out = value;
      return true;
    };
    std::string v;
    auto bad = [&](const char* why) {
      std::fprintf(stderr, "printer-sim: %s: %s\n\n%s", arg.c_str(), why, kUsage);
      return 1;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return -1;
    } else if (arg == "--no-status") {
      o.status = false;
    } else if (arg == "--port" || arg == "--status-port") {
      if (!takeValue(v)) return bad("needs a value");
      if (!parsePort(v, arg == "--port" ? o.tcpPort : o.udpPort)) return bad("not a port number");
    } else if (arg == "--bind") {
      if (!takeValue(o.bind)) return bad("needs a value");
    } else if (arg == "--capture-dir") {
      if (!takeValue(o.captureDir)) return bad("needs a value");
    } else if (arg == "--lock") {
      if (!takeValue(o.lockScript)) return bad("needs a value");
    } else if (arg == "--lock-file") {
      if (!takeValue(o.lockFile)) return bad("needs a value");
    } else if (arg == "--status") {
      if (!takeValue(o.statusScript)) return bad("needs a value");
    } else if (arg == "--status-file") {
      if (!takeValue(o.statusFile)) return bad("needs a value");
    } else if (arg == "--ready-file") {
      if (!takeValue(o.readyFile)) return bad("needs a value");
    } else if (arg == "--jobs") {
      if (!takeValue(v)) return bad("needs a value");
      char* end = nullptr;
      o.maxJobs = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || o.maxJobs < 1) return bad("not a positive number");
    } else {
      return bad("unknown option");
    }
  }
  // Check the fixed scripts now rather than at the first request.
  hrv::sim::Script s;
  std::string error;
  if (o.lockFile.empty() && !hrv::sim::parseLockScript(o.lockScript, s, error)) {
    std::fprintf(stderr, "printer-sim: --lock: %s\n", error.c_str());
    return 1;
  }
  if (o.statusFile.empty() && !hrv::sim::parseStatusScript(o.statusScript, s, error)) {
    std::fprintf(stderr, "printer-sim: --status: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

std::string peerText(const sockaddr_in& a) {
  char host[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
  return std::string(host) + ":" + std::to_string(ntohs(a.sin_port));
}

bool readWholeFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

UniqueFd openSocket(int type, const Options& o, int port, int& boundPort) {
  UniqueFd fd(::socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd.valid()) return fd;
  int one = 1;
  setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, o.bind.c_str(), &addr.sin_addr) != 1) {
    errno = EINVAL;
    return UniqueFd();
  }
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return UniqueFd();
  if (type == SOCK_STREAM && ::listen(fd.get(), 16) != 0) return UniqueFd();
  socklen_t len = sizeof addr;
  getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len);
  boundPort = ntohs(addr.sin_port);
  return fd;
}

struct Job {
  int number = 0;
  UniqueFd socket;
  UniqueFd file;
  std::string partPath;
  std::string finalPath;
  RequestMatcher matcher{hrv::sim::kLockRequest};
  ScriptCursor lock{hrv::sim::parseLockScript};
  size_t bytes = 0;
  unsigned locks = 0;
  bool writeFailed = false;
};

class Simulator {
 public:
  explicit Simulator(Options o) : o_(std::move(o)) {}

  int run();

 private:
  bool start();
  void acceptJob();
  bool serveJob(Job& job);  // false when the job is over
  void finishJob(Job& job, const char* why);
  void answerStatus();
  std::string scriptText(const std::string& fixed, const std::string& path, bool& ok);

  Options o_;
  UniqueFd wakeRead_, wakeWrite_;
  UniqueFd tcp_, udp_;
  int tcpPort_ = 0, udpPort_ = 0;
  std::vector<std::unique_ptr<Job>> jobs_;
  int nextNumber_ = 1;
  long finished_ = 0;
  ScriptCursor status_{hrv::sim::parseStatusScript};
};

bool Simulator::start() {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::fprintf(stderr, "printer-sim: pipe: %s\n", std::strerror(errno));
    return false;
  }
  wakeRead_.reset(pipeFds[0]);
  wakeWrite_.reset(pipeFds[1]);
  gWakeFd = wakeWrite_.get();
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (::mkdir(o_.captureDir.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "printer-sim: cannot create %s: %s\n", o_.captureDir.c_str(), std::strerror(errno));
    return false;
  }
  tcp_ = openSocket(SOCK_STREAM, o_, o_.tcpPort, tcpPort_);
  if (!tcp_.valid()) {
    std::fprintf(stderr, "printer-sim: cannot listen on %s TCP port %d: %s\n", o_.bind.c_str(), o_.tcpPort,
                 std::strerror(errno));
    return false;
  }
  if (o_.status) {
    udp_ = openSocket(SOCK_DGRAM, o_, o_.udpPort, udpPort_);
    if (!udp_.valid()) {
      std::fprintf(stderr, "printer-sim: cannot bind %s UDP port %d: %s\n", o_.bind.c_str(), o_.udpPort,
                   std::strerror(errno));
      return false;
    }
  }
  std::string ready = "tcp=" + std::to_string(tcpPort_) + "\nudp=" + std::to_string(udpPort_) +
                      "\npid=" + std::to_string(::getpid()) + "\n";
  if (!o_.readyFile.empty()) {
    std::string tmp = o_.readyFile + ".tmp";
    UniqueFd f(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!f.valid() || !writeAll(f.get(), ready.data(), ready.size()) ||
        ::rename(tmp.c_str(), o_.readyFile.c_str()) != 0) {
      std::fprintf(stderr, "printer-sim: cannot write %s: %s\n", o_.readyFile.c_str(), std::strerror(errno));
      return false;
    }
  }
  std::printf("ready tcp=%d udp=%d pid=%d\n", tcpPort_, udpPort_, static_cast<int>(::getpid()));
  return true;
}

void Simulator::acceptJob() {
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  UniqueFd s(::accept4(tcp_.get(), reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC | SOCK_NONBLOCK));
  if (!s.valid()) return;
  auto job = std::make_unique<Job>();
  job->socket = std::move(s);
  for (;; ++nextNumber_) {
    char name[32];
    std::snprintf(name, sizeof name, "/job-%04d.prn", nextNumber_);
    job->finalPath = o_.captureDir + name;
    job->partPath = job->finalPath + ".part";
    if (::access(job->finalPath.c_str(), F_OK) == 0) continue;
    job->file.reset(::open(job->partPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (job->file.valid()) break;
    if (errno != EEXIST) {
      std::fprintf(stderr, "printer-sim: cannot create %s: %s\n", job->partPath.c_str(),
                   std::strerror(errno));
      return;  // the connection is dropped
    }
  }
  job->number = nextNumber_++;
  std::printf("job %d open from %s\n", job->number, peerText(peer).c_str());
  jobs_.push_back(std::move(job));
}

std::string Simulator::scriptText(const std::string& fixed, const std::string& path, bool& ok) {
  ok = true;
  if (path.empty()) return fixed;
  std::string text;
  if (!readWholeFile(path, text)) {
    ok = false;
    std::fprintf(stderr, "printer-sim: cannot read %s: %s (not answering)\n", path.c_str(),
                 std::strerror(errno));
  }
  return text;
}

bool Simulator::serveJob(Job& job) {
  char buf[65536];
  for (;;) {
    ssize_t n = ::recv(job.socket.get(), buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) return false;  // end of the job, or a reset connection
    if (!job.writeFailed && !writeAll(job.file.get(), buf, static_cast<size_t>(n))) {
      job.writeFailed = true;
      std::fprintf(stderr, "printer-sim: job %d: write to %s failed: %s\n", job.number, job.partPath.c_str(),
                   std::strerror(errno));
    }
    job.bytes += static_cast<size_t>(n);
    size_t requests = job.matcher.feed(std::string_view(buf, static_cast<size_t>(n)));
    for (size_t i = 0; i < requests; ++i) {
      ++job.locks;
      bool ok = false;
      std::string text = scriptText(o_.lockScript, o_.lockFile, ok);
      std::string error;
      Reply reply = ok ? job.lock.next(text, error) : Reply{true, "", "silent"};
      if (!error.empty())
        std::fprintf(stderr, "printer-sim: lock script: %s (not answering)\n", error.c_str());
      std::printf("job %d lock %u %s\n", job.number, job.locks, reply.label.c_str());
      if (!reply.silent && !reply.bytes.empty() &&
          ::send(job.socket.get(), reply.bytes.data(), reply.bytes.size(), MSG_NOSIGNAL) < 0)
        std::fprintf(stderr, "printer-sim: job %d: lock reply not sent: %s\n", job.number,
                     std::strerror(errno));
    }
  }
}

void Simulator::finishJob(Job& job, const char* why) {
  job.file.reset();
  job.socket.reset();
  if (::rename(job.partPath.c_str(), job.finalPath.c_str()) != 0) {
    std::fprintf(stderr, "printer-sim: cannot rename %s: %s\n", job.partPath.c_str(), std::strerror(errno));
    return;
  }
  ++finished_;
  std::printf("job %d %s %s bytes=%zu locks=%u\n", job.number, why, job.finalPath.c_str(), job.bytes,
              job.locks);
}

void Simulator::answerStatus() {
  for (;;) {
    char buf[2048];
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    ssize_t n = ::recvfrom(udp_.get(), buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&peer), &len);
    if (n < 0) return;  // nothing more waiting
    std::string_view request(buf, static_cast<size_t>(n));
    if (request.substr(0, hrv::sim::kStatusRequest.size()) != hrv::sim::kStatusRequest) {
      std::printf("status %s ignored %zd bytes\n", peerText(peer).c_str(), n);
      continue;
    }
    bool ok = false;
    std::string text = scriptText(o_.statusScript, o_.statusFile, ok);
    std::string error;
    Reply reply = ok ? status_.next(text, error) : Reply{true, "", "silent"};
    if (!error.empty())
      std::fprintf(stderr, "printer-sim: status script: %s (not answering)\n", error.c_str());
    std::printf("status %s %s\n", peerText(peer).c_str(), reply.label.c_str());
    if (!reply.silent && ::sendto(udp_.get(), reply.bytes.data(), reply.bytes.size(), 0,
                                  reinterpret_cast<sockaddr*>(&peer), len) < 0)
      std::fprintf(stderr, "printer-sim: status reply not sent: %s\n", std::strerror(errno));
  }
}

int Simulator::run() {
  if (!start()) return 2;
  std::vector<pollfd> fds;
  while (!gStop && (o_.maxJobs == 0 || finished_ < o_.maxJobs)) {
    fds.clear();
    fds.push_back({wakeRead_.get(), POLLIN, 0});
    fds.push_back({tcp_.get(), POLLIN, 0});
    fds.push_back({udp_.valid() ? udp_.get() : -1, POLLIN, 0});
    for (const auto& job : jobs_) fds.push_back({job->socket.get(), POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "printer-sim: poll: %s\n", std::strerror(errno));
      return 2;
    }
    if (fds[0].revents) {
      char drain[64];
      while (::read(wakeRead_.get(), drain, sizeof drain) > 0) {
      }
    }
    if (fds[2].revents & POLLIN) answerStatus();
    // Jobs first, so that a finished job is renamed before the next one opens.
    for (size_t i = 0, j = 3; i < jobs_.size(); ++j) {
      if (fds[j].revents && !serveJob(*jobs_[i])) {
        finishJob(*jobs_[i], "done");
        jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
    if (fds[1].revents & POLLIN) acceptJob();
  }
  for (auto& job : jobs_) finishJob(*job, "stopped");
  jobs_.clear();
  if (!o_.readyFile.empty()) ::unlink(o_.readyFile.c_str());
  std::printf("stopped\n");
  gWakeFd = -1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Options o;
  int rc = parseOptions(argc, argv, o);
  if (rc != 0) return rc < 0 ? 0 : rc;
  Simulator sim(std::move(o));
  return sim.run();
}

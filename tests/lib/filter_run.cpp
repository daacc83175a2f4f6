#include "filter_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace hrvtest {

namespace {

enum { kOut, kErr, kSide, kBack, kEnded };

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The last bytes of a stream, readable in a failure message.
std::string tailOf(const std::string& s) {
  return hrv::printable(s.substr(s.size() > 48 ? s.size() - 48 : 0));
}

}  // namespace

FilterRun::FilterRun(Sandbox& box, const std::vector<std::string>& argv,
                     const std::map<std::string, std::string>& env, const std::string& stdinPath,
                     BackendScript script)
    : script_(std::move(script)) {
  int outPipe[2], errPipe[2], side[2], back[2];
  if (pipe2(outPipe, O_CLOEXEC) || pipe2(errPipe, O_CLOEXEC) ||
      socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, side) ||
      socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, back))
    throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // Standard input, output and error, the back and the side channel.
    const int fds[] = {::open(stdinPath.c_str(), O_RDONLY), outPipe[1], errPipe[1], back[1], side[1]};
    for (int fd = 0; fd < 5; ++fd) dup2(fds[fd], fd);
    ::signal(SIGPIPE, SIG_DFL);  // as the scheduler starts its filters
    box.execInside(argv, env);
  }
  for (int fd : {outPipe[1], errPipe[1], side[1], back[1]}) ::close(fd);
  const int mine[] = {outPipe[0], errPipe[0], side[0], back[0],
                      static_cast<int>(syscall(SYS_pidfd_open, pid_, 0))};
  std::copy(mine, mine + 5, fds_);
}

FilterRun::~FilterRun() {
  if (!reaped_) {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  for (int& fd : fds_) closeFd(fd);
}

void FilterRun::signal(int sig) {
  ::kill(pid_, sig);
}

void FilterRun::closeOutput() {
  closeFd(fds_[kOut]);
}

void FilterRun::serveOnce(int ms) {
  pollfd p[5];
  for (int i = 0; i < 5; ++i) p[i] = {i == kOut && paused ? -1 : fds_[i], POLLIN, 0};
  if (::poll(p, 5, ms) <= 0) return;
  char buf[65536];
  for (int i : {kOut, kErr}) {
    if (!(p[i].revents & (POLLIN | POLLHUP))) continue;
    const ssize_t r = ::read(fds_[i], buf, sizeof buf);
    if (r <= 0) closeFd(fds_[i]);
    if (r > 0) (i == kOut ? out : err).append(buf, static_cast<size_t>(r));
  }
  for (size_t at; (at = out.find("LockPrinter?", lockScan_)) != std::string::npos;) {
    lockScan_ = at + 12;
    const std::string reply = script_.lockReply(locks_++);
    if (!reply.empty()) ::send(fds_[kBack], reply.data(), reply.size(), MSG_NOSIGNAL);
  }
  unsigned char msg[4];
  if ((p[kSide].revents & POLLIN) && ::read(fds_[kSide], msg, sizeof msg) == 4) {
    const int status = script_.drainStatus(drains++);
    const unsigned char reply[4] = {msg[0], static_cast<unsigned char>(status), 0, 0};
    if (status >= 0) ::send(fds_[kSide], reply, sizeof reply, MSG_NOSIGNAL);  // the filter may be gone
  }
  if (p[kEnded].revents & POLLIN) {
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
    closeFd(fds_[kEnded]);
    if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result_.termSignal = WTERMSIG(status);
  }
}

bool FilterRun::serveUntil(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    serveOnce(static_cast<int>(std::min<long long>(left.count(), 100)));
  }
  return true;
}

RunResult FilterRun::wait(int ms) {
  paused = false;
  if (!serveUntil([&] { return reaped_; }, ms)) {
    ::kill(pid_, SIGKILL);
    serveUntil([&] { return reaped_; }, 10000);
  }
  // What is still in the pipes (a process left behind may hold them open).
  serveUntil([&] { return fds_[kOut] < 0 && fds_[kErr] < 0; }, 5000);
  result_.out = out;
  result_.err = err;
  return result_;
}

bool endsWith(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

size_t countOf(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

std::string firstMissing(const std::string& text, const std::vector<std::string>& needles) {
  size_t at = 0;
  for (const std::string& n : needles) {
    if ((at = text.find(n, at)) == std::string::npos) return n;
    at += n.size();
  }
  return "";
}

std::vector<std::string> reapLeftovers() {
  std::vector<std::string> left;
  for (bool found = true; found;) {
    found = false;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
      const std::string name = e.path().filename();
      // "pid (comm) state ppid ...": the name may hold blanks and ')'.
      const std::string stat = std::isdigit(name[0]) ? readFile(e.path() / "stat") : "";
      const size_t open = stat.find('('), close = stat.rfind(')');
      char state = 0;
      long ppid = 0;
      if (close == std::string::npos ||
          std::sscanf(stat.c_str() + close + 1, " %c %ld", &state, &ppid) != 2 || ppid != getpid())
        continue;
      left.push_back(stat.substr(open + 1, close - open - 1));
      kill(std::stoi(name), SIGKILL);
      waitpid(std::stoi(name), nullptr, 0);
      found = true;
    }
  }
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  return left;
}

void FilterJobTest::SetUpTestSuite() {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  ::signal(SIGPIPE, SIG_IGN);
}

void FilterJobTest::SetUp() {
  if (!runningAsRoot()) GTEST_SKIP() << "needs root for the private namespace";
  box_.installFilters(HRV_USB_FILTER, HRV_NET_FILTER);
  spool_ = box_.spool() + "/d00042-001";
  useSpool(heavyDocument(2, 300));
}

std::unique_ptr<FilterRun> FilterJobTest::start(bool network, const std::string& options,
                                                BackendScript script, const std::string& input,
                                                const std::vector<std::string>& wrapper) {
  const std::string queue = network ? hrv::kNetQueue : hrv::kUsbQueue;
  std::map<std::string, std::string> env{{"PPD", std::string(HRV_PPD_DIR) + "/" + queue + ".ppd"}};
  if (wrapper.empty()) env["HRV_ARGV0"] = queue;  // a wrapper names the queue itself
  std::vector<std::string> argv = wrapper;
  argv.insert(argv.end(),
              {network ? kNetFilter : kUsbFilter, "42", "alice", "Quarterly \"report\"", "1", options});
  return std::make_unique<FilterRun>(box_, argv, env, input.empty() ? spool_ : input, std::move(script));
}

std::string FilterJobTest::hostPath(const std::string& fixedPath) const {
  const std::pair<std::string, std::string> mounts[] = {
      {hrv::kRoot, box_.opt()}, {"/var/tmp", box_.varTmp()}, {hrv::kSpoolDir, box_.spool()}};
  for (const auto& [fixed, host] : mounts)
    if (fixedPath.rfind(fixed, 0) == 0) return host + fixedPath.substr(fixed.size());
  return fixedPath;
}

void FilterJobTest::forgetJobFiles() {
  for (const char* f : {hrv::kUsbPrinterState, hrv::kUsbPrinterInfo, hrv::kUsbPrintLog, hrv::kNetPrinterInfo,
                        hrv::kNetPrintLog})
    std::remove(hostPath(f).c_str());
}

void FilterJobTest::rasterizerScript(const std::string& body) {
  const std::string path = hostPath(hrv::kRasterizerPath);
  std::filesystem::remove(path);
  writeFile(path, "#!/bin/sh\n" + body + "\n");
  chmod(path.c_str(), 0755);
}

std::vector<std::string> FilterJobTest::problems(const RunResult& r, End how, const std::string& line,
                                                 bool network) {
  std::vector<std::string> p;
  if (r.termSignal != 0) p.push_back("killed by signal " + std::to_string(r.termSignal));
  if (r.exitCode != (how == End::kFailed ? 1 : 0)) p.push_back("exit status " + std::to_string(r.exitCode));
  size_t start = 0;  // the network filter's lock requests come ahead of the header
  while (r.out.compare(start, 12, "LockPrinter?") == 0) start += 12;
  if (how == End::kPrinted && r.out.compare(start, hrv::kPjlLeadIn.size(), hrv::kPjlLeadIn) != 0)
    p.push_back("stream does not start with the job header");
  if (endsWith(r.out, hrv::kPjlTrailer) != (how == End::kPrinted))
    p.push_back("stream ends ..." + tailOf(r.out));
  if (how == End::kCancelled ? !endsWith(r.out, hrv::kPjlCancel)
                             : r.out.find(hrv::kPjlCancel) != std::string::npos)
    p.push_back(how == End::kCancelled ? "stream does not end with the cancel sequence"
                                       : "a cancel sequence was sent");
  if (how != End::kPrinted) {
    const std::string state = jobFile(hrv::kUsbPrinterState);
    if (state != (network ? "" : hrv::kStateReady)) p.push_back("printerState reads " + state);
    const std::string log = jobFile(network ? hrv::kNetPrintLog : hrv::kUsbPrintLog);
    if (!endsWith(log, how == End::kFailed ? hrv::kLogJobFailed : hrv::kLogJobCancelled))
      p.push_back("print_log ends ..." + tailOf(log));
    const size_t at = r.err.find(how == End::kFailed ? "ERROR:[VORN-HRV5720ZWB] " + line : line);
    if (at == std::string::npos ||
        (how == End::kFailed && r.err.find("; the job was not printed\n", at) == std::string::npos))
      p.push_back("no \"" + tailOf(line) + "\" in the log");
    if ((r.err.find("cupsCancelJob int = ") != std::string::npos) != (how == End::kCancelled))
      p.push_back(how == End::kFailed ? "the job was cancelled with the scheduler"
                                      : "the scheduler was not asked");
  }
  for (const std::string& name : reapLeftovers()) p.push_back("left behind: " + name);
  return p;
}

}  // namespace hrvtest

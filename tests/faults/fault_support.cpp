#include "fault_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

using hrvtest::RunResult;

namespace hrvfault {

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

size_t countOf(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

namespace {

// The last bytes of a stream, readable in a failure message.
std::string tailOf(const std::string& s, size_t n = 48) {
  std::string out;
  for (unsigned char c : s.substr(s.size() > n ? s.size() - n : 0)) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace

std::string readProcFile(const std::string& path) {
  // Plain reads: a process may vanish halfway (ESRCH), which iostreams
  // would turn into an exception.
  std::string text;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  ::close(fd);
  return text;
}

Tally::~Tally() {
  std::printf("faults: %s %d cases, %d failures, %d crashes%s%s\n", area_.c_str(), cases_, failures_,
              crashes_, note_.empty() ? "" : "; ", note_.c_str());
  std::fflush(stdout);
}

void Tally::add(const std::vector<std::string>& problems, bool crashed) {
  ++cases_;
  if (!problems.empty()) ++failures_;
  if (crashed) ++crashes_;
}

std::vector<pid_t> childrenOf(pid_t parent) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  while (dirent* e = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(e->d_name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    const std::string text = readProcFile(std::string("/proc/") + e->d_name + "/stat");
    // "pid (comm) state ppid ...": the name may hold blanks and ')'.
    size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long ppid = 0;
    if (std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 && ppid == parent)
      found.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  return found;
}

std::vector<std::string> reapLeftovers() {
  std::vector<std::string> left;
  for (;;) {
    // Running or ended, a child still listed was left by its parent.
    for (pid_t child : childrenOf(getpid())) {
      std::string name = readProcFile("/proc/" + std::to_string(child) + "/comm");
      if (!name.empty() && name.back() == '\n') name.pop_back();
      left.push_back(name);
      kill(child, SIGKILL);
      int status = 0;
      waitpid(child, &status, 0);
    }
    int status = 0;
    if (waitpid(-1, &status, WNOHANG) < 0) return left;  // ECHILD: nothing left
  }
}

std::string leftoverProblem(const std::vector<std::string>& names) {
  std::string text = std::to_string(names.size()) + " process(es) left behind:";
  for (const std::string& n : names) text += " " + n;
  return text;
}

bool hasEnded(pid_t pid) {
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return true;
  return info.si_pid == pid;
}

long procStatusKib(pid_t pid, const char* field) {
  const std::string text = readProcFile("/proc/" + std::to_string(pid) + "/status");
  const std::string key = "\n" + std::string(field) + ":";
  size_t at = text.find(key);
  if (at == std::string::npos) return -1;
  return std::strtol(text.c_str() + at + key.size(), nullptr, 10);
}

void FilterFault::SetUpTestSuite() {
  // Orphaned grandchildren (a Ghostscript left behind) become ours.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  // The harness answers drain requests with write(); a filter that has just
  // been cancelled may have closed its end already.
  signal(SIGPIPE, SIG_IGN);
}

void FilterFault::SetUp() {
  if (!hrvtest::runningAsRoot()) GTEST_SKIP() << "needs root for the private namespace";
  box_.installFilters(HRV_USB_FILTER, HRV_NET_FILTER);
  spool_ = box_.spool() + "/d00042-001";
  useSpool(hrvtest::heavyDocument(2, 300));
}

std::unique_ptr<hrvtest::FilterRun> FilterFault::start(bool network, hrvtest::BackendScript script,
                                                       const std::string& input,
                                                       const std::vector<std::string>& wrapper) {
  const std::string queue = network ? "HRV5720ZWB-net" : "HRV5720ZWB";
  std::map<std::string, std::string> env{{"PPD", std::string(HRV_PPD_DIR) + "/" + queue + ".ppd"}};
  // A wrapper names the queue itself when it execs the filter.
  if (wrapper.empty()) env["HRV_ARGV0"] = queue;
  std::vector<std::string> argv = wrapper;
  for (const std::string& a : {network ? kNetFilter : kUsbFilter, std::string("42"), std::string("alice"),
                               std::string("t"), std::string("1"), std::string("")})
    argv.push_back(a);
  return std::make_unique<hrvtest::FilterRun>(box_, argv, env, input.empty() ? spool_ : input,
                                              std::move(script));
}

void FilterFault::forgetJobFiles() {
  for (const char* f : {"/bin/usb/config/printerState", "/bin/usb/config/printerInfo", "/bin/usb/print_log",
                        "/bin/net/config/printerInfo", "/bin/net/print_log"})
    std::remove((box_.opt() + f).c_str());
}

std::vector<std::string> FilterFault::cancelProblems(const RunResult& r, const std::string& cancelLine) {
  std::vector<std::string> p;
  if (r.termSignal != 0) p.push_back("killed by signal " + std::to_string(r.termSignal));
  if (r.exitCode != 0) p.push_back("exit status " + std::to_string(r.exitCode));
  if (!endsWith(r.out, kCancel))
    p.push_back("stream does not end with the cancel sequence: ..." + tailOf(r.out));
  const std::string state = usb("config/printerState");
  if (state != "CODE=10001") p.push_back("printerState reads \"" + state + "\"");
  const std::string log = usb("print_log");
  if (!endsWith(log, kLogCancelled))
    p.push_back("print_log does not end with the cancel line: ..." + tailOf(log));
  if (r.err.find(cancelLine) == std::string::npos)
    p.push_back("no \"" + tailOf(cancelLine) + "\" in the log");
  if (auto left = reapLeftovers(); !left.empty()) p.push_back(leftoverProblem(left));
  return p;
}

std::vector<std::string> FilterFault::printedProblems(const RunResult& r) {
  std::vector<std::string> p;
  if (r.termSignal != 0) p.push_back("killed by signal " + std::to_string(r.termSignal));
  if (r.exitCode != 0) p.push_back("exit status " + std::to_string(r.exitCode));
  // The network filter's lock requests come ahead of the header.
  size_t start = 0;
  while (r.out.compare(start, 12, "LockPrinter?") == 0) start += 12;
  if (r.out.compare(start, kLeadIn.size(), kLeadIn) != 0)
    p.push_back("stream does not start with the job header");
  if (!endsWith(r.out, kTrailer)) p.push_back("stream does not end with the trailer: ..." + tailOf(r.out));
  if (r.out.find(kCancel) != std::string::npos) p.push_back("stream holds a cancel sequence");
  if (auto left = reapLeftovers(); !left.empty()) p.push_back(leftoverProblem(left));
  return p;
}

}  // namespace hrvfault

#include "filter_job.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace hrvtest {

bool endsWith(const std::string& s, const std::string& tail) {
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
    at = text.find(n, at);
    if (at == std::string::npos) return n;
    at += n.size();
  }
  return "";
}

namespace {

// The last bytes of a stream, readable in a failure message.
std::string tailOf(const std::string& s, size_t n = 48) {
  std::string out;
  for (unsigned char c : s.substr(s.size() > n ? s.size() - n : 0)) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : hex;
  }
  return out;
}

void leftoverProblem(std::vector<std::string>& p) {
  const std::vector<std::string> left = reapLeftovers();
  if (left.empty()) return;
  std::string text = std::to_string(left.size()) + " process(es) left behind:";
  for (const std::string& name : left) text += " " + name;
  p.push_back(text);
}

void statusProblem(std::vector<std::string>& p, const RunResult& r, int expected) {
  if (r.termSignal != 0) p.push_back("killed by signal " + std::to_string(r.termSignal));
  if (r.exitCode != expected) p.push_back("exit status " + std::to_string(r.exitCode));
}

}  // namespace

std::string readProcFile(const std::string& path) {
  // Plain reads: a process may vanish halfway (ESRCH).
  std::string text;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  ::close(fd);
  return text;
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
    char state = 0;
    long ppid = 0;
    if (close != std::string::npos && std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 &&
        ppid == parent)
      found.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  return found;
}

std::vector<std::string> reapLeftovers() {
  std::vector<std::string> left;
  for (;;) {
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

bool hasEnded(pid_t pid) {
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return true;
  return info.si_pid == pid;
}

void FilterJobTest::SetUpTestSuite() {
  // Orphaned grandchildren (a Ghostscript left behind) become ours.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  signal(SIGPIPE, SIG_IGN);
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
  const std::string queue = network ? "HRV5720ZWB-net" : "HRV5720ZWB";
  std::map<std::string, std::string> env{{"PPD", std::string(HRV_PPD_DIR) + "/" + queue + ".ppd"}};
  // A wrapper names the queue itself when it execs the filter.
  if (wrapper.empty()) env["HRV_ARGV0"] = queue;
  std::vector<std::string> argv = wrapper;
  for (const std::string& a : {network ? kNetFilter : kUsbFilter, std::string("42"), std::string("alice"),
                               std::string("Quarterly \"report\""), std::string("1"), options})
    argv.push_back(a);
  return std::make_unique<FilterRun>(box_, argv, env, input.empty() ? spool_ : input, std::move(script));
}

void FilterJobTest::forgetJobFiles() {
  for (const char* f : {"/bin/usb/config/printerState", "/bin/usb/config/printerInfo", "/bin/usb/print_log",
                        "/bin/net/config/printerInfo", "/bin/net/print_log"})
    std::remove((box_.opt() + f).c_str());
}

void FilterJobTest::rasterizerScript(const std::string& body) {
  const std::string path = box_.opt() + "/bin/usb/hrv5720zwb/bin/gs";
  std::filesystem::remove(path);
  writeFile(path, "#!/bin/sh\n" + body + "\n");
  chmod(path.c_str(), 0755);
}

std::vector<std::string> FilterJobTest::printedProblems(const RunResult& r) {
  std::vector<std::string> p;
  statusProblem(p, r, 0);
  // The network filter's lock requests come ahead of the header.
  size_t start = 0;
  while (r.out.compare(start, 12, "LockPrinter?") == 0) start += 12;
  if (r.out.compare(start, kLeadIn.size(), kLeadIn) != 0)
    p.push_back("stream does not start with the job header");
  if (!endsWith(r.out, kTrailer)) p.push_back("stream does not end with the trailer: ..." + tailOf(r.out));
  if (r.out.find(kCancel) != std::string::npos) p.push_back("stream holds a cancel sequence");
  leftoverProblem(p);
  return p;
}

std::vector<std::string> FilterJobTest::cancelProblems(const RunResult& r, const std::string& cancelLine,
                                                       bool network) {
  std::vector<std::string> p;
  statusProblem(p, r, 0);
  if (!endsWith(r.out, kCancel))
    p.push_back("stream does not end with the cancel sequence: ..." + tailOf(r.out));
  const std::string state = network ? "" : "CODE=10001";
  if (usb("config/printerState") != state) p.push_back("printerState reads " + usb("config/printerState"));
  const std::string log = network ? net("print_log") : usb("print_log");
  if (!endsWith(log, kLogCancelled)) p.push_back("print_log: ..." + tailOf(log));
  if (r.err.find(cancelLine) == std::string::npos)
    p.push_back("no \"" + tailOf(cancelLine) + "\" in the log");
  if (r.err.find("cupsCancelJob int = ") == std::string::npos) p.push_back("the scheduler was not asked");
  leftoverProblem(p);
  return p;
}

std::vector<std::string> FilterJobTest::failedProblems(const RunResult& r, const std::string& error) {
  std::vector<std::string> p;
  statusProblem(p, r, 1);
  const size_t line = r.err.find("ERROR:[VORN-HRV5720ZWB] " + error);
  if (line == std::string::npos || r.err.find("; the job was not printed\n", line) == std::string::npos)
    p.push_back("no ERROR line about " + error);
  if (r.out.find(kTrailer) != std::string::npos) p.push_back("the trailer was sent");
  if (r.out.find(kCancel) != std::string::npos) p.push_back("a cancel sequence was sent");
  if (r.err.find("cupsCancelJob") != std::string::npos)
    p.push_back("the job was cancelled with the scheduler");
  if (usb("config/printerState") != "CODE=10001")
    p.push_back("printerState reads " + usb("config/printerState"));
  if (!endsWith(usb("print_log"), kLogFailed)) p.push_back("print_log: ..." + tailOf(usb("print_log")));
  leftoverProblem(p);
  return p;
}

}  // namespace hrvtest

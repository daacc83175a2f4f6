// Runs statusmon against an emulated ready printer and measures what its
// polling costs: CPU time (its own, with the child processes it waits for,
// and that of the cupsd answering its job checks, when one runs in our mount
// namespace) and peak resident memory over a fixed span of polling.
//
//   monitor_idle_runner <statusmon> [seconds]
//
// Must run under the umockdev preload (LD_PRELOAD=libumockdev-preload.so.0);
// statusmon inherits it and finds the emulated printer. The display is the
// caller's (DISPLAY, or QT_QPA_PLATFORM=offscreen).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulated_printer.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct CpuTicks {
  long long self = 0;      // utime + stime
  long long children = 0;  // cutime + cstime (waited-for children: lpstat)
  bool ok = false;
};

CpuTicks cpuOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return {};
  // Fields after the command name, which may hold blanks: state is field 3.
  const auto close = line.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream rest(line.substr(close + 2));
  std::vector<std::string> f;
  for (std::string s; rest >> s;) f.push_back(s);
  // f[0] is field 3 (state); utime, stime, cutime, cstime are fields 14..17.
  if (f.size() < 15) return {};
  CpuTicks t;
  t.self = std::stoll(f[11]) + std::stoll(f[12]);
  t.children = std::stoll(f[13]) + std::stoll(f[14]);
  t.ok = true;
  return t;
}

// VmHWM: the peak resident set size, in KiB.
long peakRssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

std::string readLink(const std::string& path) {
  char buf[256];
  const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// The cupsd of our own mount namespace (the one the monitor's job checks
// reach), or -1.
pid_t ourCupsd() {
  const std::string ns = readLink("/proc/self/ns/mnt");
  DIR* proc = opendir("/proc");
  pid_t found = -1;
  while (dirent* e = proc ? readdir(proc) : nullptr) {
    const std::string pid = e->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    if (std::getline(comm, name) && name == "cupsd" && readLink("/proc/" + pid + "/ns/mnt") == ns) {
      found = static_cast<pid_t>(std::stol(pid));
      break;
    }
  }
  if (proc) closedir(proc);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <statusmon> [seconds]\n", argv[0]);
    return 2;
  }
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;

  using hrvtest::Reply;
  hrvtest::EmulatedPrinter printer(
      hrvtest::Script{{{"CheckStatus?", {Reply::text("CODE=10001\r\n"), Reply::empty()}}}, Reply::empty()});

  pid_t pid = -1;
  char* childArgv[] = {argv[1], nullptr};
  if (posix_spawn(&pid, argv[1], nullptr, nullptr, childArgv, environ) != 0) {
    std::fprintf(stderr, "monitor-idle: cannot start %s\n", argv[1]);
    return 1;
  }

  // Start-up (with its wait for a tray) is not counted: measuring begins
  // once the first polling step has reached the printer.
  const auto startDeadline = Clock::now() + std::chrono::seconds(30);
  while (printer.requests().empty() && Clock::now() < startDeadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (printer.requests().empty()) {
    std::fprintf(stderr, "monitor-idle: statusmon never asked the printer\n");
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return 1;
  }

  const std::size_t requests0 = printer.requests().size();
  const pid_t cupsd = ourCupsd();
  const CpuTicks cupsd0 = cupsd > 0 ? cpuOf(cupsd) : CpuTicks{};
  const CpuTicks cpu0 = cpuOf(pid);
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const CpuTicks cpu1 = cpuOf(pid);
  const CpuTicks cupsd1 = cupsd > 0 ? cpuOf(cupsd) : CpuTicks{};
  const auto t1 = Clock::now();
  const long hwm = peakRssKiB(pid);
  const std::size_t steps = printer.requests().size() - requests0;

  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!cpu0.ok || !cpu1.ok || hwm < 0) {
    std::fprintf(stderr, "monitor-idle: statusmon ended during the measurement\n");
    return 1;
  }

  const double wall = std::chrono::duration<double>(t1 - t0).count();
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  const double self = static_cast<double>(cpu1.self - cpu0.self) / tick;
  const double children = static_cast<double>(cpu1.children - cpu0.children) / tick;
  const double selfShare = 100.0 * self / wall;
  const double allShare = 100.0 * (self + children) / wall;
  const double peakMiB = static_cast<double>(hwm) / 1024.0;

  std::printf("polling span        %.1f s, %zu polling steps reached the printer\n", wall, steps);
  std::printf("CPU, statusmon      %.2f %% of one core (%.2f s)\n", selfShare, self);
  std::printf("CPU, with children  %.2f %% of one core (%.2f s)\n", allShare, self + children);
  if (cupsd0.ok && cupsd1.ok) {
    const double served = static_cast<double>(cupsd1.self - cupsd0.self) / tick;
    std::printf("CPU, cupsd          %.2f %% of one core (%.2f s)\n", 100.0 * served / wall, served);
  } else {
    std::printf("CPU, cupsd          no cupsd in this namespace\n");
  }
  std::printf("peak resident set   %.1f MiB\n", peakMiB);
  const bool met = allShare < 0.5 && peakMiB < 60.0;
  std::printf("goal (< 0.5 %% of one core with children, < 60 MiB): %s\n", met ? "met" : "missed");
  return 0;
}

// Measures the print filter's overhead side by side with what it runs and
// with the PCL XL filter Debian ships.
//
//   overhead_runner render  <options>   wall time of the filter, of Ghostscript
//                                       alone and of gstopxl; the filter's own
//                                       peak memory
//   overhead_runner inspect <options>   the spool-file inspection against wc -l
//
// `render` runs inside the suite's sandbox (the filter's fixed paths are the
// real ones there). The filter gets a CUPS side channel on fd 4 whose backend
// answers every request at once with OK, as a backend does whose output is
// /dev/null. Every program runs with the same CUPS-like environment, reads
// the document from its standard input and writes to /dev/null.
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "overhead_runner: %s\n", what.c_str());
  std::exit(1);
}

// An owned file descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(Fd&& o) noexcept : fd_(o.release()) {}
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      reset();
      fd_ = o.release();
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int f = fd_;
    fd_ = -1;
    return f;
  }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// Answers side-channel requests (command, status, 16-bit length, data) with
// [command, OK, 0, 0] until the other end is gone.
class SideChannelBackend {
 public:
  SideChannelBackend() {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) die("socketpair failed");
    ours_ = Fd(sv[0]);
    theirs_ = Fd(sv[1]);
  }
  ~SideChannelBackend() { stop(); }
  SideChannelBackend(const SideChannelBackend&) = delete;
  SideChannelBackend& operator=(const SideChannelBackend&) = delete;

  int childEnd() const { return theirs_.get(); }

  // After the fork: the child holds its own copy.
  void start() {
    theirs_.reset();
    thread_ = std::thread([this] { serve(); });
  }
  void stop() {
    if (thread_.joinable()) {
      ::shutdown(ours_.get(), SHUT_RDWR);
      thread_.join();
    }
  }
  long requests() const { return requests_.load(); }

 private:
  bool readExactly(unsigned char* p, size_t n) {
    while (n > 0) {
      ssize_t r = ::read(ours_.get(), p, n);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      p += r;
      n -= static_cast<size_t>(r);
    }
    return true;
  }
  void serve() {
    unsigned char head[4];
    std::vector<unsigned char> data(65536);
    while (readExactly(head, 4)) {
      size_t len = static_cast<size_t>((head[2] << 8) | head[3]);
      if (len > 0 && !readExactly(data.data(), len)) return;
      const unsigned char answer[4] = {head[0], 1, 0, 0};
      ssize_t w;
      while ((w = ::write(ours_.get(), answer, sizeof answer)) < 0 && errno == EINTR) {
      }
      if (w != static_cast<ssize_t>(sizeof answer)) return;
      ++requests_;
    }
  }

  Fd ours_;
  Fd theirs_;
  std::thread thread_;
  std::atomic<long> requests_{0};
};

struct Launch {
  std::vector<std::string> argv;  // argv[0] is what the program sees
  std::string path;               // program to exec
  std::vector<std::string> env;
  std::string stdinPath;
  std::string stdoutPath = "/dev/null";
  std::string stderrPath;
  bool sideChannel = false;
  bool measureMemory = false;  // stop the program at its exit and read its peak RSS
  std::string smapsPath;       // with measureMemory: where to keep its memory map at exit
};

struct Outcome {
  double wall = 0;  // seconds
  double cpu = 0;   // user + system, the program and its reaped children
  int status = 0;
  long sideRequests = 0;
  long hwmKb = -1;                     // VmHWM at exit
  long rssAnonKb = -1;                 // at exit
  long rssFileKb = -1;                 // at exit
  double ownCpu = -1;                  // the program's own user + system time, children not counted
  long switches = -1;                  // its voluntary + involuntary context switches
  std::vector<std::string> childArgv;  // the first child's argv after exec, if watched
};

double seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

std::map<std::string, long> procStatus(pid_t pid) {
  std::map<std::string, long> v;
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    long kb = std::strtol(line.c_str() + colon + 1, nullptr, 10);
    v[line.substr(0, colon)] = kb;
  }
  return v;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> splitNul(const std::string& s) {
  std::vector<std::string> v;
  size_t start = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\0') {
      v.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  return v;
}

// Watches `pid` for its first child and records that child's argv once it
// has exec'd into something whose argv[0] is `name`.
class ChildArgvWatcher {
 public:
  ChildArgvWatcher(pid_t pid, std::string name) : pid_(pid), name_(std::move(name)) {
    thread_ = std::thread([this] { run(); });
  }
  ~ChildArgvWatcher() { stop(); }
  ChildArgvWatcher(const ChildArgvWatcher&) = delete;
  ChildArgvWatcher& operator=(const ChildArgvWatcher&) = delete;
  void stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::vector<std::string> argv() const { return argv_; }

 private:
  void run() {
    const std::string children =
        "/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) + "/children";
    while (!done_) {
      std::istringstream ids(readText(children));
      long child = 0;
      if (ids >> child) {
        std::vector<std::string> a = splitNul(readText("/proc/" + std::to_string(child) + "/cmdline"));
        if (!a.empty() && a[0] == name_) {
          argv_ = a;
          return;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  pid_t pid_;
  std::string name_;
  std::atomic<bool> done_{false};
  std::thread thread_;
  std::vector<std::string> argv_;
};

Outcome run(const Launch& l, const std::string& watchChild = {}) {
  std::vector<char*> argv;
  for (const std::string& a : l.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : l.env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  Fd in(::open(l.stdinPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) die("cannot open " + l.stdinPath);
  Fd out(::open(l.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  Fd err(::open(l.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (out.get() < 0 || err.get() < 0) die("cannot open " + l.stdoutPath + " or " + l.stderrPath);
  SideChannelBackend side;

  const auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid < 0) die("fork failed");
  if (pid == 0) {
    dup2(in.get(), 0);
    dup2(out.get(), 1);
    dup2(err.get(), 2);
    if (l.sideChannel) dup2(side.childEnd(), 4);  // dup2 clears close-on-exec
    if (l.measureMemory) ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execve(l.path.c_str(), argv.data(), envp.data());
    std::fprintf(stderr, "exec %s: %s\n", l.path.c_str(), std::strerror(errno));
    _exit(127);
  }
  if (l.sideChannel) side.start();
  std::unique_ptr<ChildArgvWatcher> watcher;
  if (!watchChild.empty()) watcher = std::make_unique<ChildArgvWatcher>(pid, watchChild);

  Outcome o;
  rusage ru{};
  int st = 0;
  bool traced = l.measureMemory;
  if (traced) {
    // The exec stops a tracee with SIGTRAP; from there it stops once more,
    // at its exit, while its memory is still mapped.
    if (waitpid(pid, &st, 0) != pid || !WIFSTOPPED(st)) die("traced start failed");
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void*>(PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL));
    ptrace(PTRACE_CONT, pid, nullptr, nullptr);
  }
  for (;;) {
    pid_t r = wait4(pid, &st, 0, &ru);
    if (r < 0 && errno == EINTR) continue;
    if (r != pid) die("wait4 failed");
    if (!WIFSTOPPED(st)) break;
    int sig = 0;
    if ((st >> 8) == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
      auto s = procStatus(pid);
      o.hwmKb = s.count("VmHWM") ? s["VmHWM"] : -1;
      o.rssAnonKb = s.count("RssAnon") ? s["RssAnon"] : -1;
      o.rssFileKb = s.count("RssFile") ? s["RssFile"] : -1;
      o.switches = s["voluntary_ctxt_switches"] + s["nonvoluntary_ctxt_switches"];
      {
        // Fields 14 and 15 of /proc/<pid>/stat, after the parenthesised name.
        const std::string stat = readText("/proc/" + std::to_string(pid) + "/stat");
        std::istringstream f(stat.substr(stat.rfind(')') + 2));
        std::string field;
        double ticks = 0;
        for (int i = 3; i <= 15 && f >> field; ++i)
          if (i >= 14) ticks += std::strtod(field.c_str(), nullptr);
        o.ownCpu = ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
      }
      if (!l.smapsPath.empty()) {
        std::ofstream(l.smapsPath) << readText("/proc/" + std::to_string(pid) + "/smaps");
      }
    } else {
      sig = WSTOPSIG(st);  // pass the signal on (SIGCHLD from Ghostscript)
    }
    ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<long>(sig)));
  }
  o.wall = seconds(std::chrono::steady_clock::now() - start);
  o.cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
          static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  o.status = st;
  if (watcher) {
    watcher->stop();
    o.childArgv = watcher->argv();
  }
  side.stop();
  o.sideRequests = side.requests();
  return o;
}

bool exitedOk(int st) {
  return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

std::string describe(int st) {
  if (WIFEXITED(st)) return "exit " + std::to_string(WEXITSTATUS(st));
  if (WIFSIGNALED(st)) return "signal " + std::to_string(WTERMSIG(st));
  return "status " + std::to_string(st);
}

// Resident KiB per mapped object of an smaps dump, largest first.
std::vector<std::pair<long, std::string>> residentByObject(const std::string& smaps) {
  std::map<std::string, long> kb;
  std::istringstream in(smaps);
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const auto dash = line.find('-');
    const auto space = line.find(' ');
    if (dash != std::string::npos && space != std::string::npos && dash < space &&
        line.find_first_not_of("0123456789abcdef") == dash) {
      std::istringstream f(line);
      std::string range, perms, offset, dev, inode, name;
      f >> range >> perms >> offset >> dev >> inode;
      std::getline(f, name);
      name.erase(0, name.find_first_not_of(' '));
      if (name.empty()) name = "[anonymous]";
      const auto slash = name.rfind('/');
      current = slash == std::string::npos ? name : name.substr(slash + 1);
    } else if (line.rfind("Rss:", 0) == 0) {
      kb[current] += std::strtol(line.c_str() + 4, nullptr, 10);
    }
  }
  std::vector<std::pair<long, std::string>> v;
  for (const auto& [name, k] : kb) v.emplace_back(k, name);
  std::sort(v.rbegin(), v.rend());
  return v;
}

// Sum of one field ("Pss", "Private_Dirty", ...) over an smaps dump, KiB.
long smapsTotal(const std::string& smaps, const std::string& field) {
  long total = 0;
  std::istringstream in(smaps);
  std::string line;
  const std::string key = field + ":";
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) total += std::strtol(line.c_str() + key.size(), nullptr, 10);
  return total;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string join(const std::vector<std::string>& v, const char* sep = " ") {
  std::string s;
  for (size_t i = 0; i < v.size(); ++i) s += (i ? sep : "") + v[i];
  return s;
}

std::string times(const std::vector<double>& v, int decimals = 2) {
  std::string s;
  char buf[32];
  for (double t : v) {
    std::snprintf(buf, sizeof buf, "%s%.*f", s.empty() ? "" : " ", decimals, t);
    s += buf;
  }
  return s;
}

std::map<std::string, std::string> parseOptions(int argc, char** argv, int first) {
  std::map<std::string, std::string> o;
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--", 0) != 0 || i + 1 >= argc) die("bad argument " + a);
    o[a.substr(2)] = argv[++i];
  }
  return o;
}

std::string need(std::map<std::string, std::string>& o, const char* key) {
  auto it = o.find(key);
  if (it == o.end()) die(std::string("missing --") + key);
  return it->second;
}

// The environment a CUPS scheduler gives its filters.
std::vector<std::string> cupsEnvironment(const std::string& ppd, const std::string& printer,
                                         const std::string& tmpDir) {
  std::vector<std::string> env = {
      "PATH=/usr/lib/cups/filter:/usr/bin:/usr/sbin:/bin",
      "CUPS_SERVERBIN=/usr/lib/cups",
      "CUPS_DATADIR=/usr/share/cups",
      "CUPS_SERVERROOT=/etc/cups",
      "CUPS_FONTPATH=/usr/share/cups/fonts",
      "CONTENT_TYPE=application/postscript",
      "FINAL_CONTENT_TYPE=printer/" + printer,
      "PRINTER=" + printer,
      "DEVICE_URI=file:///dev/null",
      "CHARSET=utf-8",
      "LANG=C.UTF-8",
      "SOFTWARE=CUPS/2.4",
      "USER=root",
      "HOME=" + tmpDir,
      "TMPDIR=" + tmpDir,
  };
  if (!ppd.empty()) env.push_back("PPD=" + ppd);
  return env;
}

// The filter's Ghostscript arguments for an A4 colour job at 600 dpi, simplex,
// automatic tray. "-_" is Ghostscript's fastest way to read standard input
// (in blocks; "-" reads it a byte per read()).
const std::vector<std::string> kGsArgs = {"gs",
                                          "-dBATCH",
                                          "-dPARANOIDSAFER",
                                          "-dNOMEDIAATTRS",
                                          "-dNOINTERPOLATE",
                                          "-dNumRenderingThreads=4",
                                          "-sDEVICE=pxlcolor",
                                          "-r600x600",
                                          "-g4961x7016",
                                          "-q",
                                          "-dMediaPosition=1",
                                          "-dNOPAUSE",
                                          "-dSAFER",
                                          "-sstdout=%stderr",
                                          "-sOutputFile=-",
                                          "-_"};

int render(std::map<std::string, std::string> opt) {
  const std::string filter = need(opt, "filter");
  const std::string doc = need(opt, "doc");
  const std::string ppd = need(opt, "ppd");
  const std::string gs = need(opt, "gs");
  const std::string gstopxl = need(opt, "gstopxl");
  const std::string gstopxlPpd = need(opt, "gstopxl-ppd");
  const std::string logDir = need(opt, "logdir");
  const std::string tmpDir = need(opt, "tmpdir");
  const int reps = std::max(1, std::atoi(need(opt, "reps").c_str()));

  Launch f;
  f.path = filter;
  f.argv = {"HRV5720ZWB", "1", "user", "title", "1", ""};
  f.env = cupsEnvironment(ppd, "HRV5720ZWB", tmpDir);
  f.stdinPath = doc;
  f.stderrPath = logDir + "/filter.log";
  f.sideChannel = true;

  Launch g;
  g.path = gs;
  g.argv = kGsArgs;
  g.env = cupsEnvironment("", "HRV5720ZWB", tmpDir);
  g.stdinPath = doc;
  g.stderrPath = logDir + "/gs.log";

  Launch x;
  x.path = gstopxl;
  x.argv = {"pxlcolor", "1", "user", "title", "1", "PageSize=A4 Resolution=600dpi"};
  x.env = cupsEnvironment(gstopxlPpd, "pxlcolor", tmpDir);
  x.stdinPath = doc;
  x.stderrPath = logDir + "/gstopxl.log";

  // Every filter run is stopped once at its exit to read its peak memory
  // (a stop at exit and one at Ghostscript's SIGCHLD: nothing that shows in
  // the times), and its Ghostscript's argv is checked.
  f.measureMemory = true;
  f.smapsPath = logDir + "/filter-smaps-at-exit.txt";

  // A warm-up of Ghostscript and its fonts, not timed.
  {
    Launch w = g;
    w.argv = {"gs", "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=nullpage", "-r72", "-_"};
    w.stderrPath = logDir + "/warmup.log";
    run(w);
  }

  // Each round runs the three back to back, rotating the order so that none
  // always goes first; a ratio is taken within each round, the median of the
  // rounds counts. Neighbouring runs share the machine's load best.
  std::vector<double> tf, tg, tx, cf, cg, cx, rg, rx, own;
  long switches = 0;
  long blocks = 0;
  long hwmKb = 0, anonKb = 0, fileKb = 0;
  bool sameArgs = true;
  std::vector<std::string> gsArgv;
  for (int rep = 0; rep < reps; ++rep) {
    for (int k = 0; k < 3; ++k) {
      switch ((rep + k) % 3) {
        case 0: {
          std::fprintf(stderr, "  round %d: gs alone ...\n", rep + 1);
          Outcome o = run(g);
          if (!exitedOk(o.status)) die("gs ended with " + describe(o.status) + ", see " + g.stderrPath);
          tg.push_back(o.wall);
          cg.push_back(o.cpu);
          break;
        }
        case 1: {
          std::fprintf(stderr, "  round %d: filter ...\n", rep + 1);
          Outcome o = run(f, "gs");
          if (!exitedOk(o.status)) die("filter ended with " + describe(o.status) + ", see " + f.stderrPath);
          const std::string log = readText(f.stderrPath);
          if (log.find("send to printer error status") != std::string::npos ||
              log.find("INFO:空闲") == std::string::npos)
            die("filter did not finish the job cleanly, see " + f.stderrPath);
          if (o.childArgv != kGsArgs) {
            sameArgs = false;
            gsArgv = o.childArgv;
          }
          blocks = o.sideRequests;
          own.push_back(o.ownCpu);
          switches = o.switches;
          if (o.hwmKb > hwmKb) {
            hwmKb = o.hwmKb;
            anonKb = o.rssAnonKb;
            fileKb = o.rssFileKb;
          }
          tf.push_back(o.wall);
          cf.push_back(o.cpu);
          break;
        }
        default: {
          std::fprintf(stderr, "  round %d: gstopxl ...\n", rep + 1);
          Outcome o = run(x);
          if (!exitedOk(o.status)) die("gstopxl ended with " + describe(o.status) + ", see " + x.stderrPath);
          tx.push_back(o.wall);
          cx.push_back(o.cpu);
          break;
        }
      }
    }
    rg.push_back(tf.back() / tg.back());
    rx.push_back(tf.back() / tx.back());
  }
  const std::string filterLog = readText(f.stderrPath);

  std::printf("filter/gs wall time ratio: %.3f (goal <= 1.05)\n", median(rg));
  std::printf("filter/gstopxl wall time ratio: %.3f (goal <= 1.0)\n", median(rx));
  std::printf("filter peak memory without Ghostscript: %.2f MiB (goal < 4 MiB)\n", hwmKb / 1024.0);
  std::printf("  details: wall s  filter [%s]  gs [%s]  gstopxl [%s]\n", times(tf).c_str(), times(tg).c_str(),
              times(tx).c_str());
  std::printf("           ratio per round  filter/gs [%s]  filter/gstopxl [%s]\n", times(rg, 3).c_str(),
              times(rx, 3).c_str());
  std::printf(
      "           cpu s   filter [%s]  gs [%s]  gstopxl [%s]  (medians: filter/gs %.3f, filter/gstopxl "
      "%.3f)\n",
      times(cf).c_str(), times(cg).c_str(), times(cx).c_str(), median(cf) / median(cg),
      median(cf) / median(cx));
  std::printf("           filter process alone (Ghostscript not counted): cpu s [%s], %ld context switches\n",
              times(own).c_str(), switches);
  std::printf(
      "           filter: %ld side-channel requests answered; peak RSS %ld KiB (at exit: %ld KiB anonymous, "
      "%ld KiB file-backed)\n",
      blocks, hwmKb, anonKb, fileKb);
  {
    std::string top;
    const std::string smaps = readText(f.smapsPath);
    const auto objects = residentByObject(smaps);
    for (size_t i = 0; i < objects.size() && i < 8; ++i)
      top += (i ? ", " : "") + objects[i].second + " " + std::to_string(objects[i].first);
    std::printf("           filter resident KiB by object at exit: %s\n", top.c_str());
    std::printf("           filter at exit: Pss %ld KiB, private %ld KiB (clean %ld, dirty %ld)\n",
                smapsTotal(smaps, "Pss"),
                smapsTotal(smaps, "Private_Clean") + smapsTotal(smaps, "Private_Dirty"),
                smapsTotal(smaps, "Private_Clean"), smapsTotal(smaps, "Private_Dirty"));
  }
  if (!sameArgs) std::printf("           the filter ran Ghostscript as: %s\n", join(gsArgv).c_str());
  std::printf("           filter's Ghostscript arguments %s the ones timed alone\n",
              sameArgs ? "match" : "DIFFER from");
  const auto geo = filterLog.find("pageWidthHeight = ");
  if (geo != std::string::npos)
    std::printf("           filter geometry: %s\n",
                filterLog.substr(geo, filterLog.find('\n', geo) - geo).c_str());
  const std::string gsLine = readText(x.stderrPath);
  const auto cmd = gsLine.find("Ghostscript command line: ");
  if (cmd != std::string::npos)
    std::printf("           gstopxl ran: %s\n",
                gsLine.substr(cmd + 26, gsLine.find('\n', cmd) - cmd - 26).c_str());
  return 0;
}

int inspect(std::map<std::string, std::string> opt) {
  const std::string psscan = need(opt, "psscan");
  const std::string dir = need(opt, "dir");
  const std::string wc = opt.count("wc") ? opt["wc"] : "/usr/bin/wc";
  const std::string logDir = need(opt, "logdir");
  const int reps = std::max(1, std::atoi(need(opt, "reps").c_str()));
  const std::string file = dir + "/d00001-001";
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) die("no spool file " + file);

  Launch s;
  s.path = psscan;
  s.argv = {"psscan_bench", dir, "1"};
  s.env = {"PATH=/usr/bin:/bin", "LANG=C"};
  s.stdinPath = "/dev/null";
  s.stdoutPath = logDir + "/psscan.out";
  s.stderrPath = logDir + "/psscan.log";
  // Its peak memory must not grow with the file.
  s.measureMemory = true;

  Launch w;
  w.path = wc;
  w.argv = {"wc", "-l", file};
  w.env = {"PATH=/usr/bin:/bin", "LANG=C"};
  w.stdinPath = "/dev/null";
  w.stderrPath = logDir + "/wc.log";

  // Warm the page cache with one read of the whole file.
  run(w);
  std::vector<double> ts, tw, cs, cw;
  long scanHwmKb = 0;
  for (int rep = 0; rep < 3 * reps; ++rep) {
    for (int k = 0; k < 2; ++k) {
      const bool scanFirst = (rep + k) % 2 == 0;
      Outcome o = run(scanFirst ? s : w);
      if (!exitedOk(o.status))
        die((scanFirst ? "psscan_bench" : "wc") + std::string(" ended with ") + describe(o.status));
      (scanFirst ? ts : tw).push_back(o.wall);
      (scanFirst ? cs : cw).push_back(o.cpu);
      if (scanFirst) scanHwmKb = std::max(scanHwmKb, o.hwmKb);
    }
  }
  const std::string found = readText(s.stdoutPath);
  if (found.find("size=A4") == std::string::npos ||
      found.find("pages=" + need(opt, "pages") + " ") == std::string::npos)
    die("the inspection found " + found + " (expected " + need(opt, "pages") + " A4 pages)");
  std::printf("PostScript inspection/wc -l time ratio on %.0f MB: %.3f (goal <= 3)\n",
              static_cast<double>(st.st_size) / 1e6, median(ts) / median(tw));
  std::printf("PostScript inspection peak memory on %.0f MB: %.2f MiB (must not grow with the file)\n",
              static_cast<double>(st.st_size) / 1e6, scanHwmKb / 1024.0);
  std::printf("  details: wall s  inspection [%s]  wc -l [%s]\n", times(ts, 3).c_str(), times(tw, 3).c_str());
  std::printf("           cpu s   inspection [%s]  wc -l [%s]  (ratio %.3f)\n", times(cs, 3).c_str(),
              times(cw, 3).c_str(), median(cs) / median(cw));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: %s render --filter F --doc D --ppd P --gs G --gstopxl X --gstopxl-ppd Q --logdir L "
                 "--tmpdir T --reps N\n"
                 "       %s inspect --psscan S --dir D --pages P --logdir L --reps N [--wc W]\n",
                 argv[0], argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  if (mode == "render") return render(parseOptions(argc, argv, 2));
  if (mode == "inspect") return inspect(parseOptions(argc, argv, 2));
  die("unknown mode " + mode);
}

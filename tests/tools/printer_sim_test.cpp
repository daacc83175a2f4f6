// The simulator's reply scripts, and the simulator program on loopback ports
// picked by the kernel.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "pxl_builder.h"
#include "reply_script.h"
#include "test_support.h"
#include "unique_fd.h"

namespace {

using hrv::sim::Reply;
using hrv::sim::Script;
using hrv::sim::ScriptCursor;
using hrv::sim::UniqueFd;
using namespace hrv::testing;

const std::string kReady = "CODE=00001\r\n";
const std::string kBusy = "CODE=00002\r\n";
const std::string kGarbage = "%$#GARBAGE#$%\r\n";

// Labels of the first `n` replies of a lock script.
std::vector<std::string> walk(const std::string& script, size_t n, bool lock = true) {
  ScriptCursor cursor(lock ? hrv::sim::parseLockScript : hrv::sim::parseStatusScript);
  std::vector<std::string> out;
  std::string error;
  for (size_t i = 0; i < n; ++i) {
    Reply r = cursor.next(script, error);
    out.push_back(r.silent ? "-" : r.bytes);
  }
  return out;
}

TEST(ReplyScripts, LockScriptsExpandAndRepeatTheirLastStep) {
  using V = std::vector<std::string>;
  EXPECT_EQ(walk("ready", 3), (V{kReady, kReady, kReady}));
  EXPECT_EQ(walk("busy:2", 4), (V{kBusy, kBusy, kReady, kReady}));
  EXPECT_EQ(walk("busy*2, silent\ngarbage", 5), (V{kBusy, kBusy, "-", kGarbage, kGarbage}));
  EXPECT_EQ(walk("raw:CODE=00002CODE=00001", 1), (V{"CODE=00002CODE=00001"}));
  EXPECT_EQ(walk("raw:A\\c\\s\\x2a\\r\\n*2,ready", 3), (V{"A, *\r\n", "A, *\r\n", kReady}));

  Script s;
  std::string error;
  for (const char* bad : {"", "bogus", "busy:x", "raw:\\q", "raw:\\x4", "ready*0", "*3", "busy:2*"})
    EXPECT_FALSE(hrv::sim::parseLockScript(bad, s, error)) << bad;
}

TEST(ReplyScripts, StatusScriptsMakeCodeLinesAndDatagrams) {
  using V = std::vector<std::string>;
  EXPECT_EQ(walk("10001,10023*2,40000", 5, false),
            (V{"CODE=10001\r\n", "CODE=10023\r\n", "CODE=10023\r\n", "CODE=40000\r\n", "CODE=40000\r\n"}));
  EXPECT_EQ(walk("1+10023", 1, false), (V{"CODE=00001\r\nCODE=10023\r\n"}));
  EXPECT_EQ(walk("empty silent", 2, false), (V{"", "-"}));
  Script s;
  std::string error;
  for (const char* bad : {"123456", "10001+", "+10001", "abc", "busy"})
    EXPECT_FALSE(hrv::sim::parseStatusScript(bad, s, error)) << bad;
}

TEST(ReplyScripts, CursorStartsAgainWhenTheTextChanges) {
  ScriptCursor cursor(hrv::sim::parseLockScript);
  std::string error;
  EXPECT_EQ(cursor.next("busy:1", error).bytes, kBusy);
  EXPECT_EQ(cursor.next("busy:1", error).bytes, kReady);
  EXPECT_EQ(cursor.next("busy:1\n", error).bytes, kBusy);  // rewritten file
  Reply r = cursor.next("nonsense", error);
  EXPECT_TRUE(r.silent);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(cursor.next("ready", error).bytes, kReady);
  EXPECT_TRUE(error.empty());
}

TEST(ReplyScripts, MatcherFindsRequestsAcrossPieces) {
  hrv::sim::RequestMatcher m(hrv::sim::kLockRequest);
  EXPECT_EQ(m.feed("xxLockPr"), 0u);
  EXPECT_EQ(m.feed("inter?LockPrinter?Lock"), 2u);
  EXPECT_EQ(m.feed("LockPrinter?"), 1u);  // a broken-off "Lock" must not hide the next one
  EXPECT_EQ(m.feed("LockPrinter!LockPrinter"), 0u);
  EXPECT_EQ(m.feed("?"), 1u);
}

// ---------------------------------------------------------------- program

bool waitUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class Sim {
 public:
  Sim(const TempDir& dir, const std::vector<std::string>& args) : dir_(dir) {
    std::vector<std::string> argv = {PRINTER_SIM, "--port",        "0",       "--status-port",
                                     "0",         "--capture-dir", capture(), "--ready-file",
                                     readyFile()};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      int log = ::open(dir.file("sim.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      ::dup2(log, 1);
      std::vector<char*> cargv;
      for (const std::string& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
      cargv.push_back(nullptr);
      ::execv(cargv[0], cargv.data());
      ::_exit(127);
    }
    bool up = waitUntil([&] { return std::filesystem::exists(readyFile()); });
    EXPECT_TRUE(up) << "simulator did not come up";
    std::string ready = readFile(readyFile());
    tcpPort = std::atoi(field(ready, "tcp").c_str());
    udpPort = std::atoi(field(ready, "udp").c_str());
  }
  ~Sim() { stop(); }

  int stop() {
    if (pid_ <= 0) return status_;
    ::kill(pid_, SIGTERM);
    int st = 0;
    ::waitpid(pid_, &st, 0);
    pid_ = -1;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return status_;
  }
  std::string capture() const { return dir_.file("capture"); }
  std::string readyFile() const { return dir_.file("ready"); }
  std::string job(int n) const {
    char name[32];
    std::snprintf(name, sizeof name, "/job-%04d.prn", n);
    return capture() + name;
  }
  bool waitForJob(int n) const {
    return waitUntil([&] { return std::filesystem::exists(job(n)); });
  }

  int tcpPort = 0;
  int udpPort = 0;

 private:
  const TempDir& dir_;
  pid_t pid_ = -1;
  int status_ = -1;
};

sockaddr_in loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

UniqueFd connectTo(int port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a = loopback(port);
  EXPECT_EQ(::connect(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  return fd;
}

void sendAll(int fd, const std::string& data) {
  EXPECT_EQ(::send(fd, data.data(), data.size(), MSG_NOSIGNAL), static_cast<ssize_t>(data.size()));
}

// Reads `n` bytes, or what came before the peer closed or 10 s passed.
std::string receive(int fd, size_t n) {
  std::string out;
  while (out.size() < n) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0) break;
    char buf[4096];
    ssize_t got = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
    if (got <= 0) break;
    out.append(buf, static_cast<size_t>(got));
  }
  return out;
}

std::string receiveToEnd(int fd) {
  return receive(fd, SIZE_MAX);
}

TEST(PrinterSim, CapturesEachConnectionByteForByte) {
  TempDir dir;
  Sim sim(dir, {});
  std::string job = wrapJob(PxlBuilder().session().page().page().end().str(), kTrailer, "LockPrinter?");
  {
    UniqueFd c = connectTo(sim.tcpPort);
    sendAll(c.get(), job.substr(0, 5));  // the request split over two sends
    sendAll(c.get(), job.substr(5, 7));
    EXPECT_EQ(receive(c.get(), kReady.size()), kReady);
    sendAll(c.get(), job.substr(12));
    ::shutdown(c.get(), SHUT_WR);
    EXPECT_EQ(receiveToEnd(c.get()), "");  // closed once the job is in
  }
  ASSERT_TRUE(sim.waitForJob(1));
  EXPECT_EQ(readFile(sim.job(1)), job);
  EXPECT_FALSE(std::filesystem::exists(sim.job(1) + ".part"));

  RunResult inspected = run({PXL_INSPECT, "--summary", sim.job(1)});
  EXPECT_EQ(inspected.status, 0);
  EXPECT_EQ(field(inspected.out, "pages"), "2");
  EXPECT_EQ(field(inspected.out, "lock.requests"), "1");
  EXPECT_EQ(field(inspected.out, "end"), "trailer");

  {
    UniqueFd c = connectTo(sim.tcpPort);
    sendAll(c.get(), "second");
  }
  ASSERT_TRUE(sim.waitForJob(2));
  EXPECT_EQ(readFile(sim.job(2)), "second");
}

TEST(PrinterSim, AnswersLockRequestsByScript) {
  struct Case {
    const char* script;
    std::vector<std::string> replies;  // to three requests; none for silent
  } cases[] = {
      {"ready", {kReady, kReady, kReady}},
      {"busy:2", {kBusy, kBusy, kReady}},
      {"garbage", {kGarbage, kGarbage, kGarbage}},
      {"silent", {}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    Sim sim(dir, {"--lock", c.script});
    UniqueFd conn = connectTo(sim.tcpPort);
    for (int i = 0; i < 3; ++i) {
      sendAll(conn.get(), "LockPrinter?");
      if (!c.replies.empty()) {
        EXPECT_EQ(receive(conn.get(), c.replies[i].size()), c.replies[i]) << c.script;
      }
    }
    ::shutdown(conn.get(), SHUT_WR);
    EXPECT_EQ(receiveToEnd(conn.get()), "") << c.script;  // nothing beyond the scripted replies
    ASSERT_TRUE(sim.waitForJob(1));
    EXPECT_EQ(readFile(sim.job(1)), "LockPrinter?LockPrinter?LockPrinter?");
  }
}

TEST(PrinterSim, LockFileTurnsTheWaitingJobReady) {
  TempDir dir;
  std::string lockFile = dir.file("lock");
  writeFile(lockFile, "busy\n");
  Sim sim(dir, {"--lock-file", lockFile});
  UniqueFd conn = connectTo(sim.tcpPort);
  for (int i = 0; i < 2; ++i) {
    sendAll(conn.get(), "LockPrinter?");
    EXPECT_EQ(receive(conn.get(), kBusy.size()), kBusy);
  }
  replaceFile(lockFile, "ready\n");
  sendAll(conn.get(), "LockPrinter?");
  EXPECT_EQ(receive(conn.get(), kReady.size()), kReady);
}

TEST(PrinterSim, StatusRepliesFollowTheFileAndGoToTheSender) {
  TempDir dir;
  std::string statusFile = dir.file("status");
  writeFile(statusFile, "10023");
  Sim sim(dir, {"--status-file", statusFile});

  UniqueFd udp(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_in self = loopback(0);
  ASSERT_EQ(::bind(udp.get(), reinterpret_cast<sockaddr*>(&self), sizeof self), 0);
  sockaddr_in printer = loopback(sim.udpPort);
  auto ask = [&](const std::string& request) {
    ::sendto(udp.get(), request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&printer),
             sizeof printer);
  };
  auto answer = [&](int* fromPort = nullptr) {
    pollfd p{udp.get(), POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0) return std::string("<no answer>");
    char buf[512];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = ::recvfrom(udp.get(), buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (fromPort) *fromPort = ntohs(from.sin_port);
    return std::string(buf, static_cast<size_t>(std::max<ssize_t>(n, 0)));
  };

  ask("hello");  // not a status request: ignored
  ask("GetStatus;");
  int from = 0;
  EXPECT_EQ(answer(&from), "CODE=10023\r\n");
  EXPECT_EQ(from, sim.udpPort);

  replaceFile(statusFile, "10001+40000");
  ask("GetStatus;");
  EXPECT_EQ(answer(), "CODE=10001\r\nCODE=40000\r\n");

  replaceFile(statusFile, "empty");
  ask("GetStatus;");
  EXPECT_EQ(answer(), "");

  replaceFile(statusFile, "silent");
  ask("GetStatus;");
  replaceFile(statusFile, "10001");
  ask("GetStatus;");
  EXPECT_EQ(answer(), "CODE=10001\r\n");  // the silent request left nothing behind
}

TEST(PrinterSim, SigtermFinishesTheOpenJob) {
  TempDir dir;
  Sim sim(dir, {});
  UniqueFd conn = connectTo(sim.tcpPort);
  sendAll(conn.get(), "partial job LockPrinter?");
  ASSERT_EQ(receive(conn.get(), kReady.size()), kReady);  // all of it has been read
  EXPECT_EQ(sim.stop(), 0);
  EXPECT_EQ(readFile(sim.job(1)), "partial job LockPrinter?");
  EXPECT_FALSE(std::filesystem::exists(sim.readyFile()));
}

TEST(PrinterSim, CommandLine) {
  RunResult help = run({PRINTER_SIM, "--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option :
       {"--port", "--status-port", "--lock-file", "--status-file", "--ready-file", "busy:N"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  EXPECT_EQ(run({PRINTER_SIM, "--frobnicate"}).status, 1);
  EXPECT_EQ(run({PRINTER_SIM, "--lock", "sometimes"}).status, 1);
  EXPECT_EQ(run({PRINTER_SIM, "--status", "10001+x"}).status, 1);

  TempDir dir;
  Sim first(dir, {});
  TempDir other;
  RunResult clash = run(
      {PRINTER_SIM, "--port", std::to_string(first.tcpPort), "--no-status", "--capture-dir", other.path()});
  EXPECT_EQ(clash.status, 2);
}

}  // namespace

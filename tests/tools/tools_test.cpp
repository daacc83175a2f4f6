// The developer tools the other tests read jobs with: the stream inspector on
// Ghostscript's real PCL XL and on hand-built streams with one fault each,
// the simulator's reply scripts, and both programs as the tests run them.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "job_stream.h"
#include "pjl.h"
#include "reply_script.h"
#include "report.h"
#include "sandbox.h"

namespace {

using namespace hrv::pxl;
using hrvtest::readFile;
using hrvtest::shell;
using hrvtest::writeFile;

const std::string kLeadIn(hrv::kPjlLeadIn), kTrailer(hrv::kPjlTrailer), kCancel(hrv::kPjlCancel);
const std::string kExit = "\x1b%-12345X";
const std::string kReady = "CODE=00001\r\n", kBusy = "CODE=00002\r\n", kGarbage = "%$#GARBAGE#$%\r\n";

struct TempDir {
  TempDir() {
    char name[] = "/tmp/hrv-tools-XXXXXX";
    path = ::mkdtemp(name);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

// The values of the summary's keys named in `expected` ("key=value;..."), in
// the same form; "key~text" stands for a value that holds text.
std::string pick(const std::string& summary, const std::string& expected) {
  std::istringstream keys(expected);
  std::string out;
  for (std::string kv; std::getline(keys, kv, ';');) {
    const size_t mark = kv.find_first_of("=~");
    const std::string key = kv.substr(0, mark) + "=";
    const size_t at = ("\n" + summary).find("\n" + key);
    std::string value = at == std::string::npos
                            ? "<missing>"
                            : summary.substr(at + key.size(), summary.find('\n', at) - at - key.size());
    if (kv[mark] == '~' && value.find(kv.substr(mark + 1)) != std::string::npos) value = kv.substr(mark + 1);
    out += (out.empty() ? "" : ";") + kv.substr(0, mark + 1) + value;
  }
  return out;
}

// A job as the filter sends it: lead-in, a PJL line, Ghostscript's ENTER
// LANGUAGE line, the stream and the ending.
std::string wrapJob(const std::string& stream, const std::string& ending, const std::string& locks = "") {
  return locks + kLeadIn + "@PJL SET USERNAME=\"tester\"\n@PJL ENTER LANGUAGE = PCLXL\n" + stream + ending;
}

// PCL XL from hex digits (blanks ignored); little-endian unless said.
std::string pxl(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); ++i)
    if (hex[i] != ' ') out += static_cast<char>(std::stoi(hex.substr(i++, 2), nullptr, 16));
  return out;
}
const std::string kStream = ") HP-PCL XL;2;0;hand-built\n";
// BeginSession at 600 units per inch, OpenDataSource; a page on A4 in RGB
// with one copy; BeginPage alone; CloseDataSource, EndSession and the exit.
const std::string kSession = kStream + pxl("d1 5802 5802 f889 c000 f886 c000 f88f 41 c000 f888 c001 f882 48");
const std::string kPage = pxl("c000 f828 c002 f825 c001 f826 43 c002 f803 6a c10100 f831 44");
const std::string kBeginPage = pxl("c000 f828 c002 f825 43"), kEnd = pxl("49 42") + kExit;
// A page with a gray image of 4 x 2 pixels read in one block.
std::string image(int rows, int mode, const std::string& data, bool end = true) {
  char head[160];
  std::snprintf(head, sizeof head,
                "c001 f803 6a c002 f862 c000 f864 c10400 f86c c10200 f86b d1 0400 0200 f867 b0 c10000 f86d"
                " c1 %02x00 f863 c0 %02x f865 b1 fb %02x",
                rows, mode, static_cast<int>(data.size()));
  return kSession + kBeginPage + pxl(head) + data + (end ? pxl("b2") : "") + pxl("44") + kEnd;
}

// Three pages: colour vector art and text, text only, a raster image.
const char kDocument[] = R"(%!PS
/img 48 32 mul 3 mul string def
0 1 img length 1 sub { dup 7 mul 256 mod img 3 1 roll put } for
/Times-Roman findfont 18 scalefont setfont
72 750 moveto (First page) show 0.2 0.6 0.9 setrgbcolor
newpath 300 300 80 0 360 arc fill showpage
0 setgray 72 750 moveto (Second page, text only) show showpage
gsave 100 100 translate 200 150 scale 48 32 8 [48 0 0 32 0 0] { img } false 3 colorimage grestore showpage
)";

// Ghostscript's output for the document with its lead-in replaced by our
// header, as the filter forwards it.
std::string filterJob(const TempDir& dir, const std::string& gsArgs, const std::string& locks = "") {
  writeFile(dir / "doc.ps", kDocument);
  const std::string out = shell("gs -q -dBATCH -dNOPAUSE -dSAFER " + gsArgs + " -sOutputFile=- " +
                                (dir / "doc.ps") + " 2>/dev/null")
                              .out;
  const size_t enter = out.find("@PJL ENTER LANGUAGE");
  return enter == std::string::npos
             ? "no output"
             : locks + kLeadIn + "@PJL SET USERNAME=\"tester\"\n" + out.substr(enter) + kTrailer;
}

TEST(GhostscriptOutput, ReadAsGhostscriptWroteIt) {
  const struct {
    const char* name;
    const char* gsArgs;
    const char* locks;
    const char* expected;  // summary lines, ';' between them
  } cases[] = {
      {"colour at 300 dpi behind two lock requests", "-sDEVICE=pxlcolor -r300 -sPAPERSIZE=a4",
       "LockPrinter?LockPrinter?",
       "lock.requests=2;pjl.header.3=@PJL SET "
       "USERNAME=\"tester\";pjl.enter_language=yes;pxl.binding=little-endian;"
       "pages=3;resolution=300x300;page1.media=A4;page1.colorspace=Gray,RGB;page3.images=1;page3.duplex="
       "simplex;"
       "pjl.trailer.3=\\e#+54321X_VORN@PJL EOJ;end=trailer;error=none"},
      {"gray at 600 dpi", "-sDEVICE=pxlmono -r600 -sPAPERSIZE=a4", "",
       "pages=3;resolution=600x600;page1.colorspace=Gray;page3.colorspace=Gray;page3.images=1;error=none"},
      {"short-edge duplex from tray 1 on JIS B5, as the filter asks for it",
       "-sDEVICE=pxlcolor -r300 -dDuplex -dTumble -dMediaPosition=4 -g2134x3020 -dFIXEDMEDIA", "",
       "page1.duplex=duplex-horizontal;page1.source=upper;page1.media=custom:7.11x10.07in;error=none"},
      {"long-edge duplex on Letter at 1200 dpi, text as RLE images",
       "-sDEVICE=pxlcolor -r1200 -dDuplex -sPAPERSIZE=letter", "",
       "resolution=1200x1200;page2.duplex=duplex-vertical;page1.media=Letter;page1.compression=rle;error="
       "none"},
  };
  TempDir dir;
  for (const auto& c : cases)
    EXPECT_EQ(pick(formatSummary(analyzeJob(filterJob(dir, c.gsArgs, c.locks))), c.expected), c.expected)
        << c.name;
}

// Hand-built jobs, well-formed and with one fault each.
TEST(HandBuiltStreams, ReadOrFaultsFoundWithTheirKind) {
  const std::string good = kSession + kPage + kEnd, twoPages = kSession + kPage + kPage + kEnd;
  const std::string bigEndian = "( HP-PCL XL;2;0;hand-built\n" +
                                pxl("d1 0258 0258 f889 c000 f886 c000 f88f 41 c000 f888 c000 f882 48") +
                                pxl("c000 f828 c002 f825 c001 f826 43 c002 f803 6a c10001 f831 44") + kEnd;
  // Real32 units per millimetre (23.622 x 47.244) and a media size by name
  const std::string mm =
      kStream + pxl("d5 f4f9bc41 f4f93c42 f889 c001 f886 41 c8c006") + "LETTER" + pxl("f825 43 44") + kEnd;
  const struct {
    const char* name;
    std::string job;
    const char* expected;  // summary lines, ';' between them; "key~text": the value holds text
  } cases[] = {
      {"big-endian binding: 600 units are not 22530", wrapJob(bigEndian, kTrailer),
       "pxl.binding=big-endian;resolution=600x600;page1.media=A4;page1.copies=1;error=none"},
      {"units per millimetre, media by name", wrapJob(mm, kTrailer),
       "resolution=600x1200;page1.media=LETTER"},
      {"the trailer", wrapJob(twoPages, kTrailer), "pages=2;end=trailer;pjl.trailer.count=4;error=none"},
      {"the cancel sequence", wrapJob(twoPages, kCancel),
       "pages=2;end=cancel;pjl.trailer.count=4;error=none"},
      {"no ending", wrapJob(twoPages, ""), "pages=2;end=none;pjl.trailer.count=1;error=none"},
      {"canceled while the printer was locked", "LockPrinter?LockPrinter?" + kCancel,
       "lock.requests=2;pxl=absent;end=cancel;pjl.trailer.2=\\e#+54321X_VORN@PJL CANCEL;error=none"},
      {"canceled inside its second page", wrapJob(kSession + kPage + kBeginPage, kCancel),
       "pages=1;pages.begun=2;pxl=cut;end=cancel;error=none"},
      {"cut inside a value", wrapJob(kSession + pxl("c000 f825 c101"), ""), "pxl=broken;error=truncated"},
      {"cut inside a value, then canceled", wrapJob(kSession + pxl("c000 f825 c101"), kCancel),
       "pxl=cut;end=cancel;error=none"},
      {"image data shorter than its rows", wrapJob(image(2, 0, "abcd"), kTrailer),
       "error=malformed;error.message~decodes to 4 bytes, not 8"},
      {"RLE image data longer than its rows", wrapJob(image(2, 1, "\x81x"), kTrailer),
       "error=malformed;error.message~decodes to more than 8 bytes"},
      {"ReadImage past the image's rows", wrapJob(image(3, 0, std::string(12, 'x')), kTrailer),
       "error=malformed;error.message~rows 0 to 3 after 0"},
      {"EndImage before the last row", wrapJob(image(1, 0, "abcd"), kTrailer),
       "error=malformed;error.message~after 1 of its 2 rows"},
      {"EndPage inside an image", wrapJob(image(2, 0, std::string(8, 'x'), false), kTrailer),
       "error=malformed;error.message~EndPage inside an image"},
      {"reserved tag", wrapJob(kSession + kBeginPage + pxl("45 44") + kEnd, kTrailer),
       "error=malformed;error.message~unknown tag 0x45"},
      {"attribute id without value", wrapJob(kSession + kBeginPage + pxl("f803 6a 44") + kEnd, kTrailer),
       "error=malformed;error.message~without a value"},
      {"embedded data after an operator that reads none",
       wrapJob(kSession + kBeginPage + pxl("c002 f803 6a fb02 7879 44") + kEnd, kTrailer),
       "error=malformed;error.message~not after an operator that reads data"},
      {"embedded length past the end",
       wrapJob(kSession + kBeginPage + pxl("b1 fa a0860100") + "abcdef", kTrailer),
       "error=truncated;error.message~runs past the end"},
      {"EndPage without BeginPage", wrapJob(kSession + pxl("44") + kEnd, kTrailer),
       "error=malformed;error.message~EndPage without BeginPage"},
      {"exit before EndSession", wrapJob(kSession + kPage + kExit, kTrailer),
       "error=truncated;error.message~before EndSession"},
      {"operator after EndSession", wrapJob(kSession + kPage + pxl("49 42 85"), ""),
       "error=malformed;error.message~NewPath outside a session"},
      {"cut inside the stream header", wrapJob(") HP-PCL XL;2", kTrailer), "error=truncated"},
      {"garbage after the stream", wrapJob(good + "\x01\x02", kTrailer),
       "error=malformed;error.message~after the PCL XL stream"},
      {"foreign bytes among the PJL lines", kLeadIn + "hello printer\n" + good + kTrailer, "error=malformed"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(pick(formatSummary(analyzeJob(c.job)), c.expected), c.expected) << c.name;
}

// Labels of the first `n` replies of a script.
std::string walk(hrv::sim::ScriptCursor::Parser parser, const std::string& script, size_t n) {
  hrv::sim::ScriptCursor cursor(parser);
  std::string out, error;
  for (size_t i = 0; i < n; ++i) {
    const hrv::sim::Reply r = cursor.next(script, error);
    out += (r.silent ? "-" : r.bytes) + "|";
  }
  return out + error;
}

TEST(ReplyScripts, StepsExpandAndTheLastRepeats) {
  using hrv::sim::parseLockScript, hrv::sim::parseStatusScript;
  const struct {
    hrv::sim::ScriptCursor::Parser parser;
    const char* script;
    std::string expected;  // four replies, '-' for none; then the error
  } cases[] = {
      {parseLockScript, "ready", kReady + "|" + kReady + "|" + kReady + "|" + kReady + "|"},
      {parseLockScript, "busy:2", kBusy + "|" + kBusy + "|" + kReady + "|" + kReady + "|"},
      {parseLockScript, "busy*2, silent\ngarbage", kBusy + "|" + kBusy + "|-|" + kGarbage + "|"},
      {parseLockScript, "raw:A\\c\\s\\x2a\\r\\n*2,ready", "A, *\r\n|A, *\r\n|" + kReady + "|" + kReady + "|"},
      {parseStatusScript, "10001,10023*2,1+40000",
       "CODE=10001\r\n|CODE=10023\r\n|CODE=10023\r\n|CODE=00001\r\nCODE=40000\r\n|"},
      {parseStatusScript, "empty silent", "|-|-|-|"},
      {parseLockScript, "busy:x", "-|-|-|-|bad count in \"busy:x\""},
      {parseStatusScript, "10001+", "-|-|-|-|bad status code in \"10001+\""},
  };
  for (const auto& c : cases) EXPECT_EQ(walk(c.parser, c.script, 4), c.expected) << c.script;
  hrv::sim::Script s;
  std::string error;
  for (const char* bad : {"", "bogus", "raw:\\q", "raw:\\x4", "ready*0", "*3", "busy:2*", "123456", "+10001"})
    EXPECT_FALSE(parseLockScript(bad, s, error) || parseStatusScript(bad, s, error)) << bad;
}

TEST(ReplyScripts, CursorStartsAgainWhenTheTextChangesAndMatcherFindsSplitRequests) {
  hrv::sim::ScriptCursor cursor(hrv::sim::parseLockScript);
  std::string error, got;
  for (const char* text : {"busy:1", "busy:1", "busy:1\n", "nonsense", "ready"})
    got += cursor.next(text, error).label + ",";
  EXPECT_EQ(got, "busy,ready,busy,silent,ready,");
  hrv::sim::RequestMatcher m(hrv::sim::kLockRequest);
  std::string found;
  for (const char* piece :
       {"xxLockPr", "inter?LockPrinter?Lock", "LockPrinter?", "LockPrinter!LockPrinter", "?"})
    found += std::to_string(m.feed(piece));
  EXPECT_EQ(found, "02101");
}

// ---------------------------------------------------------------- programs

class Sim {
 public:
  explicit Sim(const TempDir& dir, std::vector<std::string> args = {}) : dir_(dir) {
    args.insert(args.begin(), {PRINTER_SIM, "--port", "0", "--status-port", "0", "--capture-dir",
                               dir / "capture", "--ready-file", dir / "ready"});
    if ((pid_ = ::fork()) == 0) {
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    EXPECT_TRUE(hrvtest::waitUntil([&] { return hrvtest::fileExists(dir / "ready"); }, 10));
    const std::string ready = readFile(dir / "ready");
    tcp = std::atoi(ready.c_str() + ready.find("tcp=") + 4);
    udp = std::atoi(ready.c_str() + ready.find("udp=") + 4);
  }
  ~Sim() { stop(); }
  int stop() {
    int status = -1;
    if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0 && ::waitpid(pid_, &status, 0) == pid_) pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string job(int n) const {
    const std::string path = dir_ / ("capture/job-000" + std::to_string(n) + ".prn");
    return hrvtest::waitUntil([&] { return hrvtest::fileExists(path); }, 10) ? readFile(path) : "<none>";
  }
  int tcp = 0, udp = 0;

 private:
  const TempDir& dir_;
  pid_t pid_ = -1;
};

int socketTo(int port, int type) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  return fd;
}

// What arrives within 10 s, up to `n` bytes or the peer's end.
std::string receive(int fd, size_t n = SIZE_MAX) {
  std::string out;
  char buf[4096];
  for (pollfd p{fd, POLLIN, 0}; out.size() < n && ::poll(&p, 1, 10000) > 0;) {
    const ssize_t got = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
    if (got <= 0) break;
    out.append(buf, static_cast<size_t>(got));
  }
  return out;
}

std::string datagram(int fd, int waitMs = 10000) {
  pollfd p{fd, POLLIN, 0};
  char buf[512];
  const ssize_t got = ::poll(&p, 1, waitMs) > 0 ? ::recv(fd, buf, sizeof buf, 0) : -1;
  return got < 0 ? "<none>" : std::string(buf, static_cast<size_t>(got));
}

TEST(PrinterSim, CapturesJobsAndAnswersByTheScriptFiles) {
  TempDir dir;
  writeFile(dir / "lock", "busy\n");
  writeFile(dir / "status", "10023");
  Sim sim(dir, {"--lock-file", dir / "lock", "--status-file", dir / "status"});
  const std::string job = wrapJob(kSession + kPage + kPage + kEnd, kTrailer);
  const int c = socketTo(sim.tcp, SOCK_STREAM);
  for (const char* piece : {"Lock", "Printer?"}) ::send(c, piece, std::strlen(piece), MSG_NOSIGNAL);
  EXPECT_EQ(receive(c, kBusy.size()), kBusy);
  writeFile(dir / "lock", "ready\n");
  ::send(c, "LockPrinter?", 12, MSG_NOSIGNAL);
  EXPECT_EQ(receive(c, kReady.size()), kReady);
  ::send(c, job.data(), job.size(), MSG_NOSIGNAL);
  ::shutdown(c, SHUT_WR);
  EXPECT_EQ(receive(c), "") << "nothing but the lock replies, and closed once the job is in";
  ::close(c);
  EXPECT_EQ(sim.job(1), "LockPrinter?LockPrinter?" + job);
  EXPECT_EQ(pick(shell(std::string(PXL_INSPECT) + " --summary " + (dir / "capture/job-0001.prn")).out,
                 "pages=2;lock.requests=2;end=trailer"),
            "pages=2;lock.requests=2;end=trailer");

  // Status answers go back to the asker, one per request, as the file says.
  const int u = socketTo(sim.udp, SOCK_DGRAM);
  std::string got;
  for (const char* step : {"hello", "10001+40000", "empty", "silent", "10001"}) {
    if (std::strcmp(step, "hello") != 0) writeFile(dir / "status", step);
    ::send(u, "GetStatus;", 10, 0);
    if (std::strcmp(step, "silent") != 0) got += datagram(u) + "|";
  }
  ::send(u, "hello", 5, 0);  // not a status request: no answer
  EXPECT_EQ(got + datagram(u, 500), "CODE=10023\r\n|CODE=10001\r\nCODE=40000\r\n||CODE=10001\r\n|<none>");
  ::close(u);

  const int open = socketTo(sim.tcp, SOCK_STREAM);  // a job still open when the simulator stops is kept
  ::send(open, "partial LockPrinter?", 20, MSG_NOSIGNAL);
  EXPECT_EQ(receive(open, kReady.size()), kReady);
  EXPECT_EQ(sim.stop(), 0);
  EXPECT_EQ(sim.job(2), "partial LockPrinter?");
  EXPECT_FALSE(hrvtest::fileExists(dir / "ready"));
  ::close(open);
}

TEST(ToolPrograms, ExitStatus) {
  TempDir dir;
  const std::string good = wrapJob(kSession + kPage + kEnd, kTrailer);
  writeFile(dir / "good.prn", good);
  writeFile(dir / "cut.prn", good.substr(0, good.size() - kTrailer.size() - 20));
  Sim first(dir);
  const std::string inspect = std::string(PXL_INSPECT) + " ", sim = std::string(PRINTER_SIM) + " ";
  const struct {
    std::string command;
    int status;
  } cases[] = {
      {inspect + "--summary " + (dir / "good.prn"), 0},
      {inspect + (dir / "good.prn") + " | grep -q 'Ends with: job trailer'", 0},
      {inspect + "--summary " + (dir / "cut.prn"), 2},
      {inspect + (dir / "missing.prn"), 1},
      {inspect + "--bogus " + (dir / "good.prn"), 1},
      {sim + "--frobnicate", 1},
      {sim + "--lock sometimes", 1},
      {sim + "--status 10001+x", 1},
      {sim + "--port " + std::to_string(first.tcp) + " --no-status --capture-dir " + dir.path, 2},
  };
  for (const auto& c : cases) EXPECT_EQ(shell(c.command).status, c.status) << c.command;
}

}  // namespace

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
// the same form.
std::string pick(const std::string& summary, const std::string& expected) {
  std::istringstream keys(expected);
  std::string out;
  for (std::string kv; std::getline(keys, kv, ';');) {
    const std::string key = kv.substr(0, kv.find('=')) + "=";
    const size_t at = ("\n" + summary).find("\n" + key);
    const std::string value = at == std::string::npos
                                  ? "<missing>"
                                  : summary.substr(at + key.size(), summary.find('\n', at) - at - key.size());
    out += (out.empty() ? "" : ";") + key + value;
  }
  return out;
}

// A job as the filter sends it: lead-in, a PJL line, Ghostscript's ENTER
// LANGUAGE line, the stream and the ending.
std::string wrapJob(const std::string& stream, const std::string& ending, const std::string& locks = "") {
  return locks + kLeadIn + "@PJL SET USERNAME=\"tester\"\n@PJL ENTER LANGUAGE = PCLXL\n" + stream + ending;
}

// Small PCL XL streams, byte by byte.
class Pxl {
 public:
  explicit Pxl(bool little = true) : little_(little) {
    s_ = std::string(little ? ")" : "(") + " HP-PCL XL;2;0;hand-built\n";
  }
  Pxl& raw(const std::string& bytes) { return s_ += bytes, *this; }
  Pxl& ub(uint8_t v) { return byte(0xC0).byte(v); }
  Pxl& u16(uint16_t v) { return byte(0xC1).word(v); }
  Pxl& u16xy(uint16_t x, uint16_t y) { return byte(0xD1).word(x).word(y); }
  Pxl& real32xy(float x, float y) { return byte(0xD5).real(x).real(y); }
  Pxl& ubArray(const std::string& bytes) {
    return byte(0xC8).ub(static_cast<uint8_t>(bytes.size())).raw(bytes);
  }
  Pxl& attr(uint8_t id) { return byte(0xF8).byte(id); }
  Pxl& op(uint8_t t) { return byte(t); }
  Pxl& data(const std::string& bytes) {
    return byte(0xFB).byte(static_cast<uint8_t>(bytes.size())).raw(bytes);
  }
  Pxl& longData(uint32_t declared, const std::string& bytes) {
    return byte(0xFA)
        .word(little_ ? declared & 0xFFFF : declared >> 16)
        .word(little_ ? declared >> 16 : declared & 0xFFFF)
        .raw(bytes);
  }
  // BeginSession at 600 units per inch and OpenDataSource.
  Pxl& session() {
    u16xy(600, 600).attr(137).ub(0).attr(134).ub(0).attr(143).op(0x41);
    return ub(0).attr(136).ub(little_ ? 1 : 0).attr(130).op(0x48);
  }
  // BeginPage on A4, RGB colour, EndPage with one copy.
  Pxl& page() {
    return ub(0).attr(40).ub(2).attr(37).ub(1).attr(38).op(0x43).ub(2).attr(3).op(0x6A).u16(1).attr(49).op(
        0x44);
  }
  Pxl& end() { return op(0x49).op(0x42).raw(kExit); }
  std::string str() const { return s_; }

 private:
  Pxl& byte(unsigned b) { return s_ += static_cast<char>(b), *this; }
  Pxl& word(unsigned v) {
    return little_ ? byte(v & 0xFF).byte(v >> 8 & 0xFF) : byte(v >> 8 & 0xFF).byte(v & 0xFF);
  }
  Pxl& real(float f) {
    uint32_t raw;
    std::memcpy(&raw, &f, sizeof raw);
    return little_ ? word(raw & 0xFFFF).word(raw >> 16) : word(raw >> 16).word(raw & 0xFFFF);
  }
  bool little_;
  std::string s_;
};

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

// Any prefix of a good job is truncated, never malformed; followed by the
// cancel sequence it is a cancelled job and no error at all.
TEST(GhostscriptOutput, EveryCutIsTruncationOrCancel) {
  TempDir dir;
  std::string job = filterJob(dir, "-sDEVICE=pxlcolor -r300 -sPAPERSIZE=a4", "LockPrinter?");
  job.resize(job.size() - kTrailer.size());
  const size_t lastExit = job.rfind(kExit);  // Ghostscript's closing exit, right after EndSession
  std::vector<size_t> cuts = {lastExit, lastExit + 4, lastExit + kExit.size()};
  for (size_t k = 1; k < job.size(); k += k < 400 ? 1 : job.size() / 200) cuts.push_back(k);
  for (size_t k : cuts) {
    const std::string cut = job.substr(0, k);
    const bool whole = k == lastExit || k >= lastExit + kExit.size();  // EndSession and the whole exit are in
    const JobReport plain = analyzeJob(cut), cancelled = analyzeJob(cut + kCancel);
    EXPECT_EQ(std::to_string(plain.errorKind != ErrorKind::kMalformed) + std::to_string(cancelled.ok()) +
                  std::to_string(cancelled.ending == Ending::kCancel) +
                  std::to_string(cancelled.stream == JobReport::Stream::kComplete),
              std::string("111") + (whole ? "1" : "0"))
        << "cut at " << k << ": " << plain.error << cancelled.error;
  }
}

TEST(HandBuiltStreams, FaultsAreFoundWithTheirKind) {
  auto withPage = [](const std::function<void(Pxl&)>& body) {
    Pxl b;
    b.session().ub(0).attr(40).ub(2).attr(37).op(0x43);
    body(b);
    return b.op(0x44).end().str();
  };
  // A gray image of 4 x 2 pixels read with one block.
  auto image = [&withPage](uint16_t rows, uint8_t mode, const std::string& data, bool end = true) {
    return withPage([=](Pxl& b) {
      b.ub(1).attr(3).op(0x6A).ub(2).attr(98).ub(0).attr(100).u16(4).attr(108).u16(2).attr(107);
      b.u16xy(4, 2).attr(103).op(0xB0).u16(0).attr(109).u16(rows).attr(99).ub(mode).attr(101).op(0xB1).data(
          data);
      if (end) b.op(0xB2);
    });
  };
  const std::string good = Pxl().session().page().end().str();
  const struct {
    const char* name;
    std::string stream;    // wrapped as a job with the trailer
    const char* expected;  // kind: message part
  } cases[] = {
      {"image data shorter than its rows", image(2, 0, "abcd"), "malformed: decodes to 4 bytes, not 8"},
      {"RLE image data longer than its rows", image(2, 1, "\x81x"),
       "malformed: decodes to more than 8 bytes"},
      {"ReadImage past the image's rows", image(3, 0, std::string(12, 'x')),
       "malformed: rows 0 to 3 after 0"},
      {"EndImage before the last row", image(1, 0, "abcd"), "malformed: after 1 of its 2 rows"},
      {"EndPage inside an image", image(2, 0, std::string(8, 'x'), false),
       "malformed: EndPage inside an image"},
      {"reserved tag", withPage([](Pxl& b) { b.raw("\x45"); }), "malformed: unknown tag 0x45"},
      {"attribute id without value", withPage([](Pxl& b) { b.attr(3).op(0x6A); }),
       "malformed: without a value"},
      {"two values in a row", withPage([](Pxl& b) { b.ub(2).ub(3).attr(3).op(0x6A); }),
       "malformed: no attribute id"},
      {"bad array length tag", withPage([](Pxl& b) { b.raw("\xC8\xC2").attr(171).op(0xA8); }),
       "malformed: array length"},
      {"embedded length disagrees with CharDataSize",
       withPage([](Pxl& b) { b.u16(8).attr(163).op(0x53).data("abcdef"); }),
       "malformed: CharDataSize says 8"},
      {"embedded data after a non-reading operator",
       withPage([](Pxl& b) { b.ub(2).attr(3).op(0x6A).data("xy"); }),
       "malformed: not after an operator that reads data"},
      {"embedded length past the end",
       Pxl().session().ub(0).attr(40).op(0x43).op(0xB1).longData(100000, "abcdef").str(),
       "truncated: runs past the end"},
      {"EndPage without BeginPage", Pxl().session().op(0x44).end().str(),
       "malformed: EndPage without BeginPage"},
      {"page inside page", withPage([](Pxl& b) { b.op(0x43); }), "malformed: inside page 1"},
      {"exit before EndSession", Pxl().session().page().raw(kExit).str(), "truncated: before EndSession"},
      {"operator after EndSession", Pxl().session().page().op(0x49).op(0x42).op(0x85).str(),
       "malformed: NewPath outside a session"},
      {"cut inside the stream header", ") HP-PCL XL;2", "truncated: stream header"},
      {"garbage after the stream", good + "\x01\x02", "malformed: after the PCL XL stream"},
  };
  for (const auto& c : cases) {
    const JobReport r = analyzeJob(wrapJob(c.stream, kTrailer));
    const std::string kind = c.expected, part = kind.substr(kind.find(": ") + 2);
    EXPECT_EQ(std::string(errorKindName(r.errorKind)) + ": " +
                  (r.error.find(part) != std::string::npos ? part : r.error),
              kind)
        << c.name;
  }
  EXPECT_EQ(analyzeJob(kLeadIn + "hello printer\n" + good + kTrailer).errorKind, ErrorKind::kMalformed)
      << "foreign PJL";
}

TEST(HandBuiltStreams, BindingsUnitsAndEndings) {
  const std::string twoPages = Pxl().session().page().page().end().str();
  Pxl mm;  // Real32 units per millimetre and a media size by name
  mm.real32xy(600 / 25.4f, 1200 / 25.4f).attr(137).ub(1).attr(134).op(0x41);
  mm.ubArray("LETTER").attr(37).op(0x43).op(0x44).end();
  const struct {
    const char* name;
    std::string job;
    const char* expected;
  } cases[] = {
      {"big-endian binding: 600 units are not 22530",
       wrapJob(Pxl(false).session().page().end().str(), kTrailer),
       "pxl.binding=big-endian;resolution=600x600;page1.media=A4;page1.copies=1;error=none"},
      {"units per millimetre", wrapJob(mm.str(), kTrailer),
       "resolution=600x1200;page1.media=LETTER;error=none"},
      {"the trailer", wrapJob(twoPages, kTrailer), "pages=2;end=trailer;pjl.trailer.count=4;error=none"},
      {"the cancel sequence", wrapJob(twoPages, kCancel),
       "pages=2;end=cancel;pjl.trailer.count=4;error=none"},
      {"no ending", wrapJob(twoPages, ""), "pages=2;end=none;pjl.trailer.count=1;error=none"},
      {"canceled inside its second page",
       wrapJob(Pxl().session().page().ub(0).attr(37).op(0x43).str(), kCancel),
       "pages=1;pages.begun=2;pxl=cut;end=cancel;error=none"},
      {"canceled while the printer was locked", "LockPrinter?LockPrinter?" + kCancel,
       "lock.requests=2;pxl=absent;end=cancel;pjl.trailer.2=\\e#+54321X_VORN@PJL CANCEL;error=none"},
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

std::string datagram(int fd) {
  pollfd p{fd, POLLIN, 0};
  char buf[512];
  const ssize_t got = ::poll(&p, 1, 10000) > 0 ? ::recv(fd, buf, sizeof buf, 0) : -1;
  return got < 0 ? "<none>" : std::string(buf, static_cast<size_t>(got));
}

TEST(PrinterSim, CapturesJobsAndAnswersLocksByTheScriptFile) {
  TempDir dir;
  writeFile(dir / "lock", "busy\n");
  Sim sim(dir, {"--lock-file", dir / "lock"});
  const std::string job = wrapJob(Pxl().session().page().page().end().str(), kTrailer);
  const int c = socketTo(sim.tcp, SOCK_STREAM);
  for (const char* piece : {"Lock", "Printer?"})
    ::send(c, piece, std::strlen(piece), MSG_NOSIGNAL);  // one request in two pieces
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
  const int open = socketTo(sim.tcp, SOCK_STREAM);  // a job still open when the simulator stops is kept
  ::send(open, "partial LockPrinter?", 20, MSG_NOSIGNAL);
  EXPECT_EQ(receive(open, kReady.size()), kReady);
  EXPECT_EQ(sim.stop(), 0);
  EXPECT_EQ(sim.job(2), "partial LockPrinter?");
  EXPECT_FALSE(hrvtest::fileExists(dir / "ready"));
  ::close(open);
}

TEST(PrinterSim, StatusRepliesFollowTheFileAndGoToTheSender) {
  TempDir dir;
  writeFile(dir / "status", "10023");
  Sim sim(dir, {"--status-file", dir / "status"});
  const int u = socketTo(sim.udp, SOCK_DGRAM);
  std::string got;
  for (const char* step : {"hello", "10001+40000", "empty", "silent", "10001"}) {
    if (std::strcmp(step, "hello") != 0) writeFile(dir / "status", step);
    ::send(u, "GetStatus;", 10, 0);
    if (std::strcmp(step, "silent") != 0) got += datagram(u) + "|";
  }
  ::send(u, "hello", 5, 0);  // not a status request: no answer
  pollfd p{u, POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 500), 0);
  EXPECT_EQ(got, "CODE=10023\r\n|CODE=10001\r\nCODE=40000\r\n||CODE=10001\r\n|");
  ::close(u);
}

TEST(ToolPrograms, ExitStatus) {
  TempDir dir;
  const std::string good = wrapJob(Pxl().session().page().end().str(), kTrailer);
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

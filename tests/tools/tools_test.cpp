// The developer tools the other tests read jobs with: the stream inspector on
// Ghostscript's real PCL XL and on hand-built streams with one fault each,
// the simulator's reply scripts, and both programs as the tests run them.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>

#include "job_stream.h"
#include "pjl.h"
#include "reply_script.h"
#include "report.h"
#include "sandbox.h"

namespace {

using namespace hrv::pxl;
using namespace hrvtest;

const std::string kLeadIn(hrv::kPjlLeadIn), kTrailer(hrv::kPjlTrailer), kCancel(hrv::kPjlCancel);
const std::string kExit = "\x1b%-12345X";
const std::string kReady = "CODE=00001\r\n", kBusy = "CODE=00002\r\n", kGarbage = "%$#GARBAGE#$%\r\n";

struct TempDir {
  std::string path = ::mkdtemp(std::string("/tmp/hrv-tools-XXXXXX").data());
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// The items of `expected` ("key=value;..."; "key~text": the value holds
// text) that the summary does not have, with the summary's line for them.
std::string missing(const std::string& summary, const std::string& expected) {
  std::istringstream items(expected);
  std::string out;
  for (std::string kv; std::getline(items, kv, ';');) {
    const size_t mark = kv.find_first_of("=~"), at = ("\n" + summary).find("\n" + kv.substr(0, mark) + "=");
    const std::string line = at == std::string::npos ? "" : summary.substr(at, summary.find('\n', at) - at);
    if (kv[mark] == '=' ? line != kv : line.find(kv.substr(mark + 1)) == std::string::npos)
      out += kv + " (" + line + ") ";
  }
  return out;
}

// A job as the filter sends it: lead-in, a PJL line, Ghostscript's ENTER
// LANGUAGE line, the stream and the ending.
std::string wrapJob(const std::string& stream, const std::string& ending) {
  return kLeadIn + "@PJL SET USERNAME=\"tester\"\n@PJL ENTER LANGUAGE = PCLXL\n" + stream + ending;
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
std::string image(int rows, const std::string& data, bool end = true) {
  char head[160];
  std::snprintf(head, sizeof head,
                "c001 f803 6a c002 f862 c000 f864 c10400 f86c c10200 f86b d1 0400 0200 f867 b0 c10000 f86d"
                " c1 %02x00 f863 c0 00 f865 b1 fb %02x",
                rows, static_cast<int>(data.size()));
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
std::string filterJob(const std::string& gsArgs, const std::string& locks) {
  const std::string out = shell("gs -q -dBATCH -dNOPAUSE -dSAFER " + gsArgs +
                                " -sOutputFile=- - 2>/dev/null <<'END'\n" + kDocument + "END\n")
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
       "lock.requests=2;pjl.header.3=@PJL SET USERNAME=\"tester\";pjl.enter_language=yes;pages=3;"
       "pxl.binding=little-endian;resolution=300x300;page1.media=A4;page1.colorspace=Gray,RGB;page3.images=1;"
       "page3.duplex=simplex;pjl.trailer.3=\\e#+54321X_VORN@PJL EOJ;end=trailer;error=none"},
      {"short-edge duplex from tray 1 on JIS B5, as the filter asks for it",
       "-sDEVICE=pxlcolor -r300 -dDuplex -dTumble -dMediaPosition=4 -g2134x3020 -dFIXEDMEDIA", "",
       "page1.duplex=duplex-horizontal;page1.source=upper;page1.media=custom:7.11x10.07in;error=none"},
      {"long-edge duplex on Letter at 1200 dpi, text as RLE images",
       "-sDEVICE=pxlcolor -r1200 -dDuplex -sPAPERSIZE=letter", "",
       "resolution=1200x1200;page2.duplex=duplex-vertical;page1.media=Letter;page1.compression=rle"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(missing(formatSummary(analyzeJob(filterJob(c.gsArgs, c.locks))), c.expected), "") << c.name;
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
      {"the cancel", wrapJob(twoPages, kCancel), "pages=2;end=cancel;pjl.trailer.count=4;error=none"},
      {"no ending", wrapJob(twoPages, ""), "pages=2;end=none;pjl.trailer.count=1;error=none"},
      {"canceled while the printer was locked", "LockPrinter?LockPrinter?" + kCancel,
       "lock.requests=2;pxl=absent;end=cancel;pjl.trailer.2=\\e#+54321X_VORN@PJL CANCEL;error=none"},
      {"canceled inside its second page", wrapJob(kSession + kPage + kBeginPage, kCancel),
       "pages=1;pages.begun=2;pxl=cut;end=cancel;error=none"},
      {"cut inside a value", wrapJob(kSession + pxl("c000 f825 c101"), ""), "pxl=broken;error=truncated"},
      {"cut inside a value, then canceled", wrapJob(kSession + pxl("c000 f825 c101"), kCancel),
       "pxl=cut;end=cancel;error=none"},
      {"image data shorter than its rows", wrapJob(image(2, "abcd"), kTrailer),
       "error=malformed;error.message~decodes to 4 bytes, not 8"},
      {"ReadImage past the image's rows", wrapJob(image(3, std::string(12, 'x')), kTrailer),
       "error=malformed;error.message~rows 0 to 3 after 0"},
      {"EndPage inside an image", wrapJob(image(2, std::string(8, 'x'), false), kTrailer),
       "error=malformed;error.message~EndPage inside an image"},
      {"reserved tag", wrapJob(kSession + kBeginPage + pxl("45 44") + kEnd, kTrailer),
       "error=malformed;error.message~unknown tag 0x45"},
      {"embedded length past the end",
       wrapJob(kSession + kBeginPage + pxl("b1 fa a0860100") + "abcdef", kTrailer),
       "error=truncated;error.message~runs past the end"},
      {"exit before EndSession", wrapJob(kSession + kPage + kExit, kTrailer),
       "error=truncated;error.message~before EndSession"},
      {"garbage after the stream", wrapJob(good + "\x01\x02", kTrailer),
       "error=malformed;error.message~after the PCL XL stream"},
      {"foreign bytes among the PJL lines", kLeadIn + "hello printer\n" + good + kTrailer, "error=malformed"},
  };
  for (const auto& c : cases) EXPECT_EQ(missing(formatSummary(analyzeJob(c.job)), c.expected), "") << c.name;
}

TEST(ReplyScripts, StepsExpandTheLastRepeatsAndRequestsAreFoundInPieces) {
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
  for (const auto& c : cases) {
    hrv::sim::ScriptCursor cursor(c.parser);
    std::string got, error;
    for (int i = 0; i < 4; ++i) {
      const hrv::sim::Reply r = cursor.next(c.script, error);
      got += (r.silent ? "-" : r.bytes) + "|";
    }
    EXPECT_EQ(got + error, c.expected) << c.script;
  }
  // A script file rewritten starts again; a request may come in pieces.
  hrv::sim::ScriptCursor cursor(parseLockScript);
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

int socketTo(int port, int type) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  return fd;
}

// What arrives within `waitMs`: up to `n` bytes or the peer's end; one datagram when n is 0.
std::string receive(int fd, size_t n, int waitMs = 10000) {
  std::string out;
  char buf[4096];
  for (pollfd p{fd, POLLIN, 0}; ::poll(&p, 1, waitMs) > 0;) {
    const ssize_t got = ::recv(fd, buf, n ? std::min(sizeof buf, n - out.size()) : sizeof buf, 0);
    if (got >= 0) out.append(buf, static_cast<size_t>(got));
    if (got <= 0 || n == 0 || out.size() >= n) break;
  }
  return out;
}

// The simulator on free ports with script files, then the inspector on its
// capture; both programs' exit status.
TEST(ToolPrograms, SimulatorCapturesAndAnswersByItsFilesAndBothExitAsDocumented) {
  TempDir dir;
  writeFile(dir / "lock", "busy\n");
  writeFile(dir / "status", "10023");
  const std::string start = "cd " + dir.path +
                            " && exec " PRINTER_SIM
                            " --port 0 --status-port 0 --lock-file lock --status-file status"
                            " --capture-dir capture --ready-file ready";
  const char* argv[] = {"/bin/sh", "-c", start.c_str(), nullptr};
  pid_t sim = -1;
  ASSERT_EQ(::posix_spawn(&sim, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  EXPECT_TRUE(waitUntil([&] { return fileExists(dir / "ready"); }, 10));  // no ASSERT: stopped below
  int tcp = 0, udp = 0;
  EXPECT_EQ(std::sscanf(readFile(dir / "ready").c_str(), "tcp=%d\nudp=%d", &tcp, &udp), 2);
  const auto capture = [&](const char* name) {
    const std::string path = dir / ("capture/" + std::string(name));
    return waitUntil([&] { return fileExists(path); }, 10) ? readFile(path) : "<none>";
  };

  const std::string job = wrapJob(kSession + kPage + kPage + kEnd, kTrailer);
  const int c = socketTo(tcp, SOCK_STREAM);
  for (const char* piece : {"Lock", "Printer?"}) ::send(c, piece, std::strlen(piece), MSG_NOSIGNAL);
  EXPECT_EQ(receive(c, kBusy.size()), kBusy);
  writeFile(dir / "lock", "ready\n");
  ::send(c, "LockPrinter?", 12, MSG_NOSIGNAL);
  EXPECT_EQ(receive(c, kReady.size()), kReady);
  ::send(c, job.data(), job.size(), MSG_NOSIGNAL);
  ::shutdown(c, SHUT_WR);
  EXPECT_EQ(receive(c, SIZE_MAX), "") << "nothing but the lock replies, and closed once the job is in";
  ::close(c);
  EXPECT_EQ(capture("job-0001.prn"), "LockPrinter?LockPrinter?" + job);

  // Both programs' exit status, the inspector on that capture and a cut copy.
  writeFile(dir / "cut.prn", job.substr(0, job.size() - kTrailer.size() - 20));
  const std::string inspect = PXL_INSPECT " ", captured = dir / "capture/job-0001.prn";
  const std::pair<std::string, int> runs[] = {
      {inspect + "--summary " + captured, 0},
      {inspect + captured + " | grep -q 'Ends with: job trailer'", 0},
      {inspect + "--summary " + (dir / "cut.prn"), 2},
      {inspect + (dir / "missing.prn"), 1},
      {inspect + "--bogus " + captured, 1},
      {PRINTER_SIM " --frobnicate", 1},
      {PRINTER_SIM " --no-status --port " + std::to_string(tcp) + " --capture-dir " + dir.path, 2},
  };
  for (const auto& [command, status] : runs) EXPECT_EQ(shell(command).status, status) << command;

  // Status answers go back to the asker, one per request, as the file says;
  // anything else is not answered.
  const int u = socketTo(udp, SOCK_DGRAM);
  ::send(u, "hello", 5, 0);
  std::string got;
  for (const char* step : {"10023", "10001+40000", "empty", "silent", "10001"}) {
    writeFile(dir / "status", step);
    ::send(u, "GetStatus;", 10, 0);
    if (std::strcmp(step, "silent") != 0) got += receive(u, 0) + "|";
  }
  EXPECT_EQ(got + receive(u, 0, 500), "CODE=10023\r\n|CODE=10001\r\nCODE=40000\r\n||CODE=10001\r\n|");
  ::close(u);

  const int open = socketTo(tcp, SOCK_STREAM);  // a job still open when the simulator stops is kept
  ::send(open, "partial LockPrinter?", 20, MSG_NOSIGNAL);
  EXPECT_EQ(receive(open, kReady.size()), kReady);
  int status = -1;
  EXPECT_TRUE(::kill(sim, SIGTERM) == 0 && ::waitpid(sim, &status, 0) == sim && WIFEXITED(status) &&
              WEXITSTATUS(status) == 0);
  EXPECT_EQ(capture("job-0002.prn"), "partial LockPrinter?");
  EXPECT_FALSE(fileExists(dir / "ready"));
  ::close(open);
}

}  // namespace

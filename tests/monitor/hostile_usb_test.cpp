// The USB monitor's polling step against a printer that answers with garbage,
// with full 8 KiB reads that hold no zero byte, and with replies split across
// reads. Every read is decoded on its own: what it shows follows from its
// bytes up to the first zero, and the next real reply is shown as usual.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "usb_poll_fixture.h"

namespace {

using namespace usbpoll;

const char kReady[] = "打印机准备就绪";
const char kMemoryFull[] = "内存已满";   // 30016
const char kCoverOpen[] = "盖子未合上";  // 40021, the real reply

// Counts the cases and prints the area's summary line.
struct Tally {
  int cases = 0, failures = 0;
  ~Tally() {
    std::printf("hostile: usb-monitor %d cases, %d failures, 0 crashes\n", cases, failures);
    std::fflush(stdout);
  }
};

struct Case {
  std::string name;
  std::vector<Reply> reads;  // what the step's two reads get (more wait for the next step)
  int code;                  // lastStatusCode afterwards
  const char* title;         // the title afterwards
};

Bytes filler(std::size_t size, unsigned seed, bool zeros) {
  std::mt19937 random(seed);
  Bytes b(size);
  for (unsigned char& c : b) {
    c = static_cast<unsigned char>(random() % 256);
    if (!zeros && c == 0) c = 'x';
    if (c == '=')  // no "CODE=" by chance
      c = '-';
  }
  return b;
}
Bytes cat(Bytes a, std::string_view b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Reply text(std::string_view t) {
  return Reply::text(t);
}

std::vector<Case> hostileCases() {
  const std::size_t full = hrv::monitor::kReplyBufferSize;
  Bytes manyLines;
  while (manyLines.size() + 24 <= full) manyLines = cat(manyLines, "CODE=10023\r\nCODE=30016\r\n");
  manyLines.resize(full, '\n');
  std::vector<Case> cases = {
      {"binary garbage",
       {Reply::bytes(filler(200, 1, false)), Reply::bytes(filler(3000, 2, false))},
       10001,
       kReady},
      {"garbage with zero bytes",
       {Reply::bytes(filler(500, 3, true)), Reply::bytes(filler(8000, 4, true))},
       10001,
       kReady},
      {"8 KiB without a zero byte", {Reply::bytes(filler(full, 5, false)), Reply::empty()}, 10001, kReady},
      {"8 KiB without a zero byte, a code in its last bytes",
       {Reply::bytes(cat(filler(full - 11, 6, false), "\rCODE=30016")), Reply::empty()},
       30016,
       kMemoryFull},
      // The emulated bus hands on what a read had no room for.
      {"more than 8 KiB: the rest is the second read",
       {Reply::bytes(cat(filler(full, 7, false), "\rCODE=30016\r\n"))},
       30016,
       kMemoryFull},
      {"a code across the 8 KiB boundary",
       {Reply::bytes(cat(filler(full - 8, 8, false), "CODE=30016\r\n"))},
       300,
       kReady},
      {"8 KiB of code lines", {Reply::bytes(manyLines), Reply::empty()}, 30016, kMemoryFull},
      {"a code split inside its number", {text("CODE=30"), text("016\r\n")}, 30, kReady},
      {"a code split inside CODE=", {text("CO"), text("DE=30016\r\n")}, 10001, kReady},
      {"a whole line, then half of one", {text("CODE=30016\r\nCODE=4"), text("0021\r\n")}, 4, kMemoryFull},
      {"a zero byte inside the number",
       {Reply::bytes(cat(toBytes("CODE=30"), std::string_view("\0"
                                                              "16\r\n",
                                                              5))),
        Reply::empty()},
       30,
       kReady},
      {"a zero byte first", {Reply::bytes(cat(Bytes{0}, "CODE=30016\r\n")), Reply::empty()}, 10001, kReady},
      {"bytes that are no text", {text("CODE=\xff\xfe\x01\x7f\r\n"), text("\x1b%-12345X")}, 0, kReady},
      {"a number too large", {text("CODE=99999999999\r\n"), Reply::empty()}, 0, kReady},
      {"no = after CODE", {text("CODE 30016\r\nCODE:30016\r\nCODE30016"), Reply::empty()}, 10001, kReady},
      {"a second = ends the code", {text("CODE=30016=CODE=40021\r\n"), Reply::empty()}, 30016, kMemoryFull},
      {"single bytes", {text("E"), text("\n")}, 10001, kReady},
      {"failed reads", {Reply::failure(EPROTO), Reply::failure(EPIPE)}, 10001, kReady},
      {"a printer that never answers", {Reply::hang(), Reply::hang()}, 10001, kReady},
  };
  return cases;
}

class HostileUsb : public PollStep {
 protected:
  // One step with `reads` as the printer's answer to "CheckStatus?".
  void step(std::vector<Reply> reads) {
    printer->clearWritten();
    printer->answerStatus(std::move(reads));
    window->printerStateCheck();
  }
};

TEST_F(HostileUsb, GarbageLongAndSplitRepliesThenTheNextRealReply) {
  start();
  Tally tally;
  for (const Case& c : hostileCases()) {
    std::vector<std::string> problems;
    auto expect = [&](bool ok, const std::string& what) {
      if (!ok) problems.push_back(what);
    };
    // From the ready state.
    step({text("CODE=10001\r\n"), Reply::empty()});
    expect(title() == u(kReady), "ready state not shown first");

    step(c.reads);
    expect(printer->requests() == std::vector<Bytes>{toBytes("CheckStatus?")}, "not one status request");
    expect(
        window->core().lastStatusCode() == c.code,
        "code " + std::to_string(window->core().lastStatusCode()) + ", expected " + std::to_string(c.code));
    expect(title() == u(c.title), "title " + title().toStdString());
    expect(window->core().readyWaitCount() == 0, "counted as no reply");

    // The printer answers properly again.
    step({text("CODE=40021\r\n"), Reply::empty()});
    expect(title() == u(kCoverOpen) && window->currentLevel() == 3,
           "real reply shown as " + title().toStdString());
    expect(window->core().lastStatusCode() == 40021, "real reply's code lost");

    ++tally.cases;
    if (!problems.empty()) {
      ++tally.failures;
      std::string all;
      for (const std::string& p : problems) all += "\n  " + p;
      ADD_FAILURE() << c.name << ":" << all;
    }
  }
}

}  // namespace

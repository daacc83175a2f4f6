// A status reply (a USB read or a UDP datagram) through the decoder of either
// monitor, from any earlier state, followed by a real reply; the same bytes as
// a state-file line through the priority class; a balloon text through the
// no-reply rules.
#include <QByteArray>
#include <QList>
#include <QString>
#include <vector>

#include "fuzz_input.h"
#include "qt_messages.h"
#include "statusdecoder.h"

namespace {

using namespace hrv::monitor;

// The window as the decoder sees it: the balloon follows the level, and a
// shown state of level 1..3 makes the window visible again.
class View : public MonitorView {
 public:
  explicit View(const MonitorCore& core) : core_(core) {}
  int level = 0, hidden = 0, jobInfoReads = 0, shows = 0;
  QString balloonText;

  int currentLevel() const override { return level; }
  int windowHidden() const override { return hidden; }
  QString bubbleText() const override { return balloonText; }
  QString bubbleTitle() const override { return QString(); }
  void readPrintJobInfo() override { ++jobInfoReads; }
  void showMessageOnWindow(int lvl, const QString& title, const QString& message) override {
    ++shows;
    lastTitle = title;
    // Whatever the decoder shows is the catalogue entry of the code it has
    // just recorded, or the ready state of the no-reply rules.
    const int code = core_.lastStatusCode();
    const StatusEntry* e = findStatusEntry(code, core_.variant());
    const bool ready = lvl == kLevelInformation && title == QString::fromUtf8(kReadyTitle) &&
                       message == QString::fromUtf8(kReadyMessage);
    FUZZ_CHECK(ready || (e && e->level == lvl && e->title == title && e->message == message),
               "shown level %d \"%s\" is not the entry of code %d", lvl, title.toUtf8().constData(), code);
    if (lvl < 1 || lvl > 3) return;
    hidden = 0;
    if (lvl != level) {
      level = lvl;
      balloonText = message;
    }
  }
  QString lastTitle;

 private:
  const MonitorCore& core_;
};

bool asciiWithoutNul(const QByteArray& b) {
  for (char c : b)
    if (c == '\0' || static_cast<unsigned char>(c) > 0x7F) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::quietQt();
  hrvfuzz::FuzzInput in(data, size);
  const uint8_t flags = in.byte();
  MonitorCore core(flags & 1 ? MonitorVariant::Network : MonitorVariant::Usb);
  core.setHasPrintJob(flags & 2);
  View view(core);
  view.hidden = (flags >> 2) & 1;
  view.level = (flags >> 3) & 3;
  // Any earlier code (it may have shown something already).
  core.justStatusCodeShow(in.int32(), view);
  // What the balloon said last: printing, cancelled, initialising or else.
  const char* balloons[] = {"", "打印机正在打印", "打印作业被取消", "打印机正在初始化打印引擎，请稍后……"};
  view.balloonText = QString::fromUtf8(balloons[(flags >> 5) & 3]);
  const int number = in.int32();
  const int codeBefore = core.lastStatusCode();
  const std::string_view rest = in.rest();
  const QByteArray reply(rest.data(), static_cast<int>(rest.size()));

  // Decoding: one dispatch per "CODE=" piece at most; the last piece's code
  // stays (10003 may stand in for the ready state 10001).
  view.shows = 0;
  core.execReturnMsg(reply, view);
  int pieces = 0;
  QByteArray lastPiece;
  for (const QByteArray& piece : reply.split('\r'))
    if (piece.contains("CODE=")) {
      ++pieces;
      lastPiece = piece;
    }
  FUZZ_CHECK(view.shows <= pieces, "%d shows for %d pieces", view.shows, pieces);
  if (pieces == 0) {
    FUZZ_CHECK(core.lastStatusCode() == codeBefore, "code %d without a CODE= piece", core.lastStatusCode());
  } else {
    const int last = codeFromLine(lastPiece);
    FUZZ_CHECK(core.lastStatusCode() == last || (last == 10003 && core.lastStatusCode() == 10001),
               "code %d after a last piece of %d", core.lastStatusCode(), last);
  }

  // Whatever came before, the next real reply is decoded.
  const int codeAfterReply = core.lastStatusCode();
  view.shows = 0;
  core.execReturnMsg("CODE=40021\r\n", view);
  FUZZ_CHECK(core.lastStatusCode() == 40021, "real reply gave code %d", core.lastStatusCode());
  if (codeAfterReply != 40021)
    FUZZ_CHECK(
        view.shows == 1 && view.level == kLevelCritical && view.lastTitle == QStringLiteral("盖子未合上"),
        "real reply not shown (%d shows)", view.shows);

  // The no-reply rules keep their counter within 0..3.
  for (int i = 0; i < 5; ++i) {
    core.applyNoReply(usbNoReplyRule(1 + (i & 1), view.bubbleText()), view);
    core.applyNoReply(netEmptyReplyRule(view.balloonText), view);
    FUZZ_CHECK(core.readyWaitCount() >= 0 && core.readyWaitCount() <= 3, "wait count %d",
               core.readyWaitCount());
  }

  // The same bytes as a state-file line: a class of 1..4, 4 for 88888 only,
  // and the catalogue level for every other listed code.
  const QString line = QString::fromUtf8(reply);
  const int cls = execMessageLevel(line);
  const int code = codeFromLine(line);
  FUZZ_CHECK(cls >= 1 && cls <= 4, "class %d", cls);
  FUZZ_CHECK((cls == 4) == (code == 88888), "class %d for code %d", cls, code);
  if (const StatusEntry* e = findStatusEntry(code); e && code != 88888)
    FUZZ_CHECK(cls == e->level, "class %d for code %d of level %d", cls, code, e->level);
  // Both readings of a line agree on plain text (the state file is read as
  // text, the printer's reply as bytes).
  if (asciiWithoutNul(reply))
    FUZZ_CHECK(codeFromLine(reply) == code, "bytes give %d, text gives %d", codeFromLine(reply), code);
  // A well-formed line gives its number back.
  FUZZ_CHECK(codeFromLine(QByteArray("CODE=") + QByteArray::number(number) + "\r\n") == number,
             "number %d lost", number);
  return 0;
}

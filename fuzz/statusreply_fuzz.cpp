// A status reply (a USB read or a UDP datagram) through the decoder of either
// monitor, from any earlier state, followed by a real reply; the same bytes as
// a state-file line through the priority class; the no-reply rules after it.
#include <QByteArray>
#include <QList>
#include <QString>

#include "fuzz_input.h"
#include "qt_messages.h"
#include "statusdecoder.h"

namespace {

using namespace hrv::monitor;

// The window as the decoder sees it. Whatever the decoder shows is the
// catalogue entry of the code it has just recorded, or the ready state of
// the no-reply rules.
struct View : MonitorView {
  const MonitorCore& core;
  int level = 0, shows = 0;
  QString balloonText, lastTitle;

  explicit View(const MonitorCore& c) : core(c) {}
  int currentLevel() const override { return level; }
  int windowHidden() const override { return 0; }  // the decoder does not ask
  QString bubbleText() const override { return balloonText; }
  QString bubbleTitle() const override { return QString(); }
  void readPrintJobInfo() override {}
  void showMessageOnWindow(int lvl, const QString& title, const QString& message) override {
    ++shows;
    lastTitle = title;
    const StatusEntry* e = findStatusEntry(core.lastStatusCode(), core.variant());
    const bool ready = lvl == kLevelInformation && title == QString::fromUtf8(kReadyTitle) &&
                       message == QString::fromUtf8(kReadyMessage);
    FUZZ_CHECK(ready || (e && e->level == lvl && e->title == title && e->message == message),
               "shown level %d \"%s\" is not the entry of code %d", lvl, title.toUtf8().constData(),
               core.lastStatusCode());
    if (lvl != level) balloonText = message;
    level = lvl;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::quietQt();
  hrvfuzz::FuzzInput in(data, size);
  const uint8_t flags = in.byte();
  MonitorCore core(flags & 1 ? MonitorVariant::Network : MonitorVariant::Usb);
  core.setHasPrintJob(flags & 2);
  View view(core);
  view.level = (flags >> 3) & 3;
  core.justStatusCodeShow(in.int32(), view);  // any earlier code, perhaps shown
  const char* balloons[] = {"", "打印机正在打印", "打印作业被取消", "打印机正在初始化打印引擎，请稍后……"};
  view.balloonText = QString::fromUtf8(balloons[(flags >> 5) & 3]);
  const int number = in.int32(), codeBefore = core.lastStatusCode();
  const std::string_view rest = in.rest();
  const QByteArray reply(rest.data(), static_cast<int>(rest.size()));

  // At most one state shown per "CODE=" piece; the last piece's code stays
  // (10001 may stand in for 10003).
  view.shows = 0;
  core.execReturnMsg(reply, view);
  int pieces = 0, last = codeBefore;
  for (const QByteArray& piece : reply.split('\r'))
    if (piece.contains("CODE=")) ++pieces, last = codeFromLine(piece);
  FUZZ_CHECK(view.shows <= pieces, "%d shows for %d pieces", view.shows, pieces);
  FUZZ_CHECK(core.lastStatusCode() == last || (last == 10003 && core.lastStatusCode() == 10001),
             "code %d after a last piece of %d", core.lastStatusCode(), last);

  // Whatever came before, the next real reply is decoded and shown.
  const int codeAfter = core.lastStatusCode();
  view.shows = 0;
  core.execReturnMsg("CODE=40021\r\n", view);
  FUZZ_CHECK(core.lastStatusCode() == 40021 && view.shows == (codeAfter == 40021 ? 0 : 1) &&
                 view.lastTitle == QStringLiteral("盖子未合上"),
             "real reply after code %d: code %d, %d shows", codeAfter, core.lastStatusCode(), view.shows);

  // The no-reply rules keep their counter within 0..3.
  for (int i = 0; i < 5; ++i) {
    core.applyNoReply(usbNoReplyRule(1 + (i & 1), view.bubbleText()), view);
    core.applyNoReply(netEmptyReplyRule(view.balloonText), view);
    FUZZ_CHECK(core.readyWaitCount() >= 0 && core.readyWaitCount() <= 3, "wait count %d",
               core.readyWaitCount());
  }

  // The same bytes as a state-file line: a class of 1..4, 4 for 88888 only,
  // the catalogue level for every other listed code.
  const QString line = QString::fromUtf8(reply);
  const int cls = execMessageLevel(line), code = codeFromLine(line);
  const StatusEntry* e = code == 88888 ? nullptr : findStatusEntry(code);
  FUZZ_CHECK((cls == 4) == (code == 88888) && cls >= 1 && cls <= 4 && (!e || cls == e->level),
             "class %d for code %d", cls, code);
  // A well-formed line gives its number back, as bytes and as text.
  const QByteArray wellFormed = "CODE=" + QByteArray::number(number) + "\r\n";
  FUZZ_CHECK(codeFromLine(wellFormed) == number && codeFromLine(QString::fromLatin1(wellFormed)) == number,
             "number %d lost", number);
  return 0;
}

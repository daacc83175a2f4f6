// The world around both monitors' polling steps, scripted, and what the steps
// did to it as a line of events ("open CheckStatus? read 3:盖子未合上 read
// release"). As the monitor window, it changes the balloon only with the
// level, and a shown state of level 1..3 clears windowHidden.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <deque>
#include <ostream>

#include "netpollstep.h"
#include "statusdecoder.h"

// Failures show the texts.
inline void PrintTo(const QString& s, std::ostream* os) {
  *os << s.toStdString();
}

class FakeHost : public hrv::monitor::UsbPollHost, public hrv::monitor::NetPollHost {
 public:
  QStringList events;
  int level = 0, hidden = 0;
  QString balloonText;
  bool filter = false, job = false, onBus = true;
  int initResult = hrv::monitor::kUsbOk;
  // One reply per USB read, '@' for a zero byte, '#' filling it up to 8192
  // bytes; "!" ahead: the read fails after these bytes. None left: no bytes.
  std::deque<QByteArray> replies;
  QString stateLine, address = QStringLiteral("192.168.1.50");
  qint64 sendResult = 10;

  QString log() const { return events.join(QLatin1Char(' ')); }

  int currentLevel() const override { return level; }
  int windowHidden() const override { return hidden; }
  QString bubbleText() const override { return balloonText; }
  QString bubbleTitle() const override { return QString(); }
  void readPrintJobInfo() override { events << QStringLiteral("info"); }
  // "<level>:<title>", a warning by the first line of its message.
  void showMessageOnWindow(int lvl, const QString& title, const QString& message) override {
    const bool warning = title == QStringLiteral("警告");
    events << QStringLiteral("%1:%2").arg(lvl).arg(warning ? message.section(QLatin1Char('\n'), 0, 0)
                                                           : title);
    if (lvl < 1 || lvl > 3) return;
    hidden = 0;
    if (lvl != level) balloonText = message;
    level = lvl;
  }

  bool checkPrintingProcess() override { return filter; }
  bool checkPrintJob() override { return job; }
  bool checkPrinterLink() override { return true; }
  int initDevice() override { return events << QStringLiteral("open"), initResult; }
  int checkUSBDevice() override { return events << QStringLiteral("bus"), onBus ? 1 : 0; }
  int sendCmd(const QByteArray& request) override { return events << QString::fromLatin1(request), 0; }
  int readCmd(unsigned char* buffer, unsigned int length) override {
    const bool cleared = std::all_of(buffer, buffer + length, [](unsigned char c) { return c == 0; });
    events << (cleared && length == 8192 ? QStringLiteral("read") : QStringLiteral("bad-read"));
    if (replies.empty()) return 0;
    QByteArray r =
        replies.front().replace('@', '\0').replace("#", QByteArray(8193 - replies.front().size(), 'x'));
    replies.pop_front();
    const bool fails = r.startsWith('!');
    if (fails) r.remove(0, 1);
    std::copy(r.begin(), r.begin() + std::min<int>(r.size(), length), buffer);
    return fails ? 254 : r.size();
  }
  int releaseDevice() override { return events << QStringLiteral("release"), 0; }
  QString readPrinterState() override { return events << QStringLiteral("state"), stateLine; }

  QString readNetIpInfo() override { return address; }
  qint64 sendStatusRequest(const QString& to, const QByteArray& request) override {
    events << QString::fromLatin1(request) + QLatin1Char('>') + to;
    return sendResult;
  }
};

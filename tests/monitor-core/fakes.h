// A window that behaves like the monitor window where the core can see it:
// the balloon (level, title, text) changes only with the level, and showing a
// state of level 1..3 clears windowHidden.
#pragma once

#include <QByteArray>
#include <QString>
#include <deque>
#include <vector>

#include "statusdecoder.h"

struct Shown {
  int level;
  QString title;
  QString message;
};

class FakeView : public virtual hrv::monitor::MonitorView {
 public:
  std::vector<Shown> shown;
  int level = 0;
  int hidden = 0;
  QString balloonTitle, balloonText;
  int jobInfoReads = 0;

  int currentLevel() const override { return level; }
  int windowHidden() const override { return hidden; }
  QString bubbleText() const override { return balloonText; }
  QString bubbleTitle() const override { return balloonTitle; }
  void readPrintJobInfo() override { ++jobInfoReads; }
  void showMessageOnWindow(int lvl, const QString& title, const QString& message) override {
    shown.push_back({lvl, title, message});
    if (lvl < 1 || lvl > 3) return;
    hidden = 0;
    if (lvl != level) {
      level = lvl;
      balloonTitle = title;
      balloonText = message;
    }
  }
  QString lastTitle() const { return shown.empty() ? QString() : shown.back().title; }
};

// The outside world of one USB polling step, scripted.
class FakeHost : public FakeView, public hrv::monitor::UsbPollHost {
 public:
  struct Read {
    int result;
    QByteArray bytes;  // written into the buffer before returning
  };
  bool filter = false, job = false, onBus = true;
  int initResult = 0, releaseResult = 0;
  std::deque<Read> reads;
  QString stateLine;
  int inits = 0, busChecks = 0, releases = 0, stateReads = 0;
  std::vector<QByteArray> sent;
  std::vector<unsigned> readSizes;

  bool checkPrintingProcess() override { return filter; }
  bool checkPrintJob() override { return job; }
  bool checkPrinterLink() override { return true; }
  int initDevice() override {
    ++inits;
    return initResult;
  }
  int checkUSBDevice() override {
    ++busChecks;
    return onBus ? 1 : 0;
  }
  int sendCmd(const QByteArray& request) override {
    sent.push_back(request);
    return 0;
  }
  int readCmd(unsigned char* buffer, unsigned int length) override {
    readSizes.push_back(length);
    for (unsigned i = 0; i < length; ++i)
      if (buffer[i] != 0) return -1;  // the buffer must come cleared
    if (reads.empty()) return 0;
    const Read r = reads.front();
    reads.pop_front();
    std::copy(r.bytes.begin(), r.bytes.begin() + std::min<int>(r.bytes.size(), length), buffer);
    return r.result;
  }
  int releaseDevice() override {
    ++releases;
    return releaseResult;
  }
  QString readPrinterState() override {
    ++stateReads;
    return stateLine;
  }
  bool touchedUsb() const { return inits + releases + int(sent.size()) + int(readSizes.size()) > 0; }
};

// The USB monitor's status source: each polling step looks at the process
// table and the USB queue's jobs, then either asks the printer over USB or, while
// the USB filter owns the printer, reads the filter's state file. The
// decisions are the monitor core's; this class only runs the probes.
#pragma once

#include <QByteArray>
#include <QString>

#include "cupsqueues.h"
#include "statusdecoder.h"
#include "statussource.h"
#include "usb_communicate.h"

class UsbStatusSource : public StatusSource, private hrv::monitor::UsbPollHost {
 public:
  struct Setup {
    QString procRoot;          // the process table ("/proc")
    QString printerStatePath;  // the USB filter's printerState
    ActiveJobsProbe activeJobs = cupsActiveJobs;
  };
  // The installed paths.
  static Setup installed();

  explicit UsbStatusSource(Setup setup = installed());

  void start(MainWindow& window) override;
  void poll(MainWindow& window) override;

 private:
  // hrv::monitor::MonitorView, forwarded to the window.
  int currentLevel() const override;
  int windowHidden() const override;
  QString bubbleText() const override;
  QString bubbleTitle() const override;
  void showMessageOnWindow(int level, const QString& title, const QString& message) override;
  void readPrintJobInfo() override;

  // hrv::monitor::UsbPollHost
  bool checkPrintingProcess() override;
  bool checkPrintJob() override;
  bool checkPrinterLink() override;
  int initDevice() override;
  int checkUSBDevice() override;
  int sendCmd(const QByteArray& request) override;
  int readCmd(unsigned char* buffer, unsigned int length) override;
  int releaseDevice() override;
  QString readPrinterState() override;

  Setup setup_;
  MainWindow* window_ = nullptr;
  usb_communicate usbChannel;
};

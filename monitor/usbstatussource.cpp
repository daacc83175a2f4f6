#include "usbstatussource.h"

#include "config.h"
#include "jobinfo.h"
#include "lpstatrun.h"
#include "mainwindow.h"
#include "pollprobes.h"

namespace mon = hrv::monitor;

UsbStatusSource::Setup UsbStatusSource::installed() {
  return {QString::fromLatin1(hrv::kProcRoot), QString::fromLatin1(hrv::kLpstatProgram),
          QString::fromLatin1(hrv::kUsbPrinterState)};
}

UsbStatusSource::UsbStatusSource(Setup setup) : setup_(std::move(setup)) {}

void UsbStatusSource::start(MainWindow& window) {
  window_ = &window;
}

void UsbStatusSource::poll(MainWindow& window) {
  window_ = &window;
  // While another program (the setup tool) talks to the printer, this step
  // is left out: no transfer, no warning. Otherwise the printer stays ours
  // until the step has released it.
  if (usbChannel.reservePrinter() == usb_communicate::kPrinterBusy) return;
  window.core().printerStateCheck(*this);
  usbChannel.endReservation();
}

int UsbStatusSource::currentLevel() const {
  return window_->currentLevel();
}
int UsbStatusSource::windowHidden() const {
  return window_->windowHidden();
}
QString UsbStatusSource::bubbleText() const {
  return window_->bubbleText();
}
QString UsbStatusSource::bubbleTitle() const {
  return window_->bubbleTitle();
}
void UsbStatusSource::showMessageOnWindow(int level, const QString& title, const QString& message) {
  window_->showMessageOnWindow(level, title, message);
}
void UsbStatusSource::readPrintJobInfo() {
  window_->readPrintJobInfo();
}

bool UsbStatusSource::checkPrintingProcess() {
  return mon::filterProcessRunning(setup_.procRoot);
}

QByteArray UsbStatusSource::runLpstat(const QStringList& arguments) const {
  return ::runLpstat(setup_.lpstatProgram, arguments);
}

bool UsbStatusSource::checkPrintJob() {
  return mon::hasPrintJobFromLpstat(runLpstat(mon::lpstatJobArguments(mon::MonitorVariant::Usb)),
                                    mon::MonitorVariant::Usb);
}

bool UsbStatusSource::checkPrinterLink() {
  // Diagnostic only: which of the two queues exist goes to the debug output.
  return mon::checkPrinterLinkFromLpstat(runLpstat(mon::lpstatQueueArguments()));
}

int UsbStatusSource::initDevice() {
  return usbChannel.initDevice();
}
int UsbStatusSource::checkUSBDevice() {
  return usbChannel.checkUSBDevice();
}

int UsbStatusSource::sendCmd(const QByteArray& request) {
  QByteArray bytes = request;
  return usbChannel.SendCmd(reinterpret_cast<unsigned char*>(bytes.data()),
                            static_cast<unsigned>(bytes.size()));
}

int UsbStatusSource::readCmd(unsigned char* buffer, unsigned int length) {
  return usbChannel.ReadCmd(buffer, length);
}
int UsbStatusSource::releaseDevice() {
  return usbChannel.releaseDevice();
}

QString UsbStatusSource::readPrinterState() {
  return mon::readPrinterState(setup_.printerStatePath);
}

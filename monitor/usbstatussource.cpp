#include "usbstatussource.h"

#include <libusb.h>

#include <memory>

#include "config.h"
#include "jobinfo.h"
#include "mainwindow.h"
#include "monitorlog.h"
#include "pollprobes.h"

namespace mon = hrv::monitor;

UsbStatusSource::Setup UsbStatusSource::installed() {
  return {QString::fromLatin1(hrv::kProcRoot), QString::fromLatin1(hrv::kUsbPrinterState)};
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

bool UsbStatusSource::checkPrintJob() {
  return setup_.activeJobs(QString::fromLatin1(hrv::kUsbQueue)) > 0;
}

bool UsbStatusSource::checkPrinterLink() {
  // Diagnostic only: which of the two queues accept jobs goes to the debug
  // output, so the scheduler is asked only when someone reads it.
  if (mon::lcMonitor().isDebugEnabled())
    qCDebug(mon::lcMonitor, "usbPrinter = %d, netPrinter = %d",
            cupsAcceptingQueue(QString::fromLatin1(hrv::kUsbQueue)),
            cupsAcceptingQueue(QString::fromLatin1(hrv::kNetQueue)));
  return true;
}

int UsbStatusSource::initDevice() {
  const int result = usbChannel.initDevice();
  if (result == mon::kUsbNoPrinter && mon::lcMonitor().isDebugEnabled()) {
    // Without libusb the printer only looks unplugged; say which it is.
    libusb_context* ctx = nullptr;
    const int init = libusb_init(&ctx);
    const std::unique_ptr<libusb_context, void (*)(libusb_context*)> context(ctx, libusb_exit);
    if (init != 0) qCDebug(mon::lcMonitor) << "libusb cannot be initialised:" << libusb_error_name(init);
  }
  return result;
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

// Decoding of status replies into shown states, the polling step of the USB
// monitor, and the no-reply rules of both monitors.
//
// The window owns one MonitorCore and implements the small interfaces below;
// everything that decides lives here, the window only carries it out.
#pragma once

#include <QByteArray>
#include <QString>

#include "statuscatalogue.h"

namespace hrv::monitor {

// What the status decoder needs from the window.
class MonitorView {
 public:
  virtual ~MonitorView() = default;
  // Level of the current balloon (0 before the first).
  virtual int currentLevel() const = 0;
  // 1 once the window has been hidden to the tray.
  virtual int windowHidden() const = 0;
  // Message of the current level's balloon.
  virtual QString bubbleText() const = 0;
  virtual QString bubbleTitle() const = 0;
  virtual void showMessageOnWindow(int level, const QString& title, const QString& message) = 0;
  // Refresh the five job setting labels.
  virtual void readPrintJobInfo() = 0;
};

// What the USB polling step needs besides the view: the three probes, the
// USB channel and the filter's state file.
class UsbPollHost : public virtual MonitorView {
 public:
  // Whether the USB filter's process runs (filterProcessRunning over /proc).
  virtual bool checkPrintingProcess() = 0;
  // Whether a job of the USB queue is listed ("lpstat -R", usbQueueHasJob).
  virtual bool checkPrintJob() = 0;
  // Diagnostic queue presence probe ("lpstat -a"); result unused.
  virtual bool checkPrinterLink() = 0;
  // usb_communicate, one connection per step.
  virtual int initDevice() = 0;
  virtual int checkUSBDevice() = 0;
  virtual int sendCmd(const QByteArray& request) = 0;
  virtual int readCmd(unsigned char* buffer, unsigned int length) = 0;
  virtual int releaseDevice() = 0;
  // The chosen line of the filter's state file, or empty.
  virtual QString readPrinterState() = 0;
};

// Result codes of the USB channel as the step sees them.
inline constexpr int kUsbOk = 0;
inline constexpr int kUsbNoPrinter = 252;
inline constexpr int kUsbBusy = 255;

inline constexpr int kReplyBufferSize = 8192;
inline constexpr int kReadyWaitLimit = 3;
inline constexpr const char kStatusRequestUsb[] = "CheckStatus?";
inline constexpr const char kStatusRequestNet[] = "GetStatus;";

// The step's own messages.
inline constexpr const char kWarningTitle[] = "警告";
inline constexpr const char kUsbNotFoundMessage[] = "USB连接错误！\n请检查打印机和电脑的USB连接状态";
inline constexpr const char kUsbBusyGoneMessage[] =
    "打印队列非空，但USB连接错误！\n请检查打印机和电脑的USB连接状态";
inline constexpr const char kNetLinkLostMessage[] = "网络连接错误！\n请检查打印机和电脑的网线连接状态";
inline constexpr const char kReadyTitle[] = "打印机准备就绪";
inline constexpr const char kReadyMessage[] = "打印机准备就绪，等待打印任务";

// How the step learns the printer's state this time.
enum class PollBranch { NotFound, FilterBusy, Open };
PollBranch pollBranch(int initResult);

// What a read without reply leads to.
enum class NoReplyAction { Nothing, Count, ShowReady };
// USB monitor: rule for the first (readIndex 1) or second (2) read of a step.
NoReplyAction usbNoReplyRule(int readIndex, const QString& bubbleText);
// Network monitor: rule for an empty datagram.
NoReplyAction netEmptyReplyRule(const QString& bubbleText);

class MonitorCore {
 public:
  explicit MonitorCore(MonitorVariant variant = MonitorVariant::Usb);

  MonitorVariant variant() const { return variant_; }

  // Reply decoding: every piece between carriage returns that holds
  // "CODE=" goes to showMessageState, in order.
  void execReturnMsg(const QByteArray& reply, MonitorView& view);
  // One line holding "CODE=": de-duplication, catalogue lookup, the
  // conditional entries.
  void showMessageState(const QByteArray& line, MonitorView& view);
  // Shows `code` as if the printer had reported it.
  void justStatusCodeShow(int code, MonitorView& view);

  // One USB polling step (printerStateCheck).
  void printerStateCheck(UsbPollHost& host);

  // A read (USB) or datagram (network) without reply: apply `action`.
  void applyNoReply(NoReplyAction action, MonitorView& view);
  // Network monitor: an empty datagram arrived.
  void emptyDatagram(MonitorView& view) { applyNoReply(netEmptyReplyRule(view.bubbleText()), view); }

  int lastStatusCode() const { return lastStatusCode_; }
  // The polling cycle lost the printer: its first code afterwards is shown
  // even if it repeats the last one.
  void resetLastStatusCode() { lastStatusCode_ = 0; }

  bool hasPrintJob() const { return hasPrintJob_; }
  // Network monitor: stores its own queue probe's result.
  void setHasPrintJob(bool hasJob) { hasPrintJob_ = hasJob; }
  bool filterRunning() const { return filterRunning_; }
  int usbErrorShown() const { return usbErrorShown_; }
  int readyWaitCount() const { return readyWaitCount_; }

 private:
  void readAndDispatch(int readIndex, UsbPollHost& host);
  void showReady(MonitorView& view);

  MonitorVariant variant_;
  int lastStatusCode_ = 0;
  bool hasPrintJob_ = false;
  bool filterRunning_ = false;
  int usbErrorShown_ = 0;
  int readyWaitCount_ = 0;
};

}  // namespace hrv::monitor

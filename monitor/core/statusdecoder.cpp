#include "statusdecoder.h"

#include <QCoreApplication>
#include <vector>

#include "monitorlog.h"

namespace hrv::monitor {

namespace {

const char kEqualsLine[] = "==============================================";  // 46
const char kPlusLine[] = "++++++++++++++++++++++++++++++++++++++++++++++";    // 46

}  // namespace

PollBranch pollBranch(int initResult) {
  switch (initResult) {
    case kUsbNoPrinter:
      return PollBranch::NotFound;
    case kUsbBusy:
      return PollBranch::FilterBusy;
    default:
      return PollBranch::Open;
  }
}

NoReplyAction usbNoReplyRule(int readIndex, const QString& bubbleText) {
  if (bubbleText.contains(QStringLiteral("正在打印")))
    return readIndex == 1 ? NoReplyAction::Count : NoReplyAction::ShowReady;
  if (bubbleText.contains(QStringLiteral("取消"))) return NoReplyAction::Count;
  if (bubbleText.contains(QStringLiteral("初始化"))) return NoReplyAction::ShowReady;
  return NoReplyAction::Nothing;
}

NoReplyAction netEmptyReplyRule(const QString& bubbleText) {
  if (bubbleText.contains(QStringLiteral("正在打印"))) return NoReplyAction::Nothing;
  if (bubbleText.contains(QStringLiteral("取消"))) return NoReplyAction::Count;
  return NoReplyAction::ShowReady;
}

MonitorCore::MonitorCore(MonitorVariant variant) : variant_(variant) {}

void MonitorCore::execReturnMsg(const QByteArray& reply, MonitorView& view) {
  const char* prefix = variant_ == MonitorVariant::Network ? "receive = " : "receive execReturnMsg = ";
  qCDebug(lcMonitor).noquote().nospace() << prefix << reply;
  const QList<QByteArray> pieces = reply.split('\r');
  qCDebug(lcMonitor) << kEqualsLine;
  for (const QByteArray& piece : pieces) {
    if (piece.contains("CODE=")) showMessageState(piece, view);
  }
  qCDebug(lcMonitor) << kEqualsLine;
}

void MonitorCore::showMessageState(const QByteArray& line, MonitorView& view) {
  const int code = codeFromLine(line);
  if (variant_ == MonitorVariant::Network)
    qCDebug(lcMonitor, "MY CODE = %d", code);
  else
    qCDebug(lcMonitor, "MY CODE = %d, %d", code, lastStatusCode_);
  if (code == lastStatusCode_) return;
  lastStatusCode_ = code;

  const StatusEntry* entry = findStatusEntry(code, variant_);
  if (!entry) return;
  switch (entry->rule) {
    case StatusRule::None:
      view.showMessageOnWindow(entry->level, entry->title, entry->message);
      break;
    case StatusRule::EngineInit:
      // Without a job the engine is only warming up: say ready instead,
      // unless ready is what the window already says.
      if (hasPrintJob_)
        view.showMessageOnWindow(entry->level, entry->title, entry->message);
      else if (view.currentLevel() != kLevelInformation)
        justStatusCodeShow(10001, view);
      break;
    case StatusRule::Printing:
      view.showMessageOnWindow(entry->level, entry->title, entry->message);
      view.readPrintJobInfo();
      break;
  }
}

void MonitorCore::justStatusCodeShow(int code, MonitorView& view) {
  showMessageState(QCoreApplication::translate("MainWindow", "CODE=%1").arg(code).toUtf8(), view);
}

void MonitorCore::showReady(MonitorView& view) {
  view.showMessageOnWindow(kLevelInformation, QString::fromUtf8(kReadyTitle),
                           QString::fromUtf8(kReadyMessage));
}

void MonitorCore::applyNoReply(NoReplyAction action, MonitorView& view) {
  switch (action) {
    case NoReplyAction::Nothing:
      break;
    case NoReplyAction::ShowReady:
      showReady(view);
      break;
    case NoReplyAction::Count:
      if (readyWaitCount_ == kReadyWaitLimit) {
        showReady(view);
        readyWaitCount_ = 0;
      } else {
        ++readyWaitCount_;
      }
      break;
  }
}

void MonitorCore::readAndDispatch(int readIndex, UsbPollHost& host) {
  std::vector<unsigned char> buffer(kReplyBufferSize, 0);
  const int result = host.readCmd(buffer.data(), kReplyBufferSize);
  if (result != 0) {
    // A byte count or a failed read: what arrived, up to the first zero.
    int length = 0;
    while (length < kReplyBufferSize && buffer[length] != 0) ++length;
    execReturnMsg(QByteArray(reinterpret_cast<const char*>(buffer.data()), length), host);
    return;
  }
  qCDebug(lcMonitor, "byte_read = %d", 0);
  applyNoReply(usbNoReplyRule(readIndex, host.bubbleText()), host);
}

void MonitorCore::printerStateCheck(UsbPollHost& host) {
  filterRunning_ = host.checkPrintingProcess();
  hasPrintJob_ = host.checkPrintJob();
  // While the filter prints a job of our queue the printer is its own.
  const int result = filterRunning_ && hasPrintJob_ ? kUsbBusy : host.initDevice();
  qCDebug(lcMonitor, "i = %d", result);

  switch (pollBranch(result)) {
    case PollBranch::NotFound:
      qCDebug(lcMonitor) << "find device error";
      if (usbErrorShown_ == 0)
        host.showMessageOnWindow(kLevelCritical, QString::fromUtf8(kWarningTitle),
                                 QString::fromUtf8(kUsbNotFoundMessage));
      readyWaitCount_ = 0;
      usbErrorShown_ = 1;
      lastStatusCode_ = 0;
      return;

    case PollBranch::FilterBusy:
      usbErrorShown_ = 0;
      readyWaitCount_ = 0;
      // Only the window state is looked at first, so that the bus is not
      // scanned while the window is up anyway.
      if (host.windowHidden() == 1 && host.checkUSBDevice() == 0) {
        host.showMessageOnWindow(kLevelCritical, QString::fromUtf8(kWarningTitle),
                                 QString::fromUtf8(kUsbBusyGoneMessage));
        return;
      }
      host.readPrintJobInfo();
      qCDebug(lcMonitor) << "get----device-----error";
      execReturnMsg(host.readPrinterState().toUtf8(), host);
      return;

    case PollBranch::Open:
      break;
  }

  qCDebug(lcMonitor) << "connect ok";
  usbErrorShown_ = 0;
  qCDebug(lcMonitor).noquote() << host.bubbleTitle();

  qCDebug(lcMonitor) << kPlusLine;
  const int sent = host.sendCmd(QByteArray(kStatusRequestUsb));
  qCDebug(lcMonitor, "send1 %d", sent);
  qCDebug(lcMonitor) << kPlusLine;

  host.checkPrinterLink();
  readAndDispatch(1, host);
  readAndDispatch(2, host);

  if (host.releaseDevice() == 0)
    qCDebug(lcMonitor) << "release device ok";
  else
    qCDebug(lcMonitor) << "release device error";
}

}  // namespace hrv::monitor

#include "netpollstep.h"

#include "config.h"
#include "monitorlog.h"

namespace hrv::monitor {

void NetStatusLink::start(NetPollHost& host) {
  printerAddress_ = host.readNetIpInfo();
}

void NetStatusLink::warnLinkLost(MonitorCore& core, MonitorView& view) {
  if (linkLost_ == 0)
    view.showMessageOnWindow(kLevelCritical, QString::fromUtf8(kWarningTitle),
                             QString::fromUtf8(kNetLinkLostMessage));
  linkLost_ = 1;
  // The first code after the link comes back is shown even if it repeats.
  core.resetLastStatusCode();
}

void NetStatusLink::printerStateCheck(NetPollHost& host, MonitorCore& core, MonitorView& view) {
  core.setHasPrintJob(host.checkPrintJob());
  // The setup tool may have given the printer a new address meanwhile.
  const QString address = host.readNetIpInfo();
  if (address != printerAddress_) unanswered_ = 0;
  printerAddress_ = address;

  // Without an address (no network printer set up) there is nobody whose
  // silence would mean anything.
  if (unanswered_ >= kNetSilentStepLimit && !QHostAddress(printerAddress_).isNull()) {
    qCDebug(lcMonitor) << "no reply to the last" << unanswered_ << "requests";
    warnLinkLost(core, view);
  }
  const qint64 sent = host.sendStatusRequest(printerAddress_, QByteArray(kStatusRequestNet));
  qCDebug(lcMonitor).noquote() << QStringLiteral("UDP send ret = %1").arg(sent);
  if (sent != -1) {
    // The state follows when the reply arrives.
    view.readPrintJobInfo();
    ++unanswered_;
    return;
  }
  qCDebug(lcMonitor) << "socket link to device error";
  warnLinkLost(core, view);
}

bool NetStatusLink::datagramRead(const QHostAddress& sender, quint16 senderPort, qint64 bytesRead,
                                 const QByteArray& datagram, MonitorCore& core, MonitorView& view) {
  const QHostAddress printer(printerAddress_);
  if (printer.isNull() || senderPort != kStatusPort ||
      !sender.isEqual(printer, QHostAddress::ConvertV4MappedToIPv4)) {
    qCDebug(lcMonitor).noquote() << "datagram from" << sender.toString() << senderPort << "dropped";
    return false;
  }
  if (bytesRead < 0) return true;  // a read error says nothing about the printer
  unanswered_ = 0;
  linkLost_ = 0;
  if (bytesRead > 0)
    core.execReturnMsg(datagram.left(static_cast<int>(bytesRead)), view);
  else
    core.emptyDatagram(view);
  return true;
}

}  // namespace hrv::monitor

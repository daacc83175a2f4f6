#include "netpollstep.h"

#include "monitorlog.h"

namespace hrv::monitor {

void NetStatusLink::start(NetPollHost& host) {
  printerAddress_ = host.readNetIpInfo();
}

void NetStatusLink::printerStateCheck(NetPollHost& host, MonitorCore& core, MonitorView& view) {
  core.setHasPrintJob(host.checkPrintJob());
  // An address set with the setup tool while the link was down is picked
  // up here.
  if (linkLost_ == 1) printerAddress_ = host.readNetIpInfo();

  const qint64 sent = host.sendStatusRequest(printerAddress_, QByteArray(kStatusRequestNet));
  qCDebug(lcMonitor).noquote() << QStringLiteral("UDP send ret = %1").arg(sent);
  if (sent != -1) {
    // The state follows when the reply arrives.
    view.readPrintJobInfo();
    linkLost_ = 0;
    return;
  }
  qCDebug(lcMonitor) << "socket link to device error";
  if (linkLost_ == 0)
    view.showMessageOnWindow(kLevelCritical, QString::fromUtf8(kWarningTitle),
                             QString::fromUtf8(kNetLinkLostMessage));
  linkLost_ = 1;
  // The first code after the link comes back is shown even if it repeats.
  core.resetLastStatusCode();
}

void NetStatusLink::datagramRead(qint64 bytesRead, const QByteArray& datagram, MonitorCore& core,
                                 MonitorView& view) {
  if (bytesRead > 0)
    core.execReturnMsg(datagram.left(static_cast<int>(bytesRead)), view);
  else if (bytesRead == 0)
    core.emptyDatagram(view);
}

}  // namespace hrv::monitor

#include "netstatussource.h"

#include <QHostAddress>
#include <QUdpSocket>

#include "config.h"
#include "mainwindow.h"
#include "monitorlog.h"
#include "netipinfo.h"

namespace mon = hrv::monitor;

NetStatusSource::Setup NetStatusSource::installed() {
  return {QString::fromLatin1(hrv::kNetIpInfo), static_cast<quint16>(hrv::kStatusPort),
          static_cast<quint16>(hrv::kStatusReplyPort)};
}

NetStatusSource::NetStatusSource(Setup setup) : setup_(std::move(setup)) {}

void NetStatusSource::start(MainWindow& window) {
  window_ = &window;
  link_.start(*this);
  statusSocket_ = new QUdpSocket(&window);
  // A port taken by another program leaves the monitor without replies;
  // the requests still go out.
  if (!statusSocket_->bind(setup_.replyPort))
    qCWarning(mon::lcMonitor).noquote()
        << "cannot bind UDP port" << setup_.replyPort << ":" << statusSocket_->errorString();
  connect(statusSocket_, &QUdpSocket::readyRead, this, &NetStatusSource::readSocket);
}

void NetStatusSource::poll(MainWindow& window) {
  window_ = &window;
  link_.printerStateCheck(*this, window.core(), window);
}

void NetStatusSource::readSocket() {
  qCDebug(mon::lcMonitor) << "read socket";
  qCDebug(mon::lcMonitor) << "receive something";
  // Exactly one datagram, whatever its size (up to the 64 KiB a datagram
  // can hold), with its sender: only the printer's replies count.
  const qint64 size = statusSocket_->pendingDatagramSize();
  QByteArray datagram(static_cast<int>(qMax<qint64>(size, 0)), Qt::Uninitialized);
  QHostAddress sender;
  quint16 senderPort = 0;
  const qint64 bytesRead =
      statusSocket_->readDatagram(datagram.data(), datagram.size(), &sender, &senderPort);
  qCDebug(mon::lcMonitor).noquote() << QStringLiteral("byte_read = %1").arg(bytesRead);
  const bool fromPrinter =
      link_.datagramRead(sender, senderPort, bytesRead, datagram, window_->core(), *window_);
  emit datagramHandled(bytesRead, fromPrinter);
}

bool NetStatusSource::checkPrintJob() {
  const int jobs = setup_.activeJobs(QString::fromLatin1(hrv::kNetQueue));
  qCDebug(mon::lcMonitor, "netPrinter Job= %d", jobs);
  return jobs > 0;
}

QString NetStatusSource::readNetIpInfo() {
  return mon::readNetIpInfo(setup_.netIpInfoPath);
}

qint64 NetStatusSource::sendStatusRequest(const QString& address, const QByteArray& request) {
  return statusSocket_->writeDatagram(request, QHostAddress(address), setup_.statusPort);
}

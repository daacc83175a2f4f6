// The network monitor's status source: the UDP channel to the printer's
// status port, the address file and the network queue's jobs. The decisions are
// NetStatusLink's and the monitor core's; this class does the I/O.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "cupsqueues.h"
#include "netpollstep.h"
#include "statussource.h"

class QUdpSocket;

class NetStatusSource : public QObject, public StatusSource, private hrv::monitor::NetPollHost {
  Q_OBJECT

 public:
  struct Setup {
    QString netIpInfoPath;  // the printer's address, written by the setup tool
    quint16 statusPort;     // the printer's status port
    quint16 replyPort;      // our port, where the replies arrive
    ActiveJobsProbe activeJobs = cupsActiveJobs;
  };
  // The installed paths and the fixed ports.
  static Setup installed();

  explicit NetStatusSource(Setup setup = installed());

  void start(MainWindow& window) override;
  void poll(MainWindow& window) override;

  const hrv::monitor::NetStatusLink& link() const { return link_; }
  QUdpSocket* statusSocket() const { return statusSocket_; }

 signals:
  // A datagram was read off the socket (-1: a read error) and handled, or
  // dropped as a stranger's.
  void datagramHandled(qint64 bytesRead, bool fromPrinter);

 public slots:
  // One datagram per readyRead of the status socket.
  void readSocket();

 private:
  // hrv::monitor::NetPollHost
  bool checkPrintJob() override;
  QString readNetIpInfo() override;
  qint64 sendStatusRequest(const QString& address, const QByteArray& request) override;

  Setup setup_;
  MainWindow* window_ = nullptr;
  // A child of the window, which it lives as long as.
  QUdpSocket* statusSocket_ = nullptr;
  hrv::monitor::NetStatusLink link_;
};

// The network monitor's polling step and reply handling: one "GetStatus;"
// datagram per step to the address from netIpInfo, the link-lost warning
// once per loss, and what a received datagram (or an empty one) shows.
// The socket, the address file and lpstat stay with the caller.
#pragma once

#include <QByteArray>
#include <QString>

#include "statusdecoder.h"

namespace hrv::monitor {

// What the network step needs from the program besides the window.
class NetPollHost {
 public:
  virtual ~NetPollHost() = default;
  // Whether a job of the network queue is listed ("lpstat -R" of both queues).
  virtual bool checkPrintJob() = 0;
  // The printer's address from netIpInfo (empty when unreadable).
  virtual QString readNetIpInfo() = 0;
  // Sends `request` to the status port of `address`; the byte count, or -1.
  virtual qint64 sendStatusRequest(const QString& address, const QByteArray& request) = 0;
};

class NetStatusLink {
 public:
  // At window construction: the address is read once.
  void start(NetPollHost& host);

  // One polling step (printerStateCheck).
  void printerStateCheck(NetPollHost& host, MonitorCore& core, MonitorView& view);

  // One datagram read from the socket: `bytesRead` < 0 is a read error,
  // 0 an empty datagram, otherwise `datagram` holds the reply.
  static void datagramRead(qint64 bytesRead, const QByteArray& datagram, MonitorCore& core,
                           MonitorView& view);

  int linkLost() const { return linkLost_; }
  QString printerAddress() const { return printerAddress_; }

 private:
  QString printerAddress_;
  int linkLost_ = 0;
};

}  // namespace hrv::monitor

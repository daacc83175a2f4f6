// The network monitor's polling step and reply handling: one "GetStatus;"
// datagram per step to the address from netIpInfo (read afresh at every
// step, so that an address set with the setup tool is followed at once), the
// link-lost warning once per loss (a failed send, or a printer that has not
// answered for hrv::kNetSilentStepLimit steps), and what a datagram from the
// printer (or an empty one) shows. Datagrams from anyone but the printer's
// status port are dropped. The socket, the address file and the job check
// stay with the caller.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include "statusdecoder.h"

namespace hrv::monitor {

// What the network step needs from the program besides the window.
class NetPollHost {
 public:
  virtual ~NetPollHost() = default;
  // Whether a job of the network queue is active.
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

  // One datagram read from the socket, sent from `sender`:`senderPort`:
  // `bytesRead` < 0 is a read error, 0 an empty datagram, otherwise
  // `datagram` holds the reply. False when it was dropped as a stranger's.
  bool datagramRead(const QHostAddress& sender, quint16 senderPort, qint64 bytesRead,
                    const QByteArray& datagram, MonitorCore& core, MonitorView& view);

  int linkLost() const { return linkLost_; }
  int unansweredSteps() const { return unanswered_; }
  QString printerAddress() const { return printerAddress_; }

 private:
  void warnLinkLost(MonitorCore& core, MonitorView& view);

  QString printerAddress_;
  // 1 from the warning of a lost link until the printer answers again.
  int linkLost_ = 0;
  // Requests sent since the printer last answered.
  int unanswered_ = 0;
};

}  // namespace hrv::monitor

// Test support for the network monitor: the namespace the tests run in,
// stand-in printers on loopback addresses, and a network monitor window
// wired to the real status source.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUdpSocket>

#include <functional>
#include <memory>

#include "mainwindow.h"
#include "netstatussource.h"

namespace hrvtest {

inline constexpr const char kNetnsStageVar[] = "HRV_NETMON_STAGE";

// Inside the private namespace (ours or the cups session's).
bool insideTestNamespace();
// The host folder behind the namespace's /opt/vorn/HRV5720ZWB and friends.
QString namespaceStage();

bool writeText(const QString& path, const QByteArray& text);

// A UDP port on a loopback address (the printer's status port by default)
// that answers every "GetStatus;" with `reply`, unless `silent`.
class FakePrinter {
 public:
  explicit FakePrinter(const char* address, quint16 port = 9101);
  bool bound() const { return bound_; }
  // Sends a datagram to the monitor's port, as if it were a reply.
  bool send(const QByteArray& datagram);

  QByteArray reply = "CODE=10001\r\n";
  bool silent = false;
  int requests = 0;
  quint16 lastRequestPort = 0;

 private:
  QUdpSocket socket_;
  bool bound_ = false;
};

// The network monitor's window as statusmon-net builds it, with the status
// source at the fixed paths and ports (the namespace's) and no jobs queued,
// the polling timer stopped so that a test runs the steps itself.
class NetMonitor {
 public:
  NetMonitor();
  ~NetMonitor();

  MainWindow& window() { return *window_; }
  NetStatusSource& source() { return *source_; }
  hrv::monitor::MonitorCore& core() { return window_->core(); }
  QString title() const;
  int balloons() const { return balloons_; }
  // Datagrams handled so far, and how many of them came from the printer.
  int datagrams() const { return datagrams_; }
  int fromPrinter() const { return fromPrinter_; }

  void step();
  // Waits until `count` datagrams in all have been handled.
  bool waitForDatagrams(int count, int timeoutMs = 10000);
  // One step, then its reply.
  bool stepAndReply();

 private:
  NetStatusSource* source_;  // owned by the window
  std::unique_ptr<MainWindow> window_;
  int balloons_ = 0, datagrams_ = 0, fromPrinter_ = 0;
};

// Runs the event loop (not in slices with sleeps between them, as
// QTest::qWaitFor does) until `done` holds; false after `timeoutMs`.
bool runEventsUntil(const std::function<bool()>& done, int timeoutMs);

}  // namespace hrvtest

// Test support for the network monitor: the namespace the tests run in, the
// printer simulator, a UDP sender, and a network monitor window wired to the
// real status source.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QVector>

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
// Runs a program to its end; its exit code (-1 when it could not run).
int runProgram(const QString& program, const QStringList& arguments);

// tools/printer-sim on 127.0.0.1, its status replies read from a script
// file that a test rewrites to change the printer's state.
class PrinterSim {
 public:
  // Starts it; `statusScript` is its first status script.
  PrinterSim(const QString& workDir, const QByteArray& statusScript);
  ~PrinterSim();
  bool ready() const { return ready_; }
  void setStatus(const QByteArray& script);
  // Its event lines so far ("status 127.0.0.1:9102 10001", ...).
  QString log();

 private:
  QString dir_;
  QProcess process_;
  QString log_;
  bool ready_ = false;
};

// A plain UDP socket that sends to 127.0.0.1.
class UdpSender {
 public:
  UdpSender();
  ~UdpSender();
  UdpSender(const UdpSender&) = delete;
  UdpSender& operator=(const UdpSender&) = delete;
  // Bytes sent, or -1.
  long send(const QByteArray& datagram, quint16 port);

 private:
  int fd_ = -1;
};

// The network monitor's window as statusmon-net builds it, with the status
// source at the fixed paths and ports (the namespace's), the polling timer
// stopped so that a test runs the steps itself.
class NetMonitor {
 public:
  explicit NetMonitor(const QString& lpstatProgram);
  ~NetMonitor();

  MainWindow& window() { return *window_; }
  NetStatusSource& source() { return *source_; }
  hrv::monitor::MonitorCore& core() { return window_->core(); }
  QString title() const;
  QString message() const;
  int balloons() const { return balloons_; }
  int datagrams() const { return datagrams_; }
  // bytesRead of the i-th datagram handled (of the first 64).
  qint64 datagramSize(int i) const { return sizes_.value(i, -2); }

  // One polling step.
  void step();
  // Waits until `count` datagrams in all have been handled.
  bool waitForDatagrams(int count, int timeoutMs = 10000);
  // One step, then its reply.
  bool stepAndReply();

 private:
  NetStatusSource* source_;  // owned by the window
  std::unique_ptr<MainWindow> window_;
  // Counted, not recorded: floods must not grow the test itself.
  int balloons_ = 0;
  int datagrams_ = 0;
  QVector<qint64> sizes_;
};

// Runs the event loop (not in slices with sleeps between them, as
// QTest::qWaitFor does) until `done` holds; false after `timeoutMs`.
bool runEventsUntil(const std::function<bool()>& done, int timeoutMs);

// Memory this process holds, in KiB: its resident set size, or under
// AddressSanitizer (whose allocator keeps freed blocks in quarantine) the
// heap blocks still allocated.
long memoryInUseKiB();

}  // namespace hrvtest

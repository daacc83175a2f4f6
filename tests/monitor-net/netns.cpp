#include "netns.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime (gcc ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

#include <cstdlib>
#include <fstream>
#include <string>

#include "monitorconfig.h"
#include "ui_mainwindow.h"

namespace hrvtest {

bool insideTestNamespace() {
  return std::getenv(kNetnsStageVar) || std::getenv("HRV_STAGE");
}

QString namespaceStage() {
  const char* own = std::getenv(kNetnsStageVar);
  return QString::fromLocal8Bit(own ? own : std::getenv("HRV_STAGE"));
}

bool writeText(const QString& path, const QByteArray& text) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

int runProgram(const QString& program, const QStringList& arguments) {
  QProcess p;
  p.setProcessChannelMode(QProcess::ForwardedChannels);
  p.start(program, arguments);
  if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit) return -1;
  return p.exitCode();
}

PrinterSim::PrinterSim(const QString& workDir, const QByteArray& statusScript) : dir_(workDir) {
  QDir().mkpath(dir_);
  setStatus(statusScript);
  const QString readyFile = dir_ + QStringLiteral("/sim-ready");
  QFile::remove(readyFile);
  process_.setProcessChannelMode(QProcess::MergedChannels);
  process_.start(QStringLiteral(PRINTER_SIM),
                 {QStringLiteral("--capture-dir"), dir_, QStringLiteral("--status-file"),
                  dir_ + QStringLiteral("/status-script"), QStringLiteral("--ready-file"), readyFile});
  ready_ = process_.waitForStarted(10000) && QTest::qWaitFor([&] { return QFile::exists(readyFile); }, 10000);
}

PrinterSim::~PrinterSim() {
  process_.terminate();
  if (!process_.waitForFinished(10000)) {
    process_.kill();
    process_.waitForFinished(-1);
  }
}

void PrinterSim::setStatus(const QByteArray& script) {
  writeText(dir_ + QStringLiteral("/status-script"), script);
}

QString PrinterSim::log() {
  log_ += QString::fromLocal8Bit(process_.readAll());
  return log_;
}

UdpSender::UdpSender() : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {}
UdpSender::~UdpSender() {
  if (fd_ >= 0) ::close(fd_);
}

long UdpSender::send(const QByteArray& datagram, quint16 port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return ::sendto(fd_, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

namespace {

NetStatusSource* makeSource(const QString& lpstatProgram) {
  NetStatusSource::Setup setup = NetStatusSource::installed();
  setup.lpstatProgram = lpstatProgram;
  return new NetStatusSource(setup);
}

MonitorConfig testConfig() {
  MonitorConfig c = networkMonitorConfig();
  c.trayWaitRounds = 0;  // offscreen has no tray
  return c;
}

}  // namespace

NetMonitor::NetMonitor(const QString& lpstatProgram)
    : source_(makeSource(lpstatProgram)),
      window_(std::make_unique<MainWindow>(testConfig(), std::unique_ptr<StatusSource>(source_))) {
  QObject::connect(window_.get(), &MainWindow::balloonShown, window_.get(), [this] { ++balloons_; });
  QObject::connect(source_, &NetStatusSource::datagramHandled, source_, [this](qint64 bytesRead) {
    ++datagrams_;
    if (sizes_.size() < 64) sizes_.append(bytesRead);
  });
  window_->findChild<QTimer*>(QStringLiteral("pollTimer"))->stop();
}

NetMonitor::~NetMonitor() = default;

QString NetMonitor::title() const {
  return window_->form()->printer_state->text();
}
QString NetMonitor::message() const {
  return window_->form()->printer_help->text();
}

void NetMonitor::step() {
  window_->printerStateCheck();
}

bool NetMonitor::waitForDatagrams(int count, int timeoutMs) {
  return runEventsUntil([&] { return datagrams_ >= count; }, timeoutMs);
}

bool NetMonitor::stepAndReply() {
  const int before = datagrams_;
  step();
  return waitForDatagrams(before + 1);
}

bool runEventsUntil(const std::function<bool()>& done, int timeoutMs) {
  if (done()) return true;
  QEventLoop loop;
  QTimer check;
  check.setInterval(5);
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  check.start();
  loop.exec();
  return done();
}

long memoryInUseKiB() {
#if defined(__SANITIZE_ADDRESS__)
  return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(4096, '\n');
  }
  return -1;
#endif
}

}  // namespace hrvtest

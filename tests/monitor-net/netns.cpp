#include "netns.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdlib>

#include "config.h"
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

FakePrinter::FakePrinter(const char* address, quint16 port)
    : bound_(socket_.bind(QHostAddress(QString::fromLatin1(address)), port)) {
  QObject::connect(&socket_, &QUdpSocket::readyRead, &socket_, [this] {
    while (socket_.hasPendingDatagrams()) {
      QByteArray request(static_cast<int>(socket_.pendingDatagramSize()), '\0');
      QHostAddress from;
      socket_.readDatagram(request.data(), request.size(), &from, &lastRequestPort);
      if (request != "GetStatus;") continue;
      ++requests;
      if (!silent) socket_.writeDatagram(reply, from, lastRequestPort);
    }
  });
}

bool FakePrinter::send(const QByteArray& datagram) {
  return socket_.writeDatagram(datagram, QHostAddress::LocalHost, hrv::kStatusReplyPort) == datagram.size();
}

namespace {

NetStatusSource* makeSource() {
  NetStatusSource::Setup setup = NetStatusSource::installed();
  setup.activeJobs = [](const QString&) { return 0; };
  return new NetStatusSource(setup);
}

MonitorConfig testConfig() {
  MonitorConfig c = networkMonitorConfig();
  c.trayWaitRounds = 0;  // offscreen has no tray
  return c;
}

}  // namespace

NetMonitor::NetMonitor()
    : source_(makeSource()),
      window_(std::make_unique<MainWindow>(testConfig(), std::unique_ptr<StatusSource>(source_))) {
  QObject::connect(window_.get(), &MainWindow::balloonShown, window_.get(), [this] { ++balloons_; });
  QObject::connect(source_, &NetStatusSource::datagramHandled, source_, [this](qint64, bool printer) {
    ++datagrams_;
    fromPrinter_ += printer;
  });
  window_->findChild<QTimer*>(QStringLiteral("pollTimer"))->stop();
}

NetMonitor::~NetMonitor() = default;

QString NetMonitor::title() const {
  return window_->form()->printer_state->text();
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

}  // namespace hrvtest

#include "netipset.h"

#include "config.h"
#include "netsetupcore.h"
#include "setupfiles.h"
#include "ui_netIpSet.h"

#include <QApplication>
#include <QBrush>
#include <QDebug>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QPalette>

#include <algorithm>
#include <array>
#include <utility>

namespace {

// Status line texts shown as written (no translation lookup).
const char kUsbConnected[] = "打印机USB连接正常";
const char kPrinterNotFound[] = "查找打印机失败，请检查打印机USB连接状况或添加网络打印机";
const char kClickFind[] = "请点击查找打印机";
const char kQueueAdded[] = "添加网络打印机成功！";
const char kQueueFailed[] = "添加网络打印机失败！";
const char kSetFailed[] = "设置打印机IP地址失败！";
const char kPrinterBusy[] = "打印机正被其他程序使用，请稍后重试";

// Shows the wait cursor while the window talks to the printer, and lets the
// window paint its latest state before the wait begins.
class BusyCursor {
 public:
  BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

bool openFailed(int result) {
  return result == usb_communicate::kNoPrinter || result == usb_communicate::kDetachOrReleaseFailed;
}

}  // namespace

QueueSetup QueueSetup::system() {
  return {QString::fromUtf8(hrv::kNetIpInfo), QString::fromUtf8(hrv::kSaneConf),
          QString::fromUtf8(hrv::kCupsInitScript), &netsetup::runCommand};
}

netIpSet::netIpSet(QWidget* parent) : netIpSet(QueueSetup::system(), parent) {}

netIpSet::netIpSet(QueueSetup setup, QWidget* parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::netIpSet>()),
      setup_(std::move(setup)),
      checkIpCmd(netsetup::kReadRequest) {
  ui->setupUi(this);
  connect(ui->findPrinter, &QPushButton::clicked, this, &netIpSet::on_findPrinter_clicked);
  connect(ui->addPrinter, &QPushButton::clicked, this, &netIpSet::on_addPrinter_clicked);
  connect(ui->IDOK, &QPushButton::clicked, this, &netIpSet::on_IDOK_clicked);
  connect(ui->clearBtn, &QPushButton::clicked, this, &netIpSet::on_clearBtn_clicked);
  connect(ui->IDCANCEL, &QPushButton::clicked, this, &netIpSet::on_IDCANCEL_clicked);

  QPalette palette = ui->informationAdmin->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    palette.setBrush(group, QPalette::WindowText, QBrush(Qt::red, Qt::SolidPattern));
  ui->informationAdmin->setPalette(palette);

  findSequence(false);
}

netIpSet::~netIpSet() = default;

void netIpSet::showStatus(const QString& text) {
  ui->informationAdmin->setText(text);
}

void netIpSet::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::LanguageChange) {
    ui->retranslateUi(this);
    ui->informationAdmin->clear();
    ui->Ip_label->clear();
    ui->Mask_label->clear();
    ui->Port_label->clear();
  }
}

void netIpSet::enableChange(bool usbMode) {
  for (QWidget* w : {static_cast<QWidget*>(ui->IDOK), static_cast<QWidget*>(ui->clearBtn),
                     static_cast<QWidget*>(ui->ipEdit), static_cast<QWidget*>(ui->maskEdit),
                     static_cast<QWidget*>(ui->portEdit)})
    w->setEnabled(usbMode);
  if (usbMode) ui->findPrinter->setEnabled(true);
  ui->addPrinter->setEnabled(!usbMode);
  ui->netIp->setEnabled(!usbMode);
  ui->groupBox_3->setVisible(!usbMode);
  ui->groupBox_2->setVisible(usbMode);
}

// Opens the printer, reads its configuration into the window and releases
// it again; without a printer the window switches to network-only mode.
void netIpSet::findSequence(bool fromButton) {
  const BusyCursor busy;
  int result = usb_communicate::kDetachOrReleaseFailed;
  if (usbChannel.checkUSBDevice() == 1) {
    qDebug() << "device attached";
    result = usbChannel.initDevice();
  } else {
    qDebug() << "device disattach";
  }
  deviceOpen = false;
  if (result == usb_communicate::kPrinterBusy) {
    // On the bus, but another program kept it past our wait.
    enableChange(true);
    showStatus(QString::fromUtf8(kPrinterBusy));
    return;
  }
  if (openFailed(result)) {
    showStatus(QString::fromUtf8(kPrinterNotFound));
    enableChange(false);
    return;
  }
  deviceOpen = true;
  enableChange(true);
  showStatus(QString::fromUtf8(kUsbConnected));
  if (fromButton) qDebug() << "check ip";
  readSequence();
  usbChannel.releaseDevice();
  deviceOpen = false;
}

void netIpSet::readSequence() {
  // Both attempts together take no longer than the find budget.
  QElapsedTimer find;
  find.start();
  QByteArray reply = writeAndReadPrinter(checkIpCmd, find);
  if (reply.size() != netsetup::kRecordSize) {
    reply = writeAndReadPrinter(checkIpCmd, find);
    if (reply.size() != netsetup::kRecordSize) reply = netsetup::kReadIpError;
  }
  // Only a record is 12 bytes long; the failure texts are not.
  if (reply.size() != netsetup::kRecordSize) {
    showStatus(QString::fromUtf8(kClickFind));
    reply.clear();
  }
  findIp(reply);
}

QByteArray netIpSet::writeAndReadPrinter(const QByteArray& request, const QElapsedTimer& find) {
  qDebug() << "write and read pinrter";
  QByteArray send = request;
  if (usbChannel.SendCmd(reinterpret_cast<unsigned char*>(send.data()), static_cast<unsigned>(send.size())) !=
      usb_communicate::kOk)
    return netsetup::kSendError;
  std::array<unsigned char, netsetup::kReplyBufferSize> buffer{};
  const auto read = [&](int timeoutMs) {
    buffer.fill(0);
    const int n = usbChannel.ReadCmd(buffer.data(), static_cast<unsigned>(buffer.size()),
                                     static_cast<unsigned>(timeoutMs));
    if (n == usb_communicate::kReadFailed) return netsetup::ReadOutcome{true, {}};
    return netsetup::ReadOutcome{false,
                                 QByteArray(reinterpret_cast<const char*>(buffer.data()), std::max(n, 0))};
  };
  return netsetup::awaitRecord(
      read, [&find] { return find.elapsed(); }, hrv::kNetsetupFindBudgetMs);
}

bool netIpSet::onlyWriteToPrinter(const QByteArray& command) {
  std::array<unsigned char, netsetup::kSetRequestSize> buffer{};
  std::copy_n(command.constData(), std::min<int>(command.size(), netsetup::kSetRequestSize), buffer.begin());
  return usbChannel.SendCmd(buffer.data(), static_cast<unsigned>(buffer.size())) == usb_communicate::kOk;
}

bool netIpSet::setIp(const QByteArray& record) {
  const BusyCursor busy;
  if (deviceOpen) usbChannel.releaseDevice();
  const bool attached = usbChannel.checkUSBDevice() == 1;
  qDebug() << (attached ? "device attached" : "device disattach");
  const int result = attached ? usbChannel.initDevice() : usb_communicate::kNoPrinter;
  if (result == usb_communicate::kPrinterBusy) {
    deviceOpen = false;
    showStatus(QString::fromUtf8(kPrinterBusy));
    return false;
  }
  if (!openFailed(result)) {
    deviceOpen = true;
    const bool sent = onlyWriteToPrinter(netsetup::setRequest(record));
    usbChannel.releaseDevice();
    deviceOpen = false;
    if (!sent) showStatus(QString::fromUtf8(kSetFailed));
    return sent;
  }
  deviceOpen = false;
  showStatus(QString::fromUtf8(kPrinterNotFound));
  enableChange(false);
  return false;
}

void netIpSet::findIp(const QByteArray& record) {
  if (record.isEmpty()) {
    for (QLineEdit* edit : {ui->ipEdit, ui->maskEdit, ui->portEdit, ui->netIp}) edit->clear();
    for (QLabel* label : {ui->Ip_label, ui->Mask_label, ui->Port_label}) label->clear();
    showStatus(tr("获取当前打印机IP地址失败！"));
    return;
  }
  const netsetup::DecodedRecord decoded = netsetup::decodeRecord(record);
  for (const QString& line : decoded.trace) qDebug().noquote() << line;
  ui->ipEdit->setText(decoded.address);
  ui->Ip_label->setText(decoded.address);
  ui->maskEdit->setText(decoded.mask);
  ui->Mask_label->setText(decoded.mask);
  ui->portEdit->setText(decoded.gateway);
  ui->Port_label->setText(decoded.gateway);
  ui->netIp->setText(decoded.address);
  showStatus(tr("获取当前打印机IP地址成功！"));
}

void netIpSet::on_findPrinter_clicked() {
  qDebug() << "on_findPrinter_clicked";
  if (deviceOpen) usbChannel.releaseDevice();
  qDebug() << "on_findPrinter_clicked";
  findSequence(true);
}

void netIpSet::setAction() {
  const QString address = ui->ipEdit->text();
  const QString mask = ui->maskEdit->text();
  const QString gateway = ui->portEdit->text();
  if (address.isEmpty()) return showStatus(tr("请输入IP地址"));
  if (!netsetup::checkIp(address)) return showStatus(tr("请检查IP地址是否正确"));
  if (mask.isEmpty()) return showStatus(tr("请输入子网掩码"));
  if (!netsetup::checkIp(mask)) return showStatus(tr("请检查子网掩码是否正确"));
  if (gateway.isEmpty()) return showStatus(tr("请输入默认网关"));
  if (!netsetup::checkIp(gateway)) return showStatus(tr("请检查默认网关是否正确"));
  switch (netsetup::settingsProblem(address, mask, gateway)) {
    case netsetup::SettingsProblem::AddressUnusable:
      return showStatus(tr("该IP地址不能用作打印机地址，请检查IP地址是否正确"));
    case netsetup::SettingsProblem::MaskNotContiguous:
      return showStatus(tr("子网掩码不连续，请检查子网掩码是否正确"));
    case netsetup::SettingsProblem::AddressIsNetworkOrBroadcast:
      return showStatus(tr("IP地址是子网的网络地址或广播地址，请检查IP地址是否正确"));
    case netsetup::SettingsProblem::GatewayOutside:
      return showStatus(tr("默认网关不在打印机IP地址的子网内，请检查默认网关是否正确"));
    case netsetup::SettingsProblem::None:
      break;
  }

  ui->netIp->setText(netsetup::canonicalIp(address));
  // A printer that did not get the address must not get a queue for it.
  if (!setIp(netsetup::encodeRecord(address, mask, gateway))) return;
  addPrinter(netsetup::canonicalIp(address));
}

void netIpSet::on_IDOK_clicked() {
  setAction();
}

void netIpSet::on_IDCANCEL_clicked() {
  // Cancel only closes: nothing goes to the printer and no program runs.
  if (deviceOpen) {
    usbChannel.releaseDevice();
    deviceOpen = false;
  }
  close();
}

void netIpSet::on_clearBtn_clicked() {
  ui->ipEdit->clear();
  ui->maskEdit->clear();
  ui->portEdit->clear();
}

void netIpSet::on_addPrinter_clicked() {
  const QString address = ui->netIp->text();
  if (address.isEmpty()) return showStatus(tr("请输入IP地址"));
  if (!netsetup::checkIp(address)) return showStatus(tr("请检查IP地址是否正确"));
  // On failure the window stays open so that the message can be read.
  if (addPrinter(netsetup::canonicalIp(address))) close();
}

namespace {

QString failure(const netsetup::Command& command, const netsetup::CommandResult& result) {
  const QString why = !result.started  ? QStringLiteral("did not start")
                      : result.crashed ? QStringLiteral("crashed")
                                       : QStringLiteral("exit status %1").arg(result.exitCode);
  return QStringLiteral("%1: %2: %3")
      .arg(command.display(), why, QString::fromLocal8Bit(result.errorOutput).trimmed());
}

}  // namespace

bool netIpSet::addPrinter(const QString& address) {
  const QVector<netsetup::Command> commands =
      netsetup::queueCommands(address, QFileInfo::exists(setup_.cupsInitScript));
  for (int i = 0; i < commands.size(); ++i) {
    const netsetup::CommandResult result = setup_.run(commands.at(i));
    if (result.succeeded()) continue;
    qDebug().noquote() << failure(commands.at(i), result);
    // Without the queue nothing else is done. Once it exists it works as it
    // is: a default that could not be set, or a CUPS that this user may not
    // restart, is only logged, and the files follow the queue.
    if (i == 0) {
      showStatus(QString::fromUtf8(kQueueFailed));
      return false;
    }
  }
  writeNetIptoFile(address);
  showStatus(QString::fromUtf8(kQueueAdded));
  return true;
}

void netIpSet::writeNetIptoFile(const QString& address) {
  if (!netsetup::writeNetIpInfo(setup_.netIpInfoPath, address)) qDebug() << "open file failed";
  if (!netsetup::updateSaneConfig(setup_.saneConfPath, address)) qDebug() << "open file error";
}

// The setup window and the launcher against the emulated USB printer,
// offscreen. The queue creation runs through a recording stand-in and writes
// into a temporary folder.
#include "emulated_printer.h"
#include "netipset.h"
#include "netsetupcore.h"
#include "programgrop.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <array>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

using hrvtest::Bytes;
using hrvtest::EmulatedPrinter;
using hrvtest::Reply;
using netsetup::Command;
using netsetup::CommandResult;

void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}

namespace netsetup {
void PrintTo(const Command& c, std::ostream* os) {
  *os << c.display().toStdString();
}
}  // namespace netsetup

namespace {

const std::array<unsigned char, 12> kExample = {192, 168, 1, 100, 255, 255, 255, 0, 192, 168, 1, 1};
const Bytes kReadRequest = hrvtest::toBytes("CheckIP?");

const char kNotFound[] = "查找打印机失败，请检查打印机USB连接状况或添加网络打印机";
const char kReadOk[] = "获取当前打印机IP地址成功！";
const char kReadFailed[] = "获取当前打印机IP地址失败！";
const char kAdded[] = "添加网络打印机成功！";
const char kAddFailed[] = "添加网络打印机失败！";

Bytes ipReply(std::size_t keep = 12) {
  Bytes reply = hrvtest::toBytes("IPadd:");
  reply.insert(reply.end(), kExample.begin(), kExample.begin() + keep);
  return reply;
}

std::vector<std::string> debugLines;
void collect(QtMsgType, const QMessageLogContext&, const QString& text) {
  debugLines.push_back(text.toStdString());
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    debugLines.clear();
    previous_ = qInstallMessageHandler(&collect);
  }
  void TearDown() override { qInstallMessageHandler(previous_); }

  QueueSetup setup() {
    return {path("netIpInfo"), path("sane.conf"), path("cups-init"), [this](const Command& c) {
              ran.push_back(c);
              return outcome(c);
            }};
  }
  QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
  QByteArray read(const char* name) const {
    QFile f(path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }
  void write(const char* name, const QByteArray& content) {
    QFile f(path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
  }

  template <class T = QWidget>
  static T* part(QWidget& w, const char* name) {
    T* p = w.findChild<T*>(QString::fromLatin1(name));
    if (!p) throw std::runtime_error(std::string("no widget ") + name);
    return p;
  }
  static QString text(QWidget& w, const char* name) {
    if (auto* edit = w.findChild<QLineEdit*>(QString::fromLatin1(name))) return edit->text();
    return part<QLabel>(w, name)->text();
  }
  static QString status(QWidget& w) { return text(w, "informationAdmin"); }
  static void set(QWidget& w, const char* name, const QString& value) {
    part<QLineEdit>(w, name)->setText(value);
  }
  static void fill(QWidget& w, const QString& address, const QString& mask, const QString& gateway) {
    set(w, "ipEdit", address);
    set(w, "maskEdit", mask);
    set(w, "portEdit", gateway);
  }
  static void click(QWidget& w, const char* button) { part<QPushButton>(w, button)->click(); }
  static bool shown(QWidget& w, const char* name) { return part(w, name)->isVisibleTo(&w); }
  static bool usbMode(QWidget& w) {
    return shown(w, "groupBox") && shown(w, "groupBox_2") && !shown(w, "groupBox_3") &&
           part(w, "IDOK")->isEnabled() && !part(w, "addPrinter")->isEnabled();
  }
  static bool networkOnlyMode(QWidget& w) {
    return shown(w, "groupBox") && !shown(w, "groupBox_2") && shown(w, "groupBox_3") &&
           part(w, "addPrinter")->isEnabled() && part(w, "netIp")->isEnabled() &&
           !part(w, "IDOK")->isEnabled();
  }
  static bool logged(const std::string& piece) {
    for (const std::string& line : debugLines)
      if (line.find(piece) != std::string::npos) return true;
    return false;
  }

  QVector<Command> ran;
  std::function<CommandResult(const Command&)> outcome = [](const Command&) {
    return CommandResult{true, false, 0, {}};
  };

 private:
  QTemporaryDir dir_;
  QtMessageHandler previous_ = nullptr;
};

TEST_F(Window, NoPrinterGivesNetworkOnlyModeUntilFindSucceeds) {
  EmulatedPrinter printer(false);
  printer.answerIp(kExample);
  netIpSet w(setup());
  EXPECT_EQ(status(w), kNotFound);
  EXPECT_TRUE(networkOnlyMode(w));

  printer.plug();
  click(w, "findPrinter");
  EXPECT_TRUE(usbMode(w));
  EXPECT_EQ(status(w), kReadOk);
}

TEST_F(Window, GoodReplyFillsEveryFieldUnderAWaitCursor) {
  EmulatedPrinter printer;
  // The printer answers while the window waits for it: the cursor shows it.
  std::vector<int> cursors;
  printer.setResponder([&](const Bytes&) {
    const QCursor* c = QApplication::overrideCursor();
    cursors.push_back(c ? c->shape() : -1);
    return std::vector<Reply>{Reply::bytes(ipReply())};
  });
  netIpSet w(setup());
  EXPECT_TRUE(usbMode(w));
  EXPECT_EQ(status(w), kReadOk);
  for (const char* name : {"ipEdit", "Ip_label", "netIp"}) EXPECT_EQ(text(w, name), "192.168.1.100") << name;
  for (const char* name : {"maskEdit", "Mask_label"}) EXPECT_EQ(text(w, name), "255.255.255.0") << name;
  for (const char* name : {"portEdit", "Port_label"}) EXPECT_EQ(text(w, name), "192.168.1.1") << name;
  EXPECT_EQ(printer.requests(), std::vector<Bytes>{kReadRequest});
  EXPECT_TRUE(logged("port = 192.168.1.1."));
  EXPECT_EQ(cursors, std::vector<int>{Qt::WaitCursor});
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Window, ShortOrFailedReplyIsRetriedOnceThenEmptiesTheFields) {
  EmulatedPrinter printer;
  printer.answerIp(kExample);
  netIpSet w(setup());
  ASSERT_EQ(text(w, "ipEdit"), "192.168.1.100");

  for (const Reply& bad : {Reply::bytes(ipReply(4)), Reply::failure(EPROTO)}) {
    printer.clearWritten();
    printer.setResponder([&](const Bytes&) { return std::vector<Reply>{bad}; });
    click(w, "findPrinter");
    EXPECT_EQ(printer.requests(), (std::vector<Bytes>{kReadRequest, kReadRequest}));
    EXPECT_EQ(status(w), kReadFailed);
    for (const char* name :
         {"ipEdit", "maskEdit", "portEdit", "Ip_label", "Mask_label", "Port_label", "netIp"})
      EXPECT_EQ(text(w, name), "") << name;
  }

  // The second attempt is a real one: a good answer to it is shown.
  printer.clearWritten();
  int asked = 0;
  printer.setResponder(
      [&](const Bytes&) { return std::vector<Reply>{Reply::bytes(ipReply(++asked == 1 ? 4 : 12))}; });
  click(w, "findPrinter");
  EXPECT_EQ(printer.requests().size(), 2u);
  EXPECT_EQ(status(w), kReadOk);
}

TEST_F(Window, SetSendsNineteenBytesEachTimeThenAddsTheQueue) {
  EmulatedPrinter printer;
  printer.answerIp(kExample);
  netIpSet w(setup());
  w.show();
  printer.clearWritten();

  fill(w, "10.0.0.5", "255.0.0.0", "10.0.0.1");
  click(w, "IDOK");
  const Bytes first = {0x53, 0x65, 0x74, 0x49, 0x50, 0x3D, 0x0A, 0x00, 0x00, 0x05,
                       0xFF, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x01, 0x3B};
  EXPECT_EQ(printer.requests(), std::vector<Bytes>{first});
  EXPECT_EQ(text(w, "netIp"), "10.0.0.5");
  EXPECT_EQ(ran, netsetup::queueCommands("10.0.0.5", false));
  EXPECT_EQ(read("netIpInfo"), "10.0.0.5");
  EXPECT_EQ(status(w), kAdded);
  EXPECT_TRUE(w.isVisible());

  fill(w, "192.168.1.100", "255.255.255.0", "192.168.1.1");
  click(w, "IDOK");
  Bytes second = hrvtest::toBytes("SetIP=");
  second.insert(second.end(), kExample.begin(), kExample.end());
  second.push_back(';');
  EXPECT_EQ(printer.requests(), (std::vector<Bytes>{first, second}));
}

// One case per rule and field: the tables of the pure checks hold the rest.
TEST_F(Window, FieldsThatCannotWorkAreRefusedBeforeAnythingIsSentOrRun) {
  EmulatedPrinter printer;
  printer.answerIp(kExample);
  netIpSet w(setup());
  w.show();
  printer.clearWritten();
  struct Case {
    const char *address, *mask, *gateway, *message;
  };
  for (const Case& c :
       {Case{"", "255.255.255.0", "1.1.1.1", "请输入IP地址"},
        Case{"1.2.3.4;reboot", "255.255.255.0", "1.1.1.1", "请检查IP地址是否正确"},
        Case{"1.2.3.4", "", "1.1.1.1", "请输入子网掩码"},
        Case{"1.2.3.4", "255.255.256.0", "1.1.1.1", "请检查子网掩码是否正确"},
        Case{"1.2.3.4", "255.255.255.0", "", "请输入默认网关"},
        Case{"1.2.3.4", "255.255.255.0", "$(id)", "请检查默认网关是否正确"},
        Case{"127.0.0.1", "255.0.0.0", "127.0.0.2", "该IP地址不能用作打印机地址，请检查IP地址是否正确"},
        Case{"192.168.1.100", "255.0.255.0", "192.168.1.1", "子网掩码不连续，请检查子网掩码是否正确"},
        Case{"192.168.1.255", "255.255.255.0", "192.168.1.1",
             "IP地址是子网的网络地址或广播地址，请检查IP地址是否正确"},
        Case{"192.168.1.100", "255.255.255.0", "192.168.2.1",
             "默认网关不在打印机IP地址的子网内，请检查默认网关是否正确"}}) {
    fill(w, QString::fromUtf8(c.address), QString::fromUtf8(c.mask), QString::fromUtf8(c.gateway));
    click(w, "IDOK");
    EXPECT_EQ(status(w), QString::fromUtf8(c.message)) << c.address << " " << c.mask << " " << c.gateway;
  }
  w.enableChange(false);
  set(w, "netIp", "10.1.2.3 && reboot");
  click(w, "addPrinter");
  EXPECT_EQ(status(w), "请检查IP地址是否正确");
  EXPECT_TRUE(printer.requests().empty());
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(read("netIpInfo"), "<missing>");
  EXPECT_TRUE(w.isVisible());
}

TEST_F(Window, FailedSetRequestCreatesNoQueue) {
  EmulatedPrinter printer;
  printer.answerIp(kExample);
  netIpSet w(setup());

  printer.queueWriteResult(hrvtest::WriteResult::failure(EPROTO));
  click(w, "IDOK");
  EXPECT_EQ(status(w), "设置打印机IP地址失败！");
  EXPECT_TRUE(usbMode(w));

  printer.unplug();
  click(w, "IDOK");
  EXPECT_EQ(status(w), kNotFound);
  EXPECT_TRUE(networkOnlyMode(w));
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(read("netIpInfo"), "<missing>");
}

TEST_F(Window, CancelOnlyCloses) {
  EmulatedPrinter printer;
  printer.answerIp(kExample);
  netIpSet w(setup());
  w.show();
  ASSERT_EQ(text(w, "ipEdit"), "192.168.1.100");
  printer.clearWritten();
  click(w, "IDCANCEL");
  EXPECT_TRUE(printer.requests().empty());
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(read("netIpInfo"), "<missing>");
  EXPECT_FALSE(w.isVisible());
}

// After the queue is created the files follow it, whatever fails later; a
// queue that cannot be created leaves everything as it was.
TEST_F(Window, AddQueueWritesTheFilesOnceTheQueueExists) {
  EmulatedPrinter printer(false);
  write("cups-init", "");
  struct Case {
    const char* failing;  // the argument that makes a program fail
    const char* status;
    bool written;
  };
  for (const Case& c : {Case{"", kAdded, true}, Case{"restart", kAdded, true}, Case{"-d", kAdded, true},
                        Case{"-p", kAddFailed, false}}) {
    write("sane.conf", "#net autodiscovery\n#net 192.168.0.10\nnet 10.0.0.9\n");
    QFile::remove(path("netIpInfo"));
    ran.clear();
    debugLines.clear();
    outcome = [&](const Command& cmd) {
      return cmd.arguments.contains(c.failing) ? CommandResult{true, false, 1, "not allowed\n"}
                                               : CommandResult{true, false, 0, {}};
    };
    netIpSet w(setup());
    w.show();
    set(w, "netIp", "10.1.2.3");
    click(w, "addPrinter");
    EXPECT_EQ(status(w), QString::fromUtf8(c.status)) << c.failing;
    EXPECT_EQ(ran.size(), c.written ? 3 : 1) << c.failing;
    EXPECT_EQ(read("netIpInfo"), c.written ? "10.1.2.3" : "<missing>") << c.failing;
    EXPECT_EQ(read("sane.conf"), c.written ? "net autodiscovery\nnet 10.1.2.3\n"
                                           : "#net autodiscovery\n#net 192.168.0.10\nnet 10.0.0.9\n")
        << c.failing;
    EXPECT_EQ(*c.failing != 0, logged("exit status 1: not allowed")) << c.failing;
    EXPECT_EQ(w.isVisible(), !c.written) << c.failing;
  }
  EXPECT_EQ(ran.at(0), netsetup::queueCommands("10.1.2.3", true).at(0));
}

// statusmon polls the printer every 4 s; each step holds it for 2 s (the
// second read waits out its time-out). A find that starts during a step waits
// for it and succeeds; its first answer never comes, so it holds the printer
// for 5 s, across the monitor's next step, which leaves the printer alone.
// The set that follows waits for a step too.
TEST_F(Window, SetupAndMonitorTakeTurnsWithThePrinter) {
  EmulatedPrinter printer;
  int asked = 0;
  printer.setResponder([&](const Bytes& request) {
    if (request == hrvtest::toBytes("CheckStatus?")) return std::vector<Reply>{Reply::text("CODE=10001\r\n")};
    if (request != kReadRequest) return std::vector<Reply>{};
    return std::vector<Reply>{++asked == 2 ? Reply::hang() : Reply::bytes(ipReply())};
  });
  auto steps = [&] {
    int n = 0;
    for (const Bytes& r : printer.requests()) n += r == hrvtest::toBytes("CheckStatus?");
    return n;
  };
  // Returns once the monitor has just begun a step.
  auto duringAStep = [&] {
    const int before = steps();
    for (int i = 0; i < 1000 && steps() == before; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return steps() > before;
  };
  QProcess monitor;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_LOGGING_RULES", "*.debug=true");
  monitor.setProcessEnvironment(env);
  monitor.start(MONITOR_POLLER, QStringList{});
  ASSERT_TRUE(monitor.waitForStarted());

  netIpSet w(setup());
  w.show();
  for (const char* button : {"findPrinter", "IDOK"}) {
    ASSERT_TRUE(duringAStep());
    const auto start = std::chrono::steady_clock::now();
    click(w, button);
    EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500)) << "no wait";
    EXPECT_EQ(status(w), std::string(button) == "IDOK" ? kAdded : kReadOk) << button;
  }
  EXPECT_EQ(printer.requests().back().size(), 19u);
  EXPECT_EQ(asked, 3);
  monitor.closeWriteChannel();
  ASSERT_TRUE(monitor.waitForFinished(10000));
  const QByteArray log = monitor.readAllStandardError();
  EXPECT_TRUE(log.contains("printer in use by another program")) << log.constData();  // a step left out
  EXPECT_FALSE(log.contains("Cannot Claim Interface")) << log.constData();
  EXPECT_TRUE(log.contains("release device ok")) << log.constData();
}

TEST_F(Window, LauncherOpensAFreshModalWindowPerClick) {
  EmulatedPrinter printer;
  printer.answerIp(kExample);
  ProgramGrop launcher;
  launcher.show();
  auto openWindow = [] {
    QPointer<netIpSet> found;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* s = qobject_cast<netIpSet*>(w); s && s->isVisible()) found = s;
    return found;
  };

  click(launcher, "pushButton");
  QPointer<netIpSet> first = openWindow();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(first->windowType(), Qt::Dialog);
  EXPECT_EQ(status(*first), kReadOk);

  // Closing releases the window; the next click searches the bus again.
  first->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  printer.unplug();
  click(launcher, "pushButton");
  QPointer<netIpSet> second = openWindow();
  ASSERT_TRUE(second);
  EXPECT_EQ(status(*second), kNotFound);
  delete second.data();
}

}  // namespace

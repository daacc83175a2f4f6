// The setup window and the launcher against the emulated USB printer,
// offscreen. The queue creation runs through a recording stand-in and writes
// into a temporary folder.
#include "emulated_printer.h"
#include "hostile_inputs.h"
#include "netipset.h"
#include "netsetupcore.h"
#include "programgrop.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
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
std::vector<Reply> replies(std::size_t singleBytes, const Bytes& last) {
  std::vector<Reply> r(singleBytes, Reply::text("E"));
  r.push_back(Reply::bytes(last));
  return r;
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
  QString root() const { return dir_.path(); }
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

TEST_F(Window, GoodReplyFillsEveryField) {
  EmulatedPrinter printer;
  printer.answerIp(kExample);
  netIpSet w(setup());
  EXPECT_TRUE(usbMode(w));
  EXPECT_EQ(status(w), kReadOk);
  for (const char* name : {"ipEdit", "Ip_label", "netIp"}) EXPECT_EQ(text(w, name), "192.168.1.100") << name;
  for (const char* name : {"maskEdit", "Mask_label"}) EXPECT_EQ(text(w, name), "255.255.255.0") << name;
  for (const char* name : {"portEdit", "Port_label"}) EXPECT_EQ(text(w, name), "192.168.1.1") << name;
  EXPECT_EQ(printer.requests(), std::vector<Bytes>{kReadRequest});
  EXPECT_TRUE(logged("port = 192.168.1.1."));
}

TEST_F(Window, ForeignReplySkippedAndBytesPastTheRecordIgnored) {
  EmulatedPrinter printer;
  Bytes reply = hrvtest::toBytes(std::string("IPadd:\x0a\0\0\x05\xff\0\0\0\x0a\0\0\x01", 18) + "junk");
  printer.setResponder([&](const Bytes&) {
    return std::vector<Reply>{Reply::text("CODE=10001\r\n"), Reply::bytes(reply)};
  });
  netIpSet w(setup());
  EXPECT_EQ(status(w), kReadOk);
  EXPECT_EQ(text(w, "Ip_label"), "10.0.0.5");
  EXPECT_EQ(text(w, "Mask_label"), "255.0.0.0");
  EXPECT_EQ(text(w, "Port_label"), "10.0.0.1");
  EXPECT_EQ(printer.requests().size(), 1u);
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
  printer.setResponder([&](const Bytes&) { return replies(0, ipReply(++asked == 1 ? 4 : 12)); });
  click(w, "findPrinter");
  EXPECT_EQ(printer.requests().size(), 2u);
  EXPECT_EQ(status(w), kReadOk);
}

TEST_F(Window, FiftyOneByteRepliesEndTheExchange) {
  EmulatedPrinter printer;
  // A window that read past the fiftieth single byte would find this record.
  printer.setIdleReply(Reply::bytes(ipReply()));
  printer.setResponder([](const Bytes&) { return std::vector<Reply>(50, Reply::text("E")); });
  netIpSet w(setup());
  EXPECT_EQ(status(w), kReadFailed);
  EXPECT_EQ(printer.requests().size(), 2u);

  // Forty-nine are still waited out.
  printer.setResponder([](const Bytes&) { return replies(49, ipReply()); });
  printer.clearWritten();
  click(w, "findPrinter");
  EXPECT_EQ(status(w), kReadOk);
  EXPECT_EQ(printer.requests().size(), 1u);
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

TEST_F(Window, InvalidFieldsAreRefusedBeforeAnythingIsSent) {
  EmulatedPrinter printer;
  printer.answerIp(kExample);
  netIpSet w(setup());
  printer.clearWritten();
  struct Case {
    const char *address, *mask, *gateway, *message;
  };
  for (const Case& c : {Case{"", "255.255.255.0", "1.1.1.1", "请输入IP地址"},
                        Case{"192.168.1", "255.255.255.0", "1.1.1.1", "请检查IP地址是否正确"},
                        Case{"1.2.3.4", "", "1.1.1.1", "请输入子网掩码"},
                        Case{"1.2.3.4", "255.255.256.0", "1.1.1.1", "请检查子网掩码是否正确"},
                        Case{"1.2.3.4", "255.255.255.0", "", "请输入默认网关"},
                        Case{"1.2.3.4", "255.255.255.0", "1.1.1.x", "请检查默认网关是否正确"}}) {
    fill(w, QString::fromUtf8(c.address), QString::fromUtf8(c.mask), QString::fromUtf8(c.gateway));
    click(w, "IDOK");
    EXPECT_EQ(status(w), QString::fromUtf8(c.message)) << c.address << " " << c.mask << " " << c.gateway;
  }
  EXPECT_TRUE(printer.requests().empty());
  EXPECT_TRUE(ran.empty());
}

// Every file and folder under `root`, with a digest of each file's content.
std::map<QString, QByteArray> listing(const QString& root) {
  std::map<QString, QByteArray> all;
  QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString name = it.next();
    QFile f(name);
    all[name] = it.fileInfo().isDir() || !f.open(QIODevice::ReadOnly)
                    ? QByteArray("<dir>")
                    : QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
  }
  return all;
}

// Every field filled from the hostile table in turn, the others valid: each
// is refused with its own text, nothing goes to the printer, no program runs
// (through the runner, or found on PATH, where only traps are), and nothing
// under the window's folder changes. That folder is also the working
// directory, so that a file written under a relative name would show.
TEST_F(Window, HostileFieldsAreRefusedWithoutRunningOrWritingAnything) {
  EmulatedPrinter printer;
  printer.answerIp(kExample);
  write("sane.conf", "#net autodiscovery\n#net 192.168.0.10\n");
  write("cups-init", "");
  QTemporaryDir traps;
  const QString trapCalls = traps.filePath("calls");
  {
    QFile trap(traps.filePath("trap"));
    ASSERT_TRUE(trap.open(QIODevice::WriteOnly));
    trap.write(("#!/bin/sh\necho \"$0 $*\" >> '" + trapCalls + "'\n").toUtf8());
    trap.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  for (const char* name : {"sh", "bash", "lpadmin", "service", "id", "rm", "reboot", "cat", "printf"})
    ASSERT_TRUE(QFile::link(traps.filePath("trap"), traps.filePath(name)));
  struct Restore {
    QByteArray path = qgetenv("PATH");
    QString cwd = QDir::currentPath();
    ~Restore() {
      qputenv("PATH", path);
      QDir::setCurrent(cwd);
    }
  } restore;
  qputenv("PATH", QFile::encodeName(traps.path()));
  ASSERT_TRUE(QDir::setCurrent(root()));

  netIpSet w(setup());
  w.show();
  ASSERT_TRUE(usbMode(w));
  printer.clearWritten();
  const std::map<QString, QByteArray> before = listing(root());
  struct Field {
    const char *edit, *button, *empty, *wrong;
  };
  const Field fields[] = {{"ipEdit", "IDOK", "请输入IP地址", "请检查IP地址是否正确"},
                          {"maskEdit", "IDOK", "请输入子网掩码", "请检查子网掩码是否正确"},
                          {"portEdit", "IDOK", "请输入默认网关", "请检查默认网关是否正确"},
                          {"netIp", "addPrinter", "请输入IP地址", "请检查IP地址是否正确"}};
  int cases = 0, failures = 0;
  for (const Field& f : fields) {
    // The add-queue field is used in network-only mode.
    w.enableChange(std::strcmp(f.button, "addPrinter") != 0);
    for (const QString& value : netsetuptest::hostileAddresses()) {
      fill(w, "10.0.0.5", "255.0.0.0", "10.0.0.1");
      set(w, "netIp", "10.0.0.5");
      set(w, f.edit, value);
      part<QLabel>(w, "informationAdmin")->setText("-");
      click(w, f.button);
      std::string problems;
      if (status(w) != QString::fromUtf8(value.isEmpty() ? f.empty : f.wrong))
        problems += " status \"" + status(w).toStdString() + "\";";
      if (!printer.requests().empty() || !ran.empty() || QFile::exists(trapCalls))
        problems += " something was sent or run;";
      if (listing(root()) != before) problems += " files changed;";
      if (!w.isVisible()) problems += " window closed;";
      ++cases;
      if (!problems.empty()) {
        ++failures;
        ADD_FAILURE() << f.edit << " = \"" << value.left(40).toStdString() << "\":" << problems;
      }
    }
  }
  std::printf("hostile: netsetup %d cases, %d failures, 0 crashes\n", cases, failures);
  std::fflush(stdout);

  // An address that passes changes the two files and nothing else.
  set(w, "netIp", "010.001.002.003");
  click(w, "addPrinter");
  EXPECT_EQ(status(w), kAdded);
  EXPECT_EQ(ran, netsetup::queueCommands("10.1.2.3", true));
  EXPECT_EQ(read("netIpInfo"), "10.1.2.3");
  EXPECT_EQ(read("sane.conf"), "net autodiscovery\nnet 10.1.2.3\n");
  std::map<QString, QByteArray> after = listing(root());
  EXPECT_NE(after, before);
  after.erase(path("netIpInfo"));
  after[path("sane.conf")] = before.at(path("sane.conf"));
  std::map<QString, QByteArray> expected = before;
  expected.erase(path("netIpInfo"));
  EXPECT_EQ(after, expected);
  EXPECT_FALSE(QFile::exists(trapCalls));
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

TEST_F(Window, CancelClosesAfterTheSetActionWhateverItsOutcome) {
  EmulatedPrinter printer;
  printer.answerIp(kExample);
  for (bool filled : {false, true}) {
    netIpSet w(setup());
    w.show();
    if (!filled) click(w, "clearBtn");
    printer.clearWritten();
    click(w, "IDCANCEL");
    EXPECT_EQ(status(w), filled ? kAdded : "请输入IP地址");
    EXPECT_EQ(printer.requests().size(), filled ? 1u : 0u);
    EXPECT_EQ(ran.size(), filled ? 3 : 0);
    EXPECT_FALSE(w.isVisible());
  }
}

TEST_F(Window, AddQueueRunsTheProgramsUpdatesBothFilesAndCloses) {
  EmulatedPrinter printer(false);
  write("cups-init", "");
  write("sane.conf", "#net autodiscovery\n#net 192.168.0.10\nnet 10.0.0.9\n");
  netIpSet w(setup());
  w.show();
  for (const char* refused : {"", "10.1.2.3 && reboot"}) {
    set(w, "netIp", QString::fromUtf8(refused));
    click(w, "addPrinter");
    EXPECT_EQ(status(w), *refused ? "请检查IP地址是否正确" : "请输入IP地址");
  }
  EXPECT_TRUE(ran.empty());
  EXPECT_TRUE(w.isVisible());

  set(w, "netIp", "10.1.2.3");
  click(w, "addPrinter");
  EXPECT_EQ(ran, netsetup::queueCommands("10.1.2.3", true));
  EXPECT_EQ(read("netIpInfo"), "10.1.2.3");
  EXPECT_EQ(read("sane.conf"), "net autodiscovery\nnet 10.1.2.3\nnet 10.1.2.3\n");
  EXPECT_EQ(status(w), kAdded);
  EXPECT_FALSE(w.isVisible());
}

TEST_F(Window, FailingProgramIsReportedAndStopsTheQueueCreation) {
  EmulatedPrinter printer(false);
  netIpSet w(setup());
  w.show();
  outcome = [](const Command& c) {
    return CommandResult{true, false, c.arguments.contains("-d") ? 1 : 0, "lpadmin: no such destination\n"};
  };
  set(w, "netIp", "10.1.2.3");
  click(w, "addPrinter");
  EXPECT_EQ(status(w), kAddFailed);
  EXPECT_TRUE(logged("/usr/sbin/lpadmin -d HRV5720ZWB-net: exit status 1: lpadmin: no such destination"));
  EXPECT_EQ(ran.size(), 2);
  EXPECT_EQ(read("netIpInfo"), "<missing>");
  EXPECT_TRUE(w.isVisible());

  // A program that cannot start at all is a failure too.
  ran.clear();
  outcome = [](const Command&) { return CommandResult{}; };
  click(w, "addPrinter");
  EXPECT_EQ(status(w), kAddFailed);
  EXPECT_EQ(ran.size(), 1);
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

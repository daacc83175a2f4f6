// The setup window and the launcher against the emulated USB printer,
// offscreen; the queue creation runs through a recording stand-in and writes
// into a temporary folder. Screenshot.* runs on Xvfb instead.
#include "emulated_printer.h"
#include "netipset.h"
#include "programgrop.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

using namespace hrvtest;
using netsetup::Command;
using netsetup::CommandResult;
using std::chrono::milliseconds;

void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}
void PrintTo(const QByteArray& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}

namespace {

const char kNotFound[] = "查找打印机失败，请检查打印机USB连接状况或添加网络打印机";
const char kReadOk[] = "获取当前打印机IP地址成功！";
const char kAdded[] = "添加网络打印机成功！";
// "IPadd:" and 192.168.1.100, 255.255.255.0, 192.168.1.1; bytes past the 18th do not count.
const QByteArray kIpReply = "IPadd:" + QByteArray::fromHex("c0a80164ffffff00c0a80101") + "\r\n";
const Line kAnswerIp = {"CheckIP?", {Reply::text(kIpReply.toStdString())}};
const QString kShown =
    "192.168.1.100 192.168.1.100 255.255.255.0 255.255.255.0 192.168.1.1 192.168.1.1 192.168.1.100";

// A widget's text, typed text, or a click.
QString text(QWidget& w, const char* name) {
  return w.findChild<QWidget*>(name)->property("text").toString();
}
void type(QWidget& w, std::initializer_list<std::pair<const char*, QString>> fields) {
  for (const auto& [name, value] : fields) w.findChild<QWidget*>(name)->setProperty("text", value);
}
void click(QWidget& w, const char* button) {
  w.findChild<QAbstractButton*>(button)->click();
}
// The fields, the shown values and the add-queue address.
QString fields(QWidget& w) {
  QStringList all;
  for (const char* name : {"ipEdit", "Ip_label", "maskEdit", "Mask_label", "portEdit", "Port_label", "netIp"})
    all << text(w, name);
  return all.join(' ');
}
// "usb" or "network-only" when groups and buttons agree on it.
std::string mode(QWidget& w) {
  auto shown = [&](const char* n) { return w.findChild<QWidget*>(n)->isVisibleTo(&w); };
  auto on = [&](const char* n) { return w.findChild<QWidget*>(n)->isEnabled(); };
  if (!shown("groupBox")) return "no find group";
  if (shown("groupBox_2") && !shown("groupBox_3") && on("IDOK") && !on("addPrinter") && !on("netIp"))
    return "usb";
  if (!shown("groupBox_2") && shown("groupBox_3") && !on("IDOK") && on("addPrinter") && on("netIp"))
    return "network-only";
  return "mixed";
}

class Window : public ::testing::Test {
 protected:
  // The queue creation: programs recorded, the one given `failing` fails.
  QueueSetup setup() {
    return {path("netIpInfo"), path("sane.conf"), path("cups-init"), [this](const Command& c) {
              ran << c.display();
              return c.arguments.contains(failing) ? CommandResult{true, false, 1, "not allowed\n"}
                                                   : CommandResult{true, false, 0, {}};
            }};
  }
  QString path(const char* name) const { return dir_.filePath(name); }
  QByteArray read(const char* name) const {
    QFile f(path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }
  void write(const char* name, const QByteArray& content) {
    QFile f(path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
  }

  QStringList ran;
  QString failing = "none";

 private:
  QTemporaryDir dir_;
};

// Each click of the launcher opens a fresh modal window, which searches the
// bus; its find button searches again. The window waits for the printer
// under a wait cursor.
TEST(Find, ShowsWhatThePrinterSays) {
  ProgramGrop launcher;
  auto open = [&] {
    click(launcher, "pushButton");
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* s = qobject_cast<netIpSet*>(w); s && s->isVisible()) return QPointer<netIpSet>(s);
    return QPointer<netIpSet>();
  };
  QPointer<netIpSet> w = open();
  ASSERT_TRUE(w);
  EXPECT_EQ(std::make_tuple(w->windowModality(), w->windowType(), text(*w, "informationAdmin"), mode(*w)),
            std::make_tuple(Qt::ApplicationModal, Qt::Dialog, QString(kNotFound), "network-only"));
  w->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(w.isNull());

  std::vector<int> cursors;  // while the printer takes a request
  EmulatedPrinter printer(Script{{kAnswerIp}, Reply::timeout(), {}, 0, 0, 0, [&](const Bytes&) {
                                   const QCursor* c = QApplication::overrideCursor();
                                   cursors.push_back(c ? c->shape() : -1);
                                 }});
  w = open();
  ASSERT_TRUE(w);
  EXPECT_EQ(std::make_tuple(mode(*w), text(*w, "informationAdmin"), fields(*w)),
            std::make_tuple("usb", QString(kReadOk), kShown));
  const Line shortReply = {"CheckIP?", {Reply::text(kIpReply.left(10).toStdString())}, {}, 1};
  const char* failed = "获取当前打印机IP地址失败！";
  struct Case {
    const char* what;
    std::vector<Line> chat;
    const char* status;
    QString fields;
  };
  for (const Case& c : {Case{"a short reply, then a good one", {shortReply, kAnswerIp}, kReadOk, kShown},
                        Case{"a short reply, twice", {shortReply, shortReply}, failed, "      "},
                        Case{"a failed read, twice", {{"CheckIP?", {Reply::failure()}}}, failed, "      "}}) {
    printer.script([&](Script& s) { s.chat = c.chat; });
    printer.clearWritten();
    click(*w, "findPrinter");
    EXPECT_EQ(printer.requests(), std::vector<Bytes>(2, toBytes("CheckIP?"))) << c.what;
    EXPECT_EQ(std::make_tuple(mode(*w), text(*w, "informationAdmin"), fields(*w)),
              std::make_tuple("usb", QString(c.status), c.fields))
        << c.what;
  }
  EXPECT_EQ(std::make_tuple(cursors, QApplication::overrideCursor()),
            std::make_tuple(std::vector<int>(7, Qt::WaitCursor), nullptr));
  delete w.data();
}

// A set goes to the printer as 19 bytes; only a printer that took them gets a queue.
TEST_F(Window, SetSendsTheRecordThenAddsTheQueue) {
  std::optional<EmulatedPrinter> printer(std::in_place,
                                         Script{{kAnswerIp, {"SetIP=", {}, Reply::failure(EPROTO), 1}}});
  netIpSet w(setup());
  w.show();
  printer->clearWritten();
  const auto set = [&](const QString& address, const QString& mask, const QString& gateway) {
    type(w, {{"ipEdit", address}, {"maskEdit", mask}, {"portEdit", gateway}});
    click(w, "IDOK");
    return std::make_tuple(text(w, "informationAdmin"), mode(w), ran.size(), read("netIpInfo"));
  };
  EXPECT_EQ(set("10.0.0.5", "255.0.0.0", "10.0.0.1"),
            std::make_tuple(QString("设置打印机IP地址失败！"), "usb", 0, QByteArray("<missing>")));
  EXPECT_EQ(set("10.0.0.5", "255.0.0.0", "10.0.0.1"),
            std::make_tuple(QString(kAdded), "usb", 3, QByteArray("10.0.0.5")));
  EXPECT_EQ(set("192.168.1.100", "255.255.255.0", "192.168.1.1"),
            std::make_tuple(QString(kAdded), "usb", 6, QByteArray("192.168.1.100")));
  std::vector<QByteArray> sent;
  for (const Bytes& r : printer->requests())
    sent.emplace_back(reinterpret_cast<const char*>(r.data()), int(r.size()));
  EXPECT_EQ(sent, (std::vector<QByteArray>{QByteArray::fromHex("5365744950"
                                                               "3D0A000005FF0000000A0000013B"),
                                           "SetIP=" + kIpReply.mid(6, 12) + ";"}));
  EXPECT_EQ(
      ran.mid(0, 3),
      (QStringList{"/usr/sbin/lpadmin -p HRV5720ZWB-net -m HRV5720ZWB-net.ppd -v socket://10.0.0.5:9100 -E",
                   "/usr/sbin/lpadmin -d HRV5720ZWB-net", "service cups restart"}));
  EXPECT_TRUE(w.isVisible());
  printer.reset();  // unplugged
  EXPECT_EQ(set("10.0.0.5", "255.0.0.0", "10.0.0.1"),
            std::make_tuple(QString(kNotFound), "network-only", 6, QByteArray("192.168.1.100")));
}

// One case per rule and field: the tables of the pure checks hold the rest.
TEST_F(Window, NothingIsSentOrRunForFieldsThatCannotWorkNorOnCancel) {
  EmulatedPrinter printer(Script{{kAnswerIp}});
  netIpSet w(setup());
  w.show();
  printer.clearWritten();
  struct Case {
    const char *address, *mask, *gateway, *message;
  };
  for (const Case& c : {
           Case{"", "255.255.255.0", "1.1.1.1", "请输入IP地址"},
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
                "默认网关不在打印机IP地址的子网内，请检查默认网关是否正确"},
       }) {
    type(w, {{"ipEdit", c.address}, {"maskEdit", c.mask}, {"portEdit", c.gateway}});
    click(w, "IDOK");
    EXPECT_EQ(text(w, "informationAdmin"), c.message) << c.address << " " << c.mask << " " << c.gateway;
  }
  w.enableChange(false);
  type(w, {{"netIp", "10.1.2.3 && reboot"}});
  click(w, "addPrinter");
  EXPECT_EQ(std::make_tuple(text(w, "informationAdmin"), w.isVisible()),
            std::make_tuple(QString("请检查IP地址是否正确"), true));
  // Cancel only closes, whatever the fields hold.
  w.enableChange(true);
  type(w, {{"ipEdit", "10.0.0.5"}, {"maskEdit", "255.0.0.0"}, {"portEdit", "10.0.0.1"}});
  click(w, "IDCANCEL");
  EXPECT_EQ(std::make_tuple(printer.requests().size(), ran.size(), read("netIpInfo"), w.isVisible()),
            std::make_tuple(std::size_t{0}, 0, QByteArray("<missing>"), false));
}

// Once the queue exists the files follow it, whatever fails later; a queue
// that cannot be created leaves everything as it was.
TEST_F(Window, AddQueueWritesTheFilesOnceTheQueueExists) {
  write("cups-init", "");
  const QByteArray sane = "#net autodiscovery\n#net 192.168.0.10\nnet 10.0.0.9\n";
  struct Case {
    const char *address, *failing, *status;
    bool written;
  };
  for (const Case& c : {Case{"10.1.2.3", "none", kAdded, true}, Case{"10.1.2.3", "restart", kAdded, true},
                        Case{"10.1.2.3", "-d", kAdded, true}, Case{"010.001.002.003", "none", kAdded, true},
                        Case{"10.1.2.3", "-p", "添加网络打印机失败！", false}}) {
    write("sane.conf", sane);
    QFile::remove(path("netIpInfo"));
    ran.clear();
    failing = c.failing;
    netIpSet w(setup());
    w.show();
    type(w, {{"netIp", c.address}});
    click(w, "addPrinter");
    EXPECT_EQ(ran.value(0),
              "/usr/sbin/lpadmin -p HRV5720ZWB-net -m HRV5720ZWB-net.ppd -v socket://10.1.2.3:9100 -E");
    EXPECT_EQ(std::make_tuple(text(w, "informationAdmin"), ran.value(2), read("netIpInfo"), read("sane.conf"),
                              w.isVisible()),
              c.written ? std::make_tuple(QString(kAdded), QString("/etc/init.d/cups restart"),
                                          QByteArray("10.1.2.3"),
                                          QByteArray("net autodiscovery\nnet 10.1.2.3\n"), false)
                        : std::make_tuple(QString(c.status), QString(), QByteArray("<missing>"), sane, true))
        << c.address << " " << c.failing;
  }
}

// statusmon polls the printer every 4 s; each step holds it for 2 s (the
// second read waits out its time-out). A find that starts during a step waits
// for it and succeeds; its first answer never comes, so it holds the printer
// for 5 s, across the monitor's next step, which leaves the printer alone.
// The set that follows waits for a step too.
TEST_F(Window, SetupAndMonitorTakeTurnsWithThePrinter) {
  EmulatedPrinter printer(Script{{{"CheckStatus?", {Reply::text("CODE=10001\r\n")}},
                                  {"CheckIP?", {Reply::text(kIpReply.toStdString())}, {}, 1},
                                  {"CheckIP?", {Reply::timeout()}, {}, 1},
                                  kAnswerIp}});
  auto steps = [&] {
    const auto r = printer.requests();
    return std::count(r.begin(), r.end(), toBytes("CheckStatus?"));
  };
  QProcess monitor;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_LOGGING_RULES", "*.debug=true");
  monitor.setProcessEnvironment(env);
  monitor.start(MONITOR_POLLER, QStringList{});
  ASSERT_TRUE(monitor.waitForStarted());
  netIpSet w(setup());
  for (const char* button : {"findPrinter", "IDOK"}) {
    const auto before = steps();  // wait until the monitor has just begun a step
    for (int i = 0; i < 1000 && steps() == before; ++i) std::this_thread::sleep_for(milliseconds(10));
    const auto start = std::chrono::steady_clock::now();
    click(w, button);
    EXPECT_GT(std::chrono::steady_clock::now() - start, milliseconds(500)) << "no wait";
    EXPECT_EQ(text(w, "informationAdmin"), std::string(button) == "IDOK" ? kAdded : kReadOk) << button;
  }
  EXPECT_EQ(printer.requests().back().size(), 19u);
  monitor.closeWriteChannel();
  ASSERT_TRUE(monitor.waitForFinished(10000));
  const QByteArray log = monitor.readAllStandardError();
  EXPECT_TRUE(log.contains("printer in use by another program") && !log.contains("Cannot Claim Interface") &&
              log.contains("release device ok"))
      << log.constData();  // a step left out, none failed
}

// The add-queue action of a window with the installed system's paths and
// programs, for netsetup_cups_test.cpp: HRV_QUEUE_ADDRESS goes into the field.
TEST(QueueDriver, AddQueue) {
  if (!qEnvironmentVariableIsSet("HRV_QUEUE_ADDRESS")) GTEST_SKIP() << "run by netsetup_cups_test.cpp";
  netIpSet w;
  w.show();
  type(w, {{"netIp", qEnvironmentVariable("HRV_QUEUE_ADDRESS")}});
  click(w, "addPrinter");
  std::printf("status: %s\nopen: %d\n", qPrintable(text(w, "informationAdmin")), w.isVisible());
}

// The window in USB mode as the X server shows it, saved under artifacts/.
TEST(Screenshot, SetupWindowInUsbMode) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "runs on Xvfb";
  EmulatedPrinter printer(Script{{kAnswerIp}});
  QTemporaryDir dir;
  netIpSet window({dir.filePath("netIpInfo"), dir.filePath("sane.conf"), dir.filePath("init"),
                   [](const Command&) { return CommandResult{}; }});
  window.move(0, 0);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  // Grabbed until the server shows the red status line.
  const QWidget* status = window.findChild<QWidget*>("informationAdmin");
  const QRect statusArea(status->mapTo(&window, QPoint(0, 0)), status->size());
  QImage image;
  const bool drawn = QTest::qWaitFor([&] {
    image = window.screen()->grabWindow(window.winId()).toImage();
    const QImage line = image.copy(statusArea);
    int red = 0;
    for (int y = 0; y < line.height(); ++y)
      for (int x = 0; x < line.width(); ++x)
        red += qRed(line.pixel(x, y)) > 200 && qGreen(line.pixel(x, y)) < 90;
    return image.size() == QSize(600, 424) && red > 20;
  });
  const QString picture = QDir(qEnvironmentVariable("HRV_ARTIFACT_DIR")).filePath("netsetup-usb-mode.png");
  QDir().mkpath(QFileInfo(picture).path());
  EXPECT_TRUE(image.save(picture) && drawn) << "the red status line never showed";
  EXPECT_EQ(fields(window), kShown);
}

}  // namespace

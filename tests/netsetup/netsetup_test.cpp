// The network setup tool: its pure pieces and files, then its windows against
// the emulated USB printer (offscreen; Screenshot.* on Xvfb) with the queue
// creation recorded, and CupsQueue.* against the end-to-end harness's cupsd.
#include "config.h"
#include "emulated_printer.h"
#include "netipinfofile.h"
#include "netipset.h"
#include "netsetupcore.h"
#include "programgrop.h"
#include "sandbox.h"
#include "setupfiles.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <deque>
#include <filesystem>
#include <thread>

using namespace hrvtest;
using namespace netsetup;
using std::chrono::milliseconds;

void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}

namespace {

const QByteArray kExample = QByteArray::fromHex("c0a80164ffffff00c0a80101");

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& content) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size());
}

// Each read takes `ms` of the printer's time (0: it fails at once); an
// exhausted script keeps sending its last read.
TEST(ReadExchange, EndsAtARecordAFailureFiftySingleBytesOrTheBudget) {
  using Read = std::pair<int, QByteArray>;
  const QByteArray good = "IPadd:" + kExample;
  auto singles = [&](int n, std::deque<Read> then) {
    then.insert(then.begin(), n, Read{5, "E"});
    return then;
  };
  const std::tuple<const char*, std::deque<Read>, QByteArray, int> cases[] = {
      {"a good reply at once", {{5, good}}, kExample, 1},
      {"foreign replies are read past", {{5, "CODE=10001\r\n"}, {5, good + "junk"}}, kExample, 2},
      {"49 single bytes are waited out", singles(49, {{5, good}}), kExample, 50},
      {"the 50th single byte ends it", singles(50, {{5, good}}), "read ip error", 50},
      {"a failed read ends it", {{0, {}}, {5, good}}, "read ip error", 1},
      {"endless foreign replies end at the budget", {{1000, "CODE=10001"}}, "read ip error", 15},
      {"slow single bytes end at the budget", {{4900, "E"}}, "read ip error", 4},
  };
  for (const auto& [what, reads, result, taken] : cases) {
    std::deque<Read> script = reads;
    qint64 now = 0;
    int count = 0;
    bool overlong = false;  // a read beyond 5 s or past the 15 s
    const QByteArray got = awaitRecord(
        [&](int timeoutMs) {
          const Read r = script.front();
          if (script.size() > 1) script.pop_front();
          ++count;
          overlong = overlong || timeoutMs > 5000 || now + timeoutMs > 15000;
          now += std::min(r.first, timeoutMs);
          return r.first > timeoutMs ? ReadOutcome{true, {}} : ReadOutcome{r.first == 0, r.second};
        },
        [&] { return now; }, 15000);
    EXPECT_EQ(std::make_tuple(got, count, overlong), std::make_tuple(result, taken, false)) << what;
  }
}

TEST(CheckIp, AcceptsEveryDottedQuadAndNoHostileText) {
  for (int v = 0; v < 256; ++v) {
    const QString n = QString::number(v);
    for (const QString& text : {n + ".0.0.0", "0." + n + ".0.0", "0.0." + n + ".0", "0.0.0." + n,
                                QString("%1.1.1.1").arg(v, 3, 10, QLatin1Char('0'))})
      EXPECT_TRUE(checkIp(text)) << text.toStdString();
  }
  // Shell metacharacters, blanks, signs, other notations and scripts' digits,
  // control and zero characters, format strings, paths, wrong part counts,
  // out-of-range and over-long values.
  QStringList hostile =
      QString::fromUtf8(
          "1.2.3.4;rm -rf ~|$(id).1.1.1|1.2.3.4`id`|1.2.3.4>x|-1.2.3.4|1.2.3.+4|0x1.2.3.4|1e2.1.1.1|"
          "localhost|1.2.3.4:9100|::1|%s.%s.%s.%s|%n%n%n%n|../../etc/passwd|1.2.3|1.2.3.4.5|1..3.4|"
          "1.2.3.|256.1.1.1|1.1.1.1000|1.2.3.0255|4294967297.1.1.1|１９２.１６８.１.１|1.2.3.²|"
          "1.2.3.4\u202e|1.2.3.4\nid|1.2.\t3.4|1.2.3.4\r| 1.2.3.4|1.2.3.4 -E -v file:/etc/shadow|")
          .split('|');
  hostile << QStringLiteral("1.2.3.4") + QChar(0) + ";id"
          << "1.2.3." + QString(10000, '4');
  int failures = 0;
  for (const QString& text : hostile)
    if (checkIp(text)) ADD_FAILURE() << "accepted: " << text.left(40).toStdString() << ++failures;
  std::printf("hostile: netsetup %d cases, %d failures, 0 crashes\n", int(hostile.size()), failures);
}

TEST(Settings, AddressesThatCannotWorkAreRefused) {
  using P = SettingsProblem;
  const std::pair<const char*, P> cases[] = {
      {"192.168.1.100 255.255.255.0 192.168.1.1", P::None},
      {"172.16.5.4 255.255.240.0 172.16.0.1", P::None},
      {"192.168.1.100 255.255.255.0 0.0.0.0", P::None},      // no gateway
      {"192.168.1.1 255.255.255.254 192.168.1.0", P::None},  // a /31
      {"0.0.0.0 255.255.255.0 0.0.0.1", P::AddressUnusable},
      {"255.255.255.255 255.255.255.0 192.168.1.1", P::AddressUnusable},
      {"127.255.1.2 255.255.255.0 127.255.1.1", P::AddressUnusable},
      {"239.255.255.250 255.255.255.0 239.255.255.1", P::AddressUnusable},
      {"192.168.1.100 255.0.255.0 192.168.1.1", P::MaskNotContiguous},
      {"192.168.1.100 255.255.255.1 192.168.1.1", P::MaskNotContiguous},
      {"192.168.1.0 255.255.255.0 192.168.1.1", P::AddressIsNetworkOrBroadcast},
      {"10.0.0.3 255.255.255.252 10.0.0.1", P::AddressIsNetworkOrBroadcast},
      {"192.168.1.100 255.255.255.0 192.168.2.1", P::GatewayOutside}};
  for (const auto& [settings, problem] : cases) {
    const QStringList s = QString(settings).split(' ');
    EXPECT_EQ(settingsProblem(s[0], s[1], s[2]), problem) << settings;
  }
}

TEST(SaneConfig, OnlyNetLinesChangeAndOneAddressLineRemains) {
  const std::pair<QByteArray, QByteArray> cases[] = {
      {"#net autodiscovery\n#net 192.168.0.10\nnet 10.0.0.9\n", "net autodiscovery\nnet 10.1.2.3\n"},
      {"net 10.0.0.9\n  net 10.0.0.8\n#net 10.0.0.7\n", "net 10.1.2.3\n#net 10.0.0.7\n"},
      {"netfoo 1\nnetwork x\nnet\n#net\tAUTODISCOVERY",
       "netfoo 1\nnetwork x\nnet 10.1.2.3\n#net\tAUTODISCOVERY"},
      {"# net 1.1.1.1\nNet 1.1.1.1\nusb 0x0efd 0x0092\n\nnet autodiscovery",
       "# net 1.1.1.1\nNet 1.1.1.1\nusb 0x0efd 0x0092\n\nnet autodiscovery"},
      {"# caf\xe9\r\nnet 1.1.1.1\r\nnet 2.2.2.2", "# caf\xe9\r\nnet 10.1.2.3"},
      {"", ""}};
  for (const auto& [before, after] : cases)
    EXPECT_EQ(rewriteSaneConfig(before, "10.1.2.3"), after) << before.constData();
}

// The network monitor reads the first line of four dotted parts, else the
// last line. Both files are replaced whole, owner and mode kept, and never
// through a link.
TEST(SetupFiles, TheMonitorReadsWhatTheToolWroteAndLinksAreLeftAlone) {
  QTemporaryDir dir;
  const QString info = dir.filePath("netIpInfo"), sane = dir.filePath("vornhrv5720zwb.conf");
  EXPECT_EQ(hrv::netipinfo::read(info), std::nullopt);
  const std::pair<const char*, const char*> cases[] = {{"# printer address\n10.0.0.7\n", "10.0.0.7"},
                                                       {"a.b\n...\n10.0.0.7\n", "..."},
                                                       {"10.0.0.7\r\n10.0.0.8\n", "10.0.0.7"},
                                                       {"first\nprinter.local", "printer.local"},
                                                       {"1.2.3.4.5", "1.2.3.4.5"}};
  for (const auto& [text, address] : cases) {
    writeAll(info, text);
    EXPECT_EQ(hrv::netipinfo::read(info), QString(address)) << text;
  }
  const QByteArray name = QFile::encodeName(info);
  ASSERT_EQ(chmod(name.constData(), 0664) | chown(name.constData(), 7, 7), 0);  // lp's, as packaged
  EXPECT_TRUE(writeNetIpInfo(info, "10.1.2.3"));
  struct stat st {};
  ASSERT_EQ(stat(name.constData(), &st), 0);
  EXPECT_EQ(
      std::make_tuple(readAll(info), hrv::netipinfo::read(info), st.st_mode & 07777, st.st_uid, st.st_gid),
      std::make_tuple(QByteArray("10.1.2.3"), std::optional<QString>("10.1.2.3"), 0664u, 7u, 7u));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"netIpInfo"});

  // The scanner's file is never created.
  const QString target = dir.filePath("target");
  writeAll(target, "precious");
  for (const QString& link : {info, sane}) {
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(target, link));
  }
  EXPECT_FALSE(writeNetIpInfo(info, "10.1.2.3") || updateSaneConfig(sane, "10.1.2.3"));
  EXPECT_EQ(std::make_tuple(readAll(target), QFileInfo(info).isSymLink()),
            std::make_tuple(QByteArray("precious"), true));
  QFile::remove(sane);
  EXPECT_FALSE(updateSaneConfig(sane, "10.1.2.3") || QFile::exists(sane));
}

const char kNotFound[] = "查找打印机失败，请检查打印机USB连接状况或添加网络打印机";
const char kReadOk[] = "获取当前打印机IP地址成功！";
const char kAdded[] = "添加网络打印机成功！";
const char kAddQueue[] =
    "/usr/sbin/lpadmin -p HRV5720ZWB-net -m HRV5720ZWB-net.ppd -v socket://10.1.2.3:9100 -E";
// "IPadd:" and 192.168.1.100, 255.255.255.0, 192.168.1.1; bytes past the 18th do not count.
const QByteArray kIpReply = "IPadd:" + kExample + "\r\n";
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
  QByteArray read(const char* name) const { return readAll(path(name)); }
  void write(const char* name, const QByteArray& content) { writeAll(path(name), content); }

  QStringList ran;
  QString failing = "none";

 private:
  QTemporaryDir dir_;
};

// Each click of the launcher opens a fresh modal window, which searches the
// bus; its find button searches again, under a wait cursor.
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
  const std::tuple<const char*, std::vector<Line>, const char*, QString> cases[] = {
      {"a short reply, then a good one", {shortReply, kAnswerIp}, kReadOk, kShown},
      {"a failed read, twice", {{"CheckIP?", {Reply::failure()}}}, failed, "      "}};
  for (const auto& [what, chat, status, shown] : cases) {
    printer.script([&, &chat = chat](Script& s) { s.chat = chat; });
    printer.clearWritten();
    click(*w, "findPrinter");
    EXPECT_EQ(std::make_tuple(printer.writtenText(), mode(*w), text(*w, "informationAdmin"), fields(*w)),
              std::make_tuple(std::string("CheckIP?CheckIP?"), "usb", QString(status), shown))
        << what;
  }
  EXPECT_EQ(std::make_tuple(cursors, QApplication::overrideCursor()),
            std::make_tuple(std::vector<int>(5, Qt::WaitCursor), nullptr));
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
  EXPECT_EQ(QByteArray::fromStdString(printer->writtenText()).toHex(),  // "SetIP=", the record, ";", twice
            "53657449503d0a000005ff0000000a0000013b53657449503dc0a80164ffffff00c0a801013b");
  EXPECT_EQ(ran.value(2), "service cups restart");  // without the init script
  EXPECT_TRUE(w.isVisible());
  printer.reset();  // unplugged
  EXPECT_EQ(set("10.0.0.5", "255.0.0.0", "10.0.0.1"),
            std::make_tuple(QString(kNotFound), "network-only", 6, QByteArray("192.168.1.100")));
}

// One case per field and one of the settings: the pure checks hold the rest.
TEST_F(Window, NothingIsSentOrRunForFieldsThatCannotWorkNorOnCancel) {
  EmulatedPrinter printer(Script{{kAnswerIp}});
  netIpSet w(setup());
  w.show();
  printer.clearWritten();
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"", "255.255.255.0", "1.1.1.1", "请输入IP地址"},
      {"1.2.3.4;reboot", "255.255.255.0", "1.1.1.1", "请检查IP地址是否正确"},
      {"1.2.3.4", "255.255.256.0", "1.1.1.1", "请检查子网掩码是否正确"},
      {"1.2.3.4", "255.255.255.0", "$(id)", "请检查默认网关是否正确"},
      {"192.168.1.100", "255.255.255.0", "192.168.2.1",
       "默认网关不在打印机IP地址的子网内，请检查默认网关是否正确"},
  };
  for (const auto& [address, mask, gateway, message] : cases) {
    type(w, {{"ipEdit", address}, {"maskEdit", mask}, {"portEdit", gateway}});
    click(w, "IDOK");
    EXPECT_EQ(text(w, "informationAdmin"), message) << address << " " << mask << " " << gateway;
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
  const std::tuple<const char*, const char*, bool> cases[] = {{"10.1.2.3", "none", true},
                                                              {"10.1.2.3", "restart", true},
                                                              {"10.1.2.3", "-d", true},
                                                              {"010.001.002.003", "none", true},
                                                              {"10.1.2.3", "-p", false}};
  for (const auto& [address, fails, added] : cases) {
    write("sane.conf", sane);
    QFile::remove(path("netIpInfo"));
    ran.clear();
    failing = fails;
    netIpSet w(setup());
    w.show();
    type(w, {{"netIp", address}});
    click(w, "addPrinter");
    EXPECT_EQ(std::make_tuple(ran.value(0), text(w, "informationAdmin"), ran.value(2), read("netIpInfo"),
                              read("sane.conf"), w.isVisible()),
              added ? std::make_tuple(QString(kAddQueue), QString(kAdded),
                                      QString("/etc/init.d/cups restart"), QByteArray("10.1.2.3"),
                                      QByteArray("net autodiscovery\nnet 10.1.2.3\n"), false)
                    : std::make_tuple(QString(kAddQueue), QString("添加网络打印机失败！"), QString(),
                                      QByteArray("<missing>"), sane, true))
        << address << " " << fails;
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
  qputenv("QT_LOGGING_RULES", "*.debug=true");  // the monitor's debug lines
  QProcess monitor;
  monitor.start(MONITOR_POLLER, QStringList{});
  qunsetenv("QT_LOGGING_RULES");
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

// The add-queue action with the installed system's paths and programs, run
// by CupsQueue.*: HRV_QUEUE_ADDRESS goes into the field.
TEST(QueueDriver, AddQueue) {
  if (!qEnvironmentVariableIsSet("HRV_QUEUE_ADDRESS")) GTEST_SKIP() << "run by CupsQueue.*";
  netIpSet w;
  w.show();
  type(w, {{"netIp", qEnvironmentVariable("HRV_QUEUE_ADDRESS")}});
  click(w, "addPrinter");
  std::printf("status: %s\nopen: %d\n", qPrintable(text(w, "informationAdmin")), w.isVisible());
}

// QueueDriver.* as an ordinary user of the lpadmin group against the cupsd of
// tests/e2e/cups-session.sh, in a mount namespace (queue-namespace.sh). The
// real lpadmin runs; the CUPS restart is a stand-in that fails, as the real
// one does for such a user.
TEST(CupsQueue, CreatesTheDefaultQueueAndItsFileWithoutRestartingCups) {
  const char* session = std::getenv("HRV_STAGE");
  if (!session) GTEST_SKIP() << "runs inside tests/e2e/cups-session.sh";
  const std::string stage = std::string(session) + "/netsetup", upper = stage + "/etc/upper";
  std::filesystem::remove_all(stage);
  for (const char* folder : {"/init.d", "/sane.d"}) std::filesystem::create_directories(upper + folder);
  chmod(stage.c_str(), 01777);
  writeFile(upper + "/init.d/cups", "#!/bin/sh\necho 'cups: not allowed' >&2\nexit 4\n");
  chmod((upper + "/init.d/cups").c_str(), 0755);
  const std::string sane = "#net autodiscovery\n#net 192.168.0.10\nnet 10.0.0.9\n";
  writeFile(upper + "/sane.d/vornhrv5720zwb.conf", sane);
  const group* admins = getgrnam("lpadmin");
  const passwd* lp = getpwnam("lp");
  ASSERT_TRUE(admins && lp);
  writeFile(hrv::kNetIpInfo, "");
  ASSERT_EQ(chown(hrv::kNetIpInfo, lp->pw_uid, admins->gr_gid) | chmod(hrv::kNetIpInfo, 0664), 0);
  const auto lpstat = [&](const std::string& args) {
    return shell("env -u LPDEST -u PRINTER HOME=" + stage + " lpstat " + args).out;
  };
  shell("lpadmin -p HRV5720ZWB-net -v socket://127.0.0.1:9100 && lpadmin -d HRV5720ZWB");
  ASSERT_EQ(lpstat("-d"), "system default destination: HRV5720ZWB\n");

  const std::string out =
      shell("{ HOME=" + stage + " HRV_QUEUE_ADDRESS=10.1.2.3 unshare --mount --propagation private " +
            "-- /bin/bash " + HRV_QUEUE_NAMESPACE + " " + stage + " setpriv --reuid=4343 " +
            "--regid=4343 --groups=" + std::to_string(admins->gr_gid) + " " +
            QCoreApplication::applicationFilePath().toStdString() + " --gtest_filter=QueueDriver.* 2>" +
            stage + "/err; }")
          .out;
  const std::string err = readFile(stage + "/err");
  EXPECT_NE(out.find("status: 添加网络打印机成功！\nopen: 0\n"), std::string::npos) << out << err;
  EXPECT_NE(err.find("/etc/init.d/cups restart: exit status 4: cups: not allowed\n"), std::string::npos)
      << err;
  EXPECT_EQ(
      lpstat("-v HRV5720ZWB-net") + lpstat("-d"),
      "device for HRV5720ZWB-net: socket://10.1.2.3:9100\nsystem default destination: HRV5720ZWB-net\n");
  struct stat st {};
  ASSERT_EQ(stat(hrv::kNetIpInfo, &st), 0);
  EXPECT_EQ(std::make_tuple(readFile(hrv::kNetIpInfo), st.st_uid, st.st_gid, st.st_mode & 07777),
            std::make_tuple(std::string("10.1.2.3"), lp->pw_uid, admins->gr_gid, 0664u));
  // The scanner's file belongs to root: this user leaves it as it was.
  EXPECT_EQ(readFile(upper + "/sane.d/vornhrv5720zwb.conf"), sane);
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

// The setup tool's pure pieces (the read exchange, address checks, the
// scanner configuration) and its files in a temporary folder; how a
// group member rewrites netIpInfo in lp's folder is tested as such a user
// against a real cupsd (netsetup_cups_test.cpp).
#include "netipinfofile.h"
#include "netsetupcore.h"
#include "setupfiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <deque>
#include <optional>
#include <tuple>

using namespace netsetup;

namespace {

const QByteArray kExample = QByteArray::fromHex("c0a80164ffffff00c0a80101");

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& content) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(content);
}

// Each read takes `ms` of the printer's time; a failed read is a time-out or
// an error; an exhausted script keeps sending its last read.
TEST(ReadExchange, EndsAtARecordAFailureFiftySingleBytesOrTheBudget) {
  struct Read {
    int ms;
    QByteArray bytes;
    bool failed = false;
  };
  const QByteArray good = "IPadd:" + kExample;
  auto singles = [&](int n, std::deque<Read> then) {
    then.insert(then.begin(), n, Read{5, "E"});
    return then;
  };
  struct Case {
    const char* what;
    std::deque<Read> reads;
    QByteArray result;
    int taken;
  };
  const Case cases[] = {
      {"a good reply at once", {{5, good}}, kExample, 1},
      {"foreign replies are read past", {{5, "CODE=10001\r\n"}, {5, good + "junk"}}, kExample, 2},
      {"49 single bytes are waited out", singles(49, {{5, good}}), kExample, 50},
      {"the 50th single byte ends it", singles(50, {{5, good}}), "read ip error", 50},
      {"a failed read ends it", {{5000, {}, true}, {5, good}}, "read ip error", 1},
      {"endless foreign replies end at the budget", {{1000, "CODE=10001"}}, "read ip error", 15},
      {"slow single bytes end at the budget", {{4900, "E"}}, "read ip error", 4},
  };
  for (const Case& c : cases) {
    std::deque<Read> script = c.reads;
    qint64 now = 0;
    int taken = 0;
    bool overlong = false;
    const QByteArray result = awaitRecord(
        [&](int timeoutMs) {
          const Read r = script.front();
          if (script.size() > 1) script.pop_front();
          ++taken;
          overlong =
              overlong || timeoutMs > 5000 || now + timeoutMs > 15000;  // a read beyond 5 s or the 15 s
          now += std::min(r.ms, timeoutMs);
          return r.ms > timeoutMs ? ReadOutcome{true, {}} : ReadOutcome{r.failed, r.bytes};
        },
        [&] { return now; }, 15000);
    EXPECT_EQ(std::make_tuple(result, taken, overlong), std::make_tuple(c.result, c.taken, false)) << c.what;
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
      {"192.168.1.1 255.255.255.254 192.168.1.0", P::None},  // a /31 link has no broadcast
      {"0.0.0.0 255.255.255.0 0.0.0.1", P::AddressUnusable},
      {"255.255.255.255 255.255.255.0 192.168.1.1", P::AddressUnusable},
      {"127.255.1.2 255.255.255.0 127.255.1.1", P::AddressUnusable},
      {"224.0.0.1 255.255.255.0 224.0.0.2", P::AddressUnusable},
      {"239.255.255.250 255.255.255.0 239.255.255.1", P::AddressUnusable},
      {"192.168.1.100 255.0.255.0 192.168.1.1", P::MaskNotContiguous},
      {"192.168.1.100 255.255.255.1 192.168.1.1", P::MaskNotContiguous},
      {"192.168.1.0 255.255.255.0 192.168.1.1", P::AddressIsNetworkOrBroadcast},
      {"192.168.1.255 255.255.255.0 192.168.1.1", P::AddressIsNetworkOrBroadcast},
      {"10.0.0.3 255.255.255.252 10.0.0.1", P::AddressIsNetworkOrBroadcast},
      {"192.168.1.100 255.255.255.0 192.168.2.1", P::GatewayOutside},
  };
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

// What the setup tool writes is what the network monitor reads; the reader
// takes the first line of four dotted parts, else the last line.
TEST(NetIpInfo, TheMonitorReadsWhatTheSetupToolWrote) {
  QTemporaryDir dir;
  const QString path = dir.filePath("netIpInfo");
  EXPECT_EQ(hrv::netipinfo::read(path), std::nullopt);
  for (const char* address : {"192.168.1.50", "10.0.0.7", ""}) {
    ASSERT_TRUE(writeNetIpInfo(path, address));
    EXPECT_EQ(readAll(path), address);
    EXPECT_EQ(hrv::netipinfo::read(path), QString(address));
  }
  const std::pair<const char*, const char*> cases[] = {{"# printer address\n10.0.0.7\n", "10.0.0.7"},
                                                       {"a.b\n...\n10.0.0.7\n", "..."},
                                                       {"10.0.0.7\r\n10.0.0.8\n", "10.0.0.7"},
                                                       {"first\nprinter.local", "printer.local"},
                                                       {"1.2.3.4.5", "1.2.3.4.5"}};
  for (const auto& [text, address] : cases) {
    writeAll(path, text);
    EXPECT_EQ(hrv::netipinfo::read(path), QString(address)) << text;
  }
}

TEST(SetupFiles, ReplacedWholeNeverThroughALinkOwnerAndModeKept) {
  QTemporaryDir dir;
  const QString info = dir.filePath("netIpInfo"), sane = dir.filePath("vornhrv5720zwb.conf");
  const QByteArray name = QFile::encodeName(info);
  writeAll(info, "192.168.100.200 and an older, longer content\n");
  ASSERT_EQ(chmod(name.constData(), 0664) | chown(name.constData(), 7, 7),
            0);  // lp's, as the package sets it
  EXPECT_TRUE(writeNetIpInfo(info, "10.1.2.3"));
  struct stat st {};
  ASSERT_EQ(stat(name.constData(), &st), 0);
  EXPECT_EQ(std::make_tuple(readAll(info), st.st_mode & 07777, st.st_uid, st.st_gid),
            std::make_tuple(QByteArray("10.1.2.3"), 0664u, 7u, 7u));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"netIpInfo"});

  // A link planted under either name is left alone, and so is its target;
  // the scanner's file is never created.
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

}  // namespace

// The setup tool's pure pieces (record conversions, replies, the read
// exchange, address checks, the scanner configuration rewrite) and the file
// writers on temporary files.
#include "hostile_inputs.h"
#include "netipinfofile.h"
#include "netsetupcore.h"
#include "setupfiles.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

QByteArray bytes(std::initializer_list<unsigned> values) {
  QByteArray out;
  for (unsigned v : values) out.append(static_cast<char>(v));
  return out;
}

const QByteArray kExampleRecord =
    bytes({0xC0, 0xA8, 0x01, 0x64, 0xFF, 0xFF, 0xFF, 0x00, 0xC0, 0xA8, 0x01, 0x01});

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& content) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(content);
}

}  // namespace

TEST(Record, ConversionsOfTheWorkedExamples) {
  EXPECT_EQ(HexToStr(kExampleRecord + "\x7f"), "c0 a8 01 64 ff ff ff 00 c0 a8 01 01");
  EXPECT_EQ(StringToHenStr("0.15.16.255"), "000f10ff");
  EXPECT_EQ(HexStrToByteArray("C0A80164FFFFFF00c0a80101ffff"), kExampleRecord);  // 12 bytes at most
  EXPECT_EQ(encodeRecord("192.168.1.100", "255.255.255.0", "192.168.1.1"), kExampleRecord);
  EXPECT_EQ(setRequest(encodeRecord("10.0.0.5", "255.0.0.0", "10.0.0.1")),
            bytes({0x53, 0x65, 0x74, 0x49, 0x50, 0x3D, 0x0A, 0x00, 0x00, 0x05, 0xFF, 0x00, 0x00, 0x00, 0x0A,
                   0x00, 0x00, 0x01, 0x3B}));
  // Leading zeros are dropped before anything is sent or named.
  EXPECT_EQ(canonicalIp("010.001.02.255"), "10.1.2.255");
  for (int v = 0; v < 256; ++v) {
    const QString n = QString::number(v);
    const DecodedRecord d =
        decodeRecord(encodeRecord(n + ".1.2." + n, "255." + n + ".0.0", "0.0." + n + ".254"));
    EXPECT_EQ(d.address + " " + d.mask + " " + d.gateway,
              n + ".1.2." + n + " 255." + n + ".0.0 0.0." + n + ".254");
  }
}

TEST(Record, OnlyAPrefixedReplyCarriesOne) {
  const QByteArray zeros = bytes({10, 0, 0, 5, 255, 0, 0, 0, 10, 0, 0, 1});
  struct Case {
    QByteArray reply;
    std::optional<QByteArray> record;
  };
  const Case cases[] = {
      {"IPadd:" + kExampleRecord + "trailing junk", kExampleRecord},  // bytes past the 18th are ignored
      {"IPadd:" + zeros, zeros},                                      // zero bytes inside are fine
      {"IPadd:" + kExampleRecord.left(4), "IPadd:" + kExampleRecord.left(4)},  // short: all 10 bytes
      {"ipadd:" + kExampleRecord, std::nullopt},
      {QByteArray("\0IPadd:", 7) + kExampleRecord, std::nullopt},
      {"CODE=10001\r\n", std::nullopt},
      {"", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(recordFromReply(c.reply), c.record) << c.reply.toHex().constData();
}

// Each read takes `ms` of the printer's time; a failed read is a time-out or
// an error.
struct Read {
  int ms;
  QByteArray bytes;
  bool failed = false;
};

TEST(ReadExchange, EndsAtARecordAFailureFiftySingleBytesOrTheBudget) {
  const QByteArray good = "IPadd:" + kExampleRecord;
  auto repeat = [](int n, Read r) { return std::deque<Read>(n, r); };
  auto plus = [](std::deque<Read> a, Read r) {
    a.push_back(r);
    return a;
  };
  struct Case {
    const char* what;
    std::deque<Read> reads;  // an exhausted script keeps sending its last read
    QByteArray result;
    int reads_taken;
  };
  const Case cases[] = {
      {"a good reply at once", {{5, good}}, kExampleRecord, 1},
      {"foreign replies are read past", {{5, "CODE=10001\r\n"}, {5, good + "junk"}}, kExampleRecord, 2},
      {"49 single bytes are waited out", plus(repeat(49, {5, "E"}), {5, good}), kExampleRecord, 50},
      {"the 50th single byte ends it", plus(repeat(50, {5, "E"}), {5, good}), "read ip error", 50},
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
          overlong = overlong || timeoutMs > 5000 || now + timeoutMs > 15000;
          now += std::min(r.ms, timeoutMs);
          return r.ms > timeoutMs ? ReadOutcome{true, {}} : ReadOutcome{r.failed, r.bytes};
        },
        [&] { return now; }, 15000);
    EXPECT_EQ(std::make_tuple(result, taken, overlong, now <= 15000),
              std::make_tuple(c.result, c.reads_taken, false, true))
        << c.what;
  }
}

TEST(CheckIp, AcceptsEveryDottedQuadAndNoHostileText) {
  for (int v = 0; v < 256; ++v) {
    const QString n = QString::number(v);
    for (const QString& text : {n + ".0.0.0", "0." + n + ".0.0", "0.0." + n + ".0", "0.0.0." + n,
                                QString("%1.1.1.1").arg(v, 3, 10, QLatin1Char('0'))})
      EXPECT_TRUE(checkIp(text)) << text.toStdString();
  }
  int cases = 0, failures = 0;
  for (const QString& text : netsetuptest::hostileAddresses()) {
    ++cases;
    if (checkIp(text)) {
      ++failures;
      ADD_FAILURE() << "accepted: " << text.left(40).toStdString();
    }
  }
  std::printf("hostile: netsetup %d cases, %d failures, 0 crashes\n", cases, failures);
}

TEST(Settings, AddressesThatCannotWorkAreRefused) {
  using P = SettingsProblem;
  struct Case {
    const char *address, *mask, *gateway;
    P problem;
  };
  const Case cases[] = {
      {"192.168.1.100", "255.255.255.0", "192.168.1.1", P::None},
      {"10.0.0.5", "255.0.0.0", "10.200.0.1", P::None},
      {"172.16.5.4", "255.255.240.0", "172.16.0.1", P::None},
      {"192.168.1.100", "255.255.255.0", "0.0.0.0", P::None},      // no gateway
      {"192.168.1.1", "255.255.255.254", "192.168.1.0", P::None},  // a /31 link has no broadcast
      {"0.0.0.0", "255.255.255.0", "0.0.0.1", P::AddressUnusable},
      {"255.255.255.255", "255.255.255.0", "192.168.1.1", P::AddressUnusable},
      {"127.0.0.1", "255.0.0.0", "127.0.0.2", P::AddressUnusable},
      {"127.255.1.2", "255.255.255.0", "127.255.1.1", P::AddressUnusable},
      {"224.0.0.1", "255.255.255.0", "224.0.0.2", P::AddressUnusable},
      {"239.255.255.250", "255.255.255.0", "239.255.255.1", P::AddressUnusable},
      {"192.168.1.100", "255.0.255.0", "192.168.1.1", P::MaskNotContiguous},
      {"192.168.1.100", "255.255.255.1", "192.168.1.1", P::MaskNotContiguous},
      {"192.168.1.100", "0.255.255.255", "192.168.1.1", P::MaskNotContiguous},
      {"192.168.1.0", "255.255.255.0", "192.168.1.1", P::AddressIsNetworkOrBroadcast},
      {"192.168.1.255", "255.255.255.0", "192.168.1.1", P::AddressIsNetworkOrBroadcast},
      {"10.0.0.3", "255.255.255.252", "10.0.0.1", P::AddressIsNetworkOrBroadcast},
      {"192.168.1.100", "255.255.255.0", "192.168.2.1", P::GatewayOutside},
      {"10.0.0.5", "255.255.255.0", "10.0.1.1", P::GatewayOutside},
  };
  for (const Case& c : cases)
    EXPECT_EQ(settingsProblem(c.address, c.mask, c.gateway), c.problem)
        << c.address << " " << c.mask << " " << c.gateway;
}

TEST(SaneConfig, OnlyNetLinesChangeAndOneAddressLineRemains) {
  struct Case {
    const char *before, *after;
  };
  const Case cases[] = {
      {"#net autodiscovery\n#net 192.168.0.10\nnet 10.0.0.9\n", "net autodiscovery\nnet 10.1.2.3\n"},
      {"net 10.0.0.9\n  net 10.0.0.8\n#net 10.0.0.7\n", "net 10.1.2.3\n#net 10.0.0.7\n"},
      {"netfoo 1\nnetwork x\nnet\n#net\tAUTODISCOVERY",
       "netfoo 1\nnetwork x\nnet 10.1.2.3\n#net\tAUTODISCOVERY"},
      {"# net 1.1.1.1\nNet 1.1.1.1\nusb 0x0efd 0x0092\n\nnet autodiscovery",
       "# net 1.1.1.1\nNet 1.1.1.1\nusb 0x0efd 0x0092\n\nnet autodiscovery"},
      {"# caf\xe9\r\nnet 1.1.1.1\r\nnet 2.2.2.2", "# caf\xe9\r\nnet 10.1.2.3"},
      {"net 10.1.2.3\n", "net 10.1.2.3\n"},
      {"", ""}};
  for (const Case& c : cases) EXPECT_EQ(rewriteSaneConfig(c.before, "10.1.2.3"), c.after) << c.before;
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
  writeAll(info, "192.168.100.200 and an older, longer content\n");
  ASSERT_EQ(chmod(QFile::encodeName(info).constData(), 0664), 0);
  ASSERT_EQ(chown(QFile::encodeName(info).constData(), 7, 7), 0);  // lp's, as the package sets it
  EXPECT_TRUE(writeNetIpInfo(info, "10.1.2.3"));
  EXPECT_EQ(readAll(info), "10.1.2.3");
  struct stat st {};
  ASSERT_EQ(stat(QFile::encodeName(info).constData(), &st), 0);
  EXPECT_EQ(std::make_tuple(st.st_mode & 07777, st.st_uid, st.st_gid), std::make_tuple(0664u, 7u, 7u));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"netIpInfo"});

  // A link planted under either name is left alone, and so is its target.
  const QString target = dir.filePath("target");
  writeAll(target, "precious");
  for (const QString& name : {info, sane}) {
    QFile::remove(name);
    ASSERT_TRUE(QFile::link(target, name));
  }
  EXPECT_FALSE(writeNetIpInfo(info, "10.1.2.3"));
  EXPECT_FALSE(updateSaneConfig(sane, "10.1.2.3"));
  EXPECT_EQ(readAll(target), "precious");
  EXPECT_TRUE(QFileInfo(info).isSymLink());

  // The scanner file is never created.
  QFile::remove(sane);
  EXPECT_FALSE(updateSaneConfig(sane, "10.1.2.3"));
  EXPECT_FALSE(QFile::exists(sane));
}

TEST(SetupFiles, AFileWritableInAFolderThatIsNotIsRewrittenInPlace) {
  // A user of the file's group in lp's folder: no temporary file can be made.
  QTemporaryDir dir;
  const QString info = dir.filePath("netIpInfo");
  writeAll(info, "192.168.100.200");
  const QByteArray folder = QFile::encodeName(dir.path()), file = QFile::encodeName(info);
  ASSERT_EQ(chown(file.constData(), 0, 4242), 0);
  ASSERT_EQ(chmod(file.constData(), 0664), 0);
  ASSERT_EQ(chmod(folder.constData(), 0755), 0);
  const pid_t child = fork();
  if (child == 0) {
    const gid_t groups[] = {4242};
    _exit(setgroups(1, groups) == 0 && setgid(4343) == 0 && setuid(4343) == 0 &&
                  writeNetIpInfo(info, "10.1.2.3") && !writeNetIpInfo(dir.filePath("new"), "10.1.2.3")
              ? 0
              : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(readAll(info), "10.1.2.3");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"netIpInfo"});
}

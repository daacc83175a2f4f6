// The setup tool's pure pieces: record conversions, USB messages, address
// validation, queue commands, the scanner configuration rewrite, and the two
// file writers on temporary files.
#include "hostile_inputs.h"
#include "netsetupcore.h"
#include "setupfiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace netsetup;

namespace netsetup {
void PrintTo(const Command& c, std::ostream* os) {
  *os << c.display().toStdString();
}
}  // namespace netsetup

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

TEST(HexHelpers, HexTextsAndDigits) {
  EXPECT_EQ(HexToStr(kExampleRecord + "\x7f"), "c0 a8 01 64 ff ff ff 00 c0 a8 01 01");
  EXPECT_EQ(ConvertHexChar('0'), 0);
  EXPECT_EQ(ConvertHexChar('9'), 9);
  EXPECT_EQ(ConvertHexChar('a'), 10);
  EXPECT_EQ(ConvertHexChar('F'), 15);
  for (char c : {'g', 'G', '/', ':', '@', '`', ' ', '-', '\0', '\xff'})
    EXPECT_EQ(ConvertHexChar(c), -1) << int(c);
}

TEST(HexHelpers, StringToHenStrPadsEachPart) {
  EXPECT_EQ(StringToHenStr("192.168.1.100"), "c0a80164");
  EXPECT_EQ(StringToHenStr("10.0.0.5"), "0a000005");
  EXPECT_EQ(StringToHenStr("0.15.16.255"), "000f10ff");
  EXPECT_EQ(StringToHenStr("1.2.3.300"), "010203012c");
  // Parts that are not plain decimal numbers become 00.
  EXPECT_EQ(StringToHenStr("a.-1.+2. 3"), "00000000");
}

TEST(HexHelpers, HexStrToByteArray) {
  EXPECT_EQ(HexStrToByteArray("c0a80164ffffff00c0a80101"), kExampleRecord);
  EXPECT_EQ(HexStrToByteArray("C0A80164FFFFFF00C0A80101"), kExampleRecord);
  EXPECT_EQ(HexStrToByteArray("c0 a8 01 64"), bytes({0xC0, 0xA8, 0x01, 0x64}));
  // Never more than 12 bytes, however long the text.
  EXPECT_EQ(HexStrToByteArray(QString(100, QLatin1Char('1'))), QByteArray(12, '\x11'));
  // A missing second digit counts as an invalid one (-1): 0xc * 16 - 1.
  EXPECT_EQ(HexStrToByteArray("abc"), bytes({0xAB, 0xBF}));
  EXPECT_EQ(HexStrToByteArray(""), QByteArray());
}

TEST(Record, EncodesTheWorkedExamples) {
  EXPECT_EQ(encodeRecord("192.168.1.100", "255.255.255.0", "192.168.1.1"), kExampleRecord);
  const QByteArray request = setRequest(encodeRecord("10.0.0.5", "255.0.0.0", "10.0.0.1"));
  EXPECT_EQ(request, bytes({0x53, 0x65, 0x74, 0x49, 0x50, 0x3D, 0x0A, 0x00, 0x00, 0x05, 0xFF, 0x00, 0x00,
                            0x00, 0x0A, 0x00, 0x00, 0x01, 0x3B}));
  EXPECT_EQ(request.size(), kSetRequestSize);
}

TEST(Record, DecodesWhatItEncodesForEveryPartValue) {
  for (int v = 0; v < 256; ++v) {
    const QString n = QString::number(v);
    const QString address = n + ".1.2." + n, mask = "255." + n + ".0.0", gateway = "0.0." + n + ".254";
    const QByteArray record = encodeRecord(address, mask, gateway);
    ASSERT_EQ(record.size(), kRecordSize) << v;
    const DecodedRecord d = decodeRecord(record);
    EXPECT_EQ(d.address, address);
    EXPECT_EQ(d.mask, mask);
    EXPECT_EQ(d.gateway, gateway);
  }
}

TEST(Record, ReplyPrefixAndLength) {
  const QByteArray good = QByteArray("IPadd:") + kExampleRecord;
  EXPECT_EQ(recordFromReply(good), kExampleRecord);
  // Bytes after the 18th are ignored.
  EXPECT_EQ(recordFromReply(good + "trailing junk"), kExampleRecord);
  // Zero bytes in the record are fine: only the prefix is compared as text.
  const QByteArray zeros = bytes({10, 0, 0, 5, 255, 0, 0, 0, 10, 0, 0, 1});
  EXPECT_EQ(recordFromReply("IPadd:" + zeros), zeros);
  // A short reply gives all its bytes, prefix included: 10 here.
  EXPECT_EQ(recordFromReply("IPadd:" + kExampleRecord.left(4)), "IPadd:" + kExampleRecord.left(4));

  for (const QByteArray& foreign :
       {QByteArray("ipadd:") + kExampleRecord, QByteArray("IPadd"), QByteArray("CODE=10001\r\n"),
        QByteArray("\0IPadd:", 7) + kExampleRecord, QByteArray(" IPadd:") + kExampleRecord, QByteArray()})
    EXPECT_FALSE(recordFromReply(foreign).has_value()) << foreign.toHex().constData();
}

TEST(CheckIp, AcceptsEveryDottedQuadValue) {
  for (int v = 0; v < 256; ++v) {
    const QString n = QString::number(v);
    for (const QString& text : {n + ".0.0.0", "0." + n + ".0.0", "0.0." + n + ".0", "0.0.0." + n})
      EXPECT_TRUE(checkIp(text)) << text.toStdString();
  }
  EXPECT_TRUE(checkIp("255.255.255.255"));
  EXPECT_TRUE(checkIp("192.168.1.100"));
}

TEST(CheckIp, RejectsHostileInput) {
  for (const QString& text : netsetuptest::hostileAddresses())
    EXPECT_FALSE(checkIp(text)) << text.left(40).toStdString();
}

TEST(CheckIp, LeadingZerosPassAndAreDroppedBeforeUse) {
  for (const char* text : {"010.001.02.255", "00.0.000.9", "192.168.001.100"})
    EXPECT_TRUE(checkIp(QString::fromLatin1(text))) << text;
  EXPECT_EQ(canonicalIp("010.001.02.255"), "10.1.2.255");
  EXPECT_EQ(canonicalIp("00.0.000.9"), "0.0.0.9");
  EXPECT_EQ(encodeRecord("010.001.02.255", "255.255.255.000", "010.0.0.1"),
            encodeRecord("10.1.2.255", "255.255.255.0", "10.0.0.1"));
}

TEST(QueueCommands, ArgumentListsOfTheQueueCreation) {
  const QStringList create = {"-p", "HRV5720ZWB-net",         "-m", "HRV5720ZWB-net.ppd",
                              "-v", "socket://10.1.2.3:9100", "-E"};
  const QVector<Command> withInit = queueCommands("10.1.2.3", true);
  ASSERT_EQ(withInit.size(), 3);
  EXPECT_EQ(withInit[0], (Command{"/usr/sbin/lpadmin", create}));
  EXPECT_EQ(withInit[1], (Command{"/usr/sbin/lpadmin", {"-d", "HRV5720ZWB-net"}}));
  EXPECT_EQ(withInit[2], (Command{"/etc/init.d/cups", {"restart"}}));
  const QVector<Command> withoutInit = queueCommands("10.1.2.3", false);
  ASSERT_EQ(withoutInit.size(), 3);
  EXPECT_EQ(withoutInit[2], (Command{"service", {"cups", "restart"}}));
}

TEST(SaneConfig, RewritesNetLinesOnly) {
  // The worked example, plus lines that must not change.
  EXPECT_EQ(rewriteSaneConfig("#net autodiscovery\n#net 192.168.0.10\nnet 10.0.0.9\n", "10.1.2.3"),
            "net autodiscovery\nnet 10.1.2.3\nnet 10.1.2.3\n");
  EXPECT_EQ(
      rewriteSaneConfig("# net 1.1.1.1\n#network x\n  net 1.1.1.1\nusb 0x0efd 0x0092\n\nnet autodiscovery",
                        "10.1.2.3"),
      "# net 1.1.1.1\n#network x\n  net 1.1.1.1\nusb 0x0efd 0x0092\n\nnet autodiscovery");
  // "net" lines of any kind without autodiscovery take the address; case matters.
  EXPECT_EQ(rewriteSaneConfig("netfoo\nnet\nNet 1.1.1.1\n#net AUTODISCOVERY", "10.1.2.3"),
            "net 10.1.2.3\nnet 10.1.2.3\nNet 1.1.1.1\nnet 10.1.2.3");
  // Other lines keep their bytes, carriage returns and non-UTF-8 included.
  EXPECT_EQ(rewriteSaneConfig("# caf\xe9\r\nnet 1.1.1.1\r\n", "10.1.2.3"), "# caf\xe9\r\nnet 10.1.2.3\n");
  EXPECT_EQ(rewriteSaneConfig("", "10.1.2.3"), "");
}

TEST(SetupFiles, WritersTakeTheirPathsAndNeverCreateTheSaneFile) {
  QTemporaryDir dir;
  const QString info = dir.filePath("netIpInfo"), sane = dir.filePath("vornhrv5720zwb.conf");
  writeAll(info, "192.168.100.200 and an older, longer content\n");
  EXPECT_TRUE(writeNetIpInfo(info, "10.1.2.3"));
  EXPECT_EQ(readAll(info), "10.1.2.3");
  EXPECT_FALSE(writeNetIpInfo(dir.filePath("no-such-dir/netIpInfo"), "10.1.2.3"));

  EXPECT_FALSE(updateSaneConfig(sane, "10.1.2.3"));
  EXPECT_FALSE(QFile::exists(sane));
  writeAll(sane, "#net autodiscovery\n#net 192.168.0.10\nnet 10.0.0.9\n");
  EXPECT_TRUE(updateSaneConfig(sane, "10.1.2.3"));
  EXPECT_EQ(readAll(sane), "net autodiscovery\nnet 10.1.2.3\nnet 10.1.2.3\n");
}

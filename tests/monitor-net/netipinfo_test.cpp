// The netIpInfo reader: the address line as the setup tool writes it, what
// comes before it, and files that hold none.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "netipinfo.h"
#include "netns.h"

namespace {

using hrv::monitor::netIpInfoFromText;
using hrv::monitor::readNetIpInfo;

TEST(NetIpInfo, TheFirstFourPartLineIsTheAddress) {
  // As the setup tool writes it: the address alone, no line end.
  EXPECT_EQ(netIpInfoFromText("192.168.1.50"), QStringLiteral("192.168.1.50"));
  EXPECT_EQ(netIpInfoFromText("192.168.1.50\n"), QStringLiteral("192.168.1.50"));
  // A comment line without dots is passed over.
  EXPECT_EQ(netIpInfoFromText("# printer address\n10.0.0.7\n"), QStringLiteral("10.0.0.7"));
  // Reading stops at the first four-part line; empty pieces count.
  EXPECT_EQ(netIpInfoFromText("a.b\n...\n10.0.0.7\n"), QStringLiteral("..."));
  EXPECT_EQ(netIpInfoFromText("10.0.0.7\r\n10.0.0.8\n"), QStringLiteral("10.0.0.7"));
}

TEST(NetIpInfo, WithoutAnAddressLineTheLastLineOrNothing) {
  EXPECT_EQ(netIpInfoFromText(""), QString());
  EXPECT_EQ(netIpInfoFromText("first\nprinter.local"), QStringLiteral("printer.local"));
  EXPECT_EQ(netIpInfoFromText("1.2.3.4.5"), QStringLiteral("1.2.3.4.5"));
}

TEST(NetIpInfo, TheFileReaderGivesTheSameOrEmptyForAMissingFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("netIpInfo"));
  EXPECT_EQ(readNetIpInfo(path), QString());  // missing
  ASSERT_TRUE(hrvtest::writeText(path, ""));
  EXPECT_EQ(readNetIpInfo(path), QString());
  ASSERT_TRUE(hrvtest::writeText(path, "; set by netsetup\n172.16.0.9"));
  EXPECT_EQ(readNetIpInfo(path), QStringLiteral("172.16.0.9"));
  ASSERT_TRUE(hrvtest::writeText(path, "172.16.0.9\r\n"));
  EXPECT_EQ(readNetIpInfo(path), QStringLiteral("172.16.0.9"));
}

}  // namespace

// The printer's lock answers, the drain failure count and the side-channel
// message format.
#include <gtest/gtest.h>

#include "channels.h"
#include "drainpolicy.h"
#include "lockreply.h"

using namespace hrv;

namespace {
int scan(const char* reply, int start = kLockNoAnswer) {
  StringLogger log;
  return scanLockReply(reply, start, log);
}
}  // namespace

TEST(LockReply, CodesFromTheEToken) {
  EXPECT_EQ(scan("CODE=00001\r\n"), 1);
  EXPECT_EQ(scan("CODE=00002\r\n"), 2);
  EXPECT_EQ(scan("CODE=0000A"), kLockNoAnswer);
  EXPECT_EQ(scan("CODE=00002 CODE=00001"), 1);  // first code 1 wins
  EXPECT_EQ(scan("CODE=00001 CODE=00002"), 1);
  EXPECT_EQ(scan("CODE=00003"), 3);          // read again without a new request
  EXPECT_EQ(scan("E= 2"), 2);                // blanks before the text are skipped
  EXPECT_EQ(scan("CODE=123456789"), 12345);  // at most five characters
}

TEST(LockReply, NoTokenKeepsTheCodeSoFar) {
  EXPECT_EQ(scan(""), kLockNoAnswer);
  EXPECT_EQ(scan("garbage"), kLockNoAnswer);
  EXPECT_EQ(scan("xyz", 2), 2);
  EXPECT_EQ(scan("CODE="), kLockNoAnswer);
  EXPECT_EQ(scan("CODECODE"), kLockNoAnswer);
  // 'D', 'O' and 'C' split tokens anywhere: "DONE=1" yields "NE=1", no code.
  EXPECT_EQ(scan("DONE=1"), kLockNoAnswer);
}

TEST(DrainFailures, TenCountedFailuresAreToleratedTheEleventhCancels) {
  DrainFailures usb(false);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(usb.record(kScTimeout), DrainFailures::Action::kPauseThenGoOn) << i;
  EXPECT_EQ(usb.record(kScNoResponse), DrainFailures::Action::kCancel);

  DrainFailures reset(false);
  for (int i = 0; i < 10; ++i) reset.record(kScTimeout);
  EXPECT_EQ(reset.record(kScOk), DrainFailures::Action::kGoOn);
  EXPECT_EQ(reset.count(), 0);
  EXPECT_EQ(reset.record(kScTimeout), DrainFailures::Action::kPauseThenGoOn);
}

TEST(DrainFailures, WhichStatusesCount) {
  DrainFailures usb(false), net(true);
  EXPECT_EQ(usb.record(kScIoError), DrainFailures::Action::kGoOn);
  EXPECT_EQ(usb.count(), 0);
  EXPECT_EQ(net.record(kScIoError), DrainFailures::Action::kPauseThenGoOn);
  EXPECT_EQ(net.count(), 1);
  for (int other : {kScNone, kScBadMessage, kScTooBig, kScNotImplemented}) {
    EXPECT_EQ(net.record(other), DrainFailures::Action::kGoOn);
    EXPECT_EQ(net.count(), 1);  // neither counted nor reset
  }
}

TEST(SideChannelMessage, ParsedLikeLibcups) {
  char data[8];
  int len = sizeof data;
  const unsigned char ok[] = {2, 1, 0, 0};
  EXPECT_EQ(parseSideChannelMessage(ok, 4, 2, data, &len), kScOk);
  EXPECT_EQ(len, 0);

  const unsigned char withData[] = {2, 1, 0, 3, 'a', 'b', 'c'};
  len = sizeof data;
  EXPECT_EQ(parseSideChannelMessage(withData, 7, 2, data, &len), kScOk);
  EXPECT_EQ(std::string(data, 3), "abc");

  len = 2;  // more data than the caller's buffer
  EXPECT_EQ(parseSideChannelMessage(withData, 7, 2, data, &len), kScTooBig);
  len = sizeof data;  // length says more than was read
  EXPECT_EQ(parseSideChannelMessage(withData, 5, 2, data, &len), kScTooBig);
  len = sizeof data;
  const unsigned char otherCommand[] = {3, 1, 0, 0};
  EXPECT_EQ(parseSideChannelMessage(otherCommand, 4, 2, data, &len), kScBadMessage);
  const unsigned char badCommand[] = {0, 1, 0, 0};
  EXPECT_EQ(parseSideChannelMessage(badCommand, 4, 2, data, &len), -1);
  EXPECT_EQ(parseSideChannelMessage(ok, 3, 2, data, &len), -1);
}

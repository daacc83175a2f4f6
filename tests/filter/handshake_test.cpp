// The printer's lock answers, the drain failure count and the side-channel
// message format.
#include <gtest/gtest.h>

#include <vector>

#include "channels.h"
#include "drainpolicy.h"
#include "lockreply.h"

using namespace hrv;

TEST(LockReply, CodeFromTheETokens) {
  const struct {
    const char* reply;
    int start;
    int code;
  } cases[] = {
      {"CODE=00001\r\n", kLockNoAnswer, 1},
      {"CODE=00002\r\n", kLockNoAnswer, 2},
      {"CODE=0000A", kLockNoAnswer, kLockNoAnswer},  // not all digits
      {"CODE=00002 CODE=00001", kLockNoAnswer, 1},   // the first 1 wins
      {"CODE=00001 CODE=00002", kLockNoAnswer, 1},
      {"CODE=00003", kLockNoAnswer, 3},
      {"E= 2", kLockNoAnswer, 2},                // blanks before the text
      {"CODE=123456789", kLockNoAnswer, 12345},  // at most five characters
      {"", kLockNoAnswer, kLockNoAnswer},
      {"xyz", 2, 2},  // no token keeps the code so far
      {"CODE=", kLockNoAnswer, kLockNoAnswer},
      {"DONE=1", kLockNoAnswer, kLockNoAnswer},  // 'D' and 'O' split it: "NE=1"
  };
  for (const auto& c : cases) {
    StringLogger log;
    EXPECT_EQ(scanLockReply(c.reply, c.start, log), c.code) << c.reply;
  }
}

TEST(DrainFailures, ElevenCountedFailuresInARowCancel) {
  using A = DrainFailures::Action;
  const std::vector<A> tenPauses(10, A::kPauseThenGoOn);
  auto run = [](bool network, const std::vector<int>& statuses) {
    DrainFailures f(network);
    std::vector<A> actions;
    for (int s : statuses) actions.push_back(f.record(s));
    return actions;
  };
  auto with = [](std::vector<A> v, std::initializer_list<A> more) {
    v.insert(v.end(), more);
    return v;
  };
  const std::vector<int> tenTimeouts(10, kScTimeout);
  auto then = [&](std::initializer_list<int> more) {
    std::vector<int> v = tenTimeouts;
    v.insert(v.end(), more);
    return v;
  };
  EXPECT_EQ(run(false, then({kScNoResponse})), with(tenPauses, {A::kCancel}));
  EXPECT_EQ(run(false, then({kScOk, kScTimeout})), with(tenPauses, {A::kGoOn, A::kPauseThenGoOn}));
  // I/O errors count on the network only; other statuses neither count nor reset.
  EXPECT_EQ(run(false, then({kScIoError, kScTimeout})), with(tenPauses, {A::kGoOn, A::kCancel}));
  EXPECT_EQ(run(true, then({kScIoError})), with(tenPauses, {A::kCancel}));
  EXPECT_EQ(run(true, then({kScNone, kScBadMessage, kScTooBig, kScNotImplemented, kScTimeout})),
            with(tenPauses, {A::kGoOn, A::kGoOn, A::kGoOn, A::kGoOn, A::kCancel}));
}

TEST(SideChannelMessage, ParsedLikeLibcups) {
  const struct {
    const char* what;
    std::vector<unsigned char> msg;
    int offered;
    int status;
    int len;
  } cases[] = {
      {"OK", {2, 1, 0, 0}, 8, kScOk, 0},
      {"OK with data", {2, 1, 0, 3, 'a', 'b', 'c'}, 8, kScOk, 3},
      {"more data than offered", {2, 1, 0, 3, 'a', 'b', 'c'}, 2, kScTooBig, 2},
      {"length past what arrived", {2, 1, 0, 3, 'a'}, 8, kScTooBig, 8},
      {"another command", {3, 1, 0, 0}, 8, kScBadMessage, 0},
      {"no command", {0, 1, 0, 0}, 8, -1, 8},
      {"short", {2, 1, 0}, 8, -1, 8},
  };
  for (const auto& c : cases) {
    char data[8] = {};
    int len = c.offered;
    EXPECT_EQ(parseSideChannelMessage(c.msg.data(), c.msg.size(), 2, data, &len), c.status) << c.what;
    EXPECT_EQ(len, c.len) << c.what;
  }
}

// The CUPS filter channels, with waits that a cancel signal interrupts.
//
// libcups's own side- and back-channel calls restart their waits when a
// signal arrives, so a cancel would sit out a drain time-out of up to ten
// seconds. These speak the same wire format but also watch the cancel pipe.
#pragma once

#include <sys/types.h>
#include <cstddef>

namespace hrv {

// Status values of a side-channel answer, as libcups numbers them.
enum SideStatus {
  kScNone = 0,
  kScOk = 1,
  kScIoError = 2,
  kScTimeout = 3,
  kScNoResponse = 4,
  kScBadMessage = 5,
  kScTooBig = 6,
  kScNotImplemented = 7,
};

inline constexpr int kScCmdDrainOutput = 2;
inline constexpr int kSideChannelFd = 4;
inline constexpr int kBackChannelFd = 3;

// Parses one side-channel message (command, status, 16-bit big-endian
// length, data) the way libcups does: returns the status, or -1 when the
// message is unusable; copies at most *dataLen bytes and updates *dataLen.
int parseSideChannelMessage(const unsigned char* msg, size_t len, int expectCommand, char* data,
                            int* dataLen);

struct ChannelResult {
  int value = 0;           // side channel: status; back channel: bytes read or -1
  bool cancelled = false;  // a cancel signal arrived during the wait
};

// cupsSideChannelDoRequest with `command`. `cancelFd` < 0 waits without
// watching for a cancel.
ChannelResult sideChannelRequest(int command, char* data, int* dataLen, double timeout, int cancelFd,
                                 int fd = kSideChannelFd);

// cupsBackChannelRead: -1 on time-out or error, else what read() gave.
ChannelResult backChannelRead(char* buffer, size_t bytes, double timeout, int cancelFd,
                              int fd = kBackChannelFd);

// Waits until `fd` is ready for `events` or the cancel pipe fires.
// Returns 1 ready, 0 time-out, -1 error; sets *cancelled.
int waitFd(int fd, short events, int timeoutMs, int cancelFd, bool* cancelled);

}  // namespace hrv

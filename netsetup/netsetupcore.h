// The network setup tool's wire formats and text rules, without any I/O:
// the 12-byte network configuration record and its hexadecimal helpers, the
// USB messages around it, address validation, the CUPS command lines of the
// queue creation and the rewrite of the scanner's configuration.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

namespace netsetup {

// USB messages (plain ASCII, no terminator).
inline constexpr char kReadRequest[] = "CheckIP?";
inline constexpr char kReplyPrefix[] = "IPadd:";
inline constexpr char kSetPrefix[] = "SetIP=";
inline constexpr char kSetTerminator = ';';

// Record: address, mask and gateway, four bytes each, first part first.
inline constexpr int kRecordSize = 12;
// A read reply is "IPadd:" and the record; later bytes are ignored.
inline constexpr int kReplyUsed = 18;
// "SetIP=" + record + ";".
inline constexpr int kSetRequestSize = 19;
// The read exchange gives up at this many one-byte replies.
inline constexpr int kMaxOneByteReplies = 50;
inline constexpr int kReplyBufferSize = 512;

// Texts the read exchange returns instead of a record.
inline constexpr char kSendError[] = "send error";
inline constexpr char kReadIpError[] = "read ip error";

// The first 12 bytes as lowercase two-digit hexadecimal groups joined by one
// space ("c0 a8 01 64 ..."). A shorter argument gives as many groups as it has.
QString HexToStr(const QByteArray& record);

// The dotted parts as concatenated lowercase hexadecimal, each part padded to
// an even number of digits ("192.168.1.100" gives "c0a80164"). A part that is
// not a non-negative decimal integer gives "00".
QString StringToHenStr(const QString& dotted);

// The bytes a hexadecimal text spells, two digits each, spaces skipped; reads
// no further than position 23, so at most 12 bytes.
QByteArray HexStrToByteArray(const QString& hex);

// 0..15 for a hexadecimal digit of either case, -1 for anything else.
int ConvertHexChar(char c);

// True for exactly four dot-separated decimal parts of 0 to 255, each made of
// ASCII digits only, without sign or blanks (leading zeros are allowed; see
// canonicalIp).
bool checkIp(const QString& text);

// An address that passed checkIp without leading zeros ("010.1.2.3" gives
// "10.1.2.3"): resolvers would read a leading zero as octal, and the queue
// would name another host than the one the printer got.
QString canonicalIp(const QString& text);

// Why a printer given these settings (three texts that passed checkIp) could
// not work on the network, checked in this order: an address that no host
// may have (0.0.0.0, 255.255.255.255, 127.x.x.x, multicast 224-239.x.x.x),
// a mask whose one bits do not all come first, an address that is its
// subnet's network or broadcast address (masks up to 30 one bits), a
// gateway outside the printer's subnet (0.0.0.0 stands for no gateway).
enum class SettingsProblem {
  None,
  AddressUnusable,
  MaskNotContiguous,
  AddressIsNetworkOrBroadcast,
  GatewayOutside
};
SettingsProblem settingsProblem(const QString& address, const QString& mask, const QString& gateway);

// The 12-byte record for three texts that passed checkIp.
QByteArray encodeRecord(const QString& address, const QString& mask, const QString& gateway);

// "SetIP=" + record + ";": 19 bytes for a 12-byte record.
QByteArray setRequest(const QByteArray& record);

// A record shown as three dotted texts. `trace` holds the texts as they grow,
// one line per byte ("ip = 192.", "ip = 192.168.", ... "port = 192.168.1.1.").
struct DecodedRecord {
  QString address;
  QString mask;
  QString gateway;
  QStringList trace;
};
DecodedRecord decodeRecord(const QByteArray& record);

// The record carried by one read reply: when the reply's text (up to its first
// NUL byte) begins with "IPadd:", the last 12 of its first 18 bytes (fewer when
// the reply is shorter). Nothing for any other reply.
std::optional<QByteArray> recordFromReply(const QByteArray& reply);

// One read of the printer's answer: failed (error or time-out), or the bytes
// received.
struct ReadOutcome {
  bool failed = false;
  QByteArray bytes;
};
// The read exchange after the request went out: reads until a reply carries
// a record (recordFromReply) and returns it; returns "read ip error" at a
// failed read, at the fiftieth one-byte reply, or once `budgetMs` have passed
// since the find began (`elapsedMs`), whatever the printer keeps sending. No
// read waits longer than the time that is left, nor than
// hrv::kUsbReadTimeoutMsNetsetup.
QByteArray awaitRecord(const std::function<ReadOutcome(int timeoutMs)>& read,
                       const std::function<qint64()>& elapsedMs, int budgetMs);

// One program run: the program's path or name and its argument list. Nothing
// here is ever given to a shell.
struct Command {
  QString program;
  QStringList arguments;
  QString display() const;  // for debug lines only
};
bool operator==(const Command& a, const Command& b);

// The queue creation for a printer address: create the network queue with its
// PPD and socket URI, make it the default destination, restart CUPS (through
// its init script when that exists, else through the service front end).
QVector<Command> queueCommands(const QString& address, bool cupsInitScriptExists);

// The scanner backend's configuration pointed at an address. Only lines
// whose keyword (the first word, after any blanks) is "net" or "#net" are
// touched: one that mentions autodiscovery becomes (or stays) "net
// autodiscovery"; the first of the others becomes "net <address>", and later
// active ones are dropped, so that one address line remains. All other lines,
// and the line structure, stay as they were.
QByteArray rewriteSaneConfig(const QByteArray& content, const QString& address);

}  // namespace netsetup

#include "netsetupcore.h"

#include "config.h"

#include <algorithm>
#include <optional>

namespace netsetup {

namespace {

bool isAsciiDigit(QChar c) {
  return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The value of a piece made only of ASCII digits; nothing for anything else
// (signs, blanks, other scripts' digits, or too many digits to be a part).
std::optional<int> plainDecimal(const QString& piece) {
  if (piece.isEmpty() || piece.size() > 9) return std::nullopt;
  int value = 0;
  for (QChar c : piece) {
    if (!isAsciiDigit(c)) return std::nullopt;
    value = value * 10 + (c.unicode() - '0');
  }
  return value;
}

QByteArray upToFirstNul(const QByteArray& bytes) {
  const int nul = bytes.indexOf('\0');
  return nul < 0 ? bytes : bytes.left(nul);
}

}  // namespace

QString HexToStr(const QByteArray& record) {
  return QString::fromLatin1(record.left(kRecordSize).toHex(' ')).trimmed();
}

QString StringToHenStr(const QString& dotted) {
  QString hex;
  const QStringList pieces = dotted.split(QLatin1Char('.'), Qt::KeepEmptyParts);
  for (const QString& piece : pieces) {
    const int value = plainDecimal(piece).value_or(0);
    QString digits = QString::number(value, 16);
    if (digits.size() % 2 != 0) digits.prepend(QLatin1Char('0'));
    hex += digits;
  }
  return hex;
}

int ConvertHexChar(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

QByteArray HexStrToByteArray(const QString& hex) {
  QByteArray bytes;
  const int length = hex.size();
  // Positions 0 to 23 at most: never more than the 12 bytes of a record.
  for (int pos = 0; pos < length && pos <= 23;) {
    if (hex.at(pos) == QLatin1Char(' ')) {
      ++pos;
      continue;
    }
    const char high = hex.at(pos).toLatin1();
    const char low = pos + 1 < length ? hex.at(pos + 1).toLatin1() : '\0';
    // A character that is no hexadecimal digit counts as -1, as in
    // ConvertHexChar; the byte then wraps around.
    const int value = ConvertHexChar(high) * 16 + ConvertHexChar(low);
    bytes.append(static_cast<char>(static_cast<unsigned char>(value)));
    pos += 2;
  }
  return bytes;
}

bool checkIp(const QString& text) {
  const QStringList pieces = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
  if (pieces.size() != 4) return false;
  for (const QString& piece : pieces) {
    if (piece.size() > 3) return false;
    const std::optional<int> value = plainDecimal(piece);
    if (!value || *value > 255) return false;
  }
  return true;
}

QString canonicalIp(const QString& text) {
  QStringList parts;
  for (const QString& piece : text.split(QLatin1Char('.')))
    parts << QString::number(plainDecimal(piece).value_or(0));
  return parts.join(QLatin1Char('.'));
}

namespace {

// The dotted quad (already checked) as a 32-bit number, first part highest.
quint32 ipValue(const QString& text) {
  quint32 value = 0;
  for (const QString& piece : text.split(QLatin1Char('.')))
    value = (value << 8) | static_cast<quint32>(plainDecimal(piece).value_or(0) & 0xff);
  return value;
}

}  // namespace

SettingsProblem settingsProblem(const QString& address, const QString& mask, const QString& gateway) {
  const quint32 a = ipValue(address), m = ipValue(mask), g = ipValue(gateway);
  const quint32 first = a >> 24;
  if (a == 0 || a == 0xffffffffu || first == 127 || (first >= 224 && first <= 239))
    return SettingsProblem::AddressUnusable;
  if ((~m & (~m + 1)) != 0) return SettingsProblem::MaskNotContiguous;  // ones, then only zeros
  const quint32 host = a & ~m;
  if (~m > 1 && (host == 0 || host == ~m)) return SettingsProblem::AddressIsNetworkOrBroadcast;
  if (g != 0 && (g & m) != (a & m)) return SettingsProblem::GatewayOutside;
  return SettingsProblem::None;
}

QByteArray encodeRecord(const QString& address, const QString& mask, const QString& gateway) {
  const QByteArray hex =
      upToFirstNul((StringToHenStr(address) + StringToHenStr(mask) + StringToHenStr(gateway)).toUtf8());
  return HexStrToByteArray(QString::fromUtf8(hex));
}

QByteArray setRequest(const QByteArray& record) {
  QByteArray request(kSetPrefix);
  request += record;
  request += kSetTerminator;
  return request;
}

DecodedRecord decodeRecord(const QByteArray& record) {
  DecodedRecord decoded;
  if (record.isEmpty()) return decoded;
  const QStringList pieces = HexToStr(record).split(QLatin1Char(' '), Qt::KeepEmptyParts);
  for (int i = 0; i < pieces.size(); ++i) {
    bool ok = false;
    int value = pieces.at(i).toInt(&ok, 16);
    if (!ok) value = 0;
    const QString part = QString::number(value) + QLatin1Char('.');
    if (i < 4) {
      decoded.address += part;
      decoded.trace << QStringLiteral("ip = ") + decoded.address;
    } else if (i < 8) {
      decoded.mask += part;
      decoded.trace << QStringLiteral("mask = ") + decoded.mask;
    } else {
      decoded.gateway += part;
      decoded.trace << QStringLiteral("port = ") + decoded.gateway;
    }
  }
  decoded.address.chop(1);
  decoded.mask.chop(1);
  decoded.gateway.chop(1);
  return decoded;
}

std::optional<QByteArray> recordFromReply(const QByteArray& reply) {
  if (!upToFirstNul(reply).startsWith(kReplyPrefix)) return std::nullopt;
  return reply.left(kReplyUsed).right(kRecordSize);
}

QByteArray awaitRecord(const std::function<ReadOutcome(int timeoutMs)>& read,
                       const std::function<qint64()>& elapsedMs, int budgetMs) {
  int oneByteReplies = 0;
  for (;;) {
    const qint64 left = budgetMs - elapsedMs();
    if (left <= 0) return kReadIpError;
    const ReadOutcome r = read(static_cast<int>(std::min<qint64>(left, hrv::kUsbReadTimeoutMsNetsetup)));
    if (r.failed) return kReadIpError;
    if (r.bytes.size() == 1) {
      // A lone byte is never a reply worth looking at.
      if (++oneByteReplies == kMaxOneByteReplies) return kReadIpError;
      continue;
    }
    if (std::optional<QByteArray> record = recordFromReply(r.bytes)) return *record;
    // Anything else is not meant for us: read on.
  }
}

QString Command::display() const {
  QStringList all{program};
  all += arguments;
  return all.join(QLatin1Char(' '));
}

bool operator==(const Command& a, const Command& b) {
  return a.program == b.program && a.arguments == b.arguments;
}

QVector<Command> queueCommands(const QString& address, bool cupsInitScriptExists) {
  const QString lpadmin = QString::fromLatin1(hrv::kLpadmin);
  const QString queue = QString::fromLatin1(hrv::kNetQueue);
  const QString uri =
      QStringLiteral("socket://") + address + QLatin1Char(':') + QString::number(hrv::kRawPrintPort);
  QVector<Command> commands;
  commands.append({lpadmin,
                   {QStringLiteral("-p"), queue, QStringLiteral("-m"), QString::fromLatin1(hrv::kNetPpdName),
                    QStringLiteral("-v"), uri, QStringLiteral("-E")}});
  commands.append({lpadmin, {QStringLiteral("-d"), queue}});
  if (cupsInitScriptExists)
    commands.append({QString::fromLatin1(hrv::kCupsInitScript), {QStringLiteral("restart")}});
  else
    commands.append({QString::fromLatin1(hrv::kServiceProgram),
                     {QString::fromLatin1(hrv::kCupsServiceName), QStringLiteral("restart")}});
  return commands;
}

namespace {

// The first word of a configuration line, after any blanks.
QByteArray keywordOf(const QByteArray& line) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
  int start = 0;
  while (start < line.size() && blank(line.at(start))) ++start;
  int end = start;
  while (end < line.size() && !blank(line.at(end))) ++end;
  return line.mid(start, end - start);
}

}  // namespace

QByteArray rewriteSaneConfig(const QByteArray& content, const QString& address) {
  const QByteArray addressLine = QByteArray("net ") + address.toUtf8();
  const QList<QByteArray> lines = content.split('\n');
  QByteArray out;
  bool addressWritten = false;
  for (int i = 0; i < lines.size(); ++i) {
    const QByteArray& line = lines.at(i);
    const bool last = i + 1 == lines.size();
    const QByteArray keyword = keywordOf(line);
    const bool active = keyword == "net";
    if (!active && keyword != "#net") {
      out += line;
    } else if (line.contains("autodiscovery")) {
      out += active ? line : QByteArray("net autodiscovery");
    } else if (!addressWritten) {
      out += addressLine;
      addressWritten = true;
    } else if (active) {
      // A second address line goes, with its line end.
      if (last && out.endsWith('\n')) out.chop(1);
      continue;
    } else {
      out += line;  // a later comment stays a comment
    }
    if (!last) out += '\n';
  }
  return out;
}

}  // namespace netsetup

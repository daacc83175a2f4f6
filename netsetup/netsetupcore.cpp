#include "netsetupcore.h"

#include "config.h"

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

QByteArray rewriteSaneConfig(const QByteArray& content, const QString& address) {
  const QByteArray addressLine = QByteArray("net ") + address.toUtf8();
  const QList<QByteArray> lines = content.split('\n');
  QByteArray out;
  for (int i = 0; i < lines.size(); ++i) {
    const QByteArray& line = lines.at(i);
    const bool autodiscovery = line.contains("autodiscovery");
    if (line.startsWith("#net "))
      out += autodiscovery ? QByteArray("net autodiscovery") : addressLine;
    else if (line.startsWith("net"))
      out += autodiscovery ? line : addressLine;
    else
      out += line;
    if (i + 1 < lines.size()) out += '\n';
  }
  return out;
}

}  // namespace netsetup

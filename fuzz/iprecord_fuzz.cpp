// The setup tool's record encoding: valid addresses (leading zeros allowed)
// round-trip through encode and decode; any three texts encode into at most
// 12 bytes, and the validation agrees with a plain reading of the rule.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>

#include "fuzz_input.h"
#include "netsetupcore.h"
#include "qt_messages.h"

namespace {

using hrvfuzz::FuzzInput;

// Four parts of one to three ASCII digits, each at most 255.
bool plainDottedQuad(const QString& text) {
  const QStringList parts = text.split(QLatin1Char('.'));
  if (parts.size() != 4) return false;
  for (const QString& p : parts) {
    if (p.isEmpty() || p.size() > 3) return false;
    int v = 0;
    for (QChar c : p) {
      if (c.unicode() < '0' || c.unicode() > '9') return false;
      v = v * 10 + (c.unicode() - '0');
    }
    if (v > 255) return false;
  }
  return true;
}

// Any text: UTF-8, Latin-1, or raw UTF-16 (lone surrogates, other scripts'
// digits).
QString anyText(FuzzInput& in) {
  const uint8_t how = in.byte() % 3;
  const std::string bytes = in.text(256);
  if (how == 0) return QString::fromUtf8(bytes.data(), int(bytes.size()));
  if (how == 1) return QString::fromLatin1(bytes.data(), int(bytes.size()));
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = char16_t(static_cast<unsigned char>(bytes[2 * i]) |
                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  return QString::fromUtf16(units.data(), int(units.size()));
}

// A valid dotted text for four bytes, each part maybe with leading zeros.
QString dotted(const QByteArray& four, uint8_t zeros) {
  QStringList parts;
  for (int i = 0; i < 4; ++i) {
    const int width = (zeros >> (2 * i)) & 3;  // 0 or 1: as it is; 2, 3: padded
    parts << QStringLiteral("%1").arg(int(static_cast<unsigned char>(four[i])), width, 10, QLatin1Char('0'));
  }
  return parts.join(QLatin1Char('.'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::quietQt();
  FuzzInput in(data, size);
  if (in.byte() & 1) {
    // Twelve bytes as the user would type them.
    QByteArray bytes;
    for (int i = 0; i < netsetup::kRecordSize; ++i) bytes.append(static_cast<char>(in.byte()));
    const QString address = dotted(bytes.mid(0, 4), in.byte()), mask = dotted(bytes.mid(4, 4), in.byte()),
                  gateway = dotted(bytes.mid(8, 4), in.byte());
    FUZZ_CHECK(netsetup::checkIp(address) && netsetup::checkIp(mask) && netsetup::checkIp(gateway),
               "valid texts refused: %s %s %s", address.toUtf8().constData(), mask.toUtf8().constData(),
               gateway.toUtf8().constData());
    const QByteArray record = netsetup::encodeRecord(address, mask, gateway);
    FUZZ_CHECK(record == bytes, "%s %s %s encoded as %s", address.toUtf8().constData(),
               mask.toUtf8().constData(), gateway.toUtf8().constData(), record.toHex().constData());
    const netsetup::DecodedRecord d = netsetup::decodeRecord(record);
    FUZZ_CHECK(d.address == netsetup::canonicalIp(address) && d.mask == netsetup::canonicalIp(mask) &&
                   d.gateway == netsetup::canonicalIp(gateway),
               "decoded as %s %s %s", d.address.toUtf8().constData(), d.mask.toUtf8().constData(),
               d.gateway.toUtf8().constData());
    const QByteArray request = netsetup::setRequest(record);
    FUZZ_CHECK(request.size() == netsetup::kSetRequestSize && request.startsWith(netsetup::kSetPrefix) &&
                   request.endsWith(netsetup::kSetTerminator) && request.mid(6, 12) == record,
               "set request %s", request.toHex().constData());
    return 0;
  }

  // Any three texts.
  const QString texts[3] = {anyText(in), anyText(in), anyText(in)};
  const QByteArray record = netsetup::encodeRecord(texts[0], texts[1], texts[2]);
  FUZZ_CHECK(record.size() <= netsetup::kRecordSize, "record of %d bytes", int(record.size()));
  bool allValid = true;
  for (const QString& t : texts) {
    const bool valid = netsetup::checkIp(t);
    FUZZ_CHECK(valid == plainDottedQuad(t), "checkIp says %d for \"%s\"", valid, t.toUtf8().constData());
    const QString hex = netsetup::StringToHenStr(t);
    FUZZ_CHECK(hex.size() % 2 == 0, "odd hex text %s", hex.toUtf8().constData());
    for (QChar c : hex)
      FUZZ_CHECK(netsetup::ConvertHexChar(char(c.unicode())) >= 0, "hex text %s", qPrintable(hex));
    FUZZ_CHECK(netsetup::HexStrToByteArray(t).size() <= netsetup::kRecordSize, "too many bytes");
    if (valid) FUZZ_CHECK(netsetup::checkIp(netsetup::canonicalIp(t)), "canonical form refused");
    allValid = allValid && valid;
  }
  if (allValid) {
    FUZZ_CHECK(record.size() == netsetup::kRecordSize, "valid texts gave %d bytes", int(record.size()));
    const netsetup::DecodedRecord d = netsetup::decodeRecord(record);
    FUZZ_CHECK(d.address == netsetup::canonicalIp(texts[0]) && d.mask == netsetup::canonicalIp(texts[1]) &&
                   d.gateway == netsetup::canonicalIp(texts[2]),
               "round trip lost");
  }
  return 0;
}

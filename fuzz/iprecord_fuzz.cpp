// The setup tool's record encoding: valid addresses (leading zeros allowed)
// round-trip through encode and decode; any three texts encode into at most
// 12 bytes, and the validation agrees with a plain reading of the rule.
#include <QStringList>

#include <algorithm>

#include "fuzz_input.h"
#include "netsetupcore.h"
#include "qt_messages.h"

namespace {

using namespace netsetup;

// Four parts of one to three ASCII digits, each at most 255.
bool plainDottedQuad(const QString& text) {
  const QStringList parts = text.split(QLatin1Char('.'));
  return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](const QString& p) {
           const bool digits = std::all_of(p.begin(), p.end(), [](QChar c) { return c >= '0' && c <= '9'; });
           return digits && !p.isEmpty() && p.size() <= 3 && p.toInt() <= 255;
         });
}

// Any text: UTF-8, Latin-1, or raw UTF-16 (lone surrogates, other scripts' digits).
QString anyText(hrvfuzz::FuzzInput& in) {
  const uint8_t how = in.byte() % 3;
  const std::string b = in.text(256);
  if (how == 0) return QString::fromUtf8(b.data(), int(b.size()));
  if (how == 1) return QString::fromLatin1(b.data(), int(b.size()));
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(b.data()), int(b.size() / 2));
}

void checkRoundTrip(const QString (&texts)[3], const QByteArray& record) {
  const DecodedRecord d = decodeRecord(record);
  FUZZ_CHECK(record.size() == kRecordSize && d.address == canonicalIp(texts[0]) &&
                 d.mask == canonicalIp(texts[1]) && d.gateway == canonicalIp(texts[2]),
             "%s %s %s encoded as %s", qPrintable(texts[0]), qPrintable(texts[1]), qPrintable(texts[2]),
             record.toHex().constData());
  const QByteArray request = setRequest(record);
  FUZZ_CHECK(request.size() == kSetRequestSize && request.startsWith(kSetPrefix) &&
                 request.endsWith(kSetTerminator) && request.mid(6, 12) == record,
             "set request %s", request.toHex().constData());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::quietQt();
  hrvfuzz::FuzzInput in(data, size);
  QString texts[3];
  if (in.byte() & 1) {
    // Twelve bytes as the user would type them, parts maybe with leading zeros.
    QByteArray bytes;
    for (QString& text : texts) {
      QStringList parts;
      for (int i = 0; i < 4; ++i) bytes.append(static_cast<char>(in.byte()));
      const uint8_t zeros = in.byte();
      for (int i = 0; i < 4; ++i)
        parts << QStringLiteral("%1").arg(int(uint8_t(bytes[bytes.size() - 4 + i])), (zeros >> (2 * i)) & 3,
                                          10, QLatin1Char('0'));
      text = parts.join(QLatin1Char('.'));
      FUZZ_CHECK(checkIp(text), "valid text refused: %s", qPrintable(text));
    }
    const QByteArray record = encodeRecord(texts[0], texts[1], texts[2]);
    FUZZ_CHECK(record == bytes, "%s encoded, not %s", record.toHex().constData(), bytes.toHex().constData());
    checkRoundTrip(texts, record);
    return 0;
  }
  bool allValid = true;
  for (QString& t : texts) {
    t = anyText(in);
    const bool valid = checkIp(t);
    FUZZ_CHECK(valid == plainDottedQuad(t), "checkIp says %d for \"%s\"", valid, qPrintable(t));
    const QString hex = StringToHenStr(t);
    FUZZ_CHECK(
        hex.size() % 2 == 0 && std::all_of(hex.begin(), hex.end(),
                                           [](QChar c) { return ConvertHexChar(char(c.unicode())) >= 0; }),
        "hex text %s", qPrintable(hex));
    FUZZ_CHECK(HexStrToByteArray(t).size() <= kRecordSize, "too many bytes");
    FUZZ_CHECK(!valid || checkIp(canonicalIp(t)), "canonical form refused");
    allValid = allValid && valid;
  }
  const QByteArray record = encodeRecord(texts[0], texts[1], texts[2]);
  FUZZ_CHECK(record.size() <= kRecordSize, "record of %d bytes", int(record.size()));
  if (allValid) checkRoundTrip(texts, record);
  return 0;
}

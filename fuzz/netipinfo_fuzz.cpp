// Any bytes as the network monitor's netIpInfo text.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "fuzz_input.h"
#include "netipinfo.h"
#include "qt_messages.h"

namespace {

bool fourParts(const QString& line) {
  return line.split(QLatin1Char('.')).size() == 4;
}

// A byte order mark makes the reader take the text for UTF-16 or UTF-32, and
// an address appended in ASCII is then no longer one.
bool startsWithWideMark(const QByteArray& text) {
  return text.startsWith("\xff\xfe") || text.startsWith("\xfe\xff") ||
         text.startsWith(QByteArray("\0\0\xfe\xff", 4));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hrvfuzz::quietQt();
  const QByteArray text(reinterpret_cast<const char*>(data), static_cast<int>(size));
  const QString address = hrv::monitor::netIpInfoFromText(text);
  // One line of the text.
  FUZZ_CHECK(!address.contains(QLatin1Char('\n')), "\"%s\"", address.toUtf8().constData());
  FUZZ_CHECK(address.size() <= text.size(), "%d characters from %d bytes", int(address.size()),
             int(text.size()));

  // The setup tool's address ahead of anything is the one read.
  const QString first = hrv::monitor::netIpInfoFromText("10.1.2.3\n" + text);
  FUZZ_CHECK(first == QStringLiteral("10.1.2.3"), "read \"%s\"", first.toUtf8().constData());

  // Behind it, the address is read unless the text had a four-part line,
  // which is then what is read either way.
  if (!startsWithWideMark(text)) {
    const QString last = hrv::monitor::netIpInfoFromText(text + "\n10.1.2.3");
    // (A character cut off at the end of the text reads as a replacement
    // character only once more text follows it, and a carriage return that
    // ends the text is taken for the start of a line end; the file reader
    // opens the file in text mode, where carriage returns never arrive.)
    const auto settled = [](QString line) {
      return line.remove(QChar::ReplacementCharacter).remove(QLatin1Char('\r'));
    };
    if (fourParts(address))
      FUZZ_CHECK(settled(last) == settled(address), "\"%s\" then \"%s\"", address.toUtf8().constData(),
                 last.toUtf8().constData());
    else
      FUZZ_CHECK(last == QStringLiteral("10.1.2.3") || fourParts(last), "read \"%s\"",
                 last.toUtf8().constData());
  }
  return 0;
}

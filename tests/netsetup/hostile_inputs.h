// Texts that must never pass as a printer address, one or two of each kind:
// shell metacharacters, blanks, signs, other notations and scripts' digits,
// control bytes and zero characters, format strings, paths, wrong part
// counts, out-of-range and over-long values.
#pragma once

#include <QString>
#include <QStringList>

namespace netsetuptest {

inline QStringList hostileAddresses() {
  QStringList hostile =
      QStringLiteral(
          "1.2.3.4;rm -rf ~ $(id).1.1.1 1.2.3.4`id` 1.2.3.4>x -1.2.3.4 1.2.3.+4 0x1.2.3.4 "
          "1e2.1.1.1 localhost 1.2.3.4:9100 ::1 %s.%s.%s.%s %n%n%n%n ../../etc/passwd 1.2.3 "
          "1.2.3.4.5 1..3.4 1.2.3. 256.1.1.1 1.1.1.1000 1.2.3.0255 4294967297.1.1.1")
          .split(QLatin1Char(' '));
  hostile << QString::fromUtf8("１９２.１６８.１.１") << QString::fromUtf8("1.2.3.²")
          << QString::fromUtf8("1.2.3.4\u202e") << QStringLiteral("1.2.3.4") + QChar(0) + ";id"
          << "1.2.3." + QString(10000, QLatin1Char('4')) << QStringLiteral("1.2.3.4\nid")
          << QStringLiteral("1.2.\t3.4") << QStringLiteral("1.2.3.4\r") << QStringLiteral(" 1.2.3.4")
          << QStringLiteral("1.2.3.4 -E -v file:/etc/shadow") << QString();
  return hostile;
}

}  // namespace netsetuptest

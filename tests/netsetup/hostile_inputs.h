// Texts that must never pass as a printer address: shell metacharacters,
// blanks, signs, other notations and scripts' digits, control bytes and zero
// characters, format strings, paths, wrong part counts, out-of-range and
// over-long values.
#pragma once

#include <QString>
#include <QStringList>

namespace netsetuptest {

inline QStringList hostileAddresses() {
  const QString nul(QChar(0));
  QStringList hostile = {
      // shell metacharacters
      "1.2.3.4;rm -rf ~", "1.2.3.4|id", "1.2.3.4&&id", "1.2.3.4`id`", "$(id).1.1.1", "1.2.3.4>x", "1.2.3.4'",
      "1.2.3.4\"", "1.2.3.4\\", "1.2.3.4\n", "1.2.3.4\nid", "1.2.3.4#", "1.2.3.4 -E -v file:/etc/shadow",
      "1.2.3.4*", "{1,2}.3.4.5", "~.1.1.1",
      // blanks
      " 1.2.3.4", "1.2.3.4 ", "1.2. 3.4", "1.2.3.\t4", "1 .2.3.4",
      // signs
      "-1.2.3.4", "+1.2.3.4", "1.2.3.-0", "1.2.3.+4",
      // letters and other notations
      "a.b.c.d", "1.2.3.4a", "0x1.2.3.4", "1e2.1.1.1", "localhost", "1.2.3.4:9100", "::1", "[::1]",
      // other scripts' digits
      QString::fromUtf8("１９２.１６８.１.１"), QString::fromUtf8("١٩٢.168.1.1"),
      QString::fromUtf8("1.2.3.²"), QString::fromUtf8("1.2.3.৪"),
      // control bytes and zero characters
      "1.2.3.4" + nul, nul + "1.2.3.4", "1.2" + nul + ".3.4", "1.2.3.4" + nul + ";id", "1.2.3.4\r",
      "1.2.3.\x1b"
      "4",
      "1.2.3.4\x7f", QString::fromUtf8("1.2.3.4\u200b"), QString::fromUtf8("1.2.3.4\u202e"),
      // format strings
      "%s.%s.%s.%s", "%n%n%n%n", "1.2.3.%1", "%x.1.1.1",
      // paths
      "../../etc/passwd", "/etc/passwd", "1.2.3.4/../../x", "..", "./1.2.3.4",
      // wrong number of parts, empty parts
      "1.2.3", "1.2.3.4.5", "1..3.4", ".1.2.3", "1.2.3.", "...", "", "1.2.3.4.",
      // out of range, too long
      "256.1.1.1", "1.1.1.256", "999.1.1.1", "1.1.1.1000", "0001.2.3.4", "1.2.3.0255", "4294967297.1.1.1",
      "1.2.3." + QString(10000 - 6, QLatin1Char('4')), QString(10000, QLatin1Char('1')),
      "1.2.3.4;" + QString(10000, QLatin1Char('x'))};
  return hostile;
}

}  // namespace netsetuptest

// The printer's address as the network setup tool leaves it in netIpInfo:
// the dotted IPv4 address alone on the file's line.
#pragma once

#include <QByteArray>
#include <QString>

namespace hrv::monitor {

// The file's lines are read in order up to the first one that splits at "."
// into exactly four pieces (empty pieces count); the result is the last line
// read: that line, else the last line of the text, else empty.
QString netIpInfoFromText(const QByteArray& text);

// The same for the file at `path`; empty, with the debug line "open file
// failed", when it cannot be opened.
QString readNetIpInfo(const QString& path);

}  // namespace hrv::monitor

// netIpInfo, the network printer's address as the setup tool leaves it for
// the network monitor: the dotted IPv4 address alone, without a line end.
// The writer and the reader of the file share this one definition.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace hrv::netipinfo {

// The file's content for an address.
QByteArray text(const QString& address);

// The address a file's content holds: its lines are read in order up to the
// first one that splits at "." into exactly four pieces (empty pieces count);
// the result is the last line read (that line, else the last line of the
// text, else empty).
QString address(const QByteArray& text);

// The same for the file at `path`, read as text; nothing when it cannot be
// opened.
std::optional<QString> read(const QString& path);

}  // namespace hrv::netipinfo

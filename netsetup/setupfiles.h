// The two files the queue creation updates. Each function takes its path.
#pragma once

#include <QString>

namespace netsetup {

// Writes the printer address, exactly as given and without a line end, to the
// network monitor's address file, truncating it first. False when the file
// cannot be opened or written.
bool writeNetIpInfo(const QString& path, const QString& address);

// Points the scanner backend's configuration at the address (see
// rewriteSaneConfig). A file that does not exist is left absent; false when
// it cannot be read or rewritten.
bool updateSaneConfig(const QString& path, const QString& address);

}  // namespace netsetup

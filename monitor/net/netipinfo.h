// The printer's address for the network monitor, from the file the setup
// tool writes (netipinfofile.h).
#pragma once

#include <QString>

namespace hrv::monitor {

// The address in the file at `path`; empty, with the debug line "open file
// failed", when it cannot be opened.
QString readNetIpInfo(const QString& path);

}  // namespace hrv::monitor

// The two files the queue creation updates. Each function takes its path.
//
// Both are replaced whole and never through a symbolic link: the new content
// goes to a temporary file in the same folder, which takes the old file's
// owner and mode and is then renamed over it, so that a reader sees either
// the old or the new content. Where that cannot be done with the caller's
// rights (a desktop user may write netIpInfo through its group, but not its
// folder, which belongs to lp), the regular file itself is rewritten in place:
// the new bytes first, then the length, so that nothing shorter than the new
// content is ever left.
#pragma once

#include <QByteArray>
#include <QString>

namespace netsetup {

// Replaces the content of the regular file at `path`; a missing file is
// created only when `create` is set. False, with the file as it was, when
// `path` is a symbolic link or no regular file, or cannot be written.
bool replaceFile(const QString& path, const QByteArray& content, bool create);

// Writes the network monitor's address file (netipinfofile.h).
bool writeNetIpInfo(const QString& path, const QString& address);

// Points the scanner backend's configuration at the address (see
// rewriteSaneConfig). A file that does not exist is left absent; false when
// it cannot be read or rewritten.
bool updateSaneConfig(const QString& path, const QString& address);

}  // namespace netsetup

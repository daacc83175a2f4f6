// Qt message output of the targets that link the Qt based cores. Debug and
// info lines are still formatted (so a bad value reaches the formatting) but
// go nowhere; a warning or worse means Qt was misused (an index out of range,
// a bad argument), so it stops the run like a failed check.
#pragma once

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace hrvfuzz {

inline void qtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  std::fprintf(stderr, "Qt message: %s\n", text.toLocal8Bit().constData());
  std::abort();
}

// Call once per input; installs the handler the first time.
inline void quietQt() {
  static const bool installed = (qInstallMessageHandler(&qtMessage), true);
  (void)installed;
}

}  // namespace hrvfuzz

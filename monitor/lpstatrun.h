// Runs the CUPS listing program for a polling step's queue probes. Both
// monitors use it; what the listing means is decided by the monitor core.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Standard output of `program` run with `arguments`, waited for at most
// hrv::kLpstatTimeoutMs. A program that cannot start, fails or hangs gives
// what it wrote so far (a hanging one is killed).
QByteArray runLpstat(const QString& program, const QStringList& arguments);

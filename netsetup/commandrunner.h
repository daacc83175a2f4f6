// Runs one program with an argument list, never through a shell, and waits
// for it to end.
#pragma once

#include "netsetupcore.h"

#include <QByteArray>

#include <functional>

namespace netsetup {

struct CommandResult {
  bool started = false;
  bool crashed = false;
  int exitCode = -1;
  QByteArray errorOutput;  // the program's standard error, or why it did not start

  bool succeeded() const { return started && !crashed && exitCode == 0; }
};

using CommandRunner = std::function<CommandResult(const Command&)>;

// Blocks until the program has ended; its standard input is empty and its
// standard output is discarded.
CommandResult runCommand(const Command& command);

}  // namespace netsetup

#include "commandrunner.h"

#include <QProcess>

namespace netsetup {

CommandResult runCommand(const Command& command) {
  CommandResult result;
  QProcess process;
  process.setProgram(command.program);
  process.setArguments(command.arguments);
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.start();
  if (!process.waitForStarted(-1)) {
    result.errorOutput = process.errorString().toLocal8Bit();
    return result;
  }
  result.started = true;
  process.waitForFinished(-1);
  result.crashed = process.exitStatus() == QProcess::CrashExit;
  result.exitCode = process.exitCode();
  result.errorOutput = process.readAllStandardError();
  return result;
}

}  // namespace netsetup

// Stand-in programs and files for the add-queue tests.
#pragma once

#include "sandbox.h"

#include <sys/stat.h>

#include <string>

namespace netsetuptest {

inline const char kSaneExample[] = "#net autodiscovery\n#net 192.168.0.10\nnet 10.0.0.9\n";

// A shell script that appends its name and arguments, '|'-separated, to
// <dir>/calls and then runs `onCall`.
inline void writeRecorder(const std::string& path, const std::string& dir, const std::string& name,
                          const std::string& onCall) {
  hrvtest::writeFile(path, "#!/bin/sh\n{ printf '%s' " + name +
                               "; for a in \"$@\"; do printf '|%s' \"$a\"; done; echo; } >> " + dir +
                               "/calls\n" + onCall + "\n");
  chmod(path.c_str(), 0755);
}

}  // namespace netsetuptest

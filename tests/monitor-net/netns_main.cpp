// GoogleTest main for the network monitor's tests. The monitor binds the
// fixed UDP port 9102, talks to port 9101 and reads netIpInfo at its fixed
// path, so as root every test program runs itself again inside a private
// mount and network namespace (tests/lib/sandbox-exec.sh): only loopback
// exists there, and /opt/vorn/HRV5720ZWB is a fresh folder. Tests find the
// stage folder behind it in HRV_NETMON_STAGE. Without root the tests that
// need the namespace skip.
//
// Programs started by tests/e2e/cups-session.sh are inside its namespace
// already (HRV_STAGE is set) and run as they are.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "netns.h"
#include "qt_test_app.h"
#include "sandbox.h"

namespace {

bool listingOnly(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--gtest_list_tests") == 0) return true;
  return false;
}

// Runs this program again inside the namespace; returns its exit status.
int rerunInNamespace(int argc, char** argv) {
  hrvtest::Sandbox box;
  box.makeJobFileDirs();
  const pid_t child = fork();
  if (child < 0) return 1;
  if (child == 0) {
    setenv(hrvtest::kNetnsStageVar, box.stage().c_str(), 1);
    std::vector<std::string> args = {HRV_SANDBOX_EXEC, box.stage(), "/proc/self/exe"};
    // This program's own path: after execv, /proc/self/exe is the script.
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) _exit(127);
    self[n] = '\0';
    args[2] = self;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    std::vector<char*> cargs;
    for (std::string& a : args) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    execv(cargs[0], cargs.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (hrvtest::runningAsRoot() && !hrvtest::insideTestNamespace() && !listingOnly(argc, argv))
    return rerunInNamespace(argc, argv);
  return hrvtest::runQtGTests(argc, argv);
}

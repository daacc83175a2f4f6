// Runs the GoogleTest cases of a test program under a QApplication.
#pragma once

namespace hrvtest {

// Offscreen unless the environment names another platform (the ctest
// registration sets it; listing the tests at build time does not).
int runQtGTests(int argc, char** argv);

}  // namespace hrvtest

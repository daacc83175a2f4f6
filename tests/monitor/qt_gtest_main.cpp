// GoogleTest main for tests that need a QApplication.
#include "qt_test_app.h"

int main(int argc, char** argv) {
  return hrvtest::runQtGTests(argc, argv);
}

#include "qt_test_app.h"

#include <QApplication>

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define HRV_LSAN_DISABLE() __lsan_disable()
#define HRV_LSAN_ENABLE() __lsan_enable()
#else
#define HRV_LSAN_DISABLE() (void)0
#define HRV_LSAN_ENABLE() (void)0
#endif

namespace hrvtest {

int runQtGTests(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt 5.15's offscreen platform never frees the screen it makes here;
  // what the application object allocates is not the tests' to answer for.
  HRV_LSAN_DISABLE();
  QApplication app(argc, argv);
  HRV_LSAN_ENABLE();
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace hrvtest

// GoogleTest main for tests that need a QApplication: offscreen unless the
// environment names another platform.
#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::unique_ptr<QApplication> app;
  {
#if defined(__SANITIZE_ADDRESS__)
    // Qt 5.15's offscreen platform never frees the screen it makes here;
    // what the application object allocates is not the tests' to answer for.
    __lsan::ScopedDisabler applicationObject;
#endif
    app = std::make_unique<QApplication>(argc, argv);
  }
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

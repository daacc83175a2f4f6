// GoogleTest main with a QApplication. Without a platform named in the
// environment (listing the tests at build time) it runs offscreen.
#include "lsan_scope.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <optional>

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::optional<QApplication> app;
  {
    LeakChecksOff off;
    app.emplace(argc, argv);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

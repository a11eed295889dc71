// The main of test programs that open windows (on Qt's offscreen platform
// unless TARNWICK_TEST_PLATFORM names another).
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>
#include <cstdlib>

#include "support/isolated_environment.h"

int main(int argc, char** argv) {
  tw::testing::IsolateEnvironment();
  // The window-manager tests run on a real X display (see
  // ui/widgets/window_manager_test.sh).
  if (const char* platform = std::getenv("TARNWICK_TEST_PLATFORM"); platform && *platform)
    ::setenv("QT_QPA_PLATFORM", platform, 1);
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

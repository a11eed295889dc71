// The main of test programs that open windows (on Qt's offscreen platform).
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>

#include "support/isolated_environment.h"

int main(int argc, char** argv) {
  tw::testing::IsolateEnvironment();
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
